// The layer's own side of the loop: the close box through the harness, a timer's rhythm on
// the program's clock, message boxes as the harness records and answers them, and the
// loud failure of an argument the layer does not support. What Win32 itself does is
// stated once, in tests/win32, which also runs under Wine.
#include "layer/layer_program.h"

#include <gtest/gtest.h>

namespace {

using Messages = std::vector<UINT>;

TEST(LayerMessages, CloseDestroysTheWindowAndDestroyEndsTheLoop) {
    LayerProgram p;
    p.Start();
    p.log.clear();
    ASSERT_TRUE(p.harness().ClickCloseBox());
    EXPECT_EQ(p.Messages(), (Messages{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(p.window()));
    EXPECT_FALSE(p.harness().Running());
    EXPECT_EQ(p.harness().ExitCode(), 0);
}

// On the layer's clock, to the millisecond: a late tick leaves the timer's rhythm as it was.
TEST(LayerTimers, ALateTickKeepsTheTimersRhythm) {
    LayerProgram p;
    std::vector<DWORD> ticks;
    p.On(WM_TIMER, [&](HWND, WPARAM, LPARAM) {
        ticks.push_back(GetTickCount());
        if (ticks.size() == 1) Sleep(1250); // busy for two and a half periods
        return LRESULT{0};
    });
    p.Start();
    p.harness().Run([&] { SetTimer(p.window(), 1, 500, nullptr); });
    p.harness().Advance(2100);
    // One tick waited through the busy time; the rhythm of the timer stayed.
    EXPECT_EQ(ticks, (std::vector<DWORD>{500, 1750, 2000}));
}

TEST(LayerMessageBox, ItsLoopGoesOnDispatchingTimersAndPaints) {
    LayerProgram p;
    int result = -1;
    p.On(WM_USER, [&](HWND hwnd, WPARAM, LPARAM) {
        SetTimer(hwnd, 1, 100, nullptr);
        result = MessageBoxA(nullptr, "first line\nsecond line", "Caption", MB_ICONERROR);
        return LRESULT{0};
    });
    p.Start();
    p.log.clear();
    auto& h = p.harness();
    h.Run([&] { PostMessageA(p.window(), WM_USER, 0, 0); });
    ASSERT_TRUE(h.BoxOpen());
    h.Advance(350);
    h.Run([&] { InvalidateRect(p.window(), nullptr, FALSE); });
    EXPECT_EQ(p.Messages(), (Messages{WM_USER, WM_TIMER, WM_TIMER, WM_TIMER, WM_PAINT}));
    for (size_t i = 1; i < p.log.size(); ++i) {
        EXPECT_EQ(p.log[i].depth, p.log[0].depth + 1) << "nested inside the box's caller";
    }
    EXPECT_TRUE(IsWindowEnabled(p.window())) << "a box without owner leaves the window usable";
    EXPECT_EQ(result, -1) << "still open";
    ASSERT_TRUE(h.AnswerBox());
    EXPECT_EQ(result, IDOK);
    auto boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "first line\nsecond line");
    EXPECT_EQ(boxes[0].caption, "Caption");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_FALSE(boxes[0].open);
}

TEST(LayerMessageBox, AnOwnedBoxDisablesItsOwner) {
    LayerProgram p;
    p.On(WM_USER, [&](HWND hwnd, WPARAM, LPARAM) {
        MessageBoxA(hwnd, "text", "Owned", MB_ICONINFORMATION);
        return LRESULT{0};
    });
    p.Start();
    auto& h = p.harness();
    h.Run([&] { PostMessageA(p.window(), WM_USER, 0, 0); });
    EXPECT_FALSE(IsWindowEnabled(p.window()));
    EXPECT_FALSE(h.ClickCloseBox()) << "the owner takes no input";
    h.AnswerBox();
    EXPECT_TRUE(IsWindowEnabled(p.window()));
    EXPECT_TRUE(h.ClickCloseBox());
}

#ifndef NDEBUG
using LayerDeathTest = ::testing::Test;

TEST(LayerDeathTest, UnsupportedArgumentsStopWithAClearMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    LayerProgram p;
    p.Start();
    EXPECT_DEATH(p.harness().Run([&] { MessageBoxA(nullptr, "?", "?", 0x4 /* MB_YESNO */); }),
                 "MessageBoxA: unsupported use");
    EXPECT_DEATH(
        p.harness().Run([&] { SetTimer(p.window(), 1, 100, [](HWND, UINT, UINT_PTR, DWORD) {}); }),
        "SetTimer: unsupported use: timer procedures");
    EXPECT_DEATH(p.harness().Run([&] { SetTimer(nullptr, 1, 100, nullptr); }),
                 "SetTimer: unsupported use: thread timers");
    EXPECT_DEATH(p.harness().Run([&] {
        HDC dc = GetDC(p.window());
        SetTextAlign(dc, TA_UPDATECP);
    }),
                 "SetTextAlign: unsupported use");
    EXPECT_DEATH(p.harness().Run([&] {
        HDC dc = GetDC(p.window());
        ReleaseDC(p.window(), dc);
        Rectangle(dc, 0, 0, 10, 10);
    }),
                 "Rectangle: unsupported use: a device context that is not held");
    EXPECT_DEATH(p.harness().Run([&] { GetMessageA(nullptr, nullptr, 0, 0); }),
                 "GetMessageA: unsupported use: a null message record");
}
#endif

// A key typed while the program is busy waits until the loop takes its next message, and
// GetQueueStatus says so meanwhile (new since the last look in the low word).
TEST(LayerInput, AKeyTypedDuringACallWaitsAndIsReported) {
    LayerProgram p;
    DWORD before = 1;
    DWORD during = 0;
    DWORD again = 0;
    p.On(WM_USER, [&](HWND, WPARAM, LPARAM) {
        before = GetQueueStatus(QS_KEY | QS_MOUSEBUTTON);
        p.harness().TypeDuringCall("alt");
        during = GetQueueStatus(QS_KEY | QS_MOUSEBUTTON);
        again = GetQueueStatus(QS_KEY);
        return LRESULT{0};
    });
    p.Start();
    DWORD after = 1;
    p.harness().Run([&] {
        SendMessageA(p.window(), WM_USER, 0, 0);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); // the loop takes the key
        after = GetQueueStatus(QS_KEY | QS_MOUSEBUTTON);
    });
    EXPECT_EQ(before, 0u);
    EXPECT_EQ(during, static_cast<DWORD>(MAKELONG(QS_KEY, QS_KEY)));
    EXPECT_EQ(again, static_cast<DWORD>(MAKELONG(0, QS_KEY))) << "no longer new";
    EXPECT_EQ(HIWORD(after), 0u);
}

} // namespace
