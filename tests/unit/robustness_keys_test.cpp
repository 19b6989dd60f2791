// Randomized runs of long key streams: through the turn controller one key at a time, and through
// the whole program from the title menu to the end of a game. Every stream comes from a seed that
// a failure prints, so a failing run can be repeated exactly.
#include "app/program.h"
#include "app/title_menu.h"
#include "dice/dice.h"
#include "play/game_screen.h"
#include "play/game_state.h"
#include "play/turn.h"
#include "rules/rules.h"
#include "support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Keys = std::vector<int>;

// Keys that no screen acts on and that the name prompt does not take for text: function keys
// (0 and a code that is neither Enter nor Space), two-code keys that are no arrow, Escape, and
// control codes other than Backspace, Enter and Delete.
Keys noiseToken(std::mt19937& random) {
    static constexpr int FunctionCodes[] = {59, 60, 61, 68, 71, 72, 75, 77, 80, 133};
    static constexpr int ExtendedCodes[] = {71, 73, 79, 81, 82, 83, 133, 134, 0, 224};
    static constexpr int ControlCodes[] = {1, 2, 3, 4, 7, 9, 11, 12, 26, 28, 31};
    switch (random() % 4) {
    case 0:
        return {KeyFunction, FunctionCodes[random() % std::size(FunctionCodes)]};
    case 1:
        return {KeyExtended, ExtendedCodes[random() % std::size(ExtendedCodes)]};
    case 2:
        return {KeyEscape};
    default:
        return {ControlCodes[random() % std::size(ControlCodes)]};
    }
}

// One token of a stream a player might type: arrows most, then Enter and Space, letters and
// Hangul for the name prompt, and now and then noise or a burst of one key held down.
Keys playerToken(std::mt19937& random) {
    static constexpr int Arrows[] = {KeyUp, KeyDown, KeyLeft, KeyRight};
    const unsigned pick = random() % 100;
    if (pick < 45) {
        return {KeyExtended, Arrows[random() % 4]};
    }
    if (pick < 65) {
        return {KeyEnter};
    }
    if (pick < 72) {
        return {KeySpace};
    }
    if (pick < 82) {
        return {static_cast<int>('a' + random() % 26)};
    }
    if (pick < 85) {
        return {KeyText + static_cast<int>(0xAC00 + random() % 11172)};
    }
    if (pick < 95) {
        return noiseToken(random);
    }
    Keys burst;
    const Keys one = pick < 98 ? Keys{KeyExtended, Arrows[random() % 4]} : Keys{KeyEnter};
    for (unsigned n = 2 + random() % 20; n > 0; --n) {
        burst.insert(burst.end(), one.begin(), one.end());
    }
    return burst;
}

std::string describe(unsigned seed, const char* what) {
    std::ostringstream text;
    text << what << " (seed " << seed << ")";
    return text.str();
}

// ---- the turn controller, one key per frame ---------------------------------------------------

// Applies the queued keys as the game loop does, one key per frame with a frame drawn before
// each; stops once the game is over.
GameState playQueued(unsigned seed, Mode mode) {
    seedDice(seed);
    GameState state;
    while (memory::keysLeft() > 0 && state.turn < GameOverTurn) {
        const Evaluation evaluation = evaluateCategories(state.eyes);
        drawGameFrame(state, mode, evaluation.scores, computeTotals(state.playersScore));
        handleKey(state, mode, evaluation.scores);
    }
    return state;
}

bool sameState(const GameState& a, const GameState& b) {
    return a.eyes == b.eyes && a.fix == b.fix && a.playersScore == b.playersScore &&
           a.selected == b.selected && a.focus == b.focus && a.diceCursor == b.diceCursor &&
           a.scoreCursor == b.scoreCursor && a.remainRoll == b.remainRoll && a.turn == b.turn &&
           a.player == b.player;
}

constexpr unsigned SeedCount = 20;
constexpr int TokensPerStream = 6000;

class RandomKeys : public ::testing::TestWithParam<Mode> {
  protected:
    void SetUp() override {
        useFreshDataFolder();
        memory::reset();
    }
};

// Keys that mean nothing, put anywhere between the keys of a stream, change nothing: the game
// ends in exactly the same state, with the same dice rolled, and it does end.
TEST_P(RandomKeys, NoiseBetweenKeysChangesNothing) {
    const Mode mode = GetParam();
    for (unsigned seed = 1; seed <= SeedCount; ++seed) {
        std::mt19937 random(seed);
        std::vector<Keys> tokens;
        for (int t = 0; t < TokensPerStream; ++t) {
            Keys token = playerToken(random);
            tokens.push_back(token);
        }
        memory::reset();
        for (const Keys& token : tokens) {
            for (int key : token) {
                memory::pushKey(key);
            }
        }
        const GameState clean = playQueued(seed, mode);
        const std::vector<int> cleanDelays = memory::delays();

        memory::reset();
        std::mt19937 noise(seed * 7919u);
        for (const Keys& token : tokens) {
            for (unsigned n = noise() % 3; n > 0; --n) {
                for (int key : noiseToken(noise)) {
                    memory::pushKey(key);
                }
            }
            for (int key : token) {
                memory::pushKey(key);
            }
        }
        const GameState noisy = playQueued(seed, mode);
        EXPECT_EQ(clean.turn, GameOverTurn) << describe(seed, "the stream did not finish the game");
        EXPECT_TRUE(sameState(clean, noisy)) << describe(seed, "noise changed the game");
        EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight)) << describe(seed, "drawing");
        EXPECT_EQ(memory::delays().size(), cleanDelays.size()) << describe(seed, "roll frames");
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, RandomKeys, ::testing::Values(ModeSingle, ModeMulti),
                         [](const ::testing::TestParamInfo<Mode>& param) {
                             return param.param == ModeMulti ? std::string("Multi")
                                                             : std::string("Single");
                         });

