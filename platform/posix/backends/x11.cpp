// The X11 backend's connection: the server's events turned into the program's input (through
// the ui rules for menus and the list), the wait for them, and the client area's pixels put
// on the screen, through shared memory when the server takes it.
#include "platform/posix/backends/x11.h"

#include "platform/posix/backends/x11_backend.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace w32 {

namespace {

// A window that went away between two requests is no reason to end the program.
bool xErrorSeen = false;
int ErrorHandler(Display*, XErrorEvent*) {
    xErrorSeen = true;
    return 0;
}

} // namespace

X11Backend::X11Backend(Display* d) : display_(d), start_(MonotonicMs()) {
    screen_ = DefaultScreen(d);
    wmDelete_ = XInternAtom(d, "WM_DELETE_WINDOW", False);
    wmProtocols_ = XInternAtom(d, "WM_PROTOCOLS", False);
    netWmName_ = XInternAtom(d, "_NET_WM_NAME", False);
    utf8_ = XInternAtom(d, "UTF8_STRING", False);
    netWmPing_ = XInternAtom(d, "_NET_WM_PING", False);
    netWmPid_ = XInternAtom(d, "_NET_WM_PID", False);
    XSetErrorHandler(ErrorHandler);
    reportStartup_ = std::getenv("QUORVEL_REPORT_STARTUP") != nullptr;
    directPut_ = ImagesMatchTheScreen();
    shared_ = directPut_ && XShmQueryExtension(d) == True;
    gc_ = XCreateGC(d, RootWindow(d, screen_), 0, nullptr);
}

// At the process's end: what the windows hold is given back, so that a leak checker
// sees nothing lost.
X11Backend::~X11Backend() {
    ClosePopupWindow();
    CloseDropWindow();
    for (auto& [hwnd, x] : tops_) {
        DropShm(x);
        if (x.surface != nullptr) cairo_surface_destroy(x.surface);
    }
    for (BoxWindow& b : boxes_) {
        if (b.x.surface != nullptr) cairo_surface_destroy(b.x.surface);
    }
    // The connection itself ends with the process (cairo keeps its own state of it
    // until then).
}

// Runs what a person did through the rules, then shows what changed: the bar, the
// popup, the dropped list, and the pointer taken while one of them is open.
template <typename Act> void X11Backend::Apply(Window* w, Act act) {
    const MenuState menuBefore = Ui().menu;
    const ListState dropBefore = Ui().drop;
    act();
    const MenuState& menu = Ui().menu;
    const ListState& drop = Ui().drop;
    if (!(menu == menuBefore)) DrawMenuBar(w);
    if (!menu.open) {
        ClosePopupWindow();
    } else if (popup_.id == 0 || popupOf_ != menu.popup) {
        ShowPopupWindow(w);
    } else if (menu.item != menuBefore.item) {
        DrawPopup(w);
    }
    if (!drop.open) {
        CloseDropWindow();
    } else if (dropped_.id == 0 || droppedList_ != drop.list) {
        ShowDropWindow(w);
    } else if (!(drop == dropBefore)) {
        DrawDrop();
    }
    Grab(w, menu.open || drop.open);
}

// What was drawn has been shown before the sleep (ShowDrawing).
void X11Backend::Sleep(uint64_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void X11Backend::WaitForEvent(int64_t deadline) {
    XFlush(display_);
    if (XPending(display_) == 0) {
        int timeout = -1;
        if (deadline >= 0) {
            int64_t left = deadline - static_cast<int64_t>(Now());
            timeout = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        poll(&p, 1, timeout);
    }
    PollEvents();
    XFlush(display_);
}

void X11Backend::PollEvents() {
    while (XPending(display_) > 0) {
        XEvent e;
        XNextEvent(display_, &e);
        Handle(e);
    }
}

void X11Backend::Present(Window* w, const RECT& r) {
    auto it = tops_.find(w->handle);
    if (it == tops_.end() || w->surface == nullptr) return;
    XSurface& x = it->second;
    int bar = w->menu != nullptr ? kMenuBarHeight : 0;
    if (directPut_) {
        PutPixels(w, x, r, bar);
        return;
    }
    cairo_t* cr = cairo_create(x.surface);
    cairo_set_source_surface(cr, w->surface, 0, bar);
    cairo_rectangle(cr, r.left, r.top + bar, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(x.surface);
    put_ = true;
    if (reportStartup_ && !reported_) {
        reported_ = true;
        std::fprintf(stderr, "quorvel: first paint %llu ms after start\n",
                     static_cast<unsigned long long>(Now()));
    }
}

// A flush costs the server's socket a write and a read: only for something put.
void X11Backend::Presented() {
    if (!put_) return;
    put_ = false;
    XFlush(display_);
}

bool X11Backend::ImagesMatchTheScreen() {
    Visual* v = DefaultVisual(display_, screen_);
    if (DefaultDepth(display_, screen_) != 24 || v->red_mask != 0xFF0000 ||
        v->green_mask != 0xFF00 || v->blue_mask != 0xFF) {
        return false;
    }
    const uint32_t probe = 1;
    bool littleEndian = *reinterpret_cast<const unsigned char*>(&probe) == 1;
    if (ImageByteOrder(display_) != (littleEndian ? LSBFirst : MSBFirst)) return false;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display_, &count);
    bool match = false;
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == 24) match = formats[i].bits_per_pixel == 32;
    }
    if (formats != nullptr) XFree(formats);
    return match;
}

