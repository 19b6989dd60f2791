// The POSIX backend, on ncursesw.
//
// The game draws into a pad of exactly the cells it needs, so that what is on screen survives a
// window that shrinks and grows again; ncurses sends only the cells that changed since the last
// frame. Key codes are translated into the console's own codes (keys_curses), the terminal under
// ncurses is asked what it shows and given back on every way out (terminal_posix), and what
// follows from its answers is decided by the pure probe.
//
// The screen is written in UTF-8 or in the locale's own charset, and what the terminal cannot show
// at the layout's widths is drawn with stand-ins in the same cells (glyphs).
#define NCURSES_WIDECHAR 1
#include "console/console.h"
#include "console/glyphs.h"
#include "console/key_queue.h"
#include "console/keys_curses.h"
#include "console/probe.h"
#include "console/surface.h"
#include "console/terminal_posix.h"
#include "text/text.h"

#include <curses.h>
#include <term.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <initializer_list>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The longest a slow link keeps the bytes of one key apart: the game has no key for a lone
// Escape, so the rest of an escape sequence is waited for that long.
constexpr int EscapeDelayMilliseconds = 1000;
// Raw reads that one look for a key may make, so that a flood of input that gives no key (mouse
// reports, dropped sequences) cannot hold the game up.
constexpr int RawReadsPerLook = 64;

struct Terminal {
    SCREEN* screen = nullptr;
    WINDOW* pad = nullptr;
    // The text goes to ncurses as it is: a UTF-8 locale, and the dice shown as drawn.
    bool plainText = true;
    bool utf8 = true;
    TerminalAbilities abilities;
    // The letters of the VT100 line-drawing set that the terminal has (terminfo's acsc).
    bool lineDrawing[128] = {};
    bool lineDrawingUsable = true;
    // ncurses sends a run of one character with the terminal's repeat (rep) where the screen is
    // not UTF-8 or the character is a line-drawing glyph, and a converter in between, such as
    // luit, drops the repeat after a character it has converted. terminfo offers no way to turn
    // the repeat off, so where the terminal has it, every other line-drawing cell carries the
    // protect attribute, which a terminal without the prot capability does not show: no two
    // neighbours are then the same to ncurses, and each is sent.
    bool breakRuns = false;
    // The designation of an EUC locale's double-byte set to G1, sent after ncurses enables its
    // line-drawing set there (see secondSetDesignation); nullptr where there is no such clash.
    const char* secondSet = nullptr;
    bool tooSmall = false;
    bool inputEnded = false;
    KeyDecoder decoder;
    KeyQueue keys;
};

Terminal terminal;

const char* capability(const char* name) {
    return tigetstr(const_cast<char*>(name));
}

// ---- what the terminal shows --------------------------------------------------------------------

