// The whole run, from taking over the console to giving it back; returns the exit status.
#pragma once

// Exit statuses: 0 after a game played to its end, 1 when the run could not go on (no terminal,
// a ranking that could not be read or saved, input that ended before the game did).
constexpr int ExitFinished = 0;
constexpr int ExitFailed = 1;

// The dice are seeded with `diceSeed` at the point of start-up where the game seeds them; main
// passes the clock.
int runProgram(unsigned int diceSeed);
