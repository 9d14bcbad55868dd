// Draws, headless, the picture of one state of the dashboard, for comparison with the
// same state on screen: one port of the given name on an ECU that answers the given
// register values, the first Engine item chosen, logging on, three seconds of ticks.
#include "ecu_model.h"
#include "platform/posix/harness.h"
#include "tools/ecu-sim/engine.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: headless_picture PORT-NAME REGISTERS OUTPUT.png\n");
        return 2;
    }
    EcuModel ecu;
    std::string error;
    if (!ecusim::LoadReplay(argv[2], &ecu.registers, &error)) {
        std::fprintf(stderr, "headless_picture: %s\n", error.c_str());
        return 2;
    }
    headless::Harness h;
    h.Ports().ports[0].friendlyName = argv[1];
    ecu.Attach(h.Line());
    h.Start();
    bool done = h.ChooseMenu("&Engine", "500 (899/1000 SPI)") &&
                h.ChooseMenu("&Logging", "Logging on");
    h.Advance(3000);
    if (!done || !h.SavePng(argv[3])) {
        std::fprintf(stderr, "headless_picture: the state could not be reached\n");
        return 1;
    }
    return 0;
}
