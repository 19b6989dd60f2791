// Finds the temperature of each level of play below the best: the one at which the level's
// self-play mean is its goal. The mean falls as the temperature rises, so a bisection (on the
// logarithm of the temperature) over self-play of a fixed seed finds it; the same games at every
// step keep the comparison steady. Then it measures every level at the temperature found, on other
// games, and prints the constants for src/strategy/levels.cpp. Run offline, not by the tests:
//
//   cmake --build build/bench --target level_calibration && build/bench/level_calibration
//
// Options: --games N for the search (default 200000), --check N for the measure (1000000).
#include "strategy/strategy.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr std::uint64_t SearchSeed = 1;
constexpr std::uint64_t CheckSeed = 2;
constexpr int Steps = 16; // halvings of the logarithm's range: T to 0.01 %, far below the noise

int threads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

double search(const StrategyTable& table, double goal, int games) {
    double low = std::log(0.05);  // a mean above every goal below the best
    double high = std::log(20.0); // and one below them
    for (int step = 0; step < Steps; ++step) {
        const double middle = (low + high) / 2;
        const SelfPlayStats s =
            playSelfGamesAt(table, games, SearchSeed, threads(), std::exp(middle));
        std::fprintf(stderr, "  T %9.5f: mean %8.3f\n", std::exp(middle), s.mean);
        (s.mean > goal ? low : high) = middle;
    }
    return std::exp((low + high) / 2);
}

} // namespace

int main(int argc, char** argv) {
    int games = 200000;
    int check = 1000000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--games") == 0) {
            games = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--check") == 0) {
            check = std::atoi(argv[i + 1]);
        }
    }
    StrategyTable table;
    buildStrategyTable(table, threads());
    double temperature[PerfectLevel + 1] = {};
    for (int level = LowestLevel; level < PerfectLevel; ++level) {
        std::fprintf(stderr, "level %d, goal %.2f\n", level, levelGoal(level));
        temperature[level] = search(table, levelGoal(level), games);
    }
    std::printf("level  temperature  goal     mean of %d games, seed %llu   points lost\n", check,
                static_cast<unsigned long long>(CheckSeed));
    for (int level = LowestLevel; level <= PerfectLevel; ++level) {
        // Four significant digits, as the constants are written.
        char written[32];
        std::snprintf(written, sizeof written, "%.4g", temperature[level]);
        const SelfPlayStats s =
            playSelfGamesAt(table, check, CheckSeed, threads(), std::atof(written));
        std::printf("%5d  %11s  %6.2f   %8.3f +- %.3f   %8.3f +- %.3f\n", level, written,
                    levelGoal(level), s.mean, s.standardError, s.meanLost, s.lostStandardError);
    }
    return 0;
}
