#include "drive_log.h"

#include "dashboard/gauge_table.h"
#include "ecu/protocol.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

namespace drivelog {

namespace {

// The names the 22-column header gives the columns.
const char* const kColumnNames[kColumns] = {
    "revs",      "water temp", "air temp",     "throttle",   "injector period", "advance",
    "volts",     "pressure",   "VAE",          "error 1",    "error 2",         "error 3",
    "",          "revs %",     "water temp %", "air temp %", "throttle %",      "injector timing %",
    "advance %", "volts %",    "pressure %",   "VAE %"};

// The fields of a line between its commas, each without the space after the comma.
void Split(const char* begin, const char* end, std::vector<std::string_view>* fields) {
    fields->clear();
    const char* start = begin;
    for (const char* c = begin;; ++c) {
        if (c == end || *c == ',') {
            const char* b = start;
            while (b < c && *b == ' ')
                ++b;
            fields->emplace_back(b, static_cast<size_t>(c - b));
            if (c == end) break;
            start = c + 1;
        }
    }
}

bool Number(std::string_view field, double* value) {
    if (field.empty() || field.size() > 63) return false;
    char text[64];
    std::memcpy(text, field.data(), field.size());
    text[field.size()] = '\0';
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end == text + field.size() && std::isfinite(*value);
}

// What a poll can give for each reading, from the conversions: the readings of every
// field at its smallest and at its largest (the periods from 1), and of a period of 0
// (0 rpm, the engine stopped), which lies outside the range of the others.
struct Reachable {
    double low[9];
    double high[9];
    double stopped[9];
};

Reachable ReachableReadings() {
    EcuRegisterMirror smallest{};
    smallest.speedPeriod = 1;
    smallest.injectorPeriod = 1;
    EcuRegisterMirror largest{};
    for (int i = 0; i < kRegisterCount; ++i)
        SetRegisterByte(largest, i, 0xFF);
    EngineValues a{};
    EngineValues b{};
    EngineValues zero{};
    ConvertRegisters(smallest, &a);
    ConvertRegisters(largest, &b);
    ConvertRegisters(EcuRegisterMirror{}, &zero);
    Reachable r{};
    for (int c = 0; c < 9; ++c) {
        const auto member = kLoggedReadings[c].value;
        r.low[c] = std::min(a.*member, b.*member);
        r.high[c] = std::max(a.*member, b.*member);
        r.stopped[c] = zero.*member;
    }
    return r;
}

// A reading a poll can give, as the log prints it or a spreadsheet re-saves it (to two
// decimals at least).
bool PollGives(int column, double v) {
    static const Reachable r = ReachableReadings();
    auto nearly = [](double a, double b) {
        return std::fabs(a - b) <= 0.005 + 1e-6 * std::fabs(b);
    };
    return nearly(v, r.stopped[column]) ||
           (v >= r.low[column] - 0.005 - 1e-6 * std::fabs(r.low[column]) &&
            v <= r.high[column] + 0.005 + 1e-6 * std::fabs(r.high[column]));
}

std::string Shortest(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.8g", v);
    return text;
}

// A field as a message shows it, in quotes: bytes other than printable ASCII (a terminal's
// escape sequences among them) written \xNN, and a long field cut after 40 bytes with its
// length said, since a damaged log can hold anything.
std::string Quoted(std::string_view field) {
    const size_t kShown = 40;
    std::string out = "\"";
    for (size_t i = 0; i < field.size() && i < kShown; ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        }
    }
    if (field.size() > kShown) return out + "...\" (" + std::to_string(field.size()) + " bytes)";
    return out + "\"";
}

bool ReadLine(int number, const std::vector<std::string_view>& fields, Log* log) {
    auto bad = [&](int column, const std::string& what) {
        log->problems.push_back(Problem{number, column, what});
        return false;
    };
    if (fields.size() != kColumns)
        return bad(0, std::to_string(fields.size()) + " fields, not the " +
                          std::to_string(kColumns) + " of a data line");
    Line line;
    line.number = number;
    double v = 0;
    for (int c = 0; c < kColumns; ++c) {
        std::string_view f = fields[static_cast<size_t>(c)];
        if (c == 12) {
            if (!f.empty()) return bad(c + 1, Quoted(f) + " where the empty column is");
            continue;
        }
        if (!Number(f, &v)) return bad(c + 1, Quoted(f) + " is not a number");
        if (c < 9 && std::fabs(v) > std::numeric_limits<float>::max())
            return bad(c + 1, Quoted(f) + " is beyond what a reading can hold");
        if (c < 9 && !PollGives(c, v)) {
            static const Reachable r = ReachableReadings();
            std::string range = Shortest(r.low[c]) + " to " + Shortest(r.high[c]);
            if (r.stopped[c] < r.low[c] || r.stopped[c] > r.high[c])
                range = Shortest(r.stopped[c]) + ", or " + range;
            return bad(c + 1, Quoted(f) + " is no reading a poll gives (" + range + ")");
        }
        if (c < 9) {
            line.readings.*kLoggedReadings[c].value = static_cast<float>(v);
        } else if (c < 12) {
            if (v < 0 || v > 255 || v != std::floor(v))
                return bad(c + 1, Quoted(f) + " is not a byte (0 to 255)");
            line.faults[c - 9] = static_cast<uint8_t>(v);
        }
    }
    log->lines.push_back(line);
    return true;
}

} // namespace

