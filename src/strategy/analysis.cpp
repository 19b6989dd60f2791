// The value of every legal action in a position, for the whole game or for the last turn to win.
#include "strategy/strategy.h"
#include "strategy/turn_solver.h"

#include <bit>
#include <memory>

namespace {

// The dice set of five dice showing faces 1 to 6, or -1.
int diceSetOf(const Dice& dice) {
    FaceCounts counts{};
    for (int face : dice) {
        if (face < 1 || face > FaceCount) {
            return -1;
        }
        ++counts[face - 1];
    }
    return keepIndex(counts) - FirstDiceSet;
}

Analysis invalid() {
    Analysis a{};
    a.valid = false;
    a.best = -1;
    return a;
}

// Lists the actions of a solved turn; `base` is added to every value (the sheet's points when
// the values are points to come).
Analysis listActions(const TurnTables& t, const SolvedTurn& solved, const Position& position,
                     double base, double sheetPoints) {
    Analysis a{};
    a.valid = true;
    a.sheetPoints = sheetPoints;
    if (position.remainRoll == RollsPerTurn) {
        a.actions[0] = Action{ActionRoll, -1, FaceCounts{}, base + turnStartValue(t, solved)};
        a.actionCount = 1;
        a.best = 0;
        return a;
    }
    const int d = diceSetOf(position.dice);
    if (d < 0) {
        return invalid();
    }
    int n = 0;
    for (int c = 0; c < CategoryCount; ++c) {
        if ((solved.mask >> c & 1) == 0) {
            a.actions[n++] =
                Action{ActionRecord, c, FaceCounts{}, base + recordValue(t, solved, d, c)};
        }
    }
    if (position.remainRoll > 0) {
        const auto& keeps = position.remainRoll == 1 ? solved.keep1 : solved.keep2;
        for (int i = 0; i < t.subKeepCount[d]; ++i) {
            const int k = t.subKeeps[d][i];
            a.actions[n++] = Action{ActionRoll, -1, t.counts[k], base + keeps[k]};
        }
    }
    a.actionCount = n;
    a.best = bestActionIndex(t, solved, d, position.remainRoll);
    return a;
}

bool validRolls(const Position& position) {
    return position.remainRoll >= 0 && position.remainRoll <= RollsPerTurn;
}

} // namespace

Analysis analysePosition(const StrategyTable& table, const Position& position) {
    const TurnTables& t = turnTables();
    SheetState state;
    if (!validRolls(position) || !readSheet(t, position.scores, position.selected, state) ||
        state.mask == MaskCount - 1 || table.values.empty()) {
        return invalid();
    }
    const auto solved = std::make_unique<SolvedTurn>(); // kept off the caller's stack
    solveTurn(t, table, state, *solved);
    return listActions(t, *solved, position, state.sheetPoints, state.sheetPoints);
}

double gameValue(const StrategyTable& table) {
    Position start{};
    start.dice = Dice{1, 2, 3, 4, 5};
    start.remainRoll = RollsPerTurn;
    const Analysis a = analysePosition(table, start);
    return a.valid ? a.actions[a.best].value : 0.0;
}

Analysis analyseLastTurnToWin(const Position& position, int opponentTotal) {
    const TurnTables& t = turnTables();
    SheetState state;
    if (!validRolls(position) || !readSheet(t, position.scores, position.selected, state) ||
        std::popcount(static_cast<unsigned>(state.mask)) != CategoryCount - 1) {
        return invalid();
    }
    const auto solved = std::make_unique<SolvedTurn>();
    solveLastTurnToWin(t, state, opponentTotal, *solved);
    return listActions(t, *solved, position, 0.0, state.sheetPoints);
}

FaceCounts heldCounts(const Dice& dice, const Dice& fix) {
    FaceCounts counts{};
    for (int i = 0; i < DiceCount; ++i) {
        if (fix[i] != 0 && dice[i] >= 1 && dice[i] <= FaceCount) {
            ++counts[dice[i] - 1];
        }
    }
    return counts;
}

bool fixForHold(const Dice& dice, const FaceCounts& hold, Dice& fix) {
    FaceCounts left = hold;
    fix = Dice{};
    for (int i = 0; i < DiceCount; ++i) {
        if (dice[i] >= 1 && dice[i] <= FaceCount && left[dice[i] - 1] > 0) {
            --left[dice[i] - 1];
            fix[i] = 1;
        }
    }
    return left == FaceCounts{};
}

int heldAction(const Analysis& analysis, const Dice& dice, const Dice& fix) {
    if (!analysis.valid) {
        return -1;
    }
    const FaceCounts hold = heldCounts(dice, fix);
    for (int i = 0; i < analysis.actionCount; ++i) {
        const Action& a = analysis.actions[i];
        if (a.kind == ActionRoll && a.hold == hold) {
            return i;
        }
    }
    return -1;
}
