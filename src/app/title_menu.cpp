#include "app/title_menu.h"

#include "console/console.h"
#include "dice/dice.h"

namespace {

// The three menu lines are the same length, so that each overwrites the others exactly.
const char* menuLine(Mode mode) {
    switch (mode) {
    case ModeMulti:
        return "\n\n\n\t\t\t\t\t     SINGLE   -> MULTI      RANKING";
    case ModeRanking:
        return "\n\n\n\t\t\t\t\t     SINGLE      MULTI   -> RANKING";
    default:
        return "\n\n\n\t\t\t\t\t  -> SINGLE      MULTI      RANKING";
    }
}

// Left and Right walk SINGLE, MULTI, RANKING without wrapping around.
Mode moveChoice(Mode mode, int arrow) {
    if (arrow == KeyLeft) {
        return mode == ModeRanking ? ModeMulti : ModeSingle;
    }
    if (arrow == KeyRight) {
        return mode == ModeSingle ? ModeMulti : ModeRanking;
    }
    return mode;
}

} // namespace

Mode runTitleMenu(const Dice& eyes, DiceScreen inGame) {
    Mode mode = ModeSingle;
    for (;;) {
        moveCursor(0, 0);
        print("\n\n\n\n\n\n\n\n\t\t\t\t\t\t      Jorvo  Dice\n\n");
        drawDice(eyes, inGame);
        print("%s", menuLine(mode));
        if (keyHit()) {
            const int key = getKey();
            if (key == KeyEnter || key == KeySpace) {
                return mode;
            }
            if (key == KeyExtended) {
                mode = moveChoice(mode, getKey());
            }
        } else if (!waitForKey()) {
            return ModeNone;
        }
    }
}
