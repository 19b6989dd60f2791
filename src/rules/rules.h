// What five dice are worth in each category, and what a score sheet adds up to.
#pragma once

#include "rules/dice.h"

#include <array>

constexpr int CategoryCount = 12;
constexpr int UpperCount = 6; // Aces to Sixes
constexpr int TurnCount = CategoryCount;
constexpr int RollsPerTurn = 3;
constexpr int PlayerCount = 2;

enum Category {
    Aces = 0,
    Deuces,
    Threes,
    Fours,
    Fives,
    Sixes,
    Choice,
    FourOfAKind,
    FullHouse,
    SmallStraight,
    LargeStraight,
    Jorvo,
};

constexpr int BonusThreshold = 63;
constexpr int BonusPoints = 35;

// One player's sheet: a score, or a recorded flag (1 = recorded), for each category.
using Sheet = std::array<int, CategoryCount>;
using Sheets = std::array<Sheet, PlayerCount>;

struct Evaluation {
    std::array<int, FaceCount> eyesCount; // eyesCount[f - 1]: dice showing face f
    int sum;
    Sheet scores; // the candidate score of each category
};

Evaluation evaluateCategories(const Dice& eyes);

// Records scores[c] on one player's sheet (`playerScore` and `playerSelected`) unless that
// category is recorded already; a recorded category never changes again. Returns whether it
// recorded.
bool commitCategory(Sheet& playerScore, Sheet& playerSelected, int c, const Sheet& scores);

struct Totals {
    std::array<int, PlayerCount> subtotal; // the upper six, without the bonus
    std::array<int, PlayerCount> total;    // all twelve, with the bonus
};

bool bonusGranted(int subtotal);
Totals computeTotals(const Sheets& playersScore);

// "1P WIN!\n", "2P WIN!\n" or "DRAW...\n".
const char* resultText(const Totals& totals);
