// The Win32 console backend against a real console: the keys it decodes from input records, the
// cells its text lands in, and what it changes and gives back. It needs a console to run in; under
// wine that is a terminal (the suite runs it in tmux), with its output sent to a file.
#include "console/console.h"
#include "input_records.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

HANDLE openDevice(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

constexpr SHORT BufferWidth = 120;
constexpr SHORT BufferHeight = 300;
constexpr DWORD KnownInputMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                 ENABLE_QUICK_EDIT_MODE | ENABLE_INSERT_MODE |
                                 ENABLE_EXTENDED_FLAGS;

class Win32Console : public ::testing::Test {
  protected:
    void SetUp() override {
        input = openDevice(L"CONIN$");
        output = openDevice(L"CONOUT$");
        ASSERT_NE(input, INVALID_HANDLE_VALUE) << "no console to test in";
        ASSERT_NE(output, INVALID_HANDLE_VALUE) << "no console to test in";
        savedIn = GetStdHandle(STD_INPUT_HANDLE);
        savedOut = GetStdHandle(STD_OUTPUT_HANDLE);
        SetStdHandle(STD_INPUT_HANDLE, input);
        SetStdHandle(STD_OUTPUT_HANDLE, output);
        // A buffer taller than any window, so that clearing it is more than clearing the window.
        SetConsoleScreenBufferSize(output, COORD{BufferWidth, BufferHeight});
        ASSERT_NE(SetConsoleMode(input, KnownInputMode), 0);
        FlushConsoleInputBuffer(input);
        char reason[256] = "";
        ASSERT_TRUE(openConsole(reason, sizeof reason)) << reason;
    }

    void TearDown() override {
        closeConsole();
        FlushConsoleInputBuffer(input);
        SetStdHandle(STD_INPUT_HANDLE, savedIn);
        SetStdHandle(STD_OUTPUT_HANDLE, savedOut);
        CloseHandle(input);
        CloseHandle(output);
    }

    std::wstring cellsAt(int x, int y, int count) const {
        std::wstring text(static_cast<std::size_t>(count), L'\0');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(output, text.data(), static_cast<DWORD>(count),
                                    COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)}, &read);
        text.resize(read);
        return text;
    }

    void write(const std::vector<INPUT_RECORD>& records) const {
        DWORD written = 0;
        ASSERT_NE(
            WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written),
            0);
        ASSERT_EQ(written, records.size());
    }

    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    HANDLE savedIn = nullptr;
    HANDLE savedOut = nullptr;
};

constexpr int Sentinel = 'z';

struct KeyCase {
    const char* what;
    std::vector<INPUT_RECORD> records;
    std::vector<int> codes;
};

TEST_F(Win32Console, KeysTypedReachGetKeyWholeAndInOrder) {
    // The decoding itself has its table test; here the records go through the real console.
    const std::vector<KeyCase> cases = {
        {"Up", {key(VK_UP, 0, ENHANCED_KEY, TRUE, 1, 0x48)}, {KeyExtended, KeyUp}},
        {"Hangul", {key(0, 0xAE40)}, {KeyText + 0xAE40}},
        {"a repeated arrow comes whole as often as it repeated",
         {key(VK_LEFT, 0, 0, TRUE, 2)},
         {KeyExtended, KeyLeft, KeyExtended, KeyLeft}},
        {"key-ups, mouse and focus give nothing",
         {key('Q', L'q', 0, FALSE), mouse(), focus(), key(VK_RETURN, L'\r')},
         {KeyEnter}},
    };
    for (const KeyCase& c : cases) {
        std::vector<INPUT_RECORD> records = c.records;
        records.push_back(key('Z', static_cast<wchar_t>(Sentinel)));
        write(records);
        std::vector<int> codes;
        for (int code = getKey(); code != Sentinel && code != KeyEnd; code = getKey()) {
            codes.push_back(code);
        }
        EXPECT_EQ(codes, c.codes) << c.what;
    }
}

TEST_F(Win32Console, KeyHitNeverWaitsAndWaitForKeySleepsUntilAKeyComes) {
    EXPECT_FALSE(keyHit());
    write({mouse()});
    EXPECT_FALSE(keyHit()); // a mouse record alone is no key
    // The pauses let waitForKey fall asleep before each record comes; whether it returned
    // before the key is told by the flag set just before the key is written, not by the time.
    std::atomic<bool> keyTyped{false};
    std::thread typist([this, &keyTyped] {
        Sleep(150);
        write({focus()});
        Sleep(150);
        keyTyped = true;
        write({key(VK_RETURN, L'\r')});
    });
    EXPECT_TRUE(waitForKey());
    EXPECT_TRUE(keyTyped) << "returned before the key was typed";
    typist.join();
    EXPECT_TRUE(keyHit());
    EXPECT_EQ(getKey(), KeyEnter);
    EXPECT_FALSE(keyHit());
}

