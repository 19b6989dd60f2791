// --simulate: the engine plays games alone, without a terminal, and their statistics are printed.
#pragma once

#include <cstdint>
#include <cstdio>

// Plays `games` games from `seed` and prints what they scored to `out`; returns the exit status.
int runSimulation(long long games, std::uint64_t seed, std::FILE* out);
