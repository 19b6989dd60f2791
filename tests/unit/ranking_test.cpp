#include "ranking/name_prompt.h"
#include "ranking/ranking_file.h"
#include "ranking/ranking_screen.h"
#include "ranking/ranking_store.h"
#include "support.h"
#include "text/text.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Entry {
    int rank;
    std::string name;
    int score;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << e.rank << " '" << e.name << "' " << e.score;
}

// The real entries of a table, checking that every slot after them is empty.
std::vector<Entry> entriesOf(const RankTable& r) {
    std::vector<Entry> entries;
    std::size_t i = 0;
    for (; i < r.size() && r[i].rank != 0; ++i) {
        entries.push_back({r[i].rank, r[i].name, r[i].score});
    }
    for (; i < r.size(); ++i) {
        EXPECT_EQ(r[i].rank, 0) << "slot " << i;
        EXPECT_STREQ(r[i].name, "") << "slot " << i;
        EXPECT_EQ(r[i].score, 0) << "slot " << i;
    }
    return entries;
}

RankTable parse(const std::string& content) {
    std::FILE* file = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    RankTable r;
    std::memset(&r, 0x5A, sizeof r); // whatever the table held before is replaced
    readRanking(file, r);
    std::fclose(file);
    return r;
}

RankTable tableOf(const std::vector<Entry>& entries) {
    RankTable r{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        r[i].rank = entries[i].rank;
        std::snprintf(r[i].name, sizeof r[i].name, "%s", entries[i].name.c_str());
        r[i].score = entries[i].score;
    }
    return r;
}

std::string utf8Of(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        char bytes[4];
        out.append(bytes, static_cast<std::size_t>(encodeUtf8(c, bytes)));
    }
    return out;
}

