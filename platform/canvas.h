// A picture drawn to a file: filled rectangles, lines through points and text. The SVG
// one is plain text (tools/quorvel-plot/svg_canvas.cpp); the PNG one is drawn by cairo on
// Linux (platform/posix/gdi32/png_canvas.cpp), as the dashboard is.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace canvas {

struct Color {
    unsigned char r, g, b;
};

enum class Align { Left, Center, Right };

class Canvas {
  public:
    virtual ~Canvas() = default;
    virtual void Rectangle(double x, double y, double w, double h, Color fill) = 0;
    virtual void Polyline(const std::vector<std::pair<double, double>>& points, Color stroke,
                          double width) = 0;
    // Text with its baseline at y, anchored at x as aligned.
    virtual void Text(double x, double y, const std::string& utf8, double size, Color color,
                      Align align) = 0;
    // False with the system's reason when the file cannot be written.
    virtual bool Save(const std::string& path, std::string* error) = 0;
};

// A PNG picture of this many pixels, or null with why none can be made here.
std::unique_ptr<Canvas> NewPng(int width, int height, std::string* whyNot);

} // namespace canvas
