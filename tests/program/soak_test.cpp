// Twenty-four hours of program time on the virtual clock, logging all the while, through
// an ECU line that misbehaves in every way the program must survive: silence, a missing
// echo, stray bytes before the echo, random answers and dead requests. A model beside the
// program says after every tick what the readings must be, from the bytes that arrived.
#include "app/state.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_ASAN 1
#endif
#endif
#ifndef QUORVEL_ASAN
#define QUORVEL_ASAN 0
#endif
#if QUORVEL_ASAN
// The sanitizer runtime's count of live heap bytes (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The line as the program meets it, and what the program must make of it. Every byte a
// request brings arrives within 9 ms, before the program reads 10 ms after its request,
// so the exchange's rule reduces to: the second byte to arrive is the answer; with fewer
// than two, the register keeps its value. What is left over is purged by the next
// exchange. The model does not say when the program leaves a poll: it watches the
// requests, and a poll whose seventeenth request went out, with an answer among them, is
// the one the program must show and log; one left part-way (a wake-up or a new poll came
// first) changes nothing. For hours at a time the ignition is off (the lead echoes, the
// ECU is silent), the lead is pulled out, or the lead's driver refuses the ECU's rate.
struct MisbehavingEcu {
    enum Kind { Good, Silent, NoEcho, Stray, RandomAnswer, Dead, kKinds };
    std::mt19937 random{20261208};
    std::array<uint8_t, 256> registers{}; // what the ECU holds
    std::array<uint8_t, 256> expected{};  // what the program must hold
    std::array<uint8_t, 256> polled{};    // what the poll under way has brought
    std::array<long, kKinds> counts{};
    long polls = 0;
    long wakeUps = 0;
    bool asleep = false; // the ignition is off
    bool answeredInPoll = false;
    int requestsInPoll = 0;
    bool pollOpen = false;
    // The revs of each poll that must be logged, in a buffer allocated before the run.
    std::vector<float> loggedRpm;
    long logged = 0;

    // The poll under way has made its seventeenth request: its bytes are taken, and a
    // poll with an answer is logged.
    void PollCompleted() {
        pollOpen = false;
        if (!answeredInPoll) return;
        expected = polled;
        if (logged < static_cast<long>(loggedRpm.size()))
            loggedRpm[static_cast<size_t>(logged)] = Expected().engineSpeed;
        ++logged;
    }

    // What one request's bytes bring to the poll under way.
    void Exchanged(uint8_t request, const std::vector<uint8_t>& bytes) {
        if (!pollOpen) return;
        if (bytes.size() >= 2) {
            polled[request] = bytes[1];
            answeredInPoll = true;
        }
        if (++requestsInPoll == 17) PollCompleted();
    }
    Kind Pick() {
        int r = static_cast<int>(random() % 100);
        if (r < 88) return Good;
        if (r < 90) return Silent;
        if (r < 92) return NoEcho;
        if (r < 95) return Stray;
        if (r < 98) return RandomAnswer;
        return Dead;
    }

    void OnWrite(w32::ScriptedLine& line, uint8_t request) {
        if (line.Baud() != 7680) {
            if (request == 0x0F) ++wakeUps;
            pollOpen = false;
            line.Deliver(request, 1); // the interface's echo during the wake-up
            return;
        }
        if (request == 1) {
            ++polls;
            pollOpen = true;
            polled = expected;
            answeredInPoll = false;
            requestsInPoll = 0;
        }
        if (asleep) {
            line.Deliver(request, 1);
            Exchanged(request, {request});
            return;
        }
        // The engine moves on now and then.
        if (random() % 8 == 0) registers[request] = static_cast<uint8_t>(random());
        Kind kind = Pick();
        ++counts[kind];
        std::vector<uint8_t> bytes;
        switch (kind) {
        case Good:
            bytes = {request, registers[request]};
            break;
        case Silent:
            bytes = {request};
            break;
        case NoEcho:
            bytes = {registers[request]};
            break;
        case Stray:
            bytes = {static_cast<uint8_t>(random()), request, registers[request]};
            break;
        case RandomAnswer:
            bytes = {request, static_cast<uint8_t>(random())};
            break;
        case Dead:
        case kKinds:
            break;
        }
        uint64_t delay = 1;
        for (uint8_t b : bytes) {
            line.Deliver(b, delay);
            delay += random() % 4;
        }
        Exchanged(request, bytes);
    }

