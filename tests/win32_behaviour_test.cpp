// What Win32 does, stated so that the same tests build against Windows itself and against
// our layer: on Windows (or Wine) they check that they describe Win32, and on Linux that
// the layer behaves the same. They drive the API on the test's own thread, with no
// harness, and wait only for timers a few tens of milliseconds long.
#include "platform/testenv.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

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
    static Win32* current;
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
Win32* Win32::current = nullptr;

// ---- Messages -------------------------------------------------------------------------

TEST_F(Win32, SendMessageRunsTheProcedureAtOnceAndNests) {
    handler = [](Win32* t, HWND hwnd, UINT message, WPARAM, LPARAM, bool* handled) -> LRESULT {
        if (message == WM_USER) {
            *handled = true;
            return SendMessageA(hwnd, WM_USER + 1, 0, 0) + 1;
        }
        if (message == WM_USER + 1) {
            *handled = true;
            return t->depth * 10;
        }
        return 0;
    };
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 21);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].depth, 0);
    EXPECT_EQ(seen[1].depth, 1);
}

TEST_F(Win32, PostedMessagesWaitForTheLoop) {
    PostMessageA(window, WM_USER, 1, 0);
    PostMessageA(window, WM_USER, 2, 0);
    EXPECT_TRUE(seen.empty());
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].wParam, 1u);
    EXPECT_EQ(seen[1].wParam, 2u);
}

TEST_F(Win32, UpdateWindowPaintsAtOnceOnlyWhenSomethingIsInvalid) {
    handler = [](Win32*, HWND hwnd, UINT message, WPARAM, LPARAM, bool* handled) -> LRESULT {
        if (message != WM_PAINT) return 0;
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        *handled = true;
        return 0;
    };
    UpdateWindow(window);
    EXPECT_EQ(Count(WM_PAINT), 0);
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(Count(WM_PAINT), 0);
    UpdateWindow(window);
    EXPECT_EQ(Count(WM_PAINT), 1);
    UpdateWindow(window);
    EXPECT_EQ(Count(WM_PAINT), 1);
}

// ---- Timers ---------------------------------------------------------------------------

TEST_F(Win32, TimerTicksDoNotQueueUpWhileTheThreadIsBusy) {
    ASSERT_NE(SetTimer(window, 1, 20, nullptr), 0u);
    Sleep(300); // fifteen periods without taking a message
    MSG msg;
    int ticks = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        ticks += msg.message == WM_TIMER ? 1 : 0;
    EXPECT_EQ(ticks, 1);
    KillTimer(window, 1);
}

TEST_F(Win32, SetTimerOnAnExistingIdReplacesIt) {
    ASSERT_NE(SetTimer(window, 7, 5000, nullptr), 0u);
    ASSERT_NE(SetTimer(window, 7, 30, nullptr), 0u);
    DWORD start = GetTickCount();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        DispatchMessageA(&msg);
        if (msg.message == WM_TIMER) break;
    }
    EXPECT_EQ(msg.message, UINT{WM_TIMER});
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_LT(GetTickCount() - start, 2000u);
    // Killed, it never ticks again; a second kill finds nothing.
    EXPECT_TRUE(KillTimer(window, 7));
    EXPECT_FALSE(KillTimer(window, 7));
}

TEST_F(Win32, AMessageBoxsLoopGoesOnDispatchingTimerTicks) {
    handler = [](Win32* t, HWND hwnd, UINT message, WPARAM, LPARAM, bool* handled) -> LRESULT {
        if (message != WM_TIMER) return 0;
        *handled = true;
        // The box is modal to its owner: the owner takes no input meanwhile.
        if (IsWindowEnabled(hwnd)) t->counter = -100;
        if (++t->counter == 3) {
            KillTimer(hwnd, 1);
            PostQuitMessage(5); // ends the box, then the loop around it
        }
        return 0;
    };
    ASSERT_NE(SetTimer(window, 1, 30, nullptr), 0u);
    MessageBoxA(window, "Waiting for three ticks", "Win32 behaviour", MB_OK);
    EXPECT_EQ(counter, 3);
    // Windows' dialog loop enables the owner again however it ends. Wine does so only in
    // EndDialog, so a box that WM_QUIT ends leaves its owner disabled there.
    if (!RunningUnderWine()) {
        EXPECT_TRUE(IsWindowEnabled(window));
    }
    MSG msg;
    BOOL more = TRUE;
    for (int i = 0; i < 100 && more; ++i) {
        more = GetMessageA(&msg, nullptr, 0, 0);
        if (more) DispatchMessageA(&msg);
    }
    EXPECT_FALSE(more);
    EXPECT_EQ(msg.wParam, 5u);
}

