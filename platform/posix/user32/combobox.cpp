// The COMBOBOX control as the program creates it: a drop-down list without an edit
// field, sorted, holding its entries as text.
#include "platform/posix/gdi32/gdi.h"

#include <cstring>
#include <strings.h>

namespace w32 {

namespace {

constexpr DWORD kSupportedStyles =
    WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS;
// A closed drop-down list shows one line; the rest of its height is the list that drops.
constexpr int kClosedHeight = 21;

void Notify(Window* w, WORD code) {
    SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code),
                 reinterpret_cast<LPARAM>(w->handle));
}

} // namespace

void PaintComboBox(Window* w) {
    Window* parent = FindWindow(w->parent);
    if (parent == nullptr || !IsWindowVisible(w->handle)) return;
    // The control draws over its part of the parent's client area.
    HDC hdc = GetDC(parent->handle);
    int x = w->x;
    int y = w->y;
    int right = w->x + w->width;
    int bottom = w->y + kClosedHeight;
    HBRUSH face = CreateSolidBrush(RGB(255, 255, 255));
    HBRUSH edge = CreateSolidBrush(RGB(122, 122, 122));
    HGDIOBJ oldBrush = SelectObject(hdc, edge);
    HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(NULL_PEN));
    Rectangle(hdc, x, y, right + 1, bottom + 1);
    SelectObject(hdc, face);
    Rectangle(hdc, x + 1, y + 1, right, bottom);
    // The drop-down arrow.
    SelectObject(hdc, GetStockObject(BLACK_BRUSH));
    int ax = right - 13;
    int ay = y + kClosedHeight / 2 - 2;
    POINT arrow[3] = {{ax - 4, ay}, {ax + 4, ay}, {ax, ay + 4}};
    Polygon(hdc, arrow, 3);
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
    if (w->combo->selected >= 0) {
        const std::string& text = w->combo->entries[static_cast<size_t>(w->combo->selected)];
        SetBkMode(hdc, TRANSPARENT);
        SetTextAlign(hdc, TA_LEFT | TA_BASELINE);
        TextOutA(hdc, x + 4, y + 15, text.c_str(), static_cast<int>(text.size()));
    }
    ReleaseDC(parent->handle, hdc);
    DeleteObject(face);
    DeleteObject(edge);
}

void ChooseComboEntry(Window* w, int index) {
    if (!w->combo || index < 0 || index >= static_cast<int>(w->combo->entries.size())) return;
    Notify(w, CBN_DROPDOWN);
    if (FindWindow(w->handle) == nullptr) return;
    w->combo->selected = index;
    PaintComboBox(w);
    Notify(w, CBN_SELCHANGE);
    if (FindWindow(w->handle) == nullptr) return;
    Notify(w, CBN_SELENDOK);
    if (FindWindow(w->handle) == nullptr) return;
    Notify(w, CBN_CLOSEUP);
}

LRESULT ComboBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr) return 0;
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        W32_REQUIRE((static_cast<DWORD>(cs->style) & ~kSupportedStyles) == 0 &&
                        (cs->style & CBS_DROPDOWNLIST) == CBS_DROPDOWNLIST &&
                        (cs->style & CBS_HASSTRINGS) != 0,
                    "combo box styles other than a drop-down list with strings", FALSE);
        w->combo = std::make_unique<ComboBox>();
        return TRUE;
    }
    if (!w->combo) return DefWindowProcA(hwnd, message, wParam, lParam);
    ComboBox& c = *w->combo;
    switch (message) {
    case CB_ADDSTRING: {
        W32_REQUIRE(lParam != 0, "a null entry", CB_ERR);
        std::string text = reinterpret_cast<const char*>(lParam);
        // CBS_SORT: case-insensitive order; an entry equal to others goes after them.
        size_t at = 0;
        while (at < c.entries.size() && strcasecmp(c.entries[at].c_str(), text.c_str()) <= 0)
            ++at;
        c.entries.insert(c.entries.begin() + static_cast<long>(at), text);
        if (c.selected >= static_cast<int>(at)) ++c.selected;
        return static_cast<LRESULT>(at);
    }
    case CB_GETCOUNT:
        return static_cast<LRESULT>(c.entries.size());
    case CB_GETCURSEL:
        return c.selected;
    case CB_SETCURSEL: {
        // No notice goes to the parent: only a user's choice sends one.
        auto index = static_cast<int>(static_cast<intptr_t>(wParam));
        bool valid = index >= 0 && index < static_cast<int>(c.entries.size());
        c.selected = valid ? index : CB_ERR;
        PaintComboBox(w);
        return valid ? index : CB_ERR;
    }
    case CB_GETLBTEXT: {
        auto index = static_cast<size_t>(wParam);
        if (index >= c.entries.size()) return CB_ERR;
        W32_REQUIRE(lParam != 0, "a null buffer", CB_ERR);
        std::memcpy(reinterpret_cast<char*>(lParam), c.entries[index].c_str(),
                    c.entries[index].size() + 1);
        return static_cast<LRESULT>(c.entries[index].size());
    }
    case CB_GETLBTEXTLEN: {
        auto index = static_cast<size_t>(wParam);
        return index < c.entries.size() ? static_cast<LRESULT>(c.entries[index].size()) : CB_ERR;
    }
    case WM_KEYDOWN: {
        // On the closed list the arrow keys move the selection, and that is a user's
        // choice: the parent hears of it.
        if (wParam != VK_DOWN && wParam != VK_UP) return 0;
        int next = c.selected + (wParam == VK_DOWN ? 1 : -1);
        if (c.selected == CB_ERR) next = 0;
        if (next < 0 || next >= static_cast<int>(c.entries.size()) || next == c.selected) return 0;
        c.selected = next;
        PaintComboBox(w);
        Notify(w, CBN_SELCHANGE);
        return 0;
    }
    case CB_RESETCONTENT:
        c.entries.clear();
        c.selected = CB_ERR;
        PaintComboBox(w);
        return TRUE;
    default:
        W32_REQUIRE(message < CB_ADDSTRING || message > 0x0170,
                    "combo box messages the layer lacks", CB_ERR);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

} // namespace w32
