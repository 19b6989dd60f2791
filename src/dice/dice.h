// The five dice as box-drawing art, and their animated roll.
#pragma once

#include "app/game_state.h"

// Draws the five dice from the cursor as five lines, indented for the title screen (inGame 0,
// column 35) or the game screen (inGame 1, column 8); the cursor ends at column 0 below them.
void drawDice(const Dice& eyes, int inGame);
void drawPipRowTop(const Dice& eyes, int inGame);
void drawPipRowMiddle(const Dice& eyes, int inGame);
void drawPipRowBottom(const Dice& eyes, int inGame);
void printMenuIndent();

// Rolls every die that is not held, showing five frames of 100 ms on rows 12 to 16.
void rollDice(Dice& eyes, int inGame, const Dice& fix);
