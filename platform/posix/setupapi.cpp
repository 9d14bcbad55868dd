// The present serial ports, as SetupAPI lists them: from sysfs, from QUORVEL_PORTS, or
// from a test's script. Each has a friendly name ending in "(COMn)".
#include "serial.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace w32 {

namespace {

std::shared_ptr<PortListScript> script;

struct DeviceSet {
    std::vector<PortEntry> ports;
    int failAtIndex = -1;
    DWORD failError = 0;
};

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

// A name that holds "COM" before its own "(COMn)" would be read as another port.
std::string WithoutCom(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper.find("COM") == std::string::npos ? name : "Serial port";
}

struct Found {
    std::string tty;      // ttyUSB0
    std::string identity; // what stays the same for the device from run to run
    std::string product;  // the adapter's own name, when it has one
    int fixedNumber = 0;  // on-board UARTs: ttySk is COM(k+1)
};

// The nearest USB device above a tty's device: its product name and identity.
void DescribeUsb(const std::string& device, Found* f) {
    std::string dir = device;
    while (dir.size() > 1) {
        if (Exists(dir + "/idVendor") && Exists(dir + "/idProduct")) {
            f->product = ReadLine(dir + "/product");
            std::string serial = ReadLine(dir + "/serial");
            std::string id =
                "usb:" + ReadLine(dir + "/idVendor") + ":" + ReadLine(dir + "/idProduct");
            // Without a serial number the physical place identifies the adapter, as
            // Windows does it.
            f->identity =
                serial.empty() ? id + "@" + dir.substr(dir.rfind('/') + 1) : id + ":" + serial;
            return;
        }
        dir = dir.substr(0, dir.rfind('/'));
    }
}

std::map<std::string, int> LoadNumbers(const std::string& file) {
    std::map<std::string, int> numbers;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int n = 0;
        std::string identity;
        if (fields >> n >> identity && n > 0 && n < 256) numbers[identity] = n;
    }
    return numbers;
}

void SaveNumbers(const std::string& dir, const std::string& file,
                 const std::map<std::string, int>& numbers) {
    mkdir(dir.c_str(), 0755);
    std::string temp = file + ".new";
    {
        std::ofstream out(temp);
        if (!out) return;
        out << "# COM numbers of serial adapters, kept so that each keeps its number\n";
        for (const auto& [identity, n] : numbers)
            out << n << ' ' << identity << '\n';
    }
    std::rename(temp.c_str(), file.c_str());
}

} // namespace

std::string DefaultConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg != '\0') return std::string(xdg) + "/quorvel";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "/tmp") + "/.config/quorvel";
}

std::vector<PortEntry> SysfsPorts(const std::string& sysfsRoot, const std::string& configDir) {
    std::vector<Found> found;
    std::string classDir = sysfsRoot + "/class/tty";
    DIR* d = opendir(classDir.c_str());
    if (d == nullptr) return {};
    while (dirent* e = readdir(d)) {
        std::string tty = e->d_name;
        if (tty[0] == '.') continue;
        std::string base = classDir + "/" + tty;
        std::string device = RealPath(base + "/device");
        if (device.empty()) continue; // virtual terminals have no device
        Found f;
        f.tty = tty;
        if (tty.rfind("ttyS", 0) == 0) {
            // A legacy UART slot with no hardware behind it reports type 0.
            if (ReadLine(base + "/type") == "0") continue;
            f.fixedNumber = std::atoi(tty.c_str() + 4) + 1;
            f.identity = tty;
        } else {
            DescribeUsb(device, &f);
            if (f.identity.empty()) f.identity = "dev:" + device;
        }
        found.push_back(f);
    }
    closedir(d);
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.tty < b.tty; });

    // Numbers of on-board ports are fixed; adapters keep the number they were given
    // first, and a new adapter takes the lowest free number from 3 on.
    std::string file = configDir + "/comports";
    std::map<std::string, int> numbers = LoadNumbers(file);
    std::set<int> taken;
    for (const Found& f : found) {
        if (f.fixedNumber > 0) taken.insert(f.fixedNumber);
    }
    bool changed = false;
    std::vector<PortEntry> ports;
    for (Found& f : found) {
        int n = f.fixedNumber;
        if (n == 0) {
            auto known = numbers.find(f.identity);
            if (known != numbers.end() && taken.count(known->second) == 0) {
                n = known->second;
            } else {
                std::set<int> used = taken;
                for (const auto& kv : numbers) {
                    if (kv.first != f.identity) used.insert(kv.second);
                }
                n = 3;
                while (used.count(n) != 0)
                    ++n;
                numbers[f.identity] = n;
                changed = true;
            }
        }
        taken.insert(n);
        PortEntry p;
        p.number = n;
        p.friendlyName =
            (f.fixedNumber > 0 || f.product.empty() ? std::string("Communications Port")
                                                    : WithoutCom(f.product)) +
            " (COM" + std::to_string(n) + ")";
        p.devicePath = "/dev/" + f.tty;
        ports.push_back(p);
    }
    if (changed) SaveNumbers(configDir, file, numbers);
    return ports;
}

