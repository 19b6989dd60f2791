// The Windows backend's key decoding, from console input records to the console's key codes.
#include "console/console.h"
#include "console/keys_win32.h"
#include "input_records.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct KeyCase {
    const char* what;
    std::vector<INPUT_RECORD> records;
    std::vector<int> codes;
};

std::vector<int> decodeAll(const std::vector<INPUT_RECORD>& records) {
    RecordDecoder decoder;
    std::vector<int> codes;
    for (const INPUT_RECORD& record : records) {
        const RecordKeys keys = decodeInputRecord(decoder, record);
        for (int i = 0; i < keys.repeat; ++i) {
            codes.insert(codes.end(), keys.codes, keys.codes + keys.count);
        }
    }
    return codes;
}

} // namespace

TEST(Win32Keys, DecodesInputRecordsIntoTheConsoleKeyCodes) {
    const std::vector<KeyCase> cases = {
        {"Up", {key(VK_UP, 0, ENHANCED_KEY, TRUE, 1, 0x48)}, {KeyExtended, KeyUp}},
        {"Down", {key(VK_DOWN, 0, ENHANCED_KEY, TRUE, 1, 0x50)}, {KeyExtended, KeyDown}},
        {"Left without the enhanced flag, as wine sends it",
         {key(VK_LEFT, 0, 0, TRUE, 1, 0x4B)},
         {KeyExtended, KeyLeft}},
        {"Right", {key(VK_RIGHT, 0)}, {KeyExtended, KeyRight}},
        {"Shift does not change an arrow",
         {key(VK_RIGHT, 0, SHIFT_PRESSED)},
         {KeyExtended, KeyRight}},
        {"Ctrl and Alt arrows have codes of their own",
         {key(VK_LEFT, 0, LEFT_CTRL_PRESSED), key(VK_UP, 0, RIGHT_CTRL_PRESSED),
          key(VK_RIGHT, 0, LEFT_ALT_PRESSED), key(VK_DOWN, 0, LEFT_ALT_PRESSED)},
         {KeyExtended, KeyCtrlLeft, KeyExtended, KeyCtrlUp, KeyFunction, KeyAltRight, KeyFunction,
          KeyAltDown}},
        {"Home and Delete",
         {key(VK_HOME, 0), key(VK_DELETE, 0)},
         {KeyExtended, KeyGrayHome, KeyExtended, KeyGrayDelete}},
        {"F1 and F10",
         {key(VK_F1, 0), key(VK_F10, 0)},
         {KeyFunction, KeyF1, KeyFunction, KeyF1 + 9}},
        {"F11 and F12",
         {key(VK_F11, 0), key(VK_F12, 0)},
         {KeyExtended, KeyF11, KeyExtended, KeyF12}},
        {"Enter, Space, Backspace",
         {key(VK_RETURN, L'\r'), key(VK_SPACE, L' '), key(VK_BACK, 8)},
         {KeyEnter, KeySpace, KeyBackspace}},
        {"ASCII letters", {key('A', L'a'), key('B', L'B', SHIFT_PRESSED)}, {'a', 'B'}},
        {"a-grave is text, not an arrow prefix", {key(0, 0x00E0)}, {KeyText + 0xE0}},
        {"Hangul", {key(0, 0xAE40)}, {KeyText + 0xAE40}},
        {"a surrogate pair is one character",
         {key(0, 0xD83D), key(0, 0xDE00)},
         {KeyText + 0x1F600}},
        {"a lone low surrogate is dropped", {key(0, 0xDE00)}, {}},
        {"key-ups, Shift, mouse and focus give nothing",
         {key('Q', L'q', 0, FALSE), key(VK_SHIFT, 0), mouse(), focus()},
         {}},
        {"a repeated key comes as often as it repeated",
         {key('X', L'x', 0, TRUE, 3)},
         {'x', 'x', 'x'}},
        {"Alt and a keypad number: the character comes with the release of Alt",
         {key(VK_MENU, 0, LEFT_ALT_PRESSED), key(VK_MENU, 0x00E9, 0, FALSE)},
         {KeyText + 0xE9}},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(decodeAll(c.records), c.codes) << c.what;
    }
}
