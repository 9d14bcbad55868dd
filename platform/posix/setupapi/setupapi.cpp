// The present serial ports, as SetupAPI lists them: from sysfs, from QUORVEL_PORTS, or
// from a test's script. Each has a friendly name ending in "(COMn)".
#include "platform/posix/kernel32/serial.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace w32 {

namespace {

std::shared_ptr<PortListScript> script;

struct DeviceSet {
    std::vector<PortEntry> ports;
    int failAtIndex = -1;
    DWORD failError = 0;
};

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<PortEntry> Listed(const std::vector<SerialDevice>& devices) {
    std::vector<PortEntry> ports;
    for (const SerialDevice& s : devices) {
        if (!s.skipped.empty()) continue;
        PortEntry p;
        p.number = s.number;
        p.friendlyName = s.friendlyName;
        if (s.usb && !s.vendorId.empty() && !s.productId.empty())
            p.hardwareId = "USB\\VID_" + Upper(s.vendorId) + "&PID_" + Upper(s.productId);
        p.devicePath = s.devicePath;
        p.identity = s.identity;
        ports.push_back(p);
    }
    return ports;
}

} // namespace

std::vector<PortEntry> SysfsPorts(const std::string& sysfsRoot, const std::string& configDir) {
    DeviceTree tree;
    tree.sysfs = sysfsRoot;
    tree.config = configDir;
    return Listed(SerialDevices(tree));
}

std::vector<PortEntry> PresentPorts() {
    // Set but empty is as good as unset (a shell's QUORVEL_PORTS= clears it so).
    const char* list = std::getenv("QUORVEL_PORTS");
    if (list == nullptr || *list == '\0') return Listed(SerialDevices(CurrentDeviceTree()));
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
        p.friendlyName = NameWithoutCom(base) + " (COM" + std::to_string(p.number) + ")";
        p.devicePath = path;
        ports.push_back(p);
    }
    return ports;
}

void SetPortListScript(std::shared_ptr<PortListScript> s) { script = std::move(s); }

std::shared_ptr<ScriptedLine> ScriptedLineNow(const PortEntry& entry) {
    if (script) {
        for (const PortEntry& p : script->ports) {
            if (p.number == entry.number && p.line) return p.line;
        }
    }
    return entry.line;
}

// The ports listed so far: what CreateFileA's \\.\COMn refers to.
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
        // A lead pulled out is no longer present.
        for (const PortEntry& p : script->ports) {
            if (!p.line || !p.line->pulledOut) set->ports.push_back(p);
        }
        set->failAtIndex = script->failAtIndex;
        set->failError = script->failError;
    } else {
        set->ports = PresentPorts();
    }
    // A port listed once stays openable by its number, as \\.\COMn opens on Windows
    // whenever the device is there: a lead that has gone is looked for again at each
    // open, and a later listing's entry for the number replaces the earlier one.
    std::vector<PortEntry>& listed = ListedPorts();
    for (const PortEntry& p : set->ports) {
        auto same = std::find_if(listed.begin(), listed.end(),
                                 [&p](const PortEntry& l) { return l.number == p.number; });
        if (same != listed.end()) {
            *same = p;
        } else {
            listed.push_back(p);
        }
    }
    // A destroyed list's place is taken again, as Windows reuses handle values: a program
    // that lists the ports at every retry for hours holds no more than it keeps open.
    auto free = std::find_if(sets.begin(), sets.end(), [](const auto& s) { return !s; });
    if (free == sets.end()) free = sets.insert(sets.end(), nullptr);
    *free = std::move(set);
    return reinterpret_cast<HDEVINFO>(kSetMagic + static_cast<uintptr_t>(free - sets.begin()));
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

// The friendly name (REG_SZ), and the hardware ids as a list of texts (REG_MULTI_SZ,
// ended by an empty one); a port with no hardware id has no such property.
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO h, PSP_DEVINFO_DATA data, DWORD property,
                                       LPDWORD type, PBYTE buffer, DWORD size,
                                       LPDWORD requiredSize) {
    DeviceSet* set = FindSet(h);
    W32_REQUIRE(property == SPDRP_FRIENDLYNAME || property == SPDRP_HARDWAREID,
                "properties other than the friendly name and the hardware ids", FALSE);
    if (set == nullptr || data == nullptr || data->DevInst == 0 ||
        data->DevInst > set->ports.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const PortEntry& p = set->ports[data->DevInst - 1];
    if (property == SPDRP_FRIENDLYNAME && !p.nameReadable) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (property == SPDRP_HARDWAREID && p.hardwareId.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const std::string value = property == SPDRP_FRIENDLYNAME ? p.friendlyName : p.hardwareId + '\0';
    DWORD needed = static_cast<DWORD>(value.size() + 1);
    if (type != nullptr) *type = property == SPDRP_FRIENDLYNAME ? REG_SZ : REG_MULTI_SZ;
    if (requiredSize != nullptr) *requiredSize = needed;
    if (buffer == nullptr || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, value.c_str(), needed);
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
