#include "app/program.h"

#include "app/title_menu.h"
#include "console/console.h"
#include "dice/dice.h"
#include "play/game_loop.h"
#include "play/game_state.h"
#include "ranking/ranking_screen.h"
#include "ranking/ranking_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr unsigned int MaxEngineThreads = 8;

constexpr const char* RankingFailure = "파일 연결 실패";

// Shown after the console is given back, where it stays readable once the program has ended;
// a save that failed at the end also says what it could not keep.
int reportRankingFailure(const StorageError& error) {
    closeConsole();
    char failure[64];
    std::fprintf(stderr, "%s: %s: %s\n", textForTerminal(RankingFailure, failure, sizeof failure),
                 error.path, error.reason);
    if (error.unsaved[0] != '\0') {
        char unsaved[sizeof error.unsaved * 2];
        std::fprintf(stderr, "jorvo-dice: the result was not saved: %s\n",
                     textForTerminal(error.unsaved, unsaved, sizeof unsaved));
    }
    return ExitFailed;
}

int reportInputEnded() {
    closeConsole();
    leaveIfHungUp();
    std::fprintf(stderr, "jorvo-dice: the input ended before the game did\n");
    return ExitFailed;
}

} // namespace

int finishOutput(int status) {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return status;
    }
    const int errnum = errno;
    if (errnum != 0) {
        std::fprintf(stderr, "jorvo-dice: write error: %s\n", std::strerror(errnum));
    } else {
        std::fprintf(stderr, "jorvo-dice: write error\n");
    }
    return ExitFailed;
}

int engineThreads() {
    const unsigned int cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores < MaxEngineThreads ? cores : MaxEngineThreads);
}

int runProgram(const Options& options, std::uint64_t diceSeed) {
    // The engine's table is built only for the options that use it, before the terminal is
    // taken; the plain game never builds it.
    StrategyTable table;
    Assist assist;
    if (options.coach || options.computer) {
        buildStrategyTable(table, engineThreads());
        assist = Assist{&table, options.coach, options.computer, options.level, diceSeed};
    }
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
    GameReview review{};
    const bool reviewed = assist.coach || (assist.computer && mode == ModeMulti);
    if (reviewed) {
        beginReview(review[0], table);
        if (mode == ModeMulti && !assist.computer) {
            beginReview(review[1], table);
        }
    }
    int status = ExitFinished;
    switch (playGame(state, mode, r, error, assist, reviewed ? &review : nullptr)) {
    case GameEnd::RankingFailed:
        status = reportRankingFailure(error);
        break;
    case GameEnd::InputEnded:
        status = reportInputEnded();
        break;
    case GameEnd::Finished:
        closeConsole();
        break;
    }
    if (reviewed && state.turn == GameOverTurn) {
        printReview(stdout, review, state.playersScore);
        status = finishOutput(status);
    }
    return status;
}