bool Parse(const std::string& text, Log* log, std::string* error) {
    *log = Log{};
    std::vector<std::string_view> fields;
    const char* c = text.data();
    const char* end = c + text.size();
    int number = 0;
    if (c == end && error != nullptr)
        *error = "it does not begin with the header the dashboard writes (\"revs, water temp, "
                 "...\")";
    while (c < end) {
        const char* eol =
            static_cast<const char*>(std::memchr(c, '\n', static_cast<size_t>(end - c)));
        const char* stop = eol != nullptr ? eol : end;
        const char* last = stop;
        if (last > c && last[-1] == '\r') --last;
        ++number;
        if (number == 1) {
            // Anything but a log is refused at once, not line by line.
            Split(c, last, &fields);
            if (fields.size() < 2 || fields[0] != "revs" || fields[1] != "water temp") {
                if (error != nullptr)
                    *error = "it does not begin with the header the dashboard writes "
                             "(\"revs, water temp, ...\")";
                return false;
            }
            log->headerColumns = static_cast<int>(fields.size());
            if (fields.size() != 22 && fields.size() != 24)
                log->problems.push_back(Problem{1, 0,
                                                "a header of " + std::to_string(fields.size()) +
                                                    " columns, not the dashboard's 22 "
                                                    "(or the older 24)"});
        } else {
            log->polls = number - 1;
            if (last > c) {
                Split(c, last, &fields);
                ReadLine(number, fields, log);
            } else {
                log->problems.push_back(Problem{number, 0, "an empty line"});
            }
        }
        c = stop + 1;
    }
    if (log->lines.empty() && log->headerColumns != 0 && error != nullptr)
        *error = "it holds no line of readings as the dashboard writes them";
    return !log->lines.empty();
}

bool Read(const std::string& path, Log* log, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        *error = "it could not be read to its end";
        return false;
    }
    std::string why;
    bool parsed = Parse(text.str(), log, &why);
    log->read = true;
    if (!parsed && log->headerColumns == 0) {
        *error = why;
        return false;
    }
    return true;
}

std::string Describe(const Problem& p) {
    std::string where = "line " + std::to_string(p.line);
    if (p.column > 0) {
        where += ", column " + std::to_string(p.column);
        const char* name = kColumnNames[p.column - 1];
        if (*name != '\0') where += std::string(" (") + name + ")";
    }
    return where + ": " + p.what;
}

} // namespace drivelog
