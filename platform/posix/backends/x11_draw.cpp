// What the layer draws itself, as Windows draws its own: the menu bar, the menu's popup
// and the dropped list as windows of the server, and the message boxes' faces.
#include "platform/posix/backends/x11_backend.h"

#include "platform/posix/gdi32/gdi.h"

#include <cairo-xlib.h>

#include <algorithm>
#include <cmath>

namespace w32 {

namespace {

const double kFace[3] = {240 / 255.0, 240 / 255.0, 240 / 255.0};
const double kHighlight[3] = {0 / 255.0, 120 / 255.0, 215 / 255.0};
const double kGrayText[3] = {109 / 255.0, 109 / 255.0, 109 / 255.0};
constexpr int kItemHeight = 22;
constexpr int kSeparatorHeight = 9;

std::string WithoutAmpersand(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

void SetColor(cairo_t* cr, const double c[3]) { cairo_set_source_rgb(cr, c[0], c[1], c[2]); }

// A menu text with its access key underlined, left edge at x, baseline at y.
void DrawMenuText(cairo_t* cr, const std::string& text, double x, double y) {
    UseDefaultFont(cr);
    std::string plain = WithoutAmpersand(text);
    std::string utf8 = ToUtf8(plain.c_str(), static_cast<int>(plain.size()));
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, utf8.c_str());
    size_t amp = text.find('&');
    if (amp != std::string::npos && amp + 1 < text.size()) {
        int before = TextWidth(cr, plain.substr(0, amp));
        int letter = TextWidth(cr, plain.substr(amp, 1));
        cairo_rectangle(cr, x + before, y + 2, letter, 1);
        cairo_fill(cr);
    }
}

// Where the menu bar's titles stand: the left edge of each, and the right edge of the last.
std::vector<int> Edges(const std::vector<MenuItemInfo>& titles) {
    std::vector<int> edges = {4};
    for (const MenuItemInfo& t : titles)
        edges.push_back(edges.back() + TextWidth(WithoutAmpersand(t.text)) + 16);
    return edges;
}

} // namespace

void PaintMenuBar(cairo_t* cr, int width, const std::vector<MenuItemInfo>& titles,
                  int highlighted) {
    SetColor(cr, kFace);
    cairo_rectangle(cr, 0, 0, width, kMenuBarHeight);
    cairo_fill(cr);
    std::vector<int> edges = Edges(titles);
    for (size_t i = 0; i < titles.size(); ++i) {
        bool grayed = (titles[i].state & (MF_GRAYED | MF_DISABLED)) != 0;
        if (highlighted == static_cast<int>(i)) {
            SetColor(cr, kHighlight);
            cairo_rectangle(cr, edges[i], 0, edges[i + 1] - edges[i], kMenuBarHeight);
            cairo_fill(cr);
            cairo_set_source_rgb(cr, 1, 1, 1);
        } else if (grayed) {
            SetColor(cr, kGrayText);
        } else {
            cairo_set_source_rgb(cr, 0, 0, 0);
        }
        DrawMenuText(cr, titles[i].text, edges[i] + 8, 14);
    }
}

std::vector<int> X11Backend::TitleEdges(Window* w) { return Edges(Ui().Titles(w)); }

void X11Backend::DrawMenuBar(Window* w) {
    if (w == nullptr || w->menu == nullptr) return;
    XSurface& x = tops_[w->handle];
    const MenuState& menu = Ui().menu;
    cairo_t* cr = cairo_create(x.surface);
    PaintMenuBar(cr, x.width, Ui().Titles(w), menu.active ? menu.popup : -1);
    cairo_destroy(cr);
    cairo_surface_flush(x.surface);
}

void X11Backend::ClosePopupWindow() {
    if (popup_.id != 0) {
        cairo_surface_destroy(popup_.surface);
        XDestroyWindow(display_, popup_.id);
    }
    popup_ = XSurface{};
    popupOf_ = -1;
}

// The popup stands under its title: its place in the main window's coordinates.
int X11Backend::PopupLeft(Window* w) {
    std::vector<int> edges = TitleEdges(w);
    int popup = Ui().menu.popup;
    return popup >= 0 && popup < static_cast<int>(edges.size()) ? edges[static_cast<size_t>(popup)]
                                                                : 0;
}

void X11Backend::ShowPopupWindow(Window* w) {
    ClosePopupWindow();
    XSurface& top = tops_[w->handle];
    std::vector<MenuItemInfo> items = Ui().OpenItems(w);
    int width = 120;
    int height = 4;
    for (const MenuItemInfo& i : items) {
        width = std::max(width, TextWidth(WithoutAmpersand(i.text)) + 56);
        height += (i.state & MF_SEPARATOR) != 0 ? kSeparatorHeight : kItemHeight;
    }
    int rx = 0;
    int ry = 0;
    ::Window child;
    XTranslateCoordinates(display_, top.id, RootWindow(display_, screen_), PopupLeft(w),
                          kMenuBarHeight, &rx, &ry, &child);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.event_mask = ExposureMask;
    popup_.width = width;
    popup_.height = height;
    popup_.id =
        XCreateWindow(display_, RootWindow(display_, screen_), rx, ry, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWEventMask, &a);
    popup_.surface = cairo_xlib_surface_create(display_, popup_.id,
                                               DefaultVisual(display_, screen_), width, height);
    XStoreName(display_, popup_.id, "Quorvel menu");
    XMapRaised(display_, popup_.id);
    popupOf_ = Ui().menu.popup;
    DrawPopup(w);
}

// The item under a point of the popup, from its top; -1 for none.
int X11Backend::ItemAt(Window* w, int y) {
    std::vector<MenuItemInfo> items = Ui().OpenItems(w);
    int top = 2;
    for (size_t i = 0; i < items.size(); ++i) {
        int h = (items[i].state & MF_SEPARATOR) != 0 ? kSeparatorHeight : kItemHeight;
        if (y >= top && y < top + h) return static_cast<int>(i);
        top += h;
    }
    return -1;
}

void X11Backend::DrawPopup(Window* w) {
    if (popup_.id == 0 || w == nullptr) return;
    std::vector<MenuItemInfo> items = Ui().OpenItems(w);
    cairo_t* cr = cairo_create(popup_.surface);
    SetColor(cr, kFace);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, popup_.width - 1, popup_.height - 1);
    cairo_stroke(cr);
    int top = 2;
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItemInfo& item = items[i];
        if ((item.state & MF_SEPARATOR) != 0) {
            cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
            cairo_rectangle(cr, 4, top + 4, popup_.width - 8, 1);
            cairo_fill(cr);
            top += kSeparatorHeight;
            continue;
        }
        bool hot = static_cast<int>(i) == Ui().menu.item;
        bool grayed = (item.state & (MF_GRAYED | MF_DISABLED)) != 0;
        if (hot) {
            SetColor(cr, kHighlight);
            cairo_rectangle(cr, 2, top, popup_.width - 4, kItemHeight);
            cairo_fill(cr);
        }
        if (hot) {
            cairo_set_source_rgb(cr, 1, 1, 1);
        } else if (grayed) {
            SetColor(cr, kGrayText);
        } else {
            cairo_set_source_rgb(cr, 0, 0, 0);
        }
        if ((item.state & MF_CHECKED) != 0) {
            // The check mark in the left margin.
            cairo_set_line_width(cr, 2);
            cairo_move_to(cr, 7, top + 11);
            cairo_line_to(cr, 10, top + 15);
            cairo_line_to(cr, 16, top + 6);
            cairo_stroke(cr);
        }
        DrawMenuText(cr, item.text, 24, top + 15);
        top += kItemHeight;
    }
    cairo_destroy(cr);
    cairo_surface_flush(popup_.surface);
}

