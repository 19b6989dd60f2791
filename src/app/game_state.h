// The record of every play variable of a run, owned by main and passed by reference.
#pragma once

#include <array>

constexpr int DiceCount = 5;
constexpr int CategoryCount = 12;
constexpr int UpperCount = 6;
constexpr int PlayerCount = 2;
constexpr int TurnCount = 12;
constexpr int GameOverTurn = TurnCount + 1;
constexpr int RollsPerTurn = 3;

// The control that the keys act on.
enum Focus { FocusRoll = 0, FocusDice = 1, FocusSheet = 2 };

// The title menu's choice. RANKING is 0 although the screen lists it last: it is the choice that
// brings the menu back.
enum Mode { ModeRanking = 0, ModeSingle = 1, ModeMulti = 2 };

using Dice = std::array<int, DiceCount>;
using Sheet = std::array<int, CategoryCount>;

// Invariants kept by the turn controller: scoreCursor is -1 exactly when the focus is not the
// sheet; remainRoll is 3 only at the roll button and never 0 there; turn never decreases and stops
// at GameOverTurn.
struct GameState {
    Dice eyes{1, 2, 3, 4, 5};
    Dice fix{};
    std::array<Sheet, PlayerCount> playersScore{};
    std::array<Sheet, PlayerCount> selected{};
    int focus = FocusRoll;
    int diceCursor = 0;
    int scoreCursor = -1;
    int remainRoll = RollsPerTurn;
    int turn = 1;
    int player = 0;
};
