// UTF-8 and display widths: the program's text is UTF-8, and the layout counts screen columns.
#pragma once

#include <cstddef>

// Decodes the UTF-8 sequence at the start of `s` (`size` bytes available) into `codePoint` and
// returns the number of bytes it takes, at least 1. A malformed or truncated sequence takes one
// byte and decodes to U+FFFD.
int decodeUtf8(const char* s, std::size_t size, char32_t* codePoint);

// One character of a UTF-8 text: what it decodes to, and the bytes it takes there.
struct Utf8Char {
    char32_t codePoint;
    const char* bytes;
    int size;
};

// The characters of `size` bytes of UTF-8, one after another, as decodeUtf8 reads them:
//   for (const Utf8Char c : Utf8Text{text, size}) { ... }
struct Utf8Text {
    const char* text;
    std::size_t size;

    struct End {};
    struct Iterator {
        const char* at;
        const char* end;
        Utf8Char current;

        Utf8Char operator*() const { return current; }
        Iterator& operator++() {
            at += current.size;
            current = decodeAt(at, end);
            return *this;
        }
        bool operator!=(End) const { return at != end; }
    };

    Iterator begin() const { return {text, text + size, decodeAt(text, text + size)}; }
    End end() const { return {}; }

    static Utf8Char decodeAt(const char* at, const char* end) {
        Utf8Char c{0, at, 0};
        if (at != end) {
            c.size = decodeUtf8(at, static_cast<std::size_t>(end - at), &c.codePoint);
        }
        return c;
    }
};

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
