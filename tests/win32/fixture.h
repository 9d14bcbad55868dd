// The fixture of the Win32 behaviour tests: one top-level window whose procedure records
// the messages a test cares about, on the test's own thread with no harness, so that the
// same tests build against Windows itself (run under Wine) and against our layer.
#pragma once

#include "platform/testenv.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Where Wine differs from Windows, a check states what Windows does; under Wine it is
// expected to fail and is reported as todo_wine, and it fails the test the day Wine does
// it right, so that the mark is taken off (as Wine's own todo_wine works).
#define TODO_WINE_EXPECT_TRUE(condition)                                                           \
    do {                                                                                           \
        const bool todoWineOk = (condition);                                                       \
        if (RunningUnderWine()) {                                                                  \
            if (todoWineOk)                                                                        \
                ADD_FAILURE() << "todo_wine now passes (Wine was mended): " #condition;            \
            else                                                                                   \
                std::printf("todo_wine: %s:%d: %s\n", __FILE__, __LINE__, #condition);             \
        } else {                                                                                   \
            EXPECT_TRUE(todoWineOk) << #condition;                                                 \
        }                                                                                          \
    } while (0)
#define TODO_WINE_EXPECT_EQ(a, b) TODO_WINE_EXPECT_TRUE((a) == (b))

struct Seen {
    UINT message;
    WPARAM wParam;
    int depth;
};

// One top-level window whose procedure records the messages a test cares about and
// hands them to the test's own handler.
class Win32 : public ::testing::Test {
  public:
    int depth = 0;
    int counter = 0;

  protected:
    inline static Win32* current = nullptr;
    std::vector<Seen> seen;
    std::vector<UINT> recorded = {WM_PAINT, WM_COMMAND, WM_TIMER, WM_USER, WM_USER + 1};
    LRESULT (*handler)(Win32*, HWND, UINT, WPARAM, LPARAM, bool*) = nullptr;
    HWND window = nullptr;

    void SetUp() override {
        BeginWin32Test();
        current = this;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = "win32 behaviour";
        if (RegisterClassA(&wc) == 0) {
            ASSERT_EQ(GetLastError(), DWORD{ERROR_CLASS_ALREADY_EXISTS});
        }
        window = CreateWindowExA(0, "win32 behaviour", "Win32 behaviour", WS_OVERLAPPEDWINDOW, 0, 0,
                                 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        seen.clear();
    }

    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        current = nullptr;
    }

    std::vector<UINT> Messages() const {
        std::vector<UINT> out;
        for (const Seen& s : seen)
            out.push_back(s.message);
        return out;
    }

    int Count(UINT message) const {
        int n = 0;
        for (const Seen& s : seen)
            n += s.message == message ? 1 : 0;
        return n;
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        Win32* t = current;
        if (t == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
        for (UINT m : t->recorded) {
            if (m == message) t->seen.push_back(Seen{message, wParam, t->depth});
        }
        LRESULT result = 0;
        bool handled = false;
        ++t->depth;
        if (t->handler != nullptr) result = t->handler(t, hwnd, message, wParam, lParam, &handled);
        if (!handled) result = DefWindowProcA(hwnd, message, wParam, lParam);
        --t->depth;
        return result;
    }
};

class Win32Combo : public Win32 {
  protected:
    HWND combo = nullptr;
    void SetUp() override {
        Win32::SetUp();
        combo = CreateWindowExA(
            0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS,
            10, 10, 200, 100, window, reinterpret_cast<HMENU>(42), nullptr, nullptr);
        ASSERT_NE(combo, nullptr);
        seen.clear();
    }
    std::string Entry(int i) const {
        char text[64] = "";
        SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        return text;
    }
    int Notices(WORD code) const {
        int n = 0;
        for (const Seen& s : seen)
            n += s.message == WM_COMMAND && HIWORD(s.wParam) == code && LOWORD(s.wParam) == 42 ? 1
                                                                                               : 0;
        return n;
    }
};

class Win32Gdi : public Win32 {
  protected:
    HDC dc = nullptr;
    const COLORREF white = RGB(255, 255, 255);
    const COLORREF black = RGB(0, 0, 0);
    const COLORREF red = RGB(255, 0, 0);
    HBRUSH redBrush = nullptr;
    void SetUp() override {
        Win32::SetUp();
        dc = GetDC(window);
        ASSERT_NE(dc, nullptr);
        redBrush = CreateSolidBrush(red);
        // A clean white field to draw on.
        SelectObject(dc, GetStockObject(NULL_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Rectangle(dc, 0, 0, 201, 101);
        SelectObject(dc, GetStockObject(BLACK_PEN));
    }
    void TearDown() override {
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        SelectObject(dc, GetStockObject(BLACK_PEN));
        ReleaseDC(window, dc);
        DeleteObject(redBrush);
        Win32::TearDown();
    }
    // The pixels of one row from x0 to x1 inclusive, as letters: W white, K black, R red.
    std::string Row(int y, int x0, int x1) const {
        std::string out;
        for (int x = x0; x <= x1; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            out += c == white ? 'W' : c == black ? 'K' : c == red ? 'R' : '?';
        }
        return out;
    }
    std::string Column(int x, int y0, int y1) const {
        std::string out;
        for (int y = y0; y <= y1; ++y) {
            COLORREF c = GetPixel(dc, x, y);
            out += c == white ? 'W' : c == black ? 'K' : c == red ? 'R' : '?';
        }
        return out;
    }
};
