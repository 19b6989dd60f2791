#include "dice/dice.h"
#include "play/turn.h"
#include "rules/rules.h"
#include "support.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

namespace {

// Applies every queued key, one handleKey call each, as the game loop does.
void applyAll(GameState& state, Mode mode) {
    while (memory::keysLeft() > 0) {
        handleKey(state, mode, evaluateCategories(state.eyes).scores);
    }
}

GameState after(const char* script, Mode mode = ModeSingle, GameState state = GameState{}) {
    memory::reset();
    pushScript(script);
    applyAll(state, mode);
    return state;
}

struct Fields {
    int focus;
    int diceCursor;
    int scoreCursor;
    int remainRoll;
    int turn;
    int player;
};

Fields fieldsOf(const GameState& s) {
    return {s.focus, s.diceCursor, s.scoreCursor, s.remainRoll, s.turn, s.player};
}

bool operator==(const Fields& a, const Fields& b) {
    return a.focus == b.focus && a.diceCursor == b.diceCursor && a.scoreCursor == b.scoreCursor &&
           a.remainRoll == b.remainRoll && a.turn == b.turn && a.player == b.player;
}

std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << "focus " << f.focus << " dice " << f.diceCursor << " sheet " << f.scoreCursor
               << " rolls " << f.remainRoll << " turn " << f.turn << " player " << f.player;
}

struct TurnCase {
    const char* keys; // U D L R arrows, E Enter, S Space
    Mode mode;
    Fields expected;
};

} // namespace

TEST(HandleKey, MovesFocusAndCursorsAsTheTableSays) {
    const TurnCase cases[] = {
        // Before the first roll only the roll button is reachable.
        {"R", ModeSingle, {FocusRoll, 0, -1, 3, 1, 0}},
        {"U", ModeSingle, {FocusRoll, 0, -1, 3, 1, 0}},
        {"LD", ModeSingle, {FocusRoll, 0, -1, 3, 1, 0}},
        {"E", ModeSingle, {FocusRoll, 0, -1, 2, 1, 0}},
        {"S", ModeSingle, {FocusRoll, 0, -1, 2, 1, 0}},
        {"ER", ModeSingle, {FocusSheet, 0, 0, 2, 1, 0}},
        {"EU", ModeSingle, {FocusDice, 0, -1, 2, 1, 0}},
        {"EDL", ModeSingle, {FocusRoll, 0, -1, 2, 1, 0}},
        // The dice cursor stops at both ends and is reset on leaving the row.
        {"EURRRRRR", ModeSingle, {FocusDice, 4, -1, 2, 1, 0}},
        {"EURRLLLL", ModeSingle, {FocusDice, 0, -1, 2, 1, 0}},
        {"EURRD", ModeSingle, {FocusRoll, 0, -1, 2, 1, 0}},
        {"EURRUUR", ModeSingle, {FocusDice, 3, -1, 2, 1, 0}},
        // The sheet cursor stops at Aces and Jorvo; Left returns while rolls are left.
        {"ERU", ModeSingle, {FocusSheet, 0, 0, 2, 1, 0}},
        {"ERDDDDDDDDDDDDDD", ModeSingle, {FocusSheet, 0, 11, 2, 1, 0}},
        {"ERDDDUR", ModeSingle, {FocusSheet, 0, 2, 2, 1, 0}},
        {"ERDL", ModeSingle, {FocusRoll, 0, -1, 2, 1, 0}},
        // The third roll jumps to Aces, and Left cannot leave the sheet then.
        {"EEE", ModeSingle, {FocusSheet, 0, 0, 0, 1, 0}},
        {"EEEL", ModeSingle, {FocusSheet, 0, 0, 0, 1, 0}},
        {"EEEDDL", ModeSingle, {FocusSheet, 0, 2, 0, 1, 0}},
        // Recording hands over the turn, or the player.
        {"ERE", ModeSingle, {FocusRoll, 0, -1, 3, 2, 0}},
        {"ERE", ModeMulti, {FocusRoll, 0, -1, 3, 1, 1}},
        {"ERcareEERE", ModeMulti, {FocusRoll, 0, -1, 3, 2, 0}},
        {"EEEE", ModeMulti, {FocusRoll, 0, -1, 3, 1, 1}},
    };
    for (const TurnCase& c : cases) {
        EXPECT_EQ(fieldsOf(after(c.keys, c.mode)), c.expected)
            << c.keys << (c.mode == ModeMulti ? " (two players)" : "");
    }
}

TEST(HandleKey, HoldsFlipAndAreClearedByARecord) {
    GameState state = after("EUSRRSRS");
    EXPECT_EQ(state.fix, (Dice{1, 0, 1, 1, 0}));
    state = after("S", ModeSingle, state);
    EXPECT_EQ(state.fix, (Dice{1, 0, 1, 0, 0}));
    state = after("DRE", ModeSingle, state);
    EXPECT_EQ(state.fix, Dice{});
    EXPECT_EQ(state.turn, 2);
}

