// The review of a game played with the engine: for each human player, what the decisions cost in
// expected points and what the dice gave or took, printed once the game has ended.
#pragma once

#include "play/game_state.h"
#include "strategy/strategy.h"

#include <array>
#include <cstdio>

struct Decision {
    int turn;
    int roll; // the roll it followed, 1 to 3
    Action done;
    Action best;
    double cost; // expected points: the best action's value less the value of what was done
};

constexpr int CostliestShown = 3;

// The final total is the expectation of optimal play from the empty sheet, less the expected
// points lost by decisions, plus the luck of the dice: at each roll, the value of the position it
// gave less the value of the position before it.
struct PlayerReview {
    bool reviewed = false; // a human player of a game with the engine
    double expected = 0;   // optimal play from the empty sheet
    double lost = 0;
    double luck = 0;
    int decisions = 0;
    int costliestCount = 0;
    std::array<Decision, CostliestShown> costliest{}; // the costliest first
};

using GameReview = std::array<PlayerReview, PlayerCount>;

// Starts the review of a human player.
void beginReview(PlayerReview& review, const StrategyTable& table);
// Notes the effect of one key of a human player: `before` and `after` the key, with `advice`, the
// analysis of `before`. A roll or a record is a decision; a roll's dice are luck.
void noteMove(PlayerReview& review, const StrategyTable& table, const GameState& before,
              const GameState& after, const Analysis& advice);

// The review of every reviewed player, as plain text.
void printReview(std::FILE* out, const GameReview& review, const Sheets& playersScore);