bool localeIsUtf8() {
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

// Sets the locale's charset to the one chosen: UTF-8 where the terminal decodes it whatever the
// locale says, else ASCII where the locale's UTF-8 is not what the terminal decodes.
void useCharset(Charset charset) {
    bool utf8 = localeIsUtf8();
    if (charset == Charset::Utf8) {
        utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr && localeIsUtf8();
        if (!utf8) {
            std::setlocale(LC_CTYPE, "C");
        }
    } else if (charset == Charset::Ascii) {
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
    const char* pairs = capability("acsc");
    if (!capabilityUsable(pairs)) {
        return;
    }
    for (; pairs[0] != '\0' && pairs[1] != '\0'; pairs += 2) {
        const auto letter = static_cast<unsigned char>(pairs[0]);
        if (letter < sizeof terminal.lineDrawing) {
            terminal.lineDrawing[letter] = true;
        }
    }
}

void findAbilities(const TerminalShows& shows) {
    useCharset(chooseCharset(shows, localeIsUtf8()));
    bool diceInCharset = true;
    for (char32_t c :
         {U'\u250F', U'\u2513', U'\u2517', U'\u251B', U'\u2501', U'\u2503', U'\u25CF', U'\u2191'}) {
        diceInCharset = diceInCharset && inCharset(c);
    }
    terminal.abilities = terminalAbilities(shows, diceInCharset);
    terminal.plainText = terminal.utf8 && terminal.abilities.diceGlyphs;
    readLineDrawing();
    terminal.secondSet = secondSetDesignation(nl_langinfo(CODESET), capability("enacs"));
    terminal.lineDrawingUsable = lineDrawingUsable(shows, terminal.secondSet, capability("smacs"));
    terminal.breakRuns = !terminal.plainText && capabilityUsable(capability("rep")) &&
                         !capabilityUsable(capability("prot"));
    if (terminal.utf8 && !terminal.plainText) {
        // In a UTF-8 locale ncurses may send its line-drawing glyphs as Unicode box drawing,
        // which is ambiguous-width again; this keeps them in the terminal's own set.
        setenv("NCURSES_NO_UTF8_ACS", "0", 1);
    }
}

// After ncurses has enabled the line-drawing set, gives G1 back to the locale's double-byte set.
void designateSecondSet() {
    if (terminal.secondSet != nullptr) {
        writeTerminal(terminal.secondSet, std::strlen(terminal.secondSet));
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
            if (terminal.lineDrawingUsable && letter != 0 && letter < sizeof terminal.lineDrawing &&
                terminal.lineDrawing[letter]) {
                const chtype runBreak = terminal.breakRuns && x % 2 == 1 ? A_PROTECT : 0;
                mvwaddch(terminal.pad, y, x, NCURSES_ACS(letter) | runBreak);
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
    if (!capabilityUsable(capability("cup"))) {
        del_curterm(cur_term);
        std::snprintf(reason, reasonSize, "the terminal type '%s' cannot move the cursor", type);
        return false;
    }
    saveTerminalModes();
    const ProbeReader answers = askTerminal(ProbeStrings{capability("enacs"), capability("smacs"),
                                                         capability("rmacs"), capability("el")});
    findAbilities(probeResult(answers));
    del_curterm(cur_term);
    terminal.screen = newterm(nullptr, stdout, stdin);
    if (terminal.screen == nullptr) {
        restoreTerminal(nullptr);
        std::snprintf(reason, reasonSize, "the terminal '%s' could not be set up", type);
        return false;
    }
    // What the player typed while the terminal was asked comes first.
    for (std::size_t i = answers.typedLength; i > 0; --i) {
        ungetch(answers.typed[i - 1]);
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
        restoreTerminal(nullptr);
        std::snprintf(reason, reasonSize, "out of memory");
        return false;
    }
    leaveok(terminal.pad, TRUE);
    const char* leaveScreen[] = {capability("sgr0"), capability("rmkx"), capability("cnorm"),
                                 capability("rmcup")};
    prepareScreenRestore(leaveScreen, 4);
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
    restoreTerminal([] {
        curs_set(1);
        endwin();
    });
    delwin(terminal.pad);
    delscreen(terminal.screen);
    terminal.pad = nullptr;
    terminal.screen = nullptr;
    std::fflush(stdout);
}

void leaveIfHungUp() {
    endIfHungUp();
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
// buffer until the end.
void setTitle(const char* title) {
    if (terminal.screen == nullptr) {
        return;
    }
    setTerminalTitle(title, std::getenv("TERM"), capability("tsl"), capability("fsl"));
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
    if (terminalResized()) {
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
        const InputWait wait = waitForInput();
        if (wait == InputWait::Ended) {
            terminal.inputEnded = true;
            return false;
        }
        if (wait == InputWait::Ready && terminal.tooSmall) {
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
        if (terminalResized()) {
            handleResize();
        }
        if (!terminal.tooSmall || terminal.pad == nullptr) {
            return true;
        }
        if (terminal.inputEnded) {
            return false;
        }
        const InputWait wait = waitForInput();
        if (wait == InputWait::Ended) {
            terminal.inputEnded = true;
            return false;
        }
        if (wait == InputWait::Ready) {
            flushInput(); // keys typed while the game cannot be seen are not played blind
        }
    }
}

void delay(int milliseconds) {
    flush();
    timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        if (terminalResized()) {
            handleResize();
        }
    }
}
