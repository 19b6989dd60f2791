#include "ranking/ranking_screen.h"

#include "console/console.h"
#include "text/text.h"

bool showRanking(const RankTable& r) {
    clearScreen();
    for (;;) {
        moveCursor(0, 3);
        for (int place = 1; place <= RankCount && r[place - 1].rank != 0; ++place) {
            const RankEntry& entry = r[place - 1];
            // Right-aligned by screen columns in a field one wider than the widest name, so that
            // wide names line up with narrow ones.
            const int padding = NameColumns + 1 - textWidth(entry.name);
            print("\t\t\t\t\t\t%2d  %*s%s   %3d\n\n", place, padding > 0 ? padding : 0, "",
                  entry.name, entry.score);
        }
        moveCursor(0, 25);
        print("\t\t\t\t\t\tPRESS ENTER TO RETURN");
        if (keyHit()) {
            const int key = getKey();
            if (key == KeyEnter || key == KeySpace) {
                clearScreen();
                return true;
            }
        } else if (!waitForKey()) {
            return false;
        }
    }
}
