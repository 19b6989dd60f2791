// The whole run, from taking over the console to giving it back; returns the exit status.
#pragma once

#include "app/options.h"

// Exit statuses: 0 after a game played to its end, 1 when the run could not go on (no terminal,
// a ranking that could not be read or saved, input that ended before the game did, output that
// could not be written), 2 for a command line the program cannot take (ExitUsage).
constexpr int ExitFinished = 0;
constexpr int ExitFailed = 1;

// Writes out what is left of the standard output; a write to it that failed (a full disk, a
// closed output) is reported on standard error, as the GNU tools do, and gives ExitFailed in
// place of `status`.
int finishOutput(int status);

// The whole run of a game in the terminal, as `options` ask. The dice are seeded with `diceSeed`
// at the point of start-up where the game seeds them; main passes the clock.
int runProgram(const Options& options, std::uint64_t diceSeed);

// The threads the engine builds its table and plays its games on.
int engineThreads();
