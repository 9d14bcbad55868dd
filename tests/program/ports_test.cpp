// Listing, choosing and opening serial ports, with the port list a test gives the system.
#include "app/state.h"
#include "ecu/portname.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using headless::Harness;
using w32::PortEntry;
using w32::PortListScript;
using w32::ScriptedLine;
using Kind = ScriptedLine::Event::Kind;

std::string PathOf(const std::string& entry) {
    char path[128] = "unchanged";
    if (!PortPathFromEntry(entry.c_str(), path, sizeof path)) return "none";
    return path;
}

TEST(PortPath, TheNumberedComNameOfAnEntry) {
    EXPECT_EQ(PathOf("USB Serial Port (COM3)"), "\\\\.\\Com3");
    EXPECT_EQ(PathOf("usb serial port (com12)"), "\\\\.\\Com12") << "upper-cased first";
    EXPECT_EQ(PathOf("Communications Port (COM1)"), "\\\\.\\Com1")
        << "COMMUNICATIONS is not the port's name";
    EXPECT_EQ(PathOf("Bluetooth Link (COM7) on COM9"), "\\\\.\\Com7") << "the first numbered one";
    EXPECT_EQ(PathOf("Port COM"), "\\\\.\\Com") << "with no number the first COM stays";
    EXPECT_EQ(PathOf("Compact flash"), "\\\\.\\Com");
    EXPECT_EQ(PathOf("COM42x"), "\\\\.\\Com42");
    EXPECT_EQ(PathOf(""), "none");
    EXPECT_EQ(PathOf("Bluetooth Link"), "none");
}

TEST(PortPath, LongTextsAreCutSafely) {
    std::string digits(300, '7');
    char path[128];
    ASSERT_TRUE(PortPathFromEntry(("X (COM" + digits + ")").c_str(), path, sizeof path));
    EXPECT_EQ(std::string(path), "\\\\.\\Com" + digits.substr(0, 127 - 7))
        << "cut at the path's end";

    std::string padded = "Port (COM5)" + std::string(3000, 'x');
    EXPECT_EQ(PathOf(padded), "\\\\.\\Com5");
    std::string late = std::string(2000, 'x') + " (COM5)";
    EXPECT_EQ(PathOf(late), "none") << "the name lies beyond what the buffer keeps";
}

// A port list of scripted lines with these friendly names.
std::shared_ptr<PortListScript> Ports(std::initializer_list<std::pair<int, const char*>> entries) {
    auto script = std::make_shared<PortListScript>();
    for (const auto& [number, name] : entries) {
        PortEntry p;
        p.number = number;
        p.friendlyName = name;
        p.line = std::make_shared<ScriptedLine>();
        script->ports.push_back(p);
    }
    return script;
}

std::vector<Kind> Kinds(const ScriptedLine& line) {
    std::vector<Kind> kinds;
    for (const auto& e : line.events) {
        if (e.kind != Kind::Write) kinds.push_back(e.kind);
    }
    return kinds;
}

TEST(Ports, ASinglePortIsOpenedAt1200BaudAndTheTimerStarts) {
    Harness h;
    h.SetPorts(Ports({{5, "USB Serial Port (COM5)"}}));
    h.Start();
    EXPECT_STREQ(portPath, "\\\\.\\Com5");
    ScriptedLine& line = h.Line(0);
    EXPECT_EQ(Kinds(line), (std::vector<Kind>{Kind::Open, Kind::Configure}));
    EXPECT_EQ(line.Baud(), 1200u);
    EXPECT_EQ(baudRate, 1200u);
    const w32::LineSettings& s = line.Settings();
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, 'N');
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_FALSE(s.rtsCts || s.xonXoffIn || s.xonXoffOut) << "no flow control";
    EXPECT_FALSE(s.dtr || s.rts) << "DTR and RTS off";
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(portHandle, &t));
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(t.ReadIntervalTimeout, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    h.Advance(120);
    EXPECT_EQ(wakeStep, 2) << "PollTimer ticks at 120 ms";
    EXPECT_TRUE(h.Boxes().empty());
}

TEST(Ports, LowerCaseAndCommunicationsPortNamesOpen) {
    Harness h;
    h.SetPorts(Ports({{12, "usb serial port (com12)"}, {1, "Communications Port (COM1)"}}));
    h.Start();
    // Sorted without regard to case, "Communications..." comes first.
    EXPECT_STREQ(portPath, "\\\\.\\Com1");
    EXPECT_EQ(h.Line(1).OpenCount(), 1);
    EXPECT_TRUE(h.Boxes().empty()) << "the built-in port is usable";
    ASSERT_TRUE(h.ChooseListEntry(1));
    EXPECT_STREQ(portPath, "\\\\.\\Com12");
    EXPECT_EQ(h.Line(0).OpenCount(), 1);
    EXPECT_EQ(h.Line(0).Baud(), 1200u) << "a chosen port is woken: 1200 baud";
    EXPECT_EQ(Kinds(h.Line(1)).back(), Kind::Close) << "the other port was closed";
}

