// Writes "engine details.csv" in the current folder as the dashboard writes it while it
// polls the simulated engine's drive: the real program, headless, on the program's clock
// (a day of it in a minute or two).
// usage: drive_log SECONDS [SPEEDUP]
#include "platform/posix/harness/harness.h"
#include "tools/ecu-sim/engine.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: drive_log SECONDS [SPEEDUP]\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const double speedup = argc == 3 ? std::atof(argv[2]) : 1.0;
    headless::Harness h;
    h.Line().keepEvents = false;
    // The interface echoes each byte; the engine answers requests at 7680 baud, the high
    // and low bytes of a period from one moment.
    uint8_t latched = 0;
    h.Line().onWrite = [&](w32::ScriptedLine& line, uint8_t request) {
        line.Deliver(request, 1);
        if (line.Baud() != 7680) return;
        double t = static_cast<double>(h.Now()) / 1000.0 * speedup;
        ecusim::EngineState s = ecusim::Scenario(t);
        uint8_t answer = ecusim::RegisterByte(s, request);
        if (request == 1 || request == 3) latched = ecusim::RegisterByte(s, request + 1);
        if (request == 2 || request == 4) answer = latched;
        line.Deliver(answer, 3);
    };
    h.Start();
    if (!h.ChooseMenu("&Logging", "Logging on") || !h.ChooseMenu("&Engine", "500 (899/1000 SPI)")) {
        std::fprintf(stderr, "drive_log: the menus could not be used\n");
        return 1;
    }
    h.Advance(static_cast<uint64_t>(seconds * 1000) + 360);
    h.ChooseMenu("&File", "E&xit");
    return 0;
}
