#include "app/program.h"

#include <ctime>

int main() {
    return runProgram(static_cast<unsigned int>(std::time(nullptr)));
}
