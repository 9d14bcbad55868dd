#include "probe.h"

#include "chips.h"
#include "dashboard/faults.h"
#include "dashboard/gauge_table.h"
#include "platform/portinfo.h"
#include "texts.h"
#include "tools/common/texts.h"

#include <algorithm>
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

// A reading with its units in the user's language.
std::string Reading(float value, const GaugeParameters& g, int reading) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", g.decimals, static_cast<double>(value));
    return texts::WithDecimalSeparator(text) + " " + texts::Text(texts::UnitsOf(reading));
}

std::string Verdict(const ProbeResult& r) {
    if (r.answered == kRegisterCount) return texts::Text(kTextAllAnswered);
    if (r.answered > 0) return texts::Format(kTextSomeAnswered, r.answered);
    if (r.echoed == kRegisterCount && r.wakeEchoes < 2) return texts::Text(kTextDoesNotEcho);
    if (r.echoed > 0)
        return texts::Text(kTextEcuSilent) +
               (r.chipDoubt.empty() ? std::string()
                                    : texts::Format(kTextChipMayBeTheCause, r.chipDoubt.c_str()));
    return texts::Text(kTextNothingBack);
}

} // namespace

std::string ChipDoubt(const portinfo::Port& port, bool driversRunTheRatesTheyTake) {
    if (driversRunTheRatesTheyTake || port.vendorId.empty()) return "";
    Chip chip = IdentifyChip(port.vendorId, port.productId, port.product, port.driver);
    if (chip.rate != RateVerdict::Unknown || chip.family.empty()) return "";
    return texts::Format(kTextChipDoubt, chip.family.c_str(), chip.note.c_str());
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
    out << texts::Format(kTextProbeWoken, com.c_str(), kWakeBaud,
                         texts::Text(r.wakeEchoes >= 2 ? kTextEchoed : kTextNoEcho).c_str(),
                         kDataBaud)
        << "\n\n"
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
        out << text << (a.answerBytes == 1 ? Hex(a.value) : texts::Text(kTextNoAnswer))
            << (a.echoBytes == 0 ? texts::Text(kTextNoEchoAfter) : std::string()) << "\n"
            << std::flush;
    }
    ConvertRegisters(r.registers, &r.readings);
    return r;
}

void WriteProbeVerdict(std::ostream& out, const ProbeResult& r) {
    if (r.answered > 0) {
        out << "\n" << texts::Text(kTextReadings) << "\n";
        // The names in a column 20 letters wide, or as wide as the longest.
        static_assert(sizeof kTextReadingNames / sizeof kTextReadingNames[0] ==
                          sizeof kLoggedReadings / sizeof kLoggedReadings[0],
                      "a reading without its name, or a name without its reading");
        std::string names[9];
        size_t width = 20;
        for (int i = 0; i < 9; ++i) {
            names[i] = texts::Text(kTextReadingNames[i]);
            width = std::max(width, texts::Letters(names[i]));
        }
        for (int i = 0; i < 9; ++i) {
            const LoggedReading& reading = kLoggedReadings[i];
            out << "  " << texts::Padded(names[i], width + 1)
                << Reading(r.readings.*reading.value, *reading.gauge, i) << "\n";
        }
        const uint8_t flags[3] = {r.registers.faultFlags1, r.registers.faultFlags2,
                                  r.registers.faultFlags3};
        const uint8_t kinds[3] = {r.registers.faultType1, r.registers.faultType2,
                                  r.registers.faultType3};
        std::string faults;
        for (const FaultEntry& e : kFaultEntries) {
            if (FaultPresent(e, flags))
                faults += (faults.empty() ? "" : ", ") + texts::FaultText(e, flags, kinds);
        }
        out << "\n"
            << texts::Format(kTextFaults,
                             (faults.empty() ? texts::Text(kTextNoFaults) : faults).c_str())
            << "\n";
    }
    out << "\n" << Verdict(r) << "\n";
}

} // namespace ports
