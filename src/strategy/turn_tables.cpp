#include "strategy/turn_tables.h"

#include <algorithm>

namespace {

int codeOf(const FaceCounts& counts) {
    int code = 0;
    for (int f = FaceCount - 1; f >= 0; --f) {
        code = code * (DiceCount + 1) + counts[f];
    }
    return code;
}

// The tables' keep with these counts, through the sorted codes (filled before any lookup).
int findKeep(const TurnTables& t, const FaceCounts& counts) {
    int size = 0;
    for (int n : counts) {
        if (n < 0) {
            return -1;
        }
        size += n;
    }
    if (size > DiceCount) {
        return -1;
    }
    const int code = codeOf(counts);
    const auto at = std::lower_bound(t.sortedCode.begin(), t.sortedCode.end(), code);
    return t.sortedKeep[static_cast<std::size_t>(at - t.sortedCode.begin())];
}

// Appends the keeps of `size` dice in lexicographic order of their sorted faces.
void addKeepsOfSize(TurnTables& t, int& next, FaceCounts& counts, int size, int left, int low) {
    if (left == 0) {
        t.counts[next] = counts;
        t.size[next] = static_cast<std::uint8_t>(size);
        ++next;
        return;
    }
    for (int f = low; f < FaceCount; ++f) {
        ++counts[f];
        addKeepsOfSize(t, next, counts, size, left - 1, f);
        --counts[f];
    }
}

void buildKeeps(TurnTables& t) {
    int next = 0;
    for (int size = 0; size <= DiceCount; ++size) {
        FaceCounts counts{};
        addKeepsOfSize(t, next, counts, size, size, 0);
    }
    for (int k = 0; k < KeepCount; ++k) {
        t.sortedCode[k] = codeOf(t.counts[k]);
        t.sortedKeep[k] = static_cast<std::int16_t>(k);
    }
    std::sort(t.sortedKeep.begin(), t.sortedKeep.end(),
              [&t](int a, int b) { return t.sortedCode[a] < t.sortedCode[b]; });
    std::sort(t.sortedCode.begin(), t.sortedCode.end());
}

void buildLinks(TurnTables& t) {
    for (int k = 0; k < KeepCount; ++k) {
        t.parentCount[k] = 0;
        for (int f = 0; f < FaceCount; ++f) {
            FaceCounts more = t.counts[k];
            ++more[f];
            t.child[k][f] = static_cast<std::int16_t>(findKeep(t, more));
            if (t.counts[k][f] > 0) {
                FaceCounts less = t.counts[k];
                --less[f];
                t.parent[k][t.parentCount[k]++] = static_cast<std::int16_t>(findKeep(t, less));
            }
        }
        for (int i = 0; i < 5; ++i) {
            t.parentPadded[k][i] = t.parentCount[k] == 0  ? static_cast<std::int16_t>(k)
                                   : i < t.parentCount[k] ? t.parent[k][i]
                                                          : t.parent[k][0];
        }
    }
}

void buildDiceSets(TurnTables& t) {
    constexpr int Factorial[] = {1, 1, 2, 6, 24, 120};
    for (int d = 0; d < DiceSetCount; ++d) {
        const FaceCounts& counts = t.counts[FirstDiceSet + d];
        int orderings = Factorial[DiceCount];
        Dice dice{};
        int i = 0;
        for (int f = 0; f < FaceCount; ++f) {
            orderings /= Factorial[counts[f]];
            for (int n = 0; n < counts[f]; ++n) {
                dice[i++] = f + 1;
            }
        }
        t.probability[d] = orderings / 7776.0;
        const Evaluation e = evaluateCategories(dice);
        for (int c = 0; c < CategoryCount; ++c) {
            t.score[d][c] = static_cast<std::uint8_t>(e.scores[c]);
            t.scoreOf[c][d] = t.score[d][c];
        }
        for (int f = 0; f < FaceCount; ++f) {
            t.countOf[f][d] = static_cast<std::uint8_t>(counts[f]);
        }

        // Every sub-multiset: the counts of each face from 0 up to the dice's own.
        int found = 0;
        FaceCounts sub{};
        while (true) {
            t.subKeeps[d][found++] = static_cast<std::int16_t>(findKeep(t, sub));
            int f = 0;
            while (f < FaceCount && sub[f] == counts[f]) {
                sub[f] = 0;
                ++f;
            }
            if (f == FaceCount) {
                break;
            }
            ++sub[f];
        }
        t.subKeepCount[d] = static_cast<std::uint8_t>(found);
        std::sort(t.subKeeps[d].begin(), t.subKeeps[d].begin() + found, [&t](int a, int b) {
            return t.size[a] != t.size[b] ? t.size[a] > t.size[b] : a < b;
        });
    }
}

void buildLanes(TurnTables& t) {
    for (int upper = 0; upper < UpperMaskCount; ++upper) {
        std::array<bool, SubtotalCount> reachable{};
        reachable[0] = true;
        int stillPossible = 0; // the most the open upper categories can add
        for (int c = 0; c < UpperCount; ++c) {
            const int face = c + 1;
            if ((upper >> c & 1) == 0) {
                stillPossible += DiceCount * face;
                continue;
            }
            std::array<bool, SubtotalCount> next{};
            for (int s = 0; s < SubtotalCount; ++s) {
                for (int k = 0; reachable[s] && k <= DiceCount; ++k) {
                    next[std::min(s + k * face, BonusThreshold)] = true;
                }
            }
            reachable = next;
        }
        int lanes = 1;
        for (int s = 0; s < SubtotalCount; ++s) {
            if (!reachable[s]) {
                t.laneOf[upper][s] = -1;
            } else if (s >= BonusThreshold || s + stillPossible < BonusThreshold) {
                t.laneOf[upper][s] = SettledLane;
            } else {
                t.laneSubtotal[upper][lanes] = static_cast<std::uint8_t>(s);
                t.laneOf[upper][s] = static_cast<std::int8_t>(lanes++);
            }
        }
        t.laneSubtotal[upper][SettledLane] = BonusThreshold;
        t.laneCount[upper] = static_cast<std::uint8_t>(lanes);
    }
}

bool buildTurnTables(TurnTables& t) {
    buildKeeps(t);
    buildLinks(t);
    buildDiceSets(t);
    buildLanes(t);
    return true;
}

} // namespace

const TurnTables& turnTables() {
    // Filled in place, in static storage: the tables are too large for a thread's stack.
    static TurnTables tables;
    static const bool built = buildTurnTables(tables);
    (void)built;
    return tables;
}

int keepIndex(const FaceCounts& counts) {
    return findKeep(turnTables(), counts);
}

UpperStep upperStep(const TurnTables& t, int upper, int lane, int face, int k) {
    if (lane == SettledLane) {
        return {SettledLane, 0};
    }
    const int subtotal = t.laneSubtotal[upper][lane] + k * face;
    if (subtotal >= BonusThreshold) {
        return {SettledLane, BonusPoints};
    }
    return {t.laneOf[upper | 1 << (face - 1)][subtotal], 0};
}
