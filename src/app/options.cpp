#include "app/options.h"

#include "strategy/strategy.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

#ifndef JORVO_VERSION
#error "JORVO_VERSION is set by the build"
#endif

static_assert(Options{}.level == PerfectLevel, "the computer plays its best unless asked");

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

enum Name {
    Coach,
    Computer,
    Level,
    Simulate,
    Seed,
    Analyse,
    SheetOption,
    DiceOption,
    Rolls,
    Json,
    Help,
    Version,
};

struct OptionRule {
    Name name;
    const char* longName;
    const char* shortName;  // or null
    const char* valueNeeds; // what the value is, for an option that takes one; null for a switch
};

constexpr OptionRule OptionRules[] = {
    {Coach, "--coach", nullptr, nullptr},
    {Computer, "--computer", nullptr, nullptr},
    {Level, "--level", nullptr, "a number"},
    {Simulate, "--simulate", nullptr, "a number"},
    {Seed, "--seed", nullptr, "a number"},
    {Analyse, "--analyse", nullptr, nullptr},
    {SheetOption, "--sheet", nullptr, "a list of categories"},
    {DiceOption, "--dice", nullptr, "five faces"},
    {Rolls, "--rolls", nullptr, "a number"},
    {Json, "--json", nullptr, nullptr},
    {Help, "--help", "-h", nullptr},
    {Version, "--version", "-V", nullptr},
};

// The option an argument names, with the value given after '=' (null without one).
const OptionRule* findOptionRule(const char* argument, const char*& inlineValue) {
    inlineValue = nullptr;
    std::string_view name = argument;
    if (name.starts_with("--")) {
        const std::size_t equals = name.find('=');
        if (equals != std::string_view::npos) {
            inlineValue = argument + equals + 1;
            name = name.substr(0, equals);
        }
    }
    for (const OptionRule& rule : OptionRules) {
        if (name == rule.longName || (rule.shortName != nullptr && name == rule.shortName)) {
            return &rule;
        }
    }
    return nullptr;
}

// Takes one option's value; false with the message when it cannot.
bool takeValue(const OptionRule& rule, const char* value, Options& options, char* message,
               std::size_t messageSize) {
    switch (rule.name) {
    case Simulate:
        if (!parseNumber(value, 1LL, MaxSimulatedGames, options.simulate)) {
            std::snprintf(message, messageSize,
                          "--simulate takes a number of games from 1 to %lld, not '%s'",
                          MaxSimulatedGames, value);
            return false;
        }
        return true;
    case Seed:
        if (!parseNumber<std::uint64_t>(value, 0, UINT64_MAX, options.seed)) {
            std::snprintf(message, messageSize,
                          "--seed takes a whole number from 0 to %llu, not '%s'",
                          static_cast<unsigned long long>(UINT64_MAX), value);
            return false;
        }
        options.haveSeed = true;
        return true;
    case Level:
        if (!parseNumber(value, LowestLevel, PerfectLevel, options.level)) {
            std::snprintf(message, messageSize, "--level takes a level from %d to %d, not '%s'",
                          LowestLevel, PerfectLevel, value);
            return false;
        }
        options.haveLevel = true;
        return true;
    case SheetOption:
        options.sheet = value;
        return true;
    case DiceOption:
        options.dice = value;
        return true;
    case Rolls:
        options.rolls = value; // read with the rest of the position
        return true;
    default:
        return true;
    }
}

void setSwitch(Name name, Options& options) {
    switch (name) {
    case Coach:
        options.coach = true;
        break;
    case Computer:
        options.computer = true;
        break;
    case Analyse:
        options.analyse = true;
        break;
    case Json:
        options.json = true;
        break;
    case Help:
        options.help = true;
        break;
    case Version:
        options.version = true;
        break;
    default:
        break;
    }
}

