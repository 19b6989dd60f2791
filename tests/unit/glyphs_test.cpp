#include "console/glyphs.h"
#include "dice/dice.h"
#include "play/game_screen.h"
#include "ranking/name_prompt.h"
#include "support.h"
#include "text/text.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr TerminalAbilities Plain{false, true};
// A UTF-8 terminal that draws ambiguous characters wide.
constexpr TerminalAbilities AmbiguousWide{true, false};
// A charset that holds the dice's characters only two columns wide (EUC-KR, EUC-JP).
constexpr TerminalAbilities WideCharset{false, false};

std::string describe(const StandIn& s) {
    if (s.keep) {
        return "kept";
    }
    std::string text = s.lineDrawing != 0 ? std::string("line '") + s.lineDrawing + "' or " : "";
    return text + "\"" + s.text + "\"";
}

} // namespace

TEST(StandIn, FollowsTheTerminalsAbilities) {
    struct Case {
        const char* what;
        char32_t c;
        bool inCharset;
        TerminalAbilities terminal;
        const char* expected;
    } cases[] = {
        {"ASCII everywhere", U'a', true, AmbiguousWide, "kept"},
        {"frame on a plain terminal", U'┃', true, Plain, "kept"},
        {"frame drawn wide", U'┃', true, AmbiguousWide, "line 'x' or \"|\""},
        {"frame in a wide charset", U'┃', true, WideCharset, "line 'x' or \"|\""},
        {"frame not in the charset", U'┃', false, Plain, "line 'x' or \"|\""},
        {"top border", U'━', true, AmbiguousWide, "line 'q' or \"-\""},
        {"top left corner", U'┏', true, AmbiguousWide, "line 'l' or \"+\""},
        {"top right corner", U'┓', false, Plain, "line 'k' or \"+\""},
        {"bottom left corner", U'┗', true, WideCharset, "line 'm' or \"+\""},
        {"bottom right corner", U'┛', true, AmbiguousWide, "line 'j' or \"+\""},
        {"pip", U'●', true, AmbiguousWide, "line '`' or \"o\""},
        {"dice cursor", U'↑', false, Plain, "\"^\""},
        {"pip on a plain terminal", U'●', true, Plain, "kept"},
        {"ideographic space beside the dice's stand-ins", U'　', true, WideCharset, "\"  \""},
        {"ideographic space not in the charset", U'　', false, Plain, "\"  \""},
        {"ideographic space on a plain terminal", U'　', true, Plain, "kept"},
        {"Hangul in the charset", U'게', true, WideCharset, "kept"},
        {"Hangul with ambiguous drawn wide", U'게', true, AmbiguousWide, "kept"},
        {"Hangul not in the charset", U'게', false, WideCharset, "\"??\""},
        {"accented letter in the charset", U'é', true, WideCharset, "kept"},
        {"ambiguous letter drawn wide", U'é', true, AmbiguousWide, "\"?\""},
        {"Cyrillic drawn wide", U'Ж', true, AmbiguousWide, "\"?\""},
        {"narrow letter beside wide ambiguous", U'ñ', true, AmbiguousWide, "kept"},
        {"letter not in the charset", U'ñ', false, Plain, "\"?\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(standIn(c.c, c.inCharset, c.terminal)), c.expected) << c.what;
    }
}

// Every cell of the dice, every face and the cursor under each die, gets a stand-in of its own
// width once the terminal cannot show them, and each stand-in is plain ASCII.
TEST(StandIn, CoversEveryCellOfTheDiceAndTheirCursor) {
    for (int face = 1; face <= FaceCount; ++face) {
        for (int cursor = 0; cursor < DiceCount; ++cursor) {
            memory::reset();
            moveCursor(0, 0);
            drawDice({face, face, face, face, face}, InGame);
            drawDiceCursor(FocusDice, cursor);
            for (int y = 0; y < 18; ++y) {
                const std::string row = memory::row(y);
                std::size_t at = 0;
                while (at < row.size()) {
                    char32_t c = 0;
                    at += static_cast<std::size_t>(decodeUtf8(&row[at], row.size() - at, &c));
                    if (c < 0x80) {
                        continue;
                    }
                    for (const TerminalAbilities& terminal : {AmbiguousWide, WideCharset}) {
                        const StandIn s = standIn(c, true, terminal);
                        EXPECT_FALSE(s.keep) << "U+" << std::hex << static_cast<int>(c);
                        EXPECT_EQ(static_cast<int>(std::strlen(s.text)), displayWidth(c));
                        for (const char* t = s.text; *t != '\0'; ++t) {
                            EXPECT_TRUE(*t >= ' ' && *t < 0x7F);
                        }
                    }
                    EXPECT_TRUE(c == U'　' || isDiceGlyph(c)) << "U+" << std::hex << int(c);
                }
            }
        }
    }
}

// The name prompt as the game draws it has an English stand-in of its exact width.
TEST(StandIn, TheNamePromptHasEnglishOfItsWidth) {
    memory::reset();
    char name[NameBytes];
    EXPECT_FALSE(askName(name)); // no keys: the input ends at once, after the prompt is drawn
    const char* english = nullptr;
    std::string prompt;
    for (int columns = 1; columns <= 40 && english == nullptr; ++columns) {
        prompt = memory::cells(19, 25, columns);
        english = hangulTextStandIn(prompt.data(), prompt.size());
    }
    ASSERT_NE(english, nullptr) << "no stand-in for the prompt in: " << memory::row(25);
    EXPECT_EQ(textWidth(english), textWidth(prompt.c_str()));
    EXPECT_STREQ(english, "Game over! Name:    ");
    const char failure[] = "파일 연결 실패";
    const char* failureEnglish = hangulTextStandIn(failure, sizeof failure - 1);
    ASSERT_NE(failureEnglish, nullptr);
    EXPECT_EQ(textWidth(failureEnglish), textWidth(failure));
    EXPECT_EQ(hangulTextStandIn("게임", std::strlen("게임")), nullptr);
}

TEST(AmbiguousWidth, TellsTheCharactersThatATerminalMayDrawWide) {
    for (char32_t c : {U'┃', U'━', U'┏', U'●', U'↑', U'é', U'Ж', U'α', U'°', U'…'}) {
        EXPECT_TRUE(isAmbiguousWidth(c)) << "U+" << std::hex << static_cast<int>(c);
    }
    for (char32_t c : {U'a', U' ', U'ñ', U'게', U'　', U'¢', U'⊒'}) {
        EXPECT_FALSE(isAmbiguousWidth(c)) << "U+" << std::hex << static_cast<int>(c);
    }
}
