// The Windows side of the ranking file: what only the Win32 calls can get wrong.
#if defined(_WIN32)

#include "ranking/ranking_store.h"
#include "storage/storage.h"
#include "support.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class WindowsStorage : public ::testing::Test {
  protected:
    void SetUp() override { folder = useFreshDataFolder(); }
    void TearDown() override {
        // A read-only file left behind would keep the temporary folder from being removed.
        SetFileAttributesW(fs::path(rankingFilePath()).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::string folder;
    StorageError error{};
};

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(WindowsStorage, ReplacingWritesTheBytesAsGivenAndLeavesNoTemporaryFile) {
    writeFile(rankingFilePath(), "1\tOld\t10\n");
    const std::string text = "1\tAnn\t210\n2\tBo\t180\n";
    ASSERT_TRUE(replaceRankingFile(text.data(), text.size(), error)) << error.reason;
    EXPECT_EQ(readFile(rankingFilePath()), text); // no line ends turned into CR LF
    EXPECT_EQ(namesIn(fs::path(rankingFilePath()).parent_path()),
              std::vector<std::string>{"Ranking.txt"});
}

TEST_F(WindowsStorage, AReadOnlyFileIsRefusedAndKept) {
    writeFile(rankingFilePath(), "1\tAnn\t50\n");
    ASSERT_NE(SetFileAttributesW(fs::path(rankingFilePath()).c_str(), FILE_ATTRIBUTE_READONLY), 0);
    EXPECT_FALSE(replaceRankingFile("x", 1, error));
    EXPECT_EQ(std::string(error.path), rankingFilePath());
    EXPECT_STRNE(error.reason, "");
    // The system's message, without the line break it comes with.
    EXPECT_EQ(std::string(error.reason).find('\n'), std::string::npos);
    EXPECT_EQ(readFile(rankingFilePath()), "1\tAnn\t50\n");
    // Opening for the game refuses it as well, as the file could not be saved at the end.
    error = StorageError{};
    std::FILE* file = openRankingFile(error);
    EXPECT_EQ(file, nullptr);
    EXPECT_STRNE(error.reason, "");
    if (file != nullptr) {
        std::fclose(file);
    }
}

TEST_F(WindowsStorage, FoldersWithNamesBeyondAsciiAreCreatedAndNamedInUtf8) {
    const fs::path base = fs::path(folder) / L"\uAC8C\uC784 \u00E9t\u00E9";
    ASSERT_EQ(_wputenv_s(L"JORVO_DATA_HOME", base.c_str()), 0);
    std::FILE* file = openRankingFile(error);
    ASSERT_NE(file, nullptr) << error.reason;
    std::fclose(file);
    const fs::path ranking = base / L"JorvoDice" / L"Ranking.txt";
    EXPECT_TRUE(fs::is_regular_file(ranking));
    const std::u8string utf8 = ranking.u8string();
    EXPECT_EQ(std::string(error.path), std::string(utf8.begin(), utf8.end()));
    ASSERT_TRUE(replaceRankingFile("1\tA\t5\n", 7, error)) << error.reason;
    EXPECT_EQ(fs::file_size(ranking), 7u);
}

TEST_F(WindowsStorage, TheLockKeepsOutAnotherSaveUntilReleased) {
    const RankingLock lock = lockRanking(error);
    ASSERT_NE(lock, NoLock) << error.reason;
    const fs::path lockFile = fs::path(folder) / "JorvoDice" / "Ranking.lock";
    const HANDLE other = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OVERLAPPED start{};
    EXPECT_EQ(
        LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start), 0);
    unlockRanking(lock);
    start = OVERLAPPED{};
    EXPECT_NE(
        LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start), 0);
    CloseHandle(other);
}

// What a save will need is checked at start-up: a lock file that cannot be opened ends the run
// before the game, naming the lock file.
TEST_F(WindowsStorage, ALockThatCannotBeTakenIsFoundAtStartUp) {
    const fs::path lockFile = fs::path(folder) / "JorvoDice" / "Ranking.lock";
    fs::create_directories(lockFile); // a folder where the lock file should be
    RankTable r{};
    EXPECT_FALSE(loadRanking(r, error));
    EXPECT_EQ(std::string(error.path), lockFile.string());
    EXPECT_STRNE(error.reason, "");
    fs::remove(lockFile);
    error = StorageError{};
    ASSERT_TRUE(loadRanking(r, error)) << error.reason;
    // The check leaves no temporary file behind.
    EXPECT_EQ(namesIn(lockFile.parent_path()),
              (std::vector<std::string>{"Ranking.lock", "Ranking.txt"}));
}