// What the options given ask of each other; false with the message for the first that is missing
// or out of place.
bool checkCombination(const Options& options, char* message, std::size_t messageSize) {
    if (options.simulate != 0 && (options.coach || options.computer)) {
        std::snprintf(message, messageSize,
                      "--simulate plays no game in the terminal, so it takes no --%s",
                      options.coach ? "coach" : "computer");
        return false;
    }
    if (options.analyse &&
        (options.coach || options.computer || options.simulate != 0 || options.haveSeed)) {
        std::snprintf(message, messageSize, "--analyse plays no game, so it takes no --%s",
                      options.coach      ? "coach"
                      : options.computer ? "computer"
                      : options.haveSeed ? "seed"
                                         : "simulate");
        return false;
    }
    if (options.haveLevel && !options.computer && options.simulate == 0) {
        std::snprintf(message, messageSize, "--level goes with --computer or --simulate");
        return false;
    }
    const char* position = options.sheet != nullptr   ? "--sheet"
                           : options.dice != nullptr  ? "--dice"
                           : options.rolls != nullptr ? "--rolls"
                           : options.json             ? "--json"
                                                      : nullptr;
    if (position != nullptr && !options.analyse) {
        std::snprintf(message, messageSize, "%s goes with --analyse", position);
        return false;
    }
    if (options.analyse && options.rolls == nullptr) {
        std::snprintf(message, messageSize,
                      "--analyse needs --rolls: the rolls left, 2, 1 or 0 (3 before the first)");
        return false;
    }
    return true;
}

} // namespace

bool parseOptions(int argc, const char* const* argv, Options& options, char* message,
                  std::size_t messageSize) {
    options = Options{};
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i];
        const char* value = nullptr;
        const OptionRule* rule = findOptionRule(argument, value);
        if (rule == nullptr) {
            std::snprintf(message, messageSize, "unknown option '%s'", argument);
            return false;
        }
        if (rule->valueNeeds == nullptr) {
            if (value != nullptr) {
                std::snprintf(message, messageSize, "%s takes no value, not '%s'", rule->longName,
                              value);
                return false;
            }
            setSwitch(rule->name, options);
            continue;
        }
        if (value == nullptr) {
            if (i + 1 == argc) {
                std::snprintf(message, messageSize, "%s needs %s", rule->longName,
                              rule->valueNeeds);
                return false;
            }
            value = argv[++i];
        }
        if (!takeValue(*rule, value, options, message, messageSize)) {
            return false;
        }
    }
    return checkCombination(options, message, messageSize);
}

const char* usageText() {
    return "Usage: jorvo-dice [--coach] [--computer [--level L]] [--seed S]\n"
           "       jorvo-dice --simulate N [--level L] [--seed S]\n"
           "       jorvo-dice --analyse [--sheet LIST] [--dice FACES] --rolls R [--json]\n"
           "       jorvo-dice -h | --help | -V | --version\n"
           "\n"
           "Without options: the dice game in this terminal.\n"
           "  --coach         while you play, show the best move, the average final total it\n"
           "                  leads to, and what the choice under the cursor costs against it\n"
           "  --computer      make MULTI a game against the computer, which plays 2P\n"
           "  --level L       how well the computer plays: 1 (the weakest, about 150 a game)\n"
           "                  to 5 (perfect play, the default); with --computer or --simulate\n"
           "  --simulate N    let the computer play N games alone (1 to 10000000) and print\n"
           "                  their statistics, without a terminal\n"
           "  --seed S        the seed of the dice (0 to 18446744073709551615): the same seed\n"
           "                  and the same keys play the same game; without it the clock\n"
           "                  chooses (--simulate prints the seed it used)\n"
           "  --analyse       print every action of a position, best first, with the average\n"
           "                  final total it leads to and its cost against the best:\n"
           "  --sheet LIST      the recorded categories and their scores, as aces=3,sixes=24\n"
           "                    (aces deuces threes fours fives sixes choice 4ofakind\n"
           "                    fullhouse sstraight lstraight jorvo); empty for a new sheet\n"
           "  --dice FACES      the five dice, as 6,6,3,2,1\n"
           "  --rolls R         the rolls left after these dice: 2, 1 or 0; 3 before the\n"
           "                    turn's first roll, without --dice\n"
           "  --json            print the analysis as one JSON object\n"
           "  -h, --help      show this text\n"
           "  -V, --version   show the version\n"
           "An option's value may follow it or be joined to it by '=', as --level=3.\n";
}

const char* versionText() {
    return "jorvo-dice " JORVO_VERSION;
}
