// Feeds arbitrary ranking files and results to the reader and the merge. After every input the
// table must be well formed (real entries first, then empty slots; places 1..10; names
// terminated within their field, printable, without blanks and at most nine columns wide), each
// line must be read as it would be alone, the merge must put the result where it belongs, and
// writing a table out and reading it back must give the same table.
#include "ranking/ranking_file.h"
#include "text/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

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

// A line's entry does not depend on the lines around it: the table holds, in order, the first ten
// entries that the lines give when each is read alone. A place outside 1..10 becomes the entry's
// position, which alone is 1.
void checkLineByLine(const std::string& content, const RankTable& whole) {
    const int count = entryCount(whole);
    int found = 0;
    std::size_t start = 0;
    while (start < content.size() && found < RankCount) {
        std::size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end;
        const RankTable alone = readFrom(content.data() + start, end - start);
        check(entryCount(alone) <= 1, "a line read alone that gives more than one entry");
        if (entryCount(alone) == 1) {
            check(found < count, "a line whose entry is missing from the table");
            const RankEntry& entry = whole[found];
            check(entry.score == alone[0].score && std::strcmp(entry.name, alone[0].name) == 0,
                  "a line read otherwise than alone");
            check(entry.rank == alone[0].rank || (alone[0].rank == 1 && entry.rank == found + 1),
                  "a line whose place is read otherwise than alone");
            ++found;
        }
        start = end + 1;
    }
    check(found == count, "a table with an entry that no line gives");
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
    checkRoundTrip(r);
    checkMerge(r, name, score);
    return 0;
}