    // The conversions, each computed in double precision and rounded once to float.
    EngineValues Expected() const {
        auto word = [this](int high, int low) { return expected[high] * 256 + expected[low]; };
        EngineValues v{};
        int speed = word(1, 2);
        v.engineSpeed = static_cast<float>(speed == 0 ? 0.0 : 15000000.0 / speed);
        v.injectorTime = static_cast<float>(word(3, 4) * 2 / 1000.0);
        v.sparkAdvance = static_cast<float>(expected[5] / 2.0);
        v.manifoldPressure = static_cast<float>(expected[6] * 4.0);
        v.airTemp = static_cast<float>(expected[7] - 40.0);
        v.waterTemp = static_cast<float>(expected[8] - 40.0);
        v.throttleAngle = static_cast<float>(expected[9] * 0.4234 - 2.9638);
        v.batteryVolts = static_cast<float>(expected[10] * 0.0625);
        v.vaeValue = static_cast<float>(expected[12]);
        return v;
    }
};

// The memory the program holds, in kB. Under AddressSanitizer, the heap's live bytes:
// freed blocks wait in its quarantine (up to 256 MB) and would count as resident, so the
// resident set grows with how much is freed, not with what is kept.
long HeldKb() {
#if QUORVEL_ASAN
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
#endif
}

