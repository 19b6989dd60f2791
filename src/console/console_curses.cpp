// The POSIX backend, on ncursesw.
//
// The game draws into a pad of exactly the cells it needs, so that what is on screen survives a
// window that shrinks and grows again; ncurses sends only the cells that changed since the last
// frame. Key codes are translated into the console's own codes, and the terminal is given back as
// it was found on every way out, signals included.
//
// Before ncurses takes the terminal, the terminal is asked once what it does with the game's
// characters: whether it decodes UTF-8, and whether it draws the ambiguous-width ones (the dice)
// two columns wide. The screen is then written in UTF-8 or in the locale's own charset, and what
// the terminal cannot show at the layout's widths is drawn with stand-ins in the same cells.
#define NCURSES_WIDECHAR 1
#include "console/console.h"
#include "console/glyphs.h"
#include "console/key_queue.h"
#include "console/keys_curses.h"
#include "console/surface.h"
#include "text/text.h"

#include <curses.h>
#include <term.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <initializer_list>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int EscapeDelayMilliseconds = 25;
// Raw reads that one look for a key may make, so that a flood of input that gives no key (mouse
// reports, dropped sequences) cannot hold the game up.
constexpr int RawReadsPerLook = 64;

// ---- terminal state, kept for restoring ---------------------------------------------------------

struct Terminal {
    SCREEN* screen = nullptr;
    WINDOW* pad = nullptr;
    termios savedModes{};
    bool haveSavedModes = false;
    bool titlePushed = false;
    // The text goes to ncurses as it is: a UTF-8 locale, and the dice shown as drawn.
    bool plainText = true;
    bool utf8 = true;
    TerminalAbilities abilities;
    // The letters of the VT100 line-drawing set that the terminal has (terminfo's acsc).
    bool lineDrawing[128] = {};
    bool lineDrawingNarrow = true;
    // The designation of an EUC locale's double-byte set to G1, sent after ncurses enables its
    // line-drawing set there (see findSecondSet); nullptr where there is no such clash.
    const char* secondSet = nullptr;
    bool tooSmall = false;
    bool inputEnded = false;
    KeyDecoder decoder;
    KeyQueue keys;
    // What a signal handler writes to leave the terminal usable: only async-signal-safe calls may
    // run there, so the bytes are prepared in advance.
    char restoreBytes[256] = "";
    std::size_t restoreLength = 0;
};

Terminal terminal;
volatile std::sig_atomic_t resized = 0;

void appendRestore(const char* capability) {
    if (capability == nullptr || capability == reinterpret_cast<const char*>(-1)) {
        return;
    }
    const std::size_t length = std::strlen(capability);
    if (terminal.restoreLength + length < sizeof terminal.restoreBytes) {
        std::memcpy(terminal.restoreBytes + terminal.restoreLength, capability, length);
        terminal.restoreLength += length;
    }
}

// Puts the terminal's title back, for a terminal that kept it (see setTitle).
constexpr const char* TitleRestore = "\033[23;2t";

void prepareRestoreBytes() {
    terminal.restoreLength = 0;
    if (terminal.titlePushed) {
        appendRestore(TitleRestore);
    }
    appendRestore(tigetstr(const_cast<char*>("sgr0")));
    appendRestore(tigetstr(const_cast<char*>("rmkx")));
    appendRestore(tigetstr(const_cast<char*>("cnorm")));
    appendRestore(tigetstr(const_cast<char*>("rmcup")));
}

// Safe in a signal handler.
void restoreTerminalNow() {
    if (terminal.restoreLength > 0) {
        ssize_t ignored = write(STDOUT_FILENO, terminal.restoreBytes, terminal.restoreLength);
        (void)ignored;
    }
    // Keys typed ahead of the end are the game's, not the shell's.
    tcflush(STDIN_FILENO, TCIFLUSH);
    if (terminal.haveSavedModes) {
        tcsetattr(STDIN_FILENO, TCSANOW, &terminal.savedModes);
    }
}

void leaveOnSignal(int signal) {
    restoreTerminalNow();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void noteResize(int) {
    resized = 1;
}

// Every signal whose default action ends the process.
constexpr int EndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGSEGV, SIGABRT,
                                 SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP,   SIGSYS,  SIGUSR1,
                                 SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF, SIGXFSZ};

void installSignalHandlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = leaveOnSignal;
    action.sa_flags = SA_RESETHAND;
    for (int signal : EndingSignals) {
        sigaction(signal, &action, nullptr);
    }
    struct sigaction resize {};
    sigemptyset(&resize.sa_mask);
    resize.sa_handler = noteResize;
    sigaction(SIGWINCH, &resize, nullptr);
    // A window resized while the game was suspended sent its signal to the shell instead, so a
    // resumed game looks at the size again.
    sigaction(SIGCONT, &resize, nullptr);
}

void restoreSignalHandlers() {
    for (int signal : EndingSignals) {
        std::signal(signal, SIG_DFL);
    }
    std::signal(SIGWINCH, SIG_DFL);
    std::signal(SIGCONT, SIG_DFL);
}

// ---- what the terminal shows --------------------------------------------------------------------

// How long the terminal gets to answer each question; one that stays silent keeps what its locale
// says.
constexpr int ProbeMilliseconds = 100;
// ¢ (U+00A2) takes one column where the terminal decodes UTF-8; elsewhere its two bytes are two
// characters (ISO 8859) or one wide one (EUC). Neither byte is a control character anywhere.
constexpr char Utf8Question[] = "\r\xC2\xA2\033[6n";
// The dice's frame, pip and cursor, which a terminal set up for East Asian text draws two columns
// wide each; asked only of a terminal that decodes UTF-8, where their bytes are safe to send.
constexpr char AmbiguousQuestion[] = "\xE2\x94\x83\xE2\x97\x8F\xE2\x86\x91\033[6n";
constexpr int AmbiguousCharacters = 3;

struct Probe {
    bool answered = false;
    bool utf8 = false;
    bool ambiguousWide = false;
    // Whether the line-drawing set is one column wide: in some terminals drawing ambiguous
    // characters wide, it is two. Taken as one where the terminal was not asked.
    bool lineDrawingNarrow = true;
};

// What was typed while the terminal was being asked, handed to ncurses once it reads the keys.
struct TypedAhead {
    unsigned char bytes[64] = {};
    int count = 0;
};

TypedAhead typedAhead;

void keepTyped(const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0;
         i < count && typedAhead.count < static_cast<int>(sizeof typedAhead.bytes); ++i) {
        typedAhead.bytes[typedAhead.count++] = bytes[i];
    }
}

