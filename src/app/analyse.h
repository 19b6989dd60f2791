// --analyse: the engine asked about one position given on the command line, without a terminal,
// for a player with real dice at a table or for a script.
#pragma once

#include "app/options.h"
#include "strategy/strategy.h"

#include <cstddef>
#include <cstdio>

// The name of category c on the command line and in JSON: its label on the sheet, lowercased,
// blanks and dots left out ("aces", "4ofakind", "sstraight").
void categoryKey(int c, char* out, std::size_t size);

// Reads the position of --sheet, --dice and --rolls (sheet or dice null when not given: a new
// sheet, no dice). False with a one-line `message` naming what it cannot take: an unknown
// category, one given twice, a score no roll gives that category, a full sheet, other than five
// dice, a face outside 1 to 6, rolls outside 0 to 3, dice with 3 rolls left or none with fewer.
bool readAnalysedPosition(const char* sheet, const char* dice, const char* rolls,
                          Position& position, char* message, std::size_t messageSize);

// Prints every action of `analysis` (of `position`), the best first and then by falling value,
// in words with its expected final total and its cost against the best: as a table, or as one
// JSON object with `json`.
void printAnalysis(std::FILE* out, const Position& position, const Analysis& analysis, bool json);

// The whole of --analyse: reads the position, builds the engine's table on `threads` threads and
// prints the analysis to `out`. Returns the exit status: 0, or ExitUsage with the message on `err`
// for a position it cannot take.
int runAnalysis(const Options& options, int threads, std::FILE* out, std::FILE* err);