TEST(Ports, TwoPortsStandInSortedOrderAndTheFirstIsOpened) {
    Harness h;
    h.SetPorts(Ports({{4, "USB Serial Port (COM4)"}, {7, "Bluetooth Link (COM7)"}}));
    h.Start();
    char first[64] = "";
    SendMessageA(PortList, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_STREQ(first, "Bluetooth Link (COM7)");
    EXPECT_EQ(SendMessageA(PortList, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(h.Line(1).OpenCount(), 1);
    EXPECT_EQ(h.Line(0).OpenCount(), 0);
}

TEST(Ports, NoPortsShowsThePortErrorAndEndsWithoutATick) {
    Harness h;
    h.SetPorts(std::make_shared<PortListScript>());
    w32::SetTracing(true);
    h.Start();
    ASSERT_TRUE(h.BoxOpen());
    auto boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quorvel - Port Error");
    EXPECT_EQ(boxes[0].text, "I'm sorry - I can't find any serial or USB ports. Please attach one "
                             "and restart the program.");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(boxes[0].owner, nullptr);
    h.Advance(1000);
    ASSERT_TRUE(h.AnswerBox());
    h.Advance(1000);
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
    for (const auto& e : w32::Trace())
        EXPECT_NE(e.message, static_cast<UINT>(WM_TIMER));
}

TEST(Ports, AListThatCannotBeHadShowsItsBoxAndEnds) {
    Harness h;
    auto script = Ports({{3, "USB Serial Port (COM3)"}});
    script->unavailable = true;
    h.SetPorts(script);
    h.Start();
    auto boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Sorry, there's a problem identifying serial ports. I have to close.");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    h.AnswerBox();
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_EQ(h.Line(0).OpenCount(), 0);
}

TEST(Ports, AnEnumerationErrorEndsSilently) {
    Harness h;
    auto script = Ports({{3, "USB Serial Port (COM3)"}, {4, "USB Serial Port (COM4)"}});
    script->failAtIndex = 1;
    h.SetPorts(script);
    h.Start();
    EXPECT_TRUE(h.Boxes().empty());
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_EQ(h.Line(0).OpenCount(), 0);
}

TEST(Ports, ANameThatCannotBeReadIsAnEmptyEntryAndOpensNothing) {
    Harness h;
    auto script = Ports({{3, "USB Serial Port (COM3)"}, {4, "hidden"}});
    script->ports[1].nameReadable = false;
    h.SetPorts(script);
    h.Start();
    EXPECT_EQ(SendMessageA(PortList, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(PortList, CB_GETLBTEXTLEN, 0, 0), 0) << "the empty text sorts first";
    EXPECT_EQ(h.Line(0).OpenCount(), 0) << "an entry without COM opens nothing";
    EXPECT_TRUE(h.Running());
    h.Advance(400);
    EXPECT_EQ(wakeStep, 0) << "the wake-up goes on without a port";
    EXPECT_TRUE(h.Boxes().empty());
}

TEST(Ports, APortThatCannotBeOpenedShowsTwoBoxesAndEnds) {
    Harness h;
    h.SetPorts(Ports({{3, "USB Serial Port (COM3)"}}));
    h.Line(0).refuseOpen = true;
    h.Start();
    auto boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "GetLastError");
    EXPECT_EQ(boxes[0].text, "Access is denied.");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));
    h.AnswerBox();
    boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].caption, "Serial port error");
    EXPECT_EQ(boxes[1].text, "There's an issue with the serial port; I can't find it!\nI'm going "
                             "to have to shut down now.");
    EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(boxes[1].owner, nullptr);
    h.AnswerBox();
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_EQ(portHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(h.Boxes().size(), 2u) << "the settings on the port that failed say nothing";
}

TEST(Ports, ComWithoutNumberGivesAPathThatCannotBeFound) {
    Harness h;
    h.SetPorts(Ports({{3, "Serial port COM"}}));
    h.Start();
    EXPECT_STREQ(portPath, "\\\\.\\Com");
    auto boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The system cannot find the file specified.");
    h.AnswerBox();
    h.AnswerBox();
    EXPECT_FALSE(h.Running());
}

TEST(Ports, TheWakeUpReopensAt7680) {
    Harness h;
    h.Start();
    ScriptedLine& line = h.Line(0);
    h.Advance(360);
    ASSERT_EQ(wakeStep, 0);
    EXPECT_EQ(Kinds(line), (std::vector<Kind>{Kind::Open, Kind::Configure, Kind::Close, Kind::Open,
                                              Kind::Configure}));
    EXPECT_EQ(line.Baud(), 7680u);
}

// The port goes between the wake-up's bytes and its reopen at 7680 (a lead knocked out):
// no box, the program goes on and tries the port again until it opens, then wakes the
// ECU from the start.
TEST(Ports, AReopenThatFailsAfterTheWakeUpIsTriedAgainWithoutABox) {
    Harness h;
    h.Start();
    ScriptedLine& line = h.Line(0);
    h.Advance(240);
    line.refuseOpen = true;
    h.Advance(120); // the third step: 0xCC, then the reopen fails
    EXPECT_FALSE(h.BoxOpen());
    EXPECT_EQ(portHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(h.Title(), "Fiat Punto 75 Mk1 - the lead is not connected");
    h.Advance(3000);
    EXPECT_TRUE(h.Running());
    EXPECT_TRUE(h.Boxes().empty());
    EXPECT_EQ(line.Written(), (std::vector<uint8_t>{0x0F, 0xAA, 0xCC})) << "no byte while shut";
    EXPECT_EQ(line.OpenCount(), 1);

    line.refuseOpen = false;
    h.Advance(500 + 360);
    EXPECT_EQ(line.Written(), (std::vector<uint8_t>{0x0F, 0xAA, 0xCC, 0x0F, 0xAA, 0xCC}));
    EXPECT_EQ(line.Baud(), 7680u);
    EXPECT_EQ(wakeStep, 0);
    ASSERT_TRUE(h.ChooseMenu("&File", "E&xit"));
    EXPECT_EQ(h.ExitCode(), 0);
}

} // namespace
