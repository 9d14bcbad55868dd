// Serial ports inside the layer: which ports are present, and what opens behind them.
#pragma once

#include "platform/posix/kernel32/device.h"
#include "platform/posix/layer.h"
#include "platform/posix/setupapi/comports.h"

#include <memory>
#include <string>
#include <vector>

namespace w32 {

// One entry of the system's port list.
struct PortEntry {
    int number = 0;                     // n of COMn
    std::string friendlyName;           // what SetupAPI reports
    std::string hardwareId;             // "USB\\VID_0403&PID_6001" ("" for none)
    bool nameReadable = true;           // false: the friendly name cannot be read
    std::string devicePath;             // the device that \\.\COMn opens ("" for none)
    std::string identity;               // a sysfs port: looked up again at every open
    std::shared_ptr<ScriptedLine> line; // or a scripted line
};

// The port list as a test wants the system to report it.
struct PortListScript {
    bool unavailable = false;            // SetupDiGetClassDevsA fails
    int failAtIndex = -1;                // SetupDiEnumDeviceInfo fails there...
    DWORD failError = ERROR_GEN_FAILURE; // ...with this error
    std::vector<PortEntry> ports;
};
void SetPortListScript(std::shared_ptr<PortListScript> script); // null: the real list
// The scripted line behind a listed port now: the test may have put a new one behind
// the same COM number, as a lead pulled out and plugged back in.
std::shared_ptr<ScriptedLine> ScriptedLineNow(const PortEntry& entry);

// The ports of the last listing: what CreateFileA's \\.\COMn refers to.
std::vector<PortEntry>& ListedPorts();

// Where the real list comes from: QUORVEL_PORTS when set, else the device tree.
std::vector<PortEntry> PresentPorts();
// The listed serial devices of a sysfs tree, numbered with the numbers kept in
// configDir, with device paths under /dev.
std::vector<PortEntry> SysfsPorts(const std::string& sysfsRoot, const std::string& configDir);

// The rate a driver reports back counts as the rate asked when it is this close: a
// UART copes with about 2%.
bool RateCloseEnough(uint32_t asked, uint32_t reported);

// An error from the system: GetLastError's code, with errno's own words for it.
void SetLastErrorFromErrno(int error);

} // namespace w32
