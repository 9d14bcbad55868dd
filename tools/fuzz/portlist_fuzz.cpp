// libFuzzer target: any list of serial ports the system could report, through the whole
// listing into the port list, the program's first choice and a user's choices after it.
// Names are any bytes of any length, some cannot be read, numbers repeat or are missing,
// and some ports refuse to open.
//
// Checked after each input: the list holds one entry per port, in the order the list
// keeps; the device path the program ends up with is always terminated inside its buffer
// and names a COM port; a port that cannot be opened ends the program the way it says.
#include "app/state.h"
#include "ecu/ecu.h"
#include "platform/posix/backends/headless.h"
#include "platform/posix/kernel32/serial.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

bool destroyed = false;

LRESULT CALLBACK Owner(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        destroyed = true; // the program's way out after a port it cannot open
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void CheckPath() {
    size_t length = strnlen(portPath, sizeof portPath);
    if (length >= sizeof portPath) std::abort();
    if (length != 0 && std::strncmp(portPath, "\\\\.\\Com", 7) != 0) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static w32::VirtualClockBackend clock;
    w32::ResetLayer();
    clock.SetThreaded(false);
    clock.SetAutoAnswer(true); // every box is answered as soon as it shows
    w32::SetBackend(&clock);

    FuzzedDataProvider input(data, size);
    auto script = std::make_shared<w32::PortListScript>();
    int count = input.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < count; ++i) {
        w32::PortEntry port;
        port.number = input.ConsumeIntegralInRange<int>(0, 300);
        port.nameReadable = input.ConsumeIntegralInRange<int>(0, 15) != 0;
        port.friendlyName = input.ConsumeRandomLengthString(1500);
        port.line = std::make_shared<w32::ScriptedLine>();
        port.line->refuseOpen = input.ConsumeIntegralInRange<int>(0, 7) == 0;
        script->ports.push_back(port);
    }
    w32::SetPortListScript(script);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = Owner;
    wc.lpszClassName = "port list fuzz";
    RegisterClassA(&wc);
    mainWindow = CreateWindowExA(0, "port list fuzz", "", WS_OVERLAPPEDWINDOW, 0, 0, 240, 60,
                                 nullptr, nullptr, nullptr, nullptr);
    PortList = CreateWindowExA(0, "COMBOBOX", "",
                               WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS,
                               10, 10, 200, 100, mainWindow, nullptr, nullptr, nullptr);
    portHandle = nullptr;
    portPath[0] = '\0';
    wakeStep = 1;
    destroyed = false;

    PortListing listing = ListSerialPorts();
    LRESULT entries = SendMessageA(PortList, CB_GETCOUNT, 0, 0);
    if (listing == kPortsListed && entries != count) std::abort();
    if (listing == kNoPortsFound && (count != 0 || entries != 0)) std::abort();
    // The program's first choice, then a few of a user's.
    if (entries > 0) {
        SendMessageA(PortList, CB_SETCURSEL, 0, 0);
        HandlePortSelection();
        CheckPath();
        int choices = input.ConsumeIntegralInRange<int>(0, 4);
        for (int i = 0; i < choices && !destroyed; ++i) {
            auto index = static_cast<WPARAM>(
                input.ConsumeIntegralInRange<int>(0, static_cast<int>(entries) - 1));
            SendMessageA(PortList, CB_SETCURSEL, index, 0);
            HandlePortSelection();
            CheckPath();
        }
    }
    if (portHandle != nullptr && portHandle != INVALID_HANDLE_VALUE) CloseHandle(portHandle);
    portHandle = nullptr;
    w32::SetPortListScript(nullptr);
    return 0;
}
