#include "probe.h"

#include "chips.h"
#include "dashboard/faults.h"
#include "dashboard/gauge_table.h"
#include "platform/portinfo.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

namespace ports {

namespace {

// An open port, closed when it goes.
class Port {
  public:
    explicit Port(const std::string& com) {
        std::string path = "\\\\.\\" + com;
        handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) error_ = portinfo::SystemText(GetLastError());
    }
    ~Port() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
    const std::string& Error() const { return error_; }
    HANDLE Handle() const { return handle_; }

    // The line as the dashboard's OpenPort sets it, and its 500 ms read time-out.
    bool Configure(uint32_t baud) {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        GetCommState(handle_, &dcb);
        SetEcuLine(&dcb, baud);
        if (!SetCommState(handle_, &dcb)) {
            error_ = portinfo::SystemText(GetLastError());
            return false;
        }
        COMMTIMEOUTS t = {};
        GetCommTimeouts(handle_, &t);
        t.ReadTotalTimeoutConstant = kReadTimeoutMs;
        return SetCommTimeouts(handle_, &t) != 0;
    }

    // What is waiting, without waiting for more.
    int Drain() {
        COMMTIMEOUTS now = {MAXDWORD, 0, 0, 0, 0};
        COMMTIMEOUTS kept = {};
        GetCommTimeouts(handle_, &kept);
        SetCommTimeouts(handle_, &now);
        unsigned char buffer[64];
        DWORD got = 0;
        ReadFile(handle_, buffer, sizeof buffer, &got, nullptr);
        SetCommTimeouts(handle_, &kept);
        return static_cast<int>(got);
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string error_;
};

// On Linux the layer maps \\.\COMn to a device when the ports are listed, as the
// dashboard lists them first; on Windows the listing changes nothing.
void ListPortsAsTheDashboardDoes() {
    const GUID comPorts = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    HDEVINFO set =
        SetupDiGetClassDevsA(&comPorts, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
}

std::string Hex(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

std::string Reading(float value, const GaugeParameters& g) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f %s", g.decimals, static_cast<double>(value), g.units);
    return text;
}

std::string Verdict(const ProbeResult& r) {
    if (r.answered == kRegisterCount)
        return "The ECU answered all 17 registers: the lead, the port and the car are fine. If "
               "the dashboard shows nothing, choose an engine from its Engine menu.";
    if (r.answered > 0)
        return std::to_string(r.answered) +
               " of 17 registers answered: the line loses bytes. Check the lead's plug in the "
               "diagnostic socket, keep the lead away from the ignition leads, and try again.";
    if (r.echoed == kRegisterCount && r.wakeEchoes < 2)
        return "One byte came back for each request and none during the wake-up: this "
               "interface does not echo what it sends, so the ECU's answer was taken for the "
               "echo. The dashboard needs an interface that echoes, as a K-line (KKL) lead "
               "does.";
    if (r.echoed > 0)
        return "The interface echoes the requests but the ECU does not answer. Switch the "
               "ignition on (the engine need not run), check that the lead is in the "
               "diagnostic socket, and that the car has single-point injection (its Engine "
               "menu lists the families)." +
               (r.chipDoubt.empty()
                    ? std::string()
                    : " If all that is so, the lead's chip may be the cause: " + r.chipDoubt);
    return "Nothing came back, not even the interface's echo: the lead is not on the car's "
           "diagnostic socket, has no power (most K-line leads take it from the socket), or "
           "is not a K-line interface.";
}

} // namespace

std::string ChipDoubt(const portinfo::Port& port, bool driversRunTheRatesTheyTake) {
    if (driversRunTheRatesTheyTake || port.vendorId.empty()) return "";
    Chip chip = IdentifyChip(port.vendorId, port.productId, port.product, port.driver);
    if (chip.rate != RateVerdict::Unknown || chip.family.empty()) return "";
    return chip.family + ", " + chip.note +
           ". Its driver takes 7680 baud whatever the chip runs. Leads with an FTDI, "
           "CH340/CH341, PL2303, CP2102N or CP2104 chip run 7680 baud.";
}

std::string ComName(const std::string& argument) {
    std::string digits = argument;
    if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0))
        digits = digits.substr(3);
    if (digits.empty() || digits.size() > 3) return "";
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return "";
    }
    int n = std::stoi(digits);
    return n > 0 ? "COM" + std::to_string(n) : "";
}

