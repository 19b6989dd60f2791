#include "rules/rules.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct EvaluationCase {
    Dice eyes;
    Sheet scores; // Aces..Sixes, Choice, 4 of a Kind, Full House, S./L. Straight, Jorvo
};

const EvaluationCase Cases[] = {
    {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 0, 15, 0, 0, 15, 30, 0}},
    {{6, 6, 6, 6, 6}, {0, 0, 0, 0, 0, 30, 30, 30, 30, 0, 0, 50}},
    {{2, 2, 5, 5, 5}, {0, 4, 0, 0, 15, 0, 19, 0, 19, 0, 0, 0}},
    {{3, 3, 4, 4, 1}, {1, 0, 6, 8, 0, 0, 15, 0, 0, 0, 0, 0}},
    {{1, 3, 4, 5, 6}, {1, 0, 3, 4, 5, 6, 19, 0, 0, 15, 0, 0}},
    {{4, 4, 4, 4, 1}, {1, 0, 0, 16, 0, 0, 17, 17, 0, 0, 0, 0}},
    {{4, 4, 4, 1, 1}, {2, 0, 0, 12, 0, 0, 14, 0, 14, 0, 0, 0}},
    {{1, 2, 3, 4, 4}, {1, 2, 3, 8, 0, 0, 14, 0, 0, 15, 0, 0}},
    {{2, 3, 4, 5, 6}, {0, 2, 3, 4, 5, 6, 20, 0, 0, 15, 30, 0}},
    {{3, 3, 3, 3, 3}, {0, 0, 15, 0, 0, 0, 15, 15, 15, 0, 0, 50}},
    {{6, 5, 4, 3, 1}, {1, 0, 3, 4, 5, 6, 19, 0, 0, 15, 0, 0}},
    {{2, 2, 3, 3, 3}, {0, 4, 9, 0, 0, 0, 13, 0, 13, 0, 0, 0}},
    {{1, 1, 2, 3, 4}, {2, 2, 3, 4, 0, 0, 11, 0, 0, 15, 0, 0}},
    {{1, 2, 3, 5, 6}, {1, 2, 3, 0, 5, 6, 17, 0, 0, 0, 0, 0}},
    {{2, 5, 2, 3, 2}, {0, 6, 3, 0, 5, 0, 14, 0, 0, 0, 0, 0}}, // three of a kind is no full house
};

} // namespace

TEST(EvaluateCategories, ScoresEveryCategory) {
    for (const EvaluationCase& c : Cases) {
        const Evaluation e = evaluateCategories(c.eyes);
        EXPECT_EQ(e.scores, c.scores)
            << c.eyes[0] << c.eyes[1] << c.eyes[2] << c.eyes[3] << c.eyes[4];
    }
}

// Relations that hold whatever the implementation, over all 7,776 ordered rolls.
TEST(EvaluateCategories, RelationsHoldForEveryRoll) {
    for (int n = 0; n < 7776; ++n) {
        Dice eyes{};
        for (int i = 0, rest = n; i < DiceCount; ++i, rest /= 6) {
            eyes[i] = rest % 6 + 1;
        }
        const Evaluation e = evaluateCategories(eyes);
        int sum = 0;
        for (int face : eyes) {
            sum += face;
        }
        const bool fiveOfAKind = std::count(eyes.begin(), eyes.end(), eyes[0]) == DiceCount;
        int upper = 0;
        for (int c = Aces; c <= Sixes; ++c) {
            upper += e.scores[c];
            EXPECT_EQ(e.scores[c] % (c + 1), 0);
        }
        EXPECT_EQ(e.sum, sum);
        EXPECT_EQ(e.scores[Choice], sum);
        EXPECT_EQ(upper, sum);
        EXPECT_TRUE(e.scores[FourOfAKind] == 0 || e.scores[FourOfAKind] == sum);
        EXPECT_TRUE(e.scores[FullHouse] == 0 || e.scores[FullHouse] == sum);
        EXPECT_TRUE(e.scores[SmallStraight] == 0 || e.scores[SmallStraight] == 15);
        EXPECT_TRUE(e.scores[LargeStraight] == 0 || e.scores[LargeStraight] == 30);
        EXPECT_EQ(e.scores[Jorvo], fiveOfAKind ? 50 : 0);
        if (fiveOfAKind) {
            EXPECT_EQ(e.scores[FullHouse], sum);
            EXPECT_EQ(e.scores[FourOfAKind], sum);
        }
        if (e.scores[LargeStraight] != 0) {
            EXPECT_EQ(e.scores[SmallStraight], 15);
        }
        Dice sorted = eyes;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(evaluateCategories(sorted).scores, e.scores);
    }
}

namespace {

// A second scorer, written from the faces present and the sorted counts rather than by scanning
// the faces in order as the game does.
Sheet referenceScores(const Dice& eyes) {
    std::array<int, 6> counts{};
    int sum = 0;
    unsigned present = 0; // bit f - 1 set when face f shows
    for (int face : eyes) {
        ++counts[face - 1];
        sum += face;
        present |= 1u << (face - 1);
    }
    std::array<int, 6> sorted = counts;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    const auto holds = [present](unsigned run) { return (present & run) == run; };
    Sheet scores{};
    for (int face = 1; face <= 6; ++face) {
        scores[face - 1] = face * counts[face - 1];
    }
    scores[Choice] = sum;
    scores[FourOfAKind] = sorted[0] >= 4 ? sum : 0;
    scores[FullHouse] = (sorted[0] == 3 && sorted[1] == 2) || sorted[0] == 5 ? sum : 0;
    scores[SmallStraight] = holds(0b001111) || holds(0b011110) || holds(0b111100) ? 15 : 0;
    scores[LargeStraight] = holds(0b011111) || holds(0b111110) ? 30 : 0;
    scores[Jorvo] = sorted[0] == 5 ? 50 : 0;
    return scores;
}

} // namespace

