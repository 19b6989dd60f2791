// Feeds arbitrary ranking files and results to the reader and the merge. After every input the
// table must be well formed (real entries first, then empty slots; places 1..10; names
// terminated within their field, printable, without blanks and at most nine columns wide), each
// line must be read as it would be alone and the table hold the ten best of those entries in
// order, the same text must read the same in UTF-8 with a byte order mark and in UTF-16 of either
// byte order with one, the merge must put the result where it belongs, and writing a table out
// and reading it back must give the same table.
#include "ranking/ranking_file.h"
#include "text/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "ranking fuzzer: %s\n", what);
        std::abort();
    }
}

int entryCount(const RankTable& r) {
    int count = 0;
    while (count < RankCount && r[count].rank != 0) {
        ++count;
    }
    return count;
}

bool nameIsWellFormed(const RankEntry& entry) {
    const void* end = std::memchr(entry.name, '\0', sizeof entry.name);
    if (end == nullptr) {
        return false;
    }
    const std::size_t size = static_cast<std::size_t>(static_cast<const char*>(end) - entry.name);
    if (size == 0) {
        return false;
    }
    const char* p = entry.name;
    std::size_t left = size;
    int columns = 0;
    while (left > 0) {
        char32_t c = 0;
        const int used = decodeUtf8(p, left, &c);
        if (used <= 0 || (!isNameCharacter(c) && c != U'?')) {
            return false;
        }
        p += used;
        left -= static_cast<std::size_t>(used);
        columns += displayWidth(c);
    }
    return columns <= NameColumns;
}

void checkWellFormed(const RankTable& r) {
    const int count = entryCount(r);
    for (int i = 0; i < count; ++i) {
        check(r[i].rank >= 1 && r[i].rank <= RankCount, "a place outside 1..10");
        check(nameIsWellFormed(r[i]),
              "a name that is unterminated, empty, too long or unprintable");
    }
    for (int i = count; i < RankCount; ++i) {
        const RankEntry& slot = r[i];
        check(slot.rank == 0 && slot.name[0] == '\0' && slot.score == 0,
              "an empty slot that holds something, or an entry after an empty slot");
    }
}

RankTable readFrom(const char* data, std::size_t size) {
    RankTable r;
    std::memset(&r, 0x5A, sizeof r); // the reader must replace whatever was there
    // fmemopen cannot open an empty buffer everywhere; a one-byte blank reads the same.
    static const char Blank[] = " ";
    std::FILE* file = size > 0 ? fmemopen(const_cast<char*>(data), size, "r")
                               : fmemopen(const_cast<char*>(Blank), 1, "r");
    check(file != nullptr, "fmemopen failed");
    readRanking(file, r);
    std::fclose(file);
    return r;
}

constexpr char Utf8Mark[] = "\xEF\xBB\xBF";

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A line's entry does not depend on the lines around it: the table holds the ten best of the
// entries that the lines give when each is read alone, highest score first and equal scores in
// the lines' order. A place outside 1..10 becomes the entry's position, which alone is 1. A line
// after the first is read alone behind a UTF-8 mark, so that its own first bytes are read as the
// text they are and not taken for a mark. Text that starts with a UTF-16 mark is no lines of
// bytes, and is checked against UTF-8 in checkEncodings instead.
void checkLineByLine(const std::string& content, const RankTable& whole) {
    if (startsWith(content, "\xFF\xFE") || startsWith(content, "\xFE\xFF")) {
        return;
    }
    std::vector<RankEntry> entries;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end;
        const std::string line = (start == 0 ? "" : Utf8Mark) + content.substr(start, end - start);
        const RankTable alone = readFrom(line.data(), line.size());
        check(entryCount(alone) <= 1, "a line read alone that gives more than one entry");
        if (entryCount(alone) == 1) {
            entries.push_back(alone[0]);
        }
        start = end + 1;
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RankEntry& a, const RankEntry& b) { return a.score > b.score; });
    const int count = entryCount(whole);
    check(count == std::min<int>(RankCount, static_cast<int>(entries.size())),
          "a table that does not hold the ten best entries of the lines");
    for (int i = 0; i < count; ++i) {
        const RankEntry& entry = whole[i];
        const RankEntry& alone = entries[static_cast<std::size_t>(i)];
        check(entry.score == alone.score && std::strcmp(entry.name, alone.name) == 0,
              "a line read otherwise than alone, or an entry out of order");
        check(entry.rank == alone.rank || (alone.rank == 1 && entry.rank == i + 1),
              "a line whose place is read otherwise than alone");
    }
}

bool sameTables(const RankTable& a, const RankTable& b) {
    for (int i = 0; i < RankCount; ++i) {
        if (a[i].rank != b[i].rank || a[i].score != b[i].score ||
            std::strcmp(a[i].name, b[i].name) != 0) {
            return false;
        }
    }
    return true;
}

