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
