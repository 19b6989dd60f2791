// The ranking file on disk: loaded at start-up, and the new result saved into it under the lock.
#pragma once

#include "ranking/ranking_file.h"
#include "storage/storage.h"

enum class SaveResult { Saved, InputEnded, Failed };

// Loads the table at start-up; false with `error` filled when the file cannot be opened.
bool loadRanking(RankTable& r, StorageError& error);
// Asks the player's name on row 25 and enters `total` into the ranking file.
SaveResult saveRanking(RankTable& r, int total, StorageError& error);