void writeAll(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(STDOUT_FILENO, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

long millisecondsNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * 1000L + now.tv_nsec / 1000000L;
}

// The column (1-based) of a cursor position report, ESC [ row ; column R, at bytes[start...];
// the report's length in `length`, or 0 where there is none.
int parseReport(const unsigned char* bytes, std::size_t size, std::size_t start,
                std::size_t& length) {
    length = 0;
    if (start + 1 >= size || bytes[start] != 0x1B || bytes[start + 1] != '[') {
        return 0;
    }
    std::size_t i = start + 2;
    int numbers[2] = {0, 0};
    for (int n = 0; n < 2; ++n) {
        const std::size_t first = i;
        while (i < size && bytes[i] >= '0' && bytes[i] <= '9' && numbers[n] < 10000) {
            numbers[n] = numbers[n] * 10 + (bytes[i] - '0');
            ++i;
        }
        if (i == first || i >= size || bytes[i] != (n == 0 ? ';' : 'R')) {
            return 0;
        }
        ++i;
    }
    length = i - start;
    return numbers[1];
}

bool capabilityUsable(const char* capability) {
    return capability != nullptr && capability != reinterpret_cast<char*>(-1);
}

// A question put together from terminfo strings, without their padding ($<...>), which only
// tputs knows how to send. A question that does not fit is not asked.
struct Question {
    char bytes[96] = "";
    std::size_t length = 0;

    void put(char c) {
        if (length < sizeof bytes) {
            bytes[length] = c;
        }
        ++length;
    }
    void add(const char* text) {
        for (; *text != '\0'; ++text) {
            put(*text);
        }
    }
    void addCapability(const char* capability) {
        for (const char* c = capability; *c != '\0'; ++c) {
            if (c[0] == '$' && c[1] == '<' && std::strchr(c, '>') != nullptr) {
                c = std::strchr(c, '>');
            } else {
                put(*c);
            }
        }
    }
};

// Sends a question and waits for the cursor position report; its column, or 0 if none came in
// time. Any other input that arrives meanwhile is kept for the game.
int askColumn(const char* question, std::size_t size) {
    writeAll(question, size);
    unsigned char input[256];
    std::size_t have = 0;
    const long deadline = millisecondsNow() + ProbeMilliseconds;
    for (;;) {
        for (std::size_t start = 0; start < have; ++start) {
            std::size_t length = 0;
            if (const int column = parseReport(input, have, start, length); column > 0) {
                keepTyped(input, start);
                keepTyped(input + start + length, have - start - length);
                return column;
            }
        }
        const long left = deadline - millisecondsNow();
        if (left <= 0 || have == sizeof input) {
            break;
        }
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0 || (ready.revents & POLLIN) == 0) {
            break;
        }
        const ssize_t got = read(STDIN_FILENO, input + have, sizeof input - have);
        if (got <= 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    keepTyped(input, have);
    return 0;
}

// Asks the terminal where the probe characters took the cursor, on the line the cursor is on, and
// erases them again. Input is read raw meanwhile, without echo.
Probe askTerminal() {
    Probe probe;
    if (!terminal.haveSavedModes) {
        return probe;
    }
    termios raw = terminal.savedModes;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        return probe;
    }
    const int afterCent = askColumn(Utf8Question, sizeof Utf8Question - 1);
    if (afterCent > 0) {
        probe.answered = true;
        probe.utf8 = afterCent == 2;
        if (probe.utf8) {
            const int afterSymbols = askColumn(AmbiguousQuestion, sizeof AmbiguousQuestion - 1);
            probe.ambiguousWide = afterSymbols > afterCent + AmbiguousCharacters;
        }
        // Where the dice may need stand-ins, the width of the line-drawing set is asked too,
        // after the sequence that makes the set available (enacs), which ncurses sends as well.
        const char* enable = tigetstr(const_cast<char*>("enacs"));
        const char* enter = tigetstr(const_cast<char*>("smacs"));
        const char* leave = tigetstr(const_cast<char*>("rmacs"));
        if ((!probe.utf8 || probe.ambiguousWide) && capabilityUsable(enter) &&
            capabilityUsable(leave)) {
            Question question;
            question.add("\r");
            question.addCapability(capabilityUsable(enable) ? enable : "");
            question.addCapability(enter);
            question.add("x");
            question.addCapability(leave);
            question.add("\033[6n");
            if (question.length < sizeof question.bytes) {
                probe.lineDrawingNarrow = askColumn(question.bytes, question.length) == 2;
            }
        }
    }
    const char* erase = tigetstr(const_cast<char*>("el"));
    Question blank;
    blank.add("\r");
    if (capabilityUsable(erase)) {
        blank.addCapability(erase);
    } else {
        blank.add("        \r");
    }
    writeAll(blank.bytes, blank.length < sizeof blank.bytes ? blank.length : 0);
    tcsetattr(STDIN_FILENO, TCSANOW, &terminal.savedModes);
    return probe;
}

// Signals that would end or stop the game wait until the terminal's modes are back.
Probe probeTerminal() {
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP}) {
        sigaddset(&held, signal);
    }
    sigprocmask(SIG_BLOCK, &held, &previous);
    const Probe probe = askTerminal();
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return probe;
}

