// What the system tells of its serial ports beyond their names, for quorvel-ports: the
// device behind each, its driver and USB id, whether this user may open it, who holds
// it, and what its driver makes of the ECU's rate. Linux reads sysfs and /proc
// (platform/posix/setupapi/portinfo.cpp); Windows asks SetupAPI (platform/windows/portinfo.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace portinfo {

struct Port {
    int number = 0;           // n of COMn; 0 for a device the dashboard leaves out
    std::string friendlyName; // as the dashboard lists it
    std::string devicePath;   // /dev/ttyUSB0, or \\.\COM3
    std::string driver;       // ftdi_sio, ch341, pl2303, cp210x, cdc_acm, serial8250, usbser
    std::string vendorId;     // USB: "0403"
    std::string productId;    // USB: "6001"
    std::string product;      // the adapter's own name for itself
    std::string skipped;      // why the dashboard leaves it out ("" when it lists it)

    bool mayOpen = true;        // this user has the right to open it
    std::string accessProblem;  // when not: the system's words
    std::string group;          // the group the device belongs to (dialout)
    bool inGroupNotYet = false; // the user is in it, but not in this login yet
    // The group is one a user joins for serial ports (dialout, or uucp elsewhere), not one
    // such as root, whose members may do far more.
    bool serialGroup = true;

    std::vector<std::string> holders; // other processes that have it open
    bool holdersKnown = true;         // false: some processes could not be looked into
    // false: the port was not opened, so whether it opens and who has it are not known
    // (Windows tells both only by opening it).
    bool lookedAt = true;

    uint32_t driverRate = 0;   // what the driver runs when asked for 7680 (0: not asked)
    std::string driverProblem; // why it could not be asked
    // Linux drivers report the rate they set; Windows' only take or refuse the rate, so
    // one they took says nothing of what the chip runs.
    bool driverOnlyAccepted = false;
};

// Every serial device, those the dashboard lists in its order first. askDrivers: open
// each free port for a moment and ask its driver for 7680 baud (nothing is written);
// false opens no port at all.
std::vector<Port> ListPorts(bool askDrivers);

// Causes outside the ports that users of USB serial leads meet, with their fixes.
struct Finding {
    std::string cause;
    std::string fix;
};
std::vector<Finding> SystemFindings(const std::vector<Port>& ports);

// What the tool says where the platforms differ: where its list comes from, what stands
// in a lead's way there, how a port is named to --probe, and what to do when there is
// none.
struct Words {
    const char* listing; // after "the names and COM numbers the Quorvel dashboard shows"
    const char* causes;  // the sentence on what else the listing tells
    const char* probeArgument;
    unsigned noPortSeenText; // the id of the advice when no port is listed and no cause found
};
const Words& PlatformWords();

// The system's words for an error code (GetLastError's), without a line end.
std::string SystemText(uint32_t error);

} // namespace portinfo
