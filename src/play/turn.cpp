#include "play/turn.h"

#include "console/console.h"
#include "dice/dice.h"
#include "rules/rules.h"

namespace {

void enterSheet(GameState& state) {
    state.focus = FocusSheet;
    state.scoreCursor = 0;
}

void applyArrow(GameState& state, int arrow) {
    switch (state.focus) {
    case FocusRoll:
        if (state.remainRoll == RollsPerTurn) {
            return; // nothing but the roll button before the first roll
        }
        if (arrow == KeyRight) {
            enterSheet(state);
        } else if (arrow == KeyUp) {
            state.focus = FocusDice;
        }
        return;
    case FocusDice:
        if (arrow == KeyRight && state.diceCursor < DiceCount - 1) {
            ++state.diceCursor;
        } else if (arrow == KeyLeft && state.diceCursor > 0) {
            --state.diceCursor;
        } else if (arrow == KeyDown) {
            state.focus = FocusRoll;
            state.diceCursor = 0;
        }
        return;
    case FocusSheet:
        if (arrow == KeyLeft && state.remainRoll != 0) {
            state.focus = FocusRoll;
            state.scoreCursor = -1;
        } else if (arrow == KeyUp && state.scoreCursor > 0) {
            --state.scoreCursor;
        } else if (arrow == KeyDown && state.scoreCursor < CategoryCount - 1) {
            ++state.scoreCursor;
        }
        return;
    default:
        return;
    }
}

void roll(GameState& state) {
    rollDice(state.eyes, InGame, state.fix);
    --state.remainRoll;
    if (state.remainRoll == 0) {
        enterSheet(state);
    }
}

void record(GameState& state, Mode mode, const Sheet& scores) {
    if (!commitCategory(state.playersScore[state.player], state.selected[state.player],
                        state.scoreCursor, scores)) {
        return;
    }
    state.fix = Dice{};
    state.remainRoll = RollsPerTurn;
    state.focus = FocusRoll;
    state.scoreCursor = -1;
    if (mode == ModeMulti && state.player == 0) {
        state.player = 1;
        return;
    }
    state.player = 0;
    ++state.turn;
}

} // namespace

void handleKey(GameState& state, Mode mode, const Sheet& scores) {
    const int key = getKey();
    if (state.turn >= GameOverTurn) {
        return;
    }
    applyKey(state, mode, scores, key, key == KeyExtended ? getKey() : 0);
}

void applyKey(GameState& state, Mode mode, const Sheet& scores, int key, int arrow) {
    if (state.turn >= GameOverTurn) {
        return;
    }
    if (key == KeyExtended) {
        applyArrow(state, arrow);
        return;
    }
    if (key != KeyEnter && key != KeySpace) {
        return;
    }
    switch (state.focus) {
    case FocusRoll:
        roll(state);
        return;
    case FocusDice:
        state.fix[state.diceCursor] ^= 1;
        return;
    case FocusSheet:
        record(state, mode, scores);
        return;
    default:
        return;
    }
}
