// The engine in a game: the coach's cells, the computer's keys, and the review's figures.
#include "app/program.h"
#include "play/advice.h"
#include "play/coach.h"
#include "play/computer.h"
#include "play/game_loop.h"
#include "play/game_screen.h"
#include "play/review.h"
#include "support.h"
#include "text/text.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const StrategyTable& table() {
    static const StrategyTable built = [] {
        StrategyTable t;
        buildStrategyTable(t, 2);
        return t;
    }();
    return built;
}

// A game at its last turns: every category of player p recorded at 0 but `open`.
GameState withOpen(int player, std::initializer_list<int> open) {
    GameState state;
    state.selected[player].fill(1);
    for (int c : open) {
        state.selected[player][c] = 0;
    }
    return state;
}

// The cells the coach draws in: row 10 over the dice, column 100 beside the categories, and the
// line at (8, 24).
bool isCoachCell(int x, int y) {
    if (y == 10 && x >= 8 && x < 58) {
        return true;
    }
    if (y == 24 && x >= 8 && x < 64) {
        return true;
    }
    if (x == 100 || x == 101) {
        for (int c = 0; c < CategoryCount; ++c) {
            if (y == categoryRow(c)) {
                return true;
            }
        }
    }
    return false;
}

// A screen of the in-memory console as rows of cells, a wide character's right half empty.
std::vector<std::vector<std::string>> cellsOf(const std::string& screen) {
    std::vector<std::vector<std::string>> rows(1);
    const char* s = screen.data();
    std::size_t size = screen.size();
    while (size > 0) {
        char32_t c = 0;
        const int used = decodeUtf8(s, size, &c);
        if (c == '\n') {
            rows.emplace_back();
        } else {
            rows.back().emplace_back(s, static_cast<std::size_t>(used));
            if (displayWidth(c) == 2) {
                rows.back().emplace_back();
            }
        }
        s += used;
        size -= static_cast<std::size_t>(used);
    }
    return rows;
}

std::string coachLine() {
    return memory::cells(8, 24, 56);
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - text.size(), ' ');
}

} // namespace

// ---- the coach's cells ---------------------------------------------------------------------

TEST(Coach, KeepsOverTheDiceTheBestKeepHoldsWithItsExpectedTotal) {
    // Only Jorvo open, four fives: keeping them, one die has two rolls to show a five, which is
    // worth 50 * (1 - (5/6)^2) = 15.28; recording now is worth 0.
    GameState state = withOpen(0, {Jorvo});
    state.eyes = Dice{5, 5, 2, 5, 5};
    state.remainRoll = 2;
    state.focus = FocusSheet;
    state.scoreCursor = Jorvo;
    memory::reset();
    drawCoach(state, analysePosition(table(), positionOf(state, 0)), true);
    const std::string keep = "   keep   ";
    const std::string none(10, ' ');
    EXPECT_EQ(memory::cells(8, 10, 50), keep + keep + none + keep + keep);
    EXPECT_EQ(coachLine(), padded("Best: keep 5 5 5 5, roll  15.3   Cursor: 0.0", 56));
    for (int c = 0; c < CategoryCount; ++c) {
        EXPECT_EQ(memory::cells(100, categoryRow(c), 2), "  ") << c;
    }
    EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight));
}

TEST(Coach, MarksTheBestCategoryWhenRecordingIsBest) {
    // Aces and Jorvo open, five threes: Jorvo now is worth 50 and then the last turn's Aces,
    // 455/216 = 2.11 on average; the cursor's Aces now leaves the last turn's Jorvo, 2.30.
    GameState state = withOpen(0, {Aces, Jorvo});
    state.eyes = Dice{3, 3, 3, 3, 3};
    state.remainRoll = 1;
    state.focus = FocusSheet;
    state.scoreCursor = Aces;
    memory::reset();
    drawCoach(state, analysePosition(table(), positionOf(state, 0)), true);
    EXPECT_EQ(memory::cells(8, 10, 50), std::string(50, ' '));
    EXPECT_EQ(memory::cells(100, categoryRow(Jorvo), 2), "<-");
    EXPECT_EQ(memory::cells(100, categoryRow(Aces), 2), "  ");
    EXPECT_EQ(coachLine(), padded("Best: record Jorvo  52.1   Cursor: 2.3", 56));

    state.scoreCursor = Deuces; // recorded already: no value to show there
    drawCoach(state, analysePosition(table(), positionOf(state, 0)), true);
    EXPECT_EQ(coachLine(), padded("Best: record Jorvo  52.1   Cursor: taken", 56));

    drawCoach(state, analysePosition(table(), positionOf(state, 0)), false);
    EXPECT_EQ(memory::cells(100, categoryRow(Jorvo), 2), "  ");
    EXPECT_EQ(coachLine(), std::string(56, ' '));
}

