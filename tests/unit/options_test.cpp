#include "app/options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    Options options;
    std::string message;
};

Parsed parse(std::vector<const char*> arguments) {
    Parsed parsed{};
    char message[256] = "";
    parsed.ok = parseOptions(static_cast<int>(arguments.size()), arguments.data(), parsed.options,
                             message, sizeof message);
    parsed.message = message;
    return parsed;
}

} // namespace

TEST(Options, TakesEachOptionAndCombinationsThatMakeSense) {
    EXPECT_TRUE(parse({}).ok);
    EXPECT_FALSE(parse({}).options.coach || parse({}).options.computer);
    const Parsed both = parse({"--coach", "--computer"});
    ASSERT_TRUE(both.ok);
    EXPECT_TRUE(both.options.coach && both.options.computer);
    const Parsed simulate = parse({"--simulate", "10000000", "--seed", "18446744073709551615"});
    ASSERT_TRUE(simulate.ok) << simulate.message;
    EXPECT_EQ(simulate.options.simulate, 10'000'000);
    EXPECT_TRUE(simulate.options.haveSeed);
    EXPECT_EQ(simulate.options.seed, UINT64_MAX);
    const Parsed seedFirst = parse({"--seed", "0", "--simulate", "1"});
    ASSERT_TRUE(seedFirst.ok);
    EXPECT_EQ(seedFirst.options.simulate, 1);
    EXPECT_EQ(seedFirst.options.seed, 0u);
    // A played game takes a seed too, so that it can be played again.
    const Parsed playedSeed = parse({"--coach", "--seed", "42"});
    ASSERT_TRUE(playedSeed.ok) << playedSeed.message;
    EXPECT_TRUE(playedSeed.options.haveSeed && playedSeed.options.coach);
    EXPECT_EQ(playedSeed.options.seed, 42u);
    EXPECT_EQ(playedSeed.options.simulate, 0);
    EXPECT_TRUE(parse({"--help"}).options.help);
    EXPECT_TRUE(parse({"--version"}).options.version);
}

