// The start-up question to the terminal: what is asked, how the answers are read among typed keys
// as they come in, with time passed in, and what follows from them.
#include "console/probe.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const ProbeStrings XtermStrings{"\033(B\033)0", "\033(0", "\033(B", "\033[K"};

std::string bytesOf(const ProbeBytes& bytes) {
    return std::string(bytes.bytes, bytes.length);
}

// Input as it comes: these bytes, read this long after the questions were sent.
struct Read {
    std::string bytes;
    long at;
};

struct Fed {
    ProbeStatus status;
    ProbeReader reader;
    long endedAt; // when the status stopped being Waiting, or -1
};

// Feeds the reads one after another, as the terminal layer does, stopping once the reader is no
// longer waiting; a read of no bytes stands for time passing with nothing.
Fed feedAll(const std::vector<Read>& reads, int reports = 3) {
    Fed fed{ProbeStatus::Waiting, ProbeReader{}, -1};
    fed.reader.reports = reports;
    for (const Read& read : reads) {
        fed.status =
            feedProbe(fed.reader, reinterpret_cast<const unsigned char*>(read.bytes.data()),
                      read.bytes.size(), read.at);
        if (fed.status != ProbeStatus::Waiting) {
            fed.endedAt = read.at;
            break;
        }
    }
    return fed;
}

std::string typed(const ProbeReader& reader) {
    return std::string(reinterpret_cast<const char*>(reader.typed), reader.typedLength);
}

// The answers of a narrow UTF-8 terminal: after ¢ column 2, after ┃●↑ column 4, after the
// line-drawing glyph column 2, then its attributes.
const std::string NarrowAnswers = "\033[5;2R\033[5;4R\033[5;2R\033[?62;22c";

} // namespace

TEST(ProbeQuestions, AreAllAskedInOneWriteEndedByTheAttributesRequest) {
    int reports = 0;
    EXPECT_EQ(bytesOf(probeQuestions(XtermStrings, reports)), "\r\u00a2\033[6n"
                                                              "\r\u2503\u25cf\u2191\033[6n"
                                                              "\r\033(B\033)0\033(0x\033(B\033[6n"
                                                              "\033[c");
    EXPECT_EQ(reports, 3);

    // Padding is for tputs alone; a terminal type without a way into its line-drawing set is
    // not asked about it.
    EXPECT_EQ(bytesOf(probeQuestions({nullptr, "\016$<2>", "\017", nullptr}, reports)),
              "\r\u00a2\033[6n\r\u2503\u25cf\u2191\033[6n\r\016x\017\033[6n\033[c");
    EXPECT_EQ(reports, 3);
    const char* absent = reinterpret_cast<const char*>(-1);
    EXPECT_EQ(bytesOf(probeQuestions({"\033)0", absent, "\017", nullptr}, reports)),
              "\r\u00a2\033[6n\r\u2503\u25cf\u2191\033[6n\033[c");
    EXPECT_EQ(reports, 2);
}

TEST(ProbeQuestions, AreErasedFromTheLineTheyWereDrawnOn) {
    EXPECT_EQ(bytesOf(probeErase(XtermStrings)), "\r\033[K");
    // Without a way to erase to the end of the line, blanks over the widest question.
    EXPECT_EQ(bytesOf(probeErase({nullptr, nullptr, nullptr, nullptr})), "\r        \r");
}

