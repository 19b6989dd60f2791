#include "play/game_screen.h"

#include "console/console.h"
#include "dice/dice.h"

namespace {

constexpr int TurnX = 65, TurnY = 3;
constexpr int SingleModeX = 27, ModeY = 8;
constexpr int HeaderX = 84, HeaderY = 2;
constexpr int PlayerTurnX = 28;
constexpr int DiceCursorX = 12, DiceCursorY = 17;
constexpr int RollButtonX = 28, RollButtonY = 19;
constexpr int RemainRollX = 25, RemainRollY = 22;
constexpr int LabelX = 65;
constexpr int CursorX[PlayerCount] = {79, 91};
constexpr int ValueX[PlayerCount] = {83, 95};
constexpr int SubtotalX[PlayerCount] = {82, 94};
constexpr int SubtotalY = 12, BonusY = 13, TotalY = 25;
constexpr int DieWidth = 10;

constexpr int CategoryRow[CategoryCount] = {5, 6, 7, 8, 9, 10, 17, 19, 20, 21, 22, 23};
// The sheet's labels from top to bottom: the twelve categories and the lines between them.
struct Label {
    int row;
    const char* text;
};
constexpr Label SheetLabels[] = {
    {5, "Aces"},         {6, "Deuces"},       {7, "Threes"},
    {8, "Fours"},        {9, "Fives"},        {10, "Sixes"},
    {12, "Subtotal"},    {13, "+35 Bonus"},   {15, "Bonus if Aces-Sixes are over 63 points"},
    {17, "Choice"},      {19, "4 of a Kind"}, {20, "Full House"},
    {21, "S. Straight"}, {22, "L. Straight"}, {23, "Jorvo"},
    {25, "Total"},
};

void drawHoldLabels(const Dice& fix) {
    print("\n\n\n\t");
    for (int held : fix) {
        print("%s", held == 1 ? "   fix    " : "          ");
    }
    print("\n");
}

void drawTotals(Mode mode, const Totals& totals) {
    const int players = mode == ModeMulti ? 2 : 1;
    for (int p = 0; p < players; ++p) {
        moveCursor(SubtotalX[p], SubtotalY);
        print("%2d/63", totals.subtotal[p]);
    }
    for (int p = 0; p < players; ++p) {
        if (bonusGranted(totals.subtotal[p])) {
            moveCursor(ValueX[p], BonusY);
            print("+35");
        }
    }
    for (int p = 0; p < players; ++p) {
        moveCursor(ValueX[p], TotalY);
        print("%3d", totals.total[p]);
    }
}

} // namespace

int categoryRow(int c) {
    return CategoryRow[c];
}

const char* categoryLabel(int c) {
    for (const Label& label : SheetLabels) {
        if (label.row == CategoryRow[c]) {
            return label.text;
        }
    }
    return "";
}

void drawDiceCursor(Focus focus, int diceCursor) {
    moveCursor(DiceCursorX, DiceCursorY);
    for (int i = 0; i < DiceCount; ++i) {
        const bool here = focus == FocusDice && diceCursor == i;
        // Ten columns a die, with the arrow under its centre; the last die needs only the arrow.
        print(i < DiceCount - 1 ? "%s         " : "%s", here ? "↑" : " ");
    }
}

void drawRollButton(Focus focus, int turn) {
    moveCursor(RollButtonX, RollButtonY);
    print("%s", focus == FocusRoll && turn <= TurnCount ? "-> roll" : "   roll");
}

void drawScoreLabels() {
    for (const Label& label : SheetLabels) {
        moveCursor(LabelX, label.row);
        print("%s", label.text);
    }
}

void drawScoreCursor(int scoreCursor, int player) {
    for (int p = 0; p < PlayerCount; ++p) {
        for (int c = 0; c < CategoryCount; ++c) {
            moveCursor(CursorX[p], CategoryRow[c]);
            print("%s", scoreCursor == c && player == p ? "->" : "  ");
        }
    }
}

void drawScoreValues(int player, const Sheets& playersScore, const Sheets& selected,
                     const Sheet& scores, int remainRoll) {
    for (int c = 0; c < CategoryCount; ++c) {
        for (int p = 0; p < PlayerCount; ++p) {
            moveCursor(ValueX[p], CategoryRow[c]);
            if (selected[p][c] == 1) {
                print("[%2d]", playersScore[p][c]);
            } else if (remainRoll == RollsPerTurn || p != player) {
                print("   ");
            } else {
                print("%3d", scores[c]);
            }
        }
    }
}

void drawGameFrame(const GameState& state, Mode mode, const Sheet& scores, const Totals& totals) {
    moveCursor(TurnX, TurnY);
    print("turn %2d/12", state.turn);
    if (mode == ModeMulti) {
        moveCursor(HeaderX, HeaderY);
        print("1P\t\t2P");
        moveCursor(PlayerTurnX, ModeY);
        print("%dP's turn", state.player + 1);
    } else {
        moveCursor(SingleModeX, ModeY);
        print("SINGLE MODE");
    }
    drawHoldLabels(state.fix);
    drawDice(state.eyes, InGame);
    const auto focus = static_cast<Focus>(state.focus);
    drawDiceCursor(focus, state.diceCursor);
    drawRollButton(focus, state.turn);
    moveCursor(RemainRollX, RemainRollY);
    print("Remain Roll : %d", state.remainRoll);
    drawScoreLabels();
    drawScoreCursor(state.scoreCursor, state.player);
    drawScoreValues(state.player, state.playersScore, state.selected, scores, state.remainRoll);
    drawTotals(mode, totals);
}
