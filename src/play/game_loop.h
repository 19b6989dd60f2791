// The frame loop of a game, from the first frame to the end screen.
#pragma once

#include "play/advice.h"
#include "play/game_state.h"
#include "play/review.h"
#include "ranking/ranking_store.h"

enum class GameEnd { Finished, InputEnded, RankingFailed };

// Plays a single-player (ModeSingle) or two-player (ModeMulti) game to its end. A single-player
// result is entered into the ranking `r`; `error` says why when that fails. With the engine in
// `assist`, the coach advises and the computer plays 2P as asked, and the human players' decisions
// go into `review` when there is one.
GameEnd playGame(GameState& state, Mode mode, RankTable& r, StorageError& error,
                 const Assist& assist = Assist{}, GameReview* review = nullptr);
