#include "strategy/strategy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- positions --------------------------------------------------------------------------------

// A sheet where every category but `open` is recorded with `recorded`'s score.
Position positionWith(std::initializer_list<int> open, const Sheet& recorded, const Dice& dice,
                      int remainRoll) {
    Position p{};
    for (int c = 0; c < CategoryCount; ++c) {
        p.selected[c] = 1;
        p.scores[c] = recorded[c];
    }
    for (int c : open) {
        p.selected[c] = 0;
        p.scores[c] = 0;
    }
    p.dice = dice;
    p.remainRoll = remainRoll;
    return p;
}

int sheetPoints(const Position& p) {
    int upper = 0;
    int total = 0;
    for (int c = 0; c < CategoryCount; ++c) {
        if (p.selected[c] != 0) {
            total += p.scores[c];
            upper += c < UpperCount ? p.scores[c] : 0;
        }
    }
    return total + (upper >= BonusThreshold ? BonusPoints : 0);
}

std::string describe(const Position& p) {
    std::string text = "open:";
    for (int c = 0; c < CategoryCount; ++c) {
        if (p.selected[c] == 0) {
            text += ' ';
            text += std::to_string(c);
        }
    }
    text += " dice:";
    for (int face : p.dice) {
        text += std::to_string(face);
    }
    return text + " rolls left " + std::to_string(p.remainRoll);
}

std::string describe(const Action& a) {
    if (a.kind == ActionRecord) {
        std::string text = "record ";
        return text += std::to_string(a.category);
    }
    std::string text = "hold";
    for (int f = 0; f < FaceCount; ++f) {
        text += ' ';
        text += std::to_string(a.hold[f]);
    }
    return text;
}

// The number of distinct sub-multisets of the dice: the product of (count + 1) over the faces.
int distinctHolds(const Dice& dice) {
    FaceCounts counts{};
    for (int face : dice) {
        ++counts[face - 1];
    }
    int n = 1;
    for (int c : counts) {
        n *= c + 1;
    }
    return n;
}

// ---- a brute-force solver ---------------------------------------------------------------------
// The rest of a game by plain enumeration: every subset of dice positions to hold and every
// ordered outcome of the dice rolled, scored with evaluateCategories. It keeps the real upper
// subtotal and adds the bonus when the subtotal first reaches 63. Memoised on the multiset of the
// dice (or of the held dice) within a turn, and on the turn-start state across turns.
using Counts = std::array<int, FaceCount>;

int codeOf(const Counts& counts) {
    int code = 0;
    for (int n : counts) {
        code = code * 6 + n;
    }
    return code;
}

Dice diceOf(const Counts& counts) {
    Dice dice{};
    int i = 0;
    for (int f = 0; f < FaceCount; ++f) {
        for (int n = 0; n < counts[f]; ++n) {
            dice[i++] = f + 1;
        }
    }
    return dice;
}

struct BruteForce {
    std::map<std::pair<int, int>, double> turnStart; // (open categories, upper subtotal)

    struct Turn {
        BruteForce& game;
        int open;
        int subtotal;
        std::map<int, double> diceValue[RollsPerTurn + 1];
        std::map<int, double> holdValue[RollsPerTurn + 1];

        double record(const Counts& dice, int c) {
            const int points = evaluateCategories(diceOf(dice)).scores[c];
            const int after = subtotal + (c < UpperCount ? points : 0);
            const int bonus =
                subtotal < BonusThreshold && after >= BonusThreshold ? BonusPoints : 0;
            const int rest = open & ~(1 << c);
            return points + bonus + (rest == 0 ? 0.0 : game.future(rest, after));
        }

        double bestRecord(const Counts& dice) {
            double best = -1;
            for (int c = 0; c < CategoryCount; ++c) {
                if (open >> c & 1) {
                    best = std::max(best, record(dice, c));
                }
            }
            return best;
        }

        // Rolls `rollsLeft` still to make, dice showing `dice`.
        double value(const Counts& dice, int rollsLeft) {
            auto [at, added] = diceValue[rollsLeft].try_emplace(codeOf(dice), 0.0);
            if (!added) {
                return at->second;
            }
            double best = bestRecord(dice);
            if (rollsLeft > 0) {
                const Dice faces = diceOf(dice);
                for (int subset = 0; subset < 1 << DiceCount; ++subset) {
                    Counts held{};
                    for (int i = 0; i < DiceCount; ++i) {
                        if (subset >> i & 1) {
                            ++held[faces[i] - 1];
                        }
                    }
                    best = std::max(best, hold(held, rollsLeft));
                }
            }
            diceValue[rollsLeft][codeOf(dice)] = best;
            return best;
        }

