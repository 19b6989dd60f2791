#include "console/glyphs.h"

#include "text/text.h"

#include <cstring>

namespace {

constexpr char32_t IdeographicSpace = 0x3000;

struct DiceGlyph {
    char32_t c;
    char lineDrawing;
    char text;
};

// The dice's frame, the pips and the dice cursor, with the VT100 line-drawing letter and the ASCII
// character that stand in for each. The pip's glyph is the diamond. The VT100 set has no arrow
// (ncurses' ACS_UARROW is an extension that terminals emulating the set show as '-'), so the
// cursor is always '^'.
constexpr DiceGlyph DiceGlyphs[] = {
    {0x250F, 'l', '+'}, // ┏
    {0x2513, 'k', '+'}, // ┓
    {0x2517, 'm', '+'}, // ┗
    {0x251B, 'j', '+'}, // ┛
    {0x2501, 'q', '-'}, // ━
    {0x2503, 'x', '|'}, // ┃
    {0x25CF, '`', 'o'}, // ●
    {0x2191, 0, '^'},   // ↑
};

const DiceGlyph* findDiceGlyph(char32_t c) {
    for (const DiceGlyph& glyph : DiceGlyphs) {
        if (glyph.c == c) {
            return &glyph;
        }
    }
    return nullptr;
}

struct HangulText {
    const char* hangul;
    const char* english;
};

// Each English text takes exactly the columns of its Hangul, so that what follows it stays put.
constexpr HangulText HangulTexts[] = {
    {"게임 끝! 이름 입력: ", "Game over! Name:    "},
    {"파일 연결 실패", "ranking failed"},
};

} // namespace

bool isDiceGlyph(char32_t c) {
    return findDiceGlyph(c) != nullptr;
}

StandIn standIn(char32_t c, bool inCharset, const TerminalAbilities& terminal) {
    StandIn result;
    if (const DiceGlyph* glyph = findDiceGlyph(c)) {
        if (!terminal.diceGlyphs || !inCharset) {
            result.keep = false;
            result.lineDrawing = glyph->lineDrawing;
            result.text[0] = glyph->text;
        }
    } else if (c == IdeographicSpace) {
        // It spaces the pips; next to stand-ins, blanks do the same in any charset.
        if (!terminal.diceGlyphs || !inCharset) {
            result.keep = false;
            std::memcpy(result.text, "  ", 3);
        }
    } else if (!inCharset ||
               (terminal.ambiguousWide && displayWidth(c) == 1 && isAmbiguousWidth(c))) {
        result.keep = false;
        result.text[0] = '?';
        if (displayWidth(c) == 2) {
            result.text[1] = '?';
        }
    }
    return result;
}

const char* hangulTextStandIn(const char* text, std::size_t size) {
    for (const HangulText& entry : HangulTexts) {
        if (std::strlen(entry.hangul) == size && std::memcmp(entry.hangul, text, size) == 0) {
            return entry.english;
        }
    }
    return nullptr;
}
