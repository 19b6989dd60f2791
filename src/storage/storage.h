// Where the ranking file lives, and the file operations that differ between platforms: the
// folders created on first use, the lock that serialises saves, and the atomic replacement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t PathBytes = 1024;
constexpr std::size_t ReasonBytes = 256;

// What went wrong, for the message shown to the player: the file or folder at fault and the
// system's reason, and the result that a failed save could not keep, as text ("" for none).
struct StorageError {
    char path[PathBytes];
    char reason[ReasonBytes];
    char unsaved[64];
};

// A ranking file that is a symbolic link stands for the file it leads to: that file is read,
// created when missing (in a folder that must exist), and replaced, and the link stays. The lock
// stays beside the link.
//
// Opens the ranking file for reading, creating its folders and an empty file when they are
// missing. Returns nullptr and fills `error` when it cannot.
std::FILE* openRankingFile(StorageError& error);

using RankingLock = std::intptr_t;
constexpr RankingLock NoLock = -1;

// Takes the exclusive lock that one save holds from reading the file to replacing it. Without
// `busy` it waits while another game holds it; with `busy` it does not wait, and returns NoLock
// with `*busy` set then. NoLock on failure, with `error` filled (and `*busy` cleared).
RankingLock lockRanking(StorageError& error, bool* busy = nullptr);
void unlockRanking(RankingLock lock);

// Checks at start-up what a save will need, so that a fault is found before the game rather than
// after it: that the lock file can be opened or made, and locked (unless another game holds it
// now), and that a file can be made in the folder that will hold the temporary file. Where that
// folder does not let a file be made, `error` names the folder.
bool checkRankingSave(StorageError& error);

// Replaces the ranking file with `size` bytes of `data`: written beside it (beside the file a link
// leads to), flushed to disk, then renamed over it, so that the file holds either the old ranking
// or the new one, never neither.
bool replaceRankingFile(const char* data, std::size_t size, StorageError& error);
