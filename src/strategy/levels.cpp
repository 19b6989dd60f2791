// The levels of play: how a level below the best chooses among the legal actions, and what each
// level was calibrated to.
#include "strategy/strategy.h"

#include <cmath>

namespace {

struct Level {
    double temperature; // points
    double goal;        // the self-play mean it is calibrated to
    double pointsLost;  // what its choices lose a game against the best, measured
};

// The temperatures were found with bench/level_calibration.cpp (the build's level_calibration
// target): for each level below the best, a bisection on the logarithm of the temperature for the
// one whose self-play mean over 200,000 games of seed 1 is the level's goal, written to four
// significant digits. At these, 1,000,000 games of seed 2 gave means of 150.03, 161.92, 174.00,
// 184.01 and 191.80 (each +- 0.04) and points lost a game of 41.774, 29.873, 17.787, 7.748 and 0
// (+- 0.01 at most), the figures written here; the tests check both against self-play of their
// own.
constexpr Level Levels[PerfectLevel] = {
    {1.77, 150.0, 41.77},  {1.32, 162.0, 29.87}, {0.9123, 174.0, 17.79},
    {0.5707, 184.0, 7.75}, {0.0, 191.77, 0.0},
};

const Level& levelAt(int level) {
    const int i = level < LowestLevel ? LowestLevel : (level > PerfectLevel ? PerfectLevel : level);
    return Levels[i - 1];
}

// A weight below e^-Cutoff of the best's is under double's resolution of a sum that holds the
// best's own weight of 1: leaving it out changes no choice.
constexpr double Cutoff = 40;

constexpr int MaxActions = CategoryCount + 32;

} // namespace

double levelTemperature(int level) {
    return levelAt(level).temperature;
}

double levelGoal(int level) {
    return levelAt(level).goal;
}

double levelPointsLost(int level) {
    return levelAt(level).pointsLost;
}

int levelClosestTo(double pointsLost) {
    int closest = PerfectLevel;
    for (int level = PerfectLevel - 1; level >= LowestLevel; --level) {
        if (std::fabs(pointsLost - levelPointsLost(level)) <
            std::fabs(pointsLost - levelPointsLost(closest))) {
            closest = level;
        }
    }
    return closest;
}

int levelChoice(const double* values, int count, int best, double temperature, double uniform) {
    if (temperature <= 0 || count <= 1 || count > MaxActions) {
        return best;
    }
    double weight[MaxActions];
    double sum = 0;
    const double top = values[best];
    for (int i = 0; i < count; ++i) {
        const double x = (top - values[i]) / temperature;
        weight[i] = x < Cutoff ? std::exp(-x) : 0.0;
        sum += weight[i];
    }
    double target = uniform * sum;
    for (int i = 0; i < count; ++i) {
        if (target < weight[i]) {
            return i;
        }
        target -= weight[i];
    }
    return best; // only where rounding carried the target past the last weight
}

int levelChoice(const Analysis& analysis, int level, double uniform) {
    if (!analysis.valid) {
        return analysis.best;
    }
    double values[MaxActions];
    for (int i = 0; i < analysis.actionCount; ++i) {
        values[i] = analysis.actions[i].value;
    }
    return levelChoice(values, analysis.actionCount, analysis.best, levelTemperature(level),
                       uniform);
}

double uniformOf(std::uint64_t bits) {
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

double chanceToBeat(const SelfPlayStats& a, const SelfPlayStats& b) {
    if (a.games == 0 || b.games == 0) {
        return 0.0;
    }
    double below = 0; // games of b that ended below the total t
    double chance = 0;
    for (int t = 0; t <= MaxTotal; ++t) {
        const double same = b.totals[static_cast<std::size_t>(t)];
        chance += a.totals[static_cast<std::size_t>(t)] * (below + same / 2);
        below += same;
    }
    return chance / (static_cast<double>(a.games) * b.games);
}
