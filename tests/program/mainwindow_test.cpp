// The main window as a person uses it: menu, engine choice, ticks, resizing, the end.
#include "app/state.h"
#include "dashboard/dashboard.h"
#include "fixtures/colors.h"
#include "fixtures/ecu_model.h"
#include "platform/posix/harness/harness.h"
#include "platform/posix/layer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using headless::Harness;

const char* const kEngineItems[] = {
    "500 (899/1000 SPI)",
    "Panda (899/1000 SPI, 1108 4*4, 1108 SPI CA)",
    "Punto (55 1.1 SPI, 60 1.2 SPI, Selecta 1.2 SPI, 1.1 SPI Em 04 East Europe)Punto 75 1.2",
    "Lancia Y (giovani 1.1 SPI, 1.2 SPI CM, 1.2 SPI CA)",
    "Palio (1108 SPI em 04 turkey, south africa, morocco)",
    "Tipo 1372 SPI TOFAS",
    "Tipo/Tempra (1.6 SPI, USA, Em 04)",
    "Seicento (899 SPI Base, 899 SPI FE, 1102 SPI Base, Condition)",
};

// Times at which the main window received WM_TIMER.
std::vector<uint64_t> TickTimes() {
    std::vector<uint64_t> times;
    for (const w32::TraceEntry& e : w32::Trace()) {
        if (e.message == WM_TIMER && e.hwnd == mainWindow) times.push_back(e.time);
    }
    return times;
}

TEST(MainWindow, OpensWithTitleSizeMenuAndPortList) {
    Harness h;
    h.Start();
    ASSERT_TRUE(h.Running());
    EXPECT_EQ(h.Title(), "Fiat Punto 75 Mk1");
    EXPECT_EQ(h.MainWindow(), mainWindow);
    // 630 by 585 outside: the client area and the menu bar.
    EXPECT_EQ(h.ClientWidth(), 630);
    EXPECT_EQ(h.ClientHeight(), 585 - w32::kMenuBarHeight);
    EXPECT_EQ(h.PaintCount(), 1) << "shown and painted once";
    EXPECT_TRUE(IsWindow(PortList));
    EXPECT_EQ(GetParent(PortList), mainWindow);
    EXPECT_EQ(wakeStep, 1);
    EXPECT_EQ(engineType, 0);
    EXPECT_TRUE(h.Boxes().empty());
}

TEST(MainWindow, MenuResourceAsTheUserSeesIt) {
    Harness h;
    h.Start();
    struct Item {
        const char* text; // null for a separator
        UINT id;
        UINT state;
    };
    struct Popup {
        const char* text;
        bool grayed;
        std::vector<Item> items;
    };
    std::vector<Item> engine;
    for (const char* text : kEngineItems)
        engine.push_back({text, 40002, 0});
    const std::vector<Popup> expected = {
        {"&File", false, {{nullptr, 0, 0}, {"E&xit", 40001, 0}}},
        {"&Engine", false, engine},
        {"&Logging", false, {{"Logging on", 40012, 0}, {"Logging off", 40013, MF_CHECKED}}},
        {"E&rror codes",
         true,
         {{"&Ram", 40006, 0},
          {"&Eeprom", 40007, 0},
          {"Error &Age", 40014, 0},
          {"&Immobiliser", 40015, 0},
          {nullptr, 0, 0},
          {"&Clear error codes", 40008, 0}}},
        {"&Active testing",
         true,
         {{"Fuel pump", 40016, 0},
          {"Injectors in sequence", 40017, 0},
          {"Power module 1", 40019, 0},
          {"VAE (ICR)", 40020, 0},
          {"Overboost", 40021, 0},
          {"Power module 2", 40022, 0},
          {"Rev counter", 40023, 0},
          {"Injector 1", 40024, 0},
          {"Injector 2", 40025, 0},
          {"Injector 3", 40026, 0},
          {"Injector 4", 40027, 0}}},
        {"&Help", true, {{"&About", 40009, MF_GRAYED}, {"&How do I...?", 40010, MF_GRAYED}}},
    };
    HMENU bar = GetMenu(mainWindow);
    ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(expected.size()));
    for (size_t p = 0; p < expected.size(); ++p) {
        const Popup& popup = expected[p];
        SCOPED_TRACE(popup.text);
        char text[128];
        GetMenuStringA(bar, static_cast<UINT>(p), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, popup.text);
        EXPECT_EQ(h.CanOpenPopup(popup.text), !popup.grayed);
        HMENU sub = GetSubMenu(bar, static_cast<int>(p));
        ASSERT_EQ(GetMenuItemCount(sub), static_cast<int>(popup.items.size()));
        for (size_t i = 0; i < popup.items.size(); ++i) {
            const Item& item = popup.items[i];
            UINT state = GetMenuState(sub, static_cast<UINT>(i), MF_BYPOSITION);
            if (item.text == nullptr) {
                EXPECT_NE(state & MF_SEPARATOR, 0u) << i;
                continue;
            }
            GetMenuStringA(sub, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            EXPECT_STREQ(text, item.text);
            EXPECT_EQ(GetMenuItemID(sub, static_cast<int>(i)), item.id) << item.text;
            EXPECT_EQ(state & (MF_CHECKED | MF_GRAYED), item.state) << item.text;
        }
    }
    // The Logging popup is the third, where the log finds it.
    HMENU logging = GetSubMenu(bar, 2);
    EXPECT_EQ(GetMenuState(logging, kCommandLoggingOff, MF_BYCOMMAND) & MF_CHECKED,
              static_cast<UINT>(MF_CHECKED));
}

