// "engine details.csv" read back: the readings and fault bytes of each poll, and what
// could not be read, by line and column. One line is one answered poll, 0.5 s after the last.
#pragma once

#include "app/state.h"

#include <cstdint>
#include <string>
#include <vector>

namespace drivelog {

constexpr double kSecondsPerLine = 0.5; // the dashboard polls twice a second
constexpr int kColumns = 22;            // a data line's fields

struct Line {
    int number = 0;          // in the file, from 1
    EngineValues readings{}; // columns 1 to 9
    uint8_t faults[3] = {};  // columns 10 to 12: faultFlags1 to faultFlags3
};

struct Problem {
    int line = 0;
    int column = 0; // 0: the line as a whole
    std::string what;
};

struct Log {
    std::vector<Line> lines;
    std::vector<Problem> problems;
    int headerColumns = 0; // 22, the older 24, or 0 for none
};

// False (with the system's reason) when the file cannot be read; lines that cannot be
// read are left out and told in problems.
bool Read(const std::string& path, Log* log, std::string* error);
bool Parse(const std::string& text, Log* log);

// "line 12, column 3 (air temp): \"abc\" is not a number"
std::string Describe(const Problem& p);

} // namespace drivelog
