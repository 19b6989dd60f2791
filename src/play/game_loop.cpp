#include "play/game_loop.h"

#include "console/console.h"
#include "play/game_screen.h"
#include "play/turn.h"
#include "rules/rules.h"

namespace {

constexpr int ExitPromptX = 23, ResultX = 50, EndLineY = 27;

GameEnd endSingleGame(RankTable& r, int total, StorageError& error) {
    switch (saveRanking(r, total, error)) {
    case SaveResult::Failed:
        return GameEnd::RankingFailed;
    case SaveResult::InputEnded:
        return GameEnd::InputEnded;
    case SaveResult::Saved:
        break;
    }
    moveCursor(ExitPromptX, EndLineY);
    print("PRESS ENTER TO EXIT");
    for (;;) {
        const int key = getKey();
        if (key == KeyEnter || key == KeySpace) {
            return GameEnd::Finished;
        }
        if (key == KeyEnd) {
            return GameEnd::InputEnded;
        }
    }
}

GameEnd endMultiGame(const Totals& totals) {
    moveCursor(ResultX, EndLineY);
    print("%s", resultText(totals));
    return getKey() == KeyEnd ? GameEnd::InputEnded : GameEnd::Finished;
}

} // namespace

GameEnd playGame(GameState& state, Mode mode, RankTable& r, StorageError& error) {
    for (;;) {
        const Evaluation evaluation = evaluateCategories(state.eyes);
        const Totals totals = computeTotals(state.playersScore);
        drawGameFrame(state, mode, evaluation.scores, totals);
        if (state.turn == GameOverTurn) {
            return mode == ModeMulti ? endMultiGame(totals)
                                     : endSingleGame(r, totals.total[0], error);
        }
        // Nothing on screen changes without a key, so the loop waits for one instead of polling.
        if (keyHit()) {
            handleKey(state, mode, evaluation.scores);
        } else if (!waitForKey()) {
            return GameEnd::InputEnded;
        }
    }
}
