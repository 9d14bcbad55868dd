// A port the user chooses is woken as the first one was, and a line that cannot run at
// the ECU's rate is told once.
#include "app/state.h"
#include "dashboard/dashboard.h"
#include "fixtures/ecu_model.h"
#include "fixtures/line_story.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using headless::Harness;
using w32::PortEntry;
using w32::PortListScript;
using w32::ScriptedLine;
using Event = ScriptedLine::Event;
using Kind = Event::Kind;

// Two ports: entry 0 "A silent port (COM1)" with nothing behind it, entry 1 "ECU lead
// (COM2)" with an ECU that answers.
class TwoPorts : public ::testing::Test {
  protected:
    TwoPorts() {
        auto script = std::make_shared<PortListScript>();
        for (auto [number, name] : {std::pair<int, const char*>{1, "A silent port (COM1)"},
                                    std::pair<int, const char*>{2, "ECU lead (COM2)"}}) {
            PortEntry p;
            p.number = number;
            p.friendlyName = name;
            p.line = std::make_shared<ScriptedLine>();
            script->ports.push_back(p);
        }
        h.SetPorts(script);
        ecu.registers = {{1, 0x0B}, {2, 0xB8}, {8, 130}, {10, 224}}; // 5000 rpm, 90 C, 14 V
        ecu.Attach(h.Line(1));
    }
    ScriptedLine& Silent() { return h.Line(0); }
    ScriptedLine& Lead() { return h.Line(1); }

    Harness h;
    EcuModel ecu;
};

std::vector<uint64_t> WriteTimes(const ScriptedLine& line) {
    std::vector<uint64_t> times;
    for (const Event& e : line.events) {
        if (e.kind == Kind::Write) times.push_back(e.time);
    }
    return times;
}

TEST_F(TwoPorts, ChoosingTheSecondPortWakesItAndItsReadingsReachTheGauges) {
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(2000); // the silent port is "woken" and polled: nothing comes back
    EXPECT_EQ(EngineReadings.engineSpeed, 0.0f);
    EXPECT_EQ(Lead().OpenCount(), 0);

    uint64_t chosen = h.Now();
    ASSERT_TRUE(h.ChooseListEntry(1));
    EXPECT_EQ(Silent().events.back().kind, Kind::Close) << "the old port is closed";
    EXPECT_EQ(wakeStep, 1);
    h.Advance(360);
    EXPECT_EQ(Story(Lead()), "open@0 set@1200 0F@1200 AA@1200 CC@1200 close@1200 open@1200 "
                             "set@7680 ");
    std::vector<uint64_t> times = WriteTimes(Lead());
    ASSERT_GE(times.size(), 3u);
    EXPECT_EQ(times[0], chosen + 120);
    EXPECT_EQ(times[1], chosen + 240);
    EXPECT_EQ(times[2], chosen + 360);
    EXPECT_EQ(wakeStep, 0);

    h.Advance(500); // the poll resumes with the engine chosen before
    EXPECT_EQ(Lead().Written().size(), 3u + 17u);
    EXPECT_EQ(Story(Lead(), chosen + 361, 2), "01@7680 02@7680 ");
    EXPECT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f);
    EXPECT_FLOAT_EQ(revsGauge.value, 5000.0f);
    EXPECT_FLOAT_EQ(waterGauge.value, 90.0f);
    EXPECT_EQ(h.TextAt(revsGauge.left + 50, revsGauge.top + revsGauge.height - 5), "5000 rpm");
    EXPECT_TRUE(h.Boxes().empty());
}

// From a port whose ECU answers every register to one whose ECU lacks two side by side:
// what the first answered is not expected of the second, whose readings are shown within
// 3 s.
TEST_F(TwoPorts, WhatTheLastPortsEcuAnsweredIsNotExpectedOfTheNext) {
    EcuModel whole;
    whole.registers = {{1, 0x17}, {2, 0x70}, {8, 100}, {10, 200}}; // 2500 rpm, 12.5 V
    whole.Attach(Silent());
    ecu.silent = {5, 6};
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(3000);
    ASSERT_FLOAT_EQ(EngineReadings.batteryVolts, 12.5f) << "the first port's ECU is read";
    const uint64_t chosen = h.Now();
    ASSERT_TRUE(h.ChooseListEntry(1));
    while (EngineReadings.batteryVolts != 14.0f && h.Now() - chosen < 3000)
        h.Advance(10);
    EXPECT_LE(h.Now() - chosen, 3000u) << "the second port's ECU is not read";
    EXPECT_EQ(h.TextAt(voltsGauge.left + 50, voltsGauge.top + voltsGauge.height - 5), "14.00 V");
    EXPECT_EQ(h.TextAt(revsGauge.left + 50, revsGauge.top + revsGauge.height - 5), "5000 rpm");
}