// The text as UTF-8 with a mark and as UTF-16 of either byte order with a mark reads the same.
// The bytes are taken as UTF-8 first, with U+FFFD for what is malformed and for what UTF-16
// cannot carry (surrogates), so that every form holds the same characters.
void checkEncodings(const std::string& content) {
    std::string utf8 = Utf8Mark;
    std::string little = "\xFF\xFE";
    std::string big = "\xFE\xFF";
    const auto unit = [&](char32_t u) {
        little += static_cast<char>(u & 0xFF);
        little += static_cast<char>(u >> 8);
        big += static_cast<char>(u >> 8);
        big += static_cast<char>(u & 0xFF);
    };
    for (const Utf8Char character : Utf8Text{content.data(), content.size()}) {
        char32_t c = character.codePoint;
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        char bytes[4];
        utf8.append(bytes, static_cast<std::size_t>(encodeUtf8(c, bytes)));
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    const RankTable marked = readFrom(utf8.data(), utf8.size());
    checkWellFormed(marked);
    check(sameTables(readFrom(little.data(), little.size()), marked),
          "UTF-16 little-endian read otherwise than UTF-8");
    check(sameTables(readFrom(big.data(), big.size()), marked),
          "UTF-16 big-endian read otherwise than UTF-8");
    // Behind its mark the text is read as it is without one, unless it starts with a mark itself.
    const std::string plain = utf8.substr(3);
    if (!startsWith(plain, Utf8Mark)) {
        check(sameTables(readFrom(plain.data(), plain.size()), marked),
              "UTF-8 read otherwise with its mark than without");
    }
}

// Written out and read back, a table gives the same entries, numbered by position.
void checkRoundTrip(const RankTable& r) {
    char text[RankCount * (NameBytes + 32)];
    const std::size_t size = formatRanking(r, text, sizeof text);
    const int count = entryCount(r);
    check(count == 0 || size > 0, "a table that does not fit its own buffer");
    const RankTable back = readFrom(text, size);
    check(entryCount(back) == count, "a round trip that changes the number of entries");
    for (int i = 0; i < count; ++i) {
        check(back[i].rank == i + 1, "a round trip that does not number places by position");
        check(std::strcmp(back[i].name, r[i].name) == 0, "a round trip that changes a name");
        check(back[i].score == r[i].score, "a round trip that changes a score");
    }
}

// A name as the prompt would accept it: printable characters without blanks, in at most
// NameColumns columns.
void nameFrom(FuzzedDataProvider& input, char (&name)[NameBytes]) {
    std::memset(name, 0, sizeof name);
    const std::string raw = input.ConsumeRandomLengthString(64);
    const char* p = raw.data();
    std::size_t left = raw.size();
    int length = 0;
    int columns = 0;
    while (left > 0) {
        char32_t c = 0;
        const int used = decodeUtf8(p, left, &c);
        if (isNameCharacter(c)) {
            columns += displayWidth(c);
            if (columns > NameColumns) {
                break;
            }
            length += encodeUtf8(c, name + length);
        }
        p += used;
        left -= static_cast<std::size_t>(used);
    }
    if (length == 0) {
        name[0] = 'x';
    }
}

// The merge against a plain model: the result goes before the first entry with a strictly lower
// score, or after the last entry when there is room, and the table keeps at most ten.
void checkMerge(const RankTable& before, const char* name, int score) {
    RankTable after = before;
    mergeResult(after, name, score);
    checkWellFormed(after);
    const int count = entryCount(before);
    int place = 0;
    while (place < count && !(score > before[place].score)) {
        ++place;
    }
    const bool enters = place < RankCount;
    const int expectedCount = enters ? (count < RankCount ? count + 1 : RankCount) : count;
    check(entryCount(after) == expectedCount, "a merge that keeps the wrong number of entries");
    for (int i = 0; i < expectedCount; ++i) {
        check(after[i].rank == i + 1, "a merge that does not renumber the places");
        const RankEntry* expected = nullptr;
        if (enters && i == place) {
            check(after[i].score == score && std::strcmp(after[i].name, name) == 0,
                  "a merge that puts the result in the wrong place");
            continue;
        }
        expected = &before[enters && i > place ? i - 1 : i];
        check(after[i].score == expected->score && std::strcmp(after[i].name, expected->name) == 0,
              "a merge that loses or reorders a stored entry");
    }
    checkRoundTrip(after);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int score = input.ConsumeIntegral<int>();
    char name[NameBytes];
    nameFrom(input, name);
    const std::string content = input.ConsumeRemainingBytesAsString();

    const RankTable r = readFrom(content.data(), content.size());
    checkWellFormed(r);
    checkLineByLine(content, r);
    checkEncodings(content);
    checkRoundTrip(r);
    checkMerge(r, name, score);
    return 0;
}