// A coached game shows the same screens as the plain game but for the coach's own cells, and the
// plain game draws nothing there.
TEST(Coach, LeavesEveryOtherCellOfThePlainGameAsItIs) {
    std::vector<std::string> screens[2];
    for (int coached = 0; coached < 2; ++coached) {
        useFreshDataFolder();
        memory::reset();
        memory::keepScreensAtDelays();
        pushScript("E");
        for (int c = 0; c < CategoryCount; ++c) {
            pushScript(c % 3 == 0 ? "EUSRSDE" : "EE"); // hold the second die for another roll
            pushScript("R");
            for (int i = 0; i < c; ++i) {
                pushScript("D");
            }
            pushScript("E");
        }
        pushScript("ZedEE");
        Options options;
        options.coach = coached == 1;
        EXPECT_EQ(runProgram(options, 99), ExitFinished);
        screens[coached] = memory::screensAtDelays();
        screens[coached].push_back(memory::screen());
    }
    ASSERT_EQ(screens[0].size(), screens[1].size());
    int coachShown = 0;
    for (std::size_t n = 0; n < screens[0].size(); ++n) {
        const auto plain = cellsOf(screens[0][n]);
        const auto coached = cellsOf(screens[1][n]);
        ASSERT_EQ(plain.size(), coached.size());
        for (int y = 0; y < memory::Height; ++y) {
            std::string plainRow;
            std::string coachedRow;
            for (int x = 0; x < memory::Width; ++x) {
                if (!isCoachCell(x, y)) {
                    plainRow += plain[y][x];
                    coachedRow += coached[y][x];
                    continue;
                }
                EXPECT_EQ(plain[y][x], " ") << "the plain game drew at (" << x << ", " << y << ")";
                coachShown += coached[y][x] != " ";
            }
            EXPECT_EQ(plainRow, coachedRow) << "screen " << n << " row " << y;
        }
    }
    EXPECT_GT(coachShown, 0) << "the coach never showed";
    // The last screen is the end of the game, where the coach shows nothing.
    EXPECT_EQ(screens[1].back(), screens[0].back());
}

// ---- the computer ---------------------------------------------------------------------------

TEST(Computer, PressesTheKeysAPersonWouldTowardsTheBestAction) {
    const auto record = [](int c) {
        Analysis a{};
        a.valid = true;
        a.actionCount = 1;
        a.actions[0] = Action{ActionRecord, c, FaceCounts{}, 0};
        return a;
    };
    const auto keep = [](FaceCounts hold) {
        Analysis a{};
        a.valid = true;
        a.actionCount = 1;
        a.actions[0] = Action{ActionRoll, -1, hold, 0};
        return a;
    };
    const FaceCounts twoSixes{0, 0, 0, 0, 0, 2};
    struct Case {
        const char* what;
        Focus focus;
        int diceCursor;
        int scoreCursor;
        Dice fix;
        Analysis advice;
        KeyPress key;
    } cases[] = {
        {"to the sheet", FocusRoll, 0, -1, {}, record(3), {KeyExtended, KeyRight}},
        {"from the dice to the sheet", FocusDice, 2, -1, {}, record(3), {KeyExtended, KeyDown}},
        {"down the sheet", FocusSheet, 0, 0, {}, record(3), {KeyExtended, KeyDown}},
        {"up the sheet", FocusSheet, 0, 5, {}, record(3), {KeyExtended, KeyUp}},
        {"record", FocusSheet, 0, 3, {}, record(3), {KeyEnter, 0}},
        {"to the dice", FocusRoll, 0, -1, {}, keep(twoSixes), {KeyExtended, KeyUp}},
        {"from the sheet to hold", FocusSheet, 0, 2, {}, keep(twoSixes), {KeyExtended, KeyLeft}},
        {"hold the die under the cursor", FocusDice, 0, -1, {}, keep(twoSixes), {KeyEnter, 0}},
        {"to the next die to hold",
         FocusDice,
         1,
         -1,
         {1, 0, 0, 0, 0},
         keep(twoSixes),
         {KeyExtended, KeyRight}},
        {"back to release a die",
         FocusDice,
         4,
         -1,
         {1, 0, 1, 1, 0},
         keep(twoSixes),
         {KeyExtended, KeyLeft}},
        {"held as planned: back to roll",
         FocusDice,
         3,
         -1,
         {1, 0, 1, 0, 0},
         keep(twoSixes),
         {KeyExtended, KeyDown}},
        {"roll", FocusRoll, 0, -1, {1, 0, 1, 0, 0}, keep(twoSixes), {KeyEnter, 0}},
        {"other sixes held are as good",
         FocusRoll,
         0,
         -1,
         {0, 0, 1, 0, 1},
         keep(twoSixes),
         {KeyEnter, 0}},
    };
    for (const Case& c : cases) {
        GameState state;
        state.eyes = Dice{6, 2, 6, 3, 6};
        state.remainRoll = 2;
        state.focus = c.focus;
        state.diceCursor = c.diceCursor;
        state.scoreCursor = c.scoreCursor;
        state.fix = c.fix;
        const KeyPress key = computerKey(state, c.advice);
        EXPECT_EQ(key.key, c.key.key) << c.what;
        EXPECT_EQ(key.arrow, c.key.arrow) << c.what;
    }
    GameState first;
    EXPECT_EQ(computerKey(first, record(0)).key, KeyEnter) << "a turn starts with a roll";
}

