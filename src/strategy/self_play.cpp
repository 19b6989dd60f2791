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
    double lost; // what the choices cost against the best
};

// One game: the best action at every step at a temperature of 0, else the level's choice among
// the actions, drawn from `choices`.
GameResult playGame(const TurnTables& t, const StrategyTable& table, DiceRandom& r,
                    DiceRandom& choices, double temperature, SolvedTurn& solved) {
    SheetState state{};
    state.lane = t.laneOf[0][0];
    int upper = 0;
    int total = 0;
    bool jorvo = false;
    double lost = 0;
    for (int turn = 0; turn < TurnCount; ++turn) {
        solveTurn(t, table, state, solved);
        int d = rollRest(t, r, 0);
        int category = -1;
        for (int rollsLeft = RollsPerTurn - 1; category < 0; --rollsLeft) {
            int index = bestActionIndex(t, solved, d, rollsLeft);
            if (temperature > 0) {
                double values[CategoryCount + MaxSubKeeps];
                const int count = actionValues(t, solved, d, rollsLeft, values);
                const int chosen =
                    levelChoice(values, count, index, temperature, uniformOf(nextRandom(choices)));
                lost += values[index] - values[chosen];
                index = chosen;
            }
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
    return {total + (bonus ? BonusPoints : 0), bonus, jorvo, lost};
}

// The points lost are added up as whole millionths of a point (their squares as thousandths), so
// that the sums, like the counts, do not depend on the order of the games.
constexpr double LostUnits = 1e6;
constexpr double LostSquareUnits = 1e3;

struct Tally {
    std::array<int, MaxTotal + 1> totals{};
    int bonusGames = 0;
    int jorvoGames = 0;
    long long lost = 0;        // in millionths of a point
    long long lostSquares = 0; // in millionths of a square point
};

} // namespace

SelfPlayStats playSelfGames(const StrategyTable& table, int games, std::uint64_t seed, int threads,
                            int level) {
    SelfPlayStats stats = playSelfGamesAt(table, games, seed, threads, levelTemperature(level));
    stats.level = level;
    return stats;
}

SelfPlayStats playSelfGamesAt(const StrategyTable& table, int games, std::uint64_t seed,
                              int threads, double temperature) {
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
                DiceRandom choices =
                    seededRandom(seed, ChoiceStream + static_cast<std::uint64_t>(game));
                const GameResult result = playGame(t, table, r, choices, temperature, *solved);
                ++tally.totals[static_cast<std::size_t>(result.total)];
                tally.bonusGames += result.bonus ? 1 : 0;
                tally.jorvoGames += result.jorvo ? 1 : 0;
                tally.lost += std::llround(result.lost * LostUnits);
                const long long square = std::llround(result.lost * LostSquareUnits);
                tally.lostSquares += square * square;
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
    long long lost = 0;
    long long lostSquares = 0;
    for (const Tally& tally : tallies) {
        stats.bonusGames += tally.bonusGames;
        stats.jorvoGames += tally.jorvoGames;
        lost += tally.lost;
        lostSquares += tally.lostSquares;
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
    stats.meanLost = static_cast<double>(lost) / LostUnits / games;
    const double lostSquareSum =
        static_cast<double>(lostSquares) / (LostSquareUnits * LostSquareUnits);
    const double lostVariance =
        games > 1 ? (lostSquareSum - games * stats.meanLost * stats.meanLost) / (games - 1) : 0.0;
    stats.lostStandardError = std::sqrt(std::max(lostVariance, 0.0) / games);
    return stats;
}
