// The engine's fixed tables, built once: the multisets of dice a turn goes through, what five dice
// score, and the upper subtotals each set of upper categories can reach. Internal to strategy/.
#pragma once

#include "strategy/strategy.h"

#include <array>
#include <cstdint>

// A keep is a multiset of 0 to 5 dice. Keeps are numbered by size, and within a size by their dice
// sorted from low to high faces, in lexicographic order; the 252 keeps of five dice, the distinct
// rolls, come last.
constexpr int KeepCount = 462;
constexpr int DiceSetCount = 252;
constexpr int FirstDiceSet = KeepCount - DiceSetCount; // the keep index of dice set 0
constexpr int MaxSubKeeps = 32;                        // distinct keeps of one roll: at most 2^5

constexpr int UpperMaskCount = 1 << UpperCount;
constexpr int MaskCount = 1 << CategoryCount;
constexpr int SubtotalCount = BonusThreshold + 1; // capped subtotals 0..63
// Lane 0 of a set of categories is the settled state: the bonus is earned or out of reach.
constexpr int SettledLane = 0;

struct TurnTables {
    std::array<FaceCounts, KeepCount> counts;
    std::array<std::uint8_t, KeepCount> size;
    // child[k][f - 1]: k with one more die showing f; -1 for a keep of five.
    std::array<std::array<std::int16_t, FaceCount>, KeepCount> child;
    // parent[k][i], i < parentCount[k]: k without one die of each face it holds.
    std::array<std::array<std::int16_t, 5>, KeepCount> parent;
    std::array<std::uint8_t, KeepCount> parentCount;
    // The same padded to five with repeats of the first (a maximum does not mind repeats), for
    // loops without a varying count; the empty keep, which has none, lists itself.
    std::array<std::array<std::int16_t, 5>, KeepCount> parentPadded;
    // The distinct keeps of each dice set, the largest first, each size in keep order.
    std::array<std::array<std::int16_t, MaxSubKeeps>, DiceSetCount> subKeeps;
    std::array<std::uint8_t, DiceSetCount> subKeepCount;
    std::array<double, DiceSetCount> probability; // of rolling the set with five dice
    std::array<std::array<std::uint8_t, CategoryCount>, DiceSetCount> score;
    // The same by category, and the dice of each face per dice set, for loops over the dice sets.
    std::array<std::array<std::uint8_t, DiceSetCount>, CategoryCount> scoreOf;
    std::array<std::array<std::uint8_t, DiceSetCount>, FaceCount> countOf;
    // The keep codes (sum of count[f] * 6^f) sorted, with their keep index, to find a keep.
    std::array<std::int32_t, KeepCount> sortedCode;
    std::array<std::int16_t, KeepCount> sortedKeep;

    // Per set of recorded upper categories: the number of lanes (the settled lane and one per live
    // subtotal), the lane of each capped subtotal (-1 where the categories cannot add up to it),
    // and the subtotal of each live lane.
    std::array<std::uint8_t, UpperMaskCount> laneCount;
    std::array<std::array<std::int8_t, SubtotalCount>, UpperMaskCount> laneOf;
    std::array<std::array<std::uint8_t, SubtotalCount>, UpperMaskCount> laneSubtotal;
};

const TurnTables& turnTables();

// The index of the keep with these counts, or -1 if it holds more than five dice.
int keepIndex(const FaceCounts& counts);

// Where recording `k` dice of an upper category's face `face` leads from lane `lane` of the upper
// set `upper`: the lane in the new upper set, and the bonus earned by it.
struct UpperStep {
    int lane;
    int bonus;
};
UpperStep upperStep(const TurnTables& t, int upper, int lane, int face, int k);
