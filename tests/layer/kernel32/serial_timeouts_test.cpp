// The table of documented read time-outs against the layer: on a scripted line, to the
// millisecond of the program's clock, and on a pseudo-terminal in real time. A write
// time-out bounds a write to a line that takes nothing.
#include "fixtures/com1.h"
#include "fixtures/serial_timeouts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class ScriptedTimeouts : public ScriptedCom1, public ::testing::WithParamInterface<int> {};

TEST_P(ScriptedTimeouts, ReadReturnsWhatAndWhenWindowsDoes) {
    const TimeoutCase& c = kTimeoutCases[GetParam()];
    SCOPED_TRACE(c.name);
    for (const Arrival& a : c.arrivals) {
        for (int i = 0; i < a.bytes; ++i)
            line->Deliver(static_cast<uint8_t>(0x40 + i), static_cast<uint64_t>(a.at));
    }
    COMMTIMEOUTS t = c.timeouts;
    ASSERT_TRUE(SetCommTimeouts(port, &t));
    uint8_t buffer[16] = {};
    DWORD got = 99;
    uint64_t start = clock.Now();
    EXPECT_TRUE(ReadFile(port, buffer, c.count, &got, nullptr)) << "a time-out is no failure";
    EXPECT_EQ(got, c.bytes);
    EXPECT_EQ(clock.Now() - start, static_cast<uint64_t>(c.ms));
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptedTimeouts, ::testing::Range(0, kTimeoutCaseCount));

// The far end of a pseudo-terminal sends each case's bytes at their times.
class PtyTimeouts : public PtyCom1, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        PtyCom1::SetUp();
        port = OpenCom(1);
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
        DCB dcb{};
        ASSERT_TRUE(GetCommState(port, &dcb));
        dcb.BaudRate = 7680;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        ASSERT_TRUE(SetCommState(port, &dcb));
    }
};

TEST_P(PtyTimeouts, ReadReturnsWhatAndWhenWindowsDoes) {
    const TimeoutCase& c = kTimeoutCases[GetParam()];
    SCOPED_TRACE(c.name);
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const Arrival& a : c.arrivals) {
        if (a.bytes > 0 && a.at == 0) {
            ASSERT_EQ(write(master, bytes, static_cast<size_t>(a.bytes)), a.bytes);
        }
    }
    usleep(20000); // what is there before the read has arrived
    COMMTIMEOUTS t = c.timeouts;
    ASSERT_TRUE(SetCommTimeouts(port, &t));
    auto start = std::chrono::steady_clock::now();
    std::thread far([&] {
        for (const Arrival& a : c.arrivals) {
            if (a.bytes == 0 || a.at == 0) continue;
            std::this_thread::sleep_until(start + std::chrono::milliseconds(a.at));
            (void)!write(master, bytes, static_cast<size_t>(a.bytes));
        }
    });
    uint8_t buffer[16] = {};
    DWORD got = 99;
    EXPECT_TRUE(ReadFile(port, buffer, c.count, &got, nullptr));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    far.join();
    EXPECT_EQ(got, c.bytes);
    // A shared machine's clock: early never, late by a scheduling slice at most.
    EXPECT_GE(ms, c.ms - 2);
    EXPECT_LE(ms, c.ms + 60);
}

INSTANTIATE_TEST_SUITE_P(Table, PtyTimeouts, ::testing::Range(0, kTimeoutCaseCount));

// The adapter takes nothing (its far end never reads): the write time-out ends the
// write with what went out, as a success, instead of blocking for ever.
class PtyWrite : public PtyCom1 {};

TEST_F(PtyWrite, AWriteTimeOutBoundsAWriteThatCannotGoOut) {
    port = OpenCom(1);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS t{0, 0, 0, 0, 200};
    ASSERT_TRUE(SetCommTimeouts(port, &t));
    std::vector<uint8_t> lots(1 << 20, 0x55);
    DWORD written = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WriteFile(port, lots.data(), static_cast<DWORD>(lots.size()), &written, nullptr));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, lots.size());
    EXPECT_GE(ms, 190);
    EXPECT_LE(ms, 400);
}

// On the program's clock: the write's total is its multiplier times the bytes asked plus
// its constant.
TEST_F(ScriptedTimeouts, AWriteTimeOutIsTheMultiplierTimesTheCountPlusTheConstant) {
    line->takesNothing = true;
    COMMTIMEOUTS t{0, 0, 0, 10, 50};
    ASSERT_TRUE(SetCommTimeouts(port, &t));
    const uint8_t bytes[20] = {};
    DWORD written = 99;
    uint64_t start = clock.Now();
    EXPECT_TRUE(WriteFile(port, bytes, sizeof bytes, &written, nullptr))
        << "a time-out is no failure";
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(clock.Now() - start, 10u * 20u + 50u);
}

class Timeouts : public PtyCom1 {};

TEST_F(Timeouts, EveryReadValueMaxdwordIsRefusedAsWindowsRefusesIt) {
    port = OpenCom(1);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS all{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FALSE(SetCommTimeouts(port, &all));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

} // namespace