Window* X11Backend::ListAt(Window* w, int x, int y) {
    for (Window* c : Children(w->handle)) {
        if (c->combo && c->visible && x >= c->x && x < c->x + c->width && y >= c->y &&
            y < c->y + kListFaceHeight) {
            return c;
        }
    }
    return nullptr;
}

void X11Backend::ShowDropWindow(Window* w) {
    CloseDropWindow();
    Window* list = FindWindow(Ui().drop.list);
    if (list == nullptr) return;
    XSurface& top = tops_[w->handle];
    int rx = 0;
    int ry = 0;
    ::Window child;
    int bar = w->menu != nullptr ? kMenuBarHeight : 0;
    XTranslateCoordinates(display_, top.id, RootWindow(display_, screen_), list->x,
                          list->y + kListFaceHeight + bar, &rx, &ry, &child);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.event_mask = ExposureMask;
    dropped_.width = list->width;
    dropped_.height = Ui().drop.rows * kListItemHeight + 2;
    dropped_.id = XCreateWindow(display_, RootWindow(display_, screen_), rx, ry,
                                static_cast<unsigned>(dropped_.width),
                                static_cast<unsigned>(dropped_.height), 0, CopyFromParent,
                                InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &a);
    dropped_.surface = cairo_xlib_surface_create(
        display_, dropped_.id, DefaultVisual(display_, screen_), dropped_.width, dropped_.height);
    // Named, as the menu is, for tools that look for it (the tests wait for it to show).
    XStoreName(display_, dropped_.id, "Quorvel list");
    XMapRaised(display_, dropped_.id);
    droppedList_ = Ui().drop.list;
    DrawDrop();
}

