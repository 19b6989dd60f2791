// The console: the only part of the program that knows which terminal it draws on.
//
// Every screen is drawn by moving the cursor to a fixed cell and printing there, and the keyboard
// is read one key code at a time. Three backends implement this interface, chosen at build time:
// ncursesw on POSIX terminals, the Win32 console API on Windows, and an in-memory grid for tests.
#pragma once

#include <cstddef>

// ---- key codes ----------------------------------------------------------------------------------
// Plain keys return their character code. Arrows arrive as two codes, KeyExtended then the arrow;
// other function keys arrive as KeyFunction then a code, and each of those two is a plain key.
constexpr int KeyFunction = 0;
constexpr int KeyBackspace = 8;
constexpr int KeyEnter = 13;
constexpr int KeyEscape = 27;
constexpr int KeySpace = 32;
constexpr int KeyDelete = 127;
constexpr int KeyExtended = 224;
constexpr int KeyUp = 72;
constexpr int KeyDown = 80;
constexpr int KeyLeft = 75;
constexpr int KeyRight = 77;

// Characters beyond ASCII arrive as KeyText + code point, so that no letter (U+00E0 is 224) can be
// taken for a function-key prefix.
constexpr int KeyText = 0x200000;

// Returned by getKey once the input has ended for good: end of file, hang-up, terminal gone.
constexpr int KeyEnd = -1;

// The cells that every screen of the game fits in.
constexpr int ScreenWidth = 103;
constexpr int ScreenHeight = 28;

// ---- life cycle ---------------------------------------------------------------------------------
// Takes over the terminal and clears it. On failure returns false with a one-line reason in
// `reason`; nothing has been changed then.
bool openConsole(char* reason, std::size_t reasonSize);
// Gives the terminal back as it was found. Safe to call more than once.
void closeConsole();

// Input mode for the game: keys one at a time, without echo, function keys decoded.
void setupInput();
void setTitle(const char* title);
void hideCursor();

// ---- output -------------------------------------------------------------------------------------
// Blanks the whole screen and homes the cursor.
void clearScreen();
void moveCursor(int x, int y);

// printf-style UTF-8 text at the cursor. A line break moves to column 0 of the next row without
// clearing anything; a tab writes blanks up to the next multiple of 8.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void print(const char* format, ...);

// ---- input --------------------------------------------------------------------------------------
// Whether a key is waiting; never blocks.
bool keyHit();
// Waits without using the processor until a key is waiting. False once the input has ended.
bool waitForKey();
// The next key code, waiting for one if needed; KeyEnd once the input has ended.
int getKey();

// Shows what has been drawn, then pauses.
void delay(int milliseconds);
