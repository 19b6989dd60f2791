// The ten best single-player results: the table, its file format and the merge of a new result.
// Pure: no console and no storage, so that the fuzzer can take it alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

constexpr int RankCount = 10;
// A name takes at most nine screen columns, a wide character (Hangul) counting two, so that the
// ranking screen's ten-column field always holds it.
constexpr int NameColumns = 9;
// Nine one-column characters of up to four UTF-8 bytes each, and the terminating zero.
constexpr int NameBytes = NameColumns * 4 + 1;

// One place of the ranking; rank 0 marks a slot with no entry. Real entries always come first.
struct RankEntry {
    int rank;
    char name[NameBytes];
    int score;
};

using RankTable = std::array<RankEntry, RankCount>;

// ---- the file format ----------------------------------------------------------------------------
// One "place<TAB>name<TAB>score" line an entry, in UTF-8. Reading goes line by line: a line of
// three blank-separated words, an int, a name and an int, is an entry; any other line (empty, a
// word more or fewer, a number that is no int) is skipped, and reading goes on with the next. A
// name is cut at the last whole character within NameColumns, and anything unprintable in it
// becomes '?'. The file may start with a byte order mark: UTF-8's is skipped, and after UTF-16's
// (either byte order) the file is read as UTF-16.
//
// The table keeps the ten best entries of the file, highest score first and equal scores in the
// file's order, whatever order the file had. Each keeps the place the file gave it (one outside
// 1..10 takes its position), but what is shown and written is the position, 1 to 10.
void readRanking(std::FILE* file, RankTable& r);
// Writes the real entries, places renumbered 1, 2, ...; returns the bytes used, or 0 if `size`
// is too small.
std::size_t formatRanking(const RankTable& r, char* out, std::size_t size);
// Puts a new result in front of the first entry with a strictly lower score (or the first empty
// slot) and renumbers the places; a result below all ten changes nothing but the numbering.
void mergeResult(RankTable& r, const char* name, int score);
