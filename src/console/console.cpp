// The console's front end: the cursor, and the rules by which printed text lands in cells. Every
// backend shares them; a backend only places runs of characters on its surface.
#include "console/console.h"
#include "console/surface.h"
#include "text/text.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr int TabStop = 8;

struct Cursor {
    int x = 0;
    int y = 0;
};

Cursor cursor;

void nextLine(const SurfaceSize& surface) {
    cursor.x = 0;
    if (cursor.y + 1 < surface.rows) {
        ++cursor.y;
    }
}

// The characters gathered for one surfacePut: consecutive, on one row.
struct Run {
    const char* start = nullptr;
    std::size_t size = 0;
    int x = 0;
};

void putRun(Run& run) {
    if (run.size > 0) {
        surfacePut(run.x, cursor.y, run.start, run.size);
    }
    run.size = 0;
}

void writeBlanks(int count) {
    static constexpr char Blanks[] = "        ";
    if (count > 0) {
        surfacePut(cursor.x, cursor.y, Blanks, static_cast<std::size_t>(count));
    }
}

void writeText(const char* text, std::size_t size) {
    const SurfaceSize surface = surfaceSize();
    Run run;
    for (const Utf8Char character : Utf8Text{text, size}) {
        const char32_t c = character.codePoint;
        if (c == '\n') {
            putRun(run);
            nextLine(surface);
        } else if (c == '\t') {
            putRun(run);
            const int stop = (cursor.x / TabStop + 1) * TabStop;
            const int end = stop < surface.columns ? stop : surface.columns;
            writeBlanks(end - cursor.x);
            cursor.x = end;
            if (cursor.x >= surface.columns) {
                nextLine(surface);
            }
        } else if (const int width = displayWidth(c); width > 0) {
            if (cursor.x + width > surface.columns) {
                putRun(run);
                nextLine(surface);
            }
            if (run.size == 0) {
                run.start = character.bytes;
                run.x = cursor.x;
            }
            run.size += static_cast<std::size_t>(character.size);
            cursor.x += width;
            if (cursor.x >= surface.columns) {
                putRun(run);
                nextLine(surface);
            }
        }
    }
    putRun(run);
}

} // namespace

int cursorColumn() {
    return cursor.x;
}
int cursorRow() {
    return cursor.y;
}

void clearScreen() {
    surfaceClear();
    cursor = Cursor{};
}

void moveCursor(int x, int y) {
    const SurfaceSize surface = surfaceSize();
    if (x >= 0 && x < surface.columns && y >= 0 && y < surface.rows) {
        cursor.x = x;
        cursor.y = y;
    }
}

void print(const char* format, ...) {
    char buffer[PrintBytes];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length > 0) {
        const auto size = static_cast<std::size_t>(length);
        writeText(buffer, size < sizeof buffer ? size : sizeof buffer - 1);
    }
}