TEST(MainWindow, GrayedPopupsCannotBeOpened) {
    Harness h;
    h.Start();
    EXPECT_FALSE(h.ChooseMenu("E&rror codes", "&Ram"));
    EXPECT_FALSE(h.ChooseMenu("&Active testing", "Fuel pump"));
    EXPECT_FALSE(h.ChooseMenu("&Help", "&About"));
    EXPECT_FALSE(h.ChooseMenu("&File", "No such item"));
    EXPECT_TRUE(h.Running());
}

TEST(MainWindow, EveryEngineItemGivesTheSameTitleRangeAndOneRepaint) {
    Harness h;
    h.Start();
    EXPECT_EQ(pressureGauge.threshold1, 1200);
    int paints = h.PaintCount();
    for (const char* item : kEngineItems) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(h.ChooseMenu("&Engine", item));
        EXPECT_EQ(h.Title(), "Fiat Punto MK1 55");
        EXPECT_EQ(engineType, 1);
        EXPECT_EQ(h.PaintCount(), ++paints) << "one full repaint";
        EXPECT_EQ(pressureGauge.minimum, 0);
        EXPECT_EQ(pressureGauge.maximum, 1250);
        EXPECT_EQ(pressureGauge.majorStep, 250);
        EXPECT_EQ(pressureGauge.minorStep, 50);
        EXPECT_EQ(pressureGauge.threshold1, 1500);
        EXPECT_EQ(pressureGauge.threshold2, 1200);
        EXPECT_EQ(pressureGauge.threshold3, 0);
        EXPECT_EQ(pressureGauge.threshold4, 0);
    }
    EXPECT_FALSE(h.MenuChecked("&Engine", kEngineItems[0])) << "no engine item is checked";
}

TEST(MainWindow, PressureAbove1200IsRedBeforeTheEngineChoiceAndYellowAfter) {
    Harness h;
    EngineReadings.manifoldPressure = 1210.0f;
    h.Start();
    const int yp = 205 - static_cast<int>(1210.0 * 150 / 1250);
    EXPECT_EQ(h.Pixel(pressureGauge.left + 12, yp), kRed);
    EXPECT_EQ(h.TextAt(260, 225), "1210 mb");
    ASSERT_TRUE(h.ChooseMenu("&Engine", kEngineItems[2]));
    EXPECT_EQ(h.Pixel(pressureGauge.left + 12, yp), kYellow);
    EXPECT_EQ(h.Pixel(pressureGauge.left + 32, 55), kBlack) << "the scale is drawn as before";
    EXPECT_EQ(h.TextAt(248, 60), "1250");
}

TEST(MainWindow, TicksCome120msApartThreeTimesThenEvery500ms) {
    Harness h;
    w32::SetTracing(true);
    h.Start();
    h.Advance(119);
    EXPECT_EQ(wakeStep, 1);
    h.Advance(1);
    EXPECT_EQ(wakeStep, 2);
    h.Advance(120);
    EXPECT_EQ(wakeStep, 3);
    h.Advance(119);
    EXPECT_EQ(wakeStep, 3);
    h.Advance(1);
    EXPECT_EQ(wakeStep, 0);
    h.Advance(2000);
    const std::vector<uint64_t> expected = {120, 240, 360, 860, 1360, 1860, 2360};
    EXPECT_EQ(TickTimes(), expected);
}

TEST(MainWindow, TicksBeforeAnEngineChoiceDoNothing) {
    Harness h;
    h.Start();
    h.Advance(400); // the wake-up is over
    ASSERT_EQ(wakeStep, 0);
    EngineReadings.engineSpeed = 3000.0f; // as if an ECU had answered
    uint64_t picture = h.PictureHash();
    int paints = h.PaintCount();
    h.Advance(5000);
    EXPECT_EQ(h.PictureHash(), picture) << "no drawing";
    EXPECT_EQ(h.PaintCount(), paints);
    EXPECT_EQ(revsGauge.value, 0.0f) << "the gauges keep their start values";
}

