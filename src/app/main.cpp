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
    const std::time_t now = std::time(nullptr);
    if (options.simulate > 0) {
        return finishOutput(runSimulation(
            options.simulate, options.haveSeed ? options.seed : static_cast<std::uint64_t>(now),
            stdout));
    }
    return runProgram(options, static_cast<unsigned int>(now));
}
