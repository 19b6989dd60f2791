// Turns Win32 console input records into the console's key codes, numbered the way the C
// runtime's _getch numbers them, except that a typed non-ASCII character comes as KeyText + code
// point and so is never taken for a prefix. Pure: the backend reads records, this decides, so that
// the decoding is tested with tables of records.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The first half of a character beyond U+FFFF, waiting for its second.
struct RecordDecoder {
    wchar_t highSurrogate = 0;
};

// The codes of one key press (one or two), and how many times the keyboard repeated it.
struct RecordKeys {
    int count = 0;
    int codes[2] = {};
    int repeat = 1;
};

// Mouse, focus, menu and size records give no key, nor do key-ups, except the release of Alt that
// carries a character typed as Alt and its number on the keypad.
RecordKeys decodeInputRecord(RecordDecoder& decoder, const INPUT_RECORD& record);
