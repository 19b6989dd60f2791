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
