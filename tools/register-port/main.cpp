// register-port: adds a serial port to Windows' device list, as the driver of a USB
// adapter would when it is plugged in, so that the program finds it through SetupAPI.
// Wine lists no serial port by itself; the Wine session test registers one with this.
// usage: register-port "FRIENDLY NAME (COMn)" [HARDWARE-ID [DESCRIPTION]]
//   HARDWARE-ID such as USB\VID_10C4&PID_EA60&REV_0100 and DESCRIPTION such as "Silicon Labs
//   CP210x USB to UART Bridge": what a USB adapter's driver records, for quorvel-ports.
#include <windows.h>

#include <initguid.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>

// {4d36e978-e325-11ce-bfc1-08002be10318}: the Ports (COM & LPT) device class.
DEFINE_GUID(kPortsClass, 0x4d36e978, 0xe325, 0x11ce, 0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03,
            0x18);
// {86e0d1e0-8089-11d0-9ce4-08003e301f73}: the interface of serial ports.
DEFINE_GUID(kComPortInterface, 0x86e0d1e0, 0x8089, 0x11d0, 0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f,
            0x73);

namespace {

int Fail(const char* step) {
    std::fprintf(stderr, "register-port: %s failed (error %lu)\n", step, GetLastError());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4 || std::strstr(argv[1], "(COM") == nullptr) {
        std::fprintf(stderr,
                     "usage: register-port \"FRIENDLY NAME (COMn)\" [HARDWARE-ID [DESCRIPTION]]\n");
        return 2;
    }
    const char* friendly = argv[1];
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set, "SerialPort", &kPortsClass, friendly, nullptr,
                                  DICD_GENERATE_ID, &device))
        return Fail("SetupDiCreateDeviceInfoA");
    if (!SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr))
        return Fail("SetupDiRegisterDeviceInfo");
    const DWORD size = static_cast<DWORD>(std::strlen(friendly) + 1);
    if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME,
                                           reinterpret_cast<const BYTE*>(friendly), size))
        return Fail("SetupDiSetDeviceRegistryPropertyA");
    if (argc >= 3) {
        // A list of strings, ended by an empty one.
        char ids[512] = {};
        std::snprintf(ids, sizeof ids - 1, "%s", argv[2]);
        const DWORD idsSize = static_cast<DWORD>(std::strlen(ids) + 2);
        if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                               reinterpret_cast<const BYTE*>(ids), idsSize))
            return Fail("SetupDiSetDeviceRegistryPropertyA (hardware id)");
    }
    if (argc == 4 && !SetupDiSetDeviceRegistryPropertyA(
                         set, &device, SPDRP_DEVICEDESC, reinterpret_cast<const BYTE*>(argv[3]),
                         static_cast<DWORD>(std::strlen(argv[3]) + 1)))
        return Fail("SetupDiSetDeviceRegistryPropertyA (description)");
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof iface;
    if (!SetupDiCreateDeviceInterfaceA(set, &device, &kComPortInterface, nullptr, 0, &iface))
        return Fail("SetupDiCreateDeviceInterfaceA");
    SetupDiDestroyDeviceInfoList(set);
    std::printf("registered %s\n", friendly);
    return 0;
}
