#include "platform/posix/backends/x11.h"

#include "platform/posix/gdi32/gdi.h"
#include "platform/posix/user32/ui_rules.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

namespace w32 {

namespace {

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

// A window that went away between two requests is no reason to end the program.
bool xErrorSeen = false;
int ErrorHandler(Display*, XErrorEvent*) {
    xErrorSeen = true;
    return 0;
}

class X11Backend : public Backend {
  public:
    explicit X11Backend(Display* d) : display_(d), start_(MonotonicMs()) {
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
    ~X11Backend() override {
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
    X11Backend(const X11Backend&) = delete;
    X11Backend& operator=(const X11Backend&) = delete;

    uint64_t Now() override { return MonotonicMs() - start_; }

    // What was drawn has been shown before the sleep (ShowDrawing).
    void Sleep(uint64_t ms) override {
        timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }

    void WaitForEvent(int64_t deadline) override {
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

    void PollEvents() override {
        while (XPending(display_) > 0) {
            XEvent e;
            XNextEvent(display_, &e);
            Handle(e);
        }
    }

    void WindowShown(Window* w) override {
        XSurface& x = tops_[w->handle];
        int barHeight = w->menu != nullptr ? kMenuBarHeight : 0;
        x.width = w->width;
        x.height = w->height + barHeight;
        x.id = XCreateSimpleWindow(display_, RootWindow(display_, screen_), 0, 0,
                                   static_cast<unsigned>(x.width), static_cast<unsigned>(x.height),
                                   0, BlackPixel(display_, screen_), BlackPixel(display_, screen_));
        XSelectInput(display_, x.id,
                     ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                         ButtonReleaseMask | PointerMotionMask | StructureNotifyMask |
                         FocusChangeMask);
        // The desktop may ask whether the program is alive (_NET_WM_PING) and tell a
        // busy window from a hung one by its process and machine.
        Atom protocols[2] = {wmDelete_, netWmPing_};
        XSetWMProtocols(display_, x.id, protocols, 2);
        long pid = static_cast<long>(getpid());
        XChangeProperty(display_, x.id, netWmPid_, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pid), 1);
        char host[256] = "";
        if (gethostname(host, sizeof host - 1) == 0) {
            XTextProperty machine;
            char* name = host;
            if (XStringListToTextProperty(&name, 1, &machine) != 0) {
                XSetWMClientMachine(display_, x.id, &machine);
                XFree(machine.value);
            }
        }
        XClassHint hint{const_cast<char*>("quorvel"), const_cast<char*>("Quorvel")};
        XSetClassHint(display_, x.id, &hint);
        if (w->icon == reinterpret_cast<HICON>(kProgramIcon)) SetIcon(x.id);
        x.surface = cairo_xlib_surface_create(display_, x.id, DefaultVisual(display_, screen_),
                                              x.width, x.height);
        TitleChanged(w);
        XMapWindow(display_, x.id);
        DrawMenuBar(w);
        XFlush(display_);
    }

    void TitleChanged(Window* w) override {
        auto it = tops_.find(w->handle);
        if (it == tops_.end()) return;
        SetTitle(it->second.id, w->text);
    }

    void Present(Window* w, const RECT& r) override {
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
    void Presented() override {
        if (!put_) return;
        put_ = false;
        XFlush(display_);
    }

    void BoxOpened(Box& box) override {
        std::shared_ptr<Box> keep;
        for (auto& b : Boxes()) {
            if (b.get() == &box) keep = b;
        }
        if (!keep) return;
        BoxWindow bw;
        bw.box = keep;
        Layout(bw);
        bw.x.id = XCreateSimpleWindow(display_, RootWindow(display_, screen_),
                                      (DisplayWidth(display_, screen_) - bw.x.width) / 2,
                                      (DisplayHeight(display_, screen_) - bw.x.height) / 3,
                                      static_cast<unsigned>(bw.x.width),
                                      static_cast<unsigned>(bw.x.height), 0, 0, 0);
        XSelectInput(display_, bw.x.id,
                     ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                         StructureNotifyMask);
        XSetWMProtocols(display_, bw.x.id, &wmDelete_, 1);
        auto owner = tops_.find(box.owner);
        if (owner != tops_.end()) XSetTransientForHint(display_, bw.x.id, owner->second.id);
        XSizeHints* hints = XAllocSizeHints();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = bw.x.width;
        hints->min_height = hints->max_height = bw.x.height;
        XSetWMNormalHints(display_, bw.x.id, hints);
        XFree(hints);
        bw.x.surface = cairo_xlib_surface_create(
            display_, bw.x.id, DefaultVisual(display_, screen_), bw.x.width, bw.x.height);
        SetTitle(bw.x.id, box.caption);
        XMapRaised(display_, bw.x.id);
        boxes_.push_back(bw);
        XFlush(display_);
    }

    void BoxClosed(Box& box) override {
        for (auto it = boxes_.begin(); it != boxes_.end(); ++it) {
            if (it->box.get() != &box) continue;
            cairo_surface_destroy(it->x.surface);
            XDestroyWindow(display_, it->x.id);
            boxes_.erase(it);
            break;
        }
        // The keyboard goes back to the newest box still open, or to the main window.
        if (!boxes_.empty()) {
            Focus(boxes_.back().x.id);
        } else if (!tops_.empty()) {
            Focus(tops_.begin()->second.id);
        }
        XFlush(display_);
    }

  private:
    struct BoxWindow {
        std::shared_ptr<Box> box;
        XSurface x;
        std::vector<std::string> lines;
        RECT button{};
        bool pressed = false;
    };

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

    bool ImagesMatchTheScreen() {
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

    void DropShm(XSurface& x) {
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
    bool EnsureShm(XSurface& x, int width, int height) {
        if (!shared_) return false;
        if (x.shmImage != nullptr && x.shmImage->width == width && x.shmImage->height == height)
            return true;
        DropShm(x);
        XImage* image =
            XShmCreateImage(display_, DefaultVisual(display_, screen_), 24, ZPixmap, nullptr,
                            &x.shm, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (image == nullptr) {
            shared_ = false;
            return false;
        }
        x.shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height,
                             IPC_CREAT | 0600);
        void* memory =
            x.shm.shmid >= 0 ? shmat(x.shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
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
    void PutPixels(Window* w, XSurface& x, const RECT& r, int bar) {
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
    void Put(Window* w, XSurface& x, const RECT& r, int bar, const uint32_t* pixels, int stride) {
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
            XShmPutImage(display_, x.id, gc_, x.shmImage, r.left, r.top, r.left, r.top + bar, w32,
                         h32, False);
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

    // The program's icon, every size of it, as _NET_WM_ICON: width, height, then the
    // pixels as ARGB without premultiplied alpha, one to a long.
    void SetIcon(::Window id) {
        std::vector<unsigned long> data;
        for (int i = 0; i < kIconImageCount; ++i) {
            struct Reader {
                const unsigned char* at;
                unsigned long left;
            } reader{kIconImages[i].png, kIconImages[i].size};
            cairo_surface_t* png = cairo_image_surface_create_from_png_stream(
                [](void* closure, unsigned char* out, unsigned int length) {
                    auto* r = static_cast<Reader*>(closure);
                    if (length > r->left) return CAIRO_STATUS_READ_ERROR;
                    std::memcpy(out, r->at, length);
                    r->at += length;
                    r->left -= length;
                    return CAIRO_STATUS_SUCCESS;
                },
                &reader);
            if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS) {
                cairo_surface_flush(png);
                const int width = cairo_image_surface_get_width(png);
                const int height = cairo_image_surface_get_height(png);
                const int stride = cairo_image_surface_get_stride(png);
                const unsigned char* pixels = cairo_image_surface_get_data(png);
                data.push_back(static_cast<unsigned long>(width));
                data.push_back(static_cast<unsigned long>(height));
                for (int y = 0; y < height; ++y) {
                    const auto* row = reinterpret_cast<const uint32_t*>(pixels + y * stride);
                    for (int x = 0; x < width; ++x) {
                        uint32_t p = row[x];
                        uint32_t a = p >> 24;
                        auto channel = [a](uint32_t c) {
                            return a == 0 ? 0 : std::min(255u, c * 255 / a);
                        };
                        data.push_back((a << 24) | (channel((p >> 16) & 0xFF) << 16) |
                                       (channel((p >> 8) & 0xFF) << 8) | channel(p & 0xFF));
                    }
                }
            }
            cairo_surface_destroy(png);
        }
        if (data.empty()) return;
        XChangeProperty(display_, id, XInternAtom(display_, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(data.data()),
                        static_cast<int>(data.size()));
    }

    void SetTitle(::Window id, const std::string& latin1) {
        std::string utf8 = ToUtf8(latin1.c_str(), static_cast<int>(latin1.size()));
        XStoreName(display_, id, latin1.c_str());
        XChangeProperty(display_, id, netWmName_, utf8_, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.c_str()),
                        static_cast<int>(utf8.size()));
    }

    void Focus(::Window id) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display_, id, &a) && a.map_state == IsViewable) {
            XSetInputFocus(display_, id, RevertToParent, CurrentTime);
        }
    }

    Window* MainOf(::Window id) {
        for (auto& [hwnd, x] : tops_) {
            if (x.id == id) return FindWindow(hwnd);
        }
        return nullptr;
    }

    Window* Main() { return tops_.empty() ? nullptr : FindWindow(tops_.begin()->first); }

    // ---- events ----------------------------------------------------------------
    void Handle(XEvent& e) {
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
                PushInput([hwnd] { PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); },
                          QS_MOUSEBUTTON);
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

    void Resized(Window* w, int width, int height) {
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

    // ---- the menu bar ------------------------------------------------------------
    std::vector<int> TitleEdges(Window* w, cairo_t* cr) {
        std::vector<int> edges = {4};
        for (const MenuItemInfo& t : Ui().Titles(w)) {
            edges.push_back(edges.back() + TextWidth(cr, WithoutAmpersand(t.text)) + 16);
        }
        return edges;
    }

    std::vector<int> TitleEdges(Window* w) {
        cairo_surface_t* measure = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        cairo_t* cr = cairo_create(measure);
        std::vector<int> edges = TitleEdges(w, cr);
        cairo_destroy(cr);
        cairo_surface_destroy(measure);
        return edges;
    }

    void DrawMenuBar(Window* w) {
        if (w == nullptr || w->menu == nullptr) return;
        XSurface& x = tops_[w->handle];
        const MenuState& menu = Ui().menu;
        cairo_t* cr = cairo_create(x.surface);
        SetColor(cr, kFace);
        cairo_rectangle(cr, 0, 0, x.width, kMenuBarHeight);
        cairo_fill(cr);
        std::vector<MenuItemInfo> titles = Ui().Titles(w);
        std::vector<int> edges = TitleEdges(w, cr);
        for (size_t i = 0; i < titles.size(); ++i) {
            bool grayed = (titles[i].state & (MF_GRAYED | MF_DISABLED)) != 0;
            if (menu.active && menu.popup == static_cast<int>(i)) {
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
        cairo_destroy(cr);
        cairo_surface_flush(x.surface);
    }

    void ClosePopupWindow() {
        if (popup_.id != 0) {
            cairo_surface_destroy(popup_.surface);
            XDestroyWindow(display_, popup_.id);
        }
        popup_ = XSurface{};
        popupOf_ = -1;
    }

    // The popup stands under its title: its place in the main window's coordinates.
    int PopupLeft(Window* w) {
        std::vector<int> edges = TitleEdges(w);
        int popup = Ui().menu.popup;
        return popup >= 0 && popup < static_cast<int>(edges.size())
                   ? edges[static_cast<size_t>(popup)]
                   : 0;
    }

    void ShowPopupWindow(Window* w) {
        ClosePopupWindow();
        XSurface& top = tops_[w->handle];
        std::vector<MenuItemInfo> items = Ui().OpenItems(w);
        cairo_surface_t* measure = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        cairo_t* cr = cairo_create(measure);
        int width = 120;
        int height = 4;
        for (const MenuItemInfo& i : items) {
            width = std::max(width, TextWidth(cr, WithoutAmpersand(i.text)) + 56);
            height += (i.state & MF_SEPARATOR) != 0 ? kSeparatorHeight : kItemHeight;
        }
        cairo_destroy(cr);
        cairo_surface_destroy(measure);
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
        popup_.id = XCreateWindow(display_, RootWindow(display_, screen_), rx, ry,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                  CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWEventMask, &a);
        popup_.surface = cairo_xlib_surface_create(display_, popup_.id,
                                                   DefaultVisual(display_, screen_), width, height);
        XStoreName(display_, popup_.id, "Quorvel menu");
        XMapRaised(display_, popup_.id);
        popupOf_ = Ui().menu.popup;
        DrawPopup(w);
    }

    // The item under a point of the popup, from its top; -1 for none.
    int ItemAt(Window* w, int y) {
        std::vector<MenuItemInfo> items = Ui().OpenItems(w);
        int top = 2;
        for (size_t i = 0; i < items.size(); ++i) {
            int h = (items[i].state & MF_SEPARATOR) != 0 ? kSeparatorHeight : kItemHeight;
            if (y >= top && y < top + h) return static_cast<int>(i);
            top += h;
        }
        return -1;
    }

    void DrawPopup(Window* w) {
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

    // ---- the drop-down list ------------------------------------------------------------
    Window* ListAt(Window* w, int x, int y) {
        for (Window* c : Children(w->handle)) {
            if (c->combo && c->visible && x >= c->x && x < c->x + c->width && y >= c->y &&
                y < c->y + kListFaceHeight) {
                return c;
            }
        }
        return nullptr;
    }

    void ShowDropWindow(Window* w) {
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
        dropped_.id = XCreateWindow(
            display_, RootWindow(display_, screen_), rx, ry, static_cast<unsigned>(dropped_.width),
            static_cast<unsigned>(dropped_.height), 0, CopyFromParent, InputOutput, CopyFromParent,
            CWOverrideRedirect | CWEventMask, &a);
        dropped_.surface =
            cairo_xlib_surface_create(display_, dropped_.id, DefaultVisual(display_, screen_),
                                      dropped_.width, dropped_.height);
        XMapRaised(display_, dropped_.id);
        droppedList_ = Ui().drop.list;
        DrawDrop();
    }

    void CloseDropWindow() {
        if (dropped_.id != 0) {
            cairo_surface_destroy(dropped_.surface);
            XDestroyWindow(display_, dropped_.id);
        }
        dropped_ = XSurface{};
        droppedList_ = nullptr;
    }

    // The rows shown, from the first the rules say, with the highlighted one.
    void DrawDrop() {
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

    // ---- keyboard and pointer on the main window ---------------------------------------
    // Runs what a person did through the rules, then shows what changed: the bar, the
    // popup, the dropped list, and the pointer taken while one of them is open.
    template <typename Act> void Apply(Window* w, Act act) {
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

    void Grab(Window* w, bool on) {
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

    static UiKeyPress KeyOf(XKeyEvent& key) {
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

    bool InPopup(Window* w, int x, int y) {
        int left = PopupLeft(w);
        return popup_.id != 0 && x >= left && x < left + popup_.width && y >= kMenuBarHeight &&
               y < kMenuBarHeight + popup_.height;
    }

    // The dropped list's first row stands this far down the main window.
    int DropTop(Window* w) {
        Window* list = FindWindow(Ui().drop.list);
        int bar = w->menu != nullptr ? kMenuBarHeight : 0;
        return list != nullptr ? list->y + kListFaceHeight + bar + 1 : 0;
    }

    bool InDrop(Window* w, int x, int y) {
        Window* list = FindWindow(Ui().drop.list);
        int top = DropTop(w) - 1;
        return dropped_.id != 0 && list != nullptr && x >= list->x && x < list->x + list->width &&
               y >= top && y < top + dropped_.height;
    }

    // The pointer is the main window's while a menu or the list is open, so every press,
    // release and motion comes here, in the main window's coordinates.
    void Press(Window* w, XButtonEvent& b) {
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

    void Release(Window* w, XButtonEvent& b) {
        if (b.button != Button1) return;
        if (InPopup(w, b.x, b.y)) {
            int item = ItemAt(w, b.y - kMenuBarHeight);
            Apply(w, [&] { Ui().ReleaseOnItem(w, item); });
        } else if (InDrop(w, b.x, b.y)) {
            int row = (b.y - DropTop(w)) / kListItemHeight;
            Apply(w, [&] { Ui().ReleaseOnRow(row); });
        }
    }

    void Motion(Window* w, int x, int y) {
        if (InPopup(w, x, y)) {
            int item = ItemAt(w, y - kMenuBarHeight);
            Apply(w, [&] { Ui().PointAtItem(item); });
        } else if (InDrop(w, x, y)) {
            int row = (y - DropTop(w)) / kListItemHeight;
            Apply(w, [&] { Ui().PointAtRow(row); });
        }
    }

    // ---- message boxes ---------------------------------------------------------------
    void Layout(BoxWindow& b) {
        std::string text = b.box->text;
        size_t start = 0;
        while (true) {
            size_t nl = text.find('\n', start);
            std::string line =
                text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
            while (!line.empty() && (line.back() == '\r'))
                line.pop_back();
            b.lines.push_back(line);
            if (nl == std::string::npos) break;
            start = nl + 1;
        }
        cairo_surface_t* measure = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        cairo_t* cr = cairo_create(measure);
        int widest = 0;
        for (const std::string& l : b.lines)
            widest = std::max(widest, TextWidth(cr, l));
        cairo_destroy(cr);
        cairo_surface_destroy(measure);
        b.x.width = std::max(widest + 90, 260);
        b.x.height = static_cast<int>(b.lines.size()) * 17 + 96;
        b.button = RECT{b.x.width - 93, b.x.height - 37, b.x.width - 18, b.x.height - 14};
    }

    void DrawBox(BoxWindow& b) {
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

    void Answer(BoxWindow& b) {
        std::shared_ptr<Box> box = b.box;
        PushInput([box] {
            box->open = false;
            box->result = IDOK;
        });
    }

    void HandleBox(BoxWindow& b, XEvent& e) {
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
};

} // namespace

Backend* OpenX11Backend() {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) return nullptr;
    static X11Backend backend(d);
    return &backend;
}

} // namespace w32
