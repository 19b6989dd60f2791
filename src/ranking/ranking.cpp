#include "ranking/ranking.h"

#include "console/console.h"
#include "console/text.h"

#include <climits>
#include <cstring>

namespace {

constexpr int PromptX = 19, PromptY = 25;
constexpr const char* Prompt = "게임 끝! 이름 입력: ";
constexpr int NameFieldColumns = NameCharacters * 2;
// A number or a name longer than this is cut while it is read.
constexpr std::size_t WordBytes = 64;

// ---- reading ------------------------------------------------------------------------------------

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the next whitespace-separated word, keeping at most `size` - 1 bytes of it and skipping
// the rest. False at the end of the file.
bool readWord(std::FILE* file, char* out, std::size_t size) {
    int c = std::getc(file);
    while (c != EOF && isBlank(c)) {
        c = std::getc(file);
    }
    if (c == EOF) {
        return false;
    }
    std::size_t length = 0;
    while (c != EOF && !isBlank(c)) {
        if (length + 1 < size) {
            // A zero byte would end the word early, and a name cut to nothing would not read back.
            out[length++] = c == '\0' ? '?' : static_cast<char>(c);
        }
        c = std::getc(file);
    }
    out[length] = '\0';
    return true;
}

bool parseNumber(const char* word, int* value) {
    const char* p = word;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    if (*p == '\0') {
        return false;
    }
    long long n = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        n = n * 10 + (*p - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) {
            return false;
        }
    }
    n = negative ? -n : n;
    if (n > INT_MAX || n < INT_MIN) {
        return false;
    }
    *value = static_cast<int>(n);
    return true;
}

// Copies at most NameCharacters characters of `word`, with '?' for anything that must not reach
// the screen: control characters, escape sequences, malformed UTF-8.
void copyName(const char* word, char (&name)[NameBytes]) {
    std::size_t size = std::strlen(word);
    int length = 0;
    for (int count = 0; size > 0 && count < NameCharacters; ++count) {
        char32_t c = 0;
        const int used = decodeUtf8(word, size, &c);
        if (isNameCharacter(c)) {
            length += encodeUtf8(c, name + length);
        } else {
            name[length++] = '?';
        }
        word += used;
        size -= static_cast<std::size_t>(used);
    }
    name[length] = '\0';
}

// ---- the name prompt ----------------------------------------------------------------------------

int lastCharacterStart(const char* name, int length) {
    int start = length - 1;
    while (start > 0 && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) {
        --start;
    }
    return start;
}

void drawNameField(const char* name, int x, int y) {
    moveCursor(x, y);
    print("%s%*s", name, NameFieldColumns - textWidth(name), "");
}

} // namespace

void readRanking(std::FILE* file, RankTable& r) {
    r = RankTable{};
    char word[WordBytes];
    for (int slot = 0; slot < RankCount; ++slot) {
        RankEntry entry{};
        if (!readWord(file, word, sizeof word) || !parseNumber(word, &entry.rank)) {
            return;
        }
        if (!readWord(file, word, sizeof word)) {
            return;
        }
        copyName(word, entry.name);
        if (!readWord(file, word, sizeof word) || !parseNumber(word, &entry.score)) {
            return;
        }
        // Places outside 1..10 cannot be shown in their field, and 0 would end the table: such
        // an entry takes its position instead.
        if (entry.rank < 1 || entry.rank > RankCount) {
            entry.rank = slot + 1;
        }
        r[slot] = entry;
    }
}

std::size_t formatRanking(const RankTable& r, char* out, std::size_t size) {
    std::size_t used = 0;
    for (int i = 0; i < RankCount && r[i].rank != 0; ++i) {
        const int written =
            std::snprintf(out + used, size - used, "%d\t%s\t%d\n", i + 1, r[i].name, r[i].score);
        if (written < 0 || static_cast<std::size_t>(written) >= size - used) {
            return 0;
        }
        used += static_cast<std::size_t>(written);
    }
    return used;
}

void mergeResult(RankTable& r, const char* name, int score) {
    RankTable merged{};
    int j = 0;
    bool pending = true;
    for (int k = 0; k < RankCount; ++k) {
        const bool storedLeft = j < RankCount && r[j].rank != 0;
        if (pending && (!storedLeft || score > r[j].score)) {
            merged[k].score = score;
            std::snprintf(merged[k].name, sizeof merged[k].name, "%s", name);
            pending = false;
        } else if (storedLeft) {
            merged[k] = r[j++];
        } else {
            break;
        }
        merged[k].rank = k + 1;
    }
    r = merged;
}

bool loadRanking(RankTable& r, StorageError& error) {
    r = RankTable{};
    std::FILE* file = openRankingFile(error);
    if (file == nullptr) {
        return false;
    }
    readRanking(file, r);
    std::fclose(file);
    return true;
}

bool readName(char (&name)[NameBytes], int x, int y) {
    std::memset(name, 0, sizeof name);
    int length = 0;
    int count = 0;
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
            if (count > 0) {
                return true;
            }
        } else if (key == KeySpace) {
            wordEnded = count > 0; // only the first word is kept
        } else if (key == KeyBackspace || key == KeyDelete) {
            if (length > 0) {
                length = lastCharacterStart(name, length);
                std::memset(name + length, 0, sizeof name - static_cast<std::size_t>(length));
                --count;
                wordEnded = false;
            }
        } else if (!wordEnded && count < NameCharacters) {
            const char32_t c =
                key >= KeyText ? static_cast<char32_t>(key - KeyText) : static_cast<char32_t>(key);
            if ((key < 0x80 || key >= KeyText) && isNameCharacter(c)) {
                length += encodeUtf8(c, name + length);
                ++count;
            }
        }
    }
}

SaveResult saveRanking(RankTable& r, int total, StorageError& error) {
    // A ranking that cannot be read is reported before the player types a name for nothing.
    std::FILE* file = openRankingFile(error);
    if (file == nullptr) {
        return SaveResult::Failed;
    }
    std::fclose(file);

    char name[NameBytes] = {};
    moveCursor(PromptX, PromptY);
    print("%s", Prompt);
    if (!readName(name, PromptX + textWidth(Prompt), PromptY)) {
        return SaveResult::InputEnded;
    }

    // The name is typed outside the lock, so that a slow typist holds up no other game; the file is
    // read again under it, so that a result saved meanwhile by another game is kept.
    const RankingLock lock = lockRanking(error);
    if (lock == NoLock) {
        return SaveResult::Failed;
    }
    file = openRankingFile(error);
    if (file == nullptr) {
        unlockRanking(lock);
        return SaveResult::Failed;
    }
    readRanking(file, r);
    std::fclose(file);
    mergeResult(r, name, total);
    // Ten lines of a two-digit place, a name, an int and three separators always fit.
    char text[RankCount * (NameBytes + 32)];
    static_assert(sizeof text >= RankCount * (2 + (NameBytes - 1) + 11 + 3));
    const std::size_t size = formatRanking(r, text, sizeof text);
    const bool saved = replaceRankingFile(text, size, error);
    unlockRanking(lock);
    return saved ? SaveResult::Saved : SaveResult::Failed;
}

bool showRanking(const RankTable& r) {
    clearScreen();
    for (;;) {
        moveCursor(0, 3);
        for (const RankEntry& entry : r) {
            if (entry.rank == 0) {
                break;
            }
            // Right-aligned by screen columns, so that wide names line up with narrow ones.
            const int padding = 10 - textWidth(entry.name);
            print("\t\t\t\t\t\t%2d  %*s%s   %3d\n\n", entry.rank, padding > 0 ? padding : 0, "",
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
