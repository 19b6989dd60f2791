#include "console/keys_win32.h"

#include "console/console.h"

namespace {

// The gray keys that the runtime reports as two codes, by virtual key, with their second code.
struct GrayKey {
    WORD virtualKey;
    int code;
};
constexpr GrayKey GrayKeys[] = {
    {VK_HOME, KeyGrayHome},     {VK_UP, KeyUp},
    {VK_PRIOR, KeyGrayPageUp},  {VK_LEFT, KeyLeft},
    {VK_RIGHT, KeyRight},       {VK_END, KeyGrayEnd},
    {VK_DOWN, KeyDown},         {VK_NEXT, KeyGrayPageDown},
    {VK_INSERT, KeyGrayInsert}, {VK_DELETE, KeyGrayDelete},
    {VK_F11, KeyF11},           {VK_F12, KeyF12},
};

// The runtime's codes for an arrow held with Ctrl (after KeyExtended) or Alt (after KeyFunction),
// which the game does not read.
struct ModifiedArrow {
    WORD virtualKey;
    int withCtrl;
    int withAlt;
};
constexpr ModifiedArrow ModifiedArrows[] = {{VK_UP, KeyCtrlUp, KeyAltUp},
                                            {VK_DOWN, KeyCtrlDown, KeyAltDown},
                                            {VK_LEFT, KeyCtrlLeft, KeyAltLeft},
                                            {VK_RIGHT, KeyCtrlRight, KeyAltRight}};

void setTwo(RecordKeys& keys, int first, int second) {
    keys.count = 2;
    keys.codes[0] = first;
    keys.codes[1] = second;
}

bool decodeModifiedArrow(const KEY_EVENT_RECORD& key, RecordKeys& keys) {
    const DWORD state = key.dwControlKeyState;
    const bool ctrl = (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
    const bool alt = (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
    if (!ctrl && !alt) {
        return false;
    }
    for (const ModifiedArrow& arrow : ModifiedArrows) {
        if (key.wVirtualKeyCode == arrow.virtualKey) {
            if (alt) {
                setTwo(keys, KeyFunction, arrow.withAlt);
            } else {
                setTwo(keys, KeyExtended, arrow.withCtrl);
            }
            return true;
        }
    }
    return false;
}

void decodeKey(RecordDecoder& decoder, const KEY_EVENT_RECORD& key, RecordKeys& keys) {
    const WORD vk = key.wVirtualKeyCode;
    if (vk >= VK_F1 && vk <= VK_F10) {
        setTwo(keys, KeyFunction, KeyF1 + (vk - VK_F1));
        return;
    }
    if (decodeModifiedArrow(key, keys)) {
        return;
    }
    for (const GrayKey& gray : GrayKeys) {
        if (vk == gray.virtualKey) {
            // The keypad's keys with Num Lock off count as the gray keys, as on the other
            // backends; wine's console sets no enhanced flag on any arrow, so the flag cannot
            // tell them apart.
            setTwo(keys, KeyExtended, gray.code);
            return;
        }
    }
    const wchar_t unit = key.uChar.UnicodeChar;
    if (unit == 0) {
        return; // Shift, Ctrl and the other keys that type nothing
    }
    char32_t c = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        decoder.highSurrogate = unit;
        return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (decoder.highSurrogate == 0) {
            return;
        }
        c = 0x10000 + ((static_cast<char32_t>(decoder.highSurrogate) - 0xD800) << 10) +
            (unit - 0xDC00);
    }
    decoder.highSurrogate = 0;
    keys.count = 1;
    keys.codes[0] = c < 0x80 ? static_cast<int>(c) : KeyText + static_cast<int>(c);
}

} // namespace

RecordKeys decodeInputRecord(RecordDecoder& decoder, const INPUT_RECORD& record) {
    RecordKeys keys;
    if (record.EventType != KEY_EVENT) {
        return keys;
    }
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    if (!key.bKeyDown && !(key.wVirtualKeyCode == VK_MENU && key.uChar.UnicodeChar != 0)) {
        return keys;
    }
    keys.repeat = key.wRepeatCount > 0 ? key.wRepeatCount : 1;
    decodeKey(decoder, key, keys);
    return keys;
}
