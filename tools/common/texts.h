// The tools' texts in the user's language: the string table each tool carries (its own
// texts.rc and the dashboard's app/texts.rc, with every language of po/), read as the
// dashboard reads its own (platform/texts.h). UTF-8 on Linux; on Windows the ANSI code
// page for the console, and UTF-8 straight from the table for a picture.
#pragma once

#include "dashboard/faults.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace texts {

// The text with this id; "" when the table lacks it. In the code page of the process's
// 8-bit calls on Windows (English where that code page cannot write the user's language's
// text whole), for the console.
std::string Text(unsigned id);
// The same text as UTF-8 whatever the code page, for a picture.
std::string Utf8Text(unsigned id);

// A format filled in with the arguments.
template <typename... Args> std::string Filled(const std::string& format, Args... args) {
    std::vector<char> out(format.size() + 256);
    for (;;) {
        int n = std::snprintf(out.data(), out.size(), format.c_str(), args...);
        if (n < 0) return format;
        if (static_cast<size_t>(n) < out.size())
            return std::string(out.data(), static_cast<size_t>(n));
        out.resize(static_cast<size_t>(n) + 1);
    }
}

// The text with this id as a printf format, filled in with the arguments (its
// conversions are checked against the English text's by cmake/po_to_rc.py): for the
// console, or as UTF-8 for a picture.
template <typename... Args> std::string Format(unsigned id, Args... args) {
    return Filled(Text(id), args...);
}
template <typename... Args> std::string Utf8Format(unsigned id, Args... args) {
    return Filled(Utf8Text(id), args...);
}

// The dashboard's name and units of the log's reading (its column, 0 to 8), as its gauge
// shows them.
unsigned GaugeNameOf(int reading);
unsigned UnitsOf(int reading);

// What the fault panel shows for a fault entry: its name, or its short- or open-circuit
// text.
std::string FaultText(const FaultEntry& e, const uint8_t flags[3], const uint8_t kinds[3]);
std::string FaultName(int entry);
std::string Utf8FaultName(int entry);

// A number written with a point, with the user's decimal separator instead.
std::string WithDecimalSeparator(std::string number);

// How many letters the text has: UTF-8 (the layer's texts) counts its lead bytes; a code
// page's text, every byte.
size_t Letters(const std::string& text);
// The text followed by spaces to width letters.
std::string Padded(const std::string& text, size_t width);

} // namespace texts
