#include "app/program.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        useFreshDataFolder();
        memory::reset();
    }
};

TEST_F(Program, SetsUpTheConsoleAndEndsWhenTheInputEnds) {
    EXPECT_EQ(runProgram(Options{}, TestDiceSeed), ExitFailed);
    EXPECT_EQ(memory::title(), "Jorvo Dice");
    EXPECT_TRUE(memory::cursorHidden());
    EXPECT_EQ(memory::row(18), std::string(40, ' ') + "  -> SINGLE      MULTI      RANKING");
}

TEST_F(Program, RankingThenASinglePlayerGameThenTheRankingOfTheNextRun) {
    writeFile(rankingFilePath(), "1\tAnn\t999\n");
    pushScript("RRE"); // RANKING
    pushScript("xE");  // back to the menu, whose choice starts at SINGLE again
    pushScript("E");   // SINGLE
    pushTwelveRecords();
    pushScript("ZedEE");
    EXPECT_EQ(runProgram(Options{}, TestDiceSeed), ExitFinished);
    EXPECT_EQ(memory::keysLeft(), 0u);
    const std::string file = readFile(rankingFilePath());
    EXPECT_EQ(file.rfind("1\tAnn\t999\n2\tZed\t", 0), 0u) << file;

    memory::reset();
    pushScript("RRE");
    EXPECT_EQ(runProgram(Options{}, TestDiceSeed), ExitFailed);
    EXPECT_EQ(memory::cells(48, 3, 20), " 1         Ann   999");
    EXPECT_EQ(memory::cells(48, 5, 14), " 2         Zed");
}

TEST_F(Program, ARankingThatCannotBeOpenedEndsTheRunBeforeTheMenu) {
    std::filesystem::create_directories(rankingFilePath());
    pushScript("E");
    EXPECT_EQ(runProgram(Options{}, TestDiceSeed), ExitFailed);
    EXPECT_EQ(memory::row(18), "");
    EXPECT_EQ(memory::keysLeft(), 1u);
}
