// Backward induction over the turn-start states. The states of one set of recorded categories
// differ only in their upper subtotal (their lane), and their turns run through the same keeps in
// the same order: they are solved together, a block of lanes at a time, each step of the turn a
// few vector instructions over the block. A block's working arrays stay in the first-level cache.
#include "strategy/strategy.h"
#include "strategy/turn_tables.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <functional>
#include <thread>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace {

constexpr int Width = 8;

struct Block {
    float v[Width];
};

struct Scratch {
    std::array<Block, KeepCount> a;
    std::array<Block, KeepCount> b;
    std::array<std::array<Block, DiceCount + 1>, UpperCount> upperRow;
    std::array<Block, CategoryCount> lowerRow;
    std::array<int, UpperCount> upperOpen;
    std::array<int, CategoryCount> lowerOpen;
};

// The larger of each pair of lanes. Whether the compiler turns a plain loop of comparisons into
// vector maxima depends on the optimisation level and on where it is inlined, so on x86-64, where
// SSE2 is always there, it is written with SSE2's maximum (the intrinsics header comes with every
// x86-64 compiler); other machines take the plain loop.
void maxInto(Block& m, const Block& x) {
#if defined(__SSE2__) || defined(_M_X64)
    for (int j = 0; j < Width; j += 4) {
        _mm_storeu_ps(m.v + j, _mm_max_ps(_mm_loadu_ps(m.v + j), _mm_loadu_ps(x.v + j)));
    }
#else
    for (int j = 0; j < Width; ++j) {
        m.v[j] = m.v[j] < x.v[j] ? x.v[j] : m.v[j];
    }
#endif
}

// The same with `points` added to each lane of x.
void maxPlusInto(Block& m, float points, const Block& x) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128 add = _mm_set1_ps(points);
    for (int j = 0; j < Width; j += 4) {
        const __m128 candidate = _mm_add_ps(_mm_loadu_ps(x.v + j), add);
        _mm_storeu_ps(m.v + j, _mm_max_ps(_mm_loadu_ps(m.v + j), candidate));
    }
#else
    for (int j = 0; j < Width; ++j) {
        m.v[j] = m.v[j] < points + x.v[j] ? points + x.v[j] : m.v[j];
    }
#endif
}

// a[k] for keeps of fewer than five dice: the mean over the next die's faces of the keep with it.
// A division, not a product with 1/6: float's 1/6 is a little high, and that error would add up
// over the game's sixty-odd averages to more than 1e-4 points; a division rounds without bias.
void averageOverRolls(const TurnTables& t, std::array<Block, KeepCount>& a) {
    constexpr float Six = FaceCount;
    for (int k = FirstDiceSet - 1; k >= 0; --k) {
        const auto& child = t.child[k];
        const Block& c0 = a[child[0]];
        const Block& c1 = a[child[1]];
        const Block& c2 = a[child[2]];
        const Block& c3 = a[child[3]];
        const Block& c4 = a[child[4]];
        const Block& c5 = a[child[5]];
        Block& out = a[k];
#if defined(__SSE2__) || defined(_M_X64)
        const __m128 six = _mm_set1_ps(Six);
        for (int j = 0; j < Width; j += 4) {
            const __m128 s01 = _mm_add_ps(_mm_loadu_ps(c0.v + j), _mm_loadu_ps(c1.v + j));
            const __m128 s23 = _mm_add_ps(_mm_loadu_ps(c2.v + j), _mm_loadu_ps(c3.v + j));
            const __m128 s45 = _mm_add_ps(_mm_loadu_ps(c4.v + j), _mm_loadu_ps(c5.v + j));
            _mm_storeu_ps(out.v + j, _mm_div_ps(_mm_add_ps(_mm_add_ps(s01, s23), s45), six));
        }
#else
        for (int j = 0; j < Width; ++j) {
            out.v[j] = (((c0.v[j] + c1.v[j]) + (c2.v[j] + c3.v[j])) + (c4.v[j] + c5.v[j])) / Six;
        }
#endif
    }
}

// best[k]: the most any keep within k is worth, one die removed at a time.
void bestWithin(const TurnTables& t, const std::array<Block, KeepCount>& values,
                std::array<Block, KeepCount>& best) {
    for (int k = 0; k < KeepCount; ++k) {
        Block m = values[k];
        for (int i = 0; i < t.parentCount[k]; ++i) {
            maxInto(m, best[t.parent[k][i]]);
        }
        best[k] = m;
    }
}

// sum[j]: the mean over the first roll of the values of the dice sets, in double.
void expectOverFirstRoll(const TurnTables& t, const std::array<Block, KeepCount>& a,
                         std::array<double, Width>& sum) {
#if defined(__SSE2__) || defined(_M_X64)
    __m128d acc[Width / 2];
    for (__m128d& x : acc) {
        x = _mm_setzero_pd();
    }
    for (int d = 0; d < DiceSetCount; ++d) {
        const __m128d p = _mm_set1_pd(t.probability[d]);
        const float* v = a[FirstDiceSet + d].v;
        for (int j = 0; j < Width; j += 4) {
            const __m128 four = _mm_loadu_ps(v + j);
            acc[j / 2] = _mm_add_pd(acc[j / 2], _mm_mul_pd(p, _mm_cvtps_pd(four)));
            acc[j / 2 + 1] =
                _mm_add_pd(acc[j / 2 + 1], _mm_mul_pd(p, _mm_cvtps_pd(_mm_movehl_ps(four, four))));
        }
    }
    for (int j = 0; j < Width; j += 2) {
        _mm_storeu_pd(sum.data() + j, acc[j / 2]);
    }
#else
    for (int d = 0; d < DiceSetCount; ++d) {
        const double p = t.probability[d];
        const Block& v = a[FirstDiceSet + d];
        for (int j = 0; j < Width; ++j) {
            sum[j] += p * v.v[j];
        }
    }
#endif
}

