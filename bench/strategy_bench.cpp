// Measures the strategy engine: the whole table on two threads and on one, self-play games per
// second and the table's memory, each beside its goal, and the levels of play: each one's mean
// beside its goal, its chance to win against the best play, and its self-play speed. A benchmark,
// not a test: it prints a missed goal as missed and always exits 0. --quick: fewer repetitions.
#include "strategy/strategy.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median, with the range when the values differ.
std::string spread(const std::vector<double>& values, const char* unit, int digits) {
    char text[96];
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    if (*low == *high) {
        std::snprintf(text, sizeof text, "%.*f %s", digits, median(values), unit);
    } else {
        std::snprintf(text, sizeof text, "%.*f %s (%.*f-%.*f)", digits, median(values), unit,
                      digits, *low, digits, *high);
    }
    return text;
}

// One row, as the game's benchmark prints them: figure, measured, extra, goal, verdict.
void line(const std::string& name, const std::string& measured, const std::string& goal = "",
          int met = -1, const std::string& extra = "") {
    const char* verdict = met < 0 ? "" : (met ? "met" : "MISSED");
    std::printf("| %-42s | %20s | %10s | %-22s | %-6s |\n", name.c_str(), measured.c_str(),
                extra.c_str(), goal.c_str(), verdict);
}

