#include "play/game_loop.h"
#include "rules/rules.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

// Roll once and record the category under the cursor, moving it down by `category` first.
std::string recordAfterOneRoll(int category) {
    std::string script = "ER";
    script.append(static_cast<std::size_t>(category), 'D');
    return script + "E";
}

} // namespace

class GameLoop : public ::testing::Test {
  protected:
    void SetUp() override { useFreshDataFolder(); }
    RankTable r{};
    StorageError error{};
    GameState state;
};

TEST_F(GameLoop, ASinglePlayerGameEndsAfterTwelveRecordsAndEntersTheRanking) {
    memory::reset();
    for (int c = 0; c < CategoryCount; ++c) {
        pushScript(recordAfterOneRoll(c).c_str());
    }
    pushScript("Ann E");
    memory::pushKeys({'x', KeyExtended, KeyUp, KeyEnter, 'y'});
    EXPECT_EQ(playGame(state, ModeSingle, r, error), GameEnd::Finished);
    EXPECT_EQ(memory::keysLeft(), 1u); // Enter ended the game; the key after it was not read
    EXPECT_EQ(state.turn, GameOverTurn);
    for (int c = 0; c < CategoryCount; ++c) {
        EXPECT_EQ(state.selected[0][c], 1);
    }
    const int total = computeTotals(state.playersScore).total[0];
    EXPECT_EQ(memory::cells(65, 3, 10), "turn 13/12");
    EXPECT_EQ(memory::cells(19, 25, 24), "게임 끝! 이름 입력: Ann ");
    EXPECT_EQ(memory::row(27), std::string(23, ' ') + "PRESS ENTER TO EXIT");
    EXPECT_EQ(readFile(rankingFilePath()), "1\tAnn\t" + std::to_string(total) + "\n");
    EXPECT_EQ(r[0].score, total);
    EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight));
}

TEST_F(GameLoop, ATwoPlayerGameEndsAfterTwentyFourRecordsWithTheResult) {
    memory::reset();
    for (int c = 0; c < CategoryCount; ++c) {
        pushScript(recordAfterOneRoll(c).c_str());
        pushScript(recordAfterOneRoll(c).c_str());
    }
    memory::pushKeys({KeyFunction, 59});
    EXPECT_EQ(playGame(state, ModeMulti, r, error), GameEnd::Finished);
    EXPECT_EQ(memory::keysLeft(), 1u); // any key ends it, F1's first code included
    const Totals totals = computeTotals(state.playersScore);
    EXPECT_EQ(memory::row(27), std::string(50, ' ') + std::string(resultText(totals), 7));
    EXPECT_EQ(memory::cells(28, 8, 9), "1P's turn");
    EXPECT_FALSE(std::filesystem::exists(rankingFilePath()));
}

TEST_F(GameLoop, KeysTypedDuringARollAreHandledAfterIt) {
    memory::reset();
    // Enter rolls; Up and Space, already waiting, then hold the first die.
    pushScript("EUS");
    EXPECT_EQ(playGame(state, ModeSingle, r, error), GameEnd::InputEnded);
    EXPECT_EQ(state.fix, (Dice{1, 0, 0, 0, 0}));
    EXPECT_EQ(state.remainRoll, 2);
}

TEST_F(GameLoop, InputEndingMidGameWritesNothing) {
    memory::reset();
    pushScript("ERE");
    EXPECT_EQ(playGame(state, ModeSingle, r, error), GameEnd::InputEnded);
    EXPECT_EQ(state.turn, 2);
    EXPECT_FALSE(std::filesystem::exists(rankingFilePath()));
}

TEST_F(GameLoop, OnlyEnterOrSpaceLeavesTheExitPrompt) {
    state.turn = GameOverTurn;
    memory::reset();
    pushScript("Bo E");
    memory::pushKeys({'a', KeyEscape, KeyExtended, KeyDown});
    EXPECT_EQ(playGame(state, ModeSingle, r, error), GameEnd::InputEnded);
    memory::reset();
    state.turn = GameOverTurn;
    pushScript("Cy ES");
    EXPECT_EQ(playGame(state, ModeSingle, r, error), GameEnd::Finished);
}
