// The X11 backend's own declarations, shared by its three files: x11.cpp (the
// connection, its events, and the client area's pixels put on the screen), x11_wm.cpp
// (the windows the window manager handles: made, named, hinted, focused) and
// x11_draw.cpp (what the layer draws itself: the menu bar, its popups, the dropped list
// and the message boxes).
#pragma once

#include "platform/posix/layer.h"
#include "platform/posix/user32/ui_rules.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <cairo.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace w32 {

// A window of the X server, drawn through cairo.
struct XSurface {
    ::Window id = 0;
    cairo_surface_t* surface = nullptr;
    int width = 0;
    int height = 0;
    // What the screen shows of the client area, as last put there; rectangles whose
    // pixels the server has lost (exposed) are put again whatever they hold.
    std::vector<uint32_t> shown;
    int shownWidth = 0;
    std::vector<RECT> lost;
    // The pixels put through shared memory (MIT-SHM): a request of a few bytes instead
    // of the pixels themselves through the server's socket.
    XShmSegmentInfo shm{};
    XImage* shmImage = nullptr;
};

class X11Backend : public Backend {
  public:
    explicit X11Backend(Display* d);
    ~X11Backend() override;
    X11Backend(const X11Backend&) = delete;
    X11Backend& operator=(const X11Backend&) = delete;

    uint64_t Now() override { return MonotonicMs() - start_; }
    void Sleep(uint64_t ms) override;
    void WaitForEvent(int64_t deadline) override;
    void PollEvents() override;
    void Present(Window* w, const RECT& r) override;
    void Presented() override;
    void WindowShown(Window* w) override;
    void TitleChanged(Window* w) override;
    void BoxOpened(Box& box) override;
    void BoxClosed(Box& box) override;

  private:
    struct BoxWindow {
        std::shared_ptr<Box> box;
        XSurface x;
        std::vector<std::string> lines;
        RECT button{};
        bool pressed = false;
    };

    // The connection, its events and the pixels (x11.cpp).
    bool ImagesMatchTheScreen();
    void DropShm(XSurface& x);
    bool EnsureShm(XSurface& x, int width, int height);
    void PutPixels(Window* w, XSurface& x, const RECT& r, int bar);
    void Put(Window* w, XSurface& x, const RECT& r, int bar, const uint32_t* pixels, int stride);
    Window* MainOf(::Window id);
    void Handle(XEvent& e);
    void Resized(Window* w, int width, int height);
    template <typename Act> void Apply(Window* w, Act act);
    void Grab(Window* w, bool on);
    static UiKeyPress KeyOf(XKeyEvent& key);
    bool InPopup(Window* w, int x, int y);
    int DropTop(Window* w);
    bool InDrop(Window* w, int x, int y);
    void Press(Window* w, XButtonEvent& b);
    void Release(Window* w, XButtonEvent& b);
    void Motion(Window* w, int x, int y);
    void Answer(BoxWindow& b);
    void HandleBox(BoxWindow& b, XEvent& e);
    Window* Main() { return tops_.empty() ? nullptr : FindWindow(tops_.begin()->first); }

    // The window manager's part (x11_wm.cpp).
    void SetIcon(::Window id);
    void SetTitle(::Window id, const std::string& latin1);
    void Focus(::Window id);

    // What the layer draws itself (x11_draw.cpp).
    std::vector<int> TitleEdges(Window* w);
    void DrawMenuBar(Window* w);
    void ClosePopupWindow();
    int PopupLeft(Window* w);
    void ShowPopupWindow(Window* w);
    int ItemAt(Window* w, int y);
    void DrawPopup(Window* w);
    Window* ListAt(Window* w, int x, int y);
    void ShowDropWindow(Window* w);
    void CloseDropWindow();
    void DrawDrop();
    void Layout(BoxWindow& b);
    void DrawBox(BoxWindow& b);

    Display* display_;
    int screen_ = 0;
    GC gc_ = nullptr;
    // The window's pixels go to the screen as they are (cairo's RGB24 is the screen's
    // own 24-bit TrueColor with 32 bits a pixel), with no cairo context per update.
    bool directPut_ = false;
    bool put_ = false;    // something was put since the last flush
    bool shared_ = false; // the server takes pixels from shared memory
    uint64_t start_;
    Atom wmDelete_, wmProtocols_, netWmName_, utf8_;
    bool reportStartup_ = false;
    bool reported_ = false;
    std::map<HWND, XSurface> tops_;
    std::vector<BoxWindow> boxes_;
    // The menu's popup and the dropped list as windows of the server; what they show and
    // where the keyboard is are the rules' (Ui()).
    XSurface popup_;
    int popupOf_ = -1; // the title whose popup the window shows
    XSurface dropped_;
    HWND droppedList_ = nullptr;
    bool grabbed_ = false; // the pointer is the menu's or the list's while they are open
    int windowX_ = -1;     // where the main window stands, to close menus when it moves
    int windowY_ = -1;
    Atom netWmPing_ = 0;
    Atom netWmPid_ = 0;
};

} // namespace w32
