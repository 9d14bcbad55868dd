// quorvel-ports: why does the dashboard show nothing? It lists the serial ports as the
// dashboard lists them, with what is behind each and what stands in the way, or wakes
// and reads the ECU on one port as the dashboard does.
#include "platform/cli.h"
#include "platform/portinfo.h"
#include "probe.h"
#include "report.h"
#include "texts.h"
#include "tools/common/texts.h"
#include "version.h"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A paragraph broken into lines of at most width characters, each after indent.
std::string Wrap(const std::string& text, size_t width, const std::string& indent = "") {
    std::string out;
    std::string line;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (!line.empty() && indent.size() + line.size() + 1 + word.size() > width) {
            out += indent + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) out += indent + line + "\n";
    return out;
}

// An option and what it does, the text wrapped beside it.
std::string Option(const std::string& name, const std::string& what) {
    std::string wrapped = Wrap(what, 79, std::string(22, ' '));
    return "  " + name + std::string(20 - name.size(), ' ') + wrapped.substr(22);
}

// The help, with the platform's own words where Linux and Windows differ.
std::string UsageText() {
    const portinfo::Words& words = portinfo::PlatformWords();
    return "usage: quorvel-ports [--probe PORT] [--no-driver-check] [--wait]\n\n" +
           Wrap(std::string("Without options, lists every serial port in the order and with the "
                            "names and COM numbers the Quorvel dashboard shows") +
                    words.listing +
                    ", and the devices the dashboard leaves out with why. For each port: the "
                    "device and its driver, the USB id and chip, what 7680 baud (the ECU's rate) "
                    "will be, whether you may open it, and which other programs have it open. " +
                    words.causes +
                    " Each free port is opened for a moment to ask its driver for 7680 baud; "
                    "nothing is written to it.",
                79) +
           "\n" +
           Option("--probe PORT",
                  std::string("wake the ECU on PORT (") + words.probeArgument +
                      ") exactly as the dashboard does (the same bytes, rates and timing), read "
                      "its seventeen registers once, and print each register as it comes, the "
                      "nine readings, the faults present and a verdict. It writes nothing but "
                      "the wake-up and the requests.") +
           Option("--no-driver-check", "list without opening any port") +
           Option("--wait", "at the end, wait for Enter: a window of its own (the Start "
                            "menu's entry) stays open to be read") +
           Option(platform::HelpOption(), "this text") + Option("--version", "the version") + "\n" +
           Wrap("Exit status: 0 when the listing found a port the dashboard can use, or the "
                "probe got answers; 1 when not (no usable port, no answer, a port that cannot be "
                "opened or is not listed); 2 for a wrong command line.",
                79);
}

int Usage(const std::string& problem) {
    std::cerr << "quorvel-ports: " << problem << "\n"
              << "Run quorvel-ports " << platform::HelpOption() << " for the options.\n";
    return 2;
}

int Probe(const std::string& argument) {
    if (argument.empty()) return Usage("--probe needs a port, such as --probe COM3");
    std::string problem;
    const std::vector<portinfo::Port> listed = portinfo::ListPorts(false);
    std::string com = ports::ProbedPort(argument, listed, &problem);
    if (com.empty()) {
        if (problem.rfind("--probe", 0) == 0) return Usage(problem);
        std::cerr << "quorvel-ports: " << problem << "\n";
        return 1;
    }
    ports::ProbeResult r = ports::RunProbe(com, std::cout);
    if (!r.rateProblem.empty()) {
        std::cerr << "quorvel-ports: "
                  << texts::Format(ports::kTextRateRefused, com.c_str(), r.rateProblem.c_str())
                  << "\n"
                  << texts::Text(ports::kTextRateRefusedWhy) << "\n";
        return 1;
    }
    if (!r.opened) {
        std::cerr << "quorvel-ports: "
                  << texts::Format(ports::kTextCannotOpen, com.c_str(), r.openProblem.c_str())
                  << "\n"
                  << texts::Text(ports::kTextCannotOpenWhat) << "\n";
        return 1;
    }
    for (const portinfo::Port& p : listed) {
        if ("COM" + std::to_string(p.number) == com)
            r.chipDoubt = ports::ChipDoubt(p, kDriversRunTheRatesTheyTake);
    }
    ports::WriteProbeVerdict(std::cout, r);
    return r.answered > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    platform::ConsoleInSystemCodePage();
    std::vector<std::string> args(argv + 1, argv + argc);
    bool askDrivers = true;
    bool wait = false;
    std::string probe;
    for (size_t i = 0; i < args.size(); ++i) {
        if (platform::IsHelpOption(args[i])) {
            std::cout << UsageText();
            return 0;
        }
        if (args[i] == "--version") {
            std::cout << "quorvel-ports " << QUORVEL_VERSION << "\n";
            return 0;
        }
        if (args[i] == "--no-driver-check") {
            askDrivers = false;
        } else if (args[i] == "--wait") {
            wait = true;
        } else if (args[i] == "--probe") {
            if (i + 1 == args.size()) return Usage("--probe needs a port, such as --probe COM3");
            probe = args[++i];
        } else {
            return Usage("unknown option \"" + args[i] + "\"");
        }
    }
    int status = 0;
    if (!probe.empty()) {
        status = Probe(probe);
    } else {
        std::vector<portinfo::Port> ports = portinfo::ListPorts(askDrivers);
        const int usable = ports::WriteListing(std::cout, ports, portinfo::SystemFindings(ports),
                                               platform::CommandOfThisProgram("quorvel-ports"));
        status = usable > 0 ? 0 : 1;
    }
    if (wait) {
        std::cout << "\n" << texts::Text(ports::kTextPressEnter) << std::flush;
        std::string line;
        std::getline(std::cin, line);
    }
    return status;
}
