// libFuzzer target: any behaviour of the ECU line through whole ticks of the running
// program. The input says, for every byte the program sends, which bytes come back and
// after how long (past the read time-out or not), so that echoes go missing, answers
// come late or twice, stray bytes arrive, and reads time out.
//
// The program runs once per process, as it does for a person: each input drives up to
// twelve more ticks of it, with an engine chosen and logging on. Checked after each input:
// the program is still running, no box was shown, every reading is what the conversions
// can give, and the log holds one line per whole poll that got an answer.
#include "app/state.h"
#include "ecu/protocol.h"
#include "platform/posix/harness/harness.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

struct Session {
    headless::Harness harness;
    FuzzedDataProvider* input = nullptr;
    long polls = 0;
    // Polls that made all seventeen requests and got at least one answer, which the log
    // holds a line each of (one left part-way is not logged): the program's bytesRead
    // keeps the last exchange's answer until the next exchange.
    long answeredPolls = 0;
    bool inPoll = false;
    bool answered = false;
    int requests = 0;

    // The exchange before this moment is over: it counts for the poll under way.
    void ExchangeOver() {
        if (inPoll && bytesRead != 0) answered = true;
    }
    void PollOver() {
        ExchangeOver();
        if (inPoll && answered && requests == kRegisterCount) ++answeredPolls;
        inPoll = false;
        answered = false;
        requests = 0;
    }

    Session() {
        char folder[] = "/tmp/quorvel-line-fuzz-XXXXXX";
        if (mkdtemp(folder) == nullptr || chdir(folder) != 0) std::abort();
        harness.Line().keepEvents = false;
        harness.Line().onWrite = [this](w32::ScriptedLine& line, uint8_t request) {
            if (line.Baud() != 7680 || request == 1) PollOver();
            ExchangeOver();
            if (line.Baud() == 7680 && request == 1) {
                ++polls;
                inPoll = true;
            }
            if (line.Baud() == 7680) ++requests;
            if (input == nullptr) return;
            int count = input->ConsumeIntegralInRange<int>(0, 4);
            for (int i = 0; i < count; ++i) {
                uint8_t byte = input->ConsumeBool() ? request : input->ConsumeIntegral<uint8_t>();
                // Mostly within the exchange's 10 ms, sometimes past a read's 500 ms.
                uint64_t delay = input->ConsumeBool()
                                     ? input->ConsumeIntegralInRange<uint64_t>(0, 12)
                                     : input->ConsumeIntegralInRange<uint64_t>(0, 1600);
                line.Deliver(byte, delay);
            }
        };
        harness.Start();
        if (!harness.ChooseMenu("&Engine", "Tipo 1372 SPI TOFAS") ||
            !harness.ChooseMenu("&Logging", "Logging on")) {
            std::abort();
        }
    }
};

// The bounds are what the conversions give at the ends of their inputs; a float rounded
// from them may fall a hair outside.
bool Within(float v, double low, double high) {
    const double slack = 1e-4 * (std::fabs(low) + std::fabs(high));
    return std::isfinite(v) && v >= low - slack && v <= high + slack;
}

// The log's data lines, counted on from where the last count stopped.
long LogLines() {
    static long offset = 0;
    static long lines = -1; // the header is not a data line
    FILE* f = std::fopen("engine details.csv", "rb");
    if (f == nullptr) return -2;
    std::fseek(f, offset, SEEK_SET);
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        lines += c == '\n' ? 1 : 0;
        ++offset;
    }
    std::fclose(f);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The program lives as long as the process; at exit it is ended before the clock it
    // waits on goes away.
    static Session* session = [] {
        auto* s = new Session();
        std::atexit([] { delete session; });
        return s;
    }();
    FuzzedDataProvider input(data, size);
    session->input = &input;
    int ticks = input.ConsumeIntegralInRange<int>(1, 12);
    for (int i = 0; i < ticks && session->harness.Running(); ++i)
        session->harness.Advance(500);
    session->input = nullptr;

    const EngineValues& r = EngineReadings;
    if (!session->harness.Running() || !session->harness.Boxes().empty()) std::abort();
    if (!Within(r.engineSpeed, 0, 15000000.0) || !Within(r.injectorTime, 0, 131.07) ||
        !Within(r.sparkAdvance, 0, 127.5) || !Within(r.manifoldPressure, 0, 1020) ||
        !Within(r.airTemp, -40, 215) || !Within(r.waterTemp, -40, 215) ||
        !Within(r.throttleAngle, -2.97, 105.1) || !Within(r.batteryVolts, 0, 15.94) ||
        !Within(r.vaeValue, 0, 255)) {
        std::abort();
    }
    session->PollOver();
    if (LogLines() != session->answeredPolls) std::abort();
    return 0;
}