TEST(ProbeReader, TakesTheAnswersOutAsTheyComeAndKeepsWhatWasTyped) {
    struct Case {
        const char* what;
        std::vector<Read> reads;
        ProbeStatus status;
        long endedAt;
        std::vector<int> columns;
        std::string typed;
    };
    const std::vector<Case> cases = {
        {"a local terminal, all at once",
         {{NarrowAnswers, 3}},
         ProbeStatus::Answered,
         3,
         {2, 4, 2},
         ""},
        {"a link with a 200 ms round trip: done when the last answer is in",
         {{"", 100}, {"\033[5;2R\033[5", 200}, {";4R\033[5;2R\033[?6", 205}, {"2;22c", 210}},
         ProbeStatus::Answered,
         210,
         {2, 4, 2},
         ""},
        {"an East Asian terminal, its attributes before the limit",
         {{"\033[1;2R\033[1;7R\033[1;3R", 40}, {"\033[?1;2c", 41}},
         ProbeStatus::Answered,
         41,
         {2, 7, 3},
         ""},
        {"keys typed before and among the answers are kept in order",
         {{"x\033[A", 1}, {"\033[5;2R\r\033[5;4R", 2}, {"\033OB\033[5;2R \033[?62c", 3}},
         ProbeStatus::Answered,
         3,
         {2, 4, 2},
         "x\033[A\r\033OB "},
        {"an Escape typed just before an answer is a key",
         {{"\033\033[5;2R\033[5;4R\033[5;2R\033[?62;22c", 9}},
         ProbeStatus::Answered,
         9,
         {2, 4, 2},
         "\033"},
        {"a terminal that answers nothing costs the whole limit",
         {{"", 500}, {"", 999}, {"", 1000}},
         ProbeStatus::TimedOut,
         1000,
         {0, 0, 0},
         ""},
        {"cursor reports without attributes are used once the limit has passed",
         {{"\033[1;3R\033[1;10R\033[1;2R", 5}, {"", 1000}},
         ProbeStatus::TimedOut,
         1000,
         {3, 10, 2},
         ""},
        {"an answer cut off by the limit goes to the keys, which drop it whole",
         {{"\033[5;2R\033[5;4R\033[5", 20}, {"", 1000}},
         ProbeStatus::TimedOut,
         1000,
         {2, 4, 0},
         "\033[5"},
        {"a report beyond those asked for is no key",
         {{"\033[5;2R\033[5;4R\033[5;2R\033[5;9R\033[?62c", 4}},
         ProbeStatus::Answered,
         4,
         {2, 4, 2},
         ""},
        {"what only looks like the start of an answer is typed",
         {{"\033[?x\033[;2R\033[5;R", 4}, {"", 1000}},
         ProbeStatus::TimedOut,
         1000,
         {0, 0, 0},
         "\033[?x\033[;2R\033[5;R"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Fed fed = feedAll(c.reads);
        EXPECT_EQ(fed.status, c.status);
        EXPECT_EQ(fed.endedAt, c.endedAt);
        EXPECT_EQ(std::vector<int>(fed.reader.columns, fed.reader.columns + ProbeReportCount),
                  c.columns);
        EXPECT_EQ(typed(fed.reader), c.typed);
    }
}

TEST(ProbeReader, ReadsAnswersSplitAtEveryByte) {
    std::vector<Read> reads;
    const std::string input = "a" + NarrowAnswers;
    for (std::size_t i = 0; i < input.size(); ++i) {
        reads.push_back({input.substr(i, 1), static_cast<long>(i)});
    }
    const Fed fed = feedAll(reads);
    EXPECT_EQ(fed.status, ProbeStatus::Answered);
    EXPECT_EQ(fed.endedAt, static_cast<long>(input.size() - 1));
    EXPECT_EQ(typed(fed.reader), "a");
    EXPECT_EQ(fed.reader.columns[ReportAfterDice], 4);
}

TEST(ProbeReader, WaitsWhatIsLeftOfTheLimit) {
    EXPECT_EQ(probeWaitMilliseconds(0), ProbeLimitMilliseconds);
    EXPECT_EQ(probeWaitMilliseconds(250), ProbeLimitMilliseconds - 250);
    EXPECT_EQ(probeWaitMilliseconds(ProbeLimitMilliseconds), 0);
    EXPECT_EQ(probeWaitMilliseconds(ProbeLimitMilliseconds + 40), 0);
}

TEST(ProbeResult, SaysWhatTheTerminalShows) {
    struct Case {
        const char* what;
        int reports;
        std::vector<int> columns;
        bool answered, utf8, ambiguousWide, lineDrawingNarrow;
    };
    const std::vector<Case> cases = {
        {"UTF-8, ambiguous narrow", 3, {2, 4, 2}, true, true, false, true},
        {"UTF-8, ambiguous wide and line drawing wide (xterm -cjk_width)",
         3,
         {2, 7, 3},
         true,
         true,
         true,
         false},
        {"UTF-8, ambiguous wide, line drawing narrow", 3, {2, 7, 2}, true, true, true, true},
        {"ISO 8859: the cent sign's two bytes are two characters",
         3,
         {3, 10, 2},
         true,
         false,
         false,
         true},
        {"EUC: one wide character", 3, {3, 5, 2}, true, false, false, true},
        {"no answer: the line-drawing set is taken as narrow",
         3,
         {0, 0, 0},
         false,
         false,
         false,
         true},
        {"a line-drawing question left unanswered", 3, {3, 10, 0}, true, false, false, false},
        {"not asked about the line-drawing set", 2, {3, 10, 0}, true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProbeReader reader;
        reader.reports = c.reports;
        for (int i = 0; i < ProbeReportCount; ++i) {
            reader.columns[i] = c.columns[static_cast<std::size_t>(i)];
        }
        const TerminalShows shows = probeResult(reader);
        EXPECT_EQ(shows.answered, c.answered);
        EXPECT_EQ(shows.utf8, c.utf8);
        EXPECT_EQ(shows.ambiguousWide, c.ambiguousWide);
        EXPECT_EQ(shows.lineDrawingNarrow, c.lineDrawingNarrow);
    }
}

TEST(ProbeResult, ChoosesTheCharsetTheTerminalDecodes) {
    struct Case {
        bool answered, utf8, localeUtf8;
        Charset charset;
    };
    const Case cases[] = {
        {true, true, true, Charset::Locale},   {true, true, false, Charset::Utf8},
        {true, false, true, Charset::Ascii},   {true, false, false, Charset::Locale},
        {false, false, true, Charset::Locale}, {false, false, false, Charset::Locale},
    };
    for (const Case& c : cases) {
        TerminalShows shows;
        shows.answered = c.answered;
        shows.utf8 = c.utf8;
        EXPECT_EQ(chooseCharset(shows, c.localeUtf8), c.charset)
            << c.answered << c.utf8 << c.localeUtf8;
    }
}

TEST(ProbeResult, GivesTheAbilitiesTheStandInsAreChosenBy) {
    TerminalShows wide;
    wide.ambiguousWide = true;
    EXPECT_TRUE(terminalAbilities(wide, true).ambiguousWide);
    EXPECT_FALSE(terminalAbilities(wide, true).diceGlyphs);
    TerminalShows narrow;
    EXPECT_TRUE(terminalAbilities(narrow, true).diceGlyphs);
    EXPECT_FALSE(terminalAbilities(narrow, false).diceGlyphs);
    EXPECT_FALSE(terminalAbilities(narrow, false).ambiguousWide);
}

TEST(ProbeResult, GivesAnEucCharsetItsSecondSetBack) {
    struct Case {
        const char* codeset;
        const char* enableLineDrawing;
        const char* designation;
    };
    const Case cases[] = {
        {"EUC-KR", "\033(B\033)0", "\033$)C"}, {"EUC-JP", "\033)0", "\033$)B"},
        {"GB2312", "\033)0", "\033$)A"},       {"UTF-8", "\033)0", nullptr},
        {"EUC-KR", "\033(0", nullptr},         {"EUC-KR", nullptr, nullptr},
        {nullptr, "\033)0", nullptr},
    };
    for (const Case& c : cases) {
        const char* got = secondSetDesignation(c.codeset, c.enableLineDrawing);
        if (c.designation == nullptr) {
            EXPECT_EQ(got, nullptr) << (c.codeset ? c.codeset : "no codeset");
        } else {
            ASSERT_NE(got, nullptr) << c.codeset;
            EXPECT_STREQ(got, c.designation);
        }
    }
    TerminalShows shows;
    // The line-drawing set shifted in from G1 would be the charset's own characters there.
    EXPECT_FALSE(lineDrawingUsable(shows, "\033$)C", "\016"));
    EXPECT_TRUE(lineDrawingUsable(shows, "\033$)C", "\033(0"));
    EXPECT_TRUE(lineDrawingUsable(shows, nullptr, "\016"));
    shows.lineDrawingNarrow = false;
    EXPECT_FALSE(lineDrawingUsable(shows, nullptr, "\033(0"));
}
