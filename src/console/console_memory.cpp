// The in-memory backend: follows the console's rules exactly, on a grid the tests can read.
#include "console/console.h"
#include "console/memory_console.h"
#include "console/surface.h"
#include "text/text.h"

#include <algorithm>
#include <array>
#include <climits>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Cell {
    char text[5] = " "; // one UTF-8 character, or empty for the right half of a wide one
};

struct Grid {
    std::array<std::array<Cell, memory::Width>, memory::Height> cells{};
    int maxX = -1;
    int maxY = -1;
    int clears = 0;
    bool cursorHidden = false;
    bool keepScreens = false;
    std::string title;
    std::deque<int> keys;
    int keysThrownAway = 0;
    std::vector<int> delays;
    std::vector<std::string> screensAtDelays;
    std::function<void(int)> typist;
};

Grid grid;

// In the key queue: the keys after it are typed only later (see memory::pushPause).
constexpr int PauseMark = INT_MIN;

void blankCell(int x, int y) {
    Cell& cell = grid.cells[y][x];
    cell.text[0] = ' ';
    cell.text[1] = '\0';
}

// A wide character overwritten in either half leaves a blank in the other half.
void breakWideAt(int x, int y) {
    auto& line = grid.cells[y];
    if (line[x].text[0] == '\0' && x > 0) {
        blankCell(x - 1, y);
    }
    if (x + 1 < memory::Width && line[x + 1].text[0] == '\0') {
        blankCell(x + 1, y);
    }
}

void putCharacter(int x, int y, const char* bytes, int length, int width) {
    breakWideAt(x, y);
    if (width == 2) {
        breakWideAt(x + 1, y);
    }
    Cell& cell = grid.cells[y][x];
    // A UTF-8 character is at most four bytes, which the cell holds with its terminating zero.
    const int size = length < static_cast<int>(sizeof cell.text) ? length : 0;
    for (int i = 0; i < size; ++i) {
        cell.text[i] = bytes[i];
    }
    cell.text[size] = '\0';
    if (width == 2) {
        grid.cells[y][x + 1].text[0] = '\0';
    }
    if (x + width - 1 > grid.maxX) {
        grid.maxX = x + width - 1;
    }
    if (y > grid.maxY) {
        grid.maxY = y;
    }
}

} // namespace

// ---- the surface --------------------------------------------------------------------------------

SurfaceSize surfaceSize() {
    return {memory::Width, memory::Height};
}

void surfaceClear() {
    for (int y = 0; y < memory::Height; ++y) {
        for (int x = 0; x < memory::Width; ++x) {
            blankCell(x, y);
        }
    }
    ++grid.clears;
}

void surfacePut(int x, int y, const char* text, std::size_t size) {
    for (const Utf8Char c : Utf8Text{text, size}) {
        const int width = displayWidth(c.codePoint);
        if (width > 0 && x + width <= memory::Width) {
            putCharacter(x, y, c.bytes, c.size, width);
            x += width;
        }
    }
}

// ---- the console interface ----------------------------------------------------------------------

bool openConsole(char*, std::size_t) {
    clearScreen();
    return true;
}

void closeConsole() {}
void leaveIfHungUp() {}
const char* textForTerminal(const char* utf8, char*, std::size_t) {
    return utf8;
}
void setupInput() {}
void setTitle(const char* title) {
    grid.title = title;
}
void hideCursor() {
    grid.cursorHidden = true;
}

// A pause passes once the program looks for a key with nothing typed before it.
void passPause() {
    if (!grid.keys.empty() && grid.keys.front() == PauseMark) {
        grid.keys.pop_front();
    }
}

bool keyHit() {
    passPause();
    return !grid.keys.empty();
}
bool waitForKey() {
    return keyHit();
}

int getKey() {
    if (!keyHit()) {
        return KeyEnd;
    }
    const int key = grid.keys.front();
    grid.keys.pop_front();
    return key;
}

void flushInput() {
    while (!grid.keys.empty() && grid.keys.front() != PauseMark) {
        grid.keys.pop_front();
        ++grid.keysThrownAway;
    }
}

bool waitUntilShown() {
    return true;
}

void delay(int milliseconds) {
    grid.delays.push_back(milliseconds);
    if (grid.keepScreens) {
        grid.screensAtDelays.push_back(memory::screen());
    }
    if (grid.typist) {
        // A copy: the typist may set another one.
        const std::function<void(int)> typist = grid.typist;
        typist(milliseconds);
    }
}

// ---- what the tests read back -------------------------------------------------------------------

namespace memory {

void reset() {
    grid = Grid{};
    clearScreen();
    grid.clears = 0;
}

void pushKeys(std::initializer_list<int> keys) {
    for (int key : keys) {
        grid.keys.push_back(key);
    }
}

void pushKey(int key) {
    grid.keys.push_back(key);
}

void pushText(const char* utf8) {
    for (const Utf8Char c : Utf8Text{utf8, std::char_traits<char>::length(utf8)}) {
        const char32_t code = c.codePoint;
        grid.keys.push_back(code < 0x80 ? static_cast<int>(code)
                                        : KeyText + static_cast<int>(code));
    }
}

void pushPause() {
    grid.keys.push_back(PauseMark);
}

void typeKeys(std::initializer_list<int> keys) {
    const auto pause = std::find(grid.keys.begin(), grid.keys.end(), PauseMark);
    grid.keys.insert(pause, keys.begin(), keys.end());
}

void onEachDelay(std::function<void(int)> typist) {
    grid.typist = std::move(typist);
}

std::size_t keysLeft() {
    return static_cast<std::size_t>(std::count_if(grid.keys.begin(), grid.keys.end(),
                                                  [](int key) { return key != PauseMark; }));
}

int keysThrownAway() {
    return grid.keysThrownAway;
}

std::string cells(int x, int y, int columns) {
    std::string text;
    for (int i = x; i < x + columns && i < Width; ++i) {
        text += grid.cells[y][i].text;
    }
    return text;
}

std::string row(int y) {
    std::string text = cells(0, y, Width);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string screen() {
    std::string text;
    for (int y = 0; y < Height; ++y) {
        text += cells(0, y, Width);
        text += '\n';
    }
    return text;
}

int cursorX() {
    return cursorColumn();
}
int cursorY() {
    return cursorRow();
}
bool cursorHidden() {
    return grid.cursorHidden;
}
const std::string& title() {
    return grid.title;
}
const std::vector<int>& delays() {
    return grid.delays;
}
void keepScreensAtDelays() {
    grid.keepScreens = true;
}
const std::vector<std::string>& screensAtDelays() {
    return grid.screensAtDelays;
}
bool drewOutside(int width, int height) {
    return grid.maxX >= width || grid.maxY >= height;
}
int clears() {
    return grid.clears;
}

} // namespace memory
