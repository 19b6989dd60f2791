#include "app/options.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>

#ifndef JORVO_VERSION
#error "JORVO_VERSION is set by the build"
#endif

namespace {

// A whole decimal number from `low` to `high`, nothing before or after it.
template <typename Number>
bool parseNumber(const char* text, Number low, Number high, Number& out) {
    const char* end = text + std::strlen(text);
    Number value{};
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc{} || stop != end || stop == text || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

} // namespace

bool parseOptions(int argc, const char* const* argv, Options& options, char* message,
                  std::size_t messageSize) {
    options = Options{};
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i];
        const bool simulate = std::strcmp(argument, "--simulate") == 0;
        const bool seed = std::strcmp(argument, "--seed") == 0;
        if (std::strcmp(argument, "--coach") == 0) {
            options.coach = true;
        } else if (std::strcmp(argument, "--computer") == 0) {
            options.computer = true;
        } else if (std::strcmp(argument, "--help") == 0) {
            options.help = true;
        } else if (std::strcmp(argument, "--version") == 0) {
            options.version = true;
        } else if ((simulate || seed) && i + 1 == argc) {
            std::snprintf(message, messageSize, "%s needs a number", argument);
            return false;
        } else if (simulate) {
            const char* number = argv[++i];
            if (!parseNumber(number, 1LL, MaxSimulatedGames, options.simulate)) {
                std::snprintf(message, messageSize,
                              "--simulate takes a number of games from 1 to %lld, not '%s'",
                              MaxSimulatedGames, number);
                return false;
            }
        } else if (seed) {
            const char* number = argv[++i];
            if (!parseNumber<std::uint64_t>(number, 0, UINT64_MAX, options.seed)) {
                std::snprintf(message, messageSize,
                              "--seed takes a whole number from 0 to %llu, not '%s'",
                              static_cast<unsigned long long>(UINT64_MAX), number);
                return false;
            }
            options.haveSeed = true;
        } else {
            std::snprintf(message, messageSize, "unknown option '%s'", argument);
            return false;
        }
    }
    if (options.simulate != 0 && (options.coach || options.computer)) {
        std::snprintf(message, messageSize,
                      "--simulate plays no game in the terminal, so it takes no --%s",
                      options.coach ? "coach" : "computer");
        return false;
    }
    return true;
}

const char* usageText() {
    return "Usage: jorvo-dice [--coach] [--computer] [--seed S]\n"
           "       jorvo-dice --simulate N [--seed S]\n"
           "       jorvo-dice --help | --version\n"
           "\n"
           "Without options: the dice game in this terminal.\n"
           "  --coach        while you play, show the best move and what each choice is worth\n"
           "  --computer     make MULTI a game against the computer, which plays 2P\n"
           "  --simulate N   let the computer play N games alone (1 to 10000000) and print\n"
           "                 their statistics, without a terminal\n"
           "  --seed S       the seed of the dice (0 to 18446744073709551615): the same seed and\n"
           "                 the same keys play the same game; without it the clock chooses\n"
           "                 (--simulate prints the seed it used)\n"
           "  --help         show this text\n"
           "  --version      show the version\n";
}

const char* versionText() {
    return "jorvo-dice " JORVO_VERSION;
}