bool localeIsUtf8() {
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

// Picks the charset the screen is written and the keys are read in: UTF-8 where the terminal
// decodes it, whatever the locale says; the locale's own charset where the terminal does not; and
// where the terminal does not answer, what the locale says. A terminal that does not decode UTF-8
// in a UTF-8 locale has a charset nobody named, so it gets ASCII.
void chooseCharset(const Probe& probe) {
    bool utf8 = localeIsUtf8();
    if (probe.answered && probe.utf8 && !utf8) {
        utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr && localeIsUtf8();
        if (!utf8) {
            std::setlocale(LC_CTYPE, "C");
        }
    } else if (probe.answered && !probe.utf8 && utf8) {
        std::setlocale(LC_CTYPE, "C");
        utf8 = false;
    }
    terminal.utf8 = utf8;
}

// Whether the charset holds `c` and ncurses, which counts columns by the locale, gives it the
// layout's width.
bool inCharset(char32_t c) {
    if (terminal.utf8) {
        return true;
    }
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    const auto wide = static_cast<wchar_t>(c);
    return std::wcrtomb(bytes, wide, &state) != static_cast<std::size_t>(-1) &&
           wcwidth(wide) == displayWidth(c);
}

// The letters of the terminal's line-drawing set, from the pairs of terminfo's acsc.
void readLineDrawing() {
    const char* pairs = tigetstr(const_cast<char*>("acsc"));
    if (pairs == nullptr || pairs == reinterpret_cast<char*>(-1)) {
        return;
    }
    for (; pairs[0] != '\0' && pairs[1] != '\0'; pairs += 2) {
        const auto letter = static_cast<unsigned char>(pairs[0]);
        if (letter < sizeof terminal.lineDrawing) {
            terminal.lineDrawing[letter] = true;
        }
    }
}

// An EUC charset is ISO 2022 underneath: its double-byte set sits in G1, shown through the upper
// half of the bytes. A terminal that enables its line-drawing set by designating that set to G1
// (terminfo's enacs, which ncurses sends when it starts) would show the locale's characters as
// line drawing where it follows ISO 2022, as luit does. For those charsets the double-byte set is
// designated back after ncurses has started; a line-drawing set that is shifted in from G1 (SO)
// is then not used, one designated to G0 still is.
struct EucSet {
    const char* codeset;
    const char* designation;
};

constexpr EucSet EucSets[] = {
    {"EUC-KR", "\033$)C"},
    {"EUC-JP", "\033$)B"},
    {"GB2312", "\033$)A"},
};

void findSecondSet() {
    terminal.secondSet = nullptr;
    const char* enable = tigetstr(const_cast<char*>("enacs"));
    if (!capabilityUsable(enable) || std::strstr(enable, "\033)") == nullptr) {
        return;
    }
    for (const EucSet& set : EucSets) {
        if (std::strcmp(nl_langinfo(CODESET), set.codeset) == 0) {
            terminal.secondSet = set.designation;
        }
    }
}

// After ncurses has enabled the line-drawing set, gives G1 back to the locale's double-byte set.
void designateSecondSet() {
    if (terminal.secondSet != nullptr) {
        writeAll(terminal.secondSet, std::strlen(terminal.secondSet));
    }
}

void findAbilities(const Probe& probe) {
    chooseCharset(probe);
    terminal.abilities.ambiguousWide = probe.ambiguousWide;
    bool diceShown = !probe.ambiguousWide;
    for (char32_t c :
         {U'\u250F', U'\u2513', U'\u2517', U'\u251B', U'\u2501', U'\u2503', U'\u25CF', U'\u2191'}) {
        diceShown = diceShown && inCharset(c);
    }
    terminal.abilities.diceGlyphs = diceShown;
    terminal.plainText = terminal.utf8 && diceShown;
    readLineDrawing();
    terminal.lineDrawingNarrow = probe.lineDrawingNarrow;
    findSecondSet();
    const char* enter = tigetstr(const_cast<char*>("smacs"));
    if (terminal.secondSet != nullptr && capabilityUsable(enter) &&
        std::strchr(enter, '\016') != nullptr) {
        // A line-drawing set shifted in from G1 would be the locale's own characters.
        terminal.lineDrawingNarrow = false;
    }
    if (terminal.utf8 && !terminal.plainText) {
        // In a UTF-8 locale ncurses may send its line-drawing glyphs as Unicode box drawing,
        // which is ambiguous-width again; this keeps them in the terminal's own set.
        setenv("NCURSES_NO_UTF8_ACS", "0", 1);
    }
}

// Places UTF-8 text through the stand-ins: runs of kept characters as wide strings, which ncurses
// writes in the locale's charset, and each stand-in in its own cells.
void putWithStandIns(int x, int y, const char* text, std::size_t size) {
    wchar_t kept[PrintBytes + 1];
    int count = 0;
    int keptX = x;
    const auto putKept = [&]() {
        if (count > 0) {
            mvwaddnwstr(terminal.pad, y, keptX, kept, count);
        }
        count = 0;
    };
    for (const Utf8Char character : Utf8Text{text, size}) {
        const char32_t c = character.codePoint;
        const int width = displayWidth(c);
        const StandIn glyph = standIn(c, inCharset(c), terminal.abilities);
        if (glyph.keep) {
            if (count == 0) {
                keptX = x;
            }
            kept[count++] = static_cast<wchar_t>(c);
        } else {
            putKept();
            const auto letter = static_cast<unsigned char>(glyph.lineDrawing);
            if (terminal.lineDrawingNarrow && letter != 0 && letter < sizeof terminal.lineDrawing &&
                terminal.lineDrawing[letter]) {
                mvwaddch(terminal.pad, y, x, NCURSES_ACS(letter));
            } else {
                mvwaddnstr(terminal.pad, y, x, glyph.text, -1);
            }
        }
        x += width;
    }
    putKept();
}

// Whether every character of the text is in the charset.
bool allInCharset(const char* text, std::size_t size) {
    for (const Utf8Char c : Utf8Text{text, size}) {
        if (!inCharset(c.codePoint)) {
            return false;
        }
    }
    return true;
}

// ---- drawing ------------------------------------------------------------------------------------

bool windowLargeEnough() {
    return COLS >= ScreenWidth && LINES >= ScreenHeight;
}

// Short lines, each cut to the window, so that even a tiny window shows what it can of them. The
// whole screen is cleared first: a terminal that shrinks keeps whatever part of the old screen it
// likes, which ncurses cannot know about.
void showTooSmall() {
    char message[3][64];
    std::snprintf(message[0], sizeof message[0], "The game needs %dx%d.", ScreenWidth,
                  ScreenHeight);
    std::snprintf(message[1], sizeof message[1], "This window is %dx%d.", COLS, LINES);
    std::snprintf(message[2], sizeof message[2], "Make it larger to go on.");
    werase(stdscr);
    for (int y = 0; y < 3 && y < LINES; ++y) {
        mvwaddnstr(stdscr, y, 0, message[y], COLS);
    }
    clearok(curscr, TRUE);
    wnoutrefresh(stdscr);
    doupdate();
}

// Shows what has been drawn since the last flush; only changed cells reach the terminal.
void flush() {
    if (terminal.pad == nullptr) {
        return;
    }
    if (terminal.tooSmall) {
        return;
    }
    pnoutrefresh(terminal.pad, 0, 0, 0, 0, ScreenHeight - 1, ScreenWidth - 1);
    doupdate();
}

// After a resize the whole current screen is drawn again, or the size message shown instead.
void handleResize() {
    resized = 0;
    designateSecondSet(); // a resumed game may have had its terminal reset meanwhile
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
        resize_term(size.ws_row, size.ws_col);
    }
    terminal.tooSmall = !windowLargeEnough();
    if (terminal.tooSmall) {
        showTooSmall();
        return;
    }
    clearok(curscr, TRUE);
    touchwin(terminal.pad);
    flush();
}

