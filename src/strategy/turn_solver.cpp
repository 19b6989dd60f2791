#include "strategy/turn_solver.h"

#include <algorithm>

namespace {

// By value, so that loops of it vectorise.
double larger(double a, double b) {
    return a < b ? b : a;
}

// values[k] for keeps of fewer than five dice: the mean over the next die's six faces of the keep
// with that die added. The keeps of five dice hold the values the roll leads to.
void averageOverRolls(const TurnTables& t, std::array<double, KeepCount>& values) {
    for (int k = FirstDiceSet - 1; k >= 0; --k) {
        double sum = 0;
        for (int f = 0; f < FaceCount; ++f) {
            sum += values[t.child[k][f]];
        }
        values[k] = sum / FaceCount;
    }
}

// best[k]: the most any keep within k is worth, the removal of one die at a time reaching every
// smaller keep.
void bestWithin(const TurnTables& t, const std::array<double, KeepCount>& values,
                std::array<double, KeepCount>& best) {
    best[0] = values[0];
    for (int k = 1; k < KeepCount; ++k) {
        const auto& parent = t.parentPadded[k];
        const double a = larger(best[parent[0]], best[parent[1]]);
        const double b = larger(best[parent[2]], best[parent[3]]);
        best[k] = larger(larger(values[k], best[parent[4]]), larger(a, b));
    }
}

// From keep1's dice sets (the best record of each), the rest of keep1 and all of keep2.
void solveKeeps(const TurnTables& t, SolvedTurn& solved) {
    averageOverRolls(t, solved.keep1);
    bestWithin(t, solved.keep1, solved.keep2);
    averageOverRolls(t, solved.keep2);
}

float storedValue(const StrategyTable& table, int mask, int lane) {
    return table.values[table.offset[static_cast<std::size_t>(mask)] + static_cast<unsigned>(lane)];
}

} // namespace

bool readSheet(const TurnTables& t, const Sheet& scores, const Sheet& selected, SheetState& state) {
    state = SheetState{};
    int upper = 0;
    int points = 0;
    for (int c = 0; c < CategoryCount; ++c) {
        if (selected[c] == 0) {
            if (scores[c] != 0) {
                return false;
            }
            continue;
        }
        state.mask |= 1 << c;
        if (c < UpperCount) {
            const int face = c + 1;
            if (scores[c] < 0 || scores[c] > DiceCount * face || scores[c] % face != 0) {
                return false;
            }
            upper += scores[c];
        } else if (scores[c] < 0 || scores[c] > MaxTotal) {
            return false;
        }
        points += scores[c];
    }
    state.subtotal = std::min(upper, BonusThreshold);
    state.lane = t.laneOf[state.mask & (UpperMaskCount - 1)][state.subtotal];
    state.sheetPoints = points + (upper >= BonusThreshold ? BonusPoints : 0);
    return state.lane >= 0;
}

void solveTurn(const TurnTables& t, const StrategyTable& table, const SheetState& state,
               SolvedTurn& solved) {
    const int upper = state.mask & (UpperMaskCount - 1);
    solved.mask = state.mask;
    solved.toWin = false;
    for (int c = 0; c < CategoryCount; ++c) {
        const int next = state.mask | 1 << c;
        if (next == state.mask) {
            continue;
        }
        if (c >= UpperCount) {
            solved.lowerValue[c] = storedValue(table, next, state.lane);
            continue;
        }
        for (int k = 0; k <= DiceCount; ++k) {
            const UpperStep step = upperStep(t, upper, state.lane, c + 1, k);
            solved.upperValue[c][k] =
                k * (c + 1) + step.bonus + storedValue(table, next, step.lane);
        }
    }
    // The best record of each dice set, category by category: the same sums as recordValue's.
    double* best = solved.keep1.data() + FirstDiceSet;
    std::fill(best, best + DiceSetCount, -1.0);
    for (int c = 0; c < CategoryCount; ++c) {
        if (state.mask >> c & 1) {
            continue;
        }
        if (c < UpperCount) {
            const std::uint8_t* count = t.countOf[c].data();
            const double* value = solved.upperValue[c].data();
            for (int d = 0; d < DiceSetCount; ++d) {
                best[d] = larger(best[d], value[count[d]]);
            }
            continue;
        }
        const std::uint8_t* points = t.scoreOf[c].data();
        const double after = solved.lowerValue[c];
        for (int d = 0; d < DiceSetCount; ++d) {
            best[d] = larger(best[d], points[d] + after);
        }
    }
    solveKeeps(t, solved);
}

void solveLastTurnToWin(const TurnTables& t, const SheetState& state, int opponentTotal,
                        SolvedTurn& solved) {
    solved.mask = state.mask;
    solved.toWin = true;
    int open = 0;
    while (state.mask >> open & 1) {
        ++open;
    }
    for (int d = 0; d < DiceSetCount; ++d) {
        const int points = t.score[d][open];
        int total = static_cast<int>(state.sheetPoints) + points;
        if (open < UpperCount && state.subtotal < BonusThreshold &&
            state.subtotal + points >= BonusThreshold) {
            total += BonusPoints;
        }
        solved.keep1[FirstDiceSet + d] =
            total > opponentTotal ? 1.0 : (total == opponentTotal ? 0.5 : 0.0);
    }
    solveKeeps(t, solved);
}

double recordValue(const TurnTables& t, const SolvedTurn& solved, int d, int c) {
    if (solved.toWin) {
        return solved.keep1[FirstDiceSet + d];
    }
    if (c < UpperCount) {
        return solved.upperValue[c][t.counts[FirstDiceSet + d][c]];
    }
    return t.score[d][c] + solved.lowerValue[c];
}

double turnStartValue(const TurnTables& t, const SolvedTurn& solved) {
    std::array<double, KeepCount> best;
    bestWithin(t, solved.keep2, best);
    double sum = 0;
    for (int d = 0; d < DiceSetCount; ++d) {
        sum += t.probability[d] * best[FirstDiceSet + d];
    }
    return sum;
}

int bestActionIndex(const TurnTables& t, const SolvedTurn& solved, int d, int rollsLeft) {
    int index = 0;
    int bestIndex = -1;
    double bestValue = 0;
    for (int c = 0; c < CategoryCount; ++c) {
        if (solved.mask >> c & 1) {
            continue;
        }
        const double v = recordValue(t, solved, d, c);
        if (bestIndex < 0 || v > bestValue) {
            bestIndex = index;
            bestValue = v;
        }
        ++index;
    }
    if (rollsLeft == 0) {
        return bestIndex;
    }
    const std::array<double, KeepCount>& keeps = rollsLeft == 1 ? solved.keep1 : solved.keep2;
    for (int i = 0; i < t.subKeepCount[d]; ++i, ++index) {
        const double v = keeps[t.subKeeps[d][i]];
        if (v > bestValue) {
            bestIndex = index;
            bestValue = v;
        }
    }
    return bestIndex;
}

int actionValues(const TurnTables& t, const SolvedTurn& solved, int d, int rollsLeft,
                 double* values) {
    int n = 0;
    for (int c = 0; c < CategoryCount; ++c) {
        if ((solved.mask >> c & 1) == 0) {
            values[n++] = recordValue(t, solved, d, c);
        }
    }
    if (rollsLeft > 0) {
        const std::array<double, KeepCount>& keeps = rollsLeft == 1 ? solved.keep1 : solved.keep2;
        for (int i = 0; i < t.subKeepCount[d]; ++i) {
            values[n++] = keeps[t.subKeeps[d][i]];
        }
    }
    return n;
}
