// Turns what ncurses reads from a terminal into the console's key codes. Pure: the backend reads,
// this decides, so that the decoding is tested with tables of input.
#pragma once

#include <cstdint>

// One read from ncurses' wget_wch: a character, or (isKeyCode) one of its KEY_ codes.
struct RawKey {
    bool isKeyCode;
    std::uint32_t value;
};

// Where the decoder is within an escape sequence that ncurses did not match itself.
enum class EscapeState { None, Escape, Csi, CsiWithParameters, Ss3 };

struct KeyDecoder {
    EscapeState state = EscapeState::None;
};

// The most key codes one raw key can give: Escape, then a two-code key.
constexpr int MaxDecodedKeys = 3;

struct DecodedKeys {
    int count = 0;
    int codes[MaxDecodedKeys] = {};
};

// Feeds one raw key. Plain cursor keys in either escape form (ESC [ C, as pasted or sent by a
// terminal that ignores the keypad mode, and ESC O C) become arrows; any other escape sequence,
// modified arrows included, is dropped whole, so that none of its bytes is taken for typed text.
// Escape followed by a key that starts no sequence is the two keys.
DecodedKeys decodeRawKey(KeyDecoder& decoder, RawKey raw);

// Whether the decoder is inside an escape sequence, waiting for the rest of it.
bool decoderWaiting(const KeyDecoder& decoder);

// Called when nothing more came within the escape delay: a lone Escape is the key, an unfinished
// sequence is dropped.
DecodedKeys finishEscape(KeyDecoder& decoder);
