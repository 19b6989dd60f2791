// The title menu: the caption, the dice, and the choice of SINGLE, MULTI or RANKING.
#pragma once

#include "app/game_state.h"

// Returned by runTitleMenu when the input ended before a choice was made.
constexpr int ModeNone = -1;

// Shows the title menu until Enter or Space and returns the choice; the choice starts at SINGLE.
int runTitleMenu(const Dice& eyes, int inGame);
