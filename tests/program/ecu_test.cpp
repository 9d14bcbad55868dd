// The wake-up, the byte exchange and the poll, on a scripted line and the program's
// virtual clock.
#include "app/state.h"
#include "dashboard/dashboard.h"
#include "ecu/ecu.h"
#include "fixtures/colors.h"
#include "fixtures/ecu_model.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

using headless::Harness;
using Event = w32::ScriptedLine::Event;

const uint8_t kPollOrder[17] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 16, 17, 18, 43, 44, 45};

std::vector<Event> Writes(const w32::ScriptedLine& line) {
    std::vector<Event> out;
    for (const Event& e : line.events) {
        if (e.kind == Event::Write) out.push_back(e);
    }
    return out;
}

TEST(WakeUp, ThreeBytesAt1200BaudOnTheFirstThreeTicksAndNothingRead) {
    Harness h;
    EcuModel ecu;
    ecu.Attach(h.Line());
    h.Start();
    h.Advance(360);
    std::vector<Event> writes = Writes(h.Line());
    ASSERT_EQ(writes.size(), 3u);
    const uint8_t bytes[3] = {0x0F, 0xAA, 0xCC};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(writes[i].byte, bytes[i]);
        EXPECT_EQ(writes[i].baud, 1200u);
        EXPECT_EQ(writes[i].time, 120u * (i + 1));
    }
    for (const Event& e : h.Line().events)
        EXPECT_NE(e.kind, Event::Read) << "nothing is read";
    EXPECT_EQ(h.Line().Baud(), 7680u) << "reopened at the end of the third step";
    h.Advance(5000);
    EXPECT_EQ(Writes(h.Line()).size(), 3u) << "with no engine chosen nothing more goes out";
}

TEST(Poll, EachTickSendsTheSeventeenAddressesInOrderAt7680) {
    Harness h;
    EcuModel ecu;
    for (uint8_t a : kPollOrder)
        ecu.registers[a] = 0;
    ecu.Attach(h.Line());
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "Tipo 1372 SPI TOFAS"));
    h.Advance(360);
    size_t before = Writes(h.Line()).size();
    h.Advance(1000); // two ticks: 860 and 1360
    std::vector<Event> writes = Writes(h.Line());
    ASSERT_EQ(writes.size() - before, 34u);
    for (size_t i = 0; i < 34; ++i) {
        EXPECT_EQ(writes[before + i].byte, kPollOrder[i % 17]) << i;
        EXPECT_EQ(writes[before + i].baud, 7680u);
    }
    EXPECT_EQ(writes[before].time, 860u);
    EXPECT_EQ(writes[before + 17].time, 1360u);
}

// ExchangeByte on the program's own thread, with the port the program opened.
struct Exchange {
    uint8_t result;
    uint64_t took;
};
Exchange ExchangeOnProgram(Harness& h, uint8_t address, uint8_t fallback) {
    Exchange x{};
    h.Run([&] {
        uint64_t start = GetTickCount();
        x.result = ExchangeByte(address, fallback);
        x.took = GetTickCount() - start;
    });
    return x;
}

class ExchangeTest : public ::testing::Test {
  protected:
    ExchangeTest() {
        ecu.registers[0x08] = 0x5A;
        ecu.Attach(h.Line());
        h.Start();
        h.Advance(400); // awake, port at 7680, the wake-up's echoes arrived
    }
    Harness h;
    EcuModel ecu;
};

TEST_F(ExchangeTest, AnAnswerWithItsEchoIsReturned) {
    Exchange x = ExchangeOnProgram(h, 0x08, 0x11);
    EXPECT_EQ(x.result, 0x5A);
    EXPECT_LT(x.took, 20u);
    EXPECT_EQ(Writes(h.Line()).back().byte, 0x08);
}

