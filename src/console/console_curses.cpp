// The POSIX backend, on ncursesw.
//
// The game draws into a pad of exactly the cells it needs, so that what is on screen survives a
// window that shrinks and grows again; ncurses sends only the cells that changed since the last
// frame. Key codes are translated into the console's own codes, and the terminal is given back as
// it was found on every way out, signals included.
#define NCURSES_WIDECHAR 1
#include "console/console.h"
#include "console/key_queue.h"
#include "console/keys_curses.h"
#include "console/surface.h"

#include <curses.h>
#include <term.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

void prepareRestoreBytes() {
    terminal.restoreLength = 0;
    appendRestore(tigetstr(const_cast<char*>("sgr0")));
    appendRestore(tigetstr(const_cast<char*>("rmkx")));
    appendRestore(tigetstr(const_cast<char*>("cnorm")));
    appendRestore(tigetstr(const_cast<char*>("rmcup")));
    if (terminal.titlePushed) {
        appendRestore("\033[23;2t");
    }
}

// Safe in a signal handler.
void restoreTerminalNow() {
    if (terminal.restoreLength > 0) {
        ssize_t ignored = write(STDOUT_FILENO, terminal.restoreBytes, terminal.restoreLength);
        (void)ignored;
    }
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
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0 &&
        std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        std::snprintf(reason, reasonSize, "no UTF-8 locale is available");
        return false;
    }
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
    del_curterm(cur_term);
    terminal.haveSavedModes = tcgetattr(STDIN_FILENO, &terminal.savedModes) == 0;
    terminal.screen = newterm(nullptr, stdout, stdin);
    if (terminal.screen == nullptr) {
        std::snprintf(reason, reasonSize, "the terminal '%s' could not be set up", type);
        return false;
    }
    // A new screen sends each cursor move of a frame with a write() of its own until it has been
    // left and entered once; doing that now makes every frame reach the terminal in one write, so
    // that no half-drawn frame is ever shown.
    endwin();
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
        putp("\033[23;2t");
        terminal.titlePushed = false;
    }
    curs_set(1);
    endwin();
    delwin(terminal.pad);
    delscreen(terminal.screen);
    terminal.pad = nullptr;
    terminal.screen = nullptr;
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

// Only terminals that can save and restore their title get one, so that it is given back at the
// end.
void setTitle(const char* title) {
    const char* type = std::getenv("TERM");
    if (terminal.screen == nullptr || type == nullptr || std::strncmp(type, "xterm", 5) != 0) {
        return;
    }
    char sequence[128];
    std::snprintf(sequence, sizeof sequence, "\033[22;2t\033]2;%s\007", title);
    putp(sequence);
    terminal.titlePushed = true;
    prepareRestoreBytes();
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
    if (terminal.pad != nullptr) {
        mvwaddnstr(terminal.pad, y, x, text, static_cast<int>(size));
    }
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