        // Holding `held` and rolling the rest: the mean over every ordered outcome.
        double hold(const Counts& held, int rollsLeft) {
            auto [at, added] = holdValue[rollsLeft].try_emplace(codeOf(held), 0.0);
            if (!added) {
                return at->second;
            }
            int rolled = DiceCount;
            for (int n : held) {
                rolled -= n;
            }
            int outcomes = 1;
            for (int i = 0; i < rolled; ++i) {
                outcomes *= FaceCount;
            }
            double sum = 0;
            for (int outcome = 0; outcome < outcomes; ++outcome) {
                Counts dice = held;
                for (int i = 0, rest = outcome; i < rolled; ++i, rest /= FaceCount) {
                    ++dice[rest % FaceCount];
                }
                sum += value(dice, rollsLeft - 1);
            }
            holdValue[rollsLeft][codeOf(held)] = sum / outcomes;
            return sum / outcomes;
        }

        double start() { return hold(Counts{}, RollsPerTurn); }
    };

    double future(int open, int subtotal) {
        const auto key = std::make_pair(open, subtotal);
        if (const auto at = turnStart.find(key); at != turnStart.end()) {
            return at->second;
        }
        Turn turn{*this, open, subtotal, {}, {}};
        const double v = turn.start();
        turnStart[key] = v;
        return v;
    }

    // The value of one action in the position, as the engine lists it.
    double action(const Position& p, const Action& a) {
        int open = 0;
        int subtotal = 0;
        for (int c = 0; c < CategoryCount; ++c) {
            if (p.selected[c] == 0) {
                open |= 1 << c;
            } else if (c < UpperCount) {
                subtotal += p.scores[c];
            }
        }
        Turn turn{*this, open, subtotal, {}, {}};
        if (p.remainRoll == RollsPerTurn) {
            return sheetPoints(p) + future(open, subtotal);
        }
        Counts dice{};
        for (int face : p.dice) {
            ++dice[face - 1];
        }
        double v = 0;
        if (a.kind == ActionRecord) {
            v = turn.record(dice, a.category);
        } else {
            v = turn.hold(a.hold, p.remainRoll);
        }
        return sheetPoints(p) + v;
    }
};

StrategyTable builtTable() {
    StrategyTable table;
    buildStrategyTable(table, 2);
    return table;
}

} // namespace

// ---- the whole table ----------------------------------------------------------------------------

TEST(StrategyTable, CheckPointsAndInvalidPositions) {
    const StrategyTable table = builtTable();
    const Sheet zeros{};
    struct Case {
        const char* what;
        Position position;
        double expected;
        double tolerance;
    } cases[] = {
        {"the whole game", Position{zeros, zeros, Dice{}, RollsPerTurn}, 191.7744, 5e-5},
        {"only Aces open, bonus out of reach", positionWith({Aces}, zeros, Dice{}, RollsPerTurn),
         455.0 / 216, 1e-5},
        {"only Jorvo open", positionWith({Jorvo}, zeros, Dice{}, RollsPerTurn), 2.30143, 1e-5},
    };
    for (const Case& c : cases) {
        const Analysis a = analysePosition(table, c.position);
        ASSERT_TRUE(a.valid) << c.what;
        ASSERT_EQ(a.actionCount, 1) << c.what;
        EXPECT_EQ(a.actions[0].kind, ActionRoll);
        EXPECT_EQ(a.actions[0].hold, FaceCounts{});
        EXPECT_NEAR(a.actions[0].value, c.expected, c.tolerance) << c.what;
    }
    EXPECT_EQ(strategyStateCount(table), table.values.size());

    Sheet full{};
    full.fill(1);
    Sheet badAces{};
    badAces[Aces] = 7; // seven points of aces need seven dice
    const Position invalid[] = {
        Position{zeros, zeros, Dice{1, 2, 3, 4, 5}, 4},
        Position{zeros, zeros, Dice{1, 2, 3, 4, 5}, -1},
        Position{zeros, zeros, Dice{1, 2, 0, 4, 5}, 2},
        Position{zeros, zeros, Dice{1, 2, 7, 4, 5}, 0},
        Position{zeros, full, Dice{1, 2, 3, 4, 5}, 0},
        positionWith({Jorvo}, badAces, Dice{1, 2, 3, 4, 5}, 1),
    };
    for (const Position& p : invalid) {
        EXPECT_FALSE(analysePosition(table, p).valid) << describe(p);
    }
}