TEST_F(ExchangeTest, EchoOnlyGivesTheFallbackAfter510ms) {
    ecu.answers = false;
    Exchange x = ExchangeOnProgram(h, 0x08, 0x11);
    EXPECT_EQ(x.result, 0x11);
    EXPECT_EQ(x.took, 510u);
}

TEST_F(ExchangeTest, NoEchoAndNoAnswerTakes1010ms) {
    ecu.answers = false;
    ecu.echo = false;
    Exchange x = ExchangeOnProgram(h, 0x08, 0x11);
    EXPECT_EQ(x.result, 0x11);
    EXPECT_EQ(x.took, 1010u);
}

TEST_F(ExchangeTest, AnInterfaceWithoutEchoLosesTheAnswerToTheFirstRead) {
    ecu.echo = false;
    Exchange x = ExchangeOnProgram(h, 0x08, 0x11);
    EXPECT_EQ(x.result, 0x11);
    EXPECT_EQ(x.took, 510u);
}

TEST_F(ExchangeTest, AByteAfterTheFirstReadTimedOutIsTheAnswer) {
    ecu.echo = false;
    ecu.replyDelay = 700; // after the first read's 500 ms
    Exchange x = ExchangeOnProgram(h, 0x08, 0x11);
    EXPECT_EQ(x.result, 0x5A);
    EXPECT_EQ(x.took, 700u);
}

TEST_F(ExchangeTest, TheLampIsRedDuringTheExchangeOnly) {
    COLORREF during = 0;
    h.Line().onWrite = [&](w32::ScriptedLine& line, uint8_t byte) {
        during = h.Pixel(8, 8);
        line.Deliver(byte, 1);
        line.Deliver(0x42, 3);
    };
    EXPECT_EQ(h.Pixel(8, 8), kBlack);
    EXPECT_EQ(ExchangeOnProgram(h, 0x08, 0).result, 0x42);
    EXPECT_EQ(during, kRed);
    EXPECT_EQ(h.Pixel(8, 8), kBlack);
    EXPECT_EQ(h.Pixel(1, 8), kBlack) << "the disc's outline";
}

TEST_F(ExchangeTest, WhatWaitedBeforeTheRequestIsPurged) {
    h.Line().Deliver(0x99);
    h.Line().Deliver(0x98);
    EXPECT_EQ(ExchangeOnProgram(h, 0x08, 0x11).result, 0x5A);
}

// The adapter is pulled out while the program polls: the first exchange fails at once and
// ends the poll, and the program goes on without a box.
TEST(Poll, APulledOutAdapterEndsThePollAtItsFirstExchange) {
    Harness h;
    EcuModel ecu;
    ecu.registers[1] = 0x0B;
    ecu.registers[2] = 0xB8;
    ecu.Attach(h.Line());
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(900);
    ASSERT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f);
    h.Line().pulledOut = true;
    uint64_t took = 0;
    h.Run([&] {
        uint64_t start = GetTickCount();
        PollEcu();
        took = GetTickCount() - start;
    });
    EXPECT_EQ(took, 10u) << "one request's pause";
    EXPECT_EQ(lineFailed, 1);
    EXPECT_FLOAT_EQ(EngineReadings.engineSpeed, 5000.0f) << "the readings keep their values";
    h.Advance(5000);
    EXPECT_TRUE(h.Running());
    EXPECT_TRUE(h.Boxes().empty());
    EXPECT_EQ(h.Title(), "Fiat Punto MK1 55 - the lead is not connected");
    ASSERT_TRUE(h.ChooseMenu("&File", "E&xit"));
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.ExitCode(), 0);
}