// Another game's save holds the lock: taking it without waiting says so, and takes it once the
// other lets go.
TEST_F(WindowsStorage, TheLockCanBeTriedWithoutWaiting) {
    const RankingLock held = lockRanking(error);
    ASSERT_NE(held, NoLock) << error.reason;
    bool busy = false;
    EXPECT_EQ(lockRanking(error, &busy), NoLock);
    EXPECT_TRUE(busy);
    unlockRanking(held);
    const RankingLock taken = lockRanking(error, &busy);
    EXPECT_NE(taken, NoLock) << error.reason;
    EXPECT_FALSE(busy);
    unlockRanking(taken);
}

TEST_F(WindowsStorage, TheFileIsReadByteForByteAsOnOtherSystems) {
    // CR LF line ends from an editor, and a Ctrl+Z byte, which text mode takes for the end.
    writeFile(rankingFilePath(), "1\tAnn\t50\r\n2\tB\x1A\t40\r\n3\tCy\t30\r\n");
    RankTable r{};
    ASSERT_TRUE(loadRanking(r, error)) << error.reason;
    EXPECT_EQ(r[0].score, 50);
    EXPECT_EQ(r[1].score, 40);
    EXPECT_STREQ(r[2].name, "Cy");
    EXPECT_EQ(r[2].score, 30);
}

TEST_F(WindowsStorage, TakingTheLockRemovesWhatKilledSavesLeftBehind) {
    writeFile(rankingFilePath(), "1\tAnn\t50\n");
    const fs::path ranking = rankingFilePath();
    writeFile(ranking.string() + ".tmp-4242-0", "1\tHalf");
    writeFile(ranking.string() + ".tmp-17-3", "");
    writeFile(ranking.string() + ".backup", "kept");
    writeFile(ranking.string() + ".tmp-mine", "kept");
    writeFile((ranking.parent_path() / "Notes.tmp").string(), "kept");
    const RankingLock lock = lockRanking(error);
    ASSERT_NE(lock, NoLock) << error.reason;
    unlockRanking(lock);
    EXPECT_EQ(namesIn(ranking.parent_path()),
              (std::vector<std::string>{"Notes.tmp", "Ranking.lock", "Ranking.txt",
                                        "Ranking.txt.backup", "Ranking.txt.tmp-mine"}));
    EXPECT_EQ(readFile(rankingFilePath()), "1\tAnn\t50\n");
}

// A player may keep the ranking in a folder of their own, such as one that is synced, with a
// symbolic link in its place. Making one takes the developer mode or the privilege for it, and
// wine 8 reports success without making any: where none can be made the test says so and skips.
TEST_F(WindowsStorage, ALinkedRankingKeepsItsLinkAndTheFileItLeadsToIsReplaced) {
    const fs::path synced = fs::path(folder) / "Sync";
    const fs::path target = synced / "scores.txt";
    const fs::path link = rankingFilePath();
    fs::create_directories(synced);
    fs::create_directories(link.parent_path());
    writeFile(target.string(), "1\tAnn\t300\n");
    // The flag is refused by systems older than the developer mode; the plain call then.
    bool made = CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                    SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0 ||
                CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) != 0;
    const DWORD code = made ? ERROR_SUCCESS : GetLastError();
    const DWORD attributes = GetFileAttributesW(link.c_str());
    made = made && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!made) {
        GTEST_SKIP() << "no symbolic link can be made here: "
                     << (code == ERROR_SUCCESS
                             ? std::string("the call reported success but made none (wine)")
                             : "error " + std::to_string(code) +
                                   " (it takes the developer mode or the privilege)");
    }
    RankTable r{};
    ASSERT_TRUE(loadRanking(r, error)) << error.reason;
    EXPECT_EQ(r[0].score, 300);
    memory::reset();
    pushScript("Zed E");
    ASSERT_EQ(saveRanking(r, 250, error), SaveResult::Saved) << error.reason;
    EXPECT_EQ(readFile(target.string()), "1\tAnn\t300\n2\tZed\t250\n");
    EXPECT_TRUE(fs::is_symlink(link)) << "the link was replaced by a file";
    EXPECT_EQ(fs::read_symlink(link), target);
    EXPECT_EQ(namesIn(synced), std::vector<std::string>{"scores.txt"});
    EXPECT_EQ(namesIn(link.parent_path()),
              (std::vector<std::string>{"Ranking.lock", "Ranking.txt"}));
}

} // namespace

#endif