// A table built only from a position's recorded categories on gives its positions the values of
// the whole table, exactly.
TEST(StrategyTable, APartialTableAnalysesItsPositionsAsTheWholeOne) {
    const StrategyTable whole = builtTable();
    // Upper scores that keep the bonus within reach, and that settle it.
    const Sheet scores{3, 6, 9, 12, 15, 24, 22, 0, 25, 15, 30, 50};
    const int masks[] = {0b000000000001, 0b100000100000, 0b011101001010, 0b111111011111};
    const Dice dice[] = {{6, 6, 3, 2, 1}, {5, 5, 5, 5, 5}, {1, 2, 3, 4, 5}, {2, 2, 4, 4, 6}};
    for (int i = 0; i < 4; ++i) {
        StrategyTable partial;
        buildStrategyTableFrom(partial, 2, masks[i]);
        Position p{};
        for (int c = 0; c < CategoryCount; ++c) {
            p.selected[c] = masks[i] >> c & 1;
            p.scores[c] = p.selected[c] != 0 ? scores[c] : 0;
        }
        p.dice = dice[i];
        for (int rolls = 0; rolls <= RollsPerTurn; ++rolls) {
            p.remainRoll = rolls;
            const Analysis a = analysePosition(whole, p);
            const Analysis b = analysePosition(partial, p);
            ASSERT_TRUE(a.valid && b.valid) << describe(p);
            ASSERT_EQ(a.actionCount, b.actionCount);
            EXPECT_EQ(a.best, b.best) << describe(p);
            for (int k = 0; k < a.actionCount; ++k) {
                EXPECT_EQ(a.actions[k].value, b.actions[k].value) << describe(p);
            }
        }
    }
}

TEST(StrategyTable, MatchesABruteForceSolverOnFewOpenCategories) {
    const StrategyTable table = builtTable();
    // Upper scores: 53 without Fives, 45 without Sixes, 60 without Aces, 57 without Threes.
    const Sheet near53{2, 6, 9, 12, 0, 24, 20, 0, 17, 15, 0, 0};
    const Sheet near45{3, 6, 9, 12, 15, 0, 22, 18, 0, 0, 30, 50};
    const Sheet near60{0, 10, 12, 16, 10, 12, 25, 24, 28, 15, 30, 0};
    const Sheet near57{4, 8, 0, 12, 15, 18, 18, 0, 0, 15, 30, 0};
    const Sheet earned{4, 8, 9, 16, 20, 24, 21, 0, 25, 0, 0, 50};
    const Position positions[] = {
        positionWith({Fives, Jorvo}, near53, {5, 5, 3, 6, 6}, 2),
        positionWith({Fives, Jorvo}, near53, {5, 5, 3, 6, 6}, 1),
        positionWith({Fives, Jorvo}, near53, {5, 5, 5, 6, 1}, 0),
        positionWith({Fives, Jorvo}, near53, {}, 3),
        positionWith({Sixes, Choice}, near45, {6, 6, 1, 2, 6}, 1),
        positionWith({Sixes, Choice}, near45, {6, 6, 1, 2, 5}, 2),
        positionWith({Aces, FullHouse}, near60, {1, 1, 1, 4, 4}, 2),
        positionWith({Aces, FullHouse}, near60, {1, 2, 1, 4, 4}, 1),
        positionWith({SmallStraight, LargeStraight}, earned, {1, 2, 3, 4, 6}, 2),
        positionWith({SmallStraight, LargeStraight}, earned, {1, 2, 3, 4, 6}, 1),
        positionWith({FourOfAKind}, earned, {2, 2, 2, 5, 3}, 2),
        positionWith({Threes}, near57, {3, 1, 2, 4, 5}, 1),
        positionWith({Threes}, near57, {3, 3, 2, 4, 5}, 2),
    };
    BruteForce brute;
    for (const Position& p : positions) {
        const Analysis a = analysePosition(table, p);
        ASSERT_TRUE(a.valid) << describe(p);
        int records = 0;
        for (int c = 0; c < CategoryCount; ++c) {
            records += p.selected[c] == 0 ? 1 : 0;
        }
        const int expectedActions = p.remainRoll == RollsPerTurn ? 1
                                    : p.remainRoll == 0          ? records
                                                                 : records + distinctHolds(p.dice);
        EXPECT_EQ(a.actionCount, expectedActions) << describe(p);
        EXPECT_EQ(a.sheetPoints, sheetPoints(p)) << describe(p);
        double best = -1;
        for (int i = 0; i < a.actionCount; ++i) {
            const double expected = brute.action(p, a.actions[i]);
            EXPECT_NEAR(a.actions[i].value, expected, 1e-4)
                << describe(p) << ", " << describe(a.actions[i]);
            best = std::max(best, expected);
        }
        EXPECT_NEAR(a.actions[a.best].value, best, 1e-4) << describe(p);
    }
}

