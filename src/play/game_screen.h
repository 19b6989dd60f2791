// The game screen, drawn whole every frame at fixed cells with fixed widths, so that each frame
// overwrites the last without clearing.
#pragma once

#include "play/game_state.h"
#include "rules/rules.h"

void drawGameFrame(const GameState& state, Mode mode, const Sheet& scores, const Totals& totals);

// The sheet's row of category c, and its label there.
int categoryRow(int c);
const char* categoryLabel(int c);

void drawDiceCursor(Focus focus, int diceCursor);
void drawRollButton(Focus focus, int turn);
void drawScoreLabels();
void drawScoreCursor(int scoreCursor, int player);
void drawScoreValues(int player, const Sheets& playersScore, const Sheets& selected,
                     const Sheet& scores, int remainRoll);
