// One turn solved for one state, in double precision: what every keep is worth with one or two
// rolls left, and which action is best for given dice. Internal to strategy/.
#pragma once

#include "strategy/turn_tables.h"

// A sheet as the engine sees it.
struct SheetState {
    int mask;           // bit c: category c is recorded
    int subtotal;       // the upper subtotal, capped at 63
    int lane;           // the lane of the subtotal in the table
    double sheetPoints; // the points on the sheet, the bonus included once it is earned
};

// False for a sheet no game can reach: an upper score that is not a multiple of its face from 0
// to five dice, or a score where the category is not recorded.
bool readSheet(const TurnTables& t, const Sheet& scores, const Sheet& selected, SheetState& state);

// Values are the points still to come (or, to win, the chance to win).
struct SolvedTurn {
    int mask;
    bool toWin;
    // Recording k dice of face c + 1 in open upper category c: the points, the bonus they earn and
    // the value of the state after.
    std::array<std::array<double, DiceCount + 1>, UpperCount> upperValue;
    // Recording in open lower category c: the value of the state after (the points come on top).
    std::array<double, CategoryCount> lowerValue;
    // keep1[k]: the value of keep k with one roll left, the roll still to be made; for the dice set
    // d, keep1[FirstDiceSet + d] is the value of the best record. keep2 likewise with two rolls
    // left; keep2[FirstDiceSet + d] is the value of the dice d with one roll left.
    std::array<double, KeepCount> keep1;
    std::array<double, KeepCount> keep2;
};

// Solves the turn that starts in `state`, which has at least one open category.
void solveTurn(const TurnTables& t, const StrategyTable& table, const SheetState& state,
               SolvedTurn& solved);
// Solves the last turn (one open category) for the chance to end above opponentTotal.
void solveLastTurnToWin(const TurnTables& t, const SheetState& state, int opponentTotal,
                        SolvedTurn& solved);

// The value of recording the dice set d in open category c.
double recordValue(const TurnTables& t, const SolvedTurn& solved, int d, int c);
// The value of the turn before its first roll.
double turnStartValue(const TurnTables& t, const SolvedTurn& solved);

// The actions for the dice set d with `rollsLeft` rolls left (0 to 2) are listed as: the open
// categories in order, then, with rolls left, the distinct keeps of d in the order of subKeeps.
// The position in that list of the best action, the first of equal values.
int bestActionIndex(const TurnTables& t, const SolvedTurn& solved, int d, int rollsLeft);
// The values of those actions in that order, into `values` (room for CategoryCount + MaxSubKeeps);
// returns their number.
int actionValues(const TurnTables& t, const SolvedTurn& solved, int d, int rollsLeft,
                 double* values);
