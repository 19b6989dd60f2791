// What the ranking file survives: folders and files in the way, permissions, a full disk, a
// process killed at every step of a save, saves at the same moment and a lock left by a killed
// game, and a review that cannot be written. Each fault must give the message with the file's
// path and the system's reason, a non-zero exit where the save failed, and the entries that were
// stored before.
//
// Faults that need a process of their own (limits, another user, a private mount, a kill) run in a
// forked child, which reports what went wrong as text through a pipe.
#include "app/program.h"
#include "ranking/ranking_store.h"
#include "support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* OldRanking = "1\tAnn\t300\n2\tBob\t200\n3\tCy\t100\n";
constexpr int NobodyId = 65534;

// A whole single-player game that records the twelve categories in order, then the name "Zed".
void pushWholeSingleGame() {
    pushScript("E");
    pushTwelveRecords();
    pushScript("ZedEE");
}

// Runs `body` in a forked child; returns what it reported, "" meaning all went well.
std::string inChild(const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "pipe failed";
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        const std::string report = body();
        ssize_t ignored = write(channel[1], report.data(), report.size());
        (void)ignored;
        _exit(0);
    }
    close(channel[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) {
        return report + " (the child ended by signal " + std::to_string(WTERMSIG(status)) + ")";
    }
    return report;
}

// Makes the child an ordinary user when it runs as root, for whom permissions do not count.
std::string becomeOrdinaryUser(const std::string& folder) {
    if (geteuid() != 0) {
        return "";
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (lchown(entry.path().c_str(), NobodyId, NobodyId) != 0) {
            return "chown failed";
        }
    }
    if (chown(folder.c_str(), NobodyId, NobodyId) != 0 || setgid(NobodyId) != 0 ||
        setuid(NobodyId) != 0) {
        return "could not become an ordinary user";
    }
    return "";
}

// Runs the whole program with stderr sent down a pipe, which no file size limit or full disk
// touches; returns the status and what it printed there.
struct Outcome {
    int status;
    std::string message;
};

Outcome runCapturingStderr(const Options& options = Options{}) {
    int channel[2];
    if (pipe(channel) != 0) {
        return {-1, "pipe failed"};
    }
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(channel[1], STDERR_FILENO);
    close(channel[1]);
    const int status = runProgram(options, TestDiceSeed);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
        message.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    return {status, message};
}

// The message of a failure; one at the end of a game also gives the result that was not saved.
std::string expectFailure(const Outcome& outcome, const std::string& path, const char* reason,
                          const std::string& unsaved = "") {
    std::string message = "파일 연결 실패: " + path + ": " + reason + "\n";
    if (!unsaved.empty()) {
        message += "jorvo-dice: the result was not saved: " + unsaved + "\n";
    }
    std::string report;
    if (outcome.status != ExitFailed) {
        report += "status " + std::to_string(outcome.status) + "; ";
    }
    if (outcome.message != message) {
        report += "message '" + outcome.message + "', expected '" + message + "'; ";
    }
    return report;
}

std::string leftoverFiles(const std::string& folder) {
    std::string names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "Ranking.txt" && name != "Ranking.lock" && name != "filler") {
            names += name + " ";
        }
    }
    return names;
}

