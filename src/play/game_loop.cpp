#include "play/game_loop.h"

#include "console/console.h"
#include "play/coach.h"
#include "play/computer.h"
#include "play/game_screen.h"
#include "play/turn.h"
#include "rules/rules.h"

namespace {

constexpr int ExitPromptX = 23, ResultX = 50, EndLineY = 27;
// The computer presses a key this often, so that each of its moves can be followed.
constexpr int ComputerKeyMilliseconds = 250;

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

GameEnd playGame(GameState& state, Mode mode, RankTable& r, StorageError& error,
                 const Assist& assist, GameReview* review) {
    // The computer's choices below the best level draw from a stream of the game's seed apart from
    // the dice's: the same seed, keys and level play the same game again.
    DiceRandom choices = seededRandom(assist.seed, ChoiceStream);
    ComputerPlan plan;
    const bool againstComputer = assist.computer && mode == ModeMulti;
    for (;;) {
        const Evaluation evaluation = evaluateCategories(state.eyes);
        const Totals totals = computeTotals(state.playersScore);
        drawGameFrame(state, mode, evaluation.scores, totals);
        if (againstComputer) {
            drawComputerLevel(assist.level);
        }
        const Analysis advice = adviseTurn(assist, state, mode, totals);
        const bool computer = computerOnTurn(assist, state, mode);
        if (assist.coach) {
            drawCoach(state, advice, !computer && state.remainRoll != RollsPerTurn);
        }
        if (state.turn == GameOverTurn) {
            return mode == ModeMulti ? endMultiGame(totals)
                                     : endSingleGame(r, totals.total[0], error);
        }
        if (computer) {
            flushInput(); // keys typed during the computer's turn are thrown away
            if (!waitUntilShown()) {
                return GameEnd::InputEnded;
            }
            delay(ComputerKeyMilliseconds);
            const KeyPress press = computerPress(state, advice, assist.level, choices, plan);
            applyKey(state, mode, evaluation.scores, press.key, press.arrow);
            if (!computerOnTurn(assist, state, mode)) {
                // Its last key: what was typed while it waited, or while the key was played, is
                // thrown away too, before the next frame shows the player's turn. No key typed
                // during the computer's turn may act on the player's, or end the result.
                flushInput();
            }
        } else if (keyHit()) {
            const GameState before = state;
            handleKey(state, mode, evaluation.scores);
            if (review != nullptr && assist.table != nullptr) {
                noteMove((*review)[before.player], *assist.table, before, state, advice);
            }
        } else if (!waitForKey()) {
            // Nothing on screen changes without a key, so the loop waits for one instead of
            // polling.
            return GameEnd::InputEnded;
        }
    }
}
