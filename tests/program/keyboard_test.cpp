// The program worked from the keyboard, headless, through the same menu and list rules
// the X11 window uses: access keys, Alt alone, arrows that wrap, Escape in two steps,
// grayed popups, and the port list dropped and scrolled.
#include "app/state.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using headless::Harness;

TEST(Keyboard, AltAndAnAccessKeyOpenAPopupAndEnterChoosesItsFirstItem) {
    Harness h;
    h.Start();
    ASSERT_TRUE(h.PressKeys("alt+e"));
    EXPECT_TRUE(h.MenuBar().open);
    EXPECT_EQ(h.MenuBar().popup, 1) << "Engine, the second title";
    EXPECT_EQ(h.MenuBar().item, 0) << "the first item is highlighted";
    ASSERT_TRUE(h.PressKeys("Return"));
    EXPECT_FALSE(h.MenuBar().active);
    EXPECT_EQ(h.Title(), "Fiat Punto MK1 55");
    EXPECT_EQ(engineType, 1);
}

TEST(Keyboard, AltAloneTakesTheBarAndTheArrowsWrapAround) {
    Harness h;
    h.Start();
    ASSERT_TRUE(h.PressKeys("alt"));
    EXPECT_TRUE(h.MenuBar().active);
    EXPECT_EQ(h.MenuBar().popup, 0);
    EXPECT_FALSE(h.MenuBar().open) << "the title is highlighted, its popup not open";
    ASSERT_TRUE(h.PressKeys("Left"));
    EXPECT_EQ(h.MenuBar().popup, 5) << "from File to Help";
    for (int i = 0; i < 6; ++i)
        h.PressKeys("Right");
    EXPECT_EQ(h.MenuBar().popup, 5) << "six steps right go round once";
    ASSERT_TRUE(h.PressKeys("alt"));
    EXPECT_FALSE(h.MenuBar().active) << "Alt alone again lets the bar go";
}

TEST(Keyboard, EscapeClosesThePopupThenTheBar) {
    Harness h;
    h.Start();
    ASSERT_TRUE(h.PressKeys("alt+l"));
    ASSERT_TRUE(h.MenuBar().open);
    h.PressKeys("Down");
    EXPECT_EQ(h.MenuBar().item, 1);
    h.PressKeys("Down");
    EXPECT_EQ(h.MenuBar().item, 0) << "the items wrap around too";
    h.PressKeys("Escape");
    EXPECT_TRUE(h.MenuBar().active);
    EXPECT_FALSE(h.MenuBar().open);
    EXPECT_EQ(h.MenuBar().popup, 2);
    h.PressKeys("Escape");
    EXPECT_FALSE(h.MenuBar().active);
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging off")) << "nothing was chosen";
}

TEST(Keyboard, AGrayedPopupIsHighlightedButNeverOpens) {
    Harness h;
    h.Start();
    ASSERT_TRUE(h.PressKeys("alt+r"));
    EXPECT_TRUE(h.MenuBar().active);
    EXPECT_EQ(h.MenuBar().popup, 3) << "Error codes";
    EXPECT_FALSE(h.MenuBar().open);
    h.PressKeys("Down");
    h.PressKeys("Return");
    EXPECT_FALSE(h.MenuBar().open);
    EXPECT_FALSE(h.ChooseMenu("E&rror codes", "&Ram")) << "nor by the pointer";
    h.PressKeys("Right");
    EXPECT_EQ(h.MenuBar().popup, 4) << "Active testing, grayed too";
    EXPECT_FALSE(h.MenuBar().open);
}

TEST(Keyboard, LoggingOnByItsAccessKeysAndFileExitByX) {
    Harness h;
    h.Start();
    ASSERT_TRUE(h.PressKeys("alt+l"));
    ASSERT_TRUE(h.PressKeys("Return")); // "Logging on", the first item
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging on"));
    EXPECT_EQ(loggingOn, 1);
    ASSERT_TRUE(h.PressKeys("alt+f"));
    ASSERT_TRUE(h.PressKeys("x"));
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
}

// Twelve ports: more than the nine rows the dropped list shows.
std::shared_ptr<w32::PortListScript> TwelvePorts() {
    auto script = std::make_shared<w32::PortListScript>();
    for (int n = 1; n <= 12; ++n) {
        w32::PortEntry p;
        p.number = n;
        char name[32];
        snprintf(name, sizeof name, "Port %02d (COM%d)", n, n);
        p.friendlyName = name;
        p.line = std::make_shared<w32::ScriptedLine>();
        script->ports.push_back(p);
    }
    return script;
}

TEST(Keyboard, TheDroppedListFollowsTheArrowsAndScrolls) {
    Harness h;
    h.SetPorts(TwelvePorts());
    h.Start();
    ASSERT_TRUE(h.ClickPortList());
    w32::ListState list = h.DroppedList();
    ASSERT_TRUE(list.open);
    EXPECT_EQ(list.rows, 9);
    EXPECT_EQ(list.hot, 0) << "the selected entry is highlighted";
    for (int i = 0; i < 10; ++i)
        h.PressKeys("Down");
    list = h.DroppedList();
    EXPECT_EQ(list.hot, 10);
    EXPECT_EQ(list.first, 2) << "the rows scrolled to show the highlighted entry";
    ASSERT_TRUE(h.PressKeys("Return"));
    EXPECT_FALSE(h.DroppedList().open);
    EXPECT_STREQ(portPath, "\\\\.\\Com11");
    EXPECT_EQ(wakeStep, 1) << "the chosen port is woken";
    EXPECT_EQ(h.Line(10).OpenCount(), 1);
}

TEST(Keyboard, EscapeClosesTheListWithoutAChoiceAndTheArrowsStepAClosedOne) {
    Harness h;
    h.SetPorts(TwelvePorts());
    h.Start();
    ASSERT_TRUE(h.ClickPortList());
    h.PressKeys("Down");
    h.PressKeys("Escape");
    EXPECT_FALSE(h.DroppedList().open);
    EXPECT_EQ(h.Line(1).OpenCount(), 0) << "nothing chosen";
    // The list keeps the keyboard: Down on the closed list chooses the next entry.
    ASSERT_TRUE(h.PressKeys("Down"));
    EXPECT_STREQ(portPath, "\\\\.\\Com2");
    EXPECT_EQ(h.Line(1).OpenCount(), 1);
    ASSERT_TRUE(h.PressKeys("alt+Down"));
    EXPECT_TRUE(h.DroppedList().open) << "Alt+Down drops it";
    ASSERT_TRUE(h.PressKeys("alt+e"));
    EXPECT_FALSE(h.DroppedList().open) << "a menu takes over";
    EXPECT_TRUE(h.MenuBar().open);
}

} // namespace
