#include "play/coach.h"

#include "console/console.h"
#include "play/advice.h"
#include "play/game_screen.h"

#include <cstdio>

namespace {

constexpr int KeepRowX = 8, KeepRowY = 10; // above the hold labels of row 11, ten columns a die
constexpr int MarkX = 100;                 // right of the second player's values
constexpr int LineX = 8, LineY = 24;
constexpr int LineColumns = 56; // up to the sheet's labels at column 65, with room between

// The action the cursor is on: rolling with the dice held now, or recording where the sheet's
// cursor is; -1 on a category that is recorded already.
int cursorAction(const GameState& state, const Analysis& advice) {
    if (state.focus != FocusSheet) {
        return heldAction(advice, state.eyes, state.fix);
    }
    for (int i = 0; i < advice.actionCount; ++i) {
        const Action& action = advice.actions[i];
        if (action.kind == ActionRecord && action.category == state.scoreCursor) {
            return i;
        }
    }
    return -1;
}

// "Best: keep 5 5, roll  avg total 190.9  yours: -4.8": the best action, the final total it leads
// to on average, and what the action under the cursor costs against it ("best" when nothing).
// The longest best actions ("keep 1 2 3 4, roll", "record S. Straight") with a cost of three
// digits fill the LineColumns.
void composeLine(const GameState& state, const Analysis& advice, char (&line)[128]) {
    const Action& best = advice.actions[advice.best];
    char words[40];
    describeAction(best, words, sizeof words);
    char yours[16] = "taken";
    const int index = cursorAction(state, advice);
    if (index >= 0) {
        const double cost = best.value - advice.actions[index].value;
        if (index == advice.best || cost <= 0) {
            std::snprintf(yours, sizeof yours, "best");
        } else {
            std::snprintf(yours, sizeof yours, "-%.1f", cost);
        }
    }
    std::snprintf(line, sizeof line, "Best: %s  avg total %.1f  yours: %s", words, best.value,
                  yours);
}

} // namespace

void drawCoach(const GameState& state, const Analysis& advice, bool shown) {
    const Action* best = shown && advice.valid ? &advice.actions[advice.best] : nullptr;
    Dice keep{};
    if (best != nullptr && best->kind == ActionRoll) {
        fixForHold(state.eyes, best->hold, keep);
    }
    moveCursor(KeepRowX, KeepRowY);
    for (int kept : keep) {
        print("%s", kept != 0 ? "   keep   " : "          ");
    }
    for (int c = 0; c < CategoryCount; ++c) {
        moveCursor(MarkX, categoryRow(c));
        const bool here = best != nullptr && best->kind == ActionRecord && best->category == c;
        print("%s", here ? "<-" : "  ");
    }
    char line[128] = ""; // ASCII: its bytes are its columns
    if (best != nullptr) {
        composeLine(state, advice, line);
    }
    moveCursor(LineX, LineY);
    print("%-*.*s", LineColumns, LineColumns, line);
}
