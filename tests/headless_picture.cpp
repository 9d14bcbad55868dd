// Draws, headless, the picture of one state of the dashboard, for comparison with the
// same state on screen: one port of the given name, the first Engine item chosen,
// logging on, two seconds of ticks.
#include "platform/posix/harness.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: headless_picture PORT-NAME OUTPUT.png\n");
        return 2;
    }
    headless::Harness h;
    h.Ports().ports[0].friendlyName = argv[1];
    h.Start();
    bool done =
        h.ChooseMenu("&Engine", "500 (899/1000 SPI)") && h.ChooseMenu("&Logging", "Logging on");
    h.Advance(2000);
    if (!done || !h.SavePng(argv[2])) {
        std::fprintf(stderr, "headless_picture: the state could not be reached\n");
        return 1;
    }
    return 0;
}
