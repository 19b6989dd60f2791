#include "console/probe.h"

#include <cstring>

namespace {

// ¢ (U+00A2) takes one column where the terminal decodes UTF-8; elsewhere its two bytes are two
// characters (ISO 8859) or one wide one (EUC). Neither byte is a control character anywhere.
constexpr char CentQuestion[] = "\r\xC2\xA2\033[6n";
// The dice's frame, pip and cursor, which a terminal set up for East Asian text draws two columns
// wide each. Where the terminal does not decode UTF-8 their bytes draw something else, which the
// answer is not read for, and none of them starts a control string that would swallow what follows.
constexpr char DiceQuestion[] = "\r\xE2\x94\x83\xE2\x97\x8F\xE2\x86\x91\033[6n";
constexpr int DiceCharacters = 3;
constexpr char AttributesQuestion[] = "\033[c";
constexpr char PositionQuestion[] = "\033[6n";

void put(ProbeBytes& out, char c) {
    if (out.length < sizeof out.bytes) {
        out.bytes[out.length] = c;
    }
    ++out.length;
}

void add(ProbeBytes& out, const char* text) {
    for (; *text != '\0'; ++text) {
        put(out, *text);
    }
}

// A terminfo string without its padding ($<...>), which only tputs knows how to send.
void addCapability(ProbeBytes& out, const char* capability) {
    for (const char* c = capability; *c != '\0'; ++c) {
        if (c[0] == '$' && c[1] == '<' && std::strchr(c, '>') != nullptr) {
            c = std::strchr(c, '>');
        } else {
            put(out, *c);
        }
    }
}

enum class Answer { None, Position, Attributes };

struct Match {
    Answer answer;
    std::size_t length; // 0 with Answer::None: no answer starts here; with it: one may yet
    int column;
};

// ESC [ row ; column R, or ESC [ ? number (; number)* c.
Match matchAnswer(const unsigned char* bytes, std::size_t size) {
    constexpr Match Unfinished{Answer::None, 1, 0};
    constexpr Match NoAnswer{Answer::None, 0, 0};
    if (size < 2) {
        return size == 1 && bytes[0] == 0x1B ? Unfinished : NoAnswer;
    }
    if (bytes[0] != 0x1B || bytes[1] != '[') {
        return NoAnswer;
    }
    if (size == 2) {
        return Unfinished;
    }
    std::size_t i = 2;
    if (bytes[2] == '?') {
        // Device Attributes: digits and semicolons, ended by c.
        for (i = 3; i < size; ++i) {
            if (bytes[i] == 'c') {
                return i > 3 ? Match{Answer::Attributes, i + 1, 0} : NoAnswer;
            }
            if ((bytes[i] < '0' || bytes[i] > '9') && bytes[i] != ';') {
                return NoAnswer;
            }
        }
        return Unfinished;
    }
    int numbers[2] = {0, 0};
    for (int n = 0; n < 2; ++n) {
        const std::size_t first = i;
        while (i < size && bytes[i] >= '0' && bytes[i] <= '9') {
            if (numbers[n] < 10000) {
                numbers[n] = numbers[n] * 10 + (bytes[i] - '0');
            }
            ++i;
        }
        if (i == size) {
            return Unfinished;
        }
        if (i == first || bytes[i] != (n == 0 ? ';' : 'R')) {
            return NoAnswer;
        }
        ++i;
    }
    return Match{Answer::Position, i, numbers[1]};
}

void keepTyped(ProbeReader& reader, unsigned char byte) {
    if (reader.typedLength < sizeof reader.typed) {
        reader.typed[reader.typedLength++] = byte;
    }
}

void take(ProbeReader& reader, const Match& match) {
    if (match.answer == Answer::Attributes) {
        reader.attributesAnswered = true;
    } else if (reader.answered < reader.reports) {
        reader.columns[reader.answered++] = match.column > 0 ? match.column : 0;
    }
}

// One byte of input: part of an answer, or typed.
void feedByte(ProbeReader& reader, unsigned char byte) {
    if (reader.partialLength == 0 && byte != 0x1B) {
        keepTyped(reader, byte);
        return;
    }
    reader.partial[reader.partialLength++] = byte;
    const Match match = matchAnswer(reader.partial, reader.partialLength);
    if (match.answer != Answer::None) {
        take(reader, match);
        reader.partialLength = 0;
        return;
    }
    if (match.length > 0 && reader.partialLength < sizeof reader.partial) {
        return; // the rest is still on its way
    }
    // No answer after all: the escape was typed, and what came after it is read again.
    unsigned char rest[sizeof reader.partial];
    const std::size_t count = reader.partialLength - 1;
    std::memcpy(rest, reader.partial + 1, count);
    keepTyped(reader, reader.partial[0]);
    reader.partialLength = 0;
    for (std::size_t i = 0; i < count; ++i) {
        feedByte(reader, rest[i]);
    }
}

} // namespace