TEST(Options, RefusesWhatItCannotTakeNamingIt) {
    struct Case {
        std::vector<const char*> arguments;
        const char* named; // what the message must say
    } cases[] = {
        {{"--coach", "--bogus"}, "'--bogus'"},
        {{"-c"}, "'-c'"},
        {{"coach"}, "'coach'"},
        {{"--simulate"}, "--simulate needs a number"},
        {{"--simulate", "0"}, "'0'"},
        {{"--simulate", "-5"}, "'-5'"},
        {{"--simulate", "10000001"}, "'10000001'"},
        {{"--simulate", "99999999999999999999999"}, "'99999999999999999999999'"},
        {{"--simulate", "abc"}, "'abc'"},
        {{"--simulate", "12x"}, "'12x'"},
        {{"--simulate", ""}, "''"},
        {{"--simulate", " 5"}, "' 5'"},
        {{"--simulate", "5", "--seed", "-1"}, "'-1'"},
        {{"--simulate", "5", "--seed", "18446744073709551616"}, "'18446744073709551616'"},
        {{"--simulate", "5", "--seed"}, "--seed needs a number"},
        {{"--seed", "4", "--seed"}, "--seed needs a number"},
        {{"--simulate", "5", "--coach"}, "--coach"},
        {{"--computer", "--simulate", "5"}, "--computer"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = parse(c.arguments);
        EXPECT_FALSE(parsed.ok) << c.named;
        EXPECT_NE(parsed.message.find(c.named), std::string::npos) << parsed.message;
    }
}

// Every option as --name=value as well as --name value, and -h and -V for --help and --version.
TEST(Options, TakesTheGnuForms) {
    const Parsed joined = parse({"--simulate=20", "--seed=7", "--level=3"});
    ASSERT_TRUE(joined.ok) << joined.message;
    EXPECT_EQ(joined.options.simulate, 20);
    EXPECT_EQ(joined.options.seed, 7u);
    EXPECT_TRUE(joined.options.haveSeed);
    EXPECT_EQ(joined.options.level, 3);
    const Parsed apart = parse({"--computer", "--level", "1", "--coach"});
    ASSERT_TRUE(apart.ok) << apart.message;
    EXPECT_EQ(apart.options.level, 1);
    EXPECT_TRUE(apart.options.computer && apart.options.coach);
    EXPECT_EQ(parse({"--computer"}).options.level, 5) << "the best play unless asked";
    EXPECT_TRUE(parse({"-h"}).options.help);
    EXPECT_TRUE(parse({"-V"}).options.version);

    const Parsed analyse = parse(
        {"--analyse", "--sheet=aces=3,sixes=24", "--dice", "6,6,3,2,1", "--rolls=2", "--json"});
    ASSERT_TRUE(analyse.ok) << analyse.message;
    EXPECT_TRUE(analyse.options.analyse && analyse.options.json);
    EXPECT_EQ(std::string(analyse.options.sheet), "aces=3,sixes=24");
    EXPECT_EQ(std::string(analyse.options.dice), "6,6,3,2,1");
    EXPECT_EQ(std::string(analyse.options.rolls), "2");
    const Parsed empty = parse({"--analyse", "--sheet=", "--rolls", "3"});
    ASSERT_TRUE(empty.ok) << empty.message;
    EXPECT_EQ(std::string(empty.options.sheet), "");
    EXPECT_EQ(empty.options.dice, nullptr);
}

TEST(Options, RefusesLevelsAndAnalysesOutOfPlace) {
    struct Case {
        std::vector<const char*> arguments;
        const char* named;
    } cases[] = {
        {{"--computer", "--level", "0"}, "'0'"},
        {{"--computer", "--level=6"}, "'6'"},
        {{"--simulate", "9", "--level", "x"}, "'x'"},
        {{"--computer", "--level"}, "--level needs a number"},
        {{"--level", "3"}, "--level goes with --computer or --simulate"},
        {{"--coach", "--level=2"}, "--level goes with --computer or --simulate"},
        {{"--coach=yes"}, "--coach takes no value"},
        {{"--help=1"}, "--help takes no value"},
        {{"-x"}, "'-x'"},
        {{"--level=3=4", "--computer"}, "'3=4'"},
        {{"--analyse"}, "--analyse needs --rolls"},
        {{"--analyse", "--rolls"}, "--rolls needs a number"},
        {{"--analyse", "--rolls", "2", "--dice"}, "--dice needs five faces"},
        {{"--analyse", "--rolls", "2", "--sheet"}, "--sheet needs a list of categories"},
        {{"--json"}, "--json goes with --analyse"},
        {{"--dice", "1,2,3,4,5"}, "--dice goes with --analyse"},
        {{"--sheet="}, "--sheet goes with --analyse"},
        {{"--rolls=3"}, "--rolls goes with --analyse"},
        {{"--analyse", "--rolls=3", "--coach"}, "takes no --coach"},
        {{"--analyse", "--rolls=3", "--computer"}, "takes no --computer"},
        {{"--analyse", "--rolls=3", "--simulate=4"}, "takes no --simulate"},
        {{"--analyse", "--rolls=3", "--seed=4"}, "takes no --seed"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = parse(c.arguments);
        EXPECT_FALSE(parsed.ok) << c.named;
        EXPECT_NE(parsed.message.find(c.named), std::string::npos) << parsed.message;
    }
}

TEST(Options, TheUsageListsEveryOption) {
    const std::string usage = usageText();
    for (const char* option : {"--coach", "--computer", "--level L", "--simulate N", "--seed S",
                               "--analyse", "--sheet LIST", "--dice FACES", "--rolls R", "--json",
                               "-h, --help", "-V, --version", "--level=3"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}
