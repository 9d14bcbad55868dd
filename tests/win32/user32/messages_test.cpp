// Messages and the loop, as Win32 has them.
#include "win32/fixture.h"

namespace {

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

TEST_F(Win32, PostedMessagesWaitForTheLoopInOrder) {
    PostMessageA(window, WM_USER, 1, 0);
    PostMessageA(window, WM_USER, 2, 0);
    EXPECT_TRUE(seen.empty());
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].wParam, 1u);
    EXPECT_EQ(seen[1].wParam, 2u);
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

TEST_F(Win32, UpdateWindowPaintsAtOnceOnlyWhenSomethingIsInvalid) {
    recorded.push_back(WM_ERASEBKGND);
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
    EXPECT_EQ(Count(WM_PAINT), 0) << "invalidating paints nothing by itself";
    UpdateWindow(window);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_PAINT})) << "no erase was asked for";
    UpdateWindow(window);
    EXPECT_EQ(Count(WM_PAINT), 1) << "the paint validated the window";
    // An erase asked for comes inside BeginPaint, nested in the paint.
    seen.clear();
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
    EXPECT_EQ(seen[1].depth, seen[0].depth + 1);
}

// A paint waits until no posted message is left, and comes before a timer's tick.
TEST_F(Win32, PaintWaitsForAnEmptyQueueAndComesBeforeTimers) {
    handler = [](Win32*, HWND hwnd, UINT message, WPARAM, LPARAM, bool* handled) -> LRESULT {
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            *handled = true;
        }
        if (message == WM_TIMER) KillTimer(hwnd, 1);
        return 0;
    };
    InvalidateRect(window, nullptr, FALSE);
    ASSERT_NE(SetTimer(window, 1, 10, nullptr), 0u);
    PostMessageA(window, WM_USER, 0, 0);
    Sleep(50); // the tick is due
    MSG msg;
    while (Count(WM_TIMER) == 0 && GetMessageA(&msg, nullptr, 0, 0))
        DispatchMessageA(&msg);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_USER, WM_PAINT, WM_TIMER}));
}

TEST_F(Win32, CloseDestroysTheWindowAndDestroyEndsTheLoop) {
    recorded = {WM_CLOSE, WM_DESTROY, WM_NCDESTROY};
    handler = [](Win32*, HWND, UINT message, WPARAM, LPARAM, bool*) -> LRESULT {
        if (message == WM_DESTROY) PostQuitMessage(0);
        return 0;
    };
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(window));
    MSG msg;
    int left = 100;
    while (GetMessageA(&msg, nullptr, 0, 0) && --left > 0)
        DispatchMessageA(&msg);
    EXPECT_EQ(msg.message, UINT{WM_QUIT});
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(Win32, TheQuitCodeIsTheLoopsResult) {
    PostQuitMessage(7);
    MSG msg;
    int left = 100;
    while (GetMessageA(&msg, nullptr, 0, 0) && --left > 0)
        DispatchMessageA(&msg);
    EXPECT_EQ(msg.message, UINT{WM_QUIT});
    EXPECT_EQ(msg.wParam, 7u);
}

// The program asks between two slow exchanges whether a person is waiting: a posted
// message, a timer or a paint is not a key or a button.
TEST_F(Win32, QueueStatusCountsOnlyKeysAndButtonsAsInput) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    PostMessageA(window, WM_USER, 0, 0);
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_KEY | QS_MOUSEBUTTON)), 0u);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

} // namespace
