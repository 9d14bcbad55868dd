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

// The fields of a line between its separators, each without the spaces around it; a
// field in double quotes (as a spreadsheet writes one) may hold the separator, and "" is
// one quote in it.
void Split(const char* begin, const char* end, char separator, std::vector<std::string>* fields) {
    // The strings of the line before are reused: a day of log is 172,800 lines.
    size_t n = 0;
    const char* c = begin;
    for (;;) {
        if (fields->size() == n) fields->emplace_back();
        std::string& field = (*fields)[n++];
        field.clear();
        while (c < end && *c == ' ')
            ++c;
        if (c < end && *c == '"') {
            for (++c; c < end; ++c) {
                if (*c == '"' && c + 1 < end && c[1] == '"') {
                    field += '"';
                    ++c;
                } else if (*c == '"') {
                    ++c;
                    break;
                } else {
                    field += *c;
                }
            }
        }
        const char* stop =
            static_cast<const char*>(std::memchr(c, separator, static_cast<size_t>(end - c)));
        if (stop == nullptr) stop = end;
        field.append(c, static_cast<size_t>(stop - c));
        c = stop;
        while (!field.empty() && field.back() == ' ')
            field.pop_back();
        if (c == end) break;
        ++c;
    }
    fields->resize(n);
}

// The separator of a file's fields, as its header has them: the dashboard's comma, or the
// semicolon or tab of a spreadsheet that saved it in its user's conventions.
char SeparatorOf(const char* begin, const char* end) {
    int semicolons = 0;
    int tabs = 0;
    bool quoted = false;
    for (const char* c = begin; c < end; ++c) {
        if (*c == '"') quoted = !quoted;
        if (quoted) continue;
        semicolons += *c == ';' ? 1 : 0;
        tabs += *c == '\t' ? 1 : 0;
    }
    return semicolons >= 2 ? ';' : tabs >= 2 ? '\t' : ',';
}

// A number as the dashboard writes it or a spreadsheet saves it in its user's
// conventions: a decimal comma, a point or a space between thousands ("1.020,5", "1 020,5",
// "1,020.5").
std::string Plain(const std::string& field) {
    std::string n;
    for (size_t i = 0; i < field.size(); ++i) {
        // A space, a no-break space or a narrow one between thousands.
        if (field[i] == ' ') continue;
        if (field.compare(i, 2, "\xC2\xA0") == 0 || field.compare(i, 3, "\xE2\x80\xAF") == 0) {
            i += field[i] == '\xC2' ? 1 : 2;
            continue;
        }
        n += field[i];
    }
    const size_t comma = n.rfind(',');
    const size_t point = n.rfind('.');
    if (comma == std::string::npos) return n;
    const char thousands = point == std::string::npos || comma > point ? '.' : ',';
    std::string plain;
    for (char c : n) {
        if (c == thousands) continue;
        plain += c == ',' ? '.' : c;
    }
    return plain;
}