TEST(Poll, AnswersBecomeReadingsAndSilentRegistersKeepTheirValues) {
    Harness h;
    EcuModel ecu;
    ecu.registers = {{1, 0x0B}, {2, 0xB8}, {3, 0x01},  {4, 0xF4}, {5, 40},   {6, 250},
                     {7, 65},   {8, 130},  {9, 7},     {10, 224}, {12, 200}, {16, 0x08},
                     {17, 0},   {18, 0},   {43, 0x08}, {44, 0},   {45, 0x77}};
    ecu.Attach(h.Line());
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(860);
    EXPECT_EQ(EcuRegisters.speedPeriod, 3000);
    EXPECT_EQ(EngineReadings.engineSpeed, 5000.0f);
    EXPECT_EQ(EngineReadings.injectorTime, 1.0f);
    EXPECT_EQ(EngineReadings.sparkAdvance, 20.0f);
    EXPECT_EQ(EngineReadings.manifoldPressure, 1000.0f);
    EXPECT_EQ(EngineReadings.airTemp, 25.0f);
    EXPECT_EQ(EngineReadings.waterTemp, 90.0f);
    EXPECT_NEAR(EngineReadings.throttleAngle, 0.0f, 1e-6);
    EXPECT_EQ(EngineReadings.batteryVolts, 14.0f);
    EXPECT_EQ(EngineReadings.vaeValue, 200.0f);
    EXPECT_EQ(EcuRegisters.faultType3, 0x77) << "read and kept";
    EXPECT_EQ(h.TextAt(60, 425), "5000 rpm");

    // Address 2 falls silent while address 1 goes on: the new high byte meets the old low.
    ecu.silent.insert(2);
    ecu.registers[1] = 0x0C;
    ecu.registers[8] = 140;
    h.Advance(500);
    EXPECT_EQ(EcuRegisters.speedPeriod, 0x0CB8);
    EXPECT_EQ(EngineReadings.engineSpeed, static_cast<float>(15000000.0 / 0x0CB8));
    EXPECT_EQ(EngineReadings.waterTemp, 100.0f);

    // The whole ECU falls silent: every reading stays where it was.
    ecu.answers = false;
    ecu.echo = false;
    EngineValues before = EngineReadings;
    h.Advance(20000);
    EXPECT_EQ(EngineReadings.engineSpeed, before.engineSpeed);
    EXPECT_EQ(EngineReadings.waterTemp, before.waterTemp);
    EXPECT_TRUE(h.Running());
}

TEST(Poll, StrayAndRandomBytesAreTakenAsTheyComeWithoutHarm) {
    Harness h;
    unsigned seed = 12345;
    h.Line().onWrite = [&](w32::ScriptedLine& line, uint8_t) {
        // Up to three random bytes at random times, or none.
        for (int n = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 4; n > 0; --n) {
            seed = seed * 1103515245 + 12345;
            line.Deliver(static_cast<uint8_t>(seed >> 16), (seed >> 8) % 700);
        }
    };
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    h.Advance(60000);
    EXPECT_TRUE(h.Running());
    ASSERT_TRUE(h.ChooseMenu("&File", "E&xit"));
    EXPECT_EQ(h.ExitCode(), 0);
}

