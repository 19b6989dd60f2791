#include "dice/dice.h"
#include "support.h"
#include "text/text.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace {

// Pip rows of one die, top to bottom, for each face.
const char* const Faces[6][3] = {
    {"┃　 　　┃ ", "┃　 ● 　┃ ", "┃　 　　┃ "}, {"┃ ● 　　┃ ", "┃　 　　┃ ", "┃　　 ● ┃ "},
    {"┃ ● 　　┃ ", "┃　 ● 　┃ ", "┃　　 ● ┃ "}, {"┃ ● 　● ┃ ", "┃　 　　┃ ", "┃ ● 　● ┃ "},
    {"┃ ● 　● ┃ ", "┃　 ● 　┃ ", "┃ ● 　● ┃ "}, {"┃ ● 　● ┃ ", "┃ ● 　● ┃ ", "┃ ● 　● ┃ "},
};
const std::string Top = "┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓";
const std::string Bottom = "┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛";

} // namespace

// Every face in every position, in both indentations, cell for cell.
TEST(DrawDice, DrawsEveryFaceAtBothIndentations) {
    struct Indentation {
        DiceScreen inGame;
        int column;
    };
    for (Indentation indentation : {Indentation{OnTitle, 35}, Indentation{InGame, 8}}) {
        for (int first = 1; first <= 6; ++first) {
            const Dice eyes{first, first % 6 + 1, (first + 1) % 6 + 1, (first + 2) % 6 + 1,
                            (first + 3) % 6 + 1};
            memory::reset();
            moveCursor(0, 4);
            drawDice(eyes, indentation.inGame);
            const int x = indentation.column;
            EXPECT_EQ(memory::cells(0, 4, x), std::string(static_cast<std::size_t>(x), ' '));
            EXPECT_EQ(memory::cells(x, 4, 50), Top + " ");
            for (int row = 0; row < 3; ++row) {
                std::string expected;
                for (int face : eyes) {
                    expected += Faces[face - 1][row];
                }
                EXPECT_EQ(memory::cells(x, 5 + row, 50), expected)
                    << "face row " << row << " first die " << first;
                EXPECT_EQ(textWidth(expected.c_str()), 50);
            }
            EXPECT_EQ(memory::cells(x, 8, 50), Bottom + " ");
            EXPECT_EQ(memory::row(8).size(), static_cast<std::size_t>(x) + Bottom.size());
            EXPECT_EQ(memory::cursorX(), 0);
            EXPECT_EQ(memory::cursorY(), 9);
        }
    }
}

TEST(DrawDice, CornerPipsOfTwoAndThreeAreTopLeftAndBottomRight) {
    memory::reset();
    drawDice(Dice{2, 3, 1, 1, 1}, InGame);
    EXPECT_EQ(memory::cells(8, 1, 20), "┃ ● 　　┃ ┃ ● 　　┃ ");
    EXPECT_EQ(memory::cells(8, 3, 20), "┃　　 ● ┃ ┃　　 ● ┃ ");
}

TEST(RollDice, ShowsFiveFramesAndLeavesHeldDiceAlone) {
    seedDice(7);
    for (int trial = 0; trial < 200; ++trial) {
        memory::reset();
        memory::keepScreensAtDelays();
        Dice eyes{6, 5, 4, 3, 2};
        const Dice fix{trial % 2, 0, 1, trial % 3 == 0 ? 1 : 0, 0};
        const Dice before = eyes;
        rollDice(eyes, InGame, fix);
        ASSERT_EQ(memory::delays(), (std::vector<int>{100, 100, 100, 100, 100}));
        for (int i = 0; i < DiceCount; ++i) {
            EXPECT_GE(eyes[i], 1);
            EXPECT_LE(eyes[i], 6);
            if (fix[i] == 1) {
                EXPECT_EQ(eyes[i], before[i]);
            }
        }
        // Each frame draws the dice on rows 12 to 16 and nothing else.
        for (const std::string& frame : memory::screensAtDelays()) {
            std::istringstream rows(frame);
            std::string line;
            for (int y = 0; std::getline(rows, line); ++y) {
                const bool blank = line.find_first_not_of(' ') == std::string::npos;
                EXPECT_EQ(blank, y < 12 || y > 16) << "row " << y;
            }
        }
        EXPECT_EQ(memory::cells(8, 12, 49), Top);
        EXPECT_EQ(memory::cells(8, 16, 49), Bottom);
        EXPECT_EQ(memory::row(11), "");
        EXPECT_EQ(memory::row(17), "");
    }
}

TEST(RollDice, AllHeldStillShowsFiveFramesAndChangesNothing) {
    memory::reset();
    Dice eyes{1, 2, 3, 4, 5};
    rollDice(eyes, InGame, Dice{1, 1, 1, 1, 1});
    EXPECT_EQ(memory::delays().size(), 5u);
    EXPECT_EQ(eyes, (Dice{1, 2, 3, 4, 5}));
}

TEST(RollDice, EveryFaceTurnsUp) {
    seedDice(11);
    int seen[7] = {};
    for (int trial = 0; trial < 60; ++trial) {
        memory::reset();
        Dice eyes{1, 1, 1, 1, 1};
        rollDice(eyes, InGame, Dice{});
        for (int face : eyes) {
            ++seen[face];
        }
    }
    for (int face = 1; face <= 6; ++face) {
        EXPECT_GT(seen[face], 0) << face;
    }
}

// The dice generator is the published xoshiro256** seeded through splitmix64, so a seed gives the
// same faces on every platform (this test runs in the Windows build too): its known answers.
TEST(DiceRandom, GivesThePublishedGeneratorsNumbers) {
    std::uint64_t x = 0;
    EXPECT_EQ(splitMix(x), 0xE220A8397B1DCDAFull);
    DiceRandom r{{1, 2, 3, 4}};
    const std::uint64_t expected[] = {11520u, 0u, 1509978240u, 1215971899390074240u};
    for (std::uint64_t want : expected) {
        EXPECT_EQ(nextRandom(r), want);
    }
}

TEST(DiceRandom, ASeedRollsTheSameDiceAndEveryFaceAlike) {
    const auto rollAll = [](std::uint64_t seed) {
        seedDice(seed);
        std::vector<Dice> rolls;
        for (int roll = 0; roll < 20; ++roll) {
            memory::reset();
            Dice eyes{1, 1, 1, 1, 1};
            rollDice(eyes, InGame, Dice{});
            rolls.push_back(eyes);
        }
        return rolls;
    };
    EXPECT_EQ(rollAll(2026), rollAll(2026));
    EXPECT_NE(rollAll(2026), rollAll(2027));

    DiceRandom r = seededRandom(2026, 0);
    constexpr int Rolls = 600'000;
    int seen[FaceCount] = {};
    for (int i = 0; i < Rolls; ++i) {
        ++seen[rollFace(r)];
    }
    // Each face's count is binomial: 100,000 expected, standard deviation about 289.
    for (int face = 0; face < FaceCount; ++face) {
        EXPECT_NEAR(seen[face], Rolls / FaceCount, 1500) << "face " << face + 1;
    }
}
