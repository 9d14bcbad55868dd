// libFuzzer target: quorvel-plot as a whole, from any bytes to its pictures: the log read,
// the charts drawn to SVG and to PNG, scaled to the gauges or fitted to the readings, the
// title holding a file name of any bytes, a log of any length (a line a pixel column or
// many).
//
// Checked after each input: it ends (scripts/fuzz gives each input a few seconds); a log
// with no line of readings draws nothing, as quorvel-plot refuses it; the SVG is UTF-8
// and well-formed XML: its elements nest and close, its attributes are quoted, and no
// "<" or bare "&" stands in its text.
#include "platform/canvas.h"
#include "platform/utf8.h"
#include "tools/common/drive_log.h"
#include "tools/quorvel-plot/plot.h"
#include "tools/quorvel-plot/svg_canvas.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Whether the text is UTF-8: no stray continuation byte, no overlong or truncated
// sequence, nothing beyond U+10FFFF or among the surrogates.
bool Utf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int more = c < 0x80             ? 0
                         : (c & 0xE0) == 0xC0 ? 1
                         : (c & 0xF0) == 0xE0 ? 2
                         : (c & 0xF8) == 0xF0 ? 3
                                              : -1;
        if (more < 0 || s.size() - i <= static_cast<size_t>(more)) return false;
        unsigned long cp = more == 0 ? c : c & (0x3Fu >> more);
        for (int k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        static const unsigned long smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < smallest[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == ':' ||
           c == '.';
}

// Text between tags: no "<", and every "&" begins an entity.
bool Text(const std::string& s, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (s[i] == '<') return false;
        if (s[i] != '&') continue;
        size_t semi = s.find(';', i);
        if (semi == std::string::npos || semi > to) return false;
        const std::string entity = s.substr(i + 1, semi - i - 1);
        bool numeric = entity.size() > 1 && entity[0] == '#';
        if (!numeric && entity != "amp" && entity != "lt" && entity != "gt" && entity != "quot" &&
            entity != "apos") {
            return false;
        }
    }
    return true;
}

// A well-formed XML document, as far as an SVG writer can go wrong: the declaration, then
// elements that nest and close, quoted attributes, escaped text.
bool WellFormed(const std::string& s) {
    std::vector<std::string> open;
    size_t i = 0;
    bool root = false;
    while (i < s.size()) {
        size_t lt = s.find('<', i);
        if (lt == std::string::npos) return Text(s, i, s.size()) && root && open.empty();
        if (!Text(s, i, lt)) return false;
        if (s.compare(lt, 5, "<?xml") == 0) {
            size_t end = s.find("?>", lt);
            if (end == std::string::npos) return false;
            i = end + 2;
            continue;
        }
        size_t gt = s.find('>', lt);
        if (gt == std::string::npos) return false;
        std::string tag = s.substr(lt + 1, gt - lt - 1);
        if (!tag.empty() && tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1)) return false;
            open.pop_back();
            i = gt + 1;
            continue;
        }
        const bool empty = !tag.empty() && tag.back() == '/';
        if (empty) tag.pop_back();
        size_t n = 0;
        while (n < tag.size() && NameChar(tag[n]))
            ++n;
        if (n == 0) return false;
        const std::string name = tag.substr(0, n);
        // Attributes: name="value", the value free of "<" and of a bare "&".
        size_t a = n;
        while (a < tag.size()) {
            if (tag[a] == ' ') {
                ++a;
                continue;
            }
            size_t eq = tag.find('=', a);
            if (eq == std::string::npos || eq + 1 >= tag.size() || tag[eq + 1] != '"') return false;
            for (size_t k = a; k < eq; ++k)
                if (!NameChar(tag[k])) return false;
            size_t close = tag.find('"', eq + 2);
            if (close == std::string::npos || !Text(tag, eq + 2, close)) return false;
            a = close + 1;
        }
        if (open.empty() && root) return false; // a second root
        root = true;
        if (!empty) open.push_back(name);
        i = gt + 1;
    }
    return root && open.empty();
}

} // namespace

// The input: a byte of flags (1: --fit, 2: a PNG too), the file's name up to a line end
// (48 bytes at most), then the log.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t end = rest.find('\n');
    const bool named = end != std::string::npos && end <= 48;
    // The name as quorvel-plot takes it from the system, made UTF-8.
    const std::string name =
        platform::Utf8FromSystem(named ? rest.substr(0, end) : "engine details.csv");
    const std::string text = named ? rest.substr(end + 1) : rest;
    drivelog::Log log;
    drivelog::Parse(text, &log);
    if (log.lines.empty()) return 0; // quorvel-plot refuses it: nothing is drawn
    plot::Options options;
    options.fit = (flags & 1) != 0;

    std::unique_ptr<canvas::Canvas> svg = canvas::NewSvg(plot::kWidth, plot::kHeight);
    plot::Draw(log, name, "2026-12-09 10:00", svg.get(), options);
    static const std::string file = "/tmp/quorvel-plot-fuzz-" + std::to_string(getpid()) + ".svg";
    std::string error;
    if (!svg->Save(file, &error)) std::abort();
    std::ifstream in(file, std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    const std::string picture = written.str();
    if (!Utf8(picture) || !WellFormed(picture)) std::abort();

    if ((flags & 2) != 0) {
        std::unique_ptr<canvas::Canvas> png = canvas::NewPng(plot::kWidth, plot::kHeight, &error);
        if (png == nullptr) std::abort();
        plot::Draw(log, name, "2026-12-09 10:00", png.get(), options);
    }
    return 0;
}
