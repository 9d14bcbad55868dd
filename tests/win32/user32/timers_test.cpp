// Timers, as Win32 has them.
#include "win32/fixture.h"

namespace {

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
    EXPECT_EQ(SetTimer(window, 7, 30, nullptr), 7u) << "a window's timer keeps its id";
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
    Sleep(100);
    int ticks = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        ticks += msg.message == WM_TIMER ? 1 : 0;
    EXPECT_EQ(ticks, 0);
}

} // namespace
