#include "app/analyse.h"
#include "app/options.h"
#include "app/program.h"
#include "app/simulate.h"

#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
    Options options;
    char message[256] = "";
    if (!parseOptions(argc - 1, argv + 1, options, message, sizeof message)) {
        std::fprintf(stderr, "jorvo-dice: %s\n\n%s", message, usageText());
        return ExitUsage;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return finishOutput(ExitFinished);
    }
    if (options.version) {
        std::printf("%s\n", versionText());
        return finishOutput(ExitFinished);
    }
    if (options.analyse) {
        return finishOutput(runAnalysis(options, engineThreads(), stdout, stderr));
    }
    // The same seed gives the same dice, in a played game as in self-play; without one the clock
    // chooses.
    const std::uint64_t seed =
        options.haveSeed ? options.seed : static_cast<std::uint64_t>(std::time(nullptr));
    if (options.simulate > 0) {
        return finishOutput(runSimulation(options.simulate, seed, options.level, stdout));
    }
    return runProgram(options, seed);
}