// The text in UTF-16 units of two bytes, the high byte first when `bigEndian`.
std::string utf16Of(const std::u32string& text, bool bigEndian) {
    std::string out;
    const auto unit = [&](char32_t u) {
        const char high = static_cast<char>(u >> 8);
        const char low = static_cast<char>(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    for (char32_t c : text) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

std::string tenEntries() {
    std::string text;
    for (int i = 0; i < 10; ++i) {
        text += std::to_string(i + 1) + "\tp" + std::to_string(i) + "\t" +
                std::to_string(i == 0 ? 200 : 160 - 10 * i) + "\n";
    }
    return text;
}

} // namespace

TEST(ReadRanking, ReadsOneEntryALineAndSkipsTheLinesThatHoldNone) {
    const std::string longName(1 << 20, 'n');
    struct Case {
        const char* what;
        std::string content;
        std::vector<Entry> entries;
    } cases[] = {
        {"empty", "", {}},
        {"three",
         "1\tAnn\t210\n2\tBo\t180\n3\tCy\t99\n",
         {{1, "Ann", 210}, {2, "Bo", 180}, {3, "Cy", 99}}},
        {"crlf, blanks for tabs and blank lines",
         "  1 \t Ann  210\r\n\r\n\n2\tBo\t180\r\n \t\n3 Cy 99",
         {{1, "Ann", 210}, {2, "Bo", 180}, {3, "Cy", 99}}},
        {"a word for a place",
         "1\tAnn\t210\nx\tBo\t180\n3\tCy\t99\n",
         {{1, "Ann", 210}, {3, "Cy", 99}}},
        {"a word for a score", "1\tAnn\tlots\n2\tBo\t180\n", {{2, "Bo", 180}}},
        {"a name with a blank",
         "1\tAnn\t210\n2\tBo Lee\t180\n3\tCy\t99\n",
         {{1, "Ann", 210}, {3, "Cy", 99}}},
        {"a fourth word", "1\tAnn\t210\t2024\n2\tBo\t180\n", {{2, "Bo", 180}}},
        {"an entry spread over two lines", "1\tAnn\n210\n2\tBo\t180\n", {{2, "Bo", 180}}},
        {"numbers beyond int",
         "1\tAnn\t2147483648\n2\tBo\t-2147483649\n99999999999\tCy\t5\n4\tDi\t2147483647\n",
         {{4, "Di", 2147483647}}},
        {"a number cut while read is no number",
         "1\tAnn\t" + std::string(100, '0') + "7\n2\tBo\t180\n",
         {{2, "Bo", 180}}},
        {"truncated last line", "1\tAnn\t210\n2\tBo\n", {{1, "Ann", 210}}},
        {"a lone place", "1\tAnn\t210\n2", {{1, "Ann", 210}}},
        {"an overlong name is cut", "1\tAbcdefghijklmnop\t50\n", {{1, "Abcdefghi", 50}}},
        {"a wide name is cut at nine columns",
         "1\t가나다라마바사아자\t50\n2\tabcdefgh가\t40\n3\tabcdefg가x\t30\n",
         {{1, "가나다라", 50}, {2, "abcdefgh", 40}, {3, "abcdefg가", 30}}},
        {"a 1 MB name",
         "1\t" + longName + "\t70\n2\tBo\t60\n",
         {{1, "nnnnnnnnn", 70}, {2, "Bo", 60}}},
        {"a 1 MB line of words",
         "1\t" + std::string(1 << 20, ' ') + "a b\t70\n2\tBo\t60\n",
         {{2, "Bo", 60}}},
        {"control bytes become ?", "1\tA\x1b[2Jb\x07\t40\n", {{1, "A?[2Jb?", 40}}},
        {"places as stored", "3\tAnn\t10\n3\tBo\t9\n", {{3, "Ann", 10}, {3, "Bo", 9}}},
        {"a place of 0 takes its position", "x\n0\tAnn\t10\n", {{1, "Ann", 10}}},
        {"UTF-8 names", "1\t김철수\t150\n", {{1, "김철수", 150}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(entriesOf(parse(c.content)), c.entries) << c.what;
    }
}

// The same entries as an editor may save them: UTF-8 with or without a byte order mark, UTF-16
// with its mark in either byte order (what PowerShell 5 writes), and the places numbered anew.
TEST(ReadRanking, ReadsUtf8WithOrWithoutItsMarkAndUtf16WithItsMark) {
    // Ann, 김철수, a name beyond the first plane (two UTF-16 units), CR LF line ends.
    const std::u32string text = U"1\tAnn\t251\r\n2\t김철수\t198\r\nnote\r\n3\tx\U00020000y\t7\n";
    const std::vector<Entry> entries = {
        {1, "Ann", 251}, {2, "김철수", 198}, {3, "x\U00020000y", 7}};
    struct Case {
        const char* what;
        std::string content;
    } cases[] = {
        {"UTF-8", utf8Of(text)},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + utf8Of(text)},
        {"UTF-16 little-endian with its mark", "\xFF\xFE" + utf16Of(text, false)},
        {"UTF-16 big-endian with its mark", "\xFE\xFF" + utf16Of(text, true)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(entriesOf(parse(c.content)), entries) << c.what;
    }
}

TEST(ReadRanking, ReadsWhatIsNoMarkOrNoUtf16AsTheBytesItIs) {
    const std::string lone = std::string("\xFF\xFE", 2) + utf16Of(U"1\tA", false) +
                             std::string("\x00\xD8", 2) + utf16Of(U"b\t5\n2\tC\t4\n", false);
    struct Case {
        const char* what;
        std::string content;
        std::vector<Entry> entries;
    } cases[] = {
        // A mark is only a mark at the start: elsewhere it is a character of the line.
        {"a second mark",
         "\xEF\xBB\xBF\xEF\xBB\xBF"
         "1\tAnn\t9\n2\tBo\t8\n",
         {{2, "Bo", 8}}},
        {"a mark in a name", "1\tA\xEF\xBB\xBFn\t9\n", {{1, "A?n", 9}}},
        {"part of a mark",
         "\xEF\xBB"
         "1\tAnn\t9\n2\tBo\t8\n",
         {{2, "Bo", 8}}},
        // A UTF-16 unit that is half of a pair without its other half, and an odd last byte.
        {"a lone surrogate", lone, {{1, "A?b", 5}, {2, "C", 4}}},
        {"an odd last byte",
         "\xFE\xFF" + utf16Of(U"1\tAnn\t9\n2\tBo\t8", true) + std::string(1, '\0'),
         {{1, "Ann", 9}}},
        {"only a mark", "\xFF\xFE", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(entriesOf(parse(c.content)), c.entries) << c.what;
    }
}

// A file edited by hand need not be in order: the best entries come first, equal scores in the
// file's order. The places read are the file's (the screen and the save number them anew).
TEST(ReadRanking, OrdersTheEntriesByScoreKeepingTheFilesOrderBetweenEqualScores) {
    struct Case {
        const char* what;
        std::string content;
        std::vector<Entry> entries;
    } cases[] = {
        {"the best last",
         "1\tX\t5\n2\tY\t5\n3\tBest\t300\n",
         {{3, "Best", 300}, {1, "X", 5}, {2, "Y", 5}}},
        {"equal scores apart",
         "3\tAnn\t10\n3\tBo\t90\n7\tCy\t10\n",
         {{3, "Bo", 90}, {3, "Ann", 10}, {7, "Cy", 10}}},
        {"negative scores",
         "1\tA\t-5\n2\tB\t0\n3\tC\t-2147483648\n",
         {{2, "B", 0}, {1, "A", -5}, {3, "C", -2147483648}}},
        {"a place of 0 takes its position after the order",
         "0\tA\t5\n2\tB\t9\n",
         {{2, "B", 9}, {2, "A", 5}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(entriesOf(parse(c.content)), c.entries) << c.what;
    }
    // More than ten entries: the best ten of them, wherever they stand in the file.
    std::string twelve;
    for (int i = 0; i < 12; ++i) {
        twelve += std::to_string(i + 1) + "\tp" + std::to_string(i) + "\t" +
                  std::to_string(i == 11 ? 999 : 100 + i % 3) + "\n";
    }
    const std::vector<Entry> best = entriesOf(parse(twelve));
    ASSERT_EQ(best.size(), 10u);
    EXPECT_EQ(best[0], (Entry{1, "p11", 999})); // place 12 cannot be shown: its position
    const std::vector<std::string> order = {"p2", "p5", "p8", "p1", "p4", "p7", "p10", "p0", "p3"};
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(best[i + 1].name, order[i]) << i;
    }
}

TEST(ReadRanking, ReadsAtMostTenEntries) {
    // Skipped lines take no place of the ten.
    const std::string eleven = "bad line\n" + tenEntries() + "11\textra\t1\n";
    const std::vector<Entry> entries = entriesOf(parse(eleven));
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries[0], (Entry{1, "p0", 200}));
    EXPECT_EQ(entries[9], (Entry{10, "p9", 70}));
}

TEST(MergeResult, PutsTheResultBehindEqualScoresAndRenumbers) {
    struct Case {
        const char* what;
        std::vector<Entry> before;
        int score;
        std::vector<Entry> after;
    } cases[] = {
        {"into an empty table", {}, 120, {{1, "new", 120}}},
        {"equal score stays behind",
         {{1, "a", 200}, {2, "b", 150}, {3, "c", 140}},
         150,
         {{1, "a", 200}, {2, "b", 150}, {3, "new", 150}, {4, "c", 140}}},
        {"below all, table not full",
         {{1, "a", 200}, {2, "b", 150}},
         10,
         {{1, "a", 200}, {2, "b", 150}, {3, "new", 10}}},
        {"places renumbered",
         {{4, "a", 200}, {4, "b", 150}},
         300,
         {{1, "new", 300}, {2, "a", 200}, {3, "b", 150}}},
    };
    for (const Case& c : cases) {
        RankTable r = tableOf(c.before);
        mergeResult(r, "new", c.score);
        EXPECT_EQ(entriesOf(r), c.after) << c.what;
    }
}

TEST(MergeResult, AFullTableDropsItsLastOrKeepsAllTen) {
    RankTable r = parse(tenEntries()); // 200, 150, 140, ..., 70
    mergeResult(r, "new", 150);
    std::vector<Entry> entries = entriesOf(r);
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries[1], (Entry{2, "p1", 150}));
    EXPECT_EQ(entries[2], (Entry{3, "new", 150}));
    EXPECT_EQ(entries[9], (Entry{10, "p8", 80}));

    RankTable low = parse(tenEntries());
    for (RankEntry& e : low) {
        e.rank = 7;
    }
    mergeResult(low, "new", 5);
    entries = entriesOf(low);
    ASSERT_EQ(entries.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].rank, i + 1);
        EXPECT_NE(entries[static_cast<std::size_t>(i)].name, "new");
    }
}

TEST(FormatRanking, WritesOnlyRealEntriesAndReadsBackTheSame) {
    const RankTable r = tableOf({{1, "Ann", 210}, {2, "김철수", 180}, {3, "Cy", 99}});
    char text[1024];
    const std::size_t size = formatRanking(r, text, sizeof text);
    EXPECT_EQ(std::string(text, size), "1\tAnn\t210\n2\t김철수\t180\n3\tCy\t99\n");
    EXPECT_EQ(entriesOf(parse(std::string(text, size))), entriesOf(r));
    EXPECT_EQ(formatRanking(tableOf({}), text, sizeof text), 0u);
}

class RankingFile : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = useFreshDataFolder();
        memory::reset();
    }
    std::string folder;
    RankTable r{};
    StorageError error{};
};

