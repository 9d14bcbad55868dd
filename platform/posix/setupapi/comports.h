// Linux's serial devices as sysfs describes them, and the COM number each port keeps
// from run to run: the layer's stand-in for Windows' device tree and its COM database.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace w32 {

// Where the devices are looked for: the real system, or a tree a test has built.
struct DeviceTree {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
    std::string config; // the folder of the COM number store ("": the user's default)
};
DeviceTree& CurrentDeviceTree();

// One serial device of sysfs's tty class that has hardware behind it.
struct SerialDevice {
    std::string tty;        // ttyUSB0
    std::string devicePath; // /dev/ttyUSB0
    std::string driver;     // ftdi_sio, ch341-uart, pl2303, cp210x, cdc_acm, serial8250...
    bool usb = false;
    std::string vendorId;  // "0403" (USB only)
    std::string productId; // "6001"
    std::string product;   // the adapter's own name: "FT232R USB UART"
    std::string manufacturer;
    std::string serial;
    int interfaceNumber = -1;
    // What names the port from run to run: the USB serial number (or the device's place
    // on the bus when it has none) with the interface, so that each port of a two-port
    // adapter keeps its own number; ttySk for an on-board port. Leads that share a serial
    // number (cheap clones do) are told apart by their place on the bus as well.
    std::string identity;
    // The port by its serial number and its place on the bus together, whether or not
    // another lead shares the serial number now; and by its serial number alone.
    std::string placeIdentity;
    std::string serialIdentity;
    // Why the port list leaves it out ("" when it is listed).
    std::string skipped;
    int number = 0; // n of COMn, for a listed device
    std::string friendlyName;
};

// A name that holds "COM" before its own "(COMn)" would be read as another port: such a
// name is given as "Serial port".
std::string NameWithoutCom(const std::string& name);

// Every serial device under the tree, listed ones numbered, in the order of their tty
// names. A new number is written to the store.
std::vector<SerialDevice> SerialDevices(const DeviceTree& tree);

// The folder of the COM number store: $XDG_CONFIG_HOME/quorvel, else ~/.config/quorvel,
// with the home folder from the password database when HOME is unset. "" when there is
// no home at all (the numbers then hold for the run only).
std::string DefaultConfigDir();

// The store's file: one "n identity" line per port, identities escaped so that any byte
// of a serial number (a space, a newline) survives; lines that cannot be read are skipped.
std::map<std::string, int> LoadComNumbers(const std::string& file);
bool SaveComNumbers(const std::string& dir, const std::map<std::string, int>& numbers);

} // namespace w32
