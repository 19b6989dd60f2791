#include "app/program.h"

#include "app/game_state.h"
#include "app/title_menu.h"
#include "console/console.h"
#include "dice/dice.h"
#include "play/game_loop.h"
#include "ranking/ranking_screen.h"
#include "ranking/ranking_store.h"

#include <cstdio>

namespace {

constexpr const char* RankingFailure = "파일 연결 실패";

// Shown after the console is given back, where it stays readable once the program has ended.
int reportRankingFailure(const StorageError& error) {
    closeConsole();
    std::fprintf(stderr, "%s: %s: %s\n", RankingFailure, error.path, error.reason);
    return ExitFailed;
}

int reportInputEnded() {
    closeConsole();
    std::fprintf(stderr, "jorvo-dice: the input ended before the game did\n");
    return ExitFailed;
}

} // namespace

int runProgram(unsigned int diceSeed) {
    char reason[256] = "";
    if (!openConsole(reason, sizeof reason)) {
        std::fprintf(stderr, "jorvo-dice: %s\n", reason);
        return ExitFailed;
    }
    RankTable r{};
    StorageError error{};
    if (!loadRanking(r, error)) {
        return reportRankingFailure(error);
    }
    DiceScreen inGame = OnTitle;
    setupInput();
    setTitle("Jorvo Dice");
    hideCursor();
    seedDice(diceSeed);
    GameState state;

    Mode mode = ModeRanking;
    while (mode == ModeRanking) {
        mode = runTitleMenu(state.eyes, inGame);
        if (mode == ModeNone || (mode == ModeRanking && !showRanking(r))) {
            return reportInputEnded();
        }
    }
    clearScreen();
    switch (playGame(state, mode, r, error)) {
    case GameEnd::RankingFailed:
        return reportRankingFailure(error);
    case GameEnd::InputEnded:
        return reportInputEnded();
    case GameEnd::Finished:
        break;
    }
    closeConsole();
    return ExitFinished;
}