bool capabilityUsable(const char* capability) {
    return capability != nullptr && capability != reinterpret_cast<const char*>(-1);
}

ProbeBytes probeQuestions(const ProbeStrings& strings, int& reports) {
    ProbeBytes out{};
    add(out, CentQuestion);
    add(out, DiceQuestion);
    reports = 2;
    if (capabilityUsable(strings.enterLineDrawing) && capabilityUsable(strings.leaveLineDrawing)) {
        // The set is made available first (enacs), as ncurses does when it starts.
        ProbeBytes line{};
        add(line, "\r");
        if (capabilityUsable(strings.enableLineDrawing)) {
            addCapability(line, strings.enableLineDrawing);
        }
        addCapability(line, strings.enterLineDrawing);
        add(line, "x");
        addCapability(line, strings.leaveLineDrawing);
        add(line, PositionQuestion);
        if (line.length <= sizeof line.bytes) {
            for (std::size_t i = 0; i < line.length; ++i) {
                put(out, line.bytes[i]);
            }
            reports = 3;
        }
    }
    add(out, AttributesQuestion);
    return out;
}

ProbeBytes probeErase(const ProbeStrings& strings) {
    ProbeBytes out{};
    add(out, "\r");
    if (capabilityUsable(strings.eraseLine)) {
        addCapability(out, strings.eraseLine);
    } else {
        add(out, "        \r");
    }
    if (out.length > sizeof out.bytes) {
        out = ProbeBytes{};
        add(out, "\r        \r");
    }
    return out;
}

ProbeStatus feedProbe(ProbeReader& reader, const unsigned char* bytes, std::size_t size,
                      long elapsedMilliseconds) {
    for (std::size_t i = 0; i < size; ++i) {
        feedByte(reader, bytes[i]);
    }
    if (reader.attributesAnswered) {
        return ProbeStatus::Answered;
    }
    if (elapsedMilliseconds < ProbeLimitMilliseconds) {
        return ProbeStatus::Waiting;
    }
    // What never became an answer was typed.
    for (std::size_t i = 0; i < reader.partialLength; ++i) {
        keepTyped(reader, reader.partial[i]);
    }
    reader.partialLength = 0;
    return ProbeStatus::TimedOut;
}

long probeWaitMilliseconds(long elapsedMilliseconds) {
    return elapsedMilliseconds >= ProbeLimitMilliseconds
               ? 0
               : ProbeLimitMilliseconds - elapsedMilliseconds;
}

TerminalShows probeResult(const ProbeReader& reader) {
    TerminalShows shows;
    const int afterCent = reader.columns[ReportAfterCent];
    shows.answered = afterCent > 0;
    shows.utf8 = afterCent == 2;
    if (shows.utf8) {
        shows.ambiguousWide = reader.columns[ReportAfterDice] > 1 + DiceCharacters;
    }
    if (shows.answered && reader.reports > ReportAfterLineDrawing) {
        shows.lineDrawingNarrow = reader.columns[ReportAfterLineDrawing] == 2;
    }
    return shows;
}

Charset chooseCharset(const TerminalShows& shows, bool localeUtf8) {
    if (shows.answered && shows.utf8 && !localeUtf8) {
        return Charset::Utf8;
    }
    if (shows.answered && !shows.utf8 && localeUtf8) {
        return Charset::Ascii;
    }
    return Charset::Locale;
}

TerminalAbilities terminalAbilities(const TerminalShows& shows, bool diceInCharset) {
    TerminalAbilities abilities;
    abilities.ambiguousWide = shows.ambiguousWide;
    abilities.diceGlyphs = !shows.ambiguousWide && diceInCharset;
    return abilities;
}

const char* secondSetDesignation(const char* codeset, const char* enableLineDrawing) {
    struct EucSet {
        const char* codeset;
        const char* designation;
    };
    constexpr EucSet EucSets[] = {
        {"EUC-KR", "\033$)C"},
        {"EUC-JP", "\033$)B"},
        {"GB2312", "\033$)A"},
    };
    if (codeset == nullptr || !capabilityUsable(enableLineDrawing) ||
        std::strstr(enableLineDrawing, "\033)") == nullptr) {
        return nullptr;
    }
    for (const EucSet& set : EucSets) {
        if (std::strcmp(codeset, set.codeset) == 0) {
            return set.designation;
        }
    }
    return nullptr;
}

bool lineDrawingUsable(const TerminalShows& shows, const char* secondSet,
                       const char* enterLineDrawing) {
    // A line-drawing set shifted in from G1 (SO) would be the locale's own characters.
    const bool shiftedFromSecondSet = secondSet != nullptr && capabilityUsable(enterLineDrawing) &&
                                      std::strchr(enterLineDrawing, '\016') != nullptr;
    return shows.lineDrawingNarrow && !shiftedFromSecondSet;
}