// The conversions, each in double precision and rounded once to float.
TEST(Conversions, EdgeCases) {
    auto convert = [](auto set) {
        EcuRegisters = EcuRegisterMirror{};
        set(EcuRegisters);
        ConvertReadings();
        return EngineReadings;
    };
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.speedPeriod = 3000; }).engineSpeed, 5000.0f);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.speedPeriod = 0; }).engineSpeed, 0.0f);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.speedPeriod = 1; }).engineSpeed, 15000000.0f);
    EXPECT_NEAR(convert([](EcuRegisterMirror& r) { r.speedPeriod = 65535; }).engineSpeed, 228.885,
                1e-3);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.injectorPeriod = 500; }).injectorTime, 1.0f);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.injectorPeriod = 65535; }).injectorTime,
              static_cast<float>(131.07));
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.advanceRaw = 255; }).sparkAdvance, 127.5f);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.pressureRaw = 255; }).manifoldPressure, 1020.0f);
    EngineValues cold = convert([](EcuRegisterMirror& r) {
        r.airTempRaw = 0;
        r.waterTempRaw = 0;
    });
    EXPECT_EQ(cold.airTemp, -40.0f);
    EXPECT_EQ(cold.waterTemp, -40.0f);
    EngineValues hot = convert([](EcuRegisterMirror& r) {
        r.airTempRaw = 255;
        r.waterTempRaw = 255;
    });
    EXPECT_EQ(hot.airTemp, 215.0f);
    EXPECT_EQ(hot.waterTemp, 215.0f);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.throttleRaw = 0; }).throttleAngle, -2.9638f)
        << "the negative angle is kept";
    EXPECT_NEAR(convert([](EcuRegisterMirror& r) { r.throttleRaw = 7; }).throttleAngle, 0.0, 1e-6);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.throttleRaw = 255; }).throttleAngle,
              static_cast<float>(255 * 0.4234 - 2.9638));
    EXPECT_NEAR(convert([](EcuRegisterMirror& r) { r.throttleRaw = 255; }).throttleAngle, 105.0032,
                1e-4);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.batteryRaw = 224; }).batteryVolts, 14.0f);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.batteryRaw = 255; }).batteryVolts, 15.9375f);
    EXPECT_EQ(convert([](EcuRegisterMirror& r) { r.vaeRaw = 200; }).vaeValue, 200.0f);
}

// ecu-sim --replay-log answers a logged line with the bytes that give its readings: every
// byte converted to a reading, written as the log writes it ("%f") and read back, gives
// the same byte again.
TEST(Conversions, EveryByteComesBackFromItsLoggedReading) {
    auto logged = [](float v) { // as the log writes it and a reader reads it
        char text[64];
        std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
        return std::strtof(text, nullptr);
    };
    auto roundTrip = [&](const EcuRegisterMirror& r) {
        EngineValues v{};
        ConvertRegisters(r, &v);
        for (float* f : {&v.engineSpeed, &v.injectorTime, &v.sparkAdvance, &v.manifoldPressure,
                         &v.airTemp, &v.waterTemp, &v.throttleAngle, &v.batteryVolts, &v.vaeValue})
            *f = logged(*f);
        EcuRegisterMirror back{};
        RegistersFromReadings(v, &back);
        return back;
    };
    int wrong = 0;
    for (uint32_t word = 0; word <= 0xFFFF; ++word) {
        EcuRegisterMirror r{};
        r.speedPeriod = static_cast<uint16_t>(word);
        r.injectorPeriod = static_cast<uint16_t>(word);
        r.advanceRaw = r.pressureRaw = r.airTempRaw = r.waterTempRaw = r.throttleRaw =
            r.batteryRaw = r.vaeRaw = static_cast<uint8_t>(word);
        EcuRegisterMirror back = roundTrip(r);
        bool same = back.speedPeriod == r.speedPeriod && back.injectorPeriod == r.injectorPeriod &&
                    back.advanceRaw == r.advanceRaw && back.pressureRaw == r.pressureRaw &&
                    back.airTempRaw == r.airTempRaw && back.waterTempRaw == r.waterTempRaw &&
                    back.throttleRaw == r.throttleRaw && back.batteryRaw == r.batteryRaw &&
                    back.vaeRaw == r.vaeRaw;
        if (!same && ++wrong <= 3)
            ADD_FAILURE() << "the byte or word " << word << " comes back otherwise";
    }
    EXPECT_EQ(wrong, 0);
    // A speed a spreadsheet rounded near 0 is the engine stopped, not the slowest period
    // (229 rpm); one nearer that slowest reading is it.
    EngineValues v{};
    EcuRegisterMirror back{};
    for (float rpm : {0.001f, 1.0f, 114.0f}) {
        v.engineSpeed = rpm;
        RegistersFromReadings(v, &back);
        EXPECT_EQ(back.speedPeriod, 0) << rpm;
    }
    v.engineSpeed = 115.0f;
    RegistersFromReadings(v, &back);
    EXPECT_EQ(back.speedPeriod, 65535);
}

} // namespace