// Everything under `folder`, as paths relative to it, sorted.
std::vector<std::string> entriesUnder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(entry.path().lexically_relative(folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class FileFaults : public ::testing::Test {
  public:
    void SetUp() override {
        base = useFreshDataFolder();
        folder = base + "/JorvoDice";
        path = rankingFilePath();
        memory::reset();
    }
    void TearDown() override {
        // Folders a test made read-only must be removable again.
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(base, ignored)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    std::string base;
    std::string folder;
    std::string path;
};

// ---- faults found at start-up -------------------------------------------------------------

TEST_F(FileFaults, SomethingInTheWayAtStartUpEndsTheRunBeforeTheMenu) {
    struct Case {
        const char* what;
        std::function<void(FileFaults&)> make;
        std::function<std::string(FileFaults&)> reportedPath;
        const char* reason;
    };
    const Case cases[] = {
        {"the ranking folder is a file", [](FileFaults& t) { writeFile(t.folder, "not a folder"); },
         [](FileFaults& t) { return t.path; }, "Not a directory"},
        {"the ranking file is a folder", [](FileFaults& t) { fs::create_directories(t.path); },
         [](FileFaults& t) { return t.path; }, "Is a directory"},
        {"the data folder is a file",
         [](FileFaults& t) {
             fs::remove_all(t.base);
             writeFile(t.base, "");
         },
         [](FileFaults& t) { return t.path; }, "Not a directory"},
        {"the lock file is a folder",
         [](FileFaults& t) { fs::create_directories(t.folder + "/Ranking.lock"); },
         [](FileFaults& t) { return t.folder + "/Ranking.lock"; }, "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.make(*this);
        memory::reset();
        pushScript("E");
        const Outcome outcome = runCapturingStderr();
        EXPECT_EQ(expectFailure(outcome, c.reportedPath(*this), c.reason), "");
        EXPECT_EQ(memory::row(18), "") << "the menu was shown";
        EXPECT_EQ(memory::keysLeft(), 1u);
    }
}

TEST_F(FileFaults, AReadOnlyFileEndsTheRunAtStartUpAndStaysAsItWas) {
    writeFile(path, OldRanking);
    const std::string report = inChild([&] {
        std::string problem = becomeOrdinaryUser(base);
        if (!problem.empty()) {
            return problem;
        }
        chmod(path.c_str(), 0444);
        memory::reset();
        pushWholeSingleGame();
        const Outcome outcome = runCapturingStderr();
        problem = expectFailure(outcome, path, "Permission denied");
        return problem;
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(readFile(path), OldRanking);
}

// What a save will need is found at start-up, as a user without root: a folder that does not
// let the lock or the temporary file be made, or a lock file that cannot be opened, ends the run
// before the menu, with the message naming what is at fault, and nothing is made in the folder.
TEST_F(FileFaults, WhatASaveNeedsIsCheckedAtStartUpAndTheFaultNamed) {
    struct Case {
        const char* what;
        std::function<void(FileFaults&)> make; // as the ordinary user, the old ranking in place
        std::function<std::string(FileFaults&)> reported;
        std::vector<std::string> left; // what the folder holds afterwards
    };
    const Case cases[] = {
        {"a read-only folder without a lock file",
         [](FileFaults& t) { chmod(t.folder.c_str(), 0555); },
         [](FileFaults& t) { return t.folder; },
         {"Ranking.txt"}},
        {"a read-only folder with a lock file",
         [](FileFaults& t) {
             writeFile(t.folder + "/Ranking.lock", "");
             chmod(t.folder.c_str(), 0555);
         },
         [](FileFaults& t) { return t.folder; },
         {"Ranking.lock", "Ranking.txt"}},
        {"a lock file that cannot be opened",
         [](FileFaults& t) {
             writeFile(t.folder + "/Ranking.lock", "");
             chmod((t.folder + "/Ranking.lock").c_str(), 0);
         },
         [](FileFaults& t) { return t.folder + "/Ranking.lock"; },
         {"Ranking.lock", "Ranking.txt"}},
        {"a linked ranking in a read-only folder",
         [](FileFaults& t) {
             fs::create_directories(t.base + "/Sync");
             fs::rename(t.path, t.base + "/Sync/scores.txt");
             fs::create_symlink("../Sync/scores.txt", t.path);
             chmod((t.base + "/Sync").c_str(), 0555);
         },
         [](FileFaults& t) { return t.folder + "/../Sync"; },
         {"Ranking.lock", "Ranking.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        writeFile(path, OldRanking);
        const std::string report = inChild([&] {
            std::string problem = becomeOrdinaryUser(base);
            if (!problem.empty()) {
                return problem;
            }
            c.make(*this);
            memory::reset();
            pushWholeSingleGame();
            const std::size_t pushed = memory::keysLeft();
            const Outcome outcome = runCapturingStderr();
            problem = expectFailure(outcome, c.reported(*this), "Permission denied");
            if (memory::row(18) != "") {
                problem += "the menu was shown; ";
            }
            if (memory::keysLeft() != pushed) {
                problem += "keys were read; ";
            }
            return problem;
        });
        EXPECT_EQ(report, "");
        EXPECT_EQ(readFile(fs::is_symlink(path) ? base + "/Sync/scores.txt" : path), OldRanking);
        EXPECT_EQ(entriesUnder(folder), c.left);
    }
}

// ---- faults found when the game ends ------------------------------------------------------

// A whole game played in a child under a fault that only the save meets: the message comes
// after the game, the status is a failure, the old ranking is untouched and nothing is left
// lying in the folder.
struct SaveFault {
    const char* what;
    const char* file; // the file named in the message
    const char* reason;
    // Sets the fault up in the child, after the ranking file holds the old entries; returns a
    // problem, or "skip: why" when the fault cannot be made here.
    std::function<std::string(FileFaults&)> make;
};

void PrintTo(const SaveFault& fault, std::ostream* out) {
    *out << fault.what;
}

class SaveFaults : public FileFaults, public ::testing::WithParamInterface<SaveFault> {};

TEST_P(SaveFaults, TheGameEndsWithTheMessageAndTheOldRankingKept) {
    const SaveFault& fault = GetParam();
    writeFile(path, OldRanking);
    const std::string report = inChild([&]() -> std::string {
        const std::string problem = fault.make(*this);
        if (!problem.empty()) {
            return problem;
        }
        memory::reset();
        pushWholeSingleGame();
        const Outcome outcome = runCapturingStderr();
        // The total as the sheet shows it on the prompt's row.
        const std::string total = memory::cells(83, 25, 3);
        std::string found = expectFailure(outcome, folder + "/" + fault.file, fault.reason,
                                          "Zed " + total.substr(total.find_first_not_of(' ')));
        if (memory::row(25).find("게임 끝! 이름 입력: Zed") == std::string::npos) {
            found += "the name was not asked; ";
        }
        if (readFile(path) != OldRanking) {
            found += "the ranking changed to '" + readFile(path) + "'; ";
        }
        const std::string left = leftoverFiles(folder);
        if (!left.empty()) {
            found += "left in the folder: " + left;
        }
        return found;
    });
    if (report.rfind("skip:", 0) == 0) {
        GTEST_SKIP() << report;
    }
    EXPECT_EQ(report, "");
    EXPECT_EQ(readFile(path), OldRanking);
}

// The limit's signal keeps its default action, which would end the game mid-save without giving
// the terminal back: the save must make the write fail instead.
std::string fileSizeLimit(FileFaults&) {
    const rlimit limit{16, 16};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "setrlimit failed";
}

// A tiny file system of its own, filled up: a mount that only this child sees.
std::string fullDisk(FileFaults& t) {
#if defined(__linux__)
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
        return std::string("skip: no private mount here: ") + std::strerror(errno);
    }
    if (mount("tmpfs", t.folder.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) {
        return std::string("skip: no tmpfs here: ") + std::strerror(errno);
    }
    writeFile(t.path, OldRanking);
    std::FILE* filler = std::fopen((t.folder + "/filler").c_str(), "w");
    static const char Block[512] = {};
    while (std::fwrite(Block, 1, sizeof Block, filler) == sizeof Block &&
           std::fflush(filler) == 0) {
    }
    std::fclose(filler);
    // Then byte by byte, until not one more fits.
    std::FILE* tail = std::fopen((t.folder + "/filler").c_str(), "a");
    while (tail != nullptr && std::fputc(0, tail) != EOF && std::fflush(tail) == 0) {
    }
    if (tail != nullptr) {
        std::fclose(tail);
    }
    return "";
#else
    (void)t;
    return "skip: no private mounts on this system";
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SaveFaults,
    ::testing::Values(SaveFault{"FileSizeLimit", "Ranking.txt", "File too large", fileSizeLimit},
                      SaveFault{"FullDisk", "Ranking.txt", "No space left on device", fullDisk}),
    [](const ::testing::TestParamInfo<SaveFault>& param) { return std::string(param.param.what); });

// ---- a save killed at every step ----------------------------------------------------------

// The child stops itself, then saves once under the parent's ptrace; the parent lets it run
// to its `stopAt`-th system call stop (entry or exit) and kills it there.
enum class Killed { Before, NotAtAll, NoTracing };

Killed saveKilledAtStop(long stopAt) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
            _exit(2);
        }
        raise(SIGSTOP);
        RankTable r{};
        StorageError error{};
        memory::reset();
        pushScript("ZedE");
        _exit(saveRanking(r, 250, error) == SaveResult::Saved ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        return Killed::NoTracing;
    }
    ptrace(PTRACE_SETOPTIONS, pid, nullptr,
           reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    for (long stop = 0;; ++stop) {
        if (stop == stopAt) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return Killed::Before;
        }
        ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr);
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            return Killed::NotAtAll;
        }
    }
}

TEST_F(FileFaults, ASaveKilledAtAnyStepLeavesTheOldRankingOrTheNewOne) {
    // The ranking file itself, and a link to a file in another folder, which must stay a link.
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "a linked ranking file" : "the ranking file");
        SetUp();
        const std::string target = linked ? base + "/Sync/scores.txt" : path;
        if (linked) {
            fs::create_directories(base + "/Sync");
            fs::create_directories(folder);
            fs::create_symlink("../Sync/scores.txt", path);
        }
        writeFile(target, OldRanking);
        const Killed whole = saveKilledAtStop(-1);
        if (whole == Killed::NoTracing) {
            GTEST_SKIP() << "a process cannot be traced here";
        }
        ASSERT_EQ(whole, Killed::NotAtAll);
        const std::string newRanking = readFile(target);
        ASSERT_EQ(newRanking, "1\tAnn\t300\n2\tZed\t250\n3\tBob\t200\n4\tCy\t100\n");

        int keptOld = 0;
        int gotNew = 0;
        long stop = 0;
        for (;; ++stop) {
            ASSERT_LT(stop, 10000) << "the save never ended";
            writeFile(target, OldRanking);
            const bool finished = saveKilledAtStop(stop) == Killed::NotAtAll;
            const std::string after = readFile(target);
            if (after == OldRanking) {
                ++keptOld;
            } else if (after == newRanking) {
                ++gotNew;
            } else {
                ADD_FAILURE() << "killed at system call stop " << stop << ", the file holds '"
                              << after << "'";
            }
            if (linked && !fs::is_symlink(path)) {
                FAIL() << "killed at system call stop " << stop << ", the link was replaced";
            }
            // Whatever a killed save left behind, the next save reads the entries and replaces
            // the file as usual.
            if (finished) {
                break;
            }
        }
        std::printf("%s: save killed at each of %ld system call stops: old ranking kept %d times, "
                    "new one in place %d times\n",
                    linked ? "linked" : "plain", stop, keptOld, gotNew);
        EXPECT_GT(keptOld, 0);
        EXPECT_GT(gotNew, 1) << "no kill landed after the rename";
        // The temporary files of the killed saves are gone once a save has held the lock.
        EXPECT_EQ(leftoverFiles(folder), "");
        if (linked) {
            EXPECT_EQ(entriesUnder(base + "/Sync"), std::vector<std::string>{"scores.txt"});
        }
        writeFile(target, OldRanking);
        ASSERT_EQ(saveKilledAtStop(-1), Killed::NotAtAll);
        EXPECT_EQ(readFile(target), newRanking);
    }
}

// ---- a ranking file that is a symbolic link --------------------------------------------------

// A player may keep the ranking in a folder of their own, such as one that is synced, with a link
// in its place: saves replace the file that the link stands for, and the link stays.
TEST_F(FileFaults, ALinkedRankingKeepsItsLinkAndTheFileItStandsForIsReplaced) {
    struct Case {
        const char* what;
        // Makes the link (or links) at the ranking's path; returns the file it stands for.
        std::function<std::string(FileFaults&)> make;
        bool fileExists;
        std::vector<std::string> synced; // what the other folder holds afterwards
    };
    const Case cases[] = {
        {"an absolute link to another folder",
         [](FileFaults& t) {
             fs::create_symlink(t.base + "/Sync/scores.txt", t.path);
             return t.base + "/Sync/scores.txt";
         },
         true,
         {"notes.txt", "scores.txt"}},
        {"a link relative to its folder",
         [](FileFaults& t) {
             fs::create_symlink("../Sync/scores.txt", t.path);
             return t.base + "/Sync/scores.txt";
         },
         true,
         {"notes.txt", "scores.txt"}},
        {"a link to a link, each relative to its own folder",
         [](FileFaults& t) {
             fs::create_symlink("../Sync/hop", t.path);
             fs::create_directories(t.base + "/Sync/deeper");
             fs::create_symlink("deeper/scores.txt", t.base + "/Sync/hop");
             return t.base + "/Sync/deeper/scores.txt";
         },
         true,
         {"deeper", "deeper/scores.txt", "hop", "notes.txt"}},
        {"a link to a file not made yet, in a folder that exists",
         [](FileFaults& t) {
             fs::create_symlink("../Sync/scores.txt", t.path);
             return t.base + "/Sync/scores.txt";
         },
         false,
         {"notes.txt", "scores.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        fs::create_directories(folder);
        fs::create_directories(base + "/Sync");
        writeFile(base + "/Sync/notes.txt", "mine");
        const std::string target = c.make(*this);
        const fs::path linkText = fs::read_symlink(path);
        if (c.fileExists) {
            writeFile(target, OldRanking);
            fs::permissions(target, fs::perms(0640));
        }
        memory::reset();
        pushWholeSingleGame();
        ASSERT_EQ(runProgram(Options{}, TestDiceSeed), 0);

        ASSERT_TRUE(fs::is_symlink(path)) << "the link was replaced by a file";
        EXPECT_EQ(fs::read_symlink(path), linkText);
        const std::string saved = readFile(target);
        EXPECT_NE(saved.find("\tZed\t"), std::string::npos) << saved;
        if (c.fileExists) {
            EXPECT_EQ(saved.find("1\tAnn\t300\n"), 0u) << saved;
            EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
        }
        EXPECT_EQ(readFile(base + "/Sync/notes.txt"), "mine");
        EXPECT_EQ(leftoverFiles(folder), "");
        EXPECT_EQ(entriesUnder(base + "/Sync"), c.synced) << "a temporary file was left";
    }
}

// A link that cannot be followed to a file is reported with the file it stands for, at start-up,
// and nothing is created in its place: a synced folder that is not mounted stays missing.
TEST_F(FileFaults, ALinkThatLeadsToNoFileIsReportedWithTheFileItStandsFor) {
    struct Case {
        const char* what;
        const char* link;
        const char* reported; // in the ranking's folder
        const char* reason;
    };
    const Case cases[] = {
        {"a file in a missing folder", "../Unmounted/scores.txt", "../Unmounted/scores.txt",
         "No such file or directory"},
        {"a link to itself", "Ranking.txt", "Ranking.txt", "Too many levels of symbolic links"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        fs::create_directories(folder);
        fs::create_symlink(c.link, path);
        memory::reset();
        pushScript("E");
        const Outcome outcome = runCapturingStderr();
        EXPECT_EQ(expectFailure(outcome, folder + "/" + c.reported, c.reason), "");
        EXPECT_EQ(memory::row(18), "") << "the menu was shown";
        EXPECT_TRUE(fs::is_symlink(path));
        EXPECT_EQ(fs::read_symlink(path), fs::path(c.link));
        EXPECT_FALSE(fs::exists(base + "/Unmounted"));
    }
}

// ---- a save by another user ---------------------------------------------------------------

// Root playing with an ordinary user's data folder: every file and folder the game makes there
// belongs to the folder's owner, a replaced file keeps its owner, group and permissions, and the
// user's next game starts and saves.
TEST_F(FileFaults, RootPlayingWithAUsersFolderLeavesTheUserTheirFiles) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can play with another user's folder";
    }
    struct Case {
        const char* what;
        bool stored; // a ranking and its folder are there already
    };
    for (const Case& c : {Case{"the first run", false}, Case{"a stored ranking", true}}) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.stored) {
            writeFile(path, OldRanking);
            ASSERT_EQ(chown(folder.c_str(), NobodyId, NobodyId), 0);
            ASSERT_EQ(chown(path.c_str(), NobodyId, NobodyId), 0);
            ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        }
        ASSERT_EQ(chown(base.c_str(), NobodyId, NobodyId), 0);
        memory::reset();
        pushWholeSingleGame();
        ASSERT_EQ(runProgram(Options{}, TestDiceSeed), ExitFinished);
        for (const std::string& made : {folder, path, folder + "/Ranking.lock"}) {
            struct stat info {};
            ASSERT_EQ(lstat(made.c_str(), &info), 0) << made;
            EXPECT_EQ(info.st_uid, static_cast<uid_t>(NobodyId)) << made;
            EXPECT_EQ(info.st_gid, static_cast<gid_t>(NobodyId)) << made;
        }
        if (c.stored) {
            EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
            EXPECT_EQ(readFile(path).find("1\tAnn\t300\n"), 0u) << readFile(path);
        }
        // The user's own game afterwards.
        const std::string report = inChild([&] {
            if (setgid(NobodyId) != 0 || setuid(NobodyId) != 0) {
                return std::string("could not become an ordinary user");
            }
            memory::reset();
            pushWholeSingleGame();
            const Outcome outcome = runCapturingStderr();
            return outcome.status == ExitFinished ? std::string() : outcome.message;
        });
        EXPECT_EQ(report, "");
        EXPECT_EQ(leftoverFiles(folder), "");
    }
}

// A ranking shared through a group: an ordinary user's save keeps the file's group, which the
// user belongs to, and its permissions; the owner becomes the user, as no one else may be given it.
TEST_F(FileFaults, AUsersSaveKeepsTheGroupOfASharedRanking) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "making a user of a second group takes root";
    }
    constexpr gid_t SharedGroup = 100;
    writeFile(path, OldRanking);
    ASSERT_EQ(chown(path.c_str(), 0, SharedGroup), 0);
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    ASSERT_EQ(chown(folder.c_str(), 0, SharedGroup), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0775), 0);
    ASSERT_EQ(chmod(base.c_str(), 0755), 0);
    const std::string report = inChild([&] {
        const gid_t groups[] = {SharedGroup};
        if (setgroups(1, groups) != 0 || setgid(NobodyId) != 0 || setuid(NobodyId) != 0) {
            return std::string("could not become an ordinary user of the group");
        }
        memory::reset();
        pushWholeSingleGame();
        const Outcome outcome = runCapturingStderr();
        return outcome.status == ExitFinished ? std::string() : outcome.message;
    });
    ASSERT_EQ(report, "");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, static_cast<uid_t>(NobodyId));
    EXPECT_EQ(info.st_gid, SharedGroup);
    EXPECT_EQ(info.st_mode & 07777, 0664u);
    EXPECT_NE(readFile(path).find("\tZed\t"), std::string::npos) << readFile(path);
}