namespace {

// A random sheet with `open` categories left, scored as rolls could score it.
Position randomPosition(std::mt19937& random, int open) {
    std::vector<int> order(CategoryCount);
    for (int c = 0; c < CategoryCount; ++c) {
        order[c] = c;
    }
    std::shuffle(order.begin(), order.end(), random);
    std::uniform_int_distribution<int> face(1, FaceCount);
    auto roll = [&] {
        Dice dice;
        for (int& f : dice) {
            f = face(random);
        }
        return dice;
    };
    Position p{};
    for (int i = open; i < CategoryCount; ++i) {
        const int c = order[i];
        p.selected[c] = 1;
        p.scores[c] = evaluateCategories(roll()).scores[c];
    }
    p.dice = roll();
    p.remainRoll = std::uniform_int_distribution<int>(0, RollsPerTurn - 1)(random);
    return p;
}

// The rolls of `n` dice as multisets with the number of ordered outcomes of each.
std::vector<std::pair<FaceCounts, int>> rollsOf(int n) {
    std::map<FaceCounts, int> seen;
    int outcomes = 1;
    for (int i = 0; i < n; ++i) {
        outcomes *= FaceCount;
    }
    for (int outcome = 0; outcome < outcomes; ++outcome) {
        FaceCounts counts{};
        for (int i = 0, rest = outcome; i < n; ++i, rest /= FaceCount) {
            ++counts[rest % FaceCount];
        }
        ++seen[counts];
    }
    return {seen.begin(), seen.end()};
}

// The best value in the position with these dice and rolls left.
double bestValue(const StrategyTable& table, Position p, const FaceCounts& counts, int rolls) {
    int i = 0;
    for (int f = 0; f < FaceCount; ++f) {
        for (int n = 0; n < counts[f]; ++n) {
            p.dice[i++] = f + 1;
        }
    }
    p.remainRoll = rolls;
    const Analysis a = analysePosition(table, p);
    return a.actions[a.best].value;
}

} // namespace

// Over random positions: actions are listed in the documented order, and the best action is never
// worse than another legal one and is the first of equal values; a keep is worth the mean of the
// best over its rolls; a turn start is worth the mean of the best over the first roll; a record is
// worth its points and the next turn start.
TEST(StrategyTable, ActionsAgreeWithTheStepsAfterThem) {
    const StrategyTable table = builtTable();
    std::mt19937 random(20240611);
    for (int round = 0; round < 240; ++round) {
        const int open = 1 + round % CategoryCount;
        const Position p = randomPosition(random, open);
        const Analysis a = analysePosition(table, p);
        ASSERT_TRUE(a.valid) << describe(p);
        ASSERT_GE(a.best, 0);
        // Listed records first by category, then keeps from the largest down.
        for (int i = 1; i < a.actionCount; ++i) {
            const Action& x = a.actions[i - 1];
            const Action& y = a.actions[i];
            if (y.kind == ActionRecord) {
                EXPECT_TRUE(x.kind == ActionRecord && x.category < y.category) << describe(p);
            } else if (x.kind == ActionRoll) {
                int xs = 0;
                int ys = 0;
                for (int f = 0; f < FaceCount; ++f) {
                    xs += x.hold[f];
                    ys += y.hold[f];
                }
                EXPECT_GE(xs, ys) << describe(p);
            }
        }
        for (int i = 0; i < a.actionCount; ++i) {
            if (i < a.best) {
                EXPECT_LT(a.actions[i].value, a.actions[a.best].value) << describe(p);
            } else {
                EXPECT_LE(a.actions[i].value, a.actions[a.best].value) << describe(p);
            }
        }
        if (round % 11 != 0) { // every number of open categories in turn
            continue;
        }

        // One record and one keep, chosen at random, checked against the step after them.
        const Action& record = a.actions[std::uniform_int_distribution<int>(0, open - 1)(random)];
        ASSERT_EQ(record.kind, ActionRecord);
        Position next = p;
        next.selected[record.category] = 1;
        next.scores[record.category] = evaluateCategories(p.dice).scores[record.category];
        next.remainRoll = RollsPerTurn;
        const double after =
            open == 1 ? sheetPoints(next) : analysePosition(table, next).actions[0].value;
        EXPECT_NEAR(record.value, after, 1e-4) << describe(p);

        if (p.remainRoll > 0) {
            const int pick = std::uniform_int_distribution<int>(open, a.actionCount - 1)(random);
            const Action& keep = a.actions[pick];
            ASSERT_EQ(keep.kind, ActionRoll);
            int held = 0;
            for (int n : keep.hold) {
                held += n;
            }
            double sum = 0;
            int outcomes = 0;
            for (const auto& [rolled, ways] : rollsOf(DiceCount - held)) {
                FaceCounts dice = keep.hold;
                for (int f = 0; f < FaceCount; ++f) {
                    dice[f] += rolled[f];
                }
                sum += ways * bestValue(table, p, dice, p.remainRoll - 1);
                outcomes += ways;
            }
            EXPECT_NEAR(keep.value, sum / outcomes, 1e-9) << describe(p) << ", " << describe(keep);
        }

        if (round % 55 == 0) {
            Position start = p;
            start.remainRoll = RollsPerTurn;
            const Analysis s = analysePosition(table, start);
            double sum = 0;
            for (const auto& [dice, ways] : rollsOf(DiceCount)) {
                sum += ways * bestValue(table, p, dice, RollsPerTurn - 1);
            }
            EXPECT_NEAR(s.actions[0].value, sum / 7776, 1e-9) << describe(p);
        }
    }
}