// ---- keys ---------------------------------------------------------------------------------------

void queueKeys(const DecodedKeys& decoded) {
    pushKeys(terminal.keys, decoded.codes, decoded.count);
}

// One read from ncurses, waiting at most `waitMilliseconds`; false when nothing came.
bool readRaw(RawKey& raw, int waitMilliseconds) {
    wtimeout(terminal.pad, waitMilliseconds);
    wint_t ch = 0;
    const int rc = wget_wch(terminal.pad, &ch);
    if (rc == ERR) {
        return false;
    }
    raw = RawKey{rc == KEY_CODE_YES, static_cast<std::uint32_t>(ch)};
    return true;
}

// Inside an escape sequence the rest of it is waited for briefly; Escape followed by nothing that
// is already there is a key of its own.
int escapeWait() {
    const EscapeState state = terminal.decoder.state;
    return state == EscapeState::None || state == EscapeState::Escape ? 0 : EscapeDelayMilliseconds;
}

// Reads what is waiting, without blocking, until it gives a key code.
bool fetchKey() {
    if (terminal.keys.count > 0) {
        return true;
    }
    if (terminal.inputEnded || terminal.pad == nullptr) {
        return false;
    }
    for (int read = 0; read < RawReadsPerLook; ++read) {
        RawKey raw{};
        if (!readRaw(raw, escapeWait())) {
            queueKeys(finishEscape(terminal.decoder));
            break;
        }
        queueKeys(decodeRawKey(terminal.decoder, raw));
        if (terminal.keys.count > 0) {
            break;
        }
    }
    return terminal.keys.count > 0;
}

} // namespace

