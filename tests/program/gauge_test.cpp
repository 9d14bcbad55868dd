// The bar gauge, drawn into a window of its own and read back by pixels.
#include "app/state.h"
#include "dashboard/gauge.h"
#include "fixtures/colors.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

namespace {

LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A black window the size of the dashboard, with the program's four brushes.
class GaugeTest : public ::testing::Test {
  protected:
    GaugeTest()
        : h([this] {
              WNDCLASSA wc = {};
              wc.lpfnWndProc = PlainProc;
              wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
              wc.lpszClassName = "gauge test";
              RegisterClassA(&wc);
              window = CreateWindowExA(0, "gauge test", "gauges", WS_OVERLAPPEDWINDOW, 0, 0, 630,
                                       565, nullptr, nullptr, nullptr, nullptr);
              redBrush = CreateSolidBrush(RGB(255, 0, 0));
              greenBrush = CreateSolidBrush(RGB(0, 255, 0));
              yellowBrush = CreateSolidBrush(RGB(255, 255, 0));
              panelBrush = CreateSolidBrush(RGB(255, 128, 255));
              ShowWindow(window, SW_SHOW);
              UpdateWindow(window);
              MSG msg;
              while (GetMessageA(&msg, nullptr, 0, 0))
                  DispatchMessageA(&msg);
              return 0;
          }) {
        h.Start();
    }

    void Paint(Gauge& g, float reading) {
        h.Run([&] {
            HDC dc = GetDC(window);
            g.Paint(dc, reading);
            ReleaseDC(window, dc);
        });
    }

    void Update(Gauge& g, float reading) {
        h.Run([&] {
            HDC dc = GetDC(window);
            g.Update(dc, reading);
            ReleaseDC(window, dc);
        });
    }

    // The pointer's row for a value, from the scale's rule.
    static int PointerY(const Gauge& g, double value) {
        return g.top + g.height - 25 -
               static_cast<int>((value - g.minimum) * (g.height - 50) / (g.maximum - g.minimum));
    }

    // The pointer is a triangle left of the spine; a point well inside it shows the band.
    COLORREF PointerColor(const Gauge& g, int y) { return h.Pixel(g.left + 12, y); }

    // The leftmost column with a glyph's dark pixel in the box, or x1 + 1 when none.
    int DarkLeftEdge(int x0, int x1, int y0, int y1) {
        for (int x = x0; x <= x1; ++x) {
            for (int y = y0; y <= y1; ++y) {
                if (IsDark(h.Pixel(x, y))) return x;
            }
        }
        return x1 + 1;
    }

