// The title menu: the caption, the dice, and the choice of SINGLE, MULTI or RANKING.
#pragma once

#include "play/game_state.h"

// Shows the title menu until Enter or Space and returns the choice; the choice starts at SINGLE.
// ModeNone if the input ended first.
Mode runTitleMenu(const Dice& eyes, DiceScreen inGame);
