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
    EXPECT_EQ(coachLine(), padded("Best: keep 5 5 5 5, roll  avg total 15.3  yours: -15.3", 56));
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
    EXPECT_EQ(coachLine(), padded("Best: record Jorvo  avg total 52.1  yours: -49.8", 56));

    state.scoreCursor = Deuces; // recorded already: no value to show there
    drawCoach(state, analysePosition(table(), positionOf(state, 0)), true);
    EXPECT_EQ(coachLine(), padded("Best: record Jorvo  avg total 52.1  yours: taken", 56));

    drawCoach(state, analysePosition(table(), positionOf(state, 0)), false);
    EXPECT_EQ(memory::cells(100, categoryRow(Jorvo), 2), "  ");
    EXPECT_EQ(coachLine(), std::string(56, ' '));
}

// On the roll button or the dice the cursor's choice is to roll with the dice held now: "best"
// when they are the best keep, else what rolling with them costs.
TEST(Coach, SaysWhatRollingWithTheDiceHeldCostsOrThatItIsBest) {
    GameState state = withOpen(0, {Jorvo});
    state.eyes = Dice{5, 5, 2, 5, 5};
    state.remainRoll = 2;
    state.focus = FocusRoll;
    state.fix = Dice{1, 1, 0, 1, 1};
    memory::reset();
    const Analysis advice = analysePosition(table(), positionOf(state, 0));
    drawCoach(state, advice, true);
    EXPECT_EQ(coachLine(), padded("Best: keep 5 5 5 5, roll  avg total 15.3  yours: best", 56));

    // Nothing held: all five rolled, twice, for Jorvo.
    state.focus = FocusDice;
    state.fix = Dice{};
    drawCoach(state, advice, true);
    const int all = heldAction(advice, state.eyes, state.fix);
    ASSERT_GE(all, 0);
    char cost[16];
    std::snprintf(cost, sizeof cost, "-%.1f",
                  advice.actions[advice.best].value - advice.actions[all].value);
    EXPECT_EQ(coachLine(),
              padded(std::string("Best: keep 5 5 5 5, roll  avg total 15.3  yours: ") + cost, 56));
    EXPECT_NE(std::string(cost), "-0.0");
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

// The computer decides once for each roll and carries its decision out over the frames after:
// at the best level the best action, below it one of the actions, the same until the dice or the
// rolls left change.
TEST(Computer, ChoosesOnceARollAndKeepsToItsChoice) {
    GameState state = withOpen(1, {Aces, Threes, Sixes, Choice, FullHouse, Jorvo});
    state.player = 1;
    state.turn = 7;
    state.eyes = Dice{6, 6, 3, 2, 1};
    state.remainRoll = 2;
    const Analysis advice = analysePosition(table(), positionOf(state, 1));
    ASSERT_TRUE(advice.valid);
    DiceRandom choices = seededRandom(3, ChoiceStream);
    ComputerPlan best;
    computerPress(state, advice, PerfectLevel, choices, best);
    EXPECT_EQ(best.turn, 7);
    EXPECT_EQ(best.remainRoll, 2);
    EXPECT_EQ(best.action.value, advice.actions[advice.best].value);

    int other = 0;
    for (int game = 0; game < 50; ++game) {
        ComputerPlan plan;
        computerPress(state, advice, LowestLevel, choices, plan);
        const ComputerPlan first = plan;
        GameState later = state; // a key later, in the same position
        later.focus = FocusDice;
        const KeyPress next = computerPress(later, advice, LowestLevel, choices, plan);
        EXPECT_EQ(plan.action.value, first.action.value);
        EXPECT_EQ(plan.action.hold, first.action.hold);
        const KeyPress towards = computerKeyTowards(later, first.action);
        EXPECT_EQ(next.key, towards.key);
        EXPECT_EQ(next.arrow, towards.arrow);
        other += plan.action.value != advice.actions[advice.best].value;
    }
    EXPECT_GT(other, 0) << "the lowest level never erred in fifty choices";
    EXPECT_LT(other, 50);
}

// Only the best level plays its last turn to win; a lower one plays it for points.
TEST(Computer, BelowTheBestLevelPlaysItsLastTurnForPoints) {
    GameState state = withOpen(1, {Choice});
    state.selected[0].fill(1);
    state.playersScore[0][Choice] = 20;
    state.turn = TurnCount;
    state.player = 1;
    state.eyes = Dice{1, 1, 2, 2, 3};
    state.remainRoll = 2;
    const Totals totals = computeTotals(state.playersScore);
    for (int level = LowestLevel; level <= PerfectLevel; ++level) {
        const Assist assist{&table(), false, true, level, 1};
        const Analysis a = adviseTurn(assist, state, ModeMulti, totals);
        ASSERT_TRUE(a.valid);
        if (level == PerfectLevel) {
            EXPECT_LE(a.actions[0].value, 1.0) << "a chance to win";
        } else {
            EXPECT_GT(a.actions[0].value, 1.0) << level;
        }
    }
}

// A whole game against the lowest level, which shows its level beside the mode line in every
// frame, plays to its end; with the same seed and keys the best level plays a game of its own.
// A plain two-player game leaves those cells blank.
TEST(Computer, PlaysAWholeGameAtTheLowestLevelAndShowsIt) {
    const auto play = [](const Options& options, bool multi) {
        useFreshDataFolder();
        memory::reset();
        memory::keepScreensAtDelays();
        pushScript(multi ? "RE" : "E");
        for (int c = 0; c < CategoryCount; ++c) {
            for (int player = 0; player < (multi && !options.computer ? 2 : 1); ++player) {
                pushScript("ER");
                for (int i = 0; i < c; ++i) {
                    pushScript("D");
                }
                pushScript("E");
            }
            memory::pushPause();
        }
        memory::pushKey('q');
        EXPECT_EQ(runProgram(options, 17), ExitFinished);
        EXPECT_EQ(memory::keysLeft(), 0u);
        EXPECT_EQ(memory::cells(65, 3, 10), "turn 13/12");
        std::string computerSheet;
        for (int c = 0; c < CategoryCount; ++c) {
            computerSheet += memory::cells(95, categoryRow(c), 4);
        }
        return computerSheet;
    };
    Options lowest;
    lowest.computer = true;
    lowest.level = LowestLevel;
    lowest.haveLevel = true;
    const std::string lowSheet = play(lowest, true);
    EXPECT_EQ(memory::cells(40, 8, 21), "2P: computer, level 1");
    const std::string result = memory::cells(50, 27, 7);
    EXPECT_TRUE(result == "1P WIN!" || result == "2P WIN!" || result == "DRAW...") << result;
    int shown = 0;
    for (const std::string& screen : memory::screensAtDelays()) {
        const auto rows = cellsOf(screen);
        std::string label;
        for (int x = 40; x < 61; ++x) {
            label += rows[8][static_cast<std::size_t>(x)];
        }
        shown += label == "2P: computer, level 1";
    }
    EXPECT_GT(shown, CategoryCount);
    EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight));

    Options best;
    best.computer = true;
    EXPECT_NE(play(best, true), lowSheet) << "the lowest level played as the best";
    EXPECT_EQ(memory::cells(40, 8, 21), "2P: computer, level 5");

    play(Options{}, true);
    for (const std::string& screen : memory::screensAtDelays()) {
        const auto rows = cellsOf(screen);
        for (int x = 37; x < 65; ++x) {
            EXPECT_EQ(rows[8][static_cast<std::size_t>(x)], " ") << "the plain game drew at " << x;
        }
    }
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
        for (int p = 0; p < players; ++p) {
            char closest[96];
            std::snprintf(closest, sizeof closest,
                          "  closest level of play       level %d of 5 (its decisions lose %.2f a "
                          "game)\n",
                          levelClosestTo(review[p].lost),
                          levelPointsLost(levelClosestTo(review[p].lost)));
            EXPECT_NE(text.find(closest), std::string::npos) << text;
        }
    }
}
