#include "app/analyse.h"

#include "play/advice.h"
#include "play/game_screen.h"
#include "rules/rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <system_error>

namespace {

// Whether some roll scores `score` in category c.
bool scoreCanBe(int c, int score) {
    Dice dice{};
    for (int roll = 0; roll < 7776; ++roll) {
        int code = roll;
        for (int& face : dice) {
            face = code % FaceCount + 1;
            code /= FaceCount;
        }
        if (evaluateCategories(dice).scores[c] == score) {
            return true;
        }
    }
    return false;
}

bool sameKey(std::string_view name, int c) {
    char key[32];
    categoryKey(c, key, sizeof key);
    if (name.size() != std::strlen(key)) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != key[i]) {
            return false;
        }
    }
    return true;
}

int categoryNamed(std::string_view name) {
    for (int c = 0; c < CategoryCount; ++c) {
        if (sameKey(name, c)) {
            return c;
        }
    }
    return -1;
}

bool wholeNumber(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || stop != text.data() + text.size() || text.empty() || value < low ||
        value > high) {
        return false;
    }
    out = value;
    return true;
}

// The items of a comma-separated list, at most `room` of them; returns their number, or room + 1
// when there are more.
template <std::size_t Room>
int splitList(std::string_view text, std::array<std::string_view, Room>& items) {
    int n = 0;
    for (;;) {
        const std::size_t comma = text.find(',');
        if (n == static_cast<int>(Room)) {
            return n + 1;
        }
        items[static_cast<std::size_t>(n++)] = text.substr(0, comma);
        if (comma == std::string_view::npos) {
            return n;
        }
        text.remove_prefix(comma + 1);
    }
}

bool readSheetList(const char* text, Position& position, char* message, std::size_t size) {
    if (text == nullptr || *text == '\0') {
        return true;
    }
    std::array<std::string_view, CategoryCount + 1> items;
    const int count = splitList(text, items);
    for (int i = 0; i < count && i < static_cast<int>(items.size()); ++i) {
        const std::string_view item = items[static_cast<std::size_t>(i)];
        const std::size_t equals = item.find('=');
        const std::string_view name = item.substr(0, equals);
        if (item.empty()) {
            std::snprintf(message, size, "--sheet: an empty item in '%s'", text);
            return false;
        }
        const int c = categoryNamed(name);
        if (c < 0) {
            std::snprintf(message, size,
                          "--sheet: no category is called '%.*s' (the categories: aces, deuces, "
                          "threes, fours, fives, sixes, choice, 4ofakind, fullhouse, sstraight, "
                          "lstraight, jorvo)",
                          static_cast<int>(name.size()), name.data());
            return false;
        }
        if (position.selected[c] != 0) {
            std::snprintf(message, size, "--sheet gives %.*s twice", static_cast<int>(name.size()),
                          name.data());
            return false;
        }
        int score = 0;
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : item.substr(equals + 1);
        if (equals == std::string_view::npos || !wholeNumber(value, 0, MaxTotal, score)) {
            std::snprintf(message, size, "--sheet: '%.*s' needs a score after '=', as aces=3",
                          static_cast<int>(item.size()), item.data());
            return false;
        }
        if (!scoreCanBe(c, score)) {
            std::snprintf(message, size, "--sheet: %.*s=%d: no roll scores %d in %s",
                          static_cast<int>(name.size()), name.data(), score, score,
                          categoryLabel(c));
            return false;
        }
        position.selected[c] = 1;
        position.scores[c] = score;
    }
    if (std::count(position.selected.begin(), position.selected.end(), 1) == CategoryCount) {
        std::snprintf(message, size, "--sheet records every category: the game is over");
        return false;
    }
    return true;
}

bool readDice(const char* text, Position& position, char* message, std::size_t size) {
    std::array<std::string_view, DiceCount> items;
    const int count = *text == '\0' ? 0 : splitList(text, items);
    if (count != DiceCount) {
        const long given = *text == '\0' ? 0 : 1 + std::count(text, text + std::strlen(text), ',');
        std::snprintf(message, size, "--dice takes five faces, as 6,6,3,2,1, not %ld ('%s')", given,
                      text);
        return false;
    }
    for (int i = 0; i < DiceCount; ++i) {
        const std::string_view item = items[static_cast<std::size_t>(i)];
        if (!wholeNumber(item, 1, FaceCount, position.dice[static_cast<std::size_t>(i)])) {
            std::snprintf(message, size, "--dice: a face is 1 to 6, not '%.*s'",
                          static_cast<int>(item.size()), item.data());
            return false;
        }
    }
    return true;
}

// "aces 3, sixes 24", or "nothing recorded".
void describeSheet(const Position& position, char* out, std::size_t size) {
    std::snprintf(out, size, "nothing recorded");
    std::size_t used = 0;
    for (int c = 0; c < CategoryCount && used < size; ++c) {
        if (position.selected[c] != 0) {
            char key[32];
            categoryKey(c, key, sizeof key);
            used += static_cast<std::size_t>(std::snprintf(out + used, size - used, "%s%s %d",
                                                           used == 0 ? "" : ", ", key,
                                                           position.scores[c]));
        }
    }
}

// The order the actions are printed in: the best, then the rest by falling value, equal values
// in the engine's order.
int printOrder(const Analysis& analysis, std::array<int, CategoryCount + 32>& order) {
    int n = 0;
    order[static_cast<std::size_t>(n++)] = analysis.best;
    for (int i = 0; i < analysis.actionCount; ++i) {
        if (i != analysis.best) {
            order[static_cast<std::size_t>(n++)] = i;
        }
    }
    std::stable_sort(order.begin() + 1, order.begin() + n, [&analysis](int a, int b) {
        return analysis.actions[a].value > analysis.actions[b].value;
    });
    return n;
}

