// The Windows backend, on the Win32 console API.
//
// Text is UTF-8 inside the program and reaches the console as UTF-16 through WriteConsoleW, so it
// shows the same whatever code page the console runs with. Keys are read as console input records
// and translated into the console's own codes, the way the C runtime's _getch numbers them, except
// that a typed non-ASCII letter comes as KeyText + code point and so is never taken for a prefix.
// The input mode, the cursor and the title are given back as they were found.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "console/console.h"
#include "console/key_queue.h"
#include "console/keys_win32.h"
#include "console/surface.h"
#include "text/text.h"

#include <cstdio>

namespace {

constexpr DWORD TitleChars = 1024;

// ---- console state, kept for restoring ----------------------------------------------------------

struct Console {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    bool open = false;
    bool inputEnded = false;
    DWORD savedInputMode = 0;
    bool haveInputMode = false;
    CONSOLE_CURSOR_INFO savedCursor{};
    bool haveCursor = false;
    wchar_t savedTitle[TitleChars] = L"";
    bool haveTitle = false;
    COORD savedBufferSize{};
    bool bufferGrown = false;
    KeyQueue keys;
    // Where the console's cursor stands after the last run, as the game counts columns, and
    // whether a wide character was written since the cursor was last placed (see surfacePut).
    int nextX = 0;
    int nextY = 0;
    bool wideSincePlaced = false;
    RecordDecoder decoder;
};

Console console;

// Gives back what the game changed. Also called from the console's control handler, on its own
// thread, when the window is closed or Ctrl+C ends the program.
void restoreConsole() {
    if (console.haveInputMode) {
        SetConsoleMode(console.input, console.savedInputMode);
    }
    if (console.haveCursor) {
        SetConsoleCursorInfo(console.output, &console.savedCursor);
    }
    if (console.haveTitle) {
        SetConsoleTitleW(console.savedTitle);
    }
}

// Ctrl+C and Ctrl+Break end the game unfinished, with the status Windows gives them; a closed
// window or the end of the session is left to the default handling, which ends the program.
BOOL WINAPI onControlEvent(DWORD event) {
    restoreConsole();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        ExitProcess(STATUS_CONTROL_C_EXIT);
    }
    return FALSE;
}

bool readBufferInfo(CONSOLE_SCREEN_BUFFER_INFO& info) {
    return console.output != INVALID_HANDLE_VALUE &&
           GetConsoleScreenBufferInfo(console.output, &info) != 0;
}

// ---- drawing ------------------------------------------------------------------------------------

void writeWide(const wchar_t* text, std::size_t length) {
    while (length > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(length);
        if (WriteConsoleW(console.output, text, chunk, &written, nullptr) == 0 || written == 0) {
            return;
        }
        text += written;
        length -= written;
    }
}

// Converts a run of UTF-8 to UTF-16 and writes it at the console's cursor.
void writeRun(const char* text, std::size_t size) {
    wchar_t wide[1024];
    std::size_t used = 0;
    for (const Utf8Char character : Utf8Text{text, size}) {
        const char32_t c = character.codePoint;
        if (used + 2 > sizeof wide / sizeof wide[0]) {
            writeWide(wide, used);
            used = 0;
        }
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            wide[used++] = static_cast<wchar_t>(0xD800 + (v >> 10));
            wide[used++] = static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
        } else {
            wide[used++] = static_cast<wchar_t>(c);
        }
    }
    writeWide(wide, used);
}

// ---- keys ---------------------------------------------------------------------------------------

void pushRecordKeys(const RecordKeys& keys) {
    for (int i = 0; i < keys.repeat && pushKeys(console.keys, keys.codes, keys.count); ++i) {
    }
}