TEST_F(RankingFile, AMissingFileIsCreatedEmptyWithItsFolders) {
    ASSERT_TRUE(loadRanking(r, error)) << error.reason;
    EXPECT_TRUE(entriesOf(r).empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(rankingFilePath()));
    EXPECT_EQ(readFile(rankingFilePath()), "");
}

TEST_F(RankingFile, SaveAsksTheNameAndWritesTheMergedTable) {
    writeFile(rankingFilePath(), "1\tAnn\t210\n2\tBo\t180\n");
    ASSERT_TRUE(loadRanking(r, error));
    pushScript("Cyrus the great E");
    ASSERT_EQ(saveRanking(r, 200, error), SaveResult::Saved) << error.reason;
    EXPECT_EQ(readFile(rankingFilePath()), "1\tAnn\t210\n2\tCyrus\t200\n3\tBo\t180\n");
    EXPECT_EQ(memory::keysLeft(), 0u);
}

TEST_F(RankingFile, SavingAHandEditedFileKeepsEveryEntryThatCouldBeRead) {
    // Lines that hold no entry, in the middle: a name with a blank, a note, a score beyond int.
    writeFile(rankingFilePath(), "1\tAnn\t210\n2\tBo Lee\t190\n3\tCy\t180\nmy best games\n"
                                 "4\tDi\t99999999999\n5\tEd\t170\n6\t가나다라마바\t160\n");
    ASSERT_TRUE(loadRanking(r, error));
    pushScript("Zed E");
    ASSERT_EQ(saveRanking(r, 185, error), SaveResult::Saved) << error.reason;
    EXPECT_EQ(readFile(rankingFilePath()),
              "1\tAnn\t210\n2\tZed\t185\n3\tCy\t180\n4\tEd\t170\n5\t가나다라\t160\n");
}

