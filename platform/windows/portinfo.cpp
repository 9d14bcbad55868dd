// quorvel-ports on Windows: SetupAPI's serial port interfaces, with each device's
// friendly name, hardware id (its USB VID and PID), service and COM number; the port
// opened for a moment tells whether it is free and whether its driver takes 7680 baud.
#include "platform/portinfo.h"

#include "tools/quorvel-ports/texts.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstring>

namespace portinfo {

namespace {

const GUID kComPorts = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::string Property(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    char buffer[1024] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, &type,
                                           reinterpret_cast<PBYTE>(buffer), sizeof buffer - 1,
                                           nullptr)) {
        return "";
    }
    return buffer; // the first string of a list of several
}

// "USB\VID_0403&PID_6001&REV_0600" gives 0403 and 6001.
void UsbIds(const std::string& hardwareId, std::string* vendor, std::string* product) {
    size_t v = hardwareId.find("VID_");
    size_t p = hardwareId.find("PID_");
    if (v != std::string::npos) *vendor = hardwareId.substr(v + 4, 4);
    if (p != std::string::npos) *product = hardwareId.substr(p + 4, 4);
    for (std::string* s : {vendor, product})
        for (char& c : *s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

int ComNumber(HDEVINFO set, SP_DEVINFO_DATA* device, const std::string& friendly) {
    HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key != INVALID_HANDLE_VALUE) {
        char name[32] = {};
        DWORD size = sizeof name - 1;
        DWORD type = 0;
        LONG read = RegQueryValueExA(key, "PortName", nullptr, &type,
                                     reinterpret_cast<LPBYTE>(name), &size);
        RegCloseKey(key);
        if (read == ERROR_SUCCESS && _strnicmp(name, "COM", 3) == 0) return std::atoi(name + 3);
    }
    size_t at = friendly.rfind("(COM");
    return at != std::string::npos ? std::atoi(friendly.c_str() + at + 4) : 0;
}

// Windows says a port is busy, not who has it.
void TryPort(Port* p, bool askDriver) {
    HANDLE h = CreateFileA(p->devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            p->holders.push_back("another program (Windows does not say which)");
            p->holdersKnown = false;
        } else {
            p->mayOpen = false;
            p->accessProblem = SystemText(error);
        }
        p->driverProblem = "it cannot be opened";
        return;
    }
    if (askDriver) {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        GetCommState(h, &dcb);
        // A plain line at the rate: 8 data bits, no parity, no flow control of any kind.
        DCB asked = dcb;
        asked.BaudRate = 7680;
        asked.fOutxCtsFlow = asked.fOutxDsrFlow = asked.fDsrSensitivity = 0;
        asked.fOutX = asked.fInX = 0;
        asked.fDtrControl = DTR_CONTROL_DISABLE;
        asked.fRtsControl = RTS_CONTROL_DISABLE;
        asked.ByteSize = 8;
        asked.Parity = NOPARITY;
        asked.StopBits = ONESTOPBIT;
        if (SetCommState(h, &asked)) {
            p->driverRate = 7680;
            p->driverOnlyAccepted = true;
            SetCommState(h, &dcb);
        } else {
            p->driverProblem = "the driver refused 7680 baud: " + SystemText(GetLastError());
        }
    }
    CloseHandle(h);
}

} // namespace

std::vector<Port> ListPorts(bool askDrivers) {
    std::vector<Port> ports;
    HDEVINFO set =
        SetupDiGetClassDevsA(&kComPorts, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        Port p;
        p.friendlyName = Property(set, &device, SPDRP_FRIENDLYNAME);
        p.driver = Property(set, &device, SPDRP_SERVICE);
        p.product = Property(set, &device, SPDRP_DEVICEDESC);
        UsbIds(Property(set, &device, SPDRP_HARDWAREID), &p.vendorId, &p.productId);
        p.number = ComNumber(set, &device, p.friendlyName);
        p.devicePath = "\\\\.\\COM" + std::to_string(p.number);
        if (p.number == 0) p.skipped = "it has no COM number";
        ports.push_back(p);
    }
    SetupDiDestroyDeviceInfoList(set);
    std::stable_sort(ports.begin(), ports.end(), [](const Port& a, const Port& b) {
        if ((a.number == 0) != (b.number == 0)) return a.number != 0;
        return a.number != 0 && _stricmp(a.friendlyName.c_str(), b.friendlyName.c_str()) < 0;
    });
    // Opening a port resets boards through DTR and can take seconds on a Bluetooth port:
    // without the driver check none is opened.
    for (Port& p : ports) {
        if (p.number == 0) continue;
        if (askDrivers) {
            TryPort(&p, true);
        } else {
            p.lookedAt = false;
            p.driverProblem = "--no-driver-check opens no port";
        }
    }
    return ports;
}

std::vector<Finding> SystemFindings(const std::vector<Port>&) { return {}; }

const Words& PlatformWords() {
    static const Words words = {
        "",
        "Windows lists only leads whose driver is installed: one without it stands in Device "
        "Manager under Other devices, with a warning sign.",
        "COMn", ports::kTextNoPortSeenWindows};
    return words;
}

} // namespace portinfo