TEST(MainWindow, AfterTheEngineChoiceEachTickMovesTheGauges) {
    Harness h;
    EcuModel ecu;
    ecu.registers = {{1, 0x13}, {2, 0x88}, {10, 224}}; // 3000 rpm and 14 V
    ecu.Attach(h.Line());
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", kEngineItems[0]));
    h.Advance(360);
    int paints = h.PaintCount();
    h.Advance(500); // the first tick after the wake-up
    EXPECT_EQ(h.Pixel(revsGauge.left + 12, 274), kGreen);
    EXPECT_EQ(h.Pixel(revsGauge.left + 12, 405), kPanel) << "the pointer left the bottom";
    EXPECT_EQ(h.TextAt(60, 425), "3000 rpm");
    EXPECT_EQ(h.TextAt(460, 225), "14.00 V");
    EXPECT_EQ(h.PaintCount(), paints) << "a tick redraws only the moving parts";
    EXPECT_EQ(revsGauge.Percent(), 37);
}

TEST(MainWindow, AChangedFaultByteRepaintsOnceAndTheKindBytesDoNot) {
    Harness h;
    EcuModel ecu;
    ecu.Attach(h.Line());
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", kEngineItems[0]));
    h.Advance(860);
    int paints = h.PaintCount();
    h.Advance(500);
    EXPECT_EQ(h.PaintCount(), paints) << "fault bytes all 0, as last shown";

    ecu.registers[16] = 0x04;
    h.Advance(500);
    EXPECT_EQ(h.PaintCount(), paints + 1);
    EXPECT_EQ(lastFaultFlags1, 0x04);
    h.Advance(1000);
    EXPECT_EQ(h.PaintCount(), paints + 1) << "the same bytes again";

    ecu.registers[43] = 0x20;
    ecu.registers[44] = 0x01;
    h.Advance(500);
    EXPECT_EQ(h.PaintCount(), paints + 1) << "a kind byte alone";

    ecu.registers[18] = 0x20;
    h.Advance(500);
    ecu.registers[16] = 0x00;
    h.Advance(500);
    EXPECT_EQ(h.PaintCount(), paints + 3);
}

TEST(MainWindow, FileExitEndsWithCodeZero) {
    Harness h;
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&File", "E&xit"));
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
}

TEST(MainWindow, CloseBoxEndsWithCodeZero) {
    Harness h;
    h.Start();
    h.Advance(1000);
    ASSERT_TRUE(h.ClickCloseBox());
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_FALSE(IsWindow(mainWindow)) << "the close box destroys the window";
}

TEST(MainWindow, UnknownCommandsAndOtherListNoticesDoNothing) {
    Harness h;
    h.Start();
    uint64_t picture = h.PictureHash();
    int paints = h.PaintCount();
    h.Run([] {
        const WPARAM ids[] = {40006, 40007, 40008, 40009, 40010, 40014, 40015,
                              40016, 40027, 40003, 0,     1,     12345, 0xFFFFFFFF};
        for (WPARAM id : ids)
            SendMessageA(mainWindow, WM_COMMAND, id, 0);
        // The list dropping down and closing up.
        SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kPortListId, CBN_DROPDOWN),
                     reinterpret_cast<LPARAM>(PortList));
        SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kPortListId, CBN_CLOSEUP),
                     reinterpret_cast<LPARAM>(PortList));
    });
    h.Advance(100);
    EXPECT_TRUE(h.Running());
    EXPECT_EQ(engineType, 0);
    EXPECT_EQ(h.Title(), "Fiat Punto 75 Mk1");
    EXPECT_EQ(h.PictureHash(), picture);
    EXPECT_EQ(h.PaintCount(), paints);
}

TEST(MainWindow, ResizingRepaintsAllOfItAtFixedPlaces) {
    Harness h;
    h.Start();
    int paints = h.PaintCount();
    ASSERT_TRUE(h.Resize(800, 700));
    EXPECT_EQ(h.PaintCount(), paints + 1);
    EXPECT_EQ(h.Pixel(700, 300), kBlack) << "the new area is background";
    EXPECT_EQ(h.Pixel(300, 650), kBlack);
    EXPECT_EQ(h.Pixel(60, 200), kPanel) << "the gauges stay where they were";
    EXPECT_EQ(h.Pixel(revsGauge.left + 12, 405), kRed);

    ASSERT_TRUE(h.Resize(200, 150));
    ASSERT_TRUE(h.Resize(630, 565));
    EXPECT_EQ(h.PaintCount(), paints + 3);
    EXPECT_EQ(h.Pixel(560, 300), kPanel) << "the water gauge came back";
    EXPECT_EQ(h.Pixel(300, 480), kPanel) << "and the fault panel";
}

} // namespace
