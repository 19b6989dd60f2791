#include "play/game_screen.h"
#include "support.h"

#include <gtest/gtest.h>

namespace {

const char* const Labels[] = {"Aces",       "Deuces",      "Threes",      "Fours",
                              "Fives",      "Sixes",       "Choice",      "4 of a Kind",
                              "Full House", "S. Straight", "L. Straight", "Jorvo"};
const int Rows[] = {5, 6, 7, 8, 9, 10, 17, 19, 20, 21, 22, 23};

// The parts of every frame that do not depend on the state: labels and the dice 1..5.
ExpectedScreen frameBase(const Dice& eyes) {
    ExpectedScreen screen;
    for (int c = 0; c < CategoryCount; ++c) {
        screen.put(65, Rows[c], Labels[c]);
    }
    screen.put(65, 12, "Subtotal").put(65, 13, "+35 Bonus");
    screen.put(65, 15, "Bonus if Aces-Sixes are over 63 points").put(65, 25, "Total");
    const char* const faces[6][3] = {
        {"┃　 　　┃ ", "┃　 ● 　┃ ", "┃　 　　┃ "}, {"┃ ● 　　┃ ", "┃　 　　┃ ", "┃　　 ● ┃ "},
        {"┃ ● 　　┃ ", "┃　 ● 　┃ ", "┃　　 ● ┃ "}, {"┃ ● 　● ┃ ", "┃　 　　┃ ", "┃ ● 　● ┃ "},
        {"┃ ● 　● ┃ ", "┃　 ● 　┃ ", "┃ ● 　● ┃ "}, {"┃ ● 　● ┃ ", "┃ ● 　● ┃ ", "┃ ● 　● ┃ "},
    };
    screen.put(8, 12, "┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓");
    for (int row = 0; row < 3; ++row) {
        std::string line;
        for (int face : eyes) {
            line += faces[face - 1][row];
        }
        screen.put(8, 13 + row, line);
    }
    screen.put(8, 16, "┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛");
    return screen;
}

ExpectedScreen firstSingleFrame() {
    ExpectedScreen expected = frameBase(Dice{1, 2, 3, 4, 5});
    expected.put(65, 3, "turn  1/12").put(27, 8, "SINGLE MODE").put(28, 19, "-> roll");
    expected.put(25, 22, "Remain Roll : 3").put(82, 12, " 0/63").put(83, 25, "  0");
    return expected;
}

void draw(const GameState& state, Mode mode) {
    memory::reset();
    drawGameFrame(state, mode, evaluateCategories(state.eyes).scores,
                  computeTotals(state.playersScore));
}

} // namespace

TEST(GameScreen, FirstFrameOfASinglePlayerGame) {
    draw(GameState{}, ModeSingle);
    expectScreen(firstSingleFrame());
    EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight));
}

TEST(GameScreen, FirstFrameOfATwoPlayerGame) {
    draw(GameState{}, ModeMulti);
    ExpectedScreen expected = frameBase(Dice{1, 2, 3, 4, 5});
    expected.put(65, 3, "turn  1/12").put(84, 2, "1P          2P").put(28, 8, "1P's turn");
    expected.put(28, 19, "-> roll").put(25, 22, "Remain Roll : 3");
    expected.put(82, 12, " 0/63").put(94, 12, " 0/63").put(83, 25, "  0").put(95, 25, "  0");
    expectScreen(expected);
}

TEST(GameScreen, AfterTheThirdRollTheSheetHasTheFocus) {
    GameState state;
    state.eyes = {6, 6, 6, 6, 2};
    state.remainRoll = 0;
    state.focus = FocusSheet;
    state.scoreCursor = 0;
    state.player = 1;
    state.selected[0][Sixes] = 1;
    state.playersScore[0][Sixes] = 24;
    draw(state, ModeMulti);
    ExpectedScreen expected = frameBase(state.eyes);
    expected.put(65, 3, "turn  1/12").put(84, 2, "1P          2P").put(28, 8, "2P's turn");
    expected.put(28, 19, "   roll").put(25, 22, "Remain Roll : 0").put(91, 5, "->");
    const int candidates[] = {0, 2, 0, 0, 0, 24, 26, 26, 0, 0, 0, 0};
    for (int c = 0; c < CategoryCount; ++c) {
        char cell[8];
        std::snprintf(cell, sizeof cell, "%3d", candidates[c]);
        expected.put(95, Rows[c], cell);
    }
    expected.put(83, 10, "[24]");
    expected.put(82, 12, "24/63").put(94, 12, " 0/63").put(83, 25, " 24").put(95, 25, "  0");
    expectScreen(expected);
}