std::vector<double> tableBuilds(int threads, int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        StrategyTable table;
        const auto start = std::chrono::steady_clock::now();
        buildStrategyTable(table, threads);
        ms.push_back(secondsSince(start) * 1000);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int builds = quick ? 3 : 9;
    const int games = quick ? 50000 : 200000;
    const int runs = quick ? 1 : 3;

    line("figure", "measured", "goal", -1, "threads");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(44, '-').c_str(), std::string(22, '-').c_str(),
                std::string(12, '-').c_str(), std::string(24, '-').c_str(),
                std::string(8, '-').c_str());
    std::printf("| **Strategy engine (Release; medians, with the range; %u hardware threads)** "
                "| | | | |\n",
                std::thread::hardware_concurrency());
    char name[96];
    const std::vector<double> two = tableBuilds(2, builds);
    std::snprintf(name, sizeof name, "whole table, median of %d builds", builds);
    line(name, spread(two, "ms", 1), "<= 150 ms", median(two) <= 150, "2");
    const std::vector<double> one = tableBuilds(1, builds);
    line(name, spread(one, "ms", 1), "<= 300 ms", median(one) <= 300, "1");

    StrategyTable table;
    buildStrategyTable(table, 2);
    SelfPlayStats stats{};
    for (int threads : {2, 1}) {
        std::vector<double> rates;
        for (int i = 0; i < runs; ++i) {
            const auto start = std::chrono::steady_clock::now();
            stats = playSelfGames(table, games, 1, threads);
            rates.push_back(games / secondsSince(start));
        }
        std::snprintf(name, sizeof name, "self-play, %d run(s) of %d games", runs, games);
        line(name, spread(rates, "games/s", 0), ">= 20,000 games/s", median(rates) >= 20000,
             std::to_string(threads));
    }

    char measured[64];
    const double megabytes = strategyMemoryBytes(table) / (1024.0 * 1024.0);
    std::snprintf(measured, sizeof measured, "%.2f MB", megabytes);
    line("table memory (values, offsets, fixed tables)", measured, "<= 2 MB", megabytes <= 2);
    std::snprintf(measured, sizeof measured, "%zu", strategyStateCount(table));
    line("turn-start states, the finished sheet included", measured);

    // What the coach and the computer do for each frame: one position analysed, on positions with
    // 0 to 11 categories recorded, random dice and one or two rolls left.
    std::vector<double> analyses;
    for (int run = 0; run < (quick ? 1 : 3); ++run) {
        constexpr int Positions = 2000;
        unsigned state = 12345u + static_cast<unsigned>(run);
        const auto next = [&state](int n) {
            state = state * 1103515245u + 12345u;
            return static_cast<int>((state >> 16) % static_cast<unsigned>(n));
        };
        const auto begin = std::chrono::steady_clock::now();
        double sink = 0;
        for (int i = 0; i < Positions; ++i) {
            Position p{};
            for (int c = 0; c < CategoryCount; ++c) {
                p.selected[c] = (c + i) % CategoryCount < i % CategoryCount ? 1 : 0;
            }
            for (int& face : p.dice) {
                face = 1 + next(6);
            }
            p.remainRoll = 1 + next(2);
            sink += analysePosition(table, p).actionCount;
        }
        analyses.push_back(secondsSince(begin) * 1e6 / Positions);
        if (sink < 0) {
            std::printf("?");
        }
    }
    line("one position analysed (coach, computer)", spread(analyses, "us", 0), "< 16 ms, a frame",
         median(analyses) < 16000, "1");

    Position start{};
    start.remainRoll = RollsPerTurn;
    const double value = analysePosition(table, start).actions[0].value;
    std::snprintf(measured, sizeof measured, "%.6f", value);
    line("expected total from the empty sheet", measured, "191.7744",
         std::fabs(value - 191.7744) < 0.00005);
    std::snprintf(measured, sizeof measured, "%.3f +- %.3f", stats.mean, stats.standardError);
    std::snprintf(name, sizeof name, "self-play mean of %d games, seed 1", games);
    line(name, measured, "191.7744 within 3 SE",
         std::fabs(stats.mean - 191.7744) < 3 * stats.standardError);

    // The levels, from the same games as `stats` (seed 1, two threads): `--simulate N --seed 1
    // --level L` prints the same mean and chance to win.
    std::printf("| **Levels of play (%d self-played games each, seed 1; `--simulate %d --seed 1 "
                "--level L`; the third column: the points lost a game)** | | | | |\n",
                games, games);
    double previous = 0;
    for (int level = LowestLevel; level <= PerfectLevel; ++level) {
        const SelfPlayStats s =
            level == PerfectLevel ? stats : playSelfGames(table, games, 1, 2, level);
        const bool near = std::fabs(s.mean - levelGoal(level)) <= 1.5;
        std::snprintf(name, sizeof name, "level %d: mean, points lost a game", level);
        std::snprintf(measured, sizeof measured, "%.2f +- %.2f", s.mean, s.standardError);
        char lost[32];
        std::snprintf(lost, sizeof lost, "%.2f", s.meanLost);
        char goal[48];
        std::snprintf(goal, sizeof goal, "%.2f +- 1.5, rising", levelGoal(level));
        line(name, measured, goal, near && s.mean > previous, lost);
        previous = s.mean;
        if (level != PerfectLevel) {
            std::snprintf(name, sizeof name, "level %d: chance to win against level 5", level);
            std::snprintf(measured, sizeof measured, "%.1f %%", 100 * chanceToBeat(s, stats));
            line(name, measured);
        }
    }
    // Speed: the lowest level weighs the most actions at every step (the fewest fall below its
    // cut-off), so it is the slowest.
    for (int threads : {2, 1}) {
        std::vector<double> perfect;
        std::vector<double> lowest;
        for (int i = 0; i < runs; ++i) {
            auto began = std::chrono::steady_clock::now();
            playSelfGames(table, games / 2, 3, threads);
            perfect.push_back(games / 2 / secondsSince(began));
            began = std::chrono::steady_clock::now();
            playSelfGames(table, games / 2, 3, threads, LowestLevel);
            lowest.push_back(games / 2 / secondsSince(began));
        }
        std::snprintf(name, sizeof name, "self-play at level 1 / level 5, %d run(s)", runs);
        std::snprintf(measured, sizeof measured, "%.0f / %.0f games/s", median(lowest),
                      median(perfect));
        char ratio[16];
        std::snprintf(ratio, sizeof ratio, "%.2f", median(lowest) / median(perfect));
        line(name, measured, ">= half of level 5's", median(lowest) >= median(perfect) / 2,
             std::to_string(threads) + ", x" + ratio);
    }
    return 0;
}