std::string ProbedPort(const std::string& argument, const std::vector<portinfo::Port>& ports,
                       std::string* problem) {
    std::string listed;
    for (const portinfo::Port& p : ports) {
        if (p.number == 0) continue;
        std::string com = "COM" + std::to_string(p.number);
        listed += (listed.empty() ? "" : ", ") + com;
        std::error_code error;
        if (com == ComName(argument) || argument == p.devicePath ||
            (!p.devicePath.empty() && std::filesystem::equivalent(argument, p.devicePath, error))) {
            return com;
        }
    }
    std::string com = ComName(argument);
    if (com.empty() && argument.find_first_of("/\\") == std::string::npos) {
        *problem = "--probe needs a port such as COM3, not \"" + argument + "\"";
    } else {
        *problem = (com.empty() ? argument : com) + " is not among the ports (" +
                   (listed.empty() ? std::string("there are none") : listed) +
                   "); run quorvel-ports to see them";
    }
    return "";
}

ProbeResult RunProbe(const std::string& com, std::ostream& out) {
    ProbeResult r;
    ListPortsAsTheDashboardDoes();
    {
        // The wake-up: three bytes at 1200 baud, one per 120 ms tick, nothing read.
        Port wake(com);
        if (!wake.Open() || !wake.Configure(kWakeBaud)) {
            r.openProblem = wake.Error();
            return r;
        }
        // Before each byte, what came back since the last one is counted (the echo of
        // 0x0F and 0xAA; the third's may still be on its way when the port is reopened).
        for (int i = 0; i < 3; ++i) {
            Sleep(kWakeTickMs);
            int back = wake.Drain();
            if (i > 0) r.wakeEchoes += back;
            DWORD written = 0;
            WriteFile(wake.Handle(), &kWakeBytes[i], 1, &written, nullptr);
        }
        r.wakeEchoes += wake.Drain();
    }
    // Reopened at 7680 baud; the first poll comes a tick of 500 ms later.
    Port line(com);
    if (!line.Open()) {
        r.openProblem = line.Error();
        return r;
    }
    if (!line.Configure(kDataBaud)) {
        r.rateProblem = line.Error();
        return r;
    }
    r.opened = true;
    out << com << ": woken at " << kWakeBaud << " baud with 0x0F 0xAA 0xCC ("
        << (r.wakeEchoes >= 2 ? "the interface echoed them" : "no echo") << "), reading at "
        << kDataBaud << " baud:\n\n"
        << std::flush;
    Sleep(kPollTickMs);
    for (int i = 0; i < kRegisterCount; ++i) {
        PurgeComm(line.Handle(), PURGE_RXABORT | PURGE_RXCLEAR);
        const Answer& a = r.answers[i] = RequestAnswer(line.Handle(), kEcuRegisters[i].address);
        r.echoed += a.echoBytes == 1 ? 1 : 0;
        if (a.answerBytes == 1) {
            ++r.answered;
            SetRegisterByte(r.registers, i, a.value);
        }
        char text[96];
        std::snprintf(text, sizeof text, "  register %2d  %-28s", kEcuRegisters[i].address,
                      kEcuRegisters[i].name);
        out << text << (a.answerBytes == 1 ? Hex(a.value) : std::string("no answer"))
            << (a.echoBytes == 0 ? ", no echo" : "") << "\n"
            << std::flush;
    }
    ConvertRegisters(r.registers, &r.readings);
    return r;
}

void WriteProbeVerdict(std::ostream& out, const ProbeResult& r) {
    if (r.answered > 0) {
        out << "\nReadings:\n";
        for (const LoggedReading& reading : kLoggedReadings) {
            char line[96];
            std::snprintf(line, sizeof line, "  %-20s %s", reading.name,
                          Reading(r.readings.*reading.value, *reading.gauge).c_str());
            out << line << "\n";
        }
        const uint8_t flags[3] = {r.registers.faultFlags1, r.registers.faultFlags2,
                                  r.registers.faultFlags3};
        const uint8_t kinds[3] = {r.registers.faultType1, r.registers.faultType2,
                                  r.registers.faultType3};
        std::string faults;
        for (const FaultEntry& e : kFaultEntries) {
            if (FaultPresent(e, flags))
                faults += std::string(faults.empty() ? "" : ", ") + FaultText(e, flags, kinds);
        }
        out << "\nFaults: " << (faults.empty() ? "none" : faults) << "\n";
    }
    out << "\n" << Verdict(r) << "\n";
}

} // namespace ports