// ---- The combo box ----------------------------------------------------------------------

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

TEST_F(Win32Combo, AddStringKeepsTheListInCaseInsensitiveOrder) {
    for (const char* s : {"beta (COM2)", "Alpha (COM3)", "alpha (COM1)", "Gamma (COM4)"})
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(Entry(0), "alpha (COM1)");
    EXPECT_EQ(Entry(1), "Alpha (COM3)");
    EXPECT_EQ(Entry(2), "beta (COM2)");
    EXPECT_EQ(Entry(3), "Gamma (COM4)");
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(Win32Combo, SetCurSelSendsNoNoticeButAUsersChoiceDoes) {
    for (const char* s : {"A (COM1)", "B (COM2)", "C (COM3)"})
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 7, 0), CB_ERR);
    // An index past the end clears the selection, as Windows documents; Wine keeps it.
    if (!RunningUnderWine()) {
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(Count(WM_COMMAND), 0);
    // The down arrow on the closed list is a user's choice of the next entry.
    SendMessageA(combo, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Notices(CBN_SELCHANGE), 1);
}

// ---- Drawing ----------------------------------------------------------------------------

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

TEST_F(Win32Gdi, RectangleOutlinesWithThePenAndExcludesRightAndBottom) {
    SelectObject(dc, redBrush);
    Rectangle(dc, 10, 10, 15, 14);
    EXPECT_EQ(Row(12, 9, 15), "WKRRRKW");
    EXPECT_EQ(Column(12, 9, 14), "WKRRKW");
}

TEST_F(Win32Gdi, WithTheNullPenAFigureIsOnePixelSmaller) {
    SelectObject(dc, redBrush);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 10, 10, 15, 14);
    EXPECT_EQ(Row(11, 9, 15), "WRRRRWW");
    EXPECT_EQ(Column(11, 9, 14), "WRRRWW");
}

TEST_F(Win32Gdi, RoundRectWithTheNullPenIsNotMadeSmaller) {
    // Unlike Rectangle, the rounded figure's fill covers what the pen's outline would: the
    // middle row and column, away from the corners, show its extent.
    SelectObject(dc, redBrush);
    SelectObject(dc, GetStockObject(NULL_PEN));
    RoundRect(dc, 20, 20, 41, 41, 4, 4);
    EXPECT_EQ(Row(30, 19, 41), "WRRRRRRRRRRRRRRRRRRRRRW");
    EXPECT_EQ(Column(30, 19, 41), "WRRRRRRRRRRRRRRRRRRRRRW");
    // With the pen, the outline stands on the same pixels.
    SelectObject(dc, GetStockObject(BLACK_PEN));
    RoundRect(dc, 50, 20, 71, 41, 4, 4);
    EXPECT_EQ(Row(30, 49, 71), "WKRRRRRRRRRRRRRRRRRRRKW");
}

TEST_F(Win32Gdi, LineToStopsShortOfItsEndAndMovesThePosition) {
    POINT old{-1, -1};
    MoveToEx(dc, 10, 30, &old);
    EXPECT_EQ(old.x, 0);
    EXPECT_EQ(old.y, 0);
    LineTo(dc, 15, 30);
    EXPECT_EQ(Row(30, 9, 16), "WKKKKKWW");
    POINT now{};
    GetCurrentPositionEx(dc, &now);
    EXPECT_EQ(now.x, 15);
    EXPECT_EQ(now.y, 30);
    LineTo(dc, 15, 34);
    EXPECT_EQ(Column(15, 29, 35), "WKKKKWW");
}

TEST_F(Win32Gdi, ASettingCallReturnsWhatItReplaced) {
    HGDIOBJ before = SelectObject(dc, redBrush);
    EXPECT_EQ(before, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), static_cast<HGDIOBJ>(redBrush));
    EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SetTextAlign(dc, TA_CENTER | TA_BASELINE), UINT{TA_LEFT | TA_TOP});
    EXPECT_EQ(SetTextAlign(dc, TA_LEFT), UINT{TA_CENTER | TA_BASELINE});
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, red), black);
    EXPECT_EQ(SetBkColor(dc, red), white);
}

TEST_F(Win32Gdi, PolygonFillsWithTheBrushInsideItsOutline) {
    SelectObject(dc, redBrush);
    POINT triangle[3] = {{50, 20}, {70, 30}, {50, 40}};
    Polygon(dc, triangle, 3);
    EXPECT_EQ(GetPixel(dc, 50, 30), black); // the outline
    EXPECT_EQ(GetPixel(dc, 55, 30), red);   // inside
    EXPECT_EQ(GetPixel(dc, 75, 30), white); // outside
    EXPECT_EQ(GetPixel(dc, 49, 30), white);
}

} // namespace
