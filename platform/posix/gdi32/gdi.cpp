// GDI over cairo: device contexts, brushes and pens, and the shapes, drawn with GDI's
// pixel conventions (right and bottom edges excluded, one-pixel pens, no smoothing).
#include "platform/posix/gdi32/gdi.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace w32 {

namespace {

struct GdiObject {
    enum Kind { Brush, Pen } kind;
    COLORREF color;
    bool hollow; // NULL_BRUSH, NULL_PEN
    bool stock;
    bool alive;
};

constexpr uintptr_t kObjectBase = 0x200000;
constexpr uintptr_t kDCBase = 0x300000;
constexpr uintptr_t kStep = 0x10;

std::vector<GdiObject>& Objects() {
    // The stock objects, at the indexes GetStockObject knows them by.
    static std::vector<GdiObject> objects = {
        {GdiObject::Brush, RGB(255, 255, 255), false, true, true}, // WHITE_BRUSH
        {GdiObject::Brush, RGB(192, 192, 192), false, true, true}, // LTGRAY_BRUSH
        {GdiObject::Brush, RGB(128, 128, 128), false, true, true}, // GRAY_BRUSH
        {GdiObject::Brush, RGB(64, 64, 64), false, true, true},    // DKGRAY_BRUSH
        {GdiObject::Brush, RGB(0, 0, 0), false, true, true},       // BLACK_BRUSH
        {GdiObject::Brush, 0, true, true, true},                   // NULL_BRUSH
        {GdiObject::Pen, RGB(255, 255, 255), false, true, true},   // WHITE_PEN
        {GdiObject::Pen, RGB(0, 0, 0), false, true, true},         // BLACK_PEN
        {GdiObject::Pen, 0, true, true, true},                     // NULL_PEN
    };
    return objects;
}

std::vector<std::unique_ptr<DeviceContext>> contexts;

HGDIOBJ ObjectHandle(size_t index) {
    return reinterpret_cast<HGDIOBJ>(kObjectBase + kStep * index);
}

GdiObject* FindObject(HGDIOBJ h) {
    auto v = reinterpret_cast<uintptr_t>(h);
    if (v < kObjectBase || (v - kObjectBase) % kStep != 0) return nullptr;
    size_t index = (v - kObjectBase) / kStep;
    if (index >= Objects().size() || !Objects()[index].alive) return nullptr;
    return &Objects()[index];
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

HDC MakeDC(Window* w, const RECT& clip, bool fromPaint) {
    Window* top = TopLevel(w);
    EnsureSurface(top);
    // A released context's slot, and so its handle, is taken again, as Win32 reuses
    // handles: a program that gets a context on every tick must not grow.
    size_t index = 0;
    while (index < contexts.size() && contexts[index]->alive)
        ++index;
    // A released context's record is used again as it stands (its dirty list keeps its
    // room), so that the lamp's context on every exchange allocates nothing.
    std::unique_ptr<DeviceContext> dc;
    if (index < contexts.size()) {
        dc = std::move(contexts[index]);
        std::vector<RECT> room = std::move(dc->dirty);
        room.clear();
        *dc = DeviceContext{};
        dc->dirty = std::move(room);
    } else {
        dc = std::make_unique<DeviceContext>();
    }
    dc->handle = reinterpret_cast<HDC>(kDCBase + kStep * index);
    dc->hwnd = w->handle;
    dc->fromPaint = fromPaint;
    dc->clip = Intersect(clip, RECT{0, 0, w->width, w->height});
    dc->brush = GetStockObject(WHITE_BRUSH);
    dc->pen = GetStockObject(BLACK_PEN);
    HDC h = dc->handle;
    if (index == contexts.size()) {
        contexts.push_back(std::move(dc));
    } else {
        contexts[index] = std::move(dc);
    }
    return h;
}

// Drawn pixels waiting to be shown, by top-level window, in its surface's coordinates.
std::vector<std::pair<HWND, RECT>> pending;

bool Meet(const RECT& a, const RECT& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

RECT Join(const RECT& a, const RECT& b) {
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

long Area(const RECT& r) { return static_cast<long>(r.right - r.left) * (r.bottom - r.top); }

// A rectangle joins the list: with each one it meets where the two together are not
// much bigger than each alone (a pointer inside its strip, not a strip and a readout far
// apart), and all of them when the list grows long.
void AddRect(std::vector<RECT>* rects, RECT r) {
    for (size_t i = 0; i < rects->size();) {
        const RECT& o = (*rects)[i];
        if (Meet(o, r) && Area(Join(o, r)) * 4 <= (Area(o) + Area(r)) * 5) {
            r = Join(r, (*rects)[i]);
            rects->erase(rects->begin() + static_cast<long>(i));
            i = 0;
        } else {
            ++i;
        }
    }
    rects->push_back(r);
    if (rects->size() > 32) {
        RECT all = rects->front();
        for (const RECT& x : *rects)
            all = Join(all, x);
        rects->assign(1, all);
    }
}

// What the context drew joins what waits to be shown.
void Flush(DeviceContext* dc) {
    if (dc->dirty.empty()) return;
    std::vector<RECT> drawn;
    drawn.swap(dc->dirty);
    Window* w = FindWindow(dc->hwnd);
    Window* top = TopLevel(w);
    if (w == nullptr || top == nullptr) return;
    int dx = 0;
    int dy = 0;
    OffsetInSurface(w, &dx, &dy);
    for (RECT r : drawn) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
        bool inside = false;
        for (auto& [hwnd, rect] : pending) {
            inside = inside || (hwnd == top->handle && r.left >= rect.left && r.top >= rect.top &&
                                r.right <= rect.right && r.bottom <= rect.bottom);
        }
        if (!inside) pending.emplace_back(top->handle, r);
    }
}

void ReleaseContext(DeviceContext* dc) {
    Flush(dc);
    if (dc->cr != nullptr) cairo_destroy(dc->cr);
    dc->cr = nullptr;
    dc->alive = false;
}

void FillAndStroke(DeviceContext* dc) {
    cairo_t* cr = Cairo(dc);
    const GdiObject* brush = FindObject(dc->brush);
    const GdiObject* pen = FindObject(dc->pen);
    if (brush != nullptr && !brush->hollow) {
        SetSourceColor(cr, brush->color);
        cairo_fill_preserve(cr);
    }
    if (pen != nullptr && !pen->hollow) {
        SetSourceColor(cr, pen->color);
        cairo_stroke_preserve(cr);
    }
    cairo_new_path(cr);
}

bool PenIsHollow(DeviceContext* dc) {
    const GdiObject* pen = FindObject(dc->pen);
    return pen == nullptr || pen->hollow;
}

void RoundedPath(cairo_t* cr, double x0, double y0, double x1, double y1, double rx, double ry) {
    rx = std::min(rx, (x1 - x0) / 2);
    ry = std::min(ry, (y1 - y0) / 2);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        return;
    }
    struct Corner {
        double cx, cy, a0, a1;
    };
    const Corner corners[] = {{x1 - rx, y0 + ry, -M_PI / 2, 0},
                              {x1 - rx, y1 - ry, 0, M_PI / 2},
                              {x0 + rx, y1 - ry, M_PI / 2, M_PI},
                              {x0 + rx, y0 + ry, M_PI, 3 * M_PI / 2}};
    cairo_new_sub_path(cr);
    for (const Corner& c : corners) {
        cairo_save(cr);
        cairo_translate(cr, c.cx, c.cy);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, c.a0, c.a1);
        cairo_restore(cr);
    }
    cairo_close_path(cr);
}

// The pixels of a figure, rasterised once where it stands at the origin and kept as
// rectangles (runs of a row, merged with the rows below that have the same runs): its
// fill and its outline. A figure drawn again and again (the activity lamp, twice an
// exchange; each gauge's pointer strip and readout box on every tick) then costs a
// few filled rectangles instead of a curve's rasterisation, with the same pixels.
struct Shape {
    std::vector<RECT> fill;
    std::vector<RECT> outline;
};

std::vector<RECT> Rectangles(cairo_surface_t* mask, int w, int h) {
    cairo_surface_flush(mask);
    const unsigned char* data = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    std::vector<RECT> done;
    std::vector<RECT> open; // runs still growing downwards
    for (int y = 0; y <= h; ++y) {
        std::vector<std::pair<int, int>> runs;
        for (int x = 0; y < h && x < w;) {
            if (data[y * stride + x] < 128) {
                ++x;
                continue;
            }
            int start = x;
            while (x < w && data[y * stride + x] >= 128)
                ++x;
            runs.emplace_back(start, x);
        }
        std::vector<RECT> next;
        for (const RECT& r : open) {
            auto same = std::find(runs.begin(), runs.end(), std::make_pair(r.left, r.right));
            if (same != runs.end()) {
                next.push_back(RECT{r.left, r.top, r.right, y + 1});
                runs.erase(same);
            } else {
                done.push_back(r);
            }
        }
        for (const auto& run : runs)
            next.push_back(RECT{run.first, y, run.second, y + 1});
        open = next;
    }
    return done;
}

// Rasterises a path that draw() makes at the origin into the shape's rectangles.
template <typename Path>
Shape Rasterise(int w, int h, bool fill, bool outline, bool evenOdd, Path draw) {
    Shape shape;
    for (int pass = 0; pass < 2; ++pass) {
        if ((pass == 0 && !fill) || (pass == 1 && !outline)) continue;
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
        cairo_t* cr = cairo_create(mask);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_line_width(cr, 1.0);
        if (evenOdd) cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        draw(cr);
        if (pass == 0) {
            cairo_fill(cr);
        } else {
            cairo_stroke(cr);
        }
        cairo_destroy(cr);
        (pass == 0 ? shape.fill : shape.outline) = Rectangles(mask, w, h);
        cairo_surface_destroy(mask);
    }
    return shape;
}

// Shapes by what makes them: a kind, then sizes or points relative to the figure's
// corner. The key's buffer is reused, so that finding a shape allocates nothing.
std::vector<int>& ShapeKey(int kind) {
    static std::vector<int> key;
    key.clear();
    key.push_back(kind);
    return key;
}

template <typename Make> const Shape& CachedShape(const std::vector<int>& key, Make make) {
    static std::map<std::vector<int>, Shape> shapes;
    // The same figure again (the lamp lit and put out) is found without a search.
    static std::vector<int> lastKey;
    static const Shape* last = nullptr;
    if (last != nullptr && key == lastKey) return *last;
    auto it = shapes.find(key);
    if (it == shapes.end()) {
        if (shapes.size() >= 256) shapes.clear();
        it = shapes.emplace(key, make()).first;
    }
    lastKey = key;
    last = &it->second;
    return *last;
}

// Solid rectangles, offset by (x, y), written straight into the window's pixels inside
// the context's clip: the pixels cairo gives an opaque fill of whole pixels, for a few
// row fills instead of a path's way through cairo.
void FillRectangles(DeviceContext* dc, const std::vector<RECT>& rects, int x, int y,
                    COLORREF color) {
    Window* w = FindWindow(dc->hwnd);
    Window* top = TopLevel(w);
    if (w == nullptr || top == nullptr || top->surface == nullptr || rects.empty()) return;
    cairo_surface_t* surface = top->surface;
    cairo_surface_flush(surface);
    auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
    const int stride = cairo_image_surface_get_stride(surface) / 4;
    const RECT bounds{0, 0, cairo_image_surface_get_width(surface),
                      cairo_image_surface_get_height(surface)};
    int dx = 0;
    int dy = 0;
    OffsetInSurface(w, &dx, &dy);
    const uint32_t pixel = 0xFF000000u | (static_cast<uint32_t>(GetRValue(color)) << 16) |
                           (static_cast<uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
    RECT changed{};
    for (const RECT& r : rects) {
        RECT a = Intersect(RECT{r.left + x, r.top + y, r.right + x, r.bottom + y}, dc->clip);
        a = Intersect(RECT{a.left + dx, a.top + dy, a.right + dx, a.bottom + dy}, bounds);
        if (IsEmpty(a)) continue;
        for (int row = a.top; row < a.bottom; ++row)
            std::fill(data + row * stride + a.left, data + row * stride + a.right, pixel);
        changed = IsEmpty(changed)
                      ? a
                      : RECT{std::min(changed.left, a.left), std::min(changed.top, a.top),
                             std::max(changed.right, a.right), std::max(changed.bottom, a.bottom)};
    }
    if (!IsEmpty(changed)) {
        cairo_surface_mark_dirty_rectangle(surface, changed.left, changed.top,
                                           changed.right - changed.left,
                                           changed.bottom - changed.top);
    }
}

// Fills the shape with the brush and draws its outline with the pen, at (x, y).
void PaintShape(DeviceContext* dc, const Shape& shape, int x, int y) {
    const GdiObject* brush = FindObject(dc->brush);
    const GdiObject* pen = FindObject(dc->pen);
    if (brush != nullptr && !brush->hollow) FillRectangles(dc, shape.fill, x, y, brush->color);
    if (pen != nullptr && !pen->hollow) FillRectangles(dc, shape.outline, x, y, pen->color);
}

} // namespace

// The cairo context of a device context, made when the first drawing needs it: the
// figures kept as rectangles (the activity lamp) never do.
cairo_t* Cairo(DeviceContext* dc) {
    if (dc->cr != nullptr) return dc->cr;
    Window* w = FindWindow(dc->hwnd);
    Window* top = TopLevel(w);
    EnsureSurface(top);
    dc->cr = cairo_create(top->surface);
    int dx = 0;
    int dy = 0;
    OffsetInSurface(w, &dx, &dy);
    cairo_translate(dc->cr, dx, dy);
    cairo_rectangle(dc->cr, dc->clip.left, dc->clip.top, dc->clip.right - dc->clip.left,
                    dc->clip.bottom - dc->clip.top);
    cairo_clip(dc->cr);
    cairo_set_antialias(dc->cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(dc->cr, 1.0);
    return dc->cr;
}

DeviceContext* FindDC(HDC hdc) {
    auto v = reinterpret_cast<uintptr_t>(hdc);
    if (v < kDCBase || (v - kDCBase) % kStep != 0) return nullptr;
    size_t index = (v - kDCBase) / kStep;
    if (index >= contexts.size() || !contexts[index]->alive) return nullptr;
    return contexts[index].get();
}

void SetSourceColor(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void Touched(DeviceContext* dc, RECT r) {
    r = Intersect(r, dc->clip);
    if (IsEmpty(r)) return;
    AddRect(&dc->dirty, r);
}

// What a GetDC context draws is seen without waiting for the message loop: before the
// program sleeps or waits on its port (the activity lamp, lit for one exchange), or
// for input. Drawing that is undone before any wait (the lamp put out and lit again
// between two exchanges) never needs to reach the screen.
namespace {

void ShowPendingDrawing() {
    for (auto& dc : contexts) {
        if (dc->alive) Flush(dc.get());
    }
    if (pending.empty()) return;
    std::vector<std::pair<HWND, RECT>> shown;
    shown.swap(pending);
    for (const auto& [hwnd, rect] : shown) {
        Window* top = FindWindow(hwnd);
        if (top == nullptr || top->surface == nullptr) continue;
        cairo_surface_flush(top->surface);
        CurrentBackend().Present(top, rect);
    }
    CurrentBackend().Presented();
}

// A program that draws shows its drawing before it waits; one that has no windows (a
// console tool on a serial port) does not link the drawing at all.
const bool registered = (SetDrawingShower(&ShowPendingDrawing), true);

} // namespace

void PaintChildren(Window* parent, const RECT& area) {
    for (Window* c : Children(parent->handle)) {
        if (!c->visible) continue;
        RECT r{c->x, c->y, c->x + c->width, c->y + c->height};
        if (IsEmpty(Intersect(r, area))) continue;
        if (c->combo) PaintComboBox(c);
    }
}

HDC ContextFor(Window* w, const RECT& clip, bool fromPaint) { return MakeDC(w, clip, fromPaint); }

void ForgetContexts() {
    pending.clear();
    for (auto& dc : contexts) {
        if (dc->alive) {
            if (dc->cr != nullptr) cairo_destroy(dc->cr);
            dc->cr = nullptr;
            dc->alive = false;
        }
    }
}

} // namespace w32

using namespace w32;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    W32_REQUIRE(hwnd != nullptr, "invalidating every window", FALSE);
    Window* w = FindWindow(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->parent != nullptr) {
        // The layer's own controls repaint themselves at once.
        if (w->combo && IsWindowVisible(hwnd)) PaintComboBox(w);
        return TRUE;
    }
    RECT client{0, 0, w->width, w->height};
    RECT r = rect != nullptr ? Intersect(*rect, client) : client;
    if (IsEmpty(r)) return TRUE;
    if (!w->invalid) {
        w->invalidRect = r;
    } else {
        RECT& u = w->invalidRect;
        u = RECT{std::min(u.left, r.left), std::min(u.top, r.top), std::max(u.right, r.right),
                 std::max(u.bottom, r.bottom)};
    }
    w->invalid = true;
    if (erase) w->erasePending = true;
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    Window* w = FindWindow(hwnd);
    W32_REQUIRE(rect == nullptr, "validating part of a window", FALSE);
    if (w == nullptr) return FALSE;
    w->invalid = false;
    w->erasePending = false;
    return TRUE;
}

// Synchronous: the paint runs before UpdateWindow returns, when anything is invalid.
BOOL UpdateWindow(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr) return FALSE;
    if (w->invalid && IsWindowVisible(hwnd)) SendMessageA(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    W32_REQUIRE(ps != nullptr, "a null paint record", nullptr);
    Window* w = FindWindow(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    *ps = PAINTSTRUCT{};
    RECT area = w->invalid ? w->invalidRect : RECT{0, 0, 0, 0};
    bool erase = w->erasePending;
    w->invalid = false;
    w->erasePending = false;
    ++w->paintCount;
    HDC hdc = ContextFor(w, area, true);
    ps->hdc = hdc;
    ps->rcPaint = FindDC(hdc)->clip;
    ps->fErase = TRUE;
    if (erase && !IsEmpty(area)) {
        ps->fErase =
            SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
    }
    return hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    W32_REQUIRE(ps != nullptr, "a null paint record", FALSE);
    DeviceContext* dc = FindDC(ps->hdc);
    W32_REQUIRE(dc != nullptr && dc->fromPaint && dc->hwnd == hwnd,
                "a paint record that BeginPaint did not fill for this window", FALSE);
    RECT area = dc->clip;
    ReleaseContext(dc);
    Window* w = FindWindow(hwnd);
    // Controls are drawn over the parent's paint, as their own paint would on Windows.
    if (w != nullptr && !IsEmpty(area)) PaintChildren(w, area);
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    W32_REQUIRE(hwnd != nullptr, "the screen's device context", nullptr);
    Window* w = FindWindow(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return ContextFor(w, RECT{0, 0, w->width, w->height}, false);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    DeviceContext* dc = FindDC(hdc);
    if (dc == nullptr || dc->fromPaint || dc->hwnd != hwnd) return 0;
    ReleaseContext(dc);
    return 1;
}

HGDIOBJ GetStockObject(int object) {
    W32_REQUIRE(object == WHITE_BRUSH || object == BLACK_BRUSH || object == NULL_BRUSH ||
                    object == WHITE_PEN || object == BLACK_PEN || object == NULL_PEN ||
                    (object > WHITE_BRUSH && object < BLACK_BRUSH),
                "stock objects other than the brushes and pens", nullptr);
    return ObjectHandle(static_cast<size_t>(object));
}

HBRUSH CreateSolidBrush(COLORREF color) {
    W32_REQUIRE((color & 0xFF000000) == 0, "palette-relative colours", nullptr);
    // A deleted brush's slot is taken again, so that creating and deleting does not grow.
    std::vector<GdiObject>& objects = Objects();
    size_t index = 0;
    while (index < objects.size() && (objects[index].stock || objects[index].alive))
        ++index;
    GdiObject brush{GdiObject::Brush, color, false, false, true};
    if (index == objects.size()) {
        objects.push_back(brush);
    } else {
        objects[index] = brush;
    }
    return static_cast<HBRUSH>(ObjectHandle(index));
}

BOOL DeleteObject(HGDIOBJ object) {
    GdiObject* o = FindObject(object);
    if (o == nullptr) return FALSE;
    if (o->stock) return TRUE;
    for (auto& dc : contexts) {
        if (dc->alive && (dc->brush == object || dc->pen == object)) return FALSE;
    }
    o->alive = false;
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", nullptr);
    GdiObject* o = FindObject(object);
    W32_REQUIRE(o != nullptr, "an object that is not a live brush or pen", nullptr);
    HGDIOBJ& slot = o->kind == GdiObject::Brush ? dc->brush : dc->pen;
    HGDIOBJ old = slot;
    slot = object;
    return old;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", FALSE);
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    cairo_t* cr = Cairo(dc);
    if (PenIsHollow(dc)) {
        cairo_rectangle(cr, left, top, right - left - 1, bottom - top - 1);
        FillAndStroke(dc);
    } else {
        const GdiObject* brush = FindObject(dc->brush);
        if (brush != nullptr && !brush->hollow && right - left > 2 && bottom - top > 2) {
            cairo_rectangle(cr, left + 1, top + 1, right - left - 2, bottom - top - 2);
            SetSourceColor(cr, brush->color);
            cairo_fill(cr);
        }
        const GdiObject* pen = FindObject(dc->pen);
        cairo_rectangle(cr, left + 0.5, top + 0.5, right - left - 1, bottom - top - 1);
        SetSourceColor(cr, pen->color);
        cairo_stroke(cr);
    }
    Touched(dc, RECT{left, top, right, bottom});
    return TRUE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", FALSE);
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const int w = right - left;
    const int h = bottom - top;
    if (w <= 0 || h <= 0) return TRUE;
    // Unlike Rectangle, the null pen does not make the figure smaller: the fill reaches
    // the pixels the outline would have taken.
    const bool hollowPen = PenIsHollow(dc);
    std::vector<int>& key = ShapeKey(0);
    key.insert(key.end(), {w, h, width, height, hollowPen ? 1 : 0});
    const Shape& shape = CachedShape(key, [&] {
        return Rasterise(w, h, true, !hollowPen, false, [&](cairo_t* cr) {
            if (hollowPen) {
                RoundedPath(cr, 0, 0, w, h, width / 2.0, height / 2.0);
            } else {
                RoundedPath(cr, 0.5, 0.5, w - 0.5, h - 0.5, (width - 1) / 2.0, (height - 1) / 2.0);
            }
        });
    });
    PaintShape(dc, shape, left, top);
    Touched(dc, RECT{left, top, right, bottom});
    return TRUE;
}

// Alternate fill (the default fill mode), outlined through the points.
BOOL Polygon(HDC hdc, const POINT* points, int count) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", FALSE);
    W32_REQUIRE(points != nullptr && count >= 2, "a polygon of fewer than two points", FALSE);
    RECT box{points[0].x, points[0].y, points[0].x + 1, points[0].y + 1};
    for (int i = 0; i < count; ++i) {
        box = RECT{std::min(box.left, points[i].x), std::min(box.top, points[i].y),
                   std::max(box.right, points[i].x + 1), std::max(box.bottom, points[i].y + 1)};
    }
    // The same figure elsewhere (a gauge's pointer at another reading) is the same shape.
    std::vector<int>& key = ShapeKey(1);
    for (int i = 0; i < count; ++i) {
        key.push_back(points[i].x - box.left);
        key.push_back(points[i].y - box.top);
    }
    const Shape& shape = CachedShape(key, [&] {
        return Rasterise(
            box.right - box.left + 1, box.bottom - box.top + 1, true, true, true, [&](cairo_t* cr) {
                for (int i = 0; i < count; ++i)
                    cairo_line_to(cr, points[i].x - box.left + 0.5, points[i].y - box.top + 0.5);
                cairo_close_path(cr);
            });
    });
    PaintShape(dc, shape, box.left, box.top);
    Touched(dc, box);
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", FALSE);
    if (old != nullptr) *old = dc->position;
    dc->position = POINT{x, y};
    return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, LPPOINT point) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr && point != nullptr, "a device context that is not held", FALSE);
    *point = dc->position;
    return TRUE;
}

