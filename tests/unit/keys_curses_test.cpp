// The ncurses backend's key decoding, from what ncurses reads to the console's key codes.
#define NCURSES_WIDECHAR 1
#include "console/console.h"
#include "console/keys_curses.h"

#include <curses.h>
#include <gtest/gtest.h>
#include <vector>

namespace {

// One step of input: a character, a key ncurses decoded itself, or a pause longer than the escape
// delay (nothing more came).
struct Step {
    enum Kind { Character, KeyCode, Pause } kind;
    std::uint32_t value;
};

Step ch(std::uint32_t c) {
    return {Step::Character, c};
}
Step code(int keyCode) {
    return {Step::KeyCode, static_cast<std::uint32_t>(keyCode)};
}
constexpr Step Pause{Step::Pause, 0};
constexpr std::uint32_t Esc = 27;

std::vector<int> decodeAll(const std::vector<Step>& steps) {
    KeyDecoder decoder;
    std::vector<int> codes;
    const auto take = [&codes](const DecodedKeys& keys) {
        codes.insert(codes.end(), keys.codes, keys.codes + keys.count);
    };
    for (const Step& step : steps) {
        if (step.kind == Step::Pause) {
            take(finishEscape(decoder));
        } else {
            take(decodeRawKey(decoder, RawKey{step.kind == Step::KeyCode, step.value}));
        }
    }
    take(finishEscape(decoder));
    EXPECT_FALSE(decoderWaiting(decoder));
    return codes;
}

struct KeyCase {
    const char* what;
    std::vector<Step> steps;
    std::vector<int> codes;
};

} // namespace

TEST(CursesKeys, DecodesWhatNcursesReadsIntoTheConsoleKeyCodes) {
    const std::vector<KeyCase> cases = {
        {"arrows decoded by ncurses",
         {code(KEY_UP), code(KEY_DOWN), code(KEY_LEFT), code(KEY_RIGHT)},
         {KeyExtended, KeyUp, KeyExtended, KeyDown, KeyExtended, KeyLeft, KeyExtended, KeyRight}},
        {"Shift does not change an arrow",
         {code(KEY_SLEFT), code(KEY_SR)},
         {KeyExtended, KeyLeft, KeyExtended, KeyUp}},
        {"the other gray keys",
         {code(KEY_HOME), code(KEY_END), code(KEY_PPAGE), code(KEY_NPAGE), code(KEY_IC),
          code(KEY_DC)},
         {KeyExtended, KeyGrayHome, KeyExtended, KeyGrayEnd, KeyExtended, KeyGrayPageUp,
          KeyExtended, KeyGrayPageDown, KeyExtended, KeyGrayInsert, KeyExtended, KeyGrayDelete}},
        {"F1, F10, F11, F12",
         {code(KEY_F(1)), code(KEY_F(10)), code(KEY_F(11)), code(KEY_F(12))},
         {KeyFunction, KeyF1, KeyFunction, KeyF1 + 9, KeyExtended, KeyF11, KeyExtended, KeyF12}},
        {"Enter as CR, LF and the keypad's Enter",
         {ch('\r'), ch('\n'), code(KEY_ENTER)},
         {KeyEnter, KeyEnter, KeyEnter}},
        {"Space, letters, Backspace, Delete",
         {ch(' '), ch('a'), ch('Z'), code(KEY_BACKSPACE), ch(127)},
         {KeySpace, 'a', 'Z', KeyBackspace, KeyDelete}},
        {"a-grave and Hangul are text, never a prefix",
         {ch(0xE0), ch(0xAE40)},
         {KeyText + 0xE0, KeyText + 0xAE40}},
        {"Ctrl+Space is an unnamed key, not a lone prefix", {ch(0)}, {KeyFunction, KeyUnnamed}},
        {"a key ncurses has no name for here is an unnamed key",
         {code(KEY_F(20))},
         {KeyFunction, KeyUnnamed}},
        {"a resize and a mouse report are no keys", {code(KEY_RESIZE), code(KEY_MOUSE)}, {}},
        {"a lone Escape", {ch(Esc), Pause}, {KeyEscape}},
        {"Escape then a letter is the two keys", {ch(Esc), ch('x')}, {KeyEscape, 'x'}},
        {"Escape then a decoded arrow is the two keys",
         {ch(Esc), code(KEY_UP)},
         {KeyEscape, KeyExtended, KeyUp}},
        {"two Escapes", {ch(Esc), ch(Esc), Pause}, {KeyEscape, KeyEscape}},
        {"cursor keys as pasted: ESC [ A and ESC O D",
         {ch(Esc), ch('['), ch('A'), ch(Esc), ch('O'), ch('D')},
         {KeyExtended, KeyUp, KeyExtended, KeyLeft}},
        {"a modified arrow is dropped whole",
         {ch(Esc), ch('['), ch('1'), ch(';'), ch('5'), ch('C'), ch('q')},
         {'q'}},
        {"a mouse report is dropped whole",
         {ch(Esc), ch('['), ch('<'), ch('0'), ch(';'), ch('1'), ch('2'), ch(';'), ch('5'), ch('M'),
          ch(' ')},
         {KeySpace}},
        {"another final byte ends the sequence, which is dropped",
         {ch(Esc), ch('['), ch('Z'), ch('a')},
         {'a'}},
        {"a sequence cut short by a pause is dropped",
         {ch(Esc), ch('['), ch('1'), Pause, ch('b')},
         {'b'}},
        {"ESC O and a pause is dropped", {ch(Esc), ch('O'), Pause, ch('c')}, {'c'}},
        {"a decoded key inside a sequence ends it and is kept",
         {ch(Esc), ch('['), ch('2'), code(KEY_DOWN)},
         {KeyExtended, KeyDown}},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(decodeAll(c.steps), c.codes) << c.what;
    }
}

TEST(CursesKeys, WaitsForTheRestOfASequenceOnlyInsideOne) {
    KeyDecoder decoder;
    EXPECT_FALSE(decoderWaiting(decoder));
    EXPECT_EQ(decodeRawKey(decoder, RawKey{false, Esc}).count, 0);
    EXPECT_TRUE(decoderWaiting(decoder));
    EXPECT_EQ(decodeRawKey(decoder, RawKey{false, '['}).count, 0);
    EXPECT_TRUE(decoderWaiting(decoder));
    const DecodedKeys keys = decodeRawKey(decoder, RawKey{false, 'B'});
    ASSERT_EQ(keys.count, 2);
    EXPECT_EQ(keys.codes[1], KeyDown);
    EXPECT_FALSE(decoderWaiting(decoder));
}
