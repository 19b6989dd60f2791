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
        return ExitFinished;
    }
    if (options.version) {
        std::printf("%s\n", versionText());
        return ExitFinished;
    }
    if (options.analyse) {
        return runAnalysis(options, engineThreads(), stdout, stderr);
    }
    const std::time_t now = std::time(nullptr);
    if (options.simulate > 0) {
        return runSimulation(options.simulate,
                             options.haveSeed ? options.seed : static_cast<std::uint64_t>(now),
                             options.level, stdout);
    }
    return runProgram(options, static_cast<unsigned int>(now));
}
