// The fault panel, read back from the headless picture and from the text drawn at each
// entry's origin.
#include "app/state.h"
#include "fixtures/colors.h"
#include "fixtures/ecu_model.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using headless::Harness;

struct Place {
    int column; // 0 to 2
    int row;    // 0 to 3
    const char* name;
};

// The eleven entries in drawing order; column 2, row 3 stays empty.
const Place kEntries[11] = {
    {0, 0, "Throttle position sensor"},
    {0, 1, "Pressure sensor"},
    {0, 2, "Lambda sensor"},
    {0, 3, "Water temp sensor"},
    {1, 0, "Air temp sensor"},
    {1, 1, "Battery voltage"},
    {1, 3, "Injector driver"},
    {2, 0, "Spark coil 1"},
    {2, 1, "Spark coil 2"},
    {2, 2, "Stepper motor"},
    {2, 3, "Crank sensor"},
};

int TextX(int column) { return 31 + 200 * column; }
int Baseline(int row) { return 451 + 20 * row; }
// A point of the highlight right of any text, at the middle of its row.
COLORREF HighlightAt(Harness& h, int column, int row) {
    return h.Pixel(195 + 200 * column, 446 + 20 * row);
}

// Paints the panel with these fault bytes and returns the harness.
void Show(Harness& h, uint8_t f1, uint8_t f2, uint8_t f3, uint8_t t1, uint8_t t2) {
    h.Run([&] {
        EcuRegisters.faultFlags1 = f1;
        EcuRegisters.faultFlags2 = f2;
        EcuRegisters.faultFlags3 = f3;
        EcuRegisters.faultType1 = t1;
        EcuRegisters.faultType2 = t2;
        InvalidateRect(mainWindow, nullptr, FALSE);
        UpdateWindow(mainWindow);
    });
}

TEST(FaultPanel, AtRestElevenNamesAndNoHighlight) {
    Harness h;
    h.Start();
    for (const Place& p : kEntries) {
        EXPECT_EQ(h.TextAt(TextX(p.column), Baseline(p.row)), p.name);
        EXPECT_EQ(HighlightAt(h, p.column, p.row), kPanel) << p.name;
    }
    EXPECT_EQ(h.TextAt(TextX(1), Baseline(2)), "") << "column 2, row 3 is empty";
    for (int y = 476; y < 496; ++y) {
        for (int x = 221; x < 401; ++x)
            ASSERT_EQ(h.Pixel(x, y), kPanel) << x << "," << y;
    }
    // The names are really drawn: dark glyph pixels just above each baseline.
    for (const Place& p : kEntries) {
        bool ink = false;
        for (int x = TextX(p.column); x < TextX(p.column) + 40; ++x) {
            if (IsDark(h.Pixel(x, Baseline(p.row) - 4))) ink = true;
        }
        EXPECT_TRUE(ink) << p.name;
    }
}

TEST(FaultPanel, OnlyTheNamedBitsLightTheirEntries) {
    Harness h;
    h.Start();
    Show(h, 0x04, 0, 0, 0, 0);
    for (const Place& p : kEntries) {
        bool lit = std::string(p.name) == "Lambda sensor";
        EXPECT_EQ(HighlightAt(h, p.column, p.row), lit ? kRed : kPanel) << p.name;
    }
    EXPECT_EQ(h.TextAt(31, 491), "Lambda sensor") << "an entry without a kind bit keeps its name";

    Show(h, 0xC0, 0xF0, 0xDF, 0xFF, 0xFF); // every bit no entry has
    for (const Place& p : kEntries) {
        EXPECT_EQ(HighlightAt(h, p.column, p.row), kPanel) << p.name;
        EXPECT_EQ(h.TextAt(TextX(p.column), Baseline(p.row)), p.name);
    }
}

TEST(FaultPanel, KindTextsAndTheBatterysLowAndHigh) {
    Harness h;
    h.Start();
    Show(h, 0x20, 0, 0, 0x20, 0);
    EXPECT_EQ(h.TextAt(231, 471), "Battery volts low");
    EXPECT_EQ(HighlightAt(h, 1, 1), kRed);
    Show(h, 0x20, 0, 0, 0x00, 0);
    EXPECT_EQ(h.TextAt(231, 471), "Battery volts high");

    Show(h, 0x08, 0, 0, 0x08, 0);
    EXPECT_EQ(h.TextAt(31, 511), "Water temp sens S/C");
    EXPECT_EQ(HighlightAt(h, 0, 3), kRed);
    Show(h, 0, 0x01, 0, 0, 0x00);
    EXPECT_EQ(h.TextAt(231, 511), "Injector driver O/C");
    EXPECT_EQ(HighlightAt(h, 1, 3), kRed);
    // The text lies on the red without a box of its own around it.
    for (int y = 500; y < 515; ++y) {
        for (int x = 231; x < 330; ++x)
            ASSERT_NE(h.Pixel(x, y), kPanel) << x << "," << y;
    }
}

TEST(FaultPanel, AllBytesSetLightEveryEntryWithItsShortCircuitText) {
    Harness h;
    h.Start();
    Show(h, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF);
    const char* texts[11] = {"Throttle sensor S/C", "Pressure sensor S/C", "Lambda sensor",
                             "Water temp sens S/C", "Air temp sensor S/C", "Battery volts low",
                             "Injector driver S/C", "Spark coil 1 S/C",    "Spark coil 2 S/C",
                             "Stepper motor S/C",   "Crank sensor"};
    for (int i = 0; i < 11; ++i) {
        const Place& p = kEntries[i];
        EXPECT_EQ(h.TextAt(TextX(p.column), Baseline(p.row)), texts[i]);
        EXPECT_EQ(HighlightAt(h, p.column, p.row), kRed) << texts[i];
    }
    Show(h, 0xFF, 0xFF, 0xFF, 0x00, 0x00);
    EXPECT_EQ(h.TextAt(31, 451), "Throttle sensor O/C");
    EXPECT_EQ(h.TextAt(431, 451), "Spark coil 1 O/C");
}

TEST(FaultPanel, APollRepaintsWhenAFaultComesAndGoesButNotForAKindByteAlone) {
    Harness h;
    EcuModel ecu;
    for (uint8_t a : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 16, 17, 18, 43, 44, 45})
        ecu.registers[a] = 0;
    ecu.Attach(h.Line());
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(900);
    int paints = h.PaintCount();

    ecu.registers[16] = 0x08;
    ecu.registers[43] = 0x08;
    h.Advance(500);
    EXPECT_EQ(h.PaintCount(), paints + 1);
    EXPECT_EQ(h.TextAt(31, 511), "Water temp sens S/C");
    EXPECT_EQ(HighlightAt(h, 0, 3), kRed);

    ecu.registers[43] = 0x00; // the kind alone changes: nothing is repainted
    h.Advance(1000);
    EXPECT_EQ(h.PaintCount(), paints + 1);
    EXPECT_EQ(h.TextAt(31, 511), "Water temp sens S/C");

    ecu.registers[16] = 0x00; // the fault goes
    h.Advance(500);
    EXPECT_EQ(h.PaintCount(), paints + 2);
    EXPECT_EQ(h.TextAt(31, 511), "Water temp sensor");
    EXPECT_EQ(HighlightAt(h, 0, 3), kPanel);
}

} // namespace
