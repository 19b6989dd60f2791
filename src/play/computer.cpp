#include "play/computer.h"

#include "console/console.h"

namespace {

constexpr KeyPress Enter{KeyEnter, 0};

constexpr KeyPress arrow(int code) {
    return KeyPress{KeyExtended, code};
}

KeyPress towardsCategory(const GameState& state, int category) {
    switch (state.focus) {
    case FocusRoll:
        return arrow(KeyRight);
    case FocusDice:
        return arrow(KeyDown);
    default:
        if (state.scoreCursor < category) {
            return arrow(KeyDown);
        }
        return state.scoreCursor > category ? arrow(KeyUp) : Enter;
    }
}

KeyPress towardsRoll(const GameState& state, const FaceCounts& hold) {
    if (heldCounts(state.eyes, state.fix) == hold) {
        switch (state.focus) {
        case FocusRoll:
            return Enter;
        case FocusDice:
            return arrow(KeyDown);
        default:
            return arrow(KeyLeft);
        }
    }
    if (state.focus == FocusRoll) {
        return arrow(KeyUp);
    }
    if (state.focus == FocusSheet) {
        return arrow(KeyLeft);
    }
    Dice target{};
    fixForHold(state.eyes, hold, target);
    if (target[state.diceCursor] != state.fix[state.diceCursor]) {
        return Enter;
    }
    // The nearest die whose hold is still wrong, to the right first.
    for (int distance = 1; distance < DiceCount; ++distance) {
        const int right = state.diceCursor + distance;
        if (right < DiceCount && target[right] != state.fix[right]) {
            return arrow(KeyRight);
        }
        const int left = state.diceCursor - distance;
        if (left >= 0 && target[left] != state.fix[left]) {
            return arrow(KeyLeft);
        }
    }
    return arrow(KeyDown);
}

// Without an analysis (none is missing in a game the engine runs) the computer still ends its
// turn: it records the first open category.
int firstOpenCategory(const GameState& state) {
    for (int c = 0; c < CategoryCount; ++c) {
        if (state.selected[state.player][c] == 0) {
            return c;
        }
    }
    return 0;
}

} // namespace

KeyPress computerKey(const GameState& state, const Analysis& advice) {
    if (state.remainRoll == RollsPerTurn) {
        return Enter; // every turn starts with a roll of all five
    }
    if (!advice.valid) {
        return towardsCategory(state, firstOpenCategory(state));
    }
    const Action& best = advice.actions[advice.best];
    return best.kind == ActionRecord ? towardsCategory(state, best.category)
                                     : towardsRoll(state, best.hold);
}
