#include "sheet.h"

#include "dashboard/gauge_table.h"
#include "platform/utf8.h"
#include "platform/win32.h"
#include "texts.h"
#include "tools/common/texts.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace sheet {

namespace {

// One character of the user's settings; fallback where the setting is not one character.
char Setting(LCTYPE type, char fallback) {
    char text[8] = "";
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text) == 0 || text[0] == '\0' ||
        text[1] != '\0') {
        return fallback;
    }
    return text[0];
}

// A cell as a spreadsheet reads it back whole, whatever separators it splits lines at
// (LibreOffice's import splits at ',', ';' and tabs alike unless told otherwise): in
// quotes when it holds one of them or a quote. A quoted number is still a number.
std::string Cell(const std::string& text) {
    if (text.find_first_of(",;\t\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A reading with its gauge's decimals and the user's separator; one that rounds to zero is
// 0, never "-0".
std::string Number(double value, int decimals, char decimal) {
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string n = text;
    for (char& c : n) {
        if (c == '.') c = decimal;
    }
    return n;
}

std::string Header(const Conventions& conventions, const Options& options) {
    std::string line;
    auto add = [&](const std::string& heading) {
        line += (line.empty() ? "" : std::string(1, conventions.list)) + Cell(heading);
    };
    for (int i = 0; i < 9; ++i)
        add(texts::Format(kTextReadingHeading, texts::Text(texts::GaugeNameOf(i)).c_str(),
                          texts::Text(texts::UnitsOf(i)).c_str()));
    for (int i = 1; i <= 3; ++i)
        add(texts::Format(kTextFaultHeading, i));
    if (options.gauges) {
        for (int i = 0; i < 9; ++i)
            add(texts::Format(kTextGaugeHeading, texts::Text(texts::GaugeNameOf(i)).c_str()));
    }
    return line + "\r\n";
}

} // namespace

Conventions UserConventions() {
    Conventions c;
    c.decimal = Setting(LOCALE_SDECIMAL, '.');
    c.list = Setting(LOCALE_SLIST, c.decimal == ',' ? ';' : ',');
    // A list separator the numbers use would split them.
    if (c.list == c.decimal) c.list = c.decimal == ',' ? ';' : ',';
    c.utf8 = platform::SystemTextIsUtf8();
    return c;
}

std::string Copy(const drivelog::Log& log, const Conventions& conventions, const Options& options) {
    // The mark tells a spreadsheet the text is UTF-8, so that "°C" keeps its letters.
    std::string text = conventions.utf8 ? "\xEF\xBB\xBF" : "";
    // The gauges' positions where the log has them (a copy read back may not).
    Options o = options;
    o.gauges = o.gauges && !log.lines.empty() && log.lines.front().hasGauges;
    text += Header(conventions, o);
    const std::string list(1, conventions.list);
    for (const drivelog::Line& line : log.lines) {
        std::string row;
        for (int i = 0; i < 9; ++i) {
            const LoggedReading& r = kLoggedReadings[i];
            row += (i == 0 ? "" : list) + Cell(Number(static_cast<double>(line.readings.*r.value),
                                                      r.gauge->decimals, conventions.decimal));
        }
        for (uint8_t fault : line.faults)
            row += list + std::to_string(fault);
        if (o.gauges) {
            for (int gauge : line.gauges)
                row += list + std::to_string(gauge);
        }
        text += row + "\r\n";
    }
    return text;
}

std::string DefaultCopyName(const std::string& log) {
    const size_t slash = log.find_last_of("/\\");
    const size_t dot = log.rfind('.');
    // A name's leading dot (".hidden") begins no extension.
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const bool extension = dot != std::string::npos && dot > start;
    return (extension ? log.substr(0, dot) : log) + " (sheet).csv";
}

bool IsDashboardLog(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char start[17] = "";
    in.read(start, 16);
    return in.gcount() == 16 && std::string(start, 16) == "revs, water temp";
}

} // namespace sheet