// ---- self-play ----------------------------------------------------------------------------------

TEST(StrategySelfPlay, SameSeedSameResultsWhateverTheThreads) {
    const StrategyTable table = builtTable();
    constexpr int Games = 1500;
    const SelfPlayStats one = playSelfGames(table, Games, 7, 1);
    const SelfPlayStats two = playSelfGames(table, Games, 7, 2);
    const SelfPlayStats three = playSelfGames(table, Games, 7, 3);
    const SelfPlayStats other = playSelfGames(table, Games, 8, 2);
    for (const SelfPlayStats* s : {&two, &three}) {
        EXPECT_EQ(s->totals, one.totals);
        EXPECT_EQ(s->mean, one.mean);
        EXPECT_EQ(s->standardDeviation, one.standardDeviation);
        EXPECT_EQ(s->minimum, one.minimum);
        EXPECT_EQ(s->maximum, one.maximum);
        EXPECT_EQ(s->bonusGames, one.bonusGames);
        EXPECT_EQ(s->jorvoGames, one.jorvoGames);
    }
    EXPECT_NE(other.totals, one.totals);

    EXPECT_EQ(one.games, Games);
    int games = 0;
    long long sum = 0;
    for (int t = 0; t <= MaxTotal; ++t) {
        games += one.totals[t];
        sum += static_cast<long long>(t) * one.totals[t];
    }
    EXPECT_EQ(games, Games);
    EXPECT_DOUBLE_EQ(one.mean, static_cast<double>(sum) / Games);
    EXPECT_GT(one.totals[one.minimum], 0);
    EXPECT_GT(one.totals[one.maximum], 0);
    EXPECT_LT(one.minimum, one.maximum);
    EXPECT_NEAR(one.standardError, one.standardDeviation / std::sqrt(Games), 1e-12);
    EXPECT_GT(one.bonusGames, 0);
    EXPECT_LT(one.bonusGames, Games);
    EXPECT_GT(one.jorvoGames, 0);
    EXPECT_LT(one.jorvoGames, Games);
}

TEST(StrategySelfPlay, MeanMatchesTheTable) {
    const StrategyTable table = builtTable();
    const SelfPlayStats s = playSelfGames(table, 20000, 2024, 2);
    EXPECT_NEAR(s.mean, 191.7744, 3 * s.standardError);
    // A game's spread is near sixty points: the error of the mean is small enough to mean
    // something.
    EXPECT_LT(s.standardError, 0.5);
}

// ---- levels of play -----------------------------------------------------------------------------

