// The program's start on Linux: the runtime's part that Windows does before WinMain.
#include "platform/posix/backends/x11.h"
#include "version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kHelp[] =
    "usage: quorvel [--help | --version]\n"
    "\n"
    "Quorvel reads the engine control unit of Fiat and Lancia cars with single-point\n"
    "petrol injection through a serial port or a USB-serial lead, and shows engine\n"
    "speed, temperatures, throttle, manifold pressure, battery voltage, injection\n"
    "and ignition on nine gauges with a fault panel. Choose the port in the list, an\n"
    "engine from the Engine menu, and Logging on to record every reading to \"engine\n"
    "details.csv\" in the current folder (an older log is kept under its date).\n"
    "\n"
    "With the ignition off or the lead out the title says so, and the readings come\n"
    "back by themselves once the ECU answers again.\n"
    "\n"
    "QUORVEL_PORTS=/dev/ttyUSB1:/dev/pts/7 lists those devices instead of the serial\n"
    "ports the system has, as COM1, COM2, ...\n"
    "quorvel-ports says why the dashboard shows nothing; quorvel-plot draws a log;\n"
    "quorvel-sheet copies it for a spreadsheet.\n"
    "More in /usr/share/doc/quorvel/README.md and man quorvel.\n";

} // namespace

int main(int argc, char** argv) {
    // As the Windows program ignores its command line, so does this one, but for these.
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvel %s\n", QUORVEL_VERSION);
        return 0;
    }
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    w32::Backend* display = w32::OpenX11Backend();
    if (display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "quorvel: cannot open the X display%s%s%s; start it on a desktop, or under "
                     "Xvfb as the README shows\n",
                     name != nullptr ? " \"" : " (DISPLAY is not set)", name != nullptr ? name : "",
                     name != nullptr ? "\"" : "");
        return 1;
    }
    w32::SetBackend(display);

    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000)), nullptr,
                   commandLine.data(), SW_SHOWDEFAULT);
}
