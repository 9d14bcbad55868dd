// The windows the window manager handles: the main window and the message boxes made,
// named in Latin-1 and UTF-8, given the program's icon and the hints a desktop reads
// (class, process, machine, ping, fixed size, owner), and the keyboard handed between them.
#include "platform/posix/backends/x11_backend.h"

#include "platform/posix/gdi32/gdi.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace w32 {

void X11Backend::WindowShown(Window* w) {
    XSurface& x = tops_[w->handle];
    int barHeight = w->menu != nullptr ? kMenuBarHeight : 0;
    x.width = w->width;
    x.height = w->height + barHeight;
    x.id = XCreateSimpleWindow(display_, RootWindow(display_, screen_), 0, 0,
                               static_cast<unsigned>(x.width), static_cast<unsigned>(x.height), 0,
                               BlackPixel(display_, screen_), BlackPixel(display_, screen_));
    XSelectInput(display_, x.id,
                 ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                     ButtonReleaseMask | PointerMotionMask | StructureNotifyMask | FocusChangeMask);
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
    x.surface = cairo_xlib_surface_create(display_, x.id, DefaultVisual(display_, screen_), x.width,
                                          x.height);
    TitleChanged(w);
    XMapWindow(display_, x.id);
    DrawMenuBar(w);
    XFlush(display_);
}

void X11Backend::TitleChanged(Window* w) {
    auto it = tops_.find(w->handle);
    if (it == tops_.end()) return;
    SetTitle(it->second.id, w->text);
}

void X11Backend::BoxOpened(Box& box) {
    std::shared_ptr<Box> keep;
    for (auto& b : Boxes()) {
        if (b.get() == &box) keep = b;
    }
    if (!keep) return;
    BoxWindow bw;
    bw.box = keep;
    Layout(bw);
    bw.x.id = XCreateSimpleWindow(
        display_, RootWindow(display_, screen_), (DisplayWidth(display_, screen_) - bw.x.width) / 2,
        (DisplayHeight(display_, screen_) - bw.x.height) / 3, static_cast<unsigned>(bw.x.width),
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
    bw.x.surface = cairo_xlib_surface_create(display_, bw.x.id, DefaultVisual(display_, screen_),
                                             bw.x.width, bw.x.height);
    SetTitle(bw.x.id, box.caption);
    XMapRaised(display_, bw.x.id);
    boxes_.push_back(bw);
    XFlush(display_);
}

void X11Backend::BoxClosed(Box& box) {
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

// The program's icon, every size of it, as _NET_WM_ICON: width, height, then the
// pixels as ARGB without premultiplied alpha, one to a long.
void X11Backend::SetIcon(::Window id) {
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

void X11Backend::SetTitle(::Window id, const std::string& latin1) {
    std::string utf8 = ToUtf8(latin1.c_str(), static_cast<int>(latin1.size()));
    XStoreName(display_, id, latin1.c_str());
    XChangeProperty(display_, id, netWmName_, utf8_, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.c_str()),
                    static_cast<int>(utf8.size()));
}

void X11Backend::Focus(::Window id) {
    XWindowAttributes a;
    if (XGetWindowAttributes(display_, id, &a) && a.map_state == IsViewable) {
        XSetInputFocus(display_, id, RevertToParent, CurrentTime);
    }
}

} // namespace w32