// Nine entries of 5 and the best one last: the best stays, first, and the places written and
// shown are 1 to 10.
TEST_F(RankingFile, AFileNotInOrderKeepsItsBestEntryOnTheScreenAndThroughASave) {
    std::string stored;
    for (int i = 1; i <= 9; ++i) {
        stored += std::to_string(i) + "\tX\t5\n";
    }
    stored += "10\tBest\t300\n";
    writeFile(rankingFilePath(), stored);
    ASSERT_TRUE(loadRanking(r, error)) << error.reason;
    EXPECT_FALSE(showRanking(r)); // the input ends with the list on the screen
    EXPECT_EQ(memory::row(3), std::string(48, ' ') + " 1        Best   300");
    EXPECT_EQ(memory::row(21), std::string(48, ' ') + "10           X     5");
    pushScript("Ann E");
    ASSERT_EQ(saveRanking(r, 63, error), SaveResult::Saved) << error.reason;
    std::string saved = "1\tBest\t300\n2\tAnn\t63\n";
    for (int i = 3; i <= 10; ++i) {
        saved += std::to_string(i) + "\tX\t5\n";
    }
    EXPECT_EQ(readFile(rankingFilePath()), saved);
}

// A file saved by an editor with a byte order mark, or as UTF-16, keeps its entries through a
// save, which writes UTF-8 without a mark.
TEST_F(RankingFile, AFileWithAByteOrderMarkKeepsItsEntriesAndIsSavedAsUtf8) {
    const std::u32string text = U"1\tAnn\t251\r\n2\t김철수\t198\r\n";
    for (const std::string& content :
         {"\xEF\xBB\xBF" + utf8Of(text), "\xFF\xFE" + utf16Of(text, false),
          "\xFE\xFF" + utf16Of(text, true)}) {
        writeFile(rankingFilePath(), content);
        ASSERT_TRUE(loadRanking(r, error)) << error.reason;
        EXPECT_EQ(entriesOf(r), (std::vector<Entry>{{1, "Ann", 251}, {2, "김철수", 198}}));
        memory::reset();
        pushScript("Bo E");
        ASSERT_EQ(saveRanking(r, 200, error), SaveResult::Saved) << error.reason;
        EXPECT_EQ(readFile(rankingFilePath()), "1\tAnn\t251\n2\tBo\t200\n3\t김철수\t198\n");
    }
}

