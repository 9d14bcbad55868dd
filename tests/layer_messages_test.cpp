// Messages, the loop, timers and message boxes, as Win32 has them.
#include "layer_program.h"

#include <gtest/gtest.h>

namespace {

using Messages = std::vector<UINT>;

TEST(LayerMessages, CreationShowAndFirstPaintInWin32Order) {
    LayerProgram p;
    p.Start();
    EXPECT_EQ(p.Messages(), (Messages{WM_CREATE, WM_PAINT, WM_ERASEBKGND}));
    // The erase runs inside BeginPaint, nested in the paint.
    ASSERT_EQ(p.log.size(), 3u);
    EXPECT_EQ(p.log[2].depth, p.log[1].depth + 1);
}

TEST(LayerMessages, SendMessageRunsTheHandlerAtOnceNested) {
    LayerProgram p;
    std::vector<std::string> order;
    p.On(WM_USER, [&](HWND hwnd, WPARAM, LPARAM) {
        order.push_back("outer begins");
        LRESULT r = SendMessageA(hwnd, WM_USER + 1, 0, 0);
        order.push_back("outer ends with " + std::to_string(r));
        return LRESULT{0};
    });
    p.On(WM_USER + 1, [&](HWND, WPARAM, LPARAM) {
        order.push_back("inner");
        return LRESULT{42};
    });
    p.Start();
    p.log.clear();
    p.harness().Run([&] { SendMessageA(p.window(), WM_USER, 0, 0); });
    EXPECT_EQ(order, (std::vector<std::string>{"outer begins", "inner", "outer ends with 42"}));
    ASSERT_EQ(p.log.size(), 2u);
    EXPECT_EQ(p.log[1].depth, p.log[0].depth + 1);
}

TEST(LayerMessages, PostedMessagesWaitForTheLoopInOrder) {
    LayerProgram p;
    p.Start();
    p.log.clear();
    p.harness().Run([&] {
        PostMessageA(p.window(), WM_USER + 1, 1, 0);
        PostMessageA(p.window(), WM_USER + 2, 2, 0);
        EXPECT_TRUE(p.log.empty()) << "nothing is handled before the loop runs";
    });
    EXPECT_EQ(p.Messages(), (Messages{WM_USER + 1, WM_USER + 2}));
    EXPECT_EQ(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(LayerMessages, UpdateWindowPaintsSynchronouslyOnlyWhenInvalid) {
    LayerProgram p;
    p.Start();
    p.harness().Run([&] {
        p.log.clear();
        UpdateWindow(p.window());
        EXPECT_TRUE(p.log.empty()) << "nothing invalid, no paint";
        InvalidateRect(p.window(), nullptr, FALSE);
        EXPECT_TRUE(p.log.empty()) << "invalidating paints nothing by itself";
        UpdateWindow(p.window());
        EXPECT_EQ(p.Messages(), (Messages{WM_PAINT})) << "no erase was asked for";
        p.log.clear();
    });
    EXPECT_TRUE(p.log.empty()) << "the paint validated the window";
}

TEST(LayerMessages, PaintWaitsForAnEmptyQueueAndComesBeforeTimers) {
    LayerProgram p;
    p.On(WM_USER, [&](HWND hwnd, WPARAM, LPARAM) {
        InvalidateRect(hwnd, nullptr, TRUE);
        SetTimer(hwnd, 1, 10, nullptr);
        PostMessageA(hwnd, WM_USER + 1, 0, 0);
        return LRESULT{0};
    });
    p.On(WM_TIMER, [&](HWND hwnd, WPARAM, LPARAM) {
        KillTimer(hwnd, 1);
        return LRESULT{0};
    });
    p.Start();
    p.log.clear();
    p.harness().Run([&] { PostMessageA(p.window(), WM_USER, 0, 0); });
    p.harness().Advance(10);
    EXPECT_EQ(p.Messages(), (Messages{WM_USER, WM_USER + 1, WM_PAINT, WM_ERASEBKGND, WM_TIMER}));
}

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

TEST(LayerMessages, QuitCodeIsTheLoopsResult) {
    LayerProgram p;
    p.On(WM_USER, [](HWND, WPARAM, LPARAM) {
        PostQuitMessage(7);
        return LRESULT{0};
    });
    p.Start();
    p.harness().Run([&] { PostMessageA(p.window(), WM_USER, 0, 0); });
    EXPECT_FALSE(p.harness().Running());
    EXPECT_EQ(p.harness().ExitCode(), 7);
}

TEST(LayerTimers, TicksAreNotQueuedUpWhileTheThreadIsBusy) {
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

TEST(LayerTimers, SetTimerOnAnExistingIdReplacesIt) {
    LayerProgram p;
    std::vector<DWORD> ticks;
    p.On(WM_TIMER, [&](HWND, WPARAM id, LPARAM) {
        EXPECT_EQ(id, 1u);
        ticks.push_back(GetTickCount());
        return LRESULT{0};
    });
    p.Start();
    p.harness().Run([&] { EXPECT_EQ(SetTimer(p.window(), 1, 120, nullptr), 1u); });
    p.harness().Advance(300);
    p.harness().Run([&] {
        EXPECT_TRUE(KillTimer(p.window(), 1));
        EXPECT_EQ(SetTimer(p.window(), 1, 500, nullptr), 1u);
    });
    p.harness().Advance(1000);
    p.harness().Run([&] { SetTimer(p.window(), 1, 200, nullptr); });
    p.harness().Advance(450);
    EXPECT_EQ(ticks, (std::vector<DWORD>{120, 240, 800, 1300, 1500, 1700}));
    p.harness().Run([&] {
        EXPECT_TRUE(KillTimer(p.window(), 1));
        EXPECT_FALSE(KillTimer(p.window(), 1)) << "already gone";
    });
    p.harness().Advance(1000);
    EXPECT_EQ(ticks.size(), 6u);
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

TEST(LayerMessageBox, QuitEndsTheBoxAndReachesTheOuterLoop) {
    LayerProgram p;
    p.On(WM_USER, [&](HWND, WPARAM, LPARAM) {
        PostQuitMessage(3);
        MessageBoxA(nullptr, "text", "Error", MB_ICONERROR);
        return LRESULT{0};
    });
    p.Start();
    p.harness().Run([&] { PostMessageA(p.window(), WM_USER, 0, 0); });
    EXPECT_FALSE(p.harness().Running());
    EXPECT_EQ(p.harness().ExitCode(), 3);
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

} // namespace
