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

// Second codes after KeyExtended: the arrows, which the game reads, and the other gray keys, which
// it does not.
constexpr int KeyUp = 72;
constexpr int KeyDown = 80;
constexpr int KeyLeft = 75;
constexpr int KeyRight = 77;
constexpr int KeyGrayHome = 71;
constexpr int KeyGrayPageUp = 73;
constexpr int KeyGrayEnd = 79;
constexpr int KeyGrayPageDown = 81;
constexpr int KeyGrayInsert = 82;
constexpr int KeyGrayDelete = 83;
constexpr int KeyF11 = 133;
constexpr int KeyF12 = 134;
constexpr int KeyCtrlUp = 141;
constexpr int KeyCtrlDown = 145;
constexpr int KeyCtrlLeft = 115;
constexpr int KeyCtrlRight = 116;

// Second codes after KeyFunction: F1 to F10 are KeyF1 + 0..9; an arrow held with Alt; and 0 for a
// key the game has no code for, which still counts as a key (it ends the two-player result).
constexpr int KeyF1 = 59;
constexpr int KeyAltUp = 152;
constexpr int KeyAltDown = 160;
constexpr int KeyAltLeft = 155;
constexpr int KeyAltRight = 157;
constexpr int KeyUnnamed = 0;

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
// Once the console is given back: where the input ended because the window was closed (the
// terminal hung up), ends the process by the hang-up's signal, as the closing itself does, so
// that a closed window ends the game one way whichever the game noticed first. Otherwise returns.
void leaveIfHungUp();

// A UTF-8 text as the terminal can show it, for a message written after the console is given
// back: in the charset the console wrote in, with what stands in for characters it cannot show.
// Returns `utf8` itself or `buffer`, which holds `size` bytes.
const char* textForTerminal(const char* utf8, char* buffer, std::size_t size);

// Input mode for the game: keys one at a time, without echo, function keys decoded.
void setupInput();
void setTitle(const char* title);
void hideCursor();

// ---- output -------------------------------------------------------------------------------------
// The same for every backend (console.cpp): the cursor is kept here, and text is cut into runs
// that each backend only places.

// Blanks the whole screen and homes the cursor.
void clearScreen();
// A cell outside the surface leaves the cursor where it is.
void moveCursor(int x, int y);

// printf-style UTF-8 text at the cursor, at most PrintBytes bytes of it. A line break moves to
// column 0 of the next row without clearing anything; a tab writes blanks up to the next multiple
// of 8; a character that does not fit before the right edge goes to the start of the next row;
// the last row does not scroll. Control characters other than those two take no cell.
constexpr std::size_t PrintBytes = 1024;
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

// Throws away every key typed so far and not yet read.
void flushInput();
// Waits without using the processor while the window is too small to show the game (keys typed
// meanwhile are thrown away). False once the input has ended.
bool waitUntilShown();

// Shows what has been drawn, then pauses.
void delay(int milliseconds);
