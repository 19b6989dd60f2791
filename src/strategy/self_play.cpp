// Whole games played alone with the best action at every step, for the statistics of the strategy.
#include "strategy/strategy.h"
#include "strategy/turn_solver.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

namespace {

// Rolls the dice not in keep k: the dice set that results.
int rollRest(const TurnTables& t, DiceRandom& r, int k) {
    while (t.size[k] < DiceCount) {
        k = t.child[k][rollFace(r)];
    }
    return k - FirstDiceSet;
}

// ---- one game -----------------------------------------------------------------------------------
struct GameResult {
    int total;
    bool bonus;
    bool jorvo;
};

GameResult playGame(const TurnTables& t, const StrategyTable& table, DiceRandom& r,
                    SolvedTurn& solved) {
    SheetState state{};
    state.lane = t.laneOf[0][0];
    int upper = 0;
    int total = 0;
    bool jorvo = false;
    for (int turn = 0; turn < TurnCount; ++turn) {
        solveTurn(t, table, state, solved);
        int d = rollRest(t, r, 0);
        int category = -1;
        for (int rollsLeft = RollsPerTurn - 1; category < 0; --rollsLeft) {
            int index = bestActionIndex(t, solved, d, rollsLeft);
            for (int c = 0; c < CategoryCount; ++c) {
                if ((state.mask >> c & 1) == 0 && index-- == 0) {
                    category = c;
                }
            }
            if (category < 0) {
                d = rollRest(t, r, t.subKeeps[d][index]);
            }
        }
        const int points = t.score[d][category];
        total += points;
        if (category < UpperCount) {
            upper += points;
        }
        jorvo = jorvo || (category == Jorvo && points > 0);
        state.mask |= 1 << category;
        state.subtotal = std::min(upper, BonusThreshold);
        state.lane = t.laneOf[state.mask & (UpperMaskCount - 1)][state.subtotal];
    }
    const bool bonus = upper >= BonusThreshold;
    return {total + (bonus ? BonusPoints : 0), bonus, jorvo};
}

struct Tally {
    std::array<int, MaxTotal + 1> totals{};
    int bonusGames = 0;
    int jorvoGames = 0;
};

} // namespace

SelfPlayStats playSelfGames(const StrategyTable& table, int games, std::uint64_t seed,
                            int threads) {
    const TurnTables& t = turnTables();
    threads = std::max(threads, 1);
    games = std::max(games, 0);

    // Games are handed out in chunks; each game's dice depend only on its number, and the tallies
    // are counts, so neither the threads nor the order change the result.
    constexpr int Chunk = 64;
    std::atomic<int> next{0};
    std::vector<Tally> tallies(static_cast<std::size_t>(threads));
    auto work = [&](Tally& tally) {
        const auto solved = std::make_unique<SolvedTurn>();
        for (int first = next.fetch_add(Chunk); first < games; first = next.fetch_add(Chunk)) {
            for (int game = first; game < std::min(first + Chunk, games); ++game) {
                DiceRandom r = seededRandom(seed, static_cast<std::uint64_t>(game));
                const GameResult result = playGame(t, table, r, *solved);
                ++tally.totals[static_cast<std::size_t>(result.total)];
                tally.bonusGames += result.bonus ? 1 : 0;
                tally.jorvoGames += result.jorvo ? 1 : 0;
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i) {
        helpers.emplace_back(work, std::ref(tallies[static_cast<std::size_t>(i)]));
    }
    work(tallies[0]);
    for (std::thread& helper : helpers) {
        helper.join();
    }

    SelfPlayStats stats{};
    stats.games = games;
    stats.minimum = games > 0 ? MaxTotal : 0;
    for (const Tally& tally : tallies) {
        stats.bonusGames += tally.bonusGames;
        stats.jorvoGames += tally.jorvoGames;
        for (int total = 0; total <= MaxTotal; ++total) {
            stats.totals[static_cast<std::size_t>(total)] +=
                tally.totals[static_cast<std::size_t>(total)];
        }
    }
    long long sum = 0;
    for (int total = 0; total <= MaxTotal; ++total) {
        const int n = stats.totals[static_cast<std::size_t>(total)];
        if (n > 0) {
            stats.minimum = std::min(stats.minimum, total);
            stats.maximum = std::max(stats.maximum, total);
            sum += static_cast<long long>(n) * total;
        }
    }
    if (games == 0) {
        return stats;
    }
    stats.mean = static_cast<double>(sum) / games;
    double squares = 0;
    for (int total = 0; total <= MaxTotal; ++total) {
        const double deviation = total - stats.mean;
        squares += stats.totals[static_cast<std::size_t>(total)] * deviation * deviation;
    }
    stats.standardDeviation = games > 1 ? std::sqrt(squares / (games - 1)) : 0.0;
    stats.standardError = stats.standardDeviation / std::sqrt(static_cast<double>(games));
    return stats;
}