// Over a grid of random numbers each action is taken in proportion to exp(-cost / T): with four
// actions costing 1, 0, 2 and 50 points at T = 1, a choice of the 100,000 grid points falls on
// each action within one point of its share, and never on the costliest.
TEST(StrategyLevels, ChoicesFollowTheWeightsOfTheirCosts) {
    const double values[] = {100.0, 101.0, 99.0, 51.0};
    constexpr int Best = 1;
    constexpr int Draws = 100000;
    std::array<int, 4> counts{};
    for (int k = 0; k < Draws; ++k) {
        ++counts[static_cast<std::size_t>(levelChoice(values, 4, Best, 1.0, (k + 0.5) / Draws))];
    }
    const double weights[] = {std::exp(-1.0), 1.0, std::exp(-2.0), std::exp(-50.0)};
    const double sum = weights[0] + weights[1] + weights[2] + weights[3];
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(counts[static_cast<std::size_t>(i)], Draws * weights[i] / sum, 1.0) << i;
    }
    EXPECT_EQ(counts[3], 0);
    for (double u : {0.0, 0.5, 0.9999999}) {
        EXPECT_EQ(levelChoice(values, 4, Best, 0.0, u), Best) << "a temperature of 0 is the best";
    }

    // Over an analysis, at the level's temperature: the best level always takes the best action,
    // the lowest sometimes another.
    const StrategyTable table = builtTable();
    const Position p{Sheet{}, Sheet{}, Dice{6, 6, 3, 2, 1}, 2};
    const Analysis a = analysePosition(table, p);
    ASSERT_TRUE(a.valid);
    int other = 0;
    for (int k = 0; k < 1000; ++k) {
        const double u = (k + 0.5) / 1000;
        EXPECT_EQ(levelChoice(a, PerfectLevel, u), a.best);
        const int chosen = levelChoice(a, LowestLevel, u);
        ASSERT_GE(chosen, 0);
        ASSERT_LT(chosen, a.actionCount);
        other += chosen != a.best;
    }
    EXPECT_GT(other, 0);
    EXPECT_LT(other, 1000);
    for (int level = LowestLevel; level < PerfectLevel; ++level) {
        EXPECT_GT(levelTemperature(level), levelTemperature(level + 1)) << level;
    }
    EXPECT_EQ(levelTemperature(PerfectLevel), 0.0);
}

// Each level's self-play mean is its goal (calibrated within 0.2 points over a million games, and
// here within three standard errors more), the means rise with the level, the points lost are the
// level's own, and the dice's luck averages nothing: mean and points lost add up to the game's
// value.
TEST(StrategyLevels, SelfPlayMeansReachTheirGoalsAndRiseWithTheLevel) {
    const StrategyTable table = builtTable();
    const double best = gameValue(table);
    constexpr int Games = 10000;
    double previous = 0;
    for (int level = LowestLevel; level <= PerfectLevel; ++level) {
        const SelfPlayStats s = playSelfGames(table, Games, 2030, 2, level);
        EXPECT_EQ(s.level, level);
        EXPECT_NEAR(s.mean, levelGoal(level), 0.2 + 3 * s.standardError) << level;
        EXPECT_LT(std::fabs(s.mean - levelGoal(level)), 1.5) << level;
        EXPECT_GT(s.mean, previous) << level;
        previous = s.mean;
        EXPECT_NEAR(s.meanLost, levelPointsLost(level), 0.05 + 4 * s.lostStandardError) << level;
        EXPECT_NEAR(s.mean + s.meanLost, best, 4 * s.standardError) << level;
        if (level == PerfectLevel) {
            EXPECT_EQ(s.meanLost, 0.0);
        } else {
            EXPECT_GT(s.lostStandardError, 0.0);
        }
    }
}

TEST(StrategyLevels, ALevelsGamesDoNotDependOnTheThreads) {
    const StrategyTable table = builtTable();
    constexpr int Games = 700;
    const SelfPlayStats one = playSelfGames(table, Games, 9, 1, 2);
    const SelfPlayStats three = playSelfGames(table, Games, 9, 3, 2);
    EXPECT_EQ(three.totals, one.totals);
    EXPECT_EQ(three.meanLost, one.meanLost);
    EXPECT_EQ(three.lostStandardError, one.lostStandardError);
    EXPECT_NE(playSelfGames(table, Games, 9, 2, 3).totals, one.totals);
    EXPECT_NE(playSelfGames(table, Games, 10, 2, 2).totals, one.totals);
}