void X11Backend::DropShm(XSurface& x) {
    if (x.shmImage == nullptr) return;
    XShmDetach(display_, &x.shm);
    XSync(display_, False);
    x.shmImage->data = nullptr; // the segment's, not the image's
    XDestroyImage(x.shmImage);
    shmdt(x.shm.shmaddr);
    x.shmImage = nullptr;
    x.shm = XShmSegmentInfo{};
}

// A segment of the window's size, shared with the server; false (and no more tries)
// when the server cannot take it (a display on another machine).
bool X11Backend::EnsureShm(XSurface& x, int width, int height) {
    if (!shared_) return false;
    if (x.shmImage != nullptr && x.shmImage->width == width && x.shmImage->height == height)
        return true;
    DropShm(x);
    XImage* image =
        XShmCreateImage(display_, DefaultVisual(display_, screen_), 24, ZPixmap, nullptr, &x.shm,
                        static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (image == nullptr) {
        shared_ = false;
        return false;
    }
    x.shm.shmid =
        shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
    void* memory = x.shm.shmid >= 0 ? shmat(x.shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
    if (memory == reinterpret_cast<void*>(-1)) {
        if (x.shm.shmid >= 0) shmctl(x.shm.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        shared_ = false;
        return false;
    }
    x.shm.shmaddr = image->data = static_cast<char*>(memory);
    x.shm.readOnly = False;
    xErrorSeen = false;
    XShmAttach(display_, &x.shm);
    XSync(display_, False);
    // Gone once both sides have let go of it.
    shmctl(x.shm.shmid, IPC_RMID, nullptr);
    x.shmImage = image;
    if (xErrorSeen) {
        DropShm(x);
        shared_ = false;
        return false;
    }
    return true;
}

// Only what differs from what the screen shows goes to the server: each run of
// changed rows, from its first changed column to its last.
void X11Backend::PutPixels(Window* w, XSurface& x, const RECT& r, int bar) {
    cairo_surface_flush(w->surface);
    const int width = cairo_image_surface_get_width(w->surface);
    const int height = cairo_image_surface_get_height(w->surface);
    const int left = std::max(0, static_cast<int>(r.left));
    const int top = std::max(0, static_cast<int>(r.top));
    const int right = std::min(width, static_cast<int>(r.right));
    const int bottom = std::min(height, static_cast<int>(r.bottom));
    if (right <= left || bottom <= top) return;
    const auto* pixels =
        reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(w->surface));
    const int stride = cairo_image_surface_get_stride(w->surface) / 4;
    // A new window, or a new size: the whole of it goes to the screen once.
    if (x.shownWidth != width || x.shown.size() != static_cast<size_t>(width) * height) {
        x.shown.assign(static_cast<size_t>(width) * height, 0);
        x.shownWidth = width;
        x.lost.clear();
        Put(w, x, RECT{0, 0, width, height}, bar, pixels, stride);
        return;
    }
    // What the server lost (exposed) goes again as it is.
    for (const RECT& l : x.lost) {
        RECT again{std::max<LONG>(l.left, 0), std::max<LONG>(l.top, 0),
                   std::min<LONG>(l.right, width), std::min<LONG>(l.bottom, height)};
        if (again.right > again.left && again.bottom > again.top)
            Put(w, x, again, bar, pixels, stride);
    }
    x.lost.clear();
    // The changed columns of a row, or an empty span; most rows have none, and one
    // comparison of the whole row tells.
    auto changed = [&](int y, int* a, int* b) {
        const uint32_t* now = pixels + y * stride;
        const uint32_t* was = x.shown.data() + static_cast<ptrdiff_t>(y) * width;
        if (std::memcmp(now + left, was + left, sizeof(uint32_t) * (right - left)) == 0)
            return false;
        int from = left;
        while (now[from] == was[from])
            ++from;
        int to = right;
        while (now[to - 1] == was[to - 1])
            --to;
        *a = from;
        *b = to;
        return true;
    };
    int y = top;
    while (y < bottom) {
        int a = 0;
        int b = 0;
        if (!changed(y, &a, &b)) {
            ++y;
            continue;
        }
        // A run of changed rows; a few unchanged ones inside it do not end it.
        RECT run{a, y, b, y + 1};
        int quiet = 0;
        for (++y; y < bottom && quiet <= 4; ++y) {
            if (changed(y, &a, &b)) {
                run.left = std::min<LONG>(run.left, a);
                run.right = std::max<LONG>(run.right, b);
                run.bottom = y + 1;
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        Put(w, x, run, bar, pixels, stride);
    }
}

// One rectangle of the window's pixels to the server, and to what it shows.
void X11Backend::Put(Window* w, XSurface& x, const RECT& r, int bar, const uint32_t* pixels,
                     int stride) {
    const int width = x.shownWidth;
    const int height = static_cast<int>(x.shown.size()) / std::max(width, 1);
    for (LONG y = r.top; y < r.bottom; ++y)
        std::copy(pixels + y * stride + r.left, pixels + y * stride + r.right,
                  x.shown.begin() + static_cast<ptrdiff_t>(y) * width + r.left);
    const auto w32 = static_cast<unsigned>(r.right - r.left);
    const auto h32 = static_cast<unsigned>(r.bottom - r.top);
    put_ = true;
    if (EnsureShm(x, width, height)) {
        const int shmStride = x.shmImage->bytes_per_line / 4;
        auto* shared = reinterpret_cast<uint32_t*>(x.shmImage->data);
        for (LONG y = r.top; y < r.bottom; ++y)
            std::copy(pixels + y * stride + r.left, pixels + y * stride + r.right,
                      shared + static_cast<ptrdiff_t>(y) * shmStride + r.left);
        XShmPutImage(display_, x.id, gc_, x.shmImage, r.left, r.top, r.left, r.top + bar, w32, h32,
                     False);
    } else {
        XImage* image =
            XCreateImage(display_, DefaultVisual(display_, screen_), 24, ZPixmap, 0,
                         reinterpret_cast<char*>(cairo_image_surface_get_data(w->surface)),
                         static_cast<unsigned>(width), static_cast<unsigned>(height), 32,
                         cairo_image_surface_get_stride(w->surface));
        if (image == nullptr) return;
        XPutImage(display_, x.id, gc_, image, r.left, r.top, r.left, r.top + bar, w32, h32);
        image->data = nullptr; // the pixels are the surface's
        XDestroyImage(image);
    }
    if (reportStartup_ && !reported_) {
        reported_ = true;
        std::fprintf(stderr, "quorvel: first paint %llu ms after start\n",
                     static_cast<unsigned long long>(Now()));
    }
}

Window* X11Backend::MainOf(::Window id) {
    for (auto& [hwnd, x] : tops_) {
        if (x.id == id) return FindWindow(hwnd);
    }
    return nullptr;
}

void X11Backend::Handle(XEvent& e) {
    for (BoxWindow& b : boxes_) {
        if (e.xany.window == b.x.id) {
            HandleBox(b, e);
            return;
        }
    }
    if (e.xany.window == popup_.id && popup_.id != 0) {
        if (e.type == Expose) DrawPopup(Main());
        return;
    }
    if (e.xany.window == dropped_.id && dropped_.id != 0) {
        if (e.type == Expose) DrawDrop();
        return;
    }
    Window* w = MainOf(e.xany.window);
    if (w == nullptr) return;
    switch (e.type) {
    case Expose: {
        int bar = w->menu != nullptr ? kMenuBarHeight : 0;
        if (e.xexpose.y < bar) DrawMenuBar(w);
        RECT r{e.xexpose.x, e.xexpose.y - bar, e.xexpose.x + e.xexpose.width,
               e.xexpose.y - bar + e.xexpose.height};
        HWND hwnd = w->handle;
        if (r.bottom > 0) {
            tops_[hwnd].lost.push_back(r);
            // What the server lost is a paint request for the window.
            PushInput([hwnd, r] { InvalidateRect(hwnd, &r, FALSE); });
        }
        break;
    }
    case ConfigureNotify:
        // A window that moves takes its menus and list with it: they close, as on
        // Windows.
        if ((windowX_ >= 0 && e.xconfigure.x != windowX_) ||
            (windowY_ >= 0 && e.xconfigure.y != windowY_)) {
            Apply(w, [] { Ui().Dismiss(); });
        }
        windowX_ = e.xconfigure.x;
        windowY_ = e.xconfigure.y;
        Resized(w, e.xconfigure.width, e.xconfigure.height);
        break;
    case FocusOut:
        if (e.xfocus.mode == NotifyNormal || e.xfocus.mode == NotifyWhileGrabbed)
            Apply(w, [] { Ui().Dismiss(); });
        break;
    case ClientMessage:
        if (static_cast<Atom>(e.xclient.data.l[0]) == netWmPing_) {
            // The desktop asks whether the program is alive: it answers from its loop.
            XEvent reply = e;
            reply.xclient.window = RootWindow(display_, screen_);
            XSendEvent(display_, reply.xclient.window, False,
                       SubstructureNotifyMask | SubstructureRedirectMask, &reply);
        } else if (static_cast<Atom>(e.xclient.data.l[0]) == wmDelete_ && w->enabled) {
            HWND hwnd = w->handle;
            PushInput([hwnd] { PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }, QS_MOUSEBUTTON);
        }
        break;
    case KeyPress:
        NoteInput(QS_KEY);
        if (w->enabled) Apply(w, [&] { Ui().KeyDown(w, KeyOf(e.xkey)); });
        break;
    case KeyRelease:
        if (w->enabled) Apply(w, [&] { Ui().KeyUp(w, KeyOf(e.xkey)); });
        break;
    case ButtonPress:
        NoteInput(QS_MOUSEBUTTON);
        if (w->enabled) Press(w, e.xbutton);
        break;
    case ButtonRelease:
        if (w->enabled) Release(w, e.xbutton);
        break;
    case MotionNotify:
        if (w->enabled) Motion(w, e.xmotion.x, e.xmotion.y);
        break;
    default:
        break;
    }
}

void X11Backend::Resized(Window* w, int width, int height) {
    XSurface& x = tops_[w->handle];
    if (width == x.width && height == x.height) return;
    x.width = width;
    x.height = height;
    cairo_xlib_surface_set_size(x.surface, width, height);
    DrawMenuBar(w);
    HWND hwnd = w->handle;
    int clientHeight = std::max(height - (w->menu != nullptr ? kMenuBarHeight : 0), 0);
    PushInput([hwnd, width, clientHeight] {
        Window* win = FindWindow(hwnd);
        if (win == nullptr) return;
        win->width = width;
        win->height = clientHeight;
        EnsureSurface(win);
        // The class redraws the whole window when its size changes.
        InvalidateRect(hwnd, nullptr, TRUE);
        SendMessageA(hwnd, WM_SIZE, 0, MAKELPARAM(width, clientHeight));
    });
}

void X11Backend::Grab(Window* w, bool on) {
    if (on == grabbed_) return;
    grabbed_ = on;
    if (on) {
        XGrabPointer(display_, tops_[w->handle].id, False,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime);
    } else {
        XUngrabPointer(display_, CurrentTime);
    }
}

UiKeyPress X11Backend::KeyOf(XKeyEvent& key) {
    KeySym sym = XLookupKeysym(&key, 0);
    UiKeyPress k;
    k.alt = (key.state & Mod1Mask) != 0;
    switch (sym) {
    case XK_Alt_L:
    case XK_Alt_R:
        k.key = UiKey::Alt;
        break;
    case XK_Left:
        k.key = UiKey::Left;
        break;
    case XK_Right:
        k.key = UiKey::Right;
        break;
    case XK_Up:
        k.key = UiKey::Up;
        break;
    case XK_Down:
        k.key = UiKey::Down;
        break;
    case XK_Return:
    case XK_KP_Enter:
        k.key = UiKey::Enter;
        break;
    case XK_space:
        k.key = UiKey::Space;
        break;
    case XK_Escape:
        k.key = UiKey::Escape;
        break;
    case XK_F4:
        k.key = UiKey::F4;
        break;
    default:
        if (sym > 0x20 && sym < 0x7F) {
            k.key = UiKey::Letter;
            k.letter = static_cast<char>(std::tolower(static_cast<int>(sym)));
        }
        break;
    }
    return k;
}

bool X11Backend::InPopup(Window* w, int x, int y) {
    int left = PopupLeft(w);
    return popup_.id != 0 && x >= left && x < left + popup_.width && y >= kMenuBarHeight &&
           y < kMenuBarHeight + popup_.height;
}

// The dropped list's first row stands this far down the main window.
int X11Backend::DropTop(Window* w) {
    Window* list = FindWindow(Ui().drop.list);
    int bar = w->menu != nullptr ? kMenuBarHeight : 0;
    return list != nullptr ? list->y + kListFaceHeight + bar + 1 : 0;
}

bool X11Backend::InDrop(Window* w, int x, int y) {
    Window* list = FindWindow(Ui().drop.list);
    int top = DropTop(w) - 1;
    return dropped_.id != 0 && list != nullptr && x >= list->x && x < list->x + list->width &&
           y >= top && y < top + dropped_.height;
}

// The pointer is the main window's while a menu or the list is open, so every press,
// release and motion comes here, in the main window's coordinates.
void X11Backend::Press(Window* w, XButtonEvent& b) {
    if (b.button == Button4 || b.button == Button5) {
        if (InDrop(w, b.x, b.y)) Apply(w, [&] { Ui().Scroll(b.button == Button4 ? -3 : 3); });
        return;
    }
    if (b.button != Button1 || InPopup(w, b.x, b.y) || InDrop(w, b.x, b.y)) return;
    int bar = w->menu != nullptr ? kMenuBarHeight : 0;
    if (b.y >= 0 && b.y < bar) {
        std::vector<int> edges = TitleEdges(w);
        int title = -1;
        for (size_t i = 0; i + 1 < edges.size(); ++i) {
            if (b.x >= edges[i] && b.x < edges[i + 1]) title = static_cast<int>(i);
        }
        Apply(w, [&] { Ui().ClickTitle(w, title); });
        return;
    }
    Window* list = ListAt(w, b.x, b.y - bar);
    Apply(w, [&] { Ui().ClickClient(w, list); });
}

void X11Backend::Release(Window* w, XButtonEvent& b) {
    if (b.button != Button1) return;
    if (InPopup(w, b.x, b.y)) {
        int item = ItemAt(w, b.y - kMenuBarHeight);
        Apply(w, [&] { Ui().ReleaseOnItem(w, item); });
    } else if (InDrop(w, b.x, b.y)) {
        int row = (b.y - DropTop(w)) / kListItemHeight;
        Apply(w, [&] { Ui().ReleaseOnRow(row); });
    }
}

void X11Backend::Motion(Window* w, int x, int y) {
    if (InPopup(w, x, y)) {
        int item = ItemAt(w, y - kMenuBarHeight);
        Apply(w, [&] { Ui().PointAtItem(item); });
    } else if (InDrop(w, x, y)) {
        int row = (y - DropTop(w)) / kListItemHeight;
        Apply(w, [&] { Ui().PointAtRow(row); });
    }
}

void X11Backend::Answer(BoxWindow& b) {
    std::shared_ptr<Box> box = b.box;
    PushInput([box] {
        box->open = false;
        box->result = IDOK;
    });
}

void X11Backend::HandleBox(BoxWindow& b, XEvent& e) {
    switch (e.type) {
    case Expose:
        DrawBox(b);
        break;
    case MapNotify:
        Focus(b.x.id);
        break;
    case KeyPress: {
        KeySym sym = XLookupKeysym(&e.xkey, 0);
        if (sym == XK_Return || sym == XK_KP_Enter || sym == XK_space || sym == XK_Escape) {
            Answer(b);
        }
        break;
    }
    case ButtonPress:
        b.pressed = e.xbutton.x >= b.button.left && e.xbutton.x < b.button.right &&
                    e.xbutton.y >= b.button.top && e.xbutton.y < b.button.bottom;
        DrawBox(b);
        break;
    case ButtonRelease:
        if (b.pressed && e.xbutton.x >= b.button.left && e.xbutton.x < b.button.right &&
            e.xbutton.y >= b.button.top && e.xbutton.y < b.button.bottom) {
            Answer(b);
        }
        b.pressed = false;
        break;
    case ClientMessage:
        if (static_cast<Atom>(e.xclient.data.l[0]) == wmDelete_) Answer(b);
        break;
    default:
        break;
    }
}

Backend* OpenX11Backend() {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) return nullptr;
    static X11Backend backend(d);
    return &backend;
}

} // namespace w32