TEST_F(TwoPorts, AChoiceDuringTheWakeUpStartsItAgainOnTheNewPort) {
    h.Start();
    h.Advance(240); // 0x0F and 0xAA have gone to the first port
    ASSERT_TRUE(h.ChooseListEntry(1));
    h.Advance(1000);
    EXPECT_EQ(Silent().Written(), (std::vector<uint8_t>{0x0F, 0xAA})) << "no 0xCC for it";
    EXPECT_EQ(Story(Lead()), "open@0 set@1200 0F@1200 AA@1200 CC@1200 close@1200 open@1200 "
                             "set@7680 ");
    EXPECT_EQ(WriteTimes(Lead()).front(), 240u + 120u);
    EXPECT_EQ(wakeStep, 0);
    EXPECT_EQ(Lead().OpenCount(), 2);
}

TEST_F(TwoPorts, ChoosingTheSamePortAgainWakesItAgain) {
    h.Start();
    h.Advance(400);
    ASSERT_EQ(wakeStep, 0);
    ASSERT_EQ(Silent().OpenCount(), 2);
    uint64_t chosen = h.Now();
    ASSERT_TRUE(h.ChooseListEntry(0));
    EXPECT_EQ(Silent().Baud(), 1200u);
    h.Advance(360);
    EXPECT_EQ(Story(Silent(), chosen), "close@7680 open@7680 set@1200 0F@1200 AA@1200 CC@1200 "
                                       "close@1200 open@1200 set@7680 ");
    h.Advance(5000);
    EXPECT_EQ(Silent().OpenCount(), 4) << "the program's own reopen starts no wake-up";
}

TEST_F(TwoPorts, TheProgramsOwnNoticesStartNoNewWakeUp) {
    h.Start();
    h.Advance(5000);
    EXPECT_EQ(Silent().Written(), (std::vector<uint8_t>{0x0F, 0xAA, 0xCC}));
    EXPECT_EQ(Silent().OpenCount(), 2);
    EXPECT_EQ(Lead().OpenCount(), 0);
}

// A lead whose chip runs 7680 baud as 9600, as a CP2102 does.
TEST_F(TwoPorts, ARateThePortCannotRunIsToldOnceAndTheProgramGoesOn) {
    Lead().driverRate = [](uint32_t asked) { return asked == 7680 ? 9600u : asked; };
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseListEntry(1));
    h.Advance(360);
    ASSERT_TRUE(h.BoxOpen());
    h.Advance(3000); // ticks behind the box
    std::vector<headless::BoxRecord> boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u) << "one box per open, not one per tick";
    EXPECT_EQ(boxes[0].caption, "Serial port error");
    EXPECT_EQ(boxes[0].text,
              "The parameter is incorrect: the adapter's driver offers 9600 baud instead of "
              "7680.\n\nThe serial port cannot run at 7680 baud, so the ECU cannot be read "
              "through it. Adapters with FTDI, CH340/CH341, PL2303 or CP2104/CP2102N chips can.");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(Lead().Baud(), 1200u) << "the line keeps the settings it had";
    ASSERT_TRUE(h.AnswerBox());
    int opens = Lead().OpenCount();
    h.Advance(6000);
    EXPECT_TRUE(h.Running());
    EXPECT_EQ(h.Title(), "Fiat Punto MK1 55 - no answer from the ECU");
    EXPECT_GT(Lead().OpenCount(), opens + 2) << "the program wakes the ECU again and again";
    EXPECT_EQ(h.Boxes().size(), 1u) << "the refused rate is not told at every retry";
    EXPECT_GT(Lead().Written().size(), 3u) << "the program polls on";

    // Another open of the same port is told again, once.
    ASSERT_TRUE(h.ChooseListEntry(1));
    h.Advance(360);
    EXPECT_EQ(h.Boxes().size(), 2u);
    h.AnswerBox();
    h.Advance(2000);
    EXPECT_EQ(h.Boxes().size(), 2u);
    EXPECT_TRUE(h.Running());
}

TEST_F(TwoPorts, ARateNearTheOneAskedIsTakenWithoutABox) {
    Lead().driverRate = [](uint32_t asked) { return asked == 7680 ? 7692u : asked; }; // PL2303
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseListEntry(1));
    h.Advance(360 + 500);
    EXPECT_TRUE(h.Boxes().empty());
    EXPECT_EQ(Lead().Baud(), 7692u);
    DCB dcb{};
    ASSERT_TRUE(GetCommState(portHandle, &dcb));
    EXPECT_EQ(dcb.BaudRate, 7680u) << "the rate asked, as Windows reports it";
}

// A CP2102 lead sorts first: the reopen at the end of its wake-up shows the refused rate's
// box. The user picks the other lead while the box is open: that choice is the user's,
// and the chosen lead is woken from the start.
TEST_F(TwoPorts, AChoiceWhileTheRefusedRateIsToldWakesTheChosenPort) {
    Silent().driverRate = [](uint32_t asked) { return asked == 7680 ? 9600u : asked; };
    ecu.awake = false; // answers only once woken
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(360);
    ASSERT_TRUE(h.BoxOpen());
    ASSERT_TRUE(h.ChooseListEntry(1));
    EXPECT_EQ(Lead().Baud(), 1200u) << "opened for its wake-up";
    ASSERT_TRUE(h.AnswerBox());
    h.Advance(2000);
    EXPECT_EQ(Story(Lead()), "open@0 set@1200 0F@1200 AA@1200 CC@1200 close@1200 open@1200 "
                             "set@7680 01@7680 02@7680 03@7680 04@7680 ");
    EXPECT_EQ(ecu.wakeUps, 1);
    EXPECT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f);
    EXPECT_EQ(h.Boxes().size(), 1u);
}