// Outside the context's clipping, or with nothing drawn there yet, CLR_INVALID.
COLORREF GetPixel(HDC hdc, int x, int y) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", CLR_INVALID);
    if (x < dc->clip.left || x >= dc->clip.right || y < dc->clip.top || y >= dc->clip.bottom)
        return CLR_INVALID;
    Window* top = TopLevel(FindWindow(dc->hwnd));
    if (top == nullptr || top->surface == nullptr) return CLR_INVALID;
    int dx = 0;
    int dy = 0;
    OffsetInSurface(FindWindow(dc->hwnd), &dx, &dy);
    cairo_surface_flush(top->surface);
    const unsigned char* row = cairo_image_surface_get_data(top->surface) +
                               (y + dy) * cairo_image_surface_get_stride(top->surface);
    uint32_t p = reinterpret_cast<const uint32_t*>(row)[x + dx];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// The line runs from the current position up to, not including, the end point.
BOOL LineTo(HDC hdc, int x, int y) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", FALSE);
    POINT from = dc->position;
    dc->position = POINT{x, y};
    const GdiObject* pen = FindObject(dc->pen);
    if (pen == nullptr || pen->hollow || (from.x == x && from.y == y)) return TRUE;
    cairo_t* cr = Cairo(dc);
    SetSourceColor(cr, pen->color);
    RECT box{};
    if (from.y == y) {
        int x0 = from.x < x ? from.x : x + 1;
        int x1 = from.x < x ? x : from.x + 1;
        box = RECT{x0, y, x1, y + 1};
        cairo_rectangle(cr, x0, y, x1 - x0, 1);
        cairo_fill(cr);
    } else if (from.x == x) {
        int y0 = from.y < y ? from.y : y + 1;
        int y1 = from.y < y ? y : from.y + 1;
        box = RECT{x, y0, x + 1, y1};
        cairo_rectangle(cr, x, y0, 1, y1 - y0);
        cairo_fill(cr);
    } else {
        cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
        cairo_line_to(cr, x + 0.5, y + 0.5);
        cairo_stroke(cr);
        box = RECT{std::min<LONG>(from.x, x), std::min<LONG>(from.y, y),
                   std::max<LONG>(from.x, x) + 1, std::max<LONG>(from.y, y) + 1};
    }
    Touched(dc, box);
    return TRUE;
}

