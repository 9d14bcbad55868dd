// The car as it really is: the ignition goes off and on, the lead is pulled out and put
// back. The window keeps answering, the title says what is wrong, the log records only
// what was read, and the program wakes the ECU again by itself.
#include "app/state.h"
#include "fixtures/ecu_model.h"
#include "fixtures/line_story.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using headless::Harness;
using w32::ScriptedLine;
using Event = ScriptedLine::Event;
using Kind = Event::Kind;

const char kLive[] = "Fiat Punto MK1 55";
const char kSilent[] = "Fiat Punto MK1 55 - no answer from the ECU";
const char kGone[] = "Fiat Punto MK1 55 - the lead is not connected";

// Requests (writes at the ECU's rate) from the given time on.
int Requests(const ScriptedLine& line, uint64_t from) {
    int n = 0;
    for (const Event& e : line.events)
        n += e.kind == Kind::Write && e.time >= from && e.baud == 7680 ? 1 : 0;
    return n;
}

// A drive at 5000 rpm and 90 C, polled from 860 ms on.
class KeyCycle : public ::testing::Test {
  protected:
    KeyCycle() {
        ecu.registers = {{1, 0x0B}, {2, 0xB8}, {8, 130}, {10, 224}};
        ecu.Attach(h.Line());
        h.Start();
        EXPECT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
        h.Advance(900);
        EXPECT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f);
        EXPECT_EQ(h.Title(), kLive);
    }
    // Time passes in steps of 10 ms until the revs read rpm; false after most ms.
    bool RevsReach(float rpm, uint64_t most) {
        for (uint64_t start = h.Now(); h.Now() - start <= most; h.Advance(10)) {
            if (EngineReadings.engineSpeed == rpm) return true;
        }
        return false;
    }
    ScriptedLine& Line() { return h.Line(); }

    Harness h;
    EcuModel ecu;
};

TEST_F(KeyCycle, ASleepingEcuEndsThePollAfterTwoSilentExchangesAndTheTitleSaysIt) {
    h.Advance(50); // between two polls
    ecu.KeyOff();
    uint64_t off = h.Now();
    h.Advance(500); // the next poll
    EXPECT_EQ(Story(Line(), off, 3), "01@7680 02@7680 close@7680 ")
        << "two silent requests, then the port is closed for a new wake-up";
    EXPECT_EQ(h.Title(), kSilent);
    EXPECT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f) << "the readings keep their values";
    EXPECT_TRUE(h.Boxes().empty()) << "a key cycle is normal, not an error";
}

TEST_F(KeyCycle, TheWakeUpStartsAgainSoonAfterTheLastSilentExchangeWithItsBytesInOrder) {
    ecu.KeyOff();
    h.Advance(10000);
    // Every silent poll is followed by the whole wake-up, from the close on.
    uint64_t lastSilentRead = 0;
    int wakeUps = 0;
    const std::vector<Event>& events = Line().events;
    for (size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (e.kind == Kind::Read && e.baud == 7680 && e.byte == 0) lastSilentRead = e.time;
        if (e.kind == Kind::Write && e.byte == 0x0F && lastSilentRead != 0) {
            ++wakeUps;
            EXPECT_LE(e.time - lastSilentRead, 1500u) << "a wake-up " << e.time;
            EXPECT_EQ(Story(Line(), lastSilentRead, 9),
                      "close@7680 open@7680 set@1200 0F@1200 AA@1200 CC@1200 close@1200 "
                      "open@1200 set@7680 ");
            lastSilentRead = 0;
        }
    }
    EXPECT_GE(wakeUps, 4);
    EXPECT_EQ(ecu.wakeUps, 1) << "none of them woke an ECU whose ignition is off";
}

TEST_F(KeyCycle, AKeyPressedDuringASilentExchangeIsTakenWhenItEnds) {
    ecu.KeyOff();
    h.Advance(3000); // the ECU is being woken again and again
    uint64_t typed = 0;
    auto model = Line().onWrite;
    Line().onWrite = [&](ScriptedLine& line, uint8_t byte) {
        model(line, byte);
        if (typed == 0 && byte == 1 && line.Baud() == 7680) {
            typed = h.Now();
            h.TypeDuringCall("alt+f");
            h.TypeDuringCall("x");
        }
    };
    h.Advance(3000);
    ASSERT_NE(typed, 0u);
    EXPECT_FALSE(h.Running()) << "File, Exit";
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_EQ(Requests(Line(), typed), 1) << "no request after the one under way";
}

TEST_F(KeyCycle, OneRegisterThatNeverAnswersDoesNotStopTheOthers) {
    ecu.silent = {5};
    ecu.registers[8] = 140;
    uint64_t from = h.Now();
    h.Advance(3000);
    // Each poll waits out the silent register's time-out, so they follow each other.
    int requests = Requests(Line(), from);
    EXPECT_GE(requests, 3 * 17);
    EXPECT_EQ(requests % 17, 0) << "whole polls only";
    EXPECT_FLOAT_EQ(EngineReadings.waterTemp, 100.0f);
    EXPECT_EQ(h.Title(), kLive);
}

