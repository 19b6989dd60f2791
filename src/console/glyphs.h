// What a terminal shows in place of a character it cannot show as the layout counts it. Pure: the
// backend finds out what its terminal can do, this decides, so that the choice is tested with
// tables and every backend that needs it makes the same one.
#pragma once

#include <cstddef>

// What the backend found out about its terminal.
struct TerminalAbilities {
    // East Asian ambiguous-width characters (box drawing, ●, ↑, Greek, Cyrillic, ...) take two
    // columns there.
    bool ambiguousWide = false;
    // The dice's box drawing, ● and ↑ are shown one column each, all of them: the charset holds
    // them at that width and the terminal does not draw them wide.
    bool diceGlyphs = true;
};

// One character's stand-in. A character that is not kept is drawn in exactly its own cells: with
// the line-drawing glyph, where the terminal has that one, else with the ASCII text, one
// character a cell.
struct StandIn {
    bool keep = true;
    // The glyph by its letter in the terminal's alternate character set (the VT100 letters that
    // terminfo's acsc and ncurses' ACS_ names use); 0 for none.
    char lineDrawing = 0;
    char text[3] = "";
};

// What `c` is drawn with. `inCharset`: whether the terminal's charset holds `c` and shows it at
// the layout's width (displayWidth).
StandIn standIn(char32_t c, bool inCharset, const TerminalAbilities& terminal);

// Whether `c` is one of the characters the dice and the dice cursor are drawn with.
bool isDiceGlyph(char32_t c);

// The game's own Hangul texts in readable English of the same width, for a terminal whose charset
// cannot show them: the English for the `size` bytes of UTF-8 at `text` when they are one of those
// texts, else nullptr.
const char* hangulTextStandIn(const char* text, std::size_t size);