void solveBlock(const TurnTables& t, StrategyTable& table, int mask, int firstLane, Scratch& s) {
    const int upper = mask & (UpperMaskCount - 1);
    const int lanes = t.laneCount[upper];
    std::array<int, Width> lane;
    for (int j = 0; j < Width; ++j) {
        lane[j] = firstLane + j < lanes ? firstLane + j : SettledLane;
    }

    // What recording in each open category leads to, per lane.
    int upperOpen = 0;
    int lowerOpen = 0;
    for (int c = 0; c < CategoryCount; ++c) {
        const int next = mask | 1 << c;
        if (next == mask) {
            continue;
        }
        const float* after = table.values.data() + table.offset[static_cast<std::size_t>(next)];
        if (c >= UpperCount) {
            for (int j = 0; j < Width; ++j) {
                s.lowerRow[lowerOpen].v[j] = after[lane[j]];
            }
            s.lowerOpen[lowerOpen++] = c;
            continue;
        }
        for (int k = 0; k <= DiceCount; ++k) {
            for (int j = 0; j < Width; ++j) {
                const UpperStep step = upperStep(t, upper, lane[j], c + 1, k);
                s.upperRow[upperOpen][k].v[j] =
                    static_cast<float>(k * (c + 1) + step.bonus) + after[step.lane];
            }
        }
        s.upperOpen[upperOpen++] = c;
    }

    // The dice sets after the last roll: the best record.
    for (int d = 0; d < DiceSetCount; ++d) {
        Block best;
        for (int j = 0; j < Width; ++j) {
            best.v[j] = -1.0f;
        }
        const FaceCounts& counts = t.counts[FirstDiceSet + d];
        for (int i = 0; i < upperOpen; ++i) {
            maxInto(best, s.upperRow[i][counts[s.upperOpen[i]]]);
        }
        for (int i = 0; i < lowerOpen; ++i) {
            maxPlusInto(best, t.score[d][s.lowerOpen[i]], s.lowerRow[i]);
        }
        s.a[FirstDiceSet + d] = best;
    }

    averageOverRolls(t, s.a); // keeps with one roll left
    bestWithin(t, s.a, s.b);  // dice sets with one roll left
    averageOverRolls(t, s.b); // keeps with two rolls left
    bestWithin(t, s.b, s.a);  // dice sets with two rolls left

    std::array<double, Width> sum{};
    expectOverFirstRoll(t, s.a, sum);
    float* out = table.values.data() + table.offset[static_cast<std::size_t>(mask)];
    for (int j = 0; j < Width && firstLane + j < lanes; ++j) {
        out[firstLane + j] = static_cast<float>(sum[j]);
    }
}

void solveMask(const TurnTables& t, StrategyTable& table, int mask, Scratch& s) {
    const int lanes = t.laneCount[mask & (UpperMaskCount - 1)];
    for (int first = 0; first < lanes; first += Width) {
        solveBlock(t, table, mask, first, s);
    }
}

} // namespace

void buildStrategyTable(StrategyTable& table, int threads) {
    buildStrategyTableFrom(table, threads, 0);
}

void buildStrategyTableFrom(StrategyTable& table, int threads, int recorded) {
    const TurnTables& t = turnTables();
    threads = std::max(threads, 1);

    table.offset.assign(MaskCount + 1, 0);
    for (int mask = 0; mask < MaskCount; ++mask) {
        table.offset[static_cast<std::size_t>(mask) + 1] =
            table.offset[static_cast<std::size_t>(mask)] + t.laneCount[mask & (UpperMaskCount - 1)];
    }
    // The finished sheet is worth nothing more; every other value is written below.
    table.values.assign(table.offset[MaskCount], 0.0f);

    // A state depends only on states with one more category recorded: the sets with the same
    // number of categories are independent and shared out among the threads, the heaviest first.
    std::vector<Scratch> scratch(static_cast<std::size_t>(threads));
    std::vector<int> level;
    for (int count = CategoryCount - 1; count >= 0; --count) {
        level.clear();
        for (int mask = 0; mask < MaskCount; ++mask) {
            if (std::popcount(static_cast<unsigned>(mask)) == count &&
                (mask & recorded) == recorded) {
                level.push_back(mask);
            }
        }
        if (level.empty()) {
            continue; // below the categories asked for
        }
        std::stable_sort(level.begin(), level.end(), [&t](int x, int y) {
            return t.laneCount[x & (UpperMaskCount - 1)] > t.laneCount[y & (UpperMaskCount - 1)];
        });
        std::atomic<int> next{0};
        auto work = [&](Scratch& s) {
            for (int i = next.fetch_add(1); i < static_cast<int>(level.size());
                 i = next.fetch_add(1)) {
                solveMask(t, table, level[static_cast<std::size_t>(i)], s);
            }
        };
        std::vector<std::thread> helpers;
        for (int i = 1; i < threads; ++i) {
            helpers.emplace_back(work, std::ref(scratch[static_cast<std::size_t>(i)]));
        }
        work(scratch[0]);
        for (std::thread& helper : helpers) {
            helper.join();
        }
    }
}

std::size_t strategyStateCount(const StrategyTable& table) {
    return table.values.size();
}

std::size_t strategyMemoryBytes(const StrategyTable& table) {
    return table.values.capacity() * sizeof(float) +
           table.offset.capacity() * sizeof(std::uint32_t) + sizeof(TurnTables);
}
