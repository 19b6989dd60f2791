#include "ranking/ranking_store.h"

#include "console/console.h"
#include "ranking/name_prompt.h"
#include "text/text.h"

#include <cstdio>

namespace {

constexpr int MessageX = 19, MessageY = 25;
// Shown in the prompt's place when another game's save holds the lock for longer than a second.
constexpr const char* WaitingMessage = "WAITING: ANOTHER GAME IS SAVING";
constexpr int LockPatienceMilliseconds = 1000;
constexpr int LockRetryMilliseconds = 50;

// Takes the lock, looking again every LockRetryMilliseconds while another game holds it. After
// a second the player is told so where the prompt stands; once the lock is had the prompt comes
// back with the name, and the keys typed while waiting are thrown away.
RankingLock waitForLock(const char* name, StorageError& error) {
    int waited = 0;
    bool told = false;
    for (;;) {
        bool busy = false;
        const RankingLock lock = lockRanking(error, &busy);
        if (!busy) {
            if (told) {
                moveCursor(MessageX, MessageY);
                print("%*s", textWidth(WaitingMessage), "");
                showNamePrompt(name);
                flushInput();
            }
            return lock;
        }
        if (waited >= LockPatienceMilliseconds && !told) {
            moveCursor(MessageX, MessageY);
            print("%s", WaitingMessage);
            told = true;
        }
        delay(LockRetryMilliseconds); // shows the message, and lets a resize redraw the screen
        waited += LockRetryMilliseconds;
    }
}

// A save that failed: what it could not keep goes into the message, the name ("" when none was
// asked yet) and the total.
SaveResult saveFailed(StorageError& error, const char* name, int total) {
    static_assert(sizeof error.unsaved >= NameBytes + 12);
    std::snprintf(error.unsaved, sizeof error.unsaved, "%s%s%d", name, name[0] != '\0' ? " " : "",
                  total);
    return SaveResult::Failed;
}

} // namespace

bool loadRanking(RankTable& r, StorageError& error) {
    r = RankTable{};
    std::FILE* file = openRankingFile(error);
    if (file == nullptr) {
        return false;
    }
    readRanking(file, r);
    std::fclose(file);
    return checkRankingSave(error);
}

SaveResult saveRanking(RankTable& r, int total, StorageError& error) {
    char name[NameBytes] = {};
    // A ranking that cannot be read is reported before the player types a name for nothing.
    std::FILE* file = openRankingFile(error);
    if (file == nullptr) {
        return saveFailed(error, name, total);
    }
    std::fclose(file);

    if (!askName(name)) {
        return SaveResult::InputEnded;
    }

    // The name is typed outside the lock, so that a slow typist holds up no other game; the file is
    // read again under it, so that a result saved meanwhile by another game is kept.
    const RankingLock lock = waitForLock(name, error);
    if (lock == NoLock) {
        return saveFailed(error, name, total);
    }
    file = openRankingFile(error);
    if (file == nullptr) {
        unlockRanking(lock);
        return saveFailed(error, name, total);
    }
    readRanking(file, r);
    std::fclose(file);
    mergeResult(r, name, total);
    // Ten lines of a two-digit place, a name, an int and three separators always fit.
    char text[RankCount * (NameBytes + 32)];
    static_assert(sizeof text >= RankCount * (2 + (NameBytes - 1) + 11 + 3));
    const std::size_t size = formatRanking(r, text, sizeof text);
    const bool saved = replaceRankingFile(text, size, error);
    unlockRanking(lock);
    return saved ? SaveResult::Saved : saveFailed(error, name, total);
}
