// Helpers shared by the unit tests: keys as the console delivers them, and rows of the screen.
#pragma once

#include "console/console.h"
#include "console/memory_console.h"

#include <string>
#include <vector>

// The dice seed of whole runs of the program that do not depend on the dice they roll.
constexpr unsigned int TestDiceSeed = 1;

// Queues keys written as a short script: U D L R arrows, E Enter, S Space, others as themselves.
void pushScript(const char* script);

// Keys for a single-player game from its first frame to the name prompt: one roll a turn, the
// twelve categories recorded in order.
void pushTwelveRecords();

// A fresh, private folder for the ranking file, set as the data folder for this test.
std::string useFreshDataFolder();
std::string rankingFilePath();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// The screen a test expects, built by placing text at cells, compared row by row with the
// in-memory console so that a failure names the row that differs.
class ExpectedScreen {
  public:
    ExpectedScreen();
    ExpectedScreen& put(int x, int y, const std::string& text);
    std::string row(int y) const;

  private:
    std::vector<std::vector<std::string>> cells_;
};

// Every row of the in-memory console equals the expected one.
void expectScreen(const ExpectedScreen& expected);
