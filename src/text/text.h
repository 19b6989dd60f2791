// UTF-8 and display widths: the program's text is UTF-8, and the layout counts screen columns.
#pragma once

#include <cstddef>

// Decodes the UTF-8 sequence at the start of `s` (`size` bytes available) into `codePoint` and
// returns the number of bytes it takes, at least 1. A malformed or truncated sequence takes one
// byte and decodes to U+FFFD.
int decodeUtf8(const char* s, std::size_t size, char32_t* codePoint);

// Writes `codePoint` as UTF-8 into `out` (room for 4 bytes) and returns the number of bytes.
int encodeUtf8(char32_t codePoint, char* out);

// Screen columns of one character: 2 for East Asian wide and fullwidth characters (Hangul, the
// ideographic space), 0 for control and combining characters, 1 for the rest. Box drawing, ● and
// ↑ are ambiguous-width characters, which the layout takes as narrow.
int displayWidth(char32_t codePoint);

// Whether a terminal may draw the character one column wide or two, as it is set up: the East Asian
// ambiguous-width characters (box drawing, ●, ↑, Greek, Cyrillic, many accented Latin letters).
// The layout takes them as one column.
bool isAmbiguousWidth(char32_t codePoint);

// Screen columns of a zero-terminated UTF-8 string.
int textWidth(const char* s);

// Whether a character may stand in a player's name: printable, one or two columns wide.
bool isNameCharacter(char32_t codePoint);
