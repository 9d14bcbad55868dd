// PNG pictures on Windows through GDI+, which every Windows since XP has (gdiplus.dll):
// antialiased figures, text in the system's sans-serif font, saved with its PNG encoder.
#include "platform/canvas.h"

#include <windows.h>

#include <gdiplus.h>

#include <string>
#include <vector>

namespace canvas {

namespace {

namespace gp = Gdiplus::DllExports;

// The PNG encoder's class id, as GDI+ registers it.
const CLSID kPngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

Gdiplus::ARGB Argb(Color c) {
    return 0xFF000000u | (static_cast<Gdiplus::ARGB>(c.r) << 16) |
           (static_cast<Gdiplus::ARGB>(c.g) << 8) | c.b;
}

std::wstring Wide(const std::string& text, UINT codePage) {
    int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

class GdiplusCanvas : public Canvas {
  public:
    GdiplusCanvas(int width, int height, std::string* whyNot) {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) {
            *whyNot = "GDI+, which draws PNG pictures on Windows, did not start";
            return;
        }
        started_ = true;
        if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr,
                                          &bitmap_) != Gdiplus::Ok ||
            gp::GdipGetImageGraphicsContext(bitmap_, &graphics_) != Gdiplus::Ok) {
            *whyNot = "GDI+ could not make a picture of " + std::to_string(width) + " by " +
                      std::to_string(height) + " pixels";
            return;
        }
        gp::GdipGraphicsClear(graphics_, 0xFFFFFFFFu); // a white sheet, as the SVG's
        gp::GdipSetSmoothingMode(graphics_, Gdiplus::SmoothingModeAntiAlias);
    }

    ~GdiplusCanvas() override {
        if (graphics_ != nullptr) gp::GdipDeleteGraphics(graphics_);
        if (bitmap_ != nullptr) gp::GdipDisposeImage(bitmap_);
        if (started_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusCanvas(const GdiplusCanvas&) = delete;
    GdiplusCanvas& operator=(const GdiplusCanvas&) = delete;

    bool Ready() const { return graphics_ != nullptr; }

    void Rectangle(double x, double y, double w, double h, Color fill) override {
        Gdiplus::GpSolidFill* brush = nullptr;
        if (gp::GdipCreateSolidFill(Argb(fill), &brush) != Gdiplus::Ok) return;
        gp::GdipFillRectangle(graphics_, brush, static_cast<float>(x), static_cast<float>(y),
                              static_cast<float>(w), static_cast<float>(h));
        gp::GdipDeleteBrush(brush);
    }

    void Polyline(const std::vector<std::pair<double, double>>& points, Color stroke,
                  double width) override {
        if (points.empty()) return;
        std::vector<Gdiplus::PointF> p;
        for (const auto& [x, y] : points)
            p.emplace_back(static_cast<float>(x), static_cast<float>(y));
        if (p.size() == 1) p.emplace_back(p[0].X + 0.5f, p[0].Y);
        Gdiplus::GpPen* pen = nullptr;
        if (gp::GdipCreatePen1(Argb(stroke), static_cast<float>(width), Gdiplus::UnitPixel, &pen) !=
            Gdiplus::Ok)
            return;
        gp::GdipSetPenLineJoin(pen, Gdiplus::LineJoinRound);
        gp::GdipDrawLines(graphics_, pen, p.data(), static_cast<INT>(p.size()));
        gp::GdipDeletePen(pen);
    }

    // y is the baseline. Text goes through GDI on the picture's own drawing context,
    // which every Windows (and Wine) draws with its installed fonts; the face asked for
    // falls back to the system's sans serif where it is missing.
    void Text(double x, double y, const std::string& utf8, double size, Color color,
              Align align) override {
        std::wstring text = Wide(utf8, CP_UTF8);
        HDC dc = nullptr;
        if (gp::GdipGetDC(graphics_, &dc) != Gdiplus::Ok) return;
        HFONT font = CreateFontW(-static_cast<int>(size + 0.5), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Segoe UI");
        HGDIOBJ kept = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(color.r, color.g, color.b));
        SetTextAlign(dc, TA_BASELINE | (align == Align::Left     ? TA_LEFT
                                        : align == Align::Center ? TA_CENTER
                                                                 : TA_RIGHT));
        TextOutW(dc, static_cast<int>(x + 0.5), static_cast<int>(y + 0.5), text.c_str(),
                 static_cast<int>(text.size()));
        SelectObject(dc, kept);
        DeleteObject(font);
        gp::GdipReleaseDC(graphics_, dc);
    }

    // The path as the program was given it, in the ANSI code page.
    bool Save(const std::string& path, std::string* error) override {
        std::wstring wide = Wide(path, CP_ACP);
        Gdiplus::Status s = gp::GdipSaveImageToFile(bitmap_, wide.c_str(), &kPngEncoder, nullptr);
        if (s == Gdiplus::Ok) return true;
        *error = s == Gdiplus::Win32Error ? "the file cannot be written (GDI+)"
                                          : "GDI+ could not write the PNG (status " +
                                                std::to_string(static_cast<int>(s)) + ")";
        return false;
    }

  private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
    Gdiplus::GpBitmap* bitmap_ = nullptr;
    Gdiplus::GpGraphics* graphics_ = nullptr;
};

} // namespace

std::unique_ptr<Canvas> NewPng(int width, int height, std::string* whyNot) {
    auto canvas = std::make_unique<GdiplusCanvas>(width, height, whyNot);
    if (!canvas->Ready()) return nullptr;
    return canvas;
}

} // namespace canvas