TEST(StrategyLevels, ChanceToBeatCountsEveryPairADrawAsHalf) {
    const auto stats = [](std::initializer_list<std::pair<int, int>> totals) {
        SelfPlayStats s{};
        for (const auto& [total, games] : totals) {
            s.totals[static_cast<std::size_t>(total)] = games;
            s.games += games;
        }
        return s;
    };
    EXPECT_DOUBLE_EQ(chanceToBeat(stats({{100, 1}, {200, 1}}), stats({{150, 2}})), 0.5);
    EXPECT_DOUBLE_EQ(chanceToBeat(stats({{150, 1}}), stats({{150, 4}})), 0.5);
    // 200 beats the 100, draws with the 200 and loses to the two 250s: (1 + 1/2) / 4.
    EXPECT_DOUBLE_EQ(chanceToBeat(stats({{200, 3}}), stats({{100, 1}, {200, 1}, {250, 2}})), 0.375);
    EXPECT_DOUBLE_EQ(chanceToBeat(stats({{0, 1}}), stats({{325, 1}})), 0.0);
    EXPECT_DOUBLE_EQ(chanceToBeat(stats({}), stats({{325, 1}})), 0.0);
}

TEST(StrategyLevels, ThePointsLostNameTheNearestLevel) {
    EXPECT_EQ(levelClosestTo(0.0), PerfectLevel);
    EXPECT_EQ(levelClosestTo(500.0), LowestLevel);
    for (int level = LowestLevel; level < PerfectLevel; ++level) {
        EXPECT_EQ(levelClosestTo(levelPointsLost(level)), level);
        EXPECT_GT(levelPointsLost(level), levelPointsLost(level + 1));
        const double between = (levelPointsLost(level) + levelPointsLost(level + 1)) / 2;
        EXPECT_EQ(levelClosestTo(between + 0.01), level);
        EXPECT_EQ(levelClosestTo(between - 0.01), level + 1);
    }
}

// ---- the last turn to win -----------------------------------------------------------------------

TEST(StrategyLastTurn, ChancesToWinComputedByHand) {
    // 165 points on the sheet, upper 45 without Sixes: Sixes needs three dice for the bonus.
    const Sheet upper45{3, 6, 9, 12, 15, 0, 22, 18, 0, 0, 30, 50};
    // 120 points, no bonus within reach of Jorvo.
    const Sheet plain{1, 2, 3, 4, 5, 6, 20, 24, 25, 0, 30, 0};
    struct Case {
        const char* what;
        Position position;
        int opponent;
        FaceCounts hold; // the action checked: a roll holding these, or the record if all -1
        double chance;
        bool best; // whether that action is the best
    } cases[] = {
        {"won whatever is rolled",
         positionWith({Sixes}, upper45, {1, 2, 3, 4, 5}, 2),
         164,
         {-1, -1, -1, -1, -1, -1},
         1.0,
         true},
        {"won before the first roll", positionWith({Sixes}, upper45, {}, 3), 164, {}, 1.0, true},
        {"out of reach",
         positionWith({Aces}, plain, {1, 1, 1, 1, 1}, 2),
         126,
         {-1, -1, -1, -1, -1, -1},
         0.0,
         true},
        {"out of reach before the first roll",
         positionWith({Aces}, plain, {}, 3),
         126,
         {},
         0.0,
         true},
        {"four sixes held: one die must show six",
         positionWith({Jorvo}, plain, {6, 6, 6, 6, 2}, 1),
         169,
         {0, 0, 0, 0, 0, 4},
         1.0 / 6,
         true},
        {"three sixes held: two dice must",
         positionWith({Jorvo}, plain, {6, 6, 6, 6, 2}, 1),
         169,
         {0, 0, 0, 0, 0, 3},
         1.0 / 36,
         false},
        {"recording a non-Jorvo loses",
         positionWith({Jorvo}, plain, {6, 6, 6, 6, 2}, 1),
         169,
         {-1, -1, -1, -1, -1, -1},
         0.0,
         false},
        {"a Jorvo only draws: half of 1/6",
         positionWith({Jorvo}, plain, {6, 6, 6, 6, 2}, 1),
         170,
         {0, 0, 0, 0, 0, 4},
         1.0 / 12,
         true},
        {"three sixes earn the bonus: one six in three dice",
         positionWith({Sixes}, upper45, {6, 6, 1, 2, 3}, 1),
         200,
         {0, 0, 0, 0, 0, 2},
         1 - 125.0 / 216,
         true},
        {"three sixes win by the bonus, without it a draw",
         positionWith({Sixes}, upper45, {6, 6, 6, 1, 2}, 0),
         183,
         {-1, -1, -1, -1, -1, -1},
         1.0,
         true},
        {"a draw counts one half",
         positionWith({Sixes}, upper45, {6, 6, 6, 1, 2}, 0),
         218,
         {-1, -1, -1, -1, -1, -1},
         0.5,
         true},
    };
    for (const Case& c : cases) {
        const Analysis a = analyseLastTurnToWin(c.position, c.opponent);
        ASSERT_TRUE(a.valid) << c.what;
        int found = -1;
        for (int i = 0; i < a.actionCount; ++i) {
            const Action& action = a.actions[i];
            const bool record = c.hold[0] < 0;
            if ((record && action.kind == ActionRecord) ||
                (!record && action.kind == ActionRoll && action.hold == c.hold)) {
                found = i;
            }
        }
        ASSERT_GE(found, 0) << c.what;
        EXPECT_NEAR(a.actions[found].value, c.chance, 1e-12) << c.what;
        if (c.best) {
            EXPECT_EQ(a.actions[a.best].value, a.actions[found].value) << c.what;
        } else {
            EXPECT_LT(a.actions[found].value, a.actions[a.best].value) << c.what;
        }
        for (int i = 0; i < a.actionCount; ++i) {
            EXPECT_GE(a.actions[i].value, 0.0);
            EXPECT_LE(a.actions[i].value, 1.0);
        }
    }

    // Two categories open is not the last turn.
    EXPECT_FALSE(
        analyseLastTurnToWin(positionWith({Aces, Jorvo}, plain, {1, 1, 1, 1, 1}, 1), 0).valid);
}