    headless::Harness h;
    HWND window = nullptr;
};

Gauge RevsLike() {
    return Gauge("Revs", "rpm", 400, 10, 30, 0, 8000, 1000, 200, 6500, 6000, 1500, 1000, 0);
}

TEST_F(GaugeTest, NewGaugeStandsAtItsMinimum) {
    Gauge air("Air", "C", 200, 110, 30, -55, 125, 30, 5, 105, 95, -60, -60, 0);
    EXPECT_EQ(air.value, -55.0f);
    EXPECT_EQ(air.Percent(), 0);
    Gauge tooLong("A name far longer than fifteen", "units beyond fifteen chars", 200, 0, 0, 0, 10,
                  1, 1, 10, 10, 0, 0, 0);
    EXPECT_STREQ(tooLong.name, "A name far long");
    EXPECT_STREQ(tooLong.units, "units beyond fi");
}

TEST_F(GaugeTest, RevsScaleTicksLabelsAndPointer) {
    Gauge revs = RevsLike();
    Paint(revs, 3000);
    const int above[] = {0, 43, 87, 131, 175, 218, 262, 306, 350};
    for (int i = 0; i <= 8; ++i) {
        int y = 405 - above[i];
        SCOPED_TRACE(y);
        // A major tick runs from the spine to x 44; a minor one stops at x 39.
        EXPECT_EQ(h.Pixel(42, y), kBlack);
        EXPECT_EQ(h.TextAt(48, y + 5), std::to_string(i * 1000));
    }
    EXPECT_EQ(h.Pixel(37, 405 - 8), kBlack) << "minor tick at 200 rpm";
    EXPECT_EQ(h.Pixel(42, 405 - 8), kPanel) << "a minor tick is short";

    EXPECT_EQ(PointerY(revs, 3000), 274);
    EXPECT_EQ(PointerColor(revs, 274), kGreen);
    EXPECT_EQ(h.Pixel(19, 264), kBlack) << "outline through the first point";
    EXPECT_EQ(h.Pixel(29, 274), kBlack) << "tip";
    EXPECT_EQ(h.Pixel(19, 284), kBlack) << "outline through the last point";
    EXPECT_EQ(h.Pixel(22, 262), kPanel) << "nothing above the triangle";
    EXPECT_EQ(revs.Percent(), 37);
    EXPECT_EQ(h.TextAt(60, 425), "3000 rpm");
    EXPECT_EQ(h.TextAt(60, 45), "Revs");
}

TEST_F(GaugeTest, ReadingsBeyondTheRangeAreDrawnAtItsLimits) {
    Gauge revs = RevsLike();
    Paint(revs, 9000);
    EXPECT_EQ(revs.value, 8000.0f);
    EXPECT_EQ(PointerColor(revs, 55), kRed);
    EXPECT_EQ(h.TextAt(60, 425), "8000 rpm");
    EXPECT_EQ(revs.Percent(), 100);

    Paint(revs, -250);
    EXPECT_EQ(PointerColor(revs, 405), kRed);
    EXPECT_EQ(h.Pixel(22, 55), kPanel) << "the old pointer was painted over";
    EXPECT_EQ(h.TextAt(60, 425), "0 rpm");
    EXPECT_EQ(revs.Percent(), 0);
}

TEST_F(GaugeTest, AValueOnAThresholdTakesTheBandBelow) {
    Gauge volts("Volts", "V", 200, 410, 30, 0, 15, 3, 1, 15, 14, 13, 12, 2);
    struct Case {
        float reading;
        COLORREF band;
        const char* readout;
    } cases[] = {{14.0f, kGreen, "14.00 V"},  {14.01f, kYellow, "14.01 V"},
                 {13.0f, kYellow, "13.00 V"}, {12.81f, kYellow, "12.81 V"},
                 {12.0f, kRed, "12.00 V"},    {15.0f, kYellow, "15.00 V"},
                 {13.5f, kGreen, "13.50 V"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.readout);
        Paint(volts, c.reading);
        EXPECT_EQ(ColorName(PointerColor(volts, PointerY(volts, volts.value))), ColorName(c.band));
        EXPECT_EQ(h.TextAt(460, 225), c.readout);
    }
}

TEST_F(GaugeTest, LabelsSpreadOverTheWholeSpan) {
    Gauge uneven("Uneven", "x", 200, 110, 30, 0, 100, 30, 10, 100, 100, 0, 0, 0);
    Paint(uneven, 0);
    const char* labels[] = {"0", "33", "66", "100"};
    for (int i = 0; i <= 3; ++i) {
        int y = 205 - (150 * i) / 3;
        EXPECT_EQ(h.TextAt(148, y + 5), labels[i]) << i;
    }
    EXPECT_EQ(h.TextAt(148, 55 + 5), "100") << "the top label is the maximum";
}

TEST_F(GaugeTest, NegativeMinimumLabels) {
    Gauge water("Water", "C", 400, 510, 30, -55, 125, 15, 5, 105, 95, -60, -60, 0);
    Paint(water, 0);
    for (int i = 0; i <= 12; ++i) {
        int y = 405 - (350 * i) / 12;
        EXPECT_EQ(h.TextAt(548, y + 5), std::to_string(-55 + 15 * i)) << i;
    }
    Gauge air("Air", "C", 200, 110, 30, -55, 125, 30, 5, 105, 95, -60, -60, 0);
    Paint(air, 0);
    const char* labels[] = {"-55", "-25", "5", "35", "65", "95", "125"};
    for (int i = 0; i <= 6; ++i) {
        int y = 205 - (150 * i) / 6;
        EXPECT_EQ(h.TextAt(148, y + 5), labels[i]) << i;
    }
}

TEST_F(GaugeTest, ReadoutRoundsWhilePointerAndPercentTruncate) {
    Gauge revs = RevsLike();
    Paint(revs, 2999.6f);
    EXPECT_EQ(h.TextAt(60, 425), "3000 rpm");
    EXPECT_EQ(revs.Percent(), 37);
    EXPECT_EQ(PointerY(revs, revs.value), 274);
    EXPECT_EQ(PointerColor(revs, 274), kGreen);

    Gauge pressure("Pressure", "mb", 200, 210, 30, 0, 1250, 250, 50, 1200, 1200, 0, 0, 0);
    Paint(pressure, 250);
    EXPECT_EQ(h.TextAt(260, 225), "250 mb");
    Gauge injector("Injector", "mS", 200, 110, 230, 0, 15, 15, 3, 15, 15, 0, 0, 3);
    Paint(injector, 0);
    EXPECT_EQ(h.TextAt(160, 425), "0.000 mS");
}

TEST_F(GaugeTest, UpdateMovesThePointerAndLeavesTheScale) {
    Gauge revs = RevsLike();
    Paint(revs, 3000);
    int wideLeft = DarkLeftEdge(31, 99, 417, 425);
    Update(revs, 0);
    EXPECT_EQ(PointerColor(revs, 274), kPanel) << "the old pointer is erased";
    EXPECT_EQ(PointerColor(revs, 405), kRed);
    EXPECT_EQ(h.TextAt(60, 425), "0 rpm");
    // The readout's box was erased: the shorter text leaves no old digit beside it.
    EXPECT_GT(DarkLeftEdge(31, 99, 417, 425), wideLeft + 5);
    EXPECT_EQ(h.Pixel(42, 405), kBlack) << "the scale stays";
    Update(revs, 5000);
    EXPECT_EQ(PointerColor(revs, PointerY(revs, 5000)), kGreen);
    EXPECT_EQ(h.TextAt(60, 425), "5000 rpm");
}

TEST_F(GaugeTest, UpdateAfterSetRangeUsesTheNewRangeButKeepsTheOldLabels) {
    Gauge pressure("Pressure", "mb", 200, 210, 30, 0, 1250, 250, 50, 1200, 1200, 0, 0, 0);
    Paint(pressure, 1210);
    EXPECT_EQ(PointerColor(pressure, PointerY(pressure, 1210)), kRed);
    pressure.SetRange(0, 1250, 250, 50, 1500, 1200, 0, 0);
    Update(pressure, 1210);
    EXPECT_EQ(PointerColor(pressure, PointerY(pressure, 1210)), kYellow);

    pressure.SetRange(0, 2500, 500, 100, 2500, 2500, 0, 0);
    EXPECT_EQ(pressure.value, 1210.0f) << "SetRange does not clamp";
    Update(pressure, 1210);
    EXPECT_EQ(PointerColor(pressure, PointerY(pressure, 1210)), kGreen);
    EXPECT_EQ(h.TextAt(248, 55 + 5), "1250") << "labels wait for the next paint";
    Paint(pressure, 1210);
    EXPECT_EQ(h.TextAt(248, 55 + 5), "2500");
}

TEST_F(GaugeTest, DrawingLeavesTheContextAsDocumented) {
    Gauge revs = RevsLike();
    h.Run([&] {
        HDC dc = GetDC(window);
        HGDIOBJ original = SelectObject(dc, GetStockObject(WHITE_BRUSH));
        revs.Paint(dc, 1000);
        EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), GetStockObject(WHITE_BRUSH))
            << "the caller's brush is selected back";
        EXPECT_EQ(SetTextAlign(dc, TA_LEFT), static_cast<UINT>(TA_CENTER | TA_BASELINE));
        EXPECT_EQ(SetBkColor(dc, RGB(255, 255, 255)), RGB(255, 128, 255));
        EXPECT_EQ(SetBkMode(dc, OPAQUE), OPAQUE) << "Paint never sets the mode";

        revs.Update(dc, 2000);
        EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), GetStockObject(WHITE_BRUSH));
        EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), GetStockObject(BLACK_PEN));
        EXPECT_EQ(SetTextAlign(dc, TA_LEFT), static_cast<UINT>(TA_CENTER | TA_BASELINE));
        EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
        SelectObject(dc, original);
        ReleaseDC(window, dc);
    });
}

} // namespace
