#include "ranking/name_prompt.h"

#include "console/console.h"
#include "text/text.h"

#include <cstring>

namespace {

constexpr int PromptX = 19, PromptY = 25;
constexpr const char* Prompt = "게임 끝! 이름 입력: ";

int lastCharacterStart(const char* name, int length) {
    int start = length - 1;
    while (start > 0 && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) {
        --start;
    }
    return start;
}

// The name, then blanks to the end of its field.
void drawNameField(const char* name, int x, int y) {
    moveCursor(x, y);
    print("%s%*s", name, NameColumns - textWidth(name), "");
}

} // namespace

bool askName(char (&name)[NameBytes]) {
    moveCursor(PromptX, PromptY);
    print("%s", Prompt);
    return readName(name, PromptX + textWidth(Prompt), PromptY);
}

void showNamePrompt(const char* name) {
    moveCursor(PromptX, PromptY);
    print("%s", Prompt);
    drawNameField(name, PromptX + textWidth(Prompt), PromptY);
}

bool readName(char (&name)[NameBytes], int x, int y) {
    std::memset(name, 0, sizeof name);
    int length = 0;
    // Set once the name has ended: after its word, or at a character that did not fit, where it
    // is cut. A backspace takes it up again.
    bool wordEnded = false;
    for (;;) {
        drawNameField(name, x, y);
        const int key = getKey();
        if (key == KeyEnd) {
            return false;
        }
        if (key == KeyExtended || key == KeyFunction) {
            getKey(); // the second code of a function key is no text
        } else if (key == KeyEnter) {
            if (length > 0) {
                return true;
            }
        } else if (key == KeySpace) {
            wordEnded = length > 0; // only the first word is kept
        } else if (key == KeyBackspace || key == KeyDelete) {
            if (length > 0) {
                length = lastCharacterStart(name, length);
                std::memset(name + length, 0, sizeof name - static_cast<std::size_t>(length));
                wordEnded = false;
            }
        } else if (!wordEnded) {
            const char32_t c =
                key >= KeyText ? static_cast<char32_t>(key - KeyText) : static_cast<char32_t>(key);
            if ((key < 0x80 || key >= KeyText) && isNameCharacter(c)) {
                if (textWidth(name) + displayWidth(c) <= NameColumns) {
                    length += encodeUtf8(c, name + length);
                } else {
                    wordEnded = true;
                }
            }
        }
    }
}
