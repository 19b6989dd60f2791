// The five dice on the screen: their box-drawing art, and their animated roll.
#pragma once

#include "rules/dice.h"

#include <cstdint>

// Where the dice are drawn, which sets their indentation; main keeps it as `inGame`.
enum DiceScreen { OnTitle = 0, InGame = 1 };

// Draws the five dice from the cursor as five lines, indented for the title screen (column 35) or
// the game screen (column 8); the cursor ends at column 0 below them.
void drawDice(const Dice& eyes, DiceScreen inGame);
void drawPipRowTop(const Dice& eyes, DiceScreen inGame);
void drawPipRowMiddle(const Dice& eyes, DiceScreen inGame);
void drawPipRowBottom(const Dice& eyes, DiceScreen inGame);
void printMenuIndent();

// Seeds the generator that every roll draws from; main does it once, from --seed or the clock.
void seedDice(std::uint64_t seed);

// Rolls every die that is not held, showing five frames of 100 ms on rows 12 to 16.
void rollDice(Dice& eyes, DiceScreen inGame, const Dice& fix);