TEST(Computer, PlaysItsLastTurnToWinAndEveryOtherForPoints) {
    const Assist assist{&table(), false, true};
    GameState state = withOpen(1, {Choice});
    state.selected[0].fill(1);
    state.playersScore[0][Choice] = 20;
    state.turn = TurnCount;
    state.player = 1;
    state.eyes = Dice{1, 1, 2, 2, 3};
    state.remainRoll = 2;
    const Totals totals = computeTotals(state.playersScore);
    const Analysis toWin = adviseTurn(assist, state, ModeMulti, totals);
    const Analysis expected = analyseLastTurnToWin(positionOf(state, 1), 20);
    ASSERT_TRUE(toWin.valid);
    ASSERT_EQ(toWin.actionCount, expected.actionCount);
    for (int i = 0; i < toWin.actionCount; ++i) {
        EXPECT_DOUBLE_EQ(toWin.actions[i].value, expected.actions[i].value);
        EXPECT_LE(toWin.actions[i].value, 1.0);
    }
    // The same position for a person, or before the last turn, is played for points.
    state.turn = TurnCount - 1;
    EXPECT_GT(adviseTurn(assist, state, ModeMulti, totals).actions[0].value, 1.0);
    state.turn = TurnCount;
    EXPECT_GT(adviseTurn(Assist{&table(), true, false}, state, ModeMulti, totals).actions[0].value,
              1.0);
}

// A whole game against the computer: the person plays 1P, the computer 2P; what the person types
// during the computer's turns is thrown away.
TEST(Computer, PlaysAWholeGameAndThrowsAwayWhatIsTypedMeanwhile) {
    useFreshDataFolder();
    memory::reset();
    pushScript("RE"); // MULTI
    constexpr int Typed = 4;
    for (int c = 0; c < CategoryCount; ++c) {
        pushScript("ER");
        for (int i = 0; i < c; ++i) {
            pushScript("D");
        }
        pushScript("E");
        pushScript("xRE"); // typed on while the computer plays: Typed codes
        memory::pushPause();
    }
    memory::pushKey('q');
    Options options;
    options.computer = true;
    EXPECT_EQ(runProgram(options, 5), ExitFinished);
    EXPECT_EQ(memory::keysLeft(), 0u);
    EXPECT_EQ(memory::keysThrownAway(), CategoryCount * Typed);
    const std::string result = memory::cells(50, 27, 7);
    EXPECT_TRUE(result == "1P WIN!" || result == "2P WIN!" || result == "DRAW...") << result;
    EXPECT_EQ(memory::cells(65, 3, 10), "turn 13/12");
    for (int c = 0; c < CategoryCount; ++c) {
        const std::string computerCell = memory::cells(95, categoryRow(c), 4);
        EXPECT_TRUE(computerCell.front() == '[' && computerCell.back() == ']') << computerCell;
    }
    int pauses = 0;
    for (int milliseconds : memory::delays()) {
        pauses += milliseconds == 250;
    }
    EXPECT_GE(pauses, CategoryCount * 3) << "a roll, the way to a category and Enter, each turn";
    EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight));
}

