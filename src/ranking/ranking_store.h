// The ranking file on disk: loaded at start-up, and the new result saved into it under the lock.
#pragma once

#include "ranking/ranking_file.h"
#include "storage/storage.h"

enum class SaveResult { Saved, InputEnded, Failed };

// Loads the table at start-up, and checks that a save will find what it needs (see
// checkRankingSave); false with `error` filled when the file cannot be opened or a save could
// not be made.
bool loadRanking(RankTable& r, StorageError& error);
// Asks the player's name on row 25 and enters `total` into the ranking file. On failure `error`
// also holds, in `unsaved`, the name and the total that were not saved.
SaveResult saveRanking(RankTable& r, int total, StorageError& error);
