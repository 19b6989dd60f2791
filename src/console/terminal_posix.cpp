#include "console/terminal_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct PosixTerminal {
    termios savedModes{};
    bool haveSavedModes = false;
    // Whether stdin is the terminal that controls the game's session, the one whose hang-up
    // sends it SIGHUP.
    bool controlling = false;
    bool inputEnded = false;
    bool titlePushed = false;
    // What a signal handler writes to leave the game's screen: only async-signal-safe calls may
    // run there, so the bytes are prepared in advance.
    char screenRestore[256] = "";
    std::size_t screenRestoreLength = 0;
    // The probe ended at its limit without the terminal's last answer: what it still sends until
    // twice the limit after asking is not the player's.
    bool answersOwed = false;
    long askedAt = 0;
    // The signals whose handler the game set, to put back their own.
    bool handled[NSIG] = {};
    bool sighupIgnored = false;
};

PosixTerminal terminal;
volatile std::sig_atomic_t resized = 0;

// Puts the terminal's title back, for a terminal that kept it (see setTerminalTitle).
constexpr char TitleRestore[] = "\033[23;2t";

long millisecondsNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * 1000L + now.tv_nsec / 1000000L;
}

// Input read byte by byte as it comes, without echo: the probe's mode.
bool enterRawMode() {
    termios raw = terminal.savedModes;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

// Waits for input until `until` (a millisecondsNow time) and reads what came: its size, 0 when
// nothing came in time, -1 once the input has ended.
ssize_t readUntil(unsigned char* buffer, std::size_t size, long until) {
    for (;;) {
        const long left = until - millisecondsNow();
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        const int polled = poll(&ready, 1, left > 0 ? static_cast<int>(left) : 0);
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled == 0) {
            return 0;
        }
        if (polled < 0 || (ready.revents & POLLIN) == 0) {
            return -1;
        }
        const ssize_t got = read(STDIN_FILENO, buffer, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got > 0 ? got : -1;
    }
}

// Throws away what the terminal still answers the probe, up to its last answer, within twice the
// limit after asking; a terminal that never answers costs at most that.
void drainOwedAnswers() {
    if (!terminal.answersOwed) {
        return;
    }
    terminal.answersOwed = false;
    const long until = terminal.askedAt + 2 * ProbeLimitMilliseconds;
    if (millisecondsNow() >= until || !enterRawMode()) {
        return;
    }
    ProbeReader reader;
    unsigned char input[256];
    for (;;) {
        const ssize_t got = readUntil(input, sizeof input, until);
        if (got <= 0 ||
            feedProbe(reader, input, static_cast<std::size_t>(got), 0) == ProbeStatus::Answered) {
            return;
        }
    }
}

void leaveOnSignal(int signal) {
    restoreTerminal(nullptr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void noteResize(int) {
    resized = 1;
}

// The signals whose default action does not end the process: it ignores them, stops, or goes on;
// and those no process can catch. Every other signal the system has, real-time ones included,
// ends the game.
bool endsTheProcess(int signal) {
    switch (signal) {
    case SIGKILL:
    case SIGSTOP:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
    case SIGCONT:
    case SIGCHLD:
    case SIGURG:
    case SIGWINCH:
#ifdef SIGINFO
    case SIGINFO:
#endif
        return false;
    default:
        return true;
    }
}

} // namespace

bool saveTerminalModes() {
    terminal.haveSavedModes = tcgetattr(STDIN_FILENO, &terminal.savedModes) == 0;
    const pid_t session = getsid(0);
    terminal.controlling =
        terminal.haveSavedModes && session > 0 && tcgetsid(STDIN_FILENO) == session;
    terminal.inputEnded = false;
    return terminal.haveSavedModes;
}

void writeTerminal(const char* bytes, std::size_t size) {
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

ProbeReader askTerminal(const ProbeStrings& strings) {
    ProbeReader reader;
    if (!terminal.haveSavedModes) {
        return reader;
    }
    // Signals that would end or stop the game wait until the terminal's modes are back.
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP}) {
        sigaddset(&held, signal);
    }
    sigprocmask(SIG_BLOCK, &held, &previous);
    if (enterRawMode()) {
        const ProbeBytes questions = probeQuestions(strings, reader.reports);
        const long start = millisecondsNow();
        writeTerminal(questions.bytes, questions.length);
        ProbeStatus status = ProbeStatus::Waiting;
        unsigned char input[256];
        while (status == ProbeStatus::Waiting) {
            const ssize_t got = readUntil(input, sizeof input, start + ProbeLimitMilliseconds);
            const long elapsed = got < 0 ? ProbeLimitMilliseconds : millisecondsNow() - start;
            status = feedProbe(reader, input, got > 0 ? static_cast<std::size_t>(got) : 0, elapsed);
        }
        terminal.answersOwed = status != ProbeStatus::Answered;
        terminal.askedAt = start;
        const ProbeBytes erase = probeErase(strings);
        writeTerminal(erase.bytes, erase.length);
        tcsetattr(STDIN_FILENO, TCSANOW, &terminal.savedModes);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return reader;
}

void prepareScreenRestore(const char* const* capabilities, int count) {
    terminal.screenRestoreLength = 0;
    for (int i = 0; i < count; ++i) {
        if (!capabilityUsable(capabilities[i])) {
            continue;
        }
        const std::size_t length = std::strlen(capabilities[i]);
        if (terminal.screenRestoreLength + length < sizeof terminal.screenRestore) {
            std::memcpy(terminal.screenRestore + terminal.screenRestoreLength, capabilities[i],
                        length);
            terminal.screenRestoreLength += length;
        }
    }
}

void setTerminalTitle(const char* title, const char* type, const char* toStatusLine,
                      const char* fromStatusLine) {
    char sequence[256] = "";
    if (type != nullptr && std::strncmp(type, "xterm", 5) == 0) {
        std::snprintf(sequence, sizeof sequence, "\033[22;2t\033]2;%s\007", title);
        terminal.titlePushed = true;
    } else {
        const auto usable = [](const char* capability) {
            return capabilityUsable(capability) && std::strchr(capability, '%') == nullptr;
        };
        if (!usable(toStatusLine) || !usable(fromStatusLine)) {
            return;
        }
        std::snprintf(sequence, sizeof sequence, "%s%s%s", toStatusLine, title, fromStatusLine);
    }
    writeTerminal(sequence, std::strlen(sequence));
}

void restoreTerminal(void (*leaveScreen)()) {
    if (terminal.titlePushed) {
        writeTerminal(TitleRestore, sizeof TitleRestore - 1);
        terminal.titlePushed = false;
    }
    if (leaveScreen != nullptr) {
        leaveScreen();
    } else {
        writeTerminal(terminal.screenRestore, terminal.screenRestoreLength);
    }
    terminal.screenRestoreLength = 0;
    if (terminal.haveSavedModes) {
        drainOwedAnswers();
    }
    // Keys typed ahead of the end (a paste with line breaks) are the game's, not the shell's.
    tcflush(STDIN_FILENO, TCIFLUSH);
    if (terminal.haveSavedModes) {
        tcsetattr(STDIN_FILENO, TCSANOW, &terminal.savedModes);
    }
}

void installSignalHandlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = leaveOnSignal;
    action.sa_flags = SA_RESETHAND;
    for (int signal = 1; signal < NSIG; ++signal) {
        terminal.handled[signal] = false;
        struct sigaction old {};
        // The numbers the C library keeps for itself are refused here, and left alone.
        if (!endsTheProcess(signal) || sigaction(signal, nullptr, &old) != 0) {
            continue;
        }
        if (old.sa_handler == SIG_IGN) {
            if (signal == SIGHUP) {
                terminal.sighupIgnored = true; // started with nohup: a closed window ends no game
            }
            continue;
        }
        terminal.handled[signal] = sigaction(signal, &action, nullptr) == 0;
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
    for (int signal = 1; signal < NSIG; ++signal) {
        if (terminal.handled[signal]) {
            std::signal(signal, SIG_DFL);
            terminal.handled[signal] = false;
        }
    }
    std::signal(SIGWINCH, SIG_DFL);
    std::signal(SIGCONT, SIG_DFL);
}

bool terminalResized() {
    if (resized == 0) {
        return false;
    }
    resized = 0;
    return true;
}

InputWait waitForInput() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, -1);
    if ((ready < 0 && errno == EINTR) || ready == 0) {
        return InputWait::Interrupted;
    }
    int available = 0;
    if (ready < 0 || (input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ||
        ioctl(STDIN_FILENO, FIONREAD, &available) != 0 || available <= 0) {
        // Readable with nothing to read is the end of the input too.
        terminal.inputEnded = true;
        return InputWait::Ended;
    }
    return InputWait::Ready;
}

void endIfHungUp() {
    if (!terminal.inputEnded || !terminal.controlling || terminal.sighupIgnored) {
        return;
    }
    std::fflush(stdout);
    std::signal(SIGHUP, SIG_DFL);
    sigset_t hangUp;
    sigemptyset(&hangUp);
    sigaddset(&hangUp, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &hangUp, nullptr);
    std::raise(SIGHUP);
}
