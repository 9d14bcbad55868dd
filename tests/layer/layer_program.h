// A small program of the layer tests' own: one top-level window whose procedure logs
// every message and lets a test handle the ones it cares about.
#pragma once

#include "platform/posix/harness/harness.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

struct Logged {
    UINT message;
    WPARAM wParam;
    int depth;
};

class LayerProgram {
  public:
    using Handler = std::function<LRESULT(HWND, WPARAM, LPARAM)>;

    LayerProgram() : harness_([this] { return Main(); }) { Instance() = this; }
    ~LayerProgram() { Instance() = nullptr; }

    void Start() { harness_.Start(); }
    headless::Harness& harness() { return harness_; }
    HWND window() const { return window_; }

    // What the window procedure does for a message; DefWindowProcA for the others.
    void On(UINT message, Handler handler) { handlers_[message] = std::move(handler); }

    // The messages the window received, in order, with their nesting depth.
    std::vector<Logged> log;
    // Which messages count: the rest are left out of the log.
    std::vector<UINT> logged = {WM_CREATE,   WM_DESTROY,  WM_PAINT,      WM_ERASEBKGND,
                                WM_CLOSE,    WM_COMMAND,  WM_TIMER,      WM_USER,
                                WM_USER + 1, WM_USER + 2, WM_SYSCOMMAND, WM_NCDESTROY};
    std::vector<UINT> Messages() const {
        std::vector<UINT> out;
        for (const Logged& l : log)
            out.push_back(l.message);
        return out;
    }
    DWORD style = WS_OVERLAPPEDWINDOW;
    UINT classStyle = CS_HREDRAW | CS_VREDRAW;

  private:
    static LayerProgram*& Instance() {
        static LayerProgram* instance = nullptr;
        return instance;
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        LayerProgram* p = Instance();
        for (UINT m : p->logged) {
            if (m == message) p->log.push_back(Logged{message, wParam, p->depth_});
        }
        auto it = p->handlers_.find(message);
        ++p->depth_;
        LRESULT r = it != p->handlers_.end() ? it->second(hwnd, wParam, lParam)
                                             : DefWindowProcA(hwnd, message, wParam, lParam);
        --p->depth_;
        if (message == WM_DESTROY && it == p->handlers_.end()) PostQuitMessage(0);
        return r;
    }

    int Main() {
        WNDCLASSA wc = {};
        wc.style = classStyle;
        wc.lpfnWndProc = Proc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = "layer test";
        if (RegisterClassA(&wc) == 0) return 1;
        window_ = CreateWindowExA(0, "layer test", "Layer test", style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(window_, SW_SHOW);
        UpdateWindow(window_);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return static_cast<int>(msg.wParam);
    }

    int depth_ = 0;
    HWND window_ = nullptr;
    std::map<UINT, Handler> handlers_;
    headless::Harness harness_;
};
