// quorvel-ports: why does the dashboard show nothing? It lists the serial ports as the
// dashboard lists them, with what is behind each and what stands in the way, or wakes
// and reads the ECU on one port as the dashboard does.
#include "platform/portinfo.h"
#include "probe.h"
#include "report.h"
#include "version.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: quorvel-ports [--probe COMn] [--no-driver-check]\n"
    "\n"
    "Without options, lists every serial port in the order and with the names and COM\n"
    "numbers the Quorvel dashboard shows (QUORVEL_PORTS replaces the list, as it does for\n"
    "the dashboard), and the devices the dashboard leaves out with why. For each port: the\n"
    "device and its driver, the USB id and chip, what 7680 baud (the ECU's rate) will be,\n"
    "whether you may open it, and which other programs have it open; then the causes on\n"
    "this system that keep leads from working (brltty, ModemManager, the dialout group),\n"
    "with their fixes. Each free port is opened for a moment to ask its driver for 7680\n"
    "baud; nothing is written to it.\n"
    "\n"
    "  --probe COMn        wake the ECU on COMn exactly as the dashboard does (the same\n"
    "                      bytes, rates and timing), read its seventeen registers once, and\n"
    "                      print each register, the nine readings, the faults present and a\n"
    "                      verdict. It writes nothing but the wake-up and the requests.\n"
    "  --no-driver-check   list without opening any port\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "Exit status: 0 when the listing found a port the dashboard can use, or the probe got\n"
    "answers; 1 when not (no usable port, no answer, a port that cannot be opened); 2 for a\n"
    "wrong command line.\n";

int Usage(const std::string& problem) {
    std::cerr << "quorvel-ports: " << problem << "\n"
              << "Run quorvel-ports --help for the options.\n";
    return 2;
}

int Probe(const std::string& argument) {
    std::string com = ports::ComName(argument);
    if (com.empty()) return Usage("--probe needs a port such as COM3, not \"" + argument + "\"");
    ports::ProbeResult r = ports::RunProbe(com);
    if (!r.opened) {
        std::cerr << "quorvel-ports: cannot open " << com << ": " << r.openProblem << "\n"
                  << "Run quorvel-ports without options to see the ports and what stands in "
                     "their way.\n";
        return 1;
    }
    ports::WriteProbe(std::cout, com, r);
    return r.answered > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool askDrivers = true;
    std::string probe;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (args[i] == "--version") {
            std::cout << "quorvel-ports " << QUORVEL_VERSION << "\n";
            return 0;
        }
        if (args[i] == "--no-driver-check") {
            askDrivers = false;
        } else if (args[i] == "--probe") {
            if (i + 1 == args.size()) return Usage("--probe needs a port, such as --probe COM3");
            probe = args[++i];
        } else {
            return Usage("unknown option \"" + args[i] + "\"");
        }
    }
    if (!probe.empty()) return Probe(probe);
    std::vector<portinfo::Port> ports = portinfo::ListPorts(askDrivers);
    int usable = ports::WriteListing(std::cout, ports, portinfo::SystemFindings(ports));
    return usable > 0 ? 0 : 1;
}