void printJson(std::FILE* out, const Analysis& analysis, const int* order, int count) {
    const double best = analysis.actions[analysis.best].value;
    std::fprintf(out, "{\"sheet_points\": %d, \"actions\": [",
                 static_cast<int>(std::lround(analysis.sheetPoints)));
    for (int n = 0; n < count; ++n) {
        const Action& a = analysis.actions[order[n]];
        std::fprintf(out, "%s{", n == 0 ? "" : ", ");
        if (a.kind == ActionRecord) {
            char key[32];
            categoryKey(a.category, key, sizeof key);
            std::fprintf(out, "\"action\": \"record\", \"category\": \"%s\", \"index\": %d", key,
                         a.category);
        } else {
            std::fprintf(out, "\"action\": \"roll\", \"keep\": [");
            int kept = 0;
            for (int face = 1; face <= FaceCount; ++face) {
                for (int i = 0; i < a.hold[static_cast<std::size_t>(face - 1)]; ++i) {
                    std::fprintf(out, "%s%d", kept++ == 0 ? "" : ", ", face);
                }
            }
            std::fprintf(out, "]");
        }
        std::fprintf(out, ", \"value\": %.4f, \"cost\": %.4f}", a.value, best - a.value);
    }
    std::fprintf(out, "]}\n");
}

} // namespace

void categoryKey(int c, char* out, std::size_t size) {
    std::size_t n = 0;
    for (const char* label = categoryLabel(c); *label != '\0' && n + 1 < size; ++label) {
        if (*label != ' ' && *label != '.') {
            out[n++] = static_cast<char>(std::tolower(static_cast<unsigned char>(*label)));
        }
    }
    if (size > 0) {
        out[n] = '\0';
    }
}

bool readAnalysedPosition(const char* sheet, const char* dice, const char* rolls,
                          Position& position, char* message, std::size_t messageSize) {
    position = Position{};
    position.dice = Dice{1, 2, 3, 4, 5}; // unused before the first roll
    if (!readSheetList(sheet, position, message, messageSize)) {
        return false;
    }
    if (rolls == nullptr || !wholeNumber(rolls, 0, RollsPerTurn, position.remainRoll)) {
        std::snprintf(message, messageSize,
                      "--rolls takes the rolls left after these dice, 2, 1 or 0, or 3 before the "
                      "turn's first roll; not '%s'",
                      rolls == nullptr ? "" : rolls);
        return false;
    }
    if (position.remainRoll == RollsPerTurn) {
        if (dice != nullptr) {
            std::snprintf(message, messageSize,
                          "--rolls 3 is before the turn's first roll, which has no dice yet: "
                          "it takes no --dice");
            return false;
        }
        return true;
    }
    if (dice == nullptr) {
        std::snprintf(message, messageSize, "--rolls %d needs --dice, the five faces rolled",
                      position.remainRoll);
        return false;
    }
    return readDice(dice, position, message, messageSize);
}

void printAnalysis(std::FILE* out, const Position& position, const Analysis& analysis, bool json) {
    std::array<int, CategoryCount + 32> order{};
    const int count = printOrder(analysis, order);
    if (json) {
        printJson(out, analysis, order.data(), count);
        return;
    }
    char sheet[256];
    describeSheet(position, sheet, sizeof sheet);
    std::fprintf(out, "Sheet: %d points (%s)\n",
                 static_cast<int>(std::lround(analysis.sheetPoints)), sheet);
    if (position.remainRoll == RollsPerTurn) {
        std::fprintf(out, "Before the turn's first roll\n");
    } else {
        std::fprintf(out, "Dice: %d %d %d %d %d, %d roll%s left\n", position.dice[0],
                     position.dice[1], position.dice[2], position.dice[3], position.dice[4],
                     position.remainRoll, position.remainRoll == 1 ? "" : "s");
    }
    std::fprintf(out, "\n%-22s %19s %9s\n", "action", "expected final total", "cost");
    const double best = analysis.actions[analysis.best].value;
    for (int n = 0; n < count; ++n) {
        const Action& a = analysis.actions[order[static_cast<std::size_t>(n)]];
        char words[40];
        describeAction(a, words, sizeof words);
        std::fprintf(out, "%-22s %19.4f %9.4f\n", words, a.value, best - a.value);
    }
}

int runAnalysis(const Options& options, int threads, std::FILE* out, std::FILE* err) {
    Position position;
    char message[256] = "";
    if (!readAnalysedPosition(options.sheet, options.dice, options.rolls, position, message,
                              sizeof message)) {
        std::fprintf(err, "jorvo-dice: %s\n", message);
        return ExitUsage;
    }
    // Only the states after this one are needed: those with the position's categories recorded.
    int recorded = 0;
    for (int c = 0; c < CategoryCount; ++c) {
        recorded |= position.selected[c] != 0 ? 1 << c : 0;
    }
    StrategyTable table;
    buildStrategyTableFrom(table, threads, recorded);
    const Analysis analysis = analysePosition(table, position);
    if (!analysis.valid) {
        std::fprintf(err, "jorvo-dice: the engine cannot take this position\n");
        return ExitUsage;
    }
    printAnalysis(out, position, analysis, options.json);
    return 0;
}
