// What five dice are worth in each category, and what a score sheet adds up to.
#pragma once

#include "app/game_state.h"

#include <array>

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

struct Evaluation {
    std::array<int, 6> eyesCount; // eyesCount[f - 1]: dice showing face f
    int sum;
    Sheet scores; // the candidate score of each category
};

Evaluation evaluateCategories(const Dice& eyes);

// Records scores[c] on player p's sheet unless that category is recorded already; a recorded
// category never changes again. Returns whether it recorded.
bool commitCategory(GameState& state, int p, int c, const Sheet& scores);

struct Totals {
    std::array<int, PlayerCount> subtotal; // the upper six, without the bonus
    std::array<int, PlayerCount> total;    // all twelve, with the bonus
};

bool bonusGranted(int subtotal);
Totals computeTotals(const GameState& state);

// "1P WIN!\n", "2P WIN!\n" or "DRAW...\n".
const char* resultText(const Totals& totals);
