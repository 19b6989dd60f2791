// The optimal-play engine: the expected final total of every turn-start state under the best play,
// the value of each action in any position, the last turn played to beat a total, and self-play.
// Pure code over the rules: no screen, no files.
#pragma once

#include "rules/rules.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int MaxTotal = 325; // every category at its best, and the bonus

// A multiset of dice as the number showing each face: count[f - 1] dice show face f.
using FaceCounts = std::array<int, FaceCount>;

// ---- the table ----------------------------------------------------------------------------------
// The expected points still to come, under the best play, of every turn-start state: the set of
// recorded categories and the upper subtotal capped at 63. Subtotals that lead to the same future
// share one value: those from which the bonus is earned already or can no longer be earned (the
// bonus is counted when it is earned), so each set of categories keeps only the subtotals below 63
// that the recorded upper categories can add up to and from which 63 is still within reach.
struct StrategyTable {
    std::vector<float> values; // the values of the states of each set, set after set
    // offset[m]: the index in `values` of the first state of the set m (bit c: category c is
    // recorded); offset[4096] is the number of values.
    std::vector<std::uint32_t> offset;
};

// Builds the whole table by backward induction on `threads` threads (at least one). The result
// does not depend on the number of threads.
void buildStrategyTable(StrategyTable& table, int threads);
// The same for the states whose recorded categories include those of the mask `recorded` (bit c:
// category c), the rest left at 0: all that the analysis of a position with those categories
// recorded reads, and the same values.
void buildStrategyTableFrom(StrategyTable& table, int threads, int recorded);
// The number of turn-start states the table holds a value for.
std::size_t strategyStateCount(const StrategyTable& table);
// The memory the table and the engine's fixed tables take, in bytes.
std::size_t strategyMemoryBytes(const StrategyTable& table);

// ---- position analysis --------------------------------------------------------------------------
// A player's position as the game keeps it. remainRoll counts as the game does: 3 before the first
// roll of the turn (the dice are ignored), 2 or 1 after a roll with rolls left, 0 when only
// recording is left.
struct Position {
    Sheet scores;   // the game's playersScore[p]
    Sheet selected; // the game's selected[p]: non-zero where the category is recorded
    Dice dice;
    int remainRoll;
};

enum ActionKind { ActionRecord = 0, ActionRoll = 1 };

struct Action {
    int kind;        // ActionRecord or ActionRoll
    int category;    // the category recorded, or -1 for a roll
    FaceCounts hold; // for a roll: the dice held, the rest being rolled (all zero: roll all five)
    double value;    // the expected final total, or in the last-turn analysis the chance to win
};

// Every legal action, records first (by category), then rolls from the largest keep down (keeps of
// one size in the order of their dice from low to high faces). `best` is the action with the
// highest value; between equal values the first in that order wins, so recording is preferred to
// rolling, the lower category to a higher one, the larger keep to a smaller one.
struct Analysis {
    bool valid;         // false for a finished sheet, an impossible sheet, dice or remainRoll
    double sheetPoints; // the points on the sheet now, the bonus included once it is earned
    int actionCount;
    int best; // index into actions
    std::array<Action, CategoryCount + 32> actions;
};

// The value of every action as the expected final total: the points on the sheet, the bonus, and
// the expected points of the rest of the game under the best play from there on.
Analysis analysePosition(const StrategyTable& table, const Position& position);

// The expected final total of the whole game under the best play, from the empty sheet.
double gameValue(const StrategyTable& table);

// The index of the roll action that holds the dice marked non-zero in `fix` (the game's fix), or
// -1 when there is none (no roll is left, or the analysis is not valid).
int heldAction(const Analysis& analysis, const Dice& dice, const Dice& fix);

// The counts of the dice that `fix` marks as held.
FaceCounts heldCounts(const Dice& dice, const Dice& fix);
// Which of `dice` to hold for `hold`: the first dice showing each face; false if the dice do not
// contain `hold`.
bool fixForHold(const Dice& dice, const FaceCounts& hold, Dice& fix);

// ---- the last turn, played to win -------------------------------------------------------------
// For a position with exactly one category left: the value of each action is the chance of ending
// with a final total above opponentTotal, a draw counting one half. Needs no table.
Analysis analyseLastTurnToWin(const Position& position, int opponentTotal);

// ---- levels of play ---------------------------------------------------------------------------
// PerfectLevel takes the best action every time. A lower level takes each legal action with a
// probability proportional to exp(-cost / T), the cost being what the action loses against the
// best in expected points and T the level's temperature in points: it errs often a little and
// seldom a lot, the rarer the costlier, as a person of that strength does.
constexpr int LowestLevel = 1;
constexpr int PerfectLevel = 5;

// The random numbers of a level's choices come from a stream of the seed apart from the dice's:
// stream ChoiceStream + i for game i (a played game is game 0).
constexpr std::uint64_t ChoiceStream = 1ull << 63;

// The temperature of a level, in points; 0 at PerfectLevel.
double levelTemperature(int level);
// The self-play mean a level is calibrated to reach.
double levelGoal(int level);
// The points a level's choices lose a game on average against the best, measured in self-play.
double levelPointsLost(int level);
// The level whose points lost a game are nearest `pointsLost`, the higher of two as near.
int levelClosestTo(double pointsLost);

// The action a level takes among `count` actions whose expected totals are `values`, the best at
// `best` (taken whenever `temperature` is 0); `uniform` is a random number in [0, 1).
int levelChoice(const double* values, int count, int best, double temperature, double uniform);
// The same over the actions of an analysis.
int levelChoice(const Analysis& analysis, int level, double uniform);
// A random number in [0, 1) from 64 random bits, on 53 of them.
double uniformOf(std::uint64_t bits);

// ---- self-play ----------------------------------------------------------------------------------
struct SelfPlayStats {
    int games;
    double mean;
    double standardDeviation;
    double standardError; // of the mean
    int minimum;
    int maximum;
    int bonusGames;                       // games that earned the upper bonus
    int jorvoGames;                       // games that scored 50 in Jorvo
    std::array<int, MaxTotal + 1> totals; // totals[t]: games that ended with t points
    int level;                            // the level of play, PerfectLevel for the best
    double meanLost;          // the points a game's choices cost against the best, on average
    double lostStandardError; // of meanLost
};

// Plays `games` games alone at `level` (the best action at every step at PerfectLevel) with the
// engine's own random generator. Game i's dice come from (seed, i) alone and a lower level's
// choices from (seed, ChoiceStream + i), so the results do not depend on `threads`.
SelfPlayStats playSelfGames(const StrategyTable& table, int games, std::uint64_t seed, int threads,
                            int level = PerfectLevel);
// The same with choices at any temperature (0: the best), for the calibration of the levels; the
// stats' level is 0.
SelfPlayStats playSelfGamesAt(const StrategyTable& table, int games, std::uint64_t seed,
                              int threads, double temperature);

// The chance that a game of `a` ends above one of `b`, a draw counting one half, from the two
// histograms of totals: the games of each side taken as independent draws of its totals.
double chanceToBeat(const SelfPlayStats& a, const SelfPlayStats& b);
