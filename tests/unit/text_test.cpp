#include "support.h"
#include "text/text.h"

#include <gtest/gtest.h>

TEST(DisplayWidth, TakesTheLayoutsCharactersAtTheirColumns) {
    struct Case {
        const char* text;
        int columns;
    } cases[] = {
        {"┏━┓┃┗┛", 6}, {"●↑", 2}, {"　", 2}, {"게임 끝!", 8}, {"abc", 3}, {"e\xCC\x81", 1}, {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textWidth(c.text), c.columns) << c.text;
    }
}

TEST(Utf8, MalformedBytesDecodeOneAtATimeAsReplacement) {
    const char* inputs[] = {"\xC3", "\xE2\x94", "\xC0\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80"};
    for (const char* input : inputs) {
        char32_t c = 0;
        EXPECT_EQ(decodeUtf8(input, std::char_traits<char>::length(input), &c), 1);
        EXPECT_EQ(c, 0xFFFDu);
    }
}

TEST(Utf8, EncodeAndDecodeAgree) {
    for (char32_t c : {U'A', U'\u00E0', U'\u2503', U'\uAC00', U'\U0001F600'}) {
        char bytes[4];
        const int length = encodeUtf8(c, bytes);
        char32_t back = 0;
        EXPECT_EQ(decodeUtf8(bytes, static_cast<std::size_t>(length), &back), length);
        EXPECT_EQ(back, c);
    }
}

TEST(MemoryConsole, FollowsTheConsolesRulesForBreaksTabsAndWideCharacters) {
    memory::reset();
    moveCursor(5, 2);
    print("ab\ncd");
    EXPECT_EQ(memory::row(2), "     ab");
    EXPECT_EQ(memory::row(3), "cd");
    moveCursor(3, 2);
    print("\tX"); // a tab reaches column 8 and blanks what it passes
    EXPECT_EQ(memory::row(2), "   " + std::string(5, ' ') + "X");
    moveCursor(0, 4);
    print("　가x");
    EXPECT_EQ(memory::cells(0, 4, 5), "　가x");
    moveCursor(1, 4);
    print("y"); // overwriting half of a wide character blanks the other half
    EXPECT_EQ(memory::cells(0, 4, 5), " y가x");
    EXPECT_FALSE(memory::drewOutside(ScreenWidth, ScreenHeight));
    moveCursor(102, 0);
    print("zz");
    EXPECT_TRUE(memory::drewOutside(ScreenWidth, ScreenHeight));
}

// The front end's rules at the edges of the surface, which every backend shares.
TEST(ConsoleText, WrapsAtTheRightEdgeStopsAtTheLastRowAndIgnoresCellsOutside) {
    memory::reset();
    moveCursor(memory::Width - 2, 1);
    print("ab가c"); // 가 does not fit in the last column: it starts the next row
    EXPECT_EQ(memory::cells(memory::Width - 2, 1, 2), "ab");
    EXPECT_EQ(memory::cells(0, 2, 3), "가c");
    moveCursor(memory::Width - 3, 4);
    print("\tX"); // a tab stops at the edge, and what follows starts the next row
    EXPECT_EQ(memory::cells(0, 5, 1), "X");
    EXPECT_EQ(memory::cursorX(), 1);
    moveCursor(0, memory::Height - 1);
    print("last\nrow"); // the last row does not scroll
    EXPECT_EQ(memory::row(memory::Height - 1), "rowt");
    moveCursor(memory::Width, 0); // outside: the cursor stays
    moveCursor(3, -1);
    print("Q\a\x1b");
    EXPECT_EQ(memory::row(memory::Height - 1), "rowQ") << "control characters take no cell";
}