TEST_F(Win32Console, TextLandsAtTheCursorWithTabsAndLineBreaksOfItsOwn) {
    moveCursor(0, 3);
    print("XXXXXXXXXX");
    moveCursor(3, 2);
    print("ab\tc\n d%d", 7);
    EXPECT_EQ(cellsAt(0, 2, 10), L"   ab   c ");
    EXPECT_EQ(cellsAt(0, 3, 10), L" d7XXXXXXX") << "a line break clears nothing";
    moveCursor(0, 5);
    print("\t\t|┏━┓●↑|");
    EXPECT_EQ(cellsAt(16, 5, 8), L"|\u250F\u2501\u2513\u25CF\u2191| ");
    moveCursor(100, 6);
    print("\tX");
    EXPECT_EQ(cellsAt(100, 6, 4), L"    ") << "a tab stops at the edge of the game's screen";
    EXPECT_EQ(cellsAt(0, 7, 2), L"X ") << "and what follows starts the next row";
}

// What a run placed by column after a wide character does to bring wine's cursor back (it writes
// the row's first cell again) leaves the console as it was; the terminal's side of it is checked
// under wine in tmux.
TEST_F(Win32Console, TextPlacedAfterWideCharactersLeavesTheRowsFirstCellAsItWas) {
    const WORD red = BACKGROUND_RED | FOREGROUND_INTENSITY;
    DWORD count = 0;
    WriteConsoleOutputCharacterW(output, L"Q", 1, COORD{0, 9}, &count);
    FillConsoleOutputAttribute(output, red, 1, COORD{0, 9}, &count);
    moveCursor(2, 9);
    print("가나 ");
    moveCursor(20, 9);
    print("X");
    moveCursor(21, 9);
    print("Y");
    EXPECT_EQ(cellsAt(0, 9, 1), L"Q");
    WORD attribute = 0;
    ReadConsoleOutputAttribute(output, &attribute, 1, COORD{0, 9}, &count);
    EXPECT_EQ(attribute, red);
    EXPECT_EQ(cellsAt(20, 9, 2), L"XY");
}

TEST_F(Win32Console, ClearScreenBlanksTheWholeBufferInTheCurrentColours) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_NE(GetConsoleScreenBufferInfo(output, &info), 0);
    ASSERT_GE(info.dwSize.Y, 250) << "the buffer could not be made taller than the window";
    const COORD below{5, static_cast<SHORT>(info.dwSize.Y - 2)};
    DWORD count = 0;
    WriteConsoleOutputCharacterW(output, L"QQQ", 3, below, &count);
    const WORD red = BACKGROUND_RED | FOREGROUND_INTENSITY;
    FillConsoleOutputAttribute(output, red, 3, below, &count);
    moveCursor(7, 7);
    clearScreen();
    EXPECT_EQ(cellsAt(below.X, below.Y, 3), L"   ");
    WORD attributes[3] = {};
    ReadConsoleOutputAttribute(output, attributes, 3, below, &count);
    for (WORD attribute : attributes) {
        EXPECT_EQ(attribute, info.wAttributes);
    }
    ASSERT_NE(GetConsoleScreenBufferInfo(output, &info), 0);
    EXPECT_EQ(info.dwCursorPosition.X, 0);
    EXPECT_EQ(info.dwCursorPosition.Y, 0);
}

TEST_F(Win32Console, SetsUpModeTitleAndCursorAndGivesThemBack) {
    SetConsoleTitleW(L"Before");
    CONSOLE_CURSOR_INFO before{25, TRUE};
    SetConsoleCursorInfo(output, &before);
    closeConsole(); // opened again below, so that it records this state
    char reason[256] = "";
    ASSERT_TRUE(openConsole(reason, sizeof reason)) << reason;

    setupInput();
    setTitle("Jorvo Dice");
    hideCursor();
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    EXPECT_EQ(mode, (KnownInputMode & ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE)) |
                        ENABLE_EXTENDED_FLAGS | ENABLE_MOUSE_INPUT);
    wchar_t title[64] = L"";
    GetConsoleTitleW(title, 64);
    EXPECT_STREQ(title, L"Jorvo Dice");
    CONSOLE_CURSOR_INFO cursor{};
    GetConsoleCursorInfo(output, &cursor);
    EXPECT_EQ(cursor.dwSize, 100u);
    EXPECT_FALSE(cursor.bVisible);

    closeConsole();
    closeConsole(); // safe twice
    GetConsoleMode(input, &mode);
    EXPECT_EQ(mode, KnownInputMode);
    GetConsoleTitleW(title, 64);
    EXPECT_STREQ(title, L"Before");
    GetConsoleCursorInfo(output, &cursor);
    EXPECT_EQ(cursor.dwSize, 25u);
    EXPECT_TRUE(cursor.bVisible);
}

TEST_F(Win32Console, OutputThatIsNotAConsoleIsRefusedWithAReason) {
    closeConsole();
    wchar_t path[MAX_PATH] = L"";
    wchar_t folder[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"jrv", 0, path);
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    char reason[256] = "";
    EXPECT_FALSE(openConsole(reason, sizeof reason));
    EXPECT_NE(std::strstr(reason, "console"), nullptr) << reason;
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    CloseHandle(file);
}

} // namespace
