// The coach: the engine's advice for the player on turn, drawn only in cells the game screen leaves
// blank, each item at a fixed place and width so that each frame overwrites the last.
#pragma once

#include "play/game_state.h"
#include "strategy/strategy.h"

// Draws the advice: "keep" over each die the best action keeps (row 10), "<-" beside the best
// category when recording is best (column 100), and a line at (8, 24) with the best action, its
// expected final total and the expected final total of what the cursor is on. With `shown` false
// the same cells are drawn blank.
void drawCoach(const GameState& state, const Analysis& advice, bool shown);
