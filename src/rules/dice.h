// The five dice as the rules know them: a face for each, and the generator every roll draws from.
// Pure: no screen, no clock. The same seed gives the same faces on every platform.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

constexpr int DiceCount = 5;
constexpr int FaceCount = 6;

// The face of each die, 1..6, left to right; also used for the five hold flags, 1 = held.
using Dice = std::array<int, DiceCount>;

// xoshiro256** seeded through splitmix64: fast, with a period no run comes near, and the same
// numbers on every platform, unlike the C library's generator.
struct DiceRandom {
    std::uint64_t s[4];
};

constexpr std::uint64_t splitMix(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The generator of one stream of a seed: self-play gives each game a stream of its own, so that a
// game's dice do not depend on which thread plays it; a played game uses stream 0.
constexpr DiceRandom seededRandom(std::uint64_t seed, std::uint64_t stream) {
    std::uint64_t x = seed;
    std::uint64_t mixed = splitMix(x) ^ stream;
    DiceRandom r{};
    for (std::uint64_t& word : r.s) {
        word = splitMix(mixed);
    }
    return r;
}

constexpr std::uint64_t nextRandom(DiceRandom& r) {
    const std::uint64_t result = std::rotl(r.s[1] * 5, 7) * 9;
    const std::uint64_t t = r.s[1] << 17;
    r.s[2] ^= r.s[0];
    r.s[3] ^= r.s[1];
    r.s[1] ^= r.s[2];
    r.s[0] ^= r.s[3];
    r.s[2] ^= t;
    r.s[3] = std::rotl(r.s[3], 45);
    return result;
}

// A face index 0..5, exactly uniform: 32 random bits scaled by six, the few values that would
// favour some faces drawn again.
constexpr int rollFace(DiceRandom& r) {
    constexpr std::uint32_t Uneven = (0u - FaceCount) % FaceCount; // 2^32 mod 6
    while (true) {
        const std::uint64_t scaled = (nextRandom(r) >> 32) * FaceCount;
        if (static_cast<std::uint32_t>(scaled) >= Uneven) {
            return static_cast<int>(scaled >> 32);
        }
    }
}
