// What the optimal-play engine brings to a game: advice for the player on turn, the computer as
// the second player, and the words for an action. Without the engine the game is the plain one.
#pragma once

#include "play/game_state.h"
#include "strategy/strategy.h"

#include <cstddef>

struct Assist {
    const StrategyTable* table = nullptr; // null: the plain game, nothing of the engine
    bool coach = false;                   // advice drawn on the game screen
    bool computer = false;                // in MULTI, 2P is the computer
};

// Whether the computer plays the turn now.
bool computerOnTurn(const Assist& assist, const GameState& state, Mode mode);

// The position of the player on turn, as the engine takes it.
Position positionOf(const GameState& state, int player);

// The engine's analysis of the player on turn's position; not valid without the engine, once the
// game is over. On the computer's last turn, when the human's total is known, the values are its
// chances to win instead of points.
Analysis adviseTurn(const Assist& assist, const GameState& state, Mode mode, const Totals& totals);

// An action in words: "record Full House", "keep 6 6 5, roll", "roll all five".
void describeAction(const Action& action, char* out, std::size_t size);