TEST_F(RankingFile, SaveKeepsAResultThatAnotherGameSavedMeanwhile) {
    ASSERT_TRUE(loadRanking(r, error));
    writeFile(rankingFilePath(), "1\tOther\t150\n");
    pushScript("Me E");
    ASSERT_EQ(saveRanking(r, 100, error), SaveResult::Saved);
    EXPECT_EQ(readFile(rankingFilePath()), "1\tOther\t150\n2\tMe\t100\n");
}

// Another game's save holds the lock: after a second of waiting the player is told so where the
// prompt stands, the keys typed meanwhile are thrown away once the lock is had, and the prompt
// comes back with the name before the save goes on. The other game is a thread that holds the
// lock until the message is seen (or, should it never be, for a minute).
TEST_F(RankingFile, ASaveWaitingForAnotherGamesLockSaysSoAndDropsTheKeysTypedMeanwhile) {
    writeFile(rankingFilePath(), "1\tAnn\t210\n");
    ASSERT_TRUE(loadRanking(r, error)) << error.reason;
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool release = false;
    std::thread otherGame([&] {
        StorageError otherError{};
        const RankingLock lock = lockRanking(otherError);
        std::unique_lock<std::mutex> guard(mutex);
        held = true;
        changed.notify_all();
        changed.wait_for(guard, std::chrono::minutes(1), [&] { return release; });
        unlockRanking(lock);
    });
    {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait(guard, [&] { return held; });
    }
    int waited = 0;
    int waitedBeforeMessage = -1;
    std::string shown;
    memory::onEachDelay([&](int milliseconds) {
        if (shown.empty() && memory::row(25).find("WAITING") != std::string::npos) {
            shown = memory::row(25);
            waitedBeforeMessage = waited;
            memory::typeKeys({KeyEnter, 'x', KeyEnter});
            const std::lock_guard<std::mutex> guard(mutex);
            release = true;
            changed.notify_all();
        }
        waited += milliseconds;
    });
    pushScript("Bo E");
    const SaveResult result = saveRanking(r, 100, error);
    memory::onEachDelay({});
    otherGame.join();
    ASSERT_EQ(result, SaveResult::Saved) << error.reason;
    EXPECT_EQ(shown, std::string(19, ' ') + "WAITING: ANOTHER GAME IS SAVING");
    EXPECT_EQ(waitedBeforeMessage, 1000) << "the waits before the message, in milliseconds";
    EXPECT_EQ(memory::keysThrownAway(), 3);
    EXPECT_EQ(memory::keysLeft(), 0u);
    EXPECT_EQ(memory::row(25), std::string(19, ' ') + "게임 끝! 이름 입력: Bo");
    EXPECT_EQ(readFile(rankingFilePath()), "1\tAnn\t210\n2\tBo\t100\n");
}