TEST_F(KeyCycle, ReadingsAreBackWithinThreeSecondsOfKeyOnWhateverThePhaseOfTheRetries) {
    uint64_t worst = 0;
    for (int phase = 0; phase < 2000; phase += 50) {
        ecu.KeyOff();
        h.Advance(3000 + static_cast<uint64_t>(phase));
        ASSERT_EQ(h.Title(), kSilent) << phase;
        int period = 4000 + phase; // a speed not shown before
        float rpm = static_cast<float>(15000000.0 / period);
        ecu.registers[1] = static_cast<uint8_t>(period >> 8);
        ecu.registers[2] = static_cast<uint8_t>(period & 0xFF);
        uint64_t on = h.Now();
        ecu.KeyOn();
        ASSERT_TRUE(RevsReach(rpm, 4000)) << "phase " << phase;
        worst = std::max(worst, h.Now() - on);
        EXPECT_LE(h.Now() - on, 3000u) << "phase " << phase;
        EXPECT_EQ(h.Title(), kLive);
    }
    std::printf("readings back at most %llu ms after key on\n",
                static_cast<unsigned long long>(worst));
}

TEST_F(KeyCycle, APulledOutLeadPutBackBehindTheSameNameComesBackWithoutABox) {
    Line().pulledOut = true;
    h.Advance(500);
    EXPECT_EQ(h.Title(), kGone);
    h.Advance(3000);
    EXPECT_TRUE(h.Running());
    EXPECT_TRUE(h.Boxes().empty());

    // The lead back: a new device behind the same COM number.
    auto back = std::make_shared<ScriptedLine>();
    EcuModel ecu2;
    ecu2.registers = {{1, 0x0F}, {2, 0xA0}}; // 3750 rpm
    ecu2.Attach(*back);
    h.Ports().ports[0].line = back;
    uint64_t plugged = h.Now();
    ASSERT_TRUE(RevsReach(3750.0f, 3000));
    EXPECT_EQ(h.Title(), kLive);
    EXPECT_EQ(Story(*back, 0, 10), "open@0 set@1200 0F@1200 AA@1200 CC@1200 close@1200 "
                                   "open@1200 set@7680 01@7680 02@7680 ");
    EXPECT_LE(back->events.front().time - plugged, 500u) << "tried again every half second";
    EXPECT_TRUE(h.Boxes().empty());
}

TEST_F(KeyCycle, ALogRecordsOnlyAnsweredPolls) {
    fs::path dir = fs::temp_directory_path() / ("quorvel-keycycle-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    h.Advance(2000);
    auto lines = [] {
        std::ifstream in("engine details.csv", std::ios::binary);
        std::string line;
        std::vector<std::string> all;
        while (std::getline(in, line))
            all.push_back(line);
        return all;
    };
    size_t before = lines().size();
    EXPECT_GE(before, 5u) << "the header and four polls";
    ecu.KeyOff();
    h.Advance(8000);
    EXPECT_EQ(lines().size(), before) << "no line while the ECU sleeps";
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging on")) << "logging stays on";
    ecu.registers[1] = 0x0F; // 3750 rpm
    ecu.registers[2] = 0xA0;
    ecu.KeyOn();
    h.Advance(4000);
    std::vector<std::string> after = lines();
    ASSERT_GT(after.size(), before);
    EXPECT_EQ(after[before].rfind("3750.000000, ", 0), 0u) << after[before];
    EXPECT_EQ(after[0].rfind("revs, water temp", 0), 0u);
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging off"));
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
}

// A port the user chooses that cannot be opened now (another program has it): told once,
// tried again until it opens, then woken; the program goes on.
TEST(ChosenPort, OneThatCannotBeOpenedIsToldOnceAndTriedUntilItOpens) {
    Harness h;
    auto script = std::make_shared<w32::PortListScript>();
    for (auto [number, name] : {std::pair<int, const char*>{1, "A port (COM1)"},
                                std::pair<int, const char*>{2, "ECU lead (COM2)"}}) {
        w32::PortEntry p;
        p.number = number;
        p.friendlyName = name;
        p.line = std::make_shared<ScriptedLine>();
        script->ports.push_back(p);
    }
    h.SetPorts(script);
    EcuModel ecu;
    ecu.registers = {{1, 0x0B}, {2, 0xB8}};
    ecu.Attach(h.Line(1));
    h.Line(1).refuseOpen = true;
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(1000);
    ASSERT_TRUE(h.ChooseListEntry(1));
    std::vector<headless::BoxRecord> boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Serial port error");
    EXPECT_EQ(boxes[0].text, "Access is denied.\n\nThe serial port cannot be opened now. Quorvel "
                             "tries it again every half second and wakes the ECU once it opens; "
                             "or choose another port.");
    ASSERT_TRUE(h.AnswerBox());
    h.Advance(3000);
    EXPECT_TRUE(h.Running());
    EXPECT_EQ(h.Title(), kGone);
    EXPECT_EQ(h.Boxes().size(), 1u) << "told once, not at every try";

    h.Line(1).refuseOpen = false;
    h.Advance(500 + 360 + 500);
    EXPECT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f);
    EXPECT_EQ(h.Title(), kLive);
    EXPECT_EQ(Story(h.Line(1), 0, 4), "open@0 set@1200 0F@1200 AA@1200 ");
}

} // namespace
