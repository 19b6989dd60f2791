// The in-memory console that the tests draw on: a grid of cells that can be read back, fed from a
// queue of key codes, with a delay that records instead of sleeping.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace memory {

// The grid is as large as a default console window, so that anything drawn past the cells the
// game needs is still caught and can be reported.
constexpr int Width = 120;
constexpr int Height = 32;

// Blank grid, cursor home, no keys, nothing recorded.
void reset();

// Keys that getKey will return, in order; once they run out the input has ended.
void pushKeys(std::initializer_list<int> keys);
void pushKey(int key);
void pushText(const char* utf8);
// The keys pushed after a pause are typed only later: once the program has read every key before
// it and looks for another, so that flushInput cannot throw them away before then.
void pushPause();
// Keys typed at this moment: after the keys typed so far, ahead of those pushed after a pause.
void typeKeys(std::initializer_list<int> keys);
// Calls `typist` at every delay the program asks for, with its milliseconds, so that it can type
// keys (typeKeys) while the program waits; an empty function stops it.
void onEachDelay(std::function<void(int)> typist);
// Keys pushed and not yet read, and keys thrown away by flushInput.
std::size_t keysLeft();
int keysThrownAway();

// What a person would see on row y: each cell's character, a wide character once.
std::string row(int y);
// Row y from column x, `columns` cells wide.
std::string cells(int x, int y, int columns);
// The whole grid, rows joined by line breaks, trailing blanks kept.
std::string screen();

int cursorX();
int cursorY();
bool cursorHidden();
const std::string& title();

// The delays asked for, in order, and, once asked for with keepScreensAtDelays, the grid as it
// stood at each of them.
const std::vector<int>& delays();
void keepScreensAtDelays();
const std::vector<std::string>& screensAtDelays();

// Whether anything has been written at or beyond column `width` or row `height`.
bool drewOutside(int width, int height);
int clears();

} // namespace memory
