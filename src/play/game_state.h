// The record of every play variable of a run, owned by main and passed by reference.
#pragma once

#include "dice/dice.h"
#include "rules/rules.h"

constexpr int GameOverTurn = TurnCount + 1;

// The control that the keys act on; GameState keeps it as an int, like every other field.
enum Focus { FocusRoll = 0, FocusDice = 1, FocusSheet = 2 };

// The title menu's choice. RANKING is 0 although the screen lists it last: it is the choice that
// brings the menu back. ModeNone: the input ended before a choice was made.
enum Mode { ModeNone = -1, ModeRanking = 0, ModeSingle = 1, ModeMulti = 2 };

// Invariants kept by the turn controller: scoreCursor is -1 exactly when the focus is not the
// sheet; remainRoll is 3 only at the roll button and never 0 there; turn never decreases and stops
// at GameOverTurn.
struct GameState {
    Dice eyes{1, 2, 3, 4, 5};
    Dice fix{};
    Sheets playersScore{};
    Sheets selected{};
    int focus = FocusRoll;
    int diceCursor = 0;
    int scoreCursor = -1;
    int remainRoll = RollsPerTurn;
    int turn = 1;
    int player = 0;
};