// ---- the whole program, from the title menu -----------------------------------------------

// The real entries of a ranking file that the program wrote: "place<TAB>name<TAB>score" lines.
struct FileEntry {
    int place;
    std::string name;
    int score;
};

bool parseRankingFile(const std::string& text, std::vector<FileEntry>& entries) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos || tab2 == tab1 + 1) {
            return false;
        }
        entries.push_back({std::atoi(line.substr(0, tab1).c_str()),
                           line.substr(tab1 + 1, tab2 - tab1 - 1),
                           std::atoi(line.substr(tab2 + 1).c_str())});
    }
    return true;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class RandomRuns : public ::testing::Test {
  protected:
    void SetUp() override { memory::reset(); }
};

// Whole runs on random streams: nothing is drawn outside the screen; a run stops early only
// because its input ended; a single-player game that reached its end is in the ranking, and
// nothing else ever is. Both kinds of game must be played to their end by some of the streams.
TEST_F(RandomRuns, FromTheTitleMenuToTheEndOfAGame) {
    constexpr unsigned Runs = 60;
    int singleEnds = 0;
    int multiEnds = 0;
    for (unsigned seed = 1; seed <= Runs; ++seed) {
        useFreshDataFolder();
        memory::reset();
        std::mt19937 random(seed + 1000);
        for (int t = 0; t < TokensPerStream; ++t) {
            for (int key : playerToken(random)) {
                memory::pushKey(key);
            }
        }
        const int status = runProgram(Options{}, seed + 1000); // the dice seed is the key seed
        const std::string trace = describe(seed + 1000, "run");
        EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight)) << trace;
        if (status == ExitFailed) {
            EXPECT_EQ(memory::keysLeft(), 0u) << trace << ": stopped with keys left";
        } else {
            EXPECT_EQ(status, ExitFinished) << trace;
        }
        const std::string exitLine = memory::cells(23, 27, 19);
        const std::string resultLine = memory::cells(50, 27, 7);
        const bool singleEnded = exitLine == "PRESS ENTER TO EXIT";
        const bool multiEnded =
            resultLine == "1P WIN!" || resultLine == "2P WIN!" || resultLine == "DRAW...";
        singleEnds += singleEnded && status == ExitFinished;
        multiEnds += multiEnded && status == ExitFinished;
        if (status == ExitFinished) {
            EXPECT_TRUE(singleEnded || multiEnded) << trace << "\n" << memory::screen();
        }

        std::vector<FileEntry> entries;
        const std::string file = readFile(rankingFilePath());
        ASSERT_TRUE(parseRankingFile(file, entries)) << trace << ": " << file;
        if (singleEnded) {
            ASSERT_EQ(entries.size(), 1u) << trace << ": " << file;
            EXPECT_EQ(entries[0].place, 1) << trace;
            // The stored score is the final total shown on the sheet.
            EXPECT_EQ(entries[0].score, std::atoi(memory::cells(83, 25, 3).c_str())) << trace;
            // The stored name is the one shown at the prompt.
            EXPECT_TRUE(memory::row(25).find("이름 입력: " + entries[0].name) != std::string::npos)
                << trace << ": " << memory::row(25);
        } else {
            EXPECT_EQ(file, "") << trace << ": an unfinished or two-player game was saved";
        }
        EXPECT_FALSE(endsWith(file, "\t\t0\n")) << trace;
    }
    EXPECT_GT(singleEnds, 0) << "no stream finished a single-player game";
    EXPECT_GT(multiEnds, 0) << "no stream finished a two-player game";
}

// A seed replays its run exactly: the keys come from it, and so do the dice. Another dice seed
// with the same keys plays another game.
TEST_F(RandomRuns, ASeedReplaysTheSameRun) {
    constexpr unsigned int DiceSeeds[] = {7, 7, 8};
    std::string screens[3];
    std::string files[3];
    for (int replay = 0; replay < 3; ++replay) {
        useFreshDataFolder();
        memory::reset();
        std::mt19937 random(7);
        for (int t = 0; t < TokensPerStream; ++t) {
            for (int key : playerToken(random)) {
                memory::pushKey(key);
            }
        }
        runProgram(Options{}, DiceSeeds[replay]);
        screens[replay] = memory::screen();
        files[replay] = readFile(rankingFilePath());
    }
    EXPECT_EQ(screens[0], screens[1]);
    EXPECT_EQ(files[0], files[1]);
    EXPECT_NE(screens[0], screens[2]);
}

} // namespace
