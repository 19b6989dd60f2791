// The turn controller: one key applied to the game.
#pragma once

#include "play/game_state.h"

// Reads one key (both codes of an arrow) and applies it: moves the focus and the cursors, rolls,
// holds and records. Keys it does not know are consumed and ignored.
void handleKey(GameState& state, Mode mode, const Sheet& scores);

// Applies one key given as its codes: `key`, and after KeyExtended the `arrow`. The computer
// player presses its keys through this, as a person's come through handleKey.
void applyKey(GameState& state, Mode mode, const Sheet& scores, int key, int arrow);
