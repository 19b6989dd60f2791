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

// The value of what the cursor is on: rolling with the dice held now, or recording where the
// sheet's cursor is. False on a category that is recorded already.
bool cursorValue(const GameState& state, const Analysis& advice, double& value) {
    int index = -1;
    if (state.focus == FocusSheet) {
        for (int i = 0; i < advice.actionCount; ++i) {
            const Action& action = advice.actions[i];
            if (action.kind == ActionRecord && action.category == state.scoreCursor) {
                index = i;
            }
        }
    } else {
        index = heldAction(advice, state.eyes, state.fix);
    }
    if (index < 0) {
        return false;
    }
    value = advice.actions[index].value;
    return true;
}

void composeLine(const GameState& state, const Analysis& advice, char (&line)[128]) {
    const Action& best = advice.actions[advice.best];
    char words[40];
    describeAction(best, words, sizeof words);
    char here[16] = "taken";
    double value = 0;
    if (cursorValue(state, advice, value)) {
        std::snprintf(here, sizeof here, "%.1f", value);
    }
    std::snprintf(line, sizeof line, "Best: %s  %.1f   Cursor: %s", words, best.value, here);
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