// Reads the input records that are waiting, without blocking, until one of them gives a key.
bool fetchKey() {
    if (console.keys.count > 0) {
        return true;
    }
    if (!console.open || console.inputEnded) {
        return false;
    }
    for (;;) {
        DWORD waiting = 0;
        if (GetNumberOfConsoleInputEvents(console.input, &waiting) == 0) {
            console.inputEnded = true;
            return false;
        }
        if (waiting == 0) {
            return false;
        }
        INPUT_RECORD records[16];
        DWORD read = 0;
        const DWORD wanted = waiting < 16 ? waiting : 16;
        if (ReadConsoleInputW(console.input, records, wanted, &read) == 0) {
            console.inputEnded = true;
            return false;
        }
        for (DWORD i = 0; i < read; ++i) {
            pushRecordKeys(decodeInputRecord(console.decoder, records[i]));
        }
        if (console.keys.count > 0) {
            return true;
        }
    }
}

} // namespace

// ---- the console interface ----------------------------------------------------------------------

bool openConsole(char* reason, std::size_t reasonSize) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output == INVALID_HANDLE_VALUE || output == nullptr || GetConsoleMode(output, &mode) == 0) {
        std::snprintf(reason, reasonSize, "standard output must be a console window");
        return false;
    }
    if (input == INVALID_HANDLE_VALUE || input == nullptr || GetConsoleMode(input, &mode) == 0) {
        std::snprintf(reason, reasonSize, "standard input must be a console window");
        return false;
    }
    console = Console{};
    console.input = input;
    console.output = output;
    console.open = true;
    console.haveCursor = GetConsoleCursorInfo(output, &console.savedCursor) != 0;
    // Text past the right edge of a narrower buffer would wrap onto the next row.
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (readBufferInfo(info) && (info.dwSize.X < ScreenWidth || info.dwSize.Y < ScreenHeight)) {
        const COORD size{
            static_cast<SHORT>(info.dwSize.X < ScreenWidth ? ScreenWidth : info.dwSize.X),
            static_cast<SHORT>(info.dwSize.Y < ScreenHeight ? ScreenHeight : info.dwSize.Y)};
        if (SetConsoleScreenBufferSize(output, size) != 0) {
            console.savedBufferSize = info.dwSize;
            console.bufferGrown = true;
        }
    }
    SetConsoleCtrlHandler(onControlEvent, TRUE);
    clearScreen();
    return true;
}

void closeConsole() {
    if (!console.open) {
        return;
    }
    SetConsoleCtrlHandler(onControlEvent, FALSE);
    clearScreen();
    if (console.bufferGrown) {
        SetConsoleScreenBufferSize(console.output, console.savedBufferSize);
    }
    restoreConsole();
    console.haveInputMode = false;
    console.haveCursor = false;
    console.haveTitle = false;
    console.open = false;
}

// A closed console window ends the process through its control handler.
void leaveIfHungUp() {}

// The messages after the game go to the standard streams as they always have, in UTF-8.
const char* textForTerminal(const char* utf8, char*, std::size_t) {
    return utf8;
}

// Quick edit would take mouse clicks for selections and freeze the output; mouse input is taken
// instead. Every other bit keeps its value. Keys are read as records, so line input and echo do
// not matter to the game.
void setupInput() {
    if (!console.open) {
        return;
    }
    DWORD mode = 0;
    if (GetConsoleMode(console.input, &mode) == 0) {
        return;
    }
    console.savedInputMode = mode;
    console.haveInputMode = true;
    mode &= ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE);
    mode |= ENABLE_EXTENDED_FLAGS;
    mode |= ENABLE_MOUSE_INPUT;
    SetConsoleMode(console.input, mode);
}

void setTitle(const char* title) {
    if (!console.open) {
        return;
    }
    if (!console.haveTitle) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetConsoleTitleW(console.savedTitle, TitleChars);
        console.haveTitle = length > 0 || GetLastError() == ERROR_SUCCESS;
        if (length == 0) {
            console.savedTitle[0] = L'\0';
        }
    }
    wchar_t wide[256];
    const int length = MultiByteToWideChar(CP_UTF8, 0, title, -1, wide, 256);
    if (length > 0) {
        SetConsoleTitleW(wide);
    }
}

