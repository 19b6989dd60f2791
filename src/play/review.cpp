#include "play/review.h"

#include "play/advice.h"

#include <cmath>

namespace {

// Decisions that cost less than this are optimal ones whose value differs only by rounding.
constexpr double Negligible = 1e-6;

void noteDecision(PlayerReview& review, const Decision& decision) {
    ++review.decisions;
    review.lost += decision.cost;
    if (decision.cost < Negligible) {
        return;
    }
    int at = review.costliestCount;
    while (at > 0 && review.costliest[at - 1].cost < decision.cost) {
        --at;
    }
    if (at >= CostliestShown) {
        return;
    }
    for (int i = CostliestShown - 1; i > at; --i) {
        review.costliest[i] = review.costliest[i - 1];
    }
    review.costliest[at] = decision;
    if (review.costliestCount < CostliestShown) {
        ++review.costliestCount;
    }
}

int recordedCategory(const GameState& before, const GameState& after, int player) {
    for (int c = 0; c < CategoryCount; ++c) {
        if (before.selected[player][c] == 0 && after.selected[player][c] != 0) {
            return c;
        }
    }
    return -1;
}

int recordAction(const Analysis& advice, int category) {
    for (int i = 0; i < advice.actionCount; ++i) {
        if (advice.actions[i].kind == ActionRecord && advice.actions[i].category == category) {
            return i;
        }
    }
    return -1;
}

double bestValue(const Analysis& analysis) {
    return analysis.actions[analysis.best].value;
}

void printDecision(std::FILE* out, const Decision& d) {
    char done[40];
    char best[40];
    describeAction(d.done, done, sizeof done);
    describeAction(d.best, best, sizeof best);
    std::fprintf(out, "    turn %2d, roll %d: %s; best was to %s (cost %.2f)\n", d.turn, d.roll,
                 done, best, d.cost);
}

} // namespace

void beginReview(PlayerReview& review, const StrategyTable& table) {
    review = PlayerReview{};
    review.reviewed = true;
    review.expected = gameValue(table);
}

void noteMove(PlayerReview& review, const StrategyTable& table, const GameState& before,
              const GameState& after, const Analysis& advice) {
    if (!review.reviewed || !advice.valid) {
        return;
    }
    const int player = before.player;
    const int roll = RollsPerTurn - before.remainRoll; // the rolls made so far this turn
    const int category = recordedCategory(before, after, player);
    int chosen = -1;
    if (category >= 0) {
        chosen = recordAction(advice, category);
    } else if (after.remainRoll == before.remainRoll - 1) {
        chosen = before.remainRoll == RollsPerTurn ? advice.best
                                                   : heldAction(advice, before.eyes, before.fix);
        if (chosen >= 0) {
            const Analysis rolled = analysePosition(table, positionOf(after, player));
            review.luck += bestValue(rolled) - advice.actions[chosen].value;
        }
    } else {
        return; // a move of the cursors or a hold: nothing decided yet
    }
    if (chosen < 0 || before.remainRoll == RollsPerTurn) {
        return; // the first roll of a turn is no choice
    }
    const Action& best = advice.actions[advice.best];
    const Action& done = advice.actions[chosen];
    noteDecision(review, Decision{before.turn, roll, done, best, best.value - done.value});
}

void printReview(std::FILE* out, const GameReview& review, const Sheets& playersScore) {
    const Totals totals = computeTotals(playersScore);
    for (int p = 0; p < PlayerCount; ++p) {
        const PlayerReview& r = review[p];
        if (!r.reviewed) {
            continue;
        }
        std::fprintf(out, "Review of %dP's game\n", p + 1);
        std::fprintf(out, "  final total                 %3d\n", totals.total[p]);
        std::fprintf(out, "  optimal play expects        %7.2f\n", r.expected);
        std::fprintf(out, "  expected points lost        %7.2f  in %d decisions\n", r.lost,
                     r.decisions);
        std::fprintf(out, "  luck of the dice            %+7.2f\n", r.luck);
        // The levels differ by the points their decisions lose a game, so the player's are
        // matched with theirs.
        const int level = levelClosestTo(r.lost);
        std::fprintf(
            out, "  closest level of play       level %d of %d (its decisions lose %.2f a game)\n",
            level, PerfectLevel, levelPointsLost(level));
        if (r.costliestCount == 0) {
            std::fprintf(out, "  Every decision was the best one.\n");
        } else {
            std::fprintf(out, "  The costliest decisions:\n");
            for (int i = 0; i < r.costliestCount; ++i) {
                printDecision(out, r.costliest[i]);
            }
        }
    }
}
