#include "dice/dice.h"

#include "console/console.h"

namespace {

constexpr int RollFrames = 5;
constexpr int RollFrameMilliseconds = 100;

// What every roll draws from, as the C library's generator would be: seeded once by main.
DiceRandom diceRandom = seededRandom(0, 0);

// One die's pip row: 9 columns of box and pips, then a space. "　" is the two-column
// ideographic space, which keeps the pips on the interior's columns 2, 4 and 6.
constexpr const char* RowEmpty = "┃　 　　┃ ";
constexpr const char* RowLeft = "┃ ● 　　┃ ";
constexpr const char* RowCentre = "┃　 ● 　┃ ";
constexpr const char* RowRight = "┃　　 ● ┃ ";
constexpr const char* RowBoth = "┃ ● 　● ┃ ";

constexpr const char* BorderTop = "┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓\n";
constexpr const char* BorderBottom = "┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛\n";

// Rows of each face, top to bottom, indexed by face - 1.
constexpr const char* FaceRows[FaceCount][3] = {
    {RowEmpty, RowCentre, RowEmpty}, {RowLeft, RowEmpty, RowRight}, {RowLeft, RowCentre, RowRight},
    {RowBoth, RowEmpty, RowBoth},    {RowBoth, RowCentre, RowBoth}, {RowBoth, RowBoth, RowBoth},
};

void printIndent(DiceScreen inGame) {
    if (inGame == InGame) {
        print("\t");
    } else {
        printMenuIndent();
    }
}

void drawPipRow(const Dice& eyes, DiceScreen inGame, int row) {
    printIndent(inGame);
    for (int face : eyes) {
        // A face outside 1..6 cannot come from a roll; draw it blank rather than read past the
        // table.
        print("%s", face >= 1 && face <= FaceCount ? FaceRows[face - 1][row] : RowEmpty);
    }
    print("\n");
}

} // namespace

void printMenuIndent() {
    print("\t\t\t\t   ");
}

void drawPipRowTop(const Dice& eyes, DiceScreen inGame) {
    drawPipRow(eyes, inGame, 0);
}
void drawPipRowMiddle(const Dice& eyes, DiceScreen inGame) {
    drawPipRow(eyes, inGame, 1);
}
void drawPipRowBottom(const Dice& eyes, DiceScreen inGame) {
    drawPipRow(eyes, inGame, 2);
}

void drawDice(const Dice& eyes, DiceScreen inGame) {
    printIndent(inGame);
    print("%s", BorderTop);
    drawPipRowTop(eyes, inGame);
    drawPipRowMiddle(eyes, inGame);
    drawPipRowBottom(eyes, inGame);
    printIndent(inGame);
    print("%s", BorderBottom);
}

void seedDice(std::uint64_t seed) {
    diceRandom = seededRandom(seed, 0);
}

void rollDice(Dice& eyes, DiceScreen inGame, const Dice& fix) {
    for (int frame = 0; frame < RollFrames; ++frame) {
        moveCursor(0, 0);
        for (int i = 0; i < DiceCount; ++i) {
            if (fix[i] == 0) {
                eyes[i] = rollFace(diceRandom) + 1;
            }
        }
        print("\n\n\n\n\n\n\n\n\n\n\n\n");
        drawDice(eyes, inGame);
        delay(RollFrameMilliseconds);
    }
}
