// The command line: with no option the game as it always was; the engine's help behind options.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr long long MaxSimulatedGames = 10'000'000;

struct Options {
    bool coach = false;     // advice while playing
    bool computer = false;  // MULTI against the computer
    long long simulate = 0; // games the engine plays alone; 0: play a game in the terminal
    bool haveSeed = false;
    std::uint64_t seed = 0;
    bool haveLevel = false;
    int level = 5; // of the computer's play, 1 to 5 (PerfectLevel)
    // --analyse: the position as it was given, read by the analysis (app/analyse.h); the texts
    // point into the arguments, null when not given.
    bool analyse = false;
    bool json = false;
    const char* sheet = nullptr;
    const char* dice = nullptr;
    const char* rolls = nullptr;
    bool help = false;
    bool version = false;
};

// Exit status of a command line the program cannot take.
constexpr int ExitUsage = 2;

// Reads the arguments after the program's name, each option as `--name value` or `--name=value`,
// `-h` and `-V` standing for --help and --version. False with a one-line `message` naming the
// argument when one is unknown, lacks its value, has a value it cannot take, or goes with none of
// the options given with it.
bool parseOptions(int argc, const char* const* argv, Options& options, char* message,
                  std::size_t messageSize);

// The usage text, for --help and after a bad command line.
const char* usageText();
// "jorvo-dice 1.1.0".
const char* versionText();
