// Window classes and windows: creation, destruction, text, visibility.
#include "platform/posix/kernel32/serial.h"
#include "platform/posix/layer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <strings.h>

namespace w32 {

namespace {

struct WindowClass {
    WNDCLASSA wc{};
    std::string name;
};

// Handles are never reused in a process, so a stale handle is found stale.
constexpr uintptr_t kHandleBase = 0x10000;
constexpr uintptr_t kHandleStep = 0x10;

std::vector<std::unique_ptr<Window>> windows;
std::vector<WindowClass> classes;

WindowClass* FindClass(const char* name) {
    for (auto& c : classes) {
        if (strcasecmp(c.name.c_str(), name) == 0) return &c;
    }
    return nullptr;
}

void RegisterSystemClasses() {
    if (FindClass("COMBOBOX") != nullptr) return;
    WindowClass c;
    c.name = "COMBOBOX";
    c.wc.lpfnWndProc = ComboBoxProc;
    c.wc.style = CS_DBLCLKS;
    classes.push_back(c);
}

} // namespace

Window* FindWindow(HWND hwnd) {
    auto v = reinterpret_cast<uintptr_t>(hwnd);
    if (v < kHandleBase || (v - kHandleBase) % kHandleStep != 0) return nullptr;
    size_t index = (v - kHandleBase) / kHandleStep;
    if (index >= windows.size()) return nullptr;
    Window* w = windows[index].get();
    return w->alive ? w : nullptr;
}

Window* TopLevel(Window* w) {
    while (w != nullptr && w->parent != nullptr) {
        Window* p = FindWindow(w->parent);
        if (p == nullptr) return nullptr;
        w = p;
    }
    return w;
}

void OffsetInSurface(Window* w, int* dx, int* dy) {
    *dx = 0;
    *dy = 0;
    while (w != nullptr && w->parent != nullptr) {
        *dx += w->x;
        *dy += w->y;
        w = FindWindow(w->parent);
    }
}

std::vector<Window*> Children(HWND parent) {
    std::vector<Window*> out;
    for (auto& w : windows) {
        if (w->alive && w->parent == parent && parent != nullptr) out.push_back(w.get());
    }
    return out;
}

std::vector<Window*> AllWindows() {
    std::vector<Window*> out;
    for (auto& w : windows) {
        if (w->alive) out.push_back(w.get());
    }
    return out;
}

void EnsureSurface(Window* w) {
    if (w->parent != nullptr) return;
    int width = std::max(w->width, 1);
    int height = std::max(w->height, 1);
    if (w->surface != nullptr && cairo_image_surface_get_width(w->surface) == width &&
        cairo_image_surface_get_height(w->surface) == height) {
        return;
    }
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (w->surface != nullptr) {
        // What was on screen stays where it was until the repaint covers it.
        cairo_set_source_surface(cr, w->surface, 0, 0);
        cairo_paint(cr);
        cairo_surface_destroy(w->surface);
    }
    cairo_destroy(cr);
    w->surface = s;
}

void ResetLayer() {
    ForgetContexts();
    SetFileMoveFault(0);
    for (auto& w : windows) {
        if (w->surface != nullptr) cairo_surface_destroy(w->surface);
        w->surface = nullptr;
        w->alive = false;
        w->combo.reset();
        w->text.clear();
        w->text.shrink_to_fit();
    }
    // Keep the dead records so that their handles stay invalid.
    classes.clear();
    Boxes().clear();
    TextsDrawn().clear();
    Trace().clear();
    ClearMessages();
    ListedPorts().clear();
}

} // namespace w32

using namespace w32;