std::vector<PortEntry> PresentPorts() {
    const char* list = std::getenv("QUORVEL_PORTS");
    if (list == nullptr) return SysfsPorts("/sys", DefaultConfigDir());
    // The devices named, in their order, as COM1, COM2, ...
    std::vector<PortEntry> ports;
    std::string rest = list;
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string path = rest.substr(0, colon);
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        if (path.empty()) continue;
        PortEntry p;
        p.number = static_cast<int>(ports.size()) + 1;
        std::string base = path.substr(path.rfind('/') + 1);
        p.friendlyName = WithoutCom(base) + " (COM" + std::to_string(p.number) + ")";
        p.devicePath = path;
        ports.push_back(p);
    }
    return ports;
}

void SetPortListScript(std::shared_ptr<PortListScript> s) { script = std::move(s); }

// The ports of the last listing: what CreateFileA's \\.\COMn refers to.
std::vector<PortEntry>& ListedPorts() {
    static std::vector<PortEntry> listed;
    return listed;
}

} // namespace w32

using namespace w32;

namespace {
constexpr uintptr_t kSetMagic = 0x600000;
std::vector<std::unique_ptr<DeviceSet>> sets;

DeviceSet* FindSet(HDEVINFO h) {
    auto v = reinterpret_cast<uintptr_t>(h);
    if (v < kSetMagic || v >= kSetMagic + sets.size()) return nullptr;
    return sets[v - kSetMagic].get();
}

const GUID kComPortClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
} // namespace

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND, DWORD flags) {
    W32_REQUIRE(classGuid != nullptr && std::memcmp(classGuid, &kComPortClass, sizeof(GUID)) == 0,
                "device classes other than serial ports", INVALID_HANDLE_VALUE);
    W32_REQUIRE(enumerator == nullptr && flags == (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
                "enumerators and flags other than present device interfaces", INVALID_HANDLE_VALUE);
    auto set = std::make_unique<DeviceSet>();
    if (script) {
        if (script->unavailable) {
            SetLastError(ERROR_GEN_FAILURE);
            return INVALID_HANDLE_VALUE;
        }
        set->ports = script->ports;
        set->failAtIndex = script->failAtIndex;
        set->failError = script->failError;
    } else {
        set->ports = PresentPorts();
    }
    ListedPorts() = set->ports;
    sets.push_back(std::move(set));
    return reinterpret_cast<HDEVINFO>(kSetMagic + sets.size() - 1);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO h, DWORD index, PSP_DEVINFO_DATA data) {
    DeviceSet* set = FindSet(h);
    if (set == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    W32_REQUIRE(data != nullptr && data->cbSize == sizeof(SP_DEVINFO_DATA),
                "a device record whose cbSize is not its size", FALSE);
    if (set->failAtIndex >= 0 && index >= static_cast<DWORD>(set->failAtIndex)) {
        SetLastError(set->failError);
        return FALSE;
    }
    if (index >= set->ports.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->DevInst = index + 1;
    data->ClassGuid = kComPortClass;
    SetLastError(0);
    return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO h, PSP_DEVINFO_DATA data, DWORD property,
                                       LPDWORD type, PBYTE buffer, DWORD size,
                                       LPDWORD requiredSize) {
    DeviceSet* set = FindSet(h);
    W32_REQUIRE(property == SPDRP_FRIENDLYNAME, "properties other than the friendly name", FALSE);
    if (set == nullptr || data == nullptr || data->DevInst == 0 ||
        data->DevInst > set->ports.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const PortEntry& p = set->ports[data->DevInst - 1];
    if (!p.nameReadable) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(p.friendlyName.size() + 1);
    if (type != nullptr) *type = REG_SZ;
    if (requiredSize != nullptr) *requiredSize = needed;
    if (buffer == nullptr || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, p.friendlyName.c_str(), needed);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO h) {
    DeviceSet* set = FindSet(h);
    if (set == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sets[reinterpret_cast<uintptr_t>(h) - kSetMagic].reset();
    return TRUE;
}

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
    W32_REQUIRE((flags & ~static_cast<UINT>(LMEM_ZEROINIT)) == 0, "movable local memory", nullptr);
    void* p = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(bytes != 0 ? bytes : 1, 1)
                                           : std::malloc(bytes != 0 ? bytes : 1);
    if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
