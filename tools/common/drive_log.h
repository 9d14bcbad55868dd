// "engine details.csv" read back: the readings and fault bytes of each poll, and what
// could not be read, by line and column. One line is one answered poll, 0.5 s after the last.
// A log a spreadsheet saved again in its user's conventions is read too: ';' or a tab
// between fields, decimal commas, quoted fields, a byte-order mark, the header without its
// spaces, or quorvel-sheet's copy with its header in the user's language.
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
    // The gauges' positions in percent, in the readings' order (columns 14 to 22), where
    // the file has them (a spreadsheet copy may leave them out).
    bool hasGauges = false;
    int gauges[9] = {};
};

struct Problem {
    int line = 0;
    int column = 0; // 0: the line as a whole
    std::string what;
    std::string name; // the column's, as the dashboard's header has it; "" for none
};

struct Log {
    std::vector<Line> lines;
    std::vector<Problem> problems;
    bool read = false; // the file's text was read (it may still be no log)
    // 22, or the older 24; a spreadsheet copy's 21 (no empty column) or 12 (no gauges).
    int headerColumns = 0;
    // Every line after the header stands for one answered poll, read or not: a line that
    // cannot be read leaves its half second empty and the later ones keep their time.
    int polls = 0;
    // The poll a line stands for, from 0.
    size_t PollOf(const Line& line) const { return static_cast<size_t>(line.number - 2); }
};

// False when the file cannot be read (the system's reason), or when it does not begin
// with the dashboard's header: it is then no log at all, and nothing more of it is read.
// Lines that cannot be read are left out and told in problems.
bool Read(const std::string& path, Log* log, std::string* error);
// False when the text does not begin with the header (error says so) or holds no line
// of readings.
bool Parse(const std::string& text, Log* log, std::string* error = nullptr);

// "line 12, column 3 (air temp): \"abc\" is not a number"
std::string Describe(const Problem& p);

} // namespace drivelog
