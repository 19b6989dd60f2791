#include "support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

void pushScript(const char* script) {
    for (const char* p = script; *p != '\0'; ++p) {
        switch (*p) {
        case 'U':
            memory::pushKeys({KeyExtended, KeyUp});
            break;
        case 'D':
            memory::pushKeys({KeyExtended, KeyDown});
            break;
        case 'L':
            memory::pushKeys({KeyExtended, KeyLeft});
            break;
        case 'R':
            memory::pushKeys({KeyExtended, KeyRight});
            break;
        case 'E':
            memory::pushKey(KeyEnter);
            break;
        case 'S':
            memory::pushKey(KeySpace);
            break;
        default:
            memory::pushKey(static_cast<unsigned char>(*p));
            break;
        }
    }
}

void pushTwelveRecords() {
    for (int c = 0; c < 12; ++c) {
        pushScript("ER");
        for (int i = 0; i < c; ++i) {
            pushScript("D");
        }
        pushScript("E");
    }
}

namespace {
std::string dataFolder;
int folderCount = 0;

void setEnvironment(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}
} // namespace

std::string useFreshDataFolder() {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("jorvo-test-" + std::to_string(getpid()) +
                                                         "-" + std::to_string(++folderCount));
    fs::remove_all(folder);
    fs::create_directories(folder);
    dataFolder = folder.string();
#if defined(_WIN32)
    setEnvironment("JORVO_DATA_HOME", dataFolder);
#else
    setEnvironment("XDG_DATA_HOME", dataFolder);
#endif
    return dataFolder;
}

std::string rankingFilePath() {
    return (std::filesystem::path(dataFolder) / "JorvoDice" / "Ranking.txt").string();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

#include "text/text.h"

#include <gtest/gtest.h>

ExpectedScreen::ExpectedScreen()
    : cells_(memory::Height, std::vector<std::string>(memory::Width, " ")) {}

ExpectedScreen& ExpectedScreen::put(int x, int y, const std::string& text) {
    const char* s = text.c_str();
    std::size_t size = text.size();
    while (size > 0) {
        char32_t c = 0;
        const int used = decodeUtf8(s, size, &c);
        const int width = displayWidth(c);
        cells_[y][x] = std::string(s, static_cast<std::size_t>(used));
        if (width == 2) {
            cells_[y][x + 1] = "";
        }
        x += width;
        s += used;
        size -= static_cast<std::size_t>(used);
    }
    return *this;
}

std::string ExpectedScreen::row(int y) const {
    std::string text;
    for (const std::string& cell : cells_[y]) {
        text += cell;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

void expectScreen(const ExpectedScreen& expected) {
    for (int y = 0; y < memory::Height; ++y) {
        EXPECT_EQ(memory::row(y), expected.row(y)) << "row " << y;
    }
}
