#include "app/simulate.h"

#include "app/program.h"
#include "strategy/strategy.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr int BinPoints = 20;
constexpr int BarColumns = 50;

double percent(int part, int whole) {
    return 100.0 * part / whole;
}

int gamesInBin(const SelfPlayStats& stats, int bin) {
    int games = 0;
    for (int t = bin * BinPoints; t < (bin + 1) * BinPoints && t <= MaxTotal; ++t) {
        games += stats.totals[t];
    }
    return games;
}

// One line a bin of BinPoints totals, from the lowest total's bin to the highest's, the longest
// bar BarColumns wide.
void printHistogram(std::FILE* out, const SelfPlayStats& stats) {
    const int first = stats.minimum / BinPoints;
    const int last = stats.maximum / BinPoints;
    int largest = 1;
    for (int bin = first; bin <= last; ++bin) {
        largest = std::max(largest, gamesInBin(stats, bin));
    }
    char bar[BarColumns + 1];
    for (int bin = first; bin <= last; ++bin) {
        const int games = gamesInBin(stats, bin);
        const int length =
            static_cast<int>((static_cast<long long>(games) * BarColumns + largest / 2) / largest);
        std::fill(bar, bar + length, '#');
        bar[length] = '\0';
        std::fprintf(out, "  %3d-%3d | %-*s %6.2f %%\n", bin * BinPoints,
                     bin * BinPoints + BinPoints - 1, BarColumns, bar, percent(games, stats.games));
    }
}

} // namespace

int runSimulation(long long games, std::uint64_t seed, int level, std::FILE* out) {
    const int threads = engineThreads();
    StrategyTable table;
    buildStrategyTable(table, threads);
    const auto start = std::chrono::steady_clock::now();
    const SelfPlayStats stats = playSelfGames(table, static_cast<int>(games), seed, threads, level);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (level == PerfectLevel) {
        std::fprintf(out, "%d games of optimal play (level %d), seed %llu\n", stats.games, level,
                     static_cast<unsigned long long>(seed));
    } else {
        std::fprintf(out, "%d games at level %d of %d, seed %llu\n", stats.games, level,
                     PerfectLevel, static_cast<unsigned long long>(seed));
    }
    std::fprintf(out, "  mean                 %8.3f\n", stats.mean);
    std::fprintf(out, "  standard deviation   %8.3f\n", stats.standardDeviation);
    std::fprintf(out, "  standard error       %8.3f\n", stats.standardError);
    std::fprintf(out, "  minimum              %4d\n", stats.minimum);
    std::fprintf(out, "  maximum              %4d\n", stats.maximum);
    std::fprintf(out, "  bonus earned         %8.3f %%\n", percent(stats.bonusGames, stats.games));
    std::fprintf(out, "  Jorvo scored         %8.3f %%\n", percent(stats.jorvoGames, stats.games));
    std::fprintf(out, "  points lost a game   %8.3f\n", stats.meanLost);
    std::fprintf(out, "  optimal play expects %8.3f\n", gameValue(table));
    if (level != PerfectLevel) {
        // Against as many games of optimal play of the same seed, each game of one side against
        // every game of the other.
        const SelfPlayStats best = playSelfGames(table, stats.games, seed, threads);
        std::fprintf(out, "  wins against level %d %8.3f %%  (a draw counting one half)\n",
                     PerfectLevel, 100 * chanceToBeat(stats, best));
    }
    std::fprintf(out, "Totals:\n");
    printHistogram(out, stats);
    std::fprintf(out, "(%.2f s on %d threads)\n", seconds, threads);
    return ExitFinished;
}
