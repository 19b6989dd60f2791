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

// ---- the bytes of the file ---------------------------------------------------------------------

// What an editor may have saved: UTF-8, with or without a byte order mark, or UTF-16 with its
// mark in either byte order. The reader takes UTF-8 bytes, so UTF-16 is turned into UTF-8 as it
// is read.
enum class Encoding { Utf8, Utf16Little, Utf16Big };

constexpr char32_t Replacement = 0xFFFD;

struct Source {
    std::FILE* file;
    Encoding encoding;
    // UTF-8 bytes ready to be taken: the bytes at the start that were no mark, or one character
    // decoded from UTF-16.
    unsigned char bytes[4];
    int count;
    int next;
    // A UTF-16 unit read after a high surrogate that was not its pair, to be decoded next.
    int heldUnit;
};

void putBack(Source& source, const unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        source.bytes[i] = bytes[i];
    }
    source.count = count;
    source.next = 0;
}

// Reads the byte order mark, if there is one, and keeps any other bytes it looked at.
Source openSource(std::FILE* file) {
    Source source{file, Encoding::Utf8, {}, 0, 0, -1};
    static const unsigned char Utf8Mark[] = {0xEF, 0xBB, 0xBF};
    unsigned char start[3];
    int count = 0;
    for (; count < 3; ++count) {
        const int c = std::getc(file);
        if (c == EOF) {
            break;
        }
        start[count] = static_cast<unsigned char>(c);
        const bool utf16 = count == 1 && (start[0] == 0xFF || start[0] == 0xFE);
        if (utf16 && start[1] == (start[0] ^ 0x01)) {
            source.encoding = start[0] == 0xFF ? Encoding::Utf16Little : Encoding::Utf16Big;
            return source;
        }
        const bool mayBeUtf16 = count == 0 && (c == 0xFF || c == 0xFE);
        if (!mayBeUtf16 && start[count] != Utf8Mark[count]) {
            putBack(source, start, count + 1);
            return source;
        }
    }
    if (count < 3) {
        putBack(source, start, count);
    }
    return source;
}

// The next UTF-16 unit, or -1 at the end of the file. An odd last byte is a unit of its own that
// cannot be decoded.
int readUnit(Source& source) {
    if (source.heldUnit >= 0) {
        const int unit = source.heldUnit;
        source.heldUnit = -1;
        return unit;
    }
    const int first = std::getc(source.file);
    if (first == EOF) {
        return -1;
    }
    const int second = std::getc(source.file);
    if (second == EOF) {
        return static_cast<int>(Replacement);
    }
    return source.encoding == Encoding::Utf16Little ? first | second << 8 : first << 8 | second;
}

// The next character of a UTF-16 file: a pair of surrogates is one character, and half a pair
// alone stands for nothing and reads as U+FFFD.
bool readUtf16Character(Source& source, char32_t& c) {
    const int unit = readUnit(source);
    if (unit < 0) {
        return false;
    }
    c = static_cast<char32_t>(unit);
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        c = Replacement;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
        const int low = readUnit(source);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            c = 0x10000 + (static_cast<char32_t>(unit - 0xD800) << 10) +
                static_cast<char32_t>(low - 0xDC00);
        } else {
            source.heldUnit = low;
            c = Replacement;
        }
    }
    return true;
}

// The next byte of the file as UTF-8, or EOF.
int nextByte(Source& source) {
    if (source.next < source.count) {
        return source.bytes[source.next++];
    }
    if (source.encoding == Encoding::Utf8) {
        return std::getc(source.file);
    }
    char32_t c = 0;
    if (!readUtf16Character(source, c)) {
        return EOF;
    }
    char bytes[4];
    putBack(source, reinterpret_cast<const unsigned char*>(bytes), encodeUtf8(c, bytes));
    return source.bytes[source.next++];
}

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
bool readLine(Source& source, Line& line) {
    int c = nextByte(source);
    if (c == EOF) {
        return false;
    }
    line.count = 0;
    std::size_t length = 0;
    bool inWord = false;
    for (; c != EOF && c != '\n'; c = nextByte(source)) {
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
    Source source = openSource(file);
    Line line{};
    int count = 0;
    while (readLine(source, line)) {
        RankEntry entry{};
        if (!readEntry(line, entry)) {
            continue;
        }
        // Behind every entry with the same score or a higher one, so that equal scores keep the
        // file's order; below the tenth it is not kept.
        int at = count;
        while (at > 0 && r[at - 1].score < entry.score) {
            --at;
        }
        if (at >= RankCount) {
            continue;
        }
        for (int i = (count < RankCount ? count : RankCount - 1); i > at; --i) {
            r[i] = r[i - 1];
        }
        r[at] = entry;
        count += count < RankCount ? 1 : 0;
    }
    // Places outside 1..10 would not fit their field, and 0 would end the table: such an entry
    // takes its position instead. The places shown and written are the positions anyway.
    for (int i = 0; i < count; ++i) {
        if (r[i].rank < 1 || r[i].rank > RankCount) {
            r[i].rank = i + 1;
        }
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
