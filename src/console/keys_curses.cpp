#define NCURSES_WIDECHAR 1
#include "console/keys_curses.h"

#include "console/console.h"

#include <curses.h>

namespace {

void add(DecodedKeys& keys, int code) {
    if (keys.count < MaxDecodedKeys) {
        keys.codes[keys.count++] = code;
    }
}

void addTwo(DecodedKeys& keys, int first, int second) {
    add(keys, first);
    add(keys, second);
}

// The keys that ncurses decodes itself and the game has two codes for.
struct TwoCodes {
    int keyCode;
    int first;
    int second;
};

constexpr TwoCodes NamedKeys[] = {
    {KEY_UP, KeyExtended, KeyUp},
    {KEY_DOWN, KeyExtended, KeyDown},
    {KEY_LEFT, KeyExtended, KeyLeft},
    {KEY_RIGHT, KeyExtended, KeyRight},
    {KEY_HOME, KeyExtended, KeyGrayHome},
    {KEY_END, KeyExtended, KeyGrayEnd},
    {KEY_PPAGE, KeyExtended, KeyGrayPageUp},
    {KEY_NPAGE, KeyExtended, KeyGrayPageDown},
    {KEY_IC, KeyExtended, KeyGrayInsert},
    {KEY_DC, KeyExtended, KeyGrayDelete},
    {KEY_F(11), KeyExtended, KeyF11},
    {KEY_F(12), KeyExtended, KeyF12},
    // Shift does not change an arrow's codes.
    {KEY_SLEFT, KeyExtended, KeyLeft},
    {KEY_SRIGHT, KeyExtended, KeyRight},
    {KEY_SR, KeyExtended, KeyUp},
    {KEY_SF, KeyExtended, KeyDown},
};

void decodeKeyCode(DecodedKeys& keys, int code) {
    for (const TwoCodes& named : NamedKeys) {
        if (code == named.keyCode) {
            addTwo(keys, named.first, named.second);
            return;
        }
    }
    if (code >= KEY_F(1) && code <= KEY_F(10)) {
        addTwo(keys, KeyFunction, KeyF1 + (code - KEY_F(1)));
    } else if (code == KEY_ENTER) {
        add(keys, KeyEnter);
    } else if (code == KEY_BACKSPACE) {
        add(keys, KeyBackspace);
    } else if (code != KEY_RESIZE && code != KEY_MOUSE) {
        // A key the game has no code for still counts as a key; the window changing size and a
        // mouse report are no keys at all.
        addTwo(keys, KeyFunction, KeyUnnamed);
    }
}

void decodeCharacter(DecodedKeys& keys, std::uint32_t c) {
    if (c == '\r' || c == '\n') {
        add(keys, KeyEnter);
    } else if (c == 0) {
        addTwo(keys, KeyFunction, KeyUnnamed); // Ctrl+Space; a lone 0 would be taken for a prefix
    } else if (c < 0x80) {
        add(keys, static_cast<int>(c));
    } else {
        add(keys, KeyText + static_cast<int>(c));
    }
}

// The arrow that the final byte of a cursor-key sequence stands for, or 0.
int arrowOf(std::uint32_t final) {
    switch (final) {
    case 'A':
        return KeyUp;
    case 'B':
        return KeyDown;
    case 'C':
        return KeyRight;
    case 'D':
        return KeyLeft;
    default:
        return 0;
    }
}

void addArrow(DecodedKeys& keys, std::uint32_t final) {
    if (const int arrow = arrowOf(final); arrow != 0) {
        addTwo(keys, KeyExtended, arrow);
    }
}

void decodeGround(KeyDecoder& decoder, DecodedKeys& keys, RawKey raw) {
    if (raw.isKeyCode) {
        decodeKeyCode(keys, static_cast<int>(raw.value));
    } else if (raw.value == KeyEscape) {
        decoder.state = EscapeState::Escape;
    } else {
        decodeCharacter(keys, raw.value);
    }
}

bool isFinalByte(RawKey raw) {
    return !raw.isKeyCode && raw.value >= 0x40 && raw.value <= 0x7E;
}

} // namespace

DecodedKeys decodeRawKey(KeyDecoder& decoder, RawKey raw) {
    DecodedKeys keys;
    switch (decoder.state) {
    case EscapeState::None:
        decodeGround(decoder, keys, raw);
        break;
    case EscapeState::Escape:
        if (!raw.isKeyCode && raw.value == '[') {
            decoder.state = EscapeState::Csi;
        } else if (!raw.isKeyCode && raw.value == 'O') {
            decoder.state = EscapeState::Ss3;
        } else {
            add(keys, KeyEscape);
            decoder.state = EscapeState::None;
            decodeGround(decoder, keys, raw);
        }
        break;
    case EscapeState::Csi:
    case EscapeState::CsiWithParameters:
        if (raw.isKeyCode) {
            // A key ncurses decoded cannot be part of the sequence, which has ended unfinished.
            decoder.state = EscapeState::None;
            decodeGround(decoder, keys, raw);
        } else if (isFinalByte(raw)) {
            if (decoder.state == EscapeState::Csi) {
                addArrow(keys, raw.value);
            }
            decoder.state = EscapeState::None;
        } else {
            decoder.state = EscapeState::CsiWithParameters;
        }
        break;
    case EscapeState::Ss3:
        decoder.state = EscapeState::None;
        if (raw.isKeyCode) {
            decodeGround(decoder, keys, raw);
        } else {
            addArrow(keys, raw.value);
        }
        break;
    }
    return keys;
}

bool decoderWaiting(const KeyDecoder& decoder) {
    return decoder.state != EscapeState::None;
}

DecodedKeys finishEscape(KeyDecoder& decoder) {
    DecodedKeys keys;
    if (decoder.state == EscapeState::Escape) {
        add(keys, KeyEscape);
    }
    decoder.state = EscapeState::None;
    return keys;
}
