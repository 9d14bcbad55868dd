// Message boxes, as Win32 has them: their own loop goes on dispatching the window's
// ticks and paints.
#include "win32/fixture.h"

namespace {

TEST_F(Win32, AnOwnedBoxDisablesItsOwnerWhileItsLoopDispatchesTicks) {
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
    TODO_WINE_EXPECT_TRUE(IsWindowEnabled(window));
    MSG msg;
    BOOL more = TRUE;
    for (int i = 0; i < 100 && more; ++i) {
        more = GetMessageA(&msg, nullptr, 0, 0);
        if (more) DispatchMessageA(&msg);
    }
    EXPECT_FALSE(more) << "the quit reached the loop around the box";
    EXPECT_EQ(msg.wParam, 5u);
}

// A box without an owner leaves the window usable; its paints and ticks run nested in
// the box's caller.
TEST_F(Win32, ABoxWithoutOwnerDispatchesPaintsNestedInItsCaller) {
    handler = [](Win32* t, HWND hwnd, UINT message, WPARAM, LPARAM, bool* handled) -> LRESULT {
        if (message == WM_USER) {
            *handled = true;
            MessageBoxA(nullptr, "first line\nsecond line", "Win32 behaviour", MB_ICONERROR);
        }
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            *handled = true;
        }
        if (message == WM_TIMER) {
            *handled = true;
            if (!IsWindowEnabled(hwnd)) t->counter = -100;
            if (++t->counter == 1) InvalidateRect(hwnd, nullptr, FALSE);
            if (t->counter == 3) {
                KillTimer(hwnd, 1);
                PostQuitMessage(0);
            }
        }
        return 0;
    };
    ASSERT_NE(SetTimer(window, 1, 30, nullptr), 0u);
    SendMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(counter, 3);
    ASSERT_EQ(Count(WM_PAINT), 1);
    ASSERT_EQ(Count(WM_TIMER), 3);
    EXPECT_EQ(seen[0].message, UINT{WM_USER});
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].depth, seen[0].depth + 1) << seen[i].message << " nested in the caller";
}

} // namespace