// Every one of the 7,776 ordered rolls scores as the second scorer says, in any order of its dice.
TEST(EvaluateCategories, AgreesWithASecondScorerOnEveryRoll) {
    std::array<int, CategoryCount> nonZero{};
    for (int n = 0; n < 7776; ++n) {
        Dice eyes{};
        for (int i = 0, rest = n; i < DiceCount; ++i, rest /= 6) {
            eyes[i] = rest % 6 + 1;
        }
        const Evaluation e = evaluateCategories(eyes);
        const Sheet expected = referenceScores(eyes);
        ASSERT_EQ(e.scores, expected) << eyes[0] << eyes[1] << eyes[2] << eyes[3] << eyes[4];
        int sum = 0;
        for (int face = 1; face <= 6; ++face) {
            EXPECT_EQ(e.eyesCount[face - 1], std::count(eyes.begin(), eyes.end(), face));
            sum += face * e.eyesCount[face - 1];
        }
        EXPECT_EQ(e.sum, sum);
        for (int c = 0; c < CategoryCount; ++c) {
            nonZero[c] += e.scores[c] != 0;
        }
    }
    // How many ordered rolls score in each category, counted by hand: a face shows in 7776 - 5^5;
    // four of a kind 6 * (1 + 5 * 5); a full house 6 * 5 * 10 + 6; a small straight 1200 ordered
    // rolls of which 240 are large; five of a kind 6.
    const std::array<int, CategoryCount> expected = {4651, 4651, 4651, 4651, 4651, 4651,
                                                     7776, 156,  306,  1200, 240,  6};
    EXPECT_EQ(nonZero, expected);
}

namespace {

Sheets sheetFor(int player, const Sheet& sheet) {
    Sheets playersScore{};
    playersScore[player] = sheet;
    return playersScore;
}

} // namespace

TEST(ComputeTotals, BonusFromSixtyThreeOnEachPlayersOwnSubtotal) {
    struct Case {
        int player;
        Sheet sheet;
        int subtotal;
        int total;
    } cases[] = {
        {0, {3, 6, 9, 12, 15, 18, 0, 0, 0, 0, 0, 0}, 63, 98},
        {1, {3, 6, 9, 12, 15, 18, 0, 0, 0, 0, 0, 0}, 63, 98},
        {0, {2, 6, 9, 12, 15, 18, 20, 0, 0, 0, 0, 0}, 62, 82},
        {1, {2, 6, 9, 12, 15, 18, 20, 0, 0, 0, 0, 0}, 62, 82},
        {0, {5, 10, 15, 20, 25, 30, 30, 30, 30, 15, 30, 50}, 105, 325},
        {0, {0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0}, 0, 5},
    };
    for (const Case& c : cases) {
        const Totals t = computeTotals(sheetFor(c.player, c.sheet));
        EXPECT_EQ(t.subtotal[c.player], c.subtotal);
        EXPECT_EQ(t.total[c.player], c.total);
        EXPECT_EQ(t.subtotal[1 - c.player], 0);
        EXPECT_EQ(t.total[1 - c.player], 0);
    }
}

TEST(CommitCategory, RecordsOnceAndAZeroIsAScore) {
    Sheets playersScore{};
    Sheets selected{};
    Sheet scores{};
    scores[Jorvo] = 0;
    scores[Choice] = 17;
    EXPECT_TRUE(commitCategory(playersScore[0], selected[0], Jorvo, scores));
    EXPECT_EQ(selected[0][Jorvo], 1);
    EXPECT_EQ(playersScore[0][Jorvo], 0);
    scores[Jorvo] = 50;
    EXPECT_FALSE(commitCategory(playersScore[0], selected[0], Jorvo, scores));
    EXPECT_EQ(playersScore[0][Jorvo], 0);
    EXPECT_TRUE(commitCategory(playersScore[1], selected[1], Choice, scores));
    EXPECT_FALSE(commitCategory(playersScore[1], selected[1], Choice, Sheet{}));
    EXPECT_EQ(playersScore[1][Choice], 17);
    EXPECT_EQ(selected[0][Choice], 0);
}

TEST(ResultText, ComparesTotalsWithBonus) {
    EXPECT_STREQ(resultText(Totals{{0, 0}, {100, 99}}), "1P WIN!\n");
    EXPECT_STREQ(resultText(Totals{{0, 0}, {99, 100}}), "2P WIN!\n");
    EXPECT_STREQ(resultText(Totals{{0, 0}, {150, 150}}), "DRAW...\n");
    // The second player's bonus turns a loss into a win.
    Sheets playersScore = sheetFor(1, {3, 6, 9, 12, 15, 18, 0, 0, 0, 0, 0, 0});
    playersScore[0][Choice] = 90;
    EXPECT_STREQ(resultText(computeTotals(playersScore)), "2P WIN!\n");
}