TEST(GameScreen, AHeldDieAndTheDiceCursor) {
    GameState state;
    state.remainRoll = 2;
    state.focus = FocusDice;
    state.diceCursor = 2;
    state.fix = {0, 0, 1, 0, 0};
    draw(state, ModeSingle);
    EXPECT_EQ(memory::row(11), std::string(28, ' ') + "   fix");
    EXPECT_EQ(memory::cells(0, 17, 60), std::string(32, ' ') + "↑" + std::string(27, ' '));
    EXPECT_EQ(memory::cells(0, 19, 60), std::string(28, ' ') + "   roll" + std::string(25, ' '));
    // Candidates are shown for the player on turn once the turn has rolled.
    EXPECT_EQ(memory::cells(79, 5, 8), "      1 ");
    EXPECT_EQ(memory::cells(79, 10, 8), "      0 ");
    state.focus = FocusDice;
    state.diceCursor = 4;
    draw(state, ModeSingle);
    EXPECT_EQ(memory::cells(12, 17, 41), std::string(40, ' ') + "↑");
}

TEST(GameScreen, ShorterTextOverwritesLongerTextFrameAfterFrame) {
    GameState state;
    state.remainRoll = 1;
    state.focus = FocusSheet;
    state.scoreCursor = 11;
    state.fix = {1, 1, 1, 1, 1};
    draw(state, ModeSingle);
    state = GameState{};
    drawGameFrame(state, ModeSingle, evaluateCategories(state.eyes).scores,
                  computeTotals(state.playersScore));
    expectScreen(firstSingleFrame());
}

TEST(GameScreen, RecordedValuesSubtotalOverAHundredAndTheBonus) {
    GameState state;
    const Sheet upper{5, 10, 15, 20, 25, 30, 0, 0, 0, 0, 0, 0};
    for (int c = 0; c <= Sixes; ++c) {
        state.selected[0][c] = 1;
        state.playersScore[0][c] = upper[c];
    }
    state.turn = 7;
    draw(state, ModeSingle);
    EXPECT_EQ(memory::cells(82, 12, 6), "105/63");
    EXPECT_EQ(memory::cells(83, 13, 3), "+35");
    EXPECT_EQ(memory::cells(83, 25, 3), "140");
    EXPECT_EQ(memory::cells(83, 9, 4), "[25]");
    EXPECT_EQ(memory::cells(83, 5, 4), "[ 5]");
    EXPECT_EQ(memory::cells(65, 3, 10), "turn  7/12");
    // A single-player game draws nothing for the second player.
    EXPECT_EQ(memory::cells(94, 12, 6), "      ");
    EXPECT_EQ(memory::cells(95, 13, 3), "   ");
}

TEST(GameScreen, TheFrameThatEndsATwoPlayerGame) {
    GameState state;
    state.turn = GameOverTurn;
    for (int p = 0; p < PlayerCount; ++p) {
        for (int c = 0; c < CategoryCount; ++c) {
            state.selected[p][c] = 1;
            state.playersScore[p][c] = p == 0 ? 1 : 2;
        }
    }
    draw(state, ModeMulti);
    ExpectedScreen expected = frameBase(Dice{1, 2, 3, 4, 5});
    expected.put(65, 3, "turn 13/12").put(84, 2, "1P          2P").put(28, 8, "1P's turn");
    expected.put(28, 19, "   roll").put(25, 22, "Remain Roll : 3");
    for (int c = 0; c < CategoryCount; ++c) {
        expected.put(83, Rows[c], "[ 1]").put(95, Rows[c], "[ 2]");
    }
    expected.put(82, 12, " 6/63").put(94, 12, "12/63").put(83, 25, " 12").put(95, 25, " 24");
    expectScreen(expected);
}