UINT SetTextAlign(HDC hdc, UINT align) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", GDI_ERROR);
    UINT h = align & TA_CENTER;
    UINT v = align & TA_BASELINE;
    W32_REQUIRE((align & ~static_cast<UINT>(TA_CENTER | TA_BASELINE)) == 0 &&
                    (h == TA_LEFT || h == TA_RIGHT || h == TA_CENTER) &&
                    (v == TA_TOP || v == TA_BOTTOM || v == TA_BASELINE),
                "alignment flags other than left/right/centre with top/bottom/baseline", GDI_ERROR);
    UINT old = dc->textAlign;
    dc->textAlign = align;
    return old;
}

int SetBkMode(HDC hdc, int mode) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", 0);
    W32_REQUIRE(mode == TRANSPARENT || mode == OPAQUE, "background modes", 0);
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", CLR_INVALID);
    W32_REQUIRE((color & 0xFF000000) == 0, "palette-relative colours", CLR_INVALID);
    COLORREF old = dc->bkColor;
    dc->bkColor = color;
    return old;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", CLR_INVALID);
    W32_REQUIRE((color & 0xFF000000) == 0, "palette-relative colours", CLR_INVALID);
    COLORREF old = dc->textColor;
    dc->textColor = color;
    return old;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    DeviceContext* dc = FindDC(hdc);
    W32_REQUIRE(dc != nullptr, "a device context that is not held", FALSE);
    W32_REQUIRE(length >= 0 && (length == 0 || text != nullptr), "a negative length or no text",
                FALSE);
    DrawText(dc, x, y, text, length);
    return TRUE;
}