ATOM RegisterClassA(const WNDCLASSA* wc) {
    W32_REQUIRE(wc != nullptr && wc->lpszClassName != nullptr && wc->lpfnWndProc != nullptr,
                "a class without name or window procedure", 0);
    W32_REQUIRE(!IS_INTRESOURCE(wc->lpszClassName), "class atoms as names", 0);
    W32_REQUIRE(wc->cbClsExtra == 0 && wc->cbWndExtra == 0, "extra class or window bytes", 0);
    W32_REQUIRE((wc->style & ~(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS)) == 0, "class styles", 0);
    RegisterSystemClasses();
    if (FindClass(wc->lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass c;
    c.wc = *wc;
    c.name = wc->lpszClassName;
    c.wc.lpszClassName = nullptr;
    classes.push_back(c);
    return static_cast<ATOM>(0xC000 + classes.size());
}

// The program's one icon, IDI_ICON1, when it was built with one; null otherwise, and the
// desktop's default is shown.
HICON LoadIconA(HINSTANCE, LPCSTR name) {
    bool embedded = &kIconImageCount != nullptr && kIconImageCount > 0;
    if (!embedded || name == nullptr || IS_INTRESOURCE(name) || std::strcmp(name, "IDI_ICON1") != 0)
        return nullptr;
    return reinterpret_cast<HICON>(kProgramIcon);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    W32_REQUIRE(instance == nullptr && name == IDC_ARROW, "cursors other than IDC_ARROW", nullptr);
    return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(32512));
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    W32_REQUIRE(exStyle == 0, "extended window styles", nullptr);
    W32_REQUIRE(className != nullptr && !IS_INTRESOURCE(className), "class atoms", nullptr);
    RegisterSystemClasses();
    WindowClass* cls = FindClass(className);
    if (cls == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    W32_REQUIRE(!child || FindWindow(parent) != nullptr, "a child window without a parent",
                nullptr);
    W32_REQUIRE(child || parent == nullptr, "owned top-level windows", nullptr);
    W32_REQUIRE(child || menu == nullptr, "a menu handle for a top-level window", nullptr);

    auto w = std::make_unique<Window>();
    w->handle = reinterpret_cast<HWND>(kHandleBase + kHandleStep * windows.size());
    w->className = cls->name;
    w->proc = cls->wc.lpfnWndProc;
    w->classStyle = cls->wc.style;
    w->icon = cls->wc.hIcon;
    w->background = cls->wc.hbrBackground;
    w->text = windowName != nullptr ? windowName : "";
    w->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    w->parent = child ? parent : nullptr;
    if (child) {
        w->id = static_cast<int>(reinterpret_cast<uintptr_t>(menu));
        w->x = x;
        w->y = y;
        w->width = width;
        w->height = height;
    } else {
        w->x = x == CW_USEDEFAULT ? 0 : x;
        w->y = y == CW_USEDEFAULT ? 0 : y;
        int outerW = width == CW_USEDEFAULT ? 640 : width;
        int outerH = height == CW_USEDEFAULT ? 480 : height;
        if (cls->wc.lpszMenuName != nullptr) {
            W32_REQUIRE(IS_INTRESOURCE(cls->wc.lpszMenuName), "menus named by text", nullptr);
            w->menu = LoadMenuResource(LOWORD(reinterpret_cast<uintptr_t>(cls->wc.lpszMenuName)));
        }
        w->width = outerW;
        w->height = std::max(outerH - (w->menu != nullptr ? kMenuBarHeight : 0), 0);
    }
    if (w->className == "COMBOBOX") {
        W32_REQUIRE(child, "a top-level combo box", nullptr);
    }
    HWND hwnd = w->handle;
    Window* raw = w.get();
    windows.push_back(std::move(w));
    EnsureSurface(raw);

    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cx = raw->width;
    cs.cy = raw->height;
    cs.x = raw->x;
    cs.y = raw->y;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    auto lp = reinterpret_cast<LPARAM>(&cs);
    if (!SendMessageA(hwnd, WM_NCCREATE, 0, lp)) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (SendMessageA(hwnd, WM_CREATE, 0, lp) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (FindWindow(hwnd) == nullptr) return nullptr;
    SendMessageA(hwnd, WM_SIZE, 0, MAKELPARAM(raw->width, raw->height));
    SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(raw->x, raw->y));
    if ((style & WS_VISIBLE) != 0) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // Win32's order: the window hears WM_DESTROY before its children do.
    w->visible = false;
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    for (Window* c : Children(hwnd))
        DestroyWindow(c->handle);
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    RemoveTimers(hwnd);
    if (w->surface != nullptr) {
        cairo_surface_destroy(w->surface);
        w->surface = nullptr;
    }
    // The record stays, so that the handle stays invalid; what it held goes.
    w->alive = false;
    w->combo.reset();
    w->text.clear();
    w->text.shrink_to_fit();
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return FindWindow(hwnd) != nullptr; }

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w != nullptr && w->enabled;
}

BOOL IsWindowVisible(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    while (w != nullptr) {
        if (!w->visible) return FALSE;
        if (w->parent == nullptr) return TRUE;
        w = FindWindow(w->parent);
    }
    return FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr) return FALSE;
    W32_REQUIRE(cmdShow == SW_SHOW || cmdShow == SW_SHOWNORMAL || cmdShow == SW_SHOWDEFAULT ||
                    cmdShow == SW_HIDE,
                "show modes other than show, normal, default and hide", FALSE);
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    bool show = cmdShow != SW_HIDE;
    if (show == w->visible) return wasVisible;
    SendMessageA(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (FindWindow(hwnd) == nullptr) return wasVisible;
    w->visible = show;
    if (show) {
        InvalidateRect(hwnd, nullptr, TRUE);
        if (!w->shownOnce && w->parent == nullptr) CurrentBackend().WindowShown(w);
        w->shownOnce = true;
    } else if (w->parent != nullptr) {
        Window* p = FindWindow(w->parent);
        RECT r{w->x, w->y, w->x + w->width, w->y + w->height};
        if (p != nullptr) InvalidateRect(p->handle, &r, TRUE);
    }
    return wasVisible;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->text = text != nullptr ? text : "";
    if (w->parent == nullptr) CurrentBackend().TitleChanged(w);
    return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr || buffer == nullptr || size <= 0) return 0;
    size_t n = std::min(w->text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, w->text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr || rect == nullptr) return FALSE;
    *rect = RECT{0, 0, w->width, w->height};
    return TRUE;
}

HWND GetParent(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w != nullptr ? w->parent : nullptr;
}
