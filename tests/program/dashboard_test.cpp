// The dashboard at rest, as the first paint shows it, read back by pixels.
#include "app/state.h"
#include "dashboard/dashboard.h"
#include "fixtures/colors.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Expected {
    const Gauge* gauge;
    const char* name;
    const char* readout;
    COLORREF band;
};

// Where the pointer of a gauge stands for a value, from the scale's rule.
int PointerY(const Gauge& g, double value) {
    double clamped = std::fmax(g.minimum, std::fmin(g.maximum, value));
    return g.top + g.height - 25 -
           static_cast<int>((clamped - g.minimum) * (g.height - 50) / (g.maximum - g.minimum));
}

TEST(DashboardAtRest, FirstPaintShowsNineGaugesAtZero) {
    headless::Harness h;
    h.Start();
    ASSERT_TRUE(h.Running());
    h.SavePng(QUORVEL_TEST_OUTPUT "/dashboard-at-rest.png");

    const Expected gauges[] = {
        {&revsGauge, "Revs", "0 rpm", kRed},        {&airGauge, "Air", "0 C", kGreen},
        {&pressureGauge, "Pressure", "0 mb", kRed}, {&throttleGauge, "Throttle", "0.0 deg", kRed},
        {&voltsGauge, "Volts", "0.00 V", kRed},     {&injectorGauge, "Injector", "0.000 mS", kRed},
        {&advanceGauge, "Advance", "0 deg", kRed},  {&vaeGauge, "VAE", "0 %", kRed},
        {&waterGauge, "Water", "0 C", kGreen},
    };
    for (const Expected& e : gauges) {
        const Gauge& g = *e.gauge;
        SCOPED_TRACE(e.name);
        // The panel's fill, right of the labels.
        EXPECT_EQ(h.Pixel(g.left + 90, g.top + g.height / 2), kPanel);
        int yp = PointerY(g, 0.0);
        EXPECT_EQ(ColorName(h.Pixel(g.left + 12, yp)), ColorName(e.band));
        EXPECT_EQ(h.Pixel(g.left + 19, yp), kBlack) << "the pointer's tip";
        EXPECT_EQ(h.Pixel(g.left + 20, g.top + g.height / 2), kBlack) << "the spine's outline";
        EXPECT_EQ(h.Pixel(g.left + 22, g.top + g.height / 2), kPanel) << "and its fill";
        EXPECT_EQ(h.TextAt(g.left + 50, g.top + 15), e.name);
        EXPECT_EQ(h.TextAt(g.left + 50, g.top + g.height - 5), e.readout);
        // The readout is really drawn: glyph pixels just above its baseline.
        bool ink = false;
        for (int x = g.left + 30; x < g.left + 70; ++x) {
            if (IsDark(h.Pixel(x, g.top + g.height - 8))) ink = true;
        }
        EXPECT_TRUE(ink);
    }
    // The air and water pointers stand at 0 degrees, above the bottom of their scales.
    EXPECT_EQ(PointerY(airGauge, 0), 160);
    EXPECT_EQ(PointerY(waterGauge, 0), 299);
}

TEST(DashboardAtRest, EmptySlotBackgroundAndFaultPanelFrame) {
    headless::Harness h;
    h.Start();
    // The slot where the injection-timing gauge would stand shows the background.
    for (int y = 232; y < 430; y += 7) {
        for (int x = 211; x < 310; x += 7)
            ASSERT_EQ(h.Pixel(x, y), kBlack) << x << "," << y;
    }
    EXPECT_EQ(h.TextAt(260, 245), "") << "nothing is drawn for it";
    // Black around the gauges and below the panel.
    EXPECT_EQ(h.Pixel(5, 200), kBlack);
    EXPECT_EQ(h.Pixel(615, 200), kBlack);
    EXPECT_EQ(h.Pixel(300, 545), kBlack);
    EXPECT_EQ(h.Pixel(8, 8), kBlack) << "the activity lamp is dark";
    // The panel's frame from (11, 431) to (609, 529): fill inside, outline on its edges.
    EXPECT_EQ(h.Pixel(300, 480), kPanel);
    EXPECT_EQ(h.Pixel(12, 480), kPanel);
    EXPECT_EQ(h.Pixel(607, 480), kPanel);
    EXPECT_EQ(h.Pixel(608, 480), kBlack);
    EXPECT_EQ(h.Pixel(300, 432), kPanel);
    EXPECT_EQ(h.Pixel(300, 527), kPanel);
    EXPECT_EQ(h.Pixel(300, 528), kBlack);
    EXPECT_EQ(h.Pixel(13, 433), kBlack) << "a rounded corner";
    // The port list sits above the gauges.
    EXPECT_EQ(h.Pixel(100, 16), kWhite);
}

TEST(DashboardAtRest, InjectionTimingGaugeIsNeverTouched) {
    headless::Harness h;
    h.Start();
    h.Advance(2000);
    EXPECT_EQ(injTimingGauge.value, 0.0f);
    EXPECT_EQ(injTimingGauge.Percent(), 0);
}

} // namespace