bool Number(const std::string& field, double* value) {
    // As the dashboard writes it, the number is read as it stands.
    const std::string n =
        field.find_first_of(", \xC2\xE2") == std::string::npos ? field : Plain(field);
    if (n.empty() || n.size() > 63) return false;
    char* end = nullptr;
    *value = std::strtod(n.c_str(), &end);
    return end == n.c_str() + n.size() && std::isfinite(*value);
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

// A reading a poll can give, as the log prints it or a spreadsheet re-saves it: to two
// decimals at least, or to the decimals its gauge shows (as quorvel-sheet writes it).
bool PollGives(int column, double v) {
    static const Reachable r = ReachableReadings();
    const double shown = 0.5 * std::pow(10.0, -kLoggedReadings[column].gauge->decimals);
    const double rounding = std::max(0.005, shown);
    auto nearly = [&](double a, double b) {
        return std::fabs(a - b) <= rounding + 1e-6 * std::fabs(b);
    };
    return nearly(v, r.stopped[column]) ||
           (v >= r.low[column] - rounding - 1e-6 * std::fabs(r.low[column]) &&
            v <= r.high[column] + rounding + 1e-6 * std::fabs(r.high[column]));
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

// Where a line's fields stand, by its header's columns: the dashboard's 22 (or the older
// header's 24) with an empty column before the gauges' positions; a spreadsheet copy's 21
// without it, or its 12 without the gauges. The readings and fault bytes lead in each.
struct Layout {
    int fields = 0;
    int empty = -1;  // the empty column's field, or -1
    int gauges = -1; // the first gauge position's field, or -1
};

Layout LayoutOf(int headerColumns) {
    if (headerColumns == 21) return Layout{21, -1, 12};
    if (headerColumns == 12) return Layout{12, -1, -1};
    return Layout{kColumns, 12, 13};
}

// A field's name in the problems told: the dashboard's header's, whatever the layout.
const char* ColumnName(const Layout& layout, int field) {
    if (field < 12) return kColumnNames[field];
    if (field == layout.empty) return "";
    return kColumnNames[13 + field - layout.gauges];
}

bool ReadLine(int number, const std::vector<std::string>& fields, const Layout& layout, Log* log) {
    auto bad = [&](int field, const std::string& what) {
        log->problems.push_back(Problem{number, field < 0 ? 0 : field + 1, what,
                                        field < 0 ? "" : ColumnName(layout, field)});
        return false;
    };
    if (fields.size() != static_cast<size_t>(layout.fields))
        return bad(-1, std::to_string(fields.size()) + " fields, not the " +
                           std::to_string(layout.fields) + " of a data line");
    Line line;
    line.number = number;
    line.hasGauges = layout.gauges >= 0;
    double v = 0;
    for (int c = 0; c < layout.fields; ++c) {
        const std::string& f = fields[static_cast<size_t>(c)];
        if (c == layout.empty) {
            if (!f.empty()) return bad(c, Quoted(f) + " where the empty column is");
            continue;
        }
        if (!Number(f, &v)) return bad(c, Quoted(f) + " is not a number");
        if (c < 9 && std::fabs(v) > std::numeric_limits<float>::max())
            return bad(c, Quoted(f) + " is beyond what a reading can hold");
        if (c < 9 && !PollGives(c, v)) {
            static const Reachable r = ReachableReadings();
            std::string range = Shortest(r.low[c]) + " to " + Shortest(r.high[c]);
            if (r.stopped[c] < r.low[c] || r.stopped[c] > r.high[c])
                range = Shortest(r.stopped[c]) + ", or " + range;
            return bad(c, Quoted(f) + " is no reading a poll gives (" + range + ")");
        }
        if (c < 9) {
            line.readings.*kLoggedReadings[c].value = static_cast<float>(v);
        } else if (c < 12) {
            if (v < 0 || v > 255 || v != std::floor(v))
                return bad(c, Quoted(f) + " is not a byte (0 to 255)");
            line.faults[c - 9] = static_cast<uint8_t>(v);
        } else {
            line.gauges[c - layout.gauges] = static_cast<int>(std::lround(v));
        }
    }
    log->lines.push_back(line);
    return true;
}

// The first line of a log: the dashboard's header ("revs", "water temp", ...), or the
// header a spreadsheet copy carries in its user's language (quorvel-sheet's), which is
// known by its columns, none of them a number.
bool IsHeader(const std::vector<std::string>& fields) {
    if (fields.size() >= 2 && fields[0] == "revs" && fields[1] == "water temp") return true;
    if (fields.size() != 21 && fields.size() != 12) return false;
    double v = 0;
    for (const std::string& f : fields) {
        if (f.empty() || Number(f, &v)) return false;
    }
    return true;
}

} // namespace

bool Parse(const std::string& text, Log* log, std::string* error) {
    *log = Log{};
    std::vector<std::string> fields;
    const char* c = text.data();
    const char* end = c + text.size();
    // A spreadsheet may begin its file with UTF-8's byte-order mark.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) c += 3;
    int number = 0;
    char separator = ',';
    Layout layout;
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
            separator = SeparatorOf(c, last);
            Split(c, last, separator, &fields);
            if (!IsHeader(fields)) {
                if (error != nullptr)
                    *error = "it does not begin with the header the dashboard writes "
                             "(\"revs, water temp, ...\")";
                return false;
            }
            log->headerColumns = static_cast<int>(fields.size());
            layout = LayoutOf(log->headerColumns);
            if (fields.size() != 22 && fields.size() != 24 && fields.size() != 21 &&
                fields.size() != 12)
                log->problems.push_back(Problem{1, 0,
                                                "a header of " + std::to_string(fields.size()) +
                                                    " columns, not the dashboard's 22 "
                                                    "(or the older 24)",
                                                ""});
        } else {
            log->polls = number - 1;
            if (last > c) {
                Split(c, last, separator, &fields);
                ReadLine(number, fields, layout, log);
            } else {
                log->problems.push_back(Problem{number, 0, "an empty line", ""});
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
        if (!p.name.empty()) where += " (" + p.name + ")";
    }
    return where + ": " + p.what;
}

} // namespace drivelog
