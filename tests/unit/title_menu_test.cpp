#include "app/title_menu.h"
#include "support.h"

#include <gtest/gtest.h>

namespace {

const std::string Single = std::string(40, ' ') + "  -> SINGLE      MULTI      RANKING";
const std::string Multi = std::string(40, ' ') + "     SINGLE   -> MULTI      RANKING";
const std::string Ranking = std::string(40, ' ') + "     SINGLE      MULTI   -> RANKING";

struct MenuCase {
    const char* keys; // U D L R arrows, E Enter
    int choice;
    const std::string* line;
};

} // namespace

TEST(TitleMenu, DrawsCaptionDiceAndMenuAtTheirCells) {
    memory::reset();
    pushScript("E");
    EXPECT_EQ(runTitleMenu(Dice{1, 2, 3, 4, 5}, OnTitle), ModeSingle);
    EXPECT_EQ(memory::row(8), std::string(54, ' ') + "Jorvo  Dice");
    const std::string indent(35, ' ');
    EXPECT_EQ(memory::row(10), indent + "┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓ ┏━━━━━━━┓");
    EXPECT_EQ(memory::row(11), indent + "┃　 　　┃ ┃ ● 　　┃ ┃ ● 　　┃ ┃ ● 　● ┃ ┃ ● 　● ┃");
    EXPECT_EQ(memory::row(12), indent + "┃　 ● 　┃ ┃　 　　┃ ┃　 ● 　┃ ┃　 　　┃ ┃　 ● 　┃");
    EXPECT_EQ(memory::row(13), indent + "┃　 　　┃ ┃　　 ● ┃ ┃　　 ● ┃ ┃ ● 　● ┃ ┃ ● 　● ┃");
    EXPECT_EQ(memory::row(14), indent + "┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛ ┗━━━━━━━┛");
    EXPECT_EQ(memory::row(18), Single);
    for (int y : {0, 1, 7, 9, 15, 16, 17, 19, 27}) {
        EXPECT_EQ(memory::row(y), "") << "row " << y;
    }
}

TEST(TitleMenu, LeftAndRightWalkTheChoicesWithoutWrapping) {
    const MenuCase cases[] = {
        {"E", ModeSingle, &Single},      {"LE", ModeSingle, &Single},
        {"RE", ModeMulti, &Multi},       {"RRE", ModeRanking, &Ranking},
        {"RRRE", ModeRanking, &Ranking}, {"RRLE", ModeMulti, &Multi},
        {"RLLE", ModeSingle, &Single},   {"UDUDE", ModeSingle, &Single},
        {"RUDE", ModeMulti, &Multi},     {"R\x1bxE", ModeMulti, &Multi},
    };
    for (const MenuCase& c : cases) {
        memory::reset();
        pushScript(c.keys);
        EXPECT_EQ(runTitleMenu(Dice{1, 2, 3, 4, 5}, OnTitle), c.choice) << c.keys;
        EXPECT_EQ(memory::row(18), *c.line) << c.keys;
        EXPECT_EQ(memory::keysLeft(), 0u) << c.keys;
    }
}

TEST(TitleMenu, OtherKeysAndFunctionKeysDoNothingAndSpacePicks) {
    memory::reset();
    // F1 arrives as 0 then 59; 224 followed by a code that is no arrow is ignored too.
    memory::pushKeys({KeyFunction, 59, KeyExtended, 71, 'q', KeyEscape, KeySpace});
    EXPECT_EQ(runTitleMenu(Dice{1, 2, 3, 4, 5}, OnTitle), ModeSingle);
    EXPECT_EQ(memory::row(18), Single);
}

TEST(TitleMenu, ChoiceStartsAtSingleEveryTime) {
    memory::reset();
    pushScript("RRE");
    EXPECT_EQ(runTitleMenu(Dice{1, 2, 3, 4, 5}, OnTitle), ModeRanking);
    pushScript("E");
    EXPECT_EQ(runTitleMenu(Dice{1, 2, 3, 4, 5}, OnTitle), ModeSingle);
    EXPECT_EQ(memory::row(18), Single);
}

TEST(TitleMenu, EndedInputEndsTheMenu) {
    memory::reset();
    pushScript("RR");
    EXPECT_EQ(runTitleMenu(Dice{1, 2, 3, 4, 5}, OnTitle), ModeNone);
    EXPECT_EQ(memory::row(18), Ranking);
}