// ---- the console interface ----------------------------------------------------------------------

bool openConsole(char* reason, std::size_t reasonSize) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        std::snprintf(reason, reasonSize, "standard input and output must be a terminal");
        return false;
    }
    const char* type = std::getenv("TERM");
    if (type == nullptr || *type == '\0') {
        std::snprintf(reason, reasonSize, "TERM is not set, so the terminal type is unknown");
        return false;
    }
    std::setlocale(LC_ALL, "");
    int status = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &status) != OK) {
        std::snprintf(reason, reasonSize, "the terminal type '%s' is unknown", type);
        return false;
    }
    if (tigetstr(const_cast<char*>("cup")) == nullptr ||
        tigetstr(const_cast<char*>("cup")) == reinterpret_cast<char*>(-1)) {
        del_curterm(cur_term);
        std::snprintf(reason, reasonSize, "the terminal type '%s' cannot move the cursor", type);
        return false;
    }
    terminal.haveSavedModes = tcgetattr(STDIN_FILENO, &terminal.savedModes) == 0;
    typedAhead = TypedAhead{};
    findAbilities(probeTerminal());
    del_curterm(cur_term);
    terminal.screen = newterm(nullptr, stdout, stdin);
    if (terminal.screen == nullptr) {
        std::snprintf(reason, reasonSize, "the terminal '%s' could not be set up", type);
        return false;
    }
    for (int i = typedAhead.count - 1; i >= 0; --i) {
        ungetch(typedAhead.bytes[i]);
    }
    // A new screen sends each cursor move of a frame with a write() of its own until it has been
    // left and entered once; doing that now makes every frame reach the terminal in one write, so
    // that no half-drawn frame is ever shown.
    endwin();
    designateSecondSet();
    doupdate();
    terminal.pad = newpad(ScreenHeight, ScreenWidth);
    if (terminal.pad == nullptr) {
        endwin();
        delscreen(terminal.screen);
        terminal.screen = nullptr;
        std::snprintf(reason, reasonSize, "out of memory");
        return false;
    }
    leaveok(terminal.pad, TRUE);
    prepareRestoreBytes();
    installSignalHandlers();
    terminal.tooSmall = !windowLargeEnough();
    if (terminal.tooSmall) {
        showTooSmall();
    }
    clearScreen();
    return true;
}

void closeConsole() {
    if (terminal.screen == nullptr) {
        return;
    }
    restoreSignalHandlers();
    if (terminal.titlePushed) {
        writeAll(TitleRestore, std::strlen(TitleRestore));
        terminal.titlePushed = false;
    }
    curs_set(1);
    endwin();
    delwin(terminal.pad);
    delscreen(terminal.screen);
    terminal.pad = nullptr;
    terminal.screen = nullptr;
    // Keys typed ahead of the end (a paste with line breaks) are the game's, not the shell's.
    tcflush(STDIN_FILENO, TCIFLUSH);
    if (terminal.haveSavedModes) {
        tcsetattr(STDIN_FILENO, TCSANOW, &terminal.savedModes);
    }
    std::fflush(stdout);
}

void setupInput() {
    cbreak();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(terminal.pad, TRUE);
    set_escdelay(EscapeDelayMilliseconds);
}

// The title is sent straight to the terminal: ncurses' putp would leave it in the standard output's
// buffer until the end. Terminals of the xterm family keep the title they had and get it back at
// the end; others that have a status line for it (terminfo's tsl and fsl) get the title without.
void setTitle(const char* title) {
    const char* type = std::getenv("TERM");
    if (terminal.screen == nullptr || type == nullptr) {
        return;
    }
    char sequence[256] = "";
    if (std::strncmp(type, "xterm", 5) == 0) {
        std::snprintf(sequence, sizeof sequence, "\033[22;2t\033]2;%s\007", title);
        terminal.titlePushed = true;
        prepareRestoreBytes();
    } else {
        const char* toStatus = tigetstr(const_cast<char*>("tsl"));
        const char* fromStatus = tigetstr(const_cast<char*>("fsl"));
        const auto usable = [](const char* capability) {
            return capability != nullptr && capability != reinterpret_cast<char*>(-1) &&
                   std::strchr(capability, '%') == nullptr;
        };
        if (!usable(toStatus) || !usable(fromStatus)) {
            return;
        }
        std::snprintf(sequence, sizeof sequence, "%s%s%s", toStatus, title, fromStatus);
    }
    writeAll(sequence, std::strlen(sequence));
}

