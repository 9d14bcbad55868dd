// lead_gadget: a K-line lead with the USB serial chip users own, played in the machine's
// own gadget side (dummy_hcd), so that the kernel's real driver (ch341, pl2303, cp210x)
// drives it. It answers the driver's control requests as the chip does, works out the rate
// the chip runs from what the driver programmed, echoes every byte as a K-line lead does,
// and passes the bytes to and from a simulated ECU (ecu-sim --no-echo on a pseudo-terminal)
// only while that rate is within 2% of 7680 or 1200 baud, as a real ECU would hear them.
// SIGUSR1 pulls the lead out (the gadget unbound from its controller), SIGUSR2 puts it back.
// Needs root and the gadget modules (configfs, libcomposite, usb_f_fs, dummy_hcd).
// --deaf-plugs N refuses the driver's control requests for the first N plugs: its probe
// fails and binds no tty, as when they time out on a machine too slow for them. SIGHUP
// lets the next control request time out (answered after the driver's 1 s).
// usage: lead_gadget --chip NAME --ecu PATH [--serial S] [--record FILE] [--deaf-plugs N]
#include "chips.h"
#include "gadget.h"
#include "platform/posix/kernel32/line.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

volatile sig_atomic_t signalled = 0; // the last of SIGUSR1, SIGUSR2, SIGTERM
void OnSignal(int s) { signalled = s; }

// The rate the ECU hears the chip at: 7680 or 1200 while the chip runs within 2% of it.
uint32_t Heard(double rate) {
    for (uint32_t nominal : {7680u, 1200u}) {
        if (std::fabs(rate - nominal) * 50 <= nominal) return nominal;
    }
    return 0;
}

class Lead {
  public:
    Lead(lead::Chip& chip, int ecu, FILE* record) : chip_(chip), ecu_(ecu), record_(record) {}

    // The driver set the chip up anew: the line to the ECU follows its rate.
    void Changed() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (chip_.Rate() == lastRate_) return;
        lastRate_ = chip_.Rate();
        uint32_t heard = Heard(lastRate_);
        if (heard != 0) {
            w32::LineSettings s;
            s.baud = heard;
            uint32_t set = 0;
            std::string problem;
            w32::line::Apply(ecu_, s, &set, &problem);
        }
        passing_ = heard;
        Note("the chip runs %.1f baud: %s", lastRate_,
             heard != 0 ? (heard == 7680 ? "the ECU hears it at 7680" : "the ECU hears it at 1200")
                        : "too far from 7680 and 1200 for the ECU");
    }

    // The program's bytes: echoed as the K-line echoes them, and heard by the ECU when
    // the rate lets it.
    void FromHost(lead::Gadget& gadget, const std::vector<uint8_t>& bytes) {
        gadget.Send(bytes);
        if (passing_ != 0) (void)!write(ecu_, bytes.data(), bytes.size());
    }

    void FromEcu(lead::Gadget& gadget, const std::vector<uint8_t>& bytes) {
        if (passing_ != 0) gadget.Send(bytes);
    }

    void Note(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (record_ == nullptr) return;
        va_list args;
        va_start(args, format);
        std::fprintf(record_, "%s: ", chip_.name.c_str());
        std::vfprintf(record_, format, args);
        std::fputc('\n', record_);
        std::fflush(record_);
        va_end(args);
    }

  private:
    lead::Chip& chip_;
    int ecu_;
    FILE* record_;
    std::mutex mutex_;
    double lastRate_ = -1;
    std::atomic<uint32_t> passing_{0};
};

int Usage(const std::string& problem) {
    std::fprintf(stderr,
                 "lead_gadget: %s\nusage: lead_gadget --chip NAME --ecu PATH [--serial S] "
                 "[--record FILE] [--deaf-plugs N]\nchips:",
                 problem.c_str());
    for (const std::string& name : lead::ChipNames())
        std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string chipName;
    std::string ecuPath;
    std::string serial = "QV00000001";
    std::string recordPath;
    int deafPlugs = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return Usage(a + " needs a value");
        std::string v = argv[++i];
        if (a == "--chip") {
            chipName = v;
        } else if (a == "--ecu") {
            ecuPath = v;
        } else if (a == "--serial") {
            serial = v;
        } else if (a == "--record") {
            recordPath = v;
        } else if (a == "--deaf-plugs") {
            deafPlugs = std::atoi(v.c_str());
        } else {
            return Usage("unknown option \"" + a + "\"");
        }
    }
    std::unique_ptr<lead::Chip> chip = lead::MakeChip(chipName);
    if (!chip) return Usage("no chip \"" + chipName + "\"");
    int ecu = open(ecuPath.c_str(), O_RDWR | O_NOCTTY);
    if (ecu < 0)
        return Usage("cannot open the ECU's line " + ecuPath + ": " + std::strerror(errno));
    FILE* record = recordPath.empty() ? nullptr : std::fopen(recordPath.c_str(), "a");

    Lead lead(*chip, ecu, record);
    lead::Gadget* gadgetPointer = nullptr;
    lead::Gadget gadget(
        *chip, serial,
        [&](const std::vector<uint8_t>& bytes) { lead.FromHost(*gadgetPointer, bytes); },
        [&] { lead.Changed(); });
    gadgetPointer = &gadget;
    gadget.SetDeafPlugs(deafPlugs);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    for (int s : {SIGUSR1, SIGUSR2, SIGHUP, SIGTERM, SIGINT})
        sigaction(s, &sa, nullptr);
    std::string problem;
    if (!gadget.Start(&problem)) {
        std::fprintf(stderr, "lead_gadget: %s\n", problem.c_str());
        return 1;
    }
    lead.Note("plugged in");
    std::printf("%s plugged in\n", chip->name.c_str());
    std::fflush(stdout);

    for (;;) {
        pollfd p{ecu, POLLIN, 0};
        int n = poll(&p, 1, 100);
        int s = signalled;
        signalled = 0;
        if (s == SIGTERM || s == SIGINT) break;
        if (s == SIGUSR1) {
            gadget.Unplug();
            lead.Note("pulled out");
        } else if (s == SIGUSR2) {
            gadget.Plug();
            lead.Note("plugged in");
        } else if (s == SIGHUP) {
            gadget.SlowNextRequest();
        }
        if (n > 0 && (p.revents & POLLIN) != 0) {
            uint8_t buffer[64];
            ssize_t got = read(ecu, buffer, sizeof buffer);
            if (got > 0) lead.FromEcu(gadget, std::vector<uint8_t>(buffer, buffer + got));
        }
    }
    return 0;
}
