// PNG pictures drawn by cairo, with the dashboard's font.
#include "platform/canvas.h"
#include "platform/utf8.h"

#include <cairo.h>

#include <cstring>

namespace canvas {

namespace {

class PngCanvas : public Canvas {
  public:
    PngCanvas(int width, int height)
        : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
          cr_(cairo_create(surface_)) {
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_paint(cr_);
        cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
    }
    ~PngCanvas() override {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
    PngCanvas(const PngCanvas&) = delete;
    PngCanvas& operator=(const PngCanvas&) = delete;

    void Rectangle(double x, double y, double w, double h, Color fill) override {
        Source(fill);
        cairo_rectangle(cr_, x, y, w, h);
        cairo_fill(cr_);
    }

    void Polyline(const std::vector<std::pair<double, double>>& points, Color stroke,
                  double width) override {
        if (points.empty()) return;
        Source(stroke);
        cairo_set_line_width(cr_, width);
        cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
        for (const auto& [x, y] : points)
            cairo_line_to(cr_, x, y);
        if (points.size() == 1) cairo_line_to(cr_, points[0].first + 0.5, points[0].second);
        cairo_stroke(cr_);
    }

    void Text(double x, double y, const std::string& utf8, double size, Color color,
              Align align) override {
        cairo_set_font_size(cr_, size);
        // A text that is not UTF-8 would put cairo in an error state: a blank picture.
        const std::string text = platform::Utf8FromSystem(utf8);
        cairo_text_extents_t te;
        cairo_text_extents(cr_, text.c_str(), &te);
        double left = align == Align::Left     ? x
                      : align == Align::Center ? x - te.x_advance / 2
                                               : x - te.x_advance;
        Source(color);
        cairo_move_to(cr_, left, y);
        cairo_show_text(cr_, text.c_str());
        cairo_new_path(cr_);
    }

    bool Save(const std::string& path, std::string* error) override {
        cairo_status_t status = cairo_surface_write_to_png(surface_, path.c_str());
        if (status == CAIRO_STATUS_SUCCESS) return true;
        *error = cairo_status_to_string(status);
        return false;
    }

  private:
    void Source(Color c) { cairo_set_source_rgb(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

    cairo_surface_t* surface_;
    cairo_t* cr_;
};

} // namespace

std::unique_ptr<Canvas> NewPng(int width, int height, std::string*) {
    return std::make_unique<PngCanvas>(width, height);
}

} // namespace canvas