TEST(HandleKey, ARollWithEveryDieHeldStillUsesUpARoll) {
    GameState state = after("EUSRSRSRSRS");
    const Dice eyes = state.eyes;
    state = after("DEE", ModeSingle, state);
    EXPECT_EQ(state.eyes, eyes);
    EXPECT_EQ(fieldsOf(state), (Fields{FocusSheet, 0, 0, 0, 1, 0}));
    EXPECT_EQ(memory::delays().size(), 10u);
}

TEST(HandleKey, EnterOnARecordedCategoryChangesNothing) {
    GameState state = after("ERE"); // record Aces
    state = after("EUS", ModeSingle, state);
    state = after("DR", ModeSingle, state);
    const GameState before = state;
    state = after("E", ModeSingle, state);
    EXPECT_EQ(fieldsOf(state), fieldsOf(before));
    EXPECT_EQ(state.fix, before.fix);
    EXPECT_EQ(state.playersScore, before.playersScore);
    EXPECT_EQ(state.selected, before.selected);
}

TEST(HandleKey, UnlistedKeysAndSecondCodesAreConsumedAndIgnored) {
    memory::reset();
    GameState state;
    // F1 (0, 59): both are plain keys and ignored; an unknown second code after 224 is consumed.
    memory::pushKeys({KeyFunction, 59, KeyExtended, 71, 'x', KeyEscape, KeyText + 0xE0, 9});
    applyAll(state, ModeSingle);
    EXPECT_EQ(fieldsOf(state), fieldsOf(GameState{}));
    // 0 followed by 13 is two plain keys: the 13 rolls.
    memory::pushKeys({KeyFunction, KeyEnter});
    applyAll(state, ModeSingle);
    EXPECT_EQ(state.remainRoll, 2);
}

TEST(HandleKey, KeepsEveryInvariantOverRandomKeyStreams) {
    const unsigned seed = 20261210u;
    std::mt19937 random(seed);
    seedDice(seed);
    constexpr int Games = 1000;
    long long keysApplied = 0;
    // Mostly arrows, so that a game reaches its end in a few hundred keys.
    const int codes[] = {KeyEnter,    KeyEnter,    KeySpace,      KeyExtended, KeyExtended,
                         KeyExtended, KeyExtended, KeyExtended,   KeyFunction, 'a',
                         9,           KeyEscape,   KeyText + 0xE0};
    const int seconds[] = {KeyUp,   KeyDown,  KeyLeft,  KeyRight, KeyUp, KeyDown,
                           KeyLeft, KeyRight, KeyEnter, 71,       59,    KeySpace};
    for (int game = 0; game < Games; ++game) {
        const Mode mode = game % 2 == 0 ? ModeSingle : ModeMulti;
        GameState state;
        int records = 0;
        int lastRecorder = -1;
        memory::reset();
        while (state.turn < GameOverTurn) {
            ASSERT_LT(records, 24) << "seed " << seed << " game " << game;
            const int key = codes[random() % std::size(codes)];
            memory::pushKey(key);
            if (key == KeyExtended || key == KeyFunction) {
                memory::pushKey(seconds[random() % std::size(seconds)]);
            }
            const GameState before = state;
            const Sheet scores = evaluateCategories(state.eyes).scores;
            handleKey(state, mode, scores);
            ++keysApplied;
            const auto where = [&] {
                return ::testing::Message() << "seed " << seed << " game " << game;
            };
            ASSERT_EQ(state.scoreCursor == -1, state.focus != FocusSheet) << where();
            ASSERT_TRUE(state.remainRoll != 3 || state.focus == FocusRoll) << where();
            ASSERT_FALSE(state.remainRoll == 0 && state.focus == FocusRoll) << where();
            ASSERT_GE(state.turn, before.turn) << where();
            ASSERT_LE(state.turn, GameOverTurn) << where();
            ASSERT_TRUE(mode == ModeMulti || state.player == 0) << where();
            int newRecords = 0;
            for (int p = 0; p < PlayerCount; ++p) {
                for (int c = 0; c < CategoryCount; ++c) {
                    if (before.selected[p][c] == 1) {
                        ASSERT_EQ(state.selected[p][c], 1) << where();
                        ASSERT_EQ(state.playersScore[p][c], before.playersScore[p][c]) << where();
                    } else if (state.selected[p][c] == 1) {
                        ++newRecords;
                        lastRecorder = p;
                        ASSERT_EQ(state.playersScore[p][c], scores[c]) << where();
                    }
                }
            }
            ASSERT_LE(newRecords, 1) << where();
            records += newRecords;
            if (newRecords == 1) {
                ASSERT_EQ(state.fix, Dice{}) << where();
            }
        }
        ASSERT_EQ(records, mode == ModeMulti ? 24 : 12) << "seed " << seed << " game " << game;
        ASSERT_EQ(lastRecorder, mode == ModeMulti ? 1 : 0);
        ASSERT_EQ(state.player, 0);
    }
    std::printf("random key streams: %lld keys over %d games (seed %u)\n", keysApplied, Games,
                seed);
    EXPECT_GT(keysApplied, 100000);
}
