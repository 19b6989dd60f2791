// Windows console input records as a keyboard and a mouse make them, for the key tests.
#pragma once

#include "console/keys_win32.h"

inline INPUT_RECORD key(WORD virtualKey, wchar_t character, DWORD state = 0, BOOL down = TRUE,
                        WORD repeat = 1, WORD scan = 0) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down;
    record.Event.KeyEvent.wRepeatCount = repeat;
    record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
    record.Event.KeyEvent.wVirtualScanCode = scan;
    record.Event.KeyEvent.uChar.UnicodeChar = character;
    record.Event.KeyEvent.dwControlKeyState = state;
    return record;
}

inline INPUT_RECORD mouse() {
    INPUT_RECORD record{};
    record.EventType = MOUSE_EVENT;
    record.Event.MouseEvent.dwButtonState = FROM_LEFT_1ST_BUTTON_PRESSED;
    return record;
}

inline INPUT_RECORD focus() {
    INPUT_RECORD record{};
    record.EventType = FOCUS_EVENT;
    record.Event.FocusEvent.bSetFocus = TRUE;
    return record;
}
