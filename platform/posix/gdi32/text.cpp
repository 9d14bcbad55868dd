// Text output in one pinned font, so that every machine draws the same pixels.
#include "platform/posix/gdi32/gdi.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace w32 {

namespace {

// The program never picks a font; a window's default font here is DejaVu Sans (Debian's
// fonts-dejavu-core) at this pixel size.
constexpr const char* kFontFamily = "DejaVu Sans";
constexpr double kFontPixelSize = 12.0;

struct Font {
    cairo_font_face_t* face = nullptr;
    cairo_font_options_t* options = nullptr;
};

const Font& DefaultFont() {
    static Font font = [] {
        Font f;
        FcInit();
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kFontFamily));
        FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8*>("Book"));
        FcPatternAddDouble(pattern, FC_PIXEL_SIZE, kFontPixelSize);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        FcChar8* family = nullptr;
        if (match == nullptr || FcPatternGetString(match, FC_FAMILY, 0, &family) != FcResultMatch ||
            std::strcmp(reinterpret_cast<const char*>(family), kFontFamily) != 0) {
            std::fprintf(stderr,
                         "quorvel: the font \"%s\" is not installed (Debian package "
                         "fonts-dejavu-core)\n",
                         kFontFamily);
            std::exit(1);
        }
        // Hinting and smoothing are fixed here rather than taken from the desktop's
        // settings, so that pictures are the same everywhere.
        FcPatternDel(match, FC_HINTING);
        FcPatternDel(match, FC_HINT_STYLE);
        FcPatternDel(match, FC_ANTIALIAS);
        FcPatternDel(match, FC_RGBA);
        f.face = cairo_ft_font_face_create_for_pattern(match);
        FcPatternDestroy(match);
        f.options = cairo_font_options_create();
        cairo_font_options_set_antialias(f.options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(f.options, CAIRO_HINT_STYLE_SLIGHT);
        cairo_font_options_set_hint_metrics(f.options, CAIRO_HINT_METRICS_ON);
        cairo_font_options_set_subpixel_order(f.options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
        return f;
    }();
    return font;
}

} // namespace

// The font at its size, resolved once: looking it up again for every text is most of
// what drawing a short text costs.
void UseDefaultFont(cairo_t* cr) {
    static cairo_scaled_font_t* scaled = [] {
        const Font& font = DefaultFont();
        cairo_matrix_t size;
        cairo_matrix_t identity;
        cairo_matrix_init_scale(&size, kFontPixelSize, kFontPixelSize);
        cairo_matrix_init_identity(&identity);
        return cairo_scaled_font_create(font.face, &size, &identity, font.options);
    }();
    cairo_set_scaled_font(cr, scaled);
}

int TextWidth(cairo_t* cr, const std::string& text) {
    UseDefaultFont(cr);
    std::string utf8 = ToUtf8(text.c_str(), static_cast<int>(text.size()));
    cairo_text_extents_t te;
    cairo_text_extents(cr, utf8.c_str(), &te);
    return static_cast<int>(std::lround(te.x_advance));
}

int TextWidth(const std::string& text) {
    // One context for every measure, made at the first (it holds its surface).
    static cairo_t* measure = [] {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        cairo_t* cr = cairo_create(surface);
        cairo_surface_destroy(surface);
        return cr;
    }();
    return TextWidth(measure, text);
}

std::vector<std::string> BoxLines(const std::string& text, int width) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t nl = text.find('\n', start);
        std::string own =
            text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        while (!own.empty() && own.back() == '\r')
            own.pop_back();
        // Word by word while the line fits; a word wider than the box stands alone.
        std::string line;
        size_t at = 0;
        while (at <= own.size()) {
            size_t space = own.find(' ', at);
            std::string word =
                own.substr(at, space == std::string::npos ? std::string::npos : space - at);
            std::string longer = line.empty() ? word : line + " " + word;
            if (!line.empty() && TextWidth(longer) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = longer;
            }
            if (space == std::string::npos) break;
            at = space + 1;
        }
        lines.push_back(line);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

std::vector<DrawnText>& TextsDrawn() {
    static std::vector<DrawnText> texts;
    return texts;
}

void RememberText(HWND window, int x, int y, const std::string& text, const RECT& cell) {
    for (DrawnText& t : TextsDrawn()) {
        if (t.window == window && t.x == x && t.y == y) {
            t.text = text;
            t.cell = cell;
            return;
        }
    }
    TextsDrawn().push_back(DrawnText{window, x, y, text, cell});
}

void DrawText(DeviceContext* dc, int x, int y, const char* text, int length) {
    std::string raw(text != nullptr ? text : "", static_cast<size_t>(length));
    std::string utf8 = ToUtf8(raw.c_str(), length);
    cairo_t* cr = Cairo(dc);
    UseDefaultFont(cr);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_text_extents_t te;
    cairo_text_extents(cr, utf8.c_str(), &te);
    int ascent = static_cast<int>(std::ceil(fe.ascent));
    int descent = static_cast<int>(std::ceil(fe.descent));
    int width = static_cast<int>(std::lround(te.x_advance));

    UINT h = dc->textAlign & TA_CENTER;
    UINT v = dc->textAlign & TA_BASELINE;
    int left = h == TA_CENTER ? x - width / 2 : h == TA_RIGHT ? x - width : x;
    int baseline = v == TA_BASELINE ? y : v == TA_BOTTOM ? y - descent : y + ascent;
    RECT box{left, baseline - ascent, left + width, baseline + descent};
    RememberText(dc->hwnd, x, y, raw, box);
    if (dc->bkMode == OPAQUE) {
        SetSourceColor(cr, dc->bkColor);
        cairo_rectangle(cr, box.left, box.top, width, ascent + descent);
        cairo_fill(cr);
    }
    SetSourceColor(cr, dc->textColor);
    cairo_move_to(cr, left, baseline);
    cairo_show_text(cr, utf8.c_str());
    cairo_new_path(cr);
    // Glyphs may reach past their advance (the top of a "V"): what is shown covers ink too.
    RECT ink{left + static_cast<int>(std::floor(te.x_bearing)) - 1,
             baseline + static_cast<int>(std::floor(te.y_bearing)) - 1,
             left + static_cast<int>(std::ceil(te.x_bearing + te.width)) + 1,
             baseline + static_cast<int>(std::ceil(te.y_bearing + te.height)) + 1};
    Touched(dc, RECT{std::min(box.left, ink.left), std::min(box.top, ink.top),
                     std::max(box.right, ink.right), std::max(box.bottom, ink.bottom)});
}

} // namespace w32
