// A drive log as the user's own spreadsheet opens it: the readings as numbers with the
// user's decimal separator, in columns split at the user's list separator, under a header
// in the user's language with the units.
#pragma once

#include "tools/common/drive_log.h"

#include <string>

namespace sheet {

// What the user's spreadsheet expects of a text file it opens.
struct Conventions {
    char list = ',';    // between columns
    char decimal = '.'; // in numbers
    bool utf8 = true;   // the texts are UTF-8, marked so (a byte-order mark) for the sheet
};
// The user's: the locale's separators (Windows' own settings), and UTF-8 where the
// system's texts are.
Conventions UserConventions();

struct Options {
    bool gauges = true; // the gauges' positions after the readings and fault bytes
};

// The copy of a log: its header, then a line for each line of readings the log had, the
// readings with the decimals their gauges show. CR LF ends each line.
std::string Copy(const drivelog::Log& log, const Conventions& conventions, const Options& options);

// Where the copy of a log goes by default: beside it, "NAME (sheet).csv", a name the
// dashboard never gives a log.
std::string DefaultCopyName(const std::string& log);

// Whether the file begins with the header the dashboard writes: a log, which a copy never
// replaces.
bool IsDashboardLog(const std::string& path);

} // namespace sheet
