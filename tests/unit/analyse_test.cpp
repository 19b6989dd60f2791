// --analyse: the position read from the command line, and the analysis printed from it.
#include "app/analyse.h"
#include "play/advice.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

const StrategyTable& table() {
    static const StrategyTable built = [] {
        StrategyTable t;
        buildStrategyTable(t, 2);
        return t;
    }();
    return built;
}

struct Read {
    bool ok;
    Position position;
    std::string message;
};

Read read(const char* sheet, const char* dice, const char* rolls) {
    Read r{};
    char message[256] = "";
    r.ok = readAnalysedPosition(sheet, dice, rolls, r.position, message, sizeof message);
    r.message = message;
    return r;
}

std::string printed(const Position& position, bool json) {
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    printAnalysis(out, position, analysePosition(table(), position), json);
    std::rewind(out);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(out);
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(Analyse, NamesEachCategoryByItsLabel) {
    const char* keys[CategoryCount] = {"aces",      "deuces",    "threes",    "fours",
                                       "fives",     "sixes",     "choice",    "4ofakind",
                                       "fullhouse", "sstraight", "lstraight", "jorvo"};
    for (int c = 0; c < CategoryCount; ++c) {
        char key[32];
        categoryKey(c, key, sizeof key);
        EXPECT_STREQ(key, keys[c]);
    }
}

TEST(Analyse, ReadsAPosition) {
    const Read r = read("aces=3,sixes=24,choice=22", "6,6,3,2,1", "2");
    ASSERT_TRUE(r.ok) << r.message;
    Sheet selected{};
    Sheet scores{};
    selected[Aces] = selected[Sixes] = selected[Choice] = 1;
    scores[Aces] = 3;
    scores[Sixes] = 24;
    scores[Choice] = 22;
    EXPECT_EQ(r.position.selected, selected);
    EXPECT_EQ(r.position.scores, scores);
    EXPECT_EQ(r.position.dice, (Dice{6, 6, 3, 2, 1}));
    EXPECT_EQ(r.position.remainRoll, 2);

    const Read capitals = read("Aces=3,SIXES=24,Choice=22", "6,6,3,2,1", "2");
    ASSERT_TRUE(capitals.ok) << capitals.message;
    EXPECT_EQ(capitals.position.scores, scores);

    for (const char* sheet : {static_cast<const char*>(nullptr), ""}) {
        const Read start = read(sheet, nullptr, "3");
        ASSERT_TRUE(start.ok) << start.message;
        EXPECT_EQ(start.position.selected, Sheet{});
        EXPECT_EQ(start.position.remainRoll, RollsPerTurn);
    }
    // Eleven categories recorded, the highest scores each can hold.
    const Read late = read("aces=5,deuces=10,threes=15,fours=20,fives=25,sixes=30,choice=30,"
                           "4ofakind=30,fullhouse=30,sstraight=15,lstraight=30",
                           "1,1,1,1,1", "0");
    ASSERT_TRUE(late.ok) << late.message;
    EXPECT_EQ(late.position.selected[Jorvo], 0);
}

// Every score some roll gives a category is taken; a table of scores no roll gives is refused.
TEST(Analyse, TakesEveryScoreARollGivesAndNoOther) {
    std::vector<std::vector<bool>> seen(CategoryCount, std::vector<bool>(MaxTotal + 1));
    for (int roll = 0; roll < 7776; ++roll) {
        Dice dice{};
        for (int i = 0, code = roll; i < DiceCount; ++i, code /= FaceCount) {
            dice[i] = code % FaceCount + 1;
        }
        const Evaluation e = evaluateCategories(dice);
        for (int c = 0; c < CategoryCount; ++c) {
            seen[c][e.scores[c]] = true;
        }
    }
    for (int c = 0; c < CategoryCount; ++c) {
        char key[32];
        categoryKey(c, key, sizeof key);
        for (int score = 0; score <= 60; ++score) {
            const std::string sheet = std::string(key) + "=" + std::to_string(score);
            EXPECT_EQ(read(sheet.c_str(), nullptr, "3").ok, seen[c][score]) << sheet;
        }
    }
    for (const char* impossible :
         {"aces=7", "deuces=3", "sixes=5", "sixes=36", "choice=0", "choice=4", "choice=31",
          "4ofakind=4", "4ofakind=31", "fullhouse=6", "sstraight=14", "sstraight=30",
          "lstraight=15", "jorvo=20", "jorvo=49"}) {
        EXPECT_FALSE(read(impossible, nullptr, "3").ok) << impossible;
    }
    for (const char* possible : {"fullhouse=5", "4ofakind=5", "4ofakind=30", "choice=5"}) {
        EXPECT_TRUE(read(possible, nullptr, "3").ok) << possible;
    }
}

TEST(Analyse, RefusesWhatNoGameHoldsNamingIt) {
    const char* full = "aces=0,deuces=0,threes=0,fours=0,fives=0,sixes=0,choice=5,"
                       "4ofakind=0,fullhouse=0,sstraight=0,lstraight=0,jorvo=0";
    struct Case {
        const char* sheet;
        const char* dice;
        const char* rolls;
        const char* named;
    } cases[] = {
        {"kings=3", "1,2,3,4,5", "2", "'kings'"},
        {"aces=3,sixes=6,aces=2", "1,2,3,4,5", "2", "aces twice"},
        {"aces=7", "1,2,3,4,5", "2", "aces=7"},
        {"sixes=5", "1,2,3,4,5", "2", "sixes=5"},
        {"jorvo=20", "1,2,3,4,5", "2", "jorvo=20"},
        {"aces", "1,2,3,4,5", "2", "'aces'"},
        {"aces=", "1,2,3,4,5", "2", "'aces='"},
        {"aces=x", "1,2,3,4,5", "2", "'aces=x'"},
        {"aces=-1", "1,2,3,4,5", "2", "'aces=-1'"},
        {"aces=3,", "1,2,3,4,5", "2", "empty item"},
        {full, "1,2,3,4,5", "0", "every category"},
        {"", "1,2,3,4", "2", "not 4"},
        {"", "1,2,3,4,5,6", "2", "not 6"},
        {"", "", "2", "not 0"},
        {"", "1,2,3,4,7", "2", "'7'"},
        {"", "1,2,0,4,5", "2", "'0'"},
        {"", "1,2,x,4,5", "2", "'x'"},
        {"", "1,2,3,4,5", "4", "'4'"},
        {"", "1,2,3,4,5", "-1", "'-1'"},
        {"", "1,2,3,4,5", "two", "'two'"},
        {"", "1,2,3,4,5", "3", "takes no --dice"},
        {"", nullptr, "1", "needs --dice"},
    };
    for (const Case& c : cases) {
        const Read r = read(c.sheet, c.dice, c.rolls);
        EXPECT_FALSE(r.ok) << c.named;
        EXPECT_NE(r.message.find(c.named), std::string::npos) << r.message;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
    }
}

// The table lists every action once, the best first and then by falling value, each with its
// cost against the best.
TEST(Analyse, PrintsEveryActionBestFirstWithItsCost) {
    const Read r = read("aces=3,sixes=24,choice=22", "6,6,3,2,1", "2");
    ASSERT_TRUE(r.ok);
    const Analysis a = analysePosition(table(), r.position);
    const std::vector<std::string> lines = linesOf(printed(r.position, false));
    ASSERT_EQ(lines.size(), 4u + static_cast<std::size_t>(a.actionCount));
    EXPECT_EQ(lines[0], "Sheet: 49 points (aces 3, sixes 24, choice 22)");
    EXPECT_EQ(lines[1], "Dice: 6 6 3 2 1, 2 rolls left");
    EXPECT_EQ(lines[2], "");
    double previous = a.actions[a.best].value;
    for (std::size_t n = 4; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        ASSERT_GT(line.size(), 22u) << line;
        const std::string words = line.substr(0, line.find_last_not_of(' ', 21) + 1);
        double value = 0;
        double cost = 0;
        ASSERT_EQ(std::sscanf(line.c_str() + 22, "%lf %lf", &value, &cost), 2) << line;
        int found = -1;
        for (int i = 0; i < a.actionCount; ++i) {
            char described[40];
            describeAction(a.actions[i], described, sizeof described);
            if (words == described) {
                found = i;
            }
        }
        ASSERT_GE(found, 0) << line;
        if (n == 4) {
            EXPECT_EQ(found, a.best);
        }
        EXPECT_NEAR(value, a.actions[found].value, 5e-5) << line;
        EXPECT_NEAR(cost, a.actions[a.best].value - a.actions[found].value, 5e-5) << line;
        EXPECT_LE(a.actions[found].value, previous + 1e-12) << line;
        previous = a.actions[found].value;
    }

    Position start{};
    start.remainRoll = RollsPerTurn;
    EXPECT_EQ(linesOf(printed(start, false)).back(),
              "roll all five                     191.7744    0.0000");
}

TEST(Analyse, PrintsOneJsonObject) {
    Position start{};
    start.remainRoll = RollsPerTurn;
    EXPECT_EQ(printed(start, true),
              "{\"sheet_points\": 0, \"actions\": [{\"action\": \"roll\", \"keep\": [], \"value\": "
              "191.7744, \"cost\": 0.0000}]}\n");

    // Only Sixes and Jorvo open, five sixes: Jorvo is best; keeps list their faces lowest first.
    const Read r = read("aces=3,deuces=6,threes=9,fours=12,fives=15,choice=20,4ofakind=0,"
                        "fullhouse=0,sstraight=15,lstraight=30",
                        "6,6,6,6,6", "1");
    ASSERT_TRUE(r.ok) << r.message;
    const std::string json = printed(r.position, true);
    EXPECT_EQ(json.rfind("{\"sheet_points\": 110, \"actions\": [{\"action\": \"record\", "
                         "\"category\": \"jorvo\", \"index\": 11, \"value\": ",
                         0),
              0u)
        << json;
    EXPECT_NE(json.find("{\"action\": \"record\", \"category\": \"sixes\", \"index\": 5, "),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"keep\": [6, 6, 6, 6, 6]"), std::string::npos) << json;
    EXPECT_NE(json.find("\"keep\": []"), std::string::npos) << json;
    const Analysis a = analysePosition(table(), r.position);
    std::size_t objects = 0;
    for (std::size_t at = json.find("{\"action\""); at != std::string::npos;
         at = json.find("{\"action\"", at + 1)) {
        ++objects;
    }
    EXPECT_EQ(objects, static_cast<std::size_t>(a.actionCount));
    EXPECT_EQ(json.back(), '\n');
    EXPECT_EQ(json.find('\n'), json.size() - 1) << "one line";
}