// Keys typed while the computer waits before any of its keys, its last one of each turn included,
// are thrown away: none reaches 1P's turn after it, nor ends the result once its last key has
// ended the game.
TEST(Computer, ThrowsAwayWhatIsTypedWhileItWaitsBeforeEachKeyItsLastIncluded) {
    useFreshDataFolder();
    memory::reset();
    int typed = 0;
    memory::onEachDelay([&typed](int milliseconds) {
        if (milliseconds == 250) { // the computer's wait before each of its keys
            memory::typeKeys({KeyEnter});
            ++typed;
        }
    });
    pushScript("RE"); // MULTI
    for (int c = 0; c < CategoryCount; ++c) {
        pushScript("ER");
        for (int i = 0; i < c; ++i) {
            pushScript("D");
        }
        pushScript("E");
        memory::pushPause(); // typed once the computer has played
    }
    memory::pushKey('q');
    Options options;
    options.computer = true;
    EXPECT_EQ(runProgram(options, 5), ExitFinished);
    memory::onEachDelay({});
    EXPECT_EQ(memory::keysLeft(), 0u) << "a key typed during the computer's turn ended the result";
    EXPECT_GE(typed, CategoryCount * 3);
    EXPECT_EQ(memory::keysThrownAway(), typed);
    EXPECT_EQ(memory::cells(65, 3, 10), "turn 13/12");
}

// ---- the review -----------------------------------------------------------------------------

TEST(Review, FiguresAddUpToTheFinalTotal) {
    for (const Mode mode : {ModeSingle, ModeMulti}) {
        useFreshDataFolder();
        memory::reset();
        seedDice(mode == ModeSingle ? 11 : 12);
        int rollsChosen = 0;
        const int players = mode == ModeMulti ? 2 : 1;
        for (int c = 0; c < CategoryCount; ++c) {
            for (int p = 0; p < players; ++p) {
                // A roll, then on some turns the first die held and a second roll.
                if ((c + p) % 2 == 0) {
                    pushScript("EUSDE");
                    ++rollsChosen;
                } else {
                    pushScript("E");
                }
                pushScript("R");
                for (int i = 0; i < c; ++i) {
                    pushScript("D");
                }
                pushScript("E");
            }
        }
        pushScript(mode == ModeSingle ? "ZedEE" : "q");
        GameState state;
        RankTable r{};
        StorageError error{};
        GameReview review{};
        for (int p = 0; p < players; ++p) {
            beginReview(review[p], table());
        }
        ASSERT_EQ(playGame(state, mode, r, error, Assist{&table(), true, false}, &review),
                  GameEnd::Finished);
        const Totals totals = computeTotals(state.playersScore);
        for (int p = 0; p < players; ++p) {
            const PlayerReview& pr = review[p];
            EXPECT_NEAR(pr.expected, 191.7744, 5e-5);
            EXPECT_NEAR(pr.expected - pr.lost + pr.luck, totals.total[p], 1e-3) << p;
            EXPECT_GE(pr.lost, 0.0);
            EXPECT_LE(pr.costliestCount, CostliestShown);
            for (int i = 0; i < pr.costliestCount; ++i) {
                const Decision& d = pr.costliest[i];
                EXPECT_NEAR(d.cost, d.best.value - d.done.value, 1e-9);
                EXPECT_GT(d.cost, 0.0);
                if (i > 0) {
                    EXPECT_LE(d.cost, pr.costliest[i - 1].cost);
                }
            }
        }
        EXPECT_EQ(review[0].decisions + review[1].decisions, CategoryCount * players + rollsChosen);

        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        printReview(out, review, state.playersScore);
        std::rewind(out);
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fclose(out);
        for (int p = 0; p < players; ++p) {
            char heading[64];
            std::snprintf(heading, sizeof heading,
                          "Review of %dP's game\n  final total                 %3d\n", p + 1,
                          totals.total[p]);
            EXPECT_NE(text.find(heading), std::string::npos) << text;
        }
        EXPECT_NE(text.find("optimal play expects         191.77\n"), std::string::npos) << text;
    }
}