// A port chosen while the box of another that could not be opened is up: the box's
// selection leaves the new one alone. Its wake-up bytes go 120 ms apart and the title
// never says the chosen lead is missing.
TEST_F(TwoPorts, AChoiceWhileTheCannotBeOpenedBoxIsUpIsWokenAtTheWakeUpsPace) {
    ecu.awake = false;
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(1000);
    Silent().refuseOpen = true;
    ASSERT_TRUE(h.ChooseListEntry(0));
    ASSERT_TRUE(h.BoxOpen());
    uint64_t chosen = h.Now();
    ASSERT_TRUE(h.ChooseListEntry(1));
    ASSERT_TRUE(h.AnswerBox());
    std::vector<std::string> titles;
    for (int i = 0; i < 20; ++i) {
        h.Advance(100);
        titles.push_back(h.Title());
    }
    std::vector<uint64_t> times = WriteTimes(Lead());
    ASSERT_GE(times.size(), 4u);
    EXPECT_EQ(times[0], chosen + 120);
    EXPECT_EQ(times[1], chosen + 240);
    EXPECT_EQ(times[2], chosen + 360);
    EXPECT_EQ(Story(Lead(), 0, 8), "open@0 set@1200 0F@1200 AA@1200 CC@1200 close@1200 open@1200 "
                                   "set@7680 ");
    for (const std::string& title : titles)
        EXPECT_EQ(title, "Fiat Punto MK1 55");
    EXPECT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f);
    EXPECT_EQ(h.Boxes().size(), 1u);
}

// The lead is pulled out just as the wake-up reopens it, or refuses the line settings
// while it stays: the error's code does not tell the two apart (Windows' drivers give a
// removed device's handle ERROR_ACCESS_DENIED or ERROR_GEN_FAILURE, and a lead's
// firmware may refuse settings with ERROR_GEN_FAILURE), the list of present ports does.
// A lead that has gone gets no rate advice: the title says it, it is tried again, and a
// rate refused once it is back is told then.
struct SettingsFailure {
    const char* name;
    DWORD error;
    bool leadGoes; // or stays, refusing
};
void PrintTo(const SettingsFailure& f, std::ostream* out) { *out << f.name; }

class SettingsFail : public TwoPorts, public ::testing::WithParamInterface<SettingsFailure> {};

TEST_P(SettingsFail, TheLeadsPresenceDecidesWhetherARefusedRateIsTold) {
    const SettingsFailure f = GetParam();
    Lead().onOpen = [f](ScriptedLine& line) {
        if (line.OpenCount() != 2) return;
        if (f.leadGoes) {
            line.pulledOut = true;
            line.pulledOutError = f.error;
        } else {
            line.refuseSettingsError = f.error;
        }
    };
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseListEntry(1));
    h.Advance(360);
    if (!f.leadGoes) {
        ASSERT_EQ(h.Boxes().size(), 1u) << "a lead that stays and refuses is told";
        EXPECT_EQ(h.Boxes()[0].caption, "Serial port error");
        EXPECT_NE(h.Boxes()[0].text.find("cannot run at 7680 baud"), std::string::npos);
        return;
    }
    EXPECT_TRUE(h.Boxes().empty());
    h.Advance(2000);
    EXPECT_TRUE(h.Boxes().empty());
    EXPECT_EQ(h.Title(), "Fiat Punto MK1 55 - the lead is not connected");
    EXPECT_TRUE(h.Running());

    // Back, behind the same COM number, with a chip that cannot run 7680 baud.
    Lead().onOpen = nullptr;
    Lead().driverRate = [](uint32_t asked) { return asked == 7680 ? 9600u : asked; };
    Lead().pulledOut = false;
    h.Advance(1500);
    ASSERT_EQ(h.Boxes().size(), 1u) << "the refusal of the lead that came back is told";
    EXPECT_NE(h.Boxes()[0].text.find("offers 9600 baud"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, SettingsFail,
    ::testing::Values(SettingsFailure{"GoneWithGenFailure", ERROR_GEN_FAILURE, true},
                      SettingsFailure{"GoneWithAccessDenied", ERROR_ACCESS_DENIED, true},
                      SettingsFailure{"RefusingWithGenFailure", ERROR_GEN_FAILURE, false},
                      SettingsFailure{"RefusingWithAccessDenied", ERROR_ACCESS_DENIED, false}),
    [](const ::testing::TestParamInfo<SettingsFailure>& info) { return info.param.name; });

} // namespace