// The bytes the heap holds in use: exact, so that a few bytes kept for every retry show.
size_t HeapBytes() {
#if QUORVEL_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Program time to run, in hours (QUORVEL_SOAK_HOURS; a day by default).
uint64_t Duration() {
    const char* hours = std::getenv("QUORVEL_SOAK_HOURS");
    double h = hours != nullptr ? std::atof(hours) : 24.0;
    return static_cast<uint64_t>(h * 3600000.0);
}

TEST(Soak, ADayOfMisbehavingLineKeyOffAndAPulledLeadWithLoggingOn) {
    char folder[] = "/tmp/quorvel-soak-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    ASSERT_EQ(chdir(folder), 0);

    const uint64_t duration = Duration();
    headless::Harness h;
    MisbehavingEcu ecu;
    // Allocated and touched before the run, so that it does not count as the program's growth.
    ecu.loggedRpm.assign(static_cast<size_t>(duration / 500) + 16, -1.0f);
    h.Line().keepEvents = false;
    h.Line().onWrite = [&ecu](w32::ScriptedLine& line, uint8_t b) { ecu.OnWrite(line, b); };
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "Tipo 1372 SPI TOFAS"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));

    // The ignition off for a tenth of the run, later the lead out for another, and last a
    // lead whose driver refuses the ECU's rate (a CP2102 offers 9600 for 7680): the
    // program lists the ports at every retry, to tell a refused rate from a lead gone.
    const uint64_t keyOff = duration / 4;
    const uint64_t keyOn = keyOff + duration / 10;
    const uint64_t leadOut = duration * 11 / 20;
    const uint64_t leadIn = leadOut + duration / 10;
    const uint64_t rateRefused = duration * 15 / 20;
    const uint64_t rateTaken = rateRefused + duration / 10;
    h.AnswerBoxesAtOnce(true); // the refused rate's box, told once
    long residentAfterWarmUp = 0;
    size_t heapRefusedFrom = 0;
    size_t heapRefusedTo = 0;
    long mismatches = 0;
    long ticks = 0;
    int phase = 0; // 1 key off, 2 key on again, 3 lead out, 4 lead back, 5 rate refused, 6 taken
    for (long t = 0; h.Now() < duration && mismatches < 5; ++t, ++ticks) {
        const uint64_t now = h.Now();
        if (phase == 0 && now >= keyOff) {
            ecu.asleep = true;
            phase = 1;
        } else if (phase == 1 && now >= keyOn) {
            EXPECT_EQ(h.Title(), "Fiat Punto MK1 55 - no answer from the ECU");
            ecu.asleep = false;
            phase = 2;
        } else if (phase == 2 && now >= leadOut) {
            h.Line().pulledOut = true;
            phase = 3;
        } else if (phase == 3 && now >= leadIn) {
            EXPECT_EQ(h.Title(), "Fiat Punto MK1 55 - the lead is not connected");
            h.Line().pulledOut = false;
            phase = 4;
        } else if (phase == 4 && now >= rateRefused) {
            h.Line().driverRate = [](uint32_t asked) { return asked == 7680 ? 9600u : asked; };
            phase = 5;
        } else if (phase == 5 && heapRefusedFrom == 0 && now >= rateRefused + duration / 100) {
            heapRefusedFrom = HeapBytes(); // the box told, the retries under way
        } else if (phase == 5 && now >= rateTaken) {
            heapRefusedTo = HeapBytes();
            EXPECT_EQ(h.Title(), "Fiat Punto MK1 55 - no answer from the ECU");
            h.Line().driverRate = nullptr;
            phase = 6;
        }
        h.Advance(500);
        if (t == 1000) residentAfterWarmUp = HeldKb();
        EngineValues want = ecu.Expected();
        const EngineValues& got = EngineReadings;
        if (ecu.polls == 0) continue; // still waking the ECU
        bool same = got.engineSpeed == want.engineSpeed && got.injectorTime == want.injectorTime &&
                    got.sparkAdvance == want.sparkAdvance &&
                    got.manifoldPressure == want.manifoldPressure && got.airTemp == want.airTemp &&
                    got.waterTemp == want.waterTemp && got.throttleAngle == want.throttleAngle &&
                    got.batteryVolts == want.batteryVolts && got.vaeValue == want.vaeValue;
        for (int address : {16, 17, 18, 43, 44, 45}) {
            const uint8_t held[] = {EcuRegisters.faultFlags1, EcuRegisters.faultFlags2,
                                    EcuRegisters.faultFlags3, EcuRegisters.faultType1,
                                    EcuRegisters.faultType2,  EcuRegisters.faultType3};
            int i = address < 43 ? address - 16 : address - 40;
            same = same && held[i] == ecu.expected[static_cast<size_t>(address)];
        }
        if (!same) {
            ++mismatches;
            ADD_FAILURE() << "tick " << t << ": revs " << got.engineSpeed << " (model "
                          << want.engineSpeed << "), volts " << got.batteryVolts << " (model "
                          << want.batteryVolts << ")";
        }
    }
    long residentAtEnd = HeldKb();
    // Logging off comes before a tick that is due at the same moment: that poll is not logged.
    const long pollsLogged = ecu.logged;
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging off"));

    std::printf("program time %.1f h, %ld steps of 500 ms, %ld polls (%ld logged), %ld wake-ups; "
                "requests: %ld good, %ld silent, %ld without echo, %ld with a stray byte, %ld "
                "with a random answer, %ld dead\n",
                static_cast<double>(h.Now()) / 3600000.0, ticks, ecu.polls, ecu.logged, ecu.wakeUps,
                ecu.counts[0], ecu.counts[1], ecu.counts[2], ecu.counts[3], ecu.counts[4],
                ecu.counts[5]);
    std::printf("%s: %ld kB after 1000 ticks, %ld kB at the end\n",
                QUORVEL_ASAN ? "live heap" : "resident memory", residentAfterWarmUp, residentAtEnd);
    EXPECT_GT(ecu.polls, ticks / 2) << "most ticks poll";
    EXPECT_GT(ecu.wakeUps, 1) << "polls that got no answer wake the ECU again";
    EXPECT_LT(ecu.logged, ecu.polls) << "polls that got no answer log no line";
    std::printf("heap in use while the rate was refused: %zu bytes, then %zu\n", heapRefusedFrom,
                heapRefusedTo);
    if (ticks > 1000) {
        EXPECT_LE(residentAtEnd - residentAfterWarmUp, 1024) << "memory grew";
        EXPECT_EQ(phase, 6);
        EXPECT_LE(heapRefusedTo, heapRefusedFrom + 512)
            << "the retries of a refused rate kept memory";
        EXPECT_EQ(h.Boxes().size(), 1u) << "the refused rate is told once";
    }

    // One data line per poll, each with the revs the model gave, after the header.
    std::ifstream log("engine details.csv", std::ios::binary);
    std::string line;
    ASSERT_TRUE(std::getline(log, line));
    EXPECT_EQ(line.rfind("revs, water temp", 0), 0u);
    long lines = 0;
    long wrong = 0;
    while (std::getline(log, line)) {
        if (lines < pollsLogged && lines < static_cast<long>(ecu.loggedRpm.size())) {
            char want[32];
            std::snprintf(want, sizeof want, "%f,",
                          static_cast<double>(ecu.loggedRpm[static_cast<size_t>(lines)]));
            if (line.rfind(want, 0) != 0 && ++wrong <= 3)
                ADD_FAILURE() << "log line " << lines + 1 << ": " << line;
        }
        ++lines;
    }
    EXPECT_EQ(lines, pollsLogged);
    EXPECT_EQ(wrong, 0);
    std::remove("engine details.csv");
    ASSERT_EQ(chdir("/"), 0);
    rmdir(folder);
}

} // namespace