TEST_F(RankingFile, SaveLeavesTheUsersOtherFilesAlone) {
    writeFile(rankingFilePath(), "1\tAnn\t210\n");
    writeFile(rankingFilePath() + ".backup", "mine");
    writeFile(rankingFilePath() + ".old", "mine too");
#if !defined(_WIN32)
    std::filesystem::permissions(rankingFilePath(), std::filesystem::perms(0644));
#endif
    ASSERT_TRUE(loadRanking(r, error));
    pushScript("Bo E");
    ASSERT_EQ(saveRanking(r, 100, error), SaveResult::Saved) << error.reason;
    EXPECT_EQ(readFile(rankingFilePath()), "1\tAnn\t210\n2\tBo\t100\n");
    EXPECT_EQ(readFile(rankingFilePath() + ".backup"), "mine");
    EXPECT_EQ(readFile(rankingFilePath() + ".old"), "mine too");
#if !defined(_WIN32)
    EXPECT_EQ(std::filesystem::status(rankingFilePath()).permissions(),
              std::filesystem::perms(0644));
#endif
}

TEST_F(RankingFile, FailuresNameTheFileAndLeaveItUntouched) {
    // A file standing where the folder should be.
    writeFile(folder + "/JorvoDice", "not a folder");
    EXPECT_FALSE(loadRanking(r, error));
    EXPECT_NE(std::string(error.path).find("JorvoDice"), std::string::npos);
    EXPECT_STRNE(error.reason, "");
    std::filesystem::remove(folder + "/JorvoDice");

    // A folder standing where the file should be.
    std::filesystem::create_directories(rankingFilePath());
    EXPECT_FALSE(loadRanking(r, error));
    EXPECT_EQ(std::string(error.path), rankingFilePath());
    std::filesystem::remove(rankingFilePath());
}

// Failures found before the path is whole still name the file in the message.
TEST_F(RankingFile, AFolderNameTooLongStillNamesTheFile) {
#if defined(_WIN32)
    const char* variable = "JORVO_DATA_HOME";
    const std::string tooLong = "C:\\" + std::string(1010, 'x');
    _putenv_s(variable, tooLong.c_str());
#else
    const char* variable = "XDG_DATA_HOME";
    const std::string tooLong = "/" + std::string(2000, 'x');
    setenv(variable, tooLong.c_str(), 1);
#endif
    EXPECT_FALSE(loadRanking(r, error));
    const std::string path = error.path;
    EXPECT_EQ(path.rfind(tooLong.substr(0, 50), 0), 0u) << path;
    EXPECT_STRNE(error.reason, "");
}

TEST_F(RankingFile, AnUnreadableFileAtTheEndAsksNoName) {
    ASSERT_TRUE(loadRanking(r, error));
    std::filesystem::remove(rankingFilePath());
    std::filesystem::create_directories(rankingFilePath());
    pushScript("Ann E");
    EXPECT_EQ(saveRanking(r, 100, error), SaveResult::Failed);
    EXPECT_EQ(memory::keysLeft(), 5u);
    EXPECT_EQ(memory::row(25), "");
}

TEST_F(RankingFile, AZeroByteInAStoredNameKeepsTheEntries) {
    writeFile(rankingFilePath(), std::string("1\tA\0n\t300\n2\t\0\t200\n", 18));
    ASSERT_TRUE(loadRanking(r, error));
    EXPECT_STREQ(r[0].name, "A?n");
    EXPECT_STREQ(r[1].name, "?");
    EXPECT_EQ(r[1].score, 200);
    EXPECT_EQ(r[2].rank, 0);
}

