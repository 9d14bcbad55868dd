// libFuzzer target: any bytes as the COM-number store (~/.config/quorvel/comports), as
// users leave it: edited by hand, half-written by a crash, written by an older version
// (identities without the interface, unescaped) or a newer one. The layer reads it when
// it lists the ports, and writes it again when a port gets a new number.
//
// The first byte picks which of the leads of a test system are plugged in: a lead with a
// serial number, two ports of one adapter, two leads that share a serial number, a lead
// without one, and an on-board port. Checked after each input: the listing gives each
// present port one COM number of its own; the store as rewritten reads back to those
// numbers; and every number the input held for a port that is not present is still
// there.
#include "platform/posix/setupapi/comports.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text << "\n";
}

struct Lead {
    const char* tty;
    const char* busPort;
    const char* vendor;
    const char* product;
    const char* serial;
    int interface;
};

const Lead kLeads[] = {
    {"ttyUSB0", "1-1", "0403", "6001", "A50285BI", 0},
    {"ttyUSB1", "1-2", "0403", "6010", "FT2P", 0},
    {"ttyUSB2", "1-2", "0403", "6010", "FT2P", 1},
    {"ttyUSB3", "1-3", "1a86", "7523", "0001", 0},
    {"ttyUSB4", "1-4", "1a86", "7523", "0001", 0},
    {"ttyACM0", "1-5", "2341", "0043", "", 0},
};

// A system with the leads of the mask plugged in, and an on-board port, under root.
void Build(const fs::path& root, unsigned mask) {
    fs::remove_all(root);
    const fs::path devices = root / "sys/devices";
    fs::path uart = devices / "platform/serial8250/ttyS0";
    fs::create_directories(uart);
    fs::create_directories(root / "sys/class/tty/ttyS0");
    fs::create_directory_symlink(uart, root / "sys/class/tty/ttyS0/device");
    Write(root / "sys/class/tty/ttyS0/type", "4");
    for (unsigned i = 0; i < sizeof kLeads / sizeof kLeads[0]; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        const Lead& l = kLeads[i];
        fs::path usb = devices / "pci0000:00/usb1" / l.busPort;
        Write(usb / "idVendor", l.vendor);
        Write(usb / "idProduct", l.product);
        Write(usb / "product", "A lead");
        if (*l.serial != '\0') Write(usb / "serial", l.serial);
        fs::path iface = usb / (std::string(l.busPort) + ":1." + std::to_string(l.interface));
        Write(iface / "bInterfaceNumber", "0" + std::to_string(l.interface));
        fs::create_directories(iface / l.tty);
        fs::create_directories(root / "sys/class/tty" / l.tty);
        fs::create_directory_symlink(iface / l.tty, root / "sys/class/tty" / l.tty / "device");
    }
    fs::create_directories(root / "config");
}

const fs::path& Root(unsigned mask) {
    static std::map<unsigned, fs::path> roots;
    auto it = roots.find(mask);
    if (it != roots.end()) return it->second;
    fs::path root =
        fs::temp_directory_path() /
        ("quorvel-comports-fuzz-" + std::to_string(getpid()) + "-" + std::to_string(mask));
    Build(root, mask);
    return roots[mask] = root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned mask = data[0] & 0x3F;
    const fs::path& root = Root(mask);
    const std::string store = (root / "config/comports").string();
    {
        std::ofstream out(store, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const std::map<std::string, int> held = w32::LoadComNumbers(store);
    w32::DeviceTree tree{(root / "sys").string(), (root / "dev").string(),
                         (root / "config").string()};
    const std::vector<w32::SerialDevice> ports = w32::SerialDevices(tree);
    const std::map<std::string, int> stored = w32::LoadComNumbers(store);

    std::set<int> numbers;
    std::set<std::string> present;
    std::set<std::string> older; // present leads' identities of before the interface
    for (const w32::SerialDevice& p : ports) {
        if (!p.skipped.empty()) continue;
        // One number each, of their own.
        if (p.number < 1 || !numbers.insert(p.number).second) std::abort();
        if (p.friendlyName.find("(COM" + std::to_string(p.number) + ")") == std::string::npos)
            std::abort();
        present.insert(p.identity);
        present.insert(p.serialIdentity);
        present.insert(p.placeIdentity);
        if (p.usb) older.insert(p.serialIdentity.substr(0, p.serialIdentity.rfind(':')));
        // The store, as rewritten, reads back to it (an on-board port's is fixed, unstored).
        if (p.tty.rfind("ttyS", 0) == 0) continue;
        auto it = stored.find(p.identity);
        if (it == stored.end() || it->second != p.number) std::abort();
    }
    // What the input held for ports not present is still there. (A present lead's own
    // older identity, without its interface or its place, is taken over by it.)
    for (const auto& [identity, n] : held) {
        if (present.count(identity) != 0 || older.count(identity) != 0) continue;
        auto it = stored.find(identity);
        if (it == stored.end() || it->second != n) std::abort();
    }
    return 0;
}