void hideCursor() {
    curs_set(0);
}

SurfaceSize surfaceSize() {
    return {ScreenWidth, ScreenHeight};
}

void surfaceClear() {
    if (terminal.pad == nullptr) {
        return;
    }
    werase(terminal.pad);
    clearok(curscr, TRUE);
}

void surfacePut(int x, int y, const char* text, std::size_t size) {
    if (terminal.pad == nullptr) {
        return;
    }
    if (terminal.plainText) {
        mvwaddnstr(terminal.pad, y, x, text, static_cast<int>(size));
        return;
    }
    if (const char* english = hangulTextStandIn(text, size);
        english != nullptr && !allInCharset(text, size)) {
        text = english;
        size = std::strlen(english);
    }
    putWithStandIns(x, y, text, size);
}

const char* textForTerminal(const char* utf8, char* buffer, std::size_t size) {
    if (terminal.utf8 || size == 0) {
        return utf8;
    }
    const std::size_t length = std::strlen(utf8);
    if (const char* english = hangulTextStandIn(utf8, length);
        english != nullptr && !allInCharset(utf8, length)) {
        return english;
    }
    std::size_t used = 0;
    std::mbstate_t state{};
    for (const Utf8Char character : Utf8Text{utf8, length}) {
        const char32_t c = character.codePoint;
        char bytes[MB_LEN_MAX];
        std::size_t count = 0;
        if (inCharset(c)) {
            count = std::wcrtomb(bytes, static_cast<wchar_t>(c), &state);
        } else {
            for (int i = 0; i < displayWidth(c); ++i) {
                bytes[count++] = '?';
            }
        }
        if (used + count >= size) {
            break;
        }
        std::memcpy(buffer + used, bytes, count);
        used += count;
    }
    buffer[used] = '\0';
    return buffer;
}

bool keyHit() {
    if (resized) {
        handleResize();
    }
    if (terminal.tooSmall) {
        return false;
    }
    return fetchKey();
}

bool waitForKey() {
    for (;;) {
        if (keyHit()) {
            return true;
        }
        if (terminal.inputEnded || terminal.pad == nullptr) {
            return false;
        }
        flush();
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue; // a resize: keyHit redraws
            }
            terminal.inputEnded = true;
            return false;
        }
        if ((input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            terminal.inputEnded = true;
            return false;
        }
        int available = 0;
        if (ioctl(STDIN_FILENO, FIONREAD, &available) != 0 || available <= 0) {
            // Readable with nothing to read: the end of the input.
            terminal.inputEnded = true;
            return false;
        }
        if (terminal.tooSmall) {
            // Keys typed while the game cannot be seen are not played blind.
            RawKey ignored{};
            while (readRaw(ignored, 0)) {
            }
        }
    }
}

int getKey() {
    if (!waitForKey()) {
        return KeyEnd;
    }
    return popKey(terminal.keys);
}

void flushInput() {
    if (terminal.pad == nullptr) {
        return;
    }
    flushinp();
    terminal.keys = KeyQueue{};
    terminal.decoder = KeyDecoder{};
}

bool waitUntilShown() {
    for (;;) {
        if (resized) {
            handleResize();
        }
        if (!terminal.tooSmall || terminal.pad == nullptr) {
            return true;
        }
        if (terminal.inputEnded) {
            return false;
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, -1);
        if (ready < 0 && errno == EINTR) {
            continue; // a resize
        }
        int available = 0;
        if (ready < 0 || (input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ||
            ioctl(STDIN_FILENO, FIONREAD, &available) != 0 || available <= 0) {
            terminal.inputEnded = true;
            return false;
        }
        flushInput(); // keys typed while the game cannot be seen are not played blind
    }
}

void delay(int milliseconds) {
    flush();
    timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        if (resized) {
            handleResize();
        }
    }
}