// ---- a review that cannot be written -----------------------------------------------------

// The review of a coached game is written to the standard output once the terminal is given back:
// a write that fails there is reported on standard error, and the run ends with status 1. The
// result was saved before.
TEST_F(FileFaults, AReviewThatCannotBeWrittenIsReportedAndEndsTheRunWithStatus1) {
    struct Case {
        const char* what;
        const char* reason;
        std::function<bool()> redirect; // the standard output, in the child
    };
    const Case cases[] = {
        {"a full device", "No space left on device",
         [] {
             const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
             return full >= 0 && dup2(full, STDOUT_FILENO) == STDOUT_FILENO && close(full) == 0;
         }},
        {"a closed standard output", "Bad file descriptor",
         [] { return close(STDOUT_FILENO) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        const std::string report = inChild([&]() -> std::string {
            if (!c.redirect()) {
                return std::string("skip: ") + std::strerror(errno);
            }
            memory::reset();
            pushWholeSingleGame();
            Options options;
            options.coach = true;
            const Outcome outcome = runCapturingStderr(options);
            std::string found;
            if (outcome.status != ExitFailed) {
                found += "status " + std::to_string(outcome.status) + "; ";
            }
            const std::string message = std::string("jorvo-dice: write error: ") + c.reason + "\n";
            if (outcome.message != message) {
                found += "message '" + outcome.message + "', expected '" + message + "'; ";
            }
            return found;
        });
        if (report.rfind("skip:", 0) == 0) {
            GTEST_SKIP() << report;
        }
        EXPECT_EQ(report, "");
        EXPECT_EQ(readFile(path).find("1\tZed\t"), 0u) << readFile(path);
    }
}

// ---- saves at the same moment, and a lock left by a killed game ---------------------------

TEST_F(FileFaults, SavesAtTheSameMomentAllLand) {
    constexpr int Rounds = 10;
    constexpr int Games = 6;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove_all(folder);
        writeFile(path, "1\tAnn\t50\n");
        int start[2];
        ASSERT_EQ(pipe(start), 0);
        std::fflush(nullptr);
        std::vector<pid_t> children;
        for (int g = 0; g < Games; ++g) {
            const pid_t pid = fork();
            if (pid == 0) {
                close(start[1]);
                char go = 0;
                ssize_t ignored = read(start[0], &go, 1); // all start when the pipe closes
                (void)ignored;
                RankTable r{};
                StorageError error{};
                memory::reset();
                char name[8];
                std::snprintf(name, sizeof name, "P%d", g);
                memory::pushText(name);
                pushScript("E");
                _exit(saveRanking(r, 100 + g, error) == SaveResult::Saved ? 0 : 1);
            }
            children.push_back(pid);
        }
        close(start[0]);
        close(start[1]);
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_EQ(readFile(path), "1\tP5\t105\n2\tP4\t104\n3\tP3\t103\n4\tP2\t102\n5\tP1\t101\n"
                                  "6\tP0\t100\n7\tAnn\t50\n");
        if (HasFailure()) {
            break;
        }
    }
}

TEST_F(FileFaults, ALockLeftByAKilledGameHoldsNobodyUp) {
    writeFile(path, OldRanking);
    // A game that took the lock and was killed while holding it.
    std::fflush(nullptr);
    int locked[2];
    ASSERT_EQ(pipe(locked), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        StorageError error{};
        const RankingLock lock = lockRanking(error);
        ssize_t ignored = write(locked[1], lock == NoLock ? "n" : "y", 1);
        (void)ignored;
        pause();
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(locked[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_TRUE(fs::exists(folder + "/Ranking.lock"));

    // The next save goes through; the alarm ends it if it waits for the dead game (a bound that
    // only such a wait reaches, however loaded the machine).
    const std::string report = inChild([] {
        alarm(60);
        RankTable r{};
        StorageError error{};
        memory::reset();
        pushScript("ZedE");
        return saveRanking(r, 250, error) == SaveResult::Saved ? std::string()
                                                               : std::string(error.reason);
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(readFile(path), "1\tAnn\t300\n2\tZed\t250\n3\tBob\t200\n4\tCy\t100\n");
}

// A zero byte in a stored name does not cut it to nothing, which would write a line that the
// next run pairs up with the line after it.
} // namespace