// Ties go to the record; keeps are listed from all five held down to none.
TEST(StrategyLastTurn, TiesGoToTheRecordAndKeepsListLargestFirst) {
    const Sheet plain{1, 2, 3, 4, 5, 6, 20, 24, 25, 0, 30, 0};
    const Analysis won = analyseLastTurnToWin(positionWith({Jorvo}, plain, {1, 2, 3, 4, 6}, 2), 0);
    ASSERT_TRUE(won.valid);
    EXPECT_EQ(won.actions[won.best].kind, ActionRecord);
    EXPECT_EQ(won.actionCount, 1 + 32);

    // Nothing can win: every action is worth 0, and the record is chosen.
    const Analysis lost =
        analyseLastTurnToWin(positionWith({Aces}, plain, {1, 2, 3, 4, 6}, 1), 500);
    ASSERT_TRUE(lost.valid);
    EXPECT_EQ(lost.best, 0);
    EXPECT_EQ(lost.actions[0].kind, ActionRecord);

    // Keeps listed from the largest down: hold-all comes right after the record.
    EXPECT_EQ(won.actions[1].kind, ActionRoll);
    EXPECT_EQ(won.actions[1].hold, (FaceCounts{1, 1, 1, 1, 0, 1}));
    EXPECT_EQ(won.actions[won.actionCount - 1].hold, FaceCounts{});
}

// ---- the held dice ------------------------------------------------------------------------------

TEST(StrategyHold, HeldDiceFindTheirAction) {
    const Sheet plain{1, 2, 3, 4, 5, 6, 20, 24, 25, 0, 30, 0};
    const Dice dice{6, 2, 6, 6, 2};
    const Analysis a = analyseLastTurnToWin(positionWith({Jorvo}, plain, dice, 1), 169);
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.actionCount, 1 + 4 * 3);
    struct Case {
        Dice fix;
        FaceCounts hold;
    } cases[] = {
        {{0, 0, 0, 0, 0}, {}},
        {{1, 0, 1, 1, 0}, {0, 0, 0, 0, 0, 3}},
        {{0, 1, 0, 0, 1}, {0, 2, 0, 0, 0, 0}},
        {{1, 1, 1, 1, 1}, {0, 2, 0, 0, 0, 3}},
        {{0, 0, 1, 0, 1}, {0, 1, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(heldCounts(dice, c.fix), c.hold);
        const int i = heldAction(a, dice, c.fix);
        ASSERT_GE(i, 0);
        EXPECT_EQ(a.actions[i].kind, ActionRoll);
        EXPECT_EQ(a.actions[i].hold, c.hold);
        Dice fix;
        ASSERT_TRUE(fixForHold(dice, c.hold, fix));
        EXPECT_EQ(heldCounts(dice, fix), c.hold);
    }
    Dice fix;
    EXPECT_FALSE(fixForHold(dice, FaceCounts{1, 0, 0, 0, 0, 0}, fix));
    EXPECT_FALSE(fixForHold(dice, FaceCounts{0, 0, 0, 0, 0, 4}, fix));

    // With no roll left there is no roll action to find.
    const Analysis last = analyseLastTurnToWin(positionWith({Jorvo}, plain, dice, 0), 169);
    ASSERT_TRUE(last.valid);
    EXPECT_EQ(heldAction(last, dice, Dice{1, 0, 1, 1, 0}), -1);
}
