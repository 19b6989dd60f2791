#include "play/computer.h"

#include "console/console.h"

namespace {

constexpr KeyPress Enter{KeyEnter, 0};
constexpr int LevelX = 40, LevelY = 8; // after "2P's turn" at (28, 8), before the labels at 65

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
    return computerKeyTowards(state, advice.actions[advice.best]);
}

KeyPress computerKeyTowards(const GameState& state, const Action& action) {
    if (state.remainRoll == RollsPerTurn) {
        return Enter;
    }
    return action.kind == ActionRecord ? towardsCategory(state, action.category)
                                       : towardsRoll(state, action.hold);
}

KeyPress computerPress(const GameState& state, const Analysis& advice, int level,
                       DiceRandom& choices, ComputerPlan& plan) {
    if (state.remainRoll == RollsPerTurn || !advice.valid) {
        return computerKey(state, advice);
    }
    if (plan.turn != state.turn || plan.remainRoll != state.remainRoll) {
        const int chosen = level == PerfectLevel
                               ? advice.best
                               : levelChoice(advice, level, uniformOf(nextRandom(choices)));
        plan = ComputerPlan{state.turn, state.remainRoll, advice.actions[chosen]};
    }
    return computerKeyTowards(state, plan.action);
}

void drawComputerLevel(int level) {
    moveCursor(LevelX, LevelY);
    print("2P: computer, level %d", level);
}
