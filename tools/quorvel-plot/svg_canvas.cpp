#include "svg_canvas.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace canvas {

namespace {

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    std::string s = text;
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
    return s == "-0" ? "0" : s;
}

std::string Hex(Color c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // XML holds no control character but the white space ones.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                out += "\xEF\xBF\xBD";
            } else {
                out += c;
            }
        }
    }
    return out;
}

class SvgCanvas : public Canvas {
  public:
    SvgCanvas(int width, int height) {
        body_ = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
                std::to_string(width) + " " + std::to_string(height) +
                "\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n"
                "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    }

    void Rectangle(double x, double y, double w, double h, Color fill) override {
        body_ += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(w) +
                 "\" height=\"" + Num(h) + "\" fill=\"" + Hex(fill) + "\"/>\n";
    }

    void Polyline(const std::vector<std::pair<double, double>>& points, Color stroke,
                  double width) override {
        if (points.empty()) return;
        body_ += "<polyline fill=\"none\" stroke=\"" + Hex(stroke) + "\" stroke-width=\"" +
                 Num(width) + "\" stroke-linejoin=\"round\" stroke-linecap=\"round\" points=\"";
        for (size_t i = 0; i < points.size(); ++i) {
            if (i > 0) body_ += ' ';
            body_ += Num(points[i].first) + "," + Num(points[i].second);
        }
        if (points.size() == 1)
            body_ += " " + Num(points[0].first + 0.5) + "," + Num(points[0].second);
        body_ += "\"/>\n";
    }

    void Text(double x, double y, const std::string& utf8, double size, Color color,
              Align align) override {
        const char* anchor = align == Align::Left     ? "start"
                             : align == Align::Center ? "middle"
                                                      : "end";
        body_ += "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-size=\"" + Num(size) +
                 "\" fill=\"" + Hex(color) + "\" text-anchor=\"" + anchor + "\">" + Escape(utf8) +
                 "</text>\n";
    }

    bool Save(const std::string& path, std::string* error) override {
        std::ofstream out(path, std::ios::binary);
        out << body_ << "</svg>\n";
        out.flush();
        if (out) return true;
        *error = std::strerror(errno);
        return false;
    }

  private:
    std::string body_;
};

} // namespace

std::unique_ptr<Canvas> NewSvg(int width, int height) {
    return std::make_unique<SvgCanvas>(width, height);
}

} // namespace canvas