void X11Backend::CloseDropWindow() {
    if (dropped_.id != 0) {
        cairo_surface_destroy(dropped_.surface);
        XDestroyWindow(display_, dropped_.id);
    }
    dropped_ = XSurface{};
    droppedList_ = nullptr;
}

// The rows shown, from the first the rules say, with the highlighted one.
void X11Backend::DrawDrop() {
    const ListState& drop = Ui().drop;
    Window* list = FindWindow(drop.list);
    if (dropped_.id == 0 || list == nullptr) return;
    cairo_t* cr = cairo_create(dropped_.surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.48, 0.48, 0.48);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, dropped_.width - 1, dropped_.height - 1);
    cairo_stroke(cr);
    const auto& entries = list->combo->entries;
    for (int row = 0; row < drop.rows; ++row) {
        int i = drop.first + row;
        if (i >= static_cast<int>(entries.size())) break;
        int top = 1 + row * kListItemHeight;
        if (i == drop.hot) {
            SetColor(cr, kHighlight);
            cairo_rectangle(cr, 1, top, dropped_.width - 2, kListItemHeight);
            cairo_fill(cr);
            cairo_set_source_rgb(cr, 1, 1, 1);
        } else {
            cairo_set_source_rgb(cr, 0, 0, 0);
        }
        UseDefaultFont(cr);
        const std::string& text = entries[static_cast<size_t>(i)];
        std::string utf8 = ToUtf8(text.c_str(), static_cast<int>(text.size()));
        cairo_move_to(cr, 4, top + 13);
        cairo_show_text(cr, utf8.c_str());
    }
    cairo_destroy(cr);
    cairo_surface_flush(dropped_.surface);
}

void X11Backend::Layout(BoxWindow& b) {
    b.lines = BoxLines(b.box->text);
    int widest = 0;
    for (const std::string& l : b.lines)
        widest = std::max(widest, TextWidth(l));
    b.x.width = std::max(widest + 90, 260);
    b.x.height = static_cast<int>(b.lines.size()) * 17 + 96;
    b.button = RECT{b.x.width - 93, b.x.height - 37, b.x.width - 18, b.x.height - 14};
}

void X11Backend::DrawBox(BoxWindow& b) {
    cairo_t* cr = cairo_create(b.x.surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    SetColor(cr, kFace);
    cairo_rectangle(cr, 0, b.x.height - 51, b.x.width, 51);
    cairo_fill(cr);
    // The sign: a red disc with a cross, or a blue one with an "i".
    bool error = (b.box->type & MB_ICONERROR) != 0;
    bool info = (b.box->type & MB_ICONINFORMATION) != 0;
    if (error || info) {
        if (error) {
            cairo_set_source_rgb(cr, 0.85, 0.1, 0.1);
        } else {
            cairo_set_source_rgb(cr, 0.1, 0.35, 0.8);
        }
        cairo_arc(cr, 36, 38, 16, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, 3);
        if (error) {
            cairo_move_to(cr, 30, 32);
            cairo_line_to(cr, 42, 44);
            cairo_move_to(cr, 42, 32);
            cairo_line_to(cr, 30, 44);
            cairo_stroke(cr);
        } else {
            cairo_arc(cr, 36, 30, 2, 0, 2 * M_PI);
            cairo_fill(cr);
            cairo_rectangle(cr, 34.5, 34, 3, 12);
            cairo_fill(cr);
        }
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    UseDefaultFont(cr);
    int y = 34;
    for (const std::string& l : b.lines) {
        std::string utf8 = ToUtf8(l.c_str(), static_cast<int>(l.size()));
        cairo_move_to(cr, 66, y);
        cairo_show_text(cr, utf8.c_str());
        y += 17;
    }
    const RECT& r = b.button;
    // A pressed button turns light blue.
    cairo_set_source_rgb(cr, b.pressed ? 0.8 : 0.88, 0.88, b.pressed ? 0.97 : 0.88);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
    SetColor(cr, kHighlight);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.right - r.left - 1, r.bottom - r.top - 1);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    int w = TextWidth(cr, "OK");
    cairo_move_to(cr, (r.left + r.right - w) / 2.0, r.bottom - 7);
    cairo_show_text(cr, "OK");
    cairo_destroy(cr);
    cairo_surface_flush(b.x.surface);
}

} // namespace w32
