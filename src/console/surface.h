// What each console backend gives the console's front end (console.cpp): a surface of cells that
// runs of text are placed on. The text rules live in the front end, once.
#pragma once

#include <cstddef>

struct SurfaceSize {
    int columns;
    int rows;
};

SurfaceSize surfaceSize();
// Blanks every cell.
void surfaceClear();
// Places a run of printable UTF-8 characters on row y from column x; the front end has made sure
// that it fits before the right edge, counting columns by displayWidth.
void surfacePut(int x, int y, const char* text, std::size_t size);

// Where the front end's cursor is, for a backend that must show it or a test that reads it.
int cursorColumn();
int cursorRow();
