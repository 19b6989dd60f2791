#include "ranking/ranking_file.h"

#include "text/text.h"

#include <cstdio>

#include <climits>
#include <cstring>

namespace {

// A number or a name longer than this is cut while it is read.
constexpr std::size_t WordBytes = 64;

// ---- reading ------------------------------------------------------------------------------------

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the next whitespace-separated word, keeping at most `size` - 1 bytes of it and skipping
// the rest. False at the end of the file.
bool readWord(std::FILE* file, char* out, std::size_t size) {
    int c = std::getc(file);
    while (c != EOF && isBlank(c)) {
        c = std::getc(file);
    }
    if (c == EOF) {
        return false;
    }
    std::size_t length = 0;
    while (c != EOF && !isBlank(c)) {
        if (length + 1 < size) {
            // A zero byte would end the word early, and a name cut to nothing would not read back.
            out[length++] = c == '\0' ? '?' : static_cast<char>(c);
        }
        c = std::getc(file);
    }
    out[length] = '\0';
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

// Copies at most NameCharacters characters of `word`, with '?' for anything that must not reach
// the screen: control characters, escape sequences, malformed UTF-8.
void copyName(const char* word, char (&name)[NameBytes]) {
    std::size_t size = std::strlen(word);
    int length = 0;
    for (int count = 0; size > 0 && count < NameCharacters; ++count) {
        char32_t c = 0;
        const int used = decodeUtf8(word, size, &c);
        if (isNameCharacter(c)) {
            length += encodeUtf8(c, name + length);
        } else {
            name[length++] = '?';
        }
        word += used;
        size -= static_cast<std::size_t>(used);
    }
    name[length] = '\0';
}

} // namespace

void readRanking(std::FILE* file, RankTable& r) {
    r = RankTable{};
    char word[WordBytes];
    for (int slot = 0; slot < RankCount; ++slot) {
        RankEntry entry{};
        if (!readWord(file, word, sizeof word) || !parseNumber(word, &entry.rank)) {
            return;
        }
        if (!readWord(file, word, sizeof word)) {
            return;
        }
        copyName(word, entry.name);
        if (!readWord(file, word, sizeof word) || !parseNumber(word, &entry.score)) {
            return;
        }
        // Places outside 1..10 cannot be shown in their field, and 0 would end the table: such
        // an entry takes its position instead.
        if (entry.rank < 1 || entry.rank > RankCount) {
            entry.rank = slot + 1;
        }
        r[slot] = entry;
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