TEST(NamePrompt, KeepsOneWordOfPrintableCharactersInNineColumns) {
    struct Case {
        const char* what;
        std::vector<int> keys;
        std::string name;
    } cases[] = {
        {"plain", {'A', 'n', 'n', KeyEnter}, "Ann"},
        {"blank lines do not end it", {KeyEnter, ' ', ' ', KeyEnter, 'B', 'o', KeyEnter}, "Bo"},
        {"first word only", {'a', 'b', ' ', 'c', 'd', KeyEnter}, "ab"},
        {"nine characters at most",
         {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', 'x', KeyEnter},
         "123456789"},
        {"escape sequences and controls are dropped",
         {KeyEscape, KeyExtended, KeyUp, KeyFunction, 59, 'o', 7, 9, 'k', KeyEnter},
         "ok"},
        {"backspace edits",
         {'a', 'b', KeyBackspace, 'c', KeyDelete, KeyDelete, KeyBackspace, 'd', KeyEnter},
         "d"},
        {"UTF-8", {KeyText + 0xAE40, KeyText + 0xE0, 'z', KeyEnter}, "김àz"},
        {"backspace takes a whole Hangul syllable, never one byte of it",
         {'a', KeyText + 0xAE40, KeyText + 0xCCA0, KeyBackspace, KeyBackspace, 'b', KeyEnter},
         "ab"},
        {"backspace after the first word ended takes its last character",
         {KeyText + 0xAE40, ' ', KeyBackspace, 'c', KeyEnter},
         "c"},
        {"C1 controls are dropped", {KeyText + 0x9B, 'q', KeyEnter}, "q"},
        {"nine columns, a Hangul syllable counting two",
         {KeyText + 0xAC00, KeyText + 0xB098, KeyText + 0xB2E4, KeyText + 0xB77C, KeyText + 0xB9C8,
          KeyEnter},
         "가나다라"},
        {"a character that does not fit cuts the name there",
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', KeyText + 0xAC00, 'i', KeyEnter},
         "abcdefgh"},
        {"a backspace after the cut takes the name up again",
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', KeyText + 0xAC00, KeyBackspace, KeyText + 0xAC00,
          KeyEnter},
         "abcdefg가"},
    };
    for (const Case& c : cases) {
        memory::reset();
        for (int key : c.keys) {
            memory::pushKey(key);
        }
        char name[NameBytes];
        ASSERT_TRUE(readName(name, 39, 25)) << c.what;
        EXPECT_EQ(std::string(name), c.name) << c.what;
        EXPECT_EQ(memory::row(25), std::string(39, ' ') + c.name) << c.what;
    }
    memory::reset();
    memory::pushKeys({'a', 'b'});
    char name[NameBytes];
    EXPECT_FALSE(readName(name, 39, 25));
}

TEST(RankingScreen, ListsTheEntriesUpToTheFirstEmptySlot) {
    RankTable r = tableOf({{1, "Ann", 210}, {2, "김철수", 180}, {5, "Cy", 7}, {6, "가나다라x", 5}});
    r[5] = r[0]; // after an empty slot: never listed
    memory::reset();
    memory::pushKeys({'x', KeyExtended, KeyDown, KeyEnter});
    EXPECT_TRUE(showRanking(r));
    EXPECT_EQ(memory::keysLeft(), 0u);
    EXPECT_EQ(memory::clears(), 2);
    memory::reset();
    memory::pushKeys({KeyEscape});
    EXPECT_FALSE(showRanking(r));
    ExpectedScreen expected;
    expected.put(48, 3, " 1         Ann   210");
    expected.put(48, 5, " 2      김철수   180");
    expected.put(48, 7, " 3          Cy     7"); // places are positions, whatever was stored
    expected.put(48, 9, " 4   가나다라x     5"); // the widest name, its score in line
    expected.put(48, 25, "PRESS ENTER TO RETURN");
    expectScreen(expected);
}

TEST(RankingScreen, AnEmptyTableShowsOnlyTheReturnLine) {
    RankTable r{};
    memory::reset();
    memory::pushKeys({KeySpace});
    EXPECT_TRUE(showRanking(r));
    // The screen is cleared on return; an input that ends leaves it as it was shown.
    memory::reset();
    EXPECT_FALSE(showRanking(r));
    ExpectedScreen expected;
    expected.put(48, 25, "PRESS ENTER TO RETURN");
    expectScreen(expected);
}
