// The computer as the second player: it carries out the engine's best action by pressing the keys
// a person would, one at a time, through the turn controller.
#pragma once

#include "play/game_state.h"
#include "strategy/strategy.h"

struct KeyPress {
    int key;
    int arrow; // the second code after KeyExtended
};

// The next key towards the best action of `advice` in `state`: to the dice row to hold and
// release, back to roll, to the sheet and down or up to the category, Enter there.
KeyPress computerKey(const GameState& state, const Analysis& advice);
// The same towards `action`, one of the actions of the position.
KeyPress computerKeyTowards(const GameState& state, const Action& action);

// The computer's choice at each roll, made once and carried out key by key over the frames that
// follow: for which turn and rolls left it was made, and the action.
struct ComputerPlan {
    int turn = 0;
    int remainRoll = -1;
    Action action{};
};

// The next key of the computer at `level`: when the position is new, it chooses its action (the
// best at PerfectLevel, else the level's choice with a number drawn from `choices`) into `plan`;
// then it presses towards the planned action.
KeyPress computerPress(const GameState& state, const Analysis& advice, int level,
                       DiceRandom& choices, ComputerPlan& plan);

// "2P: computer, level 3" on the mode line's row, right of "2P's turn", where the plain game
// leaves the cells blank.
void drawComputerLevel(int level);
