// Asking the terminal what it does with the game's characters, and what follows from its answers.
// Pure: the POSIX terminal sends the questions and feeds the reader what comes back with the time
// that has passed, and this decides, so that every step is tested with tables of input.
//
// Every question goes in one write: where the cursor went after `¢` (one column where the terminal
// decodes UTF-8), after the dice's `┃●↑` (three columns, or six where ambiguous-width characters
// are drawn wide), and after one glyph of the line-drawing set (one column or two), each on the
// cursor's line from its first column, then Primary Device Attributes, which nearly every
// terminal answers, and answers last: once its answer is in, every answer that will come has come,
// so a local terminal and a slow link alike cost one round trip. Only a terminal that answers
// nothing waits the whole limit.
#pragma once

#include "console/glyphs.h"

#include <cstddef>

// How long the terminal gets to answer, from the moment the questions were sent.
constexpr long ProbeLimitMilliseconds = 1000;

// The cursor position reports asked for, in the order they are answered.
enum ProbeReport { ReportAfterCent = 0, ReportAfterDice = 1, ReportAfterLineDrawing = 2 };
constexpr int ProbeReportCount = 3;

// The terminfo strings the questions are made of; nullptr (or terminfo's "absent") for one the
// terminal type lacks.
struct ProbeStrings {
    const char* enableLineDrawing; // enacs
    const char* enterLineDrawing;  // smacs
    const char* leaveLineDrawing;  // rmacs
    const char* eraseLine;         // el
};

// Whether terminfo gives a capability: tigetstr's nullptr (absent) and (char*)-1 (not a string)
// both mean no.
bool capabilityUsable(const char* capability);

struct ProbeBytes {
    char bytes[192];
    std::size_t length;
};

// The questions, in one piece. The line-drawing question is left out where the terminal type has
// no way into its line-drawing set; `reports` tells how many cursor reports were asked for.
ProbeBytes probeQuestions(const ProbeStrings& strings, int& reports);
// What erases the questions' characters from the cursor's line again.
ProbeBytes probeErase(const ProbeStrings& strings);

// The answers as they come in, among keys the player may type meanwhile.
struct ProbeReader {
    int reports = 0;                    // cursor reports asked for
    int columns[ProbeReportCount] = {}; // the column each report gave, 0 while none has
    int answered = 0;                   // reports read so far
    bool attributesAnswered = false;    // Device Attributes, the last answer, has come
    unsigned char partial[32] = {};     // the start of an answer whose rest has not come yet
    std::size_t partialLength = 0;
    unsigned char typed[64] = {}; // what the player typed meanwhile, in order
    std::size_t typedLength = 0;
};

enum class ProbeStatus { Waiting, Answered, TimedOut };

// Feeds the bytes read `elapsedMilliseconds` after the questions were sent (none: only the time
// has passed). Answers are taken out; every other byte is kept as typed, in order, as is the start
// of an answer that is still unfinished at the limit.
ProbeStatus feedProbe(ProbeReader& reader, const unsigned char* bytes, std::size_t size,
                      long elapsedMilliseconds);
// How long to wait for more input after `elapsedMilliseconds`; 0 once the limit has passed.
long probeWaitMilliseconds(long elapsedMilliseconds);

// What the answers say.
struct TerminalShows {
    bool answered = false;      // it answered where the cursor went
    bool utf8 = false;          // it decodes UTF-8
    bool ambiguousWide = false; // it draws East Asian ambiguous-width characters two columns wide
    // Its line-drawing set is one column wide: in some terminals that draw ambiguous characters
    // wide, it is two. Taken as one where it was not asked.
    bool lineDrawingNarrow = true;
};

TerminalShows probeResult(const ProbeReader& reader);

// The charset the screen is written and the keys read in.
enum class Charset {
    Locale, // the locale's own: what it says agrees with the terminal, or nothing was answered
    Utf8,   // the terminal decodes UTF-8 though the locale's charset is another
    Ascii,  // the terminal does not decode UTF-8 though the locale says it does: a charset nobody
            // named, so nothing but ASCII
};

Charset chooseCharset(const TerminalShows& shows, bool localeUtf8);

// What the stand-ins are chosen by, once the charset is set: `diceInCharset` whether the charset
// holds every dice glyph at the layout's width.
TerminalAbilities terminalAbilities(const TerminalShows& shows, bool diceInCharset);

// An EUC charset is ISO 2022 underneath: its double-byte set sits in G1, shown through the upper
// half of the bytes. A terminal type that enables its line-drawing set by designating that set to
// G1 (enacs) would show the locale's characters as line drawing where the terminal follows ISO
// 2022, as luit does. The designation that gives G1 back to the charset's double-byte set, to be
// sent after ncurses has enabled its line-drawing set; nullptr where there is no such clash.
const char* secondSetDesignation(const char* codeset, const char* enableLineDrawing);

// Whether the dice may be drawn with the line-drawing set: it is one column wide, and it is not
// shifted in from a G1 that holds the charset's own characters.
bool lineDrawingUsable(const TerminalShows& shows, const char* secondSet,
                       const char* enterLineDrawing);
