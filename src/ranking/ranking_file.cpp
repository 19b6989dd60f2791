#include "ranking/ranking_file.h"

#include "text/text.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// A number or a name longer than this is cut while it is read.
constexpr std::size_t WordBytes = 64;
// The words of an entry's line: place, name, score.
constexpr int LineWords = 3;

// ---- reading ------------------------------------------------------------------------------------

// Blanks separate the words of a line; a CR before the line break is one of them.
bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The first three words of one line, each cut to WordBytes - 1 bytes, and how many words the line
// has (counted up to one past three, which is all that matters).
struct Line {
    char words[LineWords][WordBytes];
    bool cut[LineWords];
    int count;
};

// Reads one line, up to its line break or the end of the file. False if the file had ended.
bool readLine(std::FILE* file, Line& line) {
    int c = std::getc(file);
    if (c == EOF) {
        return false;
    }
    line.count = 0;
    std::size_t length = 0;
    bool inWord = false;
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (isBlank(c)) {
            inWord = false;
            continue;
        }
        if (!inWord) {
            inWord = true;
            if (line.count <= LineWords) {
                ++line.count;
            }
            length = 0;
            if (line.count <= LineWords) {
                line.words[line.count - 1][0] = '\0';
                line.cut[line.count - 1] = false;
            }
        }
        if (line.count > LineWords) {
            continue;
        }
        char* word = line.words[line.count - 1];
        if (length + 1 < WordBytes) {
            // A zero byte would end the word early, and a name cut to nothing would not read back.
            word[length++] = c == '\0' ? '?' : static_cast<char>(c);
            word[length] = '\0';
        } else {
            line.cut[line.count - 1] = true;
        }
    }
    return true;
}

bool parseNumber(const char* word, int* value) {
    const char* p = word;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    if (*p == '\0') {
        return false;
    }
    long long n = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        n = n * 10 + (*p - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) {
            return false;
        }
    }
    n = negative ? -n : n;
    if (n > INT_MAX || n < INT_MIN) {
        return false;
    }
    *value = static_cast<int>(n);
    return true;
}

// Copies `word` up to the last whole character within NameColumns, with '?' for anything that
// must not reach the screen: control characters, escape sequences, malformed UTF-8.
void copyName(const char* word, char (&name)[NameBytes]) {
    int length = 0;
    int columns = 0;
    for (const Utf8Char character : Utf8Text{word, std::strlen(word)}) {
        char32_t c = character.codePoint;
        if (!isNameCharacter(c)) {
            c = U'?';
        }
        columns += displayWidth(c);
        if (columns > NameColumns) {
            break;
        }
        length += encodeUtf8(c, name + length);
    }
    name[length] = '\0';
}

// The entry a line holds, if it is one: three words, the first and the last whole ints.
bool readEntry(const Line& line, RankEntry& entry) {
    if (line.count != LineWords || line.cut[0] || line.cut[2] ||
        !parseNumber(line.words[0], &entry.rank) || !parseNumber(line.words[2], &entry.score)) {
        return false;
    }
    copyName(line.words[1], entry.name);
    return true;
}

} // namespace

void readRanking(std::FILE* file, RankTable& r) {
    r = RankTable{};
    Line line{};
    int slot = 0;
    while (slot < RankCount && readLine(file, line)) {
        RankEntry entry{};
        if (!readEntry(line, entry)) {
            continue;
        }
        // Places outside 1..10 cannot be shown in their field, and 0 would end the table: such
        // an entry takes its position instead.
        if (entry.rank < 1 || entry.rank > RankCount) {
            entry.rank = slot + 1;
        }
        r[slot++] = entry;
    }
}

std::size_t formatRanking(const RankTable& r, char* out, std::size_t size) {
    std::size_t used = 0;
    for (int i = 0; i < RankCount && r[i].rank != 0; ++i) {
        const int written =
            std::snprintf(out + used, size - used, "%d\t%s\t%d\n", i + 1, r[i].name, r[i].score);
        if (written < 0 || static_cast<std::size_t>(written) >= size - used) {
            return 0;
        }
        used += static_cast<std::size_t>(written);
    }
    return used;
}

void mergeResult(RankTable& r, const char* name, int score) {
    RankTable merged{};
    int j = 0;
    bool pending = true;
    for (int k = 0; k < RankCount; ++k) {
        const bool storedLeft = j < RankCount && r[j].rank != 0;
        if (pending && (!storedLeft || score > r[j].score)) {
            merged[k].score = score;
            std::snprintf(merged[k].name, sizeof merged[k].name, "%s", name);
            pending = false;
        } else if (storedLeft) {
            merged[k] = r[j++];
        } else {
            break;
        }
        merged[k].rank = k + 1;
    }
    r = merged;
}
