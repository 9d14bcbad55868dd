// Device contexts and drawing objects inside the layer.
#pragma once

#include "platform/posix/layer.h"

namespace w32 {

struct DeviceContext {
    HDC handle = nullptr;
    HWND hwnd = nullptr;
    bool fromPaint = false;
    bool alive = true;
    cairo_t* cr = nullptr;
    RECT clip{}; // in the window's client coordinates
    HGDIOBJ brush = nullptr;
    HGDIOBJ pen = nullptr;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    POINT position{0, 0};
    // What it drew and has not shown yet: a few rectangles, each joined with those it
    // touches, so that scattered figures (the gauges' pointers) are shown each by itself.
    std::vector<RECT> dirty;
};

DeviceContext* FindDC(HDC hdc);
cairo_t* Cairo(DeviceContext* dc);
void SetSourceColor(cairo_t* cr, COLORREF color);
// Marks the pixels a drawing call touched; a GetDC context shows them at once.
void Touched(DeviceContext* dc, RECT r);
void DrawText(DeviceContext* dc, int x, int y, const char* text, int length);
// The window's default font, for what the layer draws itself (menus, boxes, lists).
void UseDefaultFont(cairo_t* cr);
int TextWidth(cairo_t* cr, const std::string& latin1);
// The width of a text in the default font, measured on the layer's own context.
int TextWidth(const std::string& text);
// The lines a message box shows a text in: the text's own lines, each wrapped between
// words to at most width pixels in the default font, as Windows wraps a box's text.
constexpr int kBoxTextWidth = 520;
std::vector<std::string> BoxLines(const std::string& text, int width = kBoxTextWidth);
std::string ToUtf8(const char* text, int length);

} // namespace w32
