// The frame loop of a game, from the first frame to the end screen.
#pragma once

#include "app/game_state.h"
#include "ranking/ranking_store.h"

enum class GameEnd { Finished, InputEnded, RankingFailed };

// Plays a single-player (ModeSingle) or two-player (ModeMulti) game to its end. A single-player
// result is entered into the ranking `r`; `error` says why when that fails.
GameEnd playGame(GameState& state, Mode mode, RankTable& r, StorageError& error);
