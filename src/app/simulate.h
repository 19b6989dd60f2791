// --simulate: the engine plays games alone, without a terminal, and their statistics are printed.
#pragma once

#include <cstdint>
#include <cstdio>

// Plays `games` games from `seed` at `level` and prints what they scored to `out`; below the best
// level also the chance to win against as many games of the best play from the same seed.
// Returns the exit status.
int runSimulation(long long games, std::uint64_t seed, int level, std::FILE* out);