void hideCursor() {
    if (!console.open) {
        return;
    }
    CONSOLE_CURSOR_INFO info{};
    info.dwSize = 100;
    info.bVisible = FALSE;
    SetConsoleCursorInfo(console.output, &info);
}

SurfaceSize surfaceSize() {
    return {ScreenWidth, ScreenHeight};
}

// The whole buffer, rows scrolled out of the window included, in the current colours.
void surfaceClear() {
    const COORD homeCoords{0, 0};
    CONSOLE_SCREEN_BUFFER_INFO csbi{};
    if (!readBufferInfo(csbi)) {
        return;
    }
    const DWORD cells = static_cast<DWORD>(csbi.dwSize.X) * static_cast<DWORD>(csbi.dwSize.Y);
    DWORD count = 0;
    FillConsoleOutputCharacterW(console.output, L' ', cells, homeCoords, &count);
    FillConsoleOutputAttribute(console.output, csbi.wAttributes, cells, homeCoords, &count);
    SetConsoleCursorPosition(console.output, homeCoords);
    console.nextX = 0;
    console.nextY = 0;
    console.wideSincePlaced = false;
}

// Writes the first cell of row y again with what it holds, which leaves it as it was.
void rewriteRowStart(int y) {
    const COORD start{0, static_cast<SHORT>(y)};
    wchar_t c = L' ';
    DWORD count = 0;
    if (ReadConsoleOutputCharacterW(console.output, &c, 1, start, &count) != 0 && count == 1) {
        WriteConsoleOutputCharacterW(console.output, &c, 1, start, &count);
    }
}

// wine's console takes a wide character (Hangul, the ideographic space) for one column while the
// terminal it draws into shows two. It moves the terminal's cursor by the difference between its
// own columns, except to column 0 of a row, which it reaches by a carriage return or an absolute
// move. So after a wide character the terminal's cursor stands right of where wine counts it, and
// a run placed by column from there lands that much too far right. Hence:
// - a run that goes on where the last one ended is written where the console's cursor is, with
//   no move at all;
// - a run placed by column, when a wide character was written since the cursor was last placed,
//   first has the first cell of its row written again as it is (no wide character stands in
//   column 0 on the game's screens): wine then brings the terminal's cursor to column 1 exactly,
//   and its move of x - 1 columns from there ends at column x.
// A console that counts columns as the game does (the Windows console) shows the same either way.
void surfacePut(int x, int y, const char* text, std::size_t size) {
    if (!console.open) {
        return;
    }
    if (x != console.nextX || y != console.nextY) {
        if (console.wideSincePlaced && x > 0) {
            rewriteRowStart(y);
        }
        SetConsoleCursorPosition(console.output,
                                 COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
        console.wideSincePlaced = false;
    }
    writeRun(text, size);
    int columns = 0;
    for (const Utf8Char c : Utf8Text{text, size}) {
        const int width = displayWidth(c.codePoint);
        columns += width;
        console.wideSincePlaced = console.wideSincePlaced || width > 1;
    }
    console.nextX = x + columns;
    console.nextY = y;
}

bool keyHit() {
    return fetchKey();
}

// Sleeps on the input handle, which is signalled while input records are waiting; records that
// give no key (mouse, focus) are read away before sleeping again.
bool waitForKey() {
    for (;;) {
        if (fetchKey()) {
            return true;
        }
        if (!console.open || console.inputEnded) {
            return false;
        }
        if (WaitForSingleObject(console.input, INFINITE) != WAIT_OBJECT_0) {
            console.inputEnded = true;
            return false;
        }
    }
}

int getKey() {
    if (!waitForKey()) {
        return KeyEnd;
    }
    return popKey(console.keys);
}

void flushInput() {
    if (console.open) {
        FlushConsoleInputBuffer(console.input);
    }
    console.keys = KeyQueue{};
    console.decoder = RecordDecoder{};
}

// The buffer is grown to the game's size when the console opens, so the game is always shown.
bool waitUntilShown() {
    return !console.inputEnded;
}

void delay(int milliseconds) {
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}
