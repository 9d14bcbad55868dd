// quorvel-ports on Linux: sysfs for the devices, /proc for who holds them, the device
// node's owner for the right to open it, and the driver itself for the rate.
#include "platform/portinfo.h"

#include "platform/posix/kernel32/holders.h"
#include "platform/posix/kernel32/line.h"
#include "platform/posix/kernel32/serial.h"
#include "platform/posix/setupapi/comports.h"
#include "platform/posix/setupapi/portinfo_posix.h"
#include "tools/common/texts.h"
#include "tools/quorvel-ports/texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portinfo {

namespace {

std::string UserName() {
    const passwd* pw = getpwuid(getuid());
    return pw != nullptr ? pw->pw_name : "";
}

// Whether this login's process has the group, and whether the user is in it at all.
void GroupMembership(gid_t gid, bool* now, bool* listed) {
    *now = getegid() == gid;
    int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    if (count > 0 && getgroups(count, groups.data()) == count)
        *now = *now || std::find(groups.begin(), groups.end(), gid) != groups.end();
    *listed = *now;
    const passwd* pw = getpwuid(getuid());
    if (pw != nullptr && pw->pw_gid == gid) *listed = true;
    const group* g = getgrgid(gid);
    if (g != nullptr && pw != nullptr) {
        for (char** m = g->gr_mem; *m != nullptr; ++m)
            *listed = *listed || std::strcmp(*m, pw->pw_name) == 0;
    }
}

void CheckAccess(Port* p) {
    struct stat st {};
    if (stat(p->devicePath.c_str(), &st) != 0) {
        p->mayOpen = false;
        p->accessProblem = std::strerror(errno);
        return;
    }
    const group* g = getgrgid(st.st_gid);
    p->group = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
    p->serialGroup = p->group == "dialout" || p->group == "uucp";
    if (access(p->devicePath.c_str(), R_OK | W_OK) == 0) return;
    p->mayOpen = false;
    p->accessProblem = std::strerror(errno);
    bool now = false;
    bool listed = false;
    GroupMembership(st.st_gid, &now, &listed);
    p->inGroupNotYet = listed && !now;
}

void CheckHolders(Port* p) {
    bool complete = true;
    for (const w32::Holder& h : w32::ProcessesHolding(p->devicePath, &complete))
        p->holders.push_back(h.name + " (process " + std::to_string(h.pid) + ")");
    p->holdersKnown = complete;
}

// The port is opened for a moment, as no one else has it, and its driver asked for 7680
// baud; its settings are put back and nothing is written.
void AskDriver(Port* p) {
    if (!p->mayOpen || !p->holders.empty()) {
        p->driverProblem = !p->mayOpen ? "it cannot be opened" : "another program has it";
        return;
    }
    int fd = open(p->devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        p->driverProblem = std::strerror(errno);
        return;
    }
    uint32_t rate = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        p->driverProblem = "another program has it";
    } else if (!w32::line::TryRate(fd, 7680, &rate)) {
        p->driverProblem = "it is not a serial line";
    } else {
        p->driverRate = rate;
    }
    close(fd);
}

bool ProcessRunning(const std::string& name) {
    DIR* d = opendir(Roots().proc.c_str());
    if (d == nullptr) return false;
    bool found = false;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::ifstream in(Roots().proc + "/" + e->d_name + "/comm");
        std::string comm;
        std::getline(in, comm);
        if (comm == name) {
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

// brltty's rules for braille displays whose USB bridges share ids with common serial
// leads: the CH340 (1a86:7523) and the CP210x (10c4:ea60).
std::string BrlttyRuleFile() {
    for (const std::string& dir : Roots().udevRules) {
        DIR* d = opendir(dir.c_str());
        if (d == nullptr) continue;
        std::string found;
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.find("brltty") == std::string::npos) continue;
            std::ifstream in(dir + "/" + name);
            std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            if ((text.find("1a86") != std::string::npos &&
                 text.find("7523") != std::string::npos) ||
                (text.find("10c4") != std::string::npos &&
                 text.find("ea60") != std::string::npos)) {
                found = dir + "/" + name;
                break;
            }
        }
        closedir(d);
        if (!found.empty()) return found;
    }
    return "";
}

Port FromDevice(const w32::SerialDevice& d) {
    Port p;
    p.number = d.skipped.empty() ? d.number : 0;
    p.friendlyName = d.friendlyName;
    p.devicePath = d.devicePath;
    p.driver = d.driver;
    p.vendorId = d.vendorId;
    p.productId = d.productId;
    p.product = d.product;
    p.skipped = d.skipped;
    return p;
}

} // namespace

const Words& PlatformWords() {
    static const Words words = {
        " (QUORVEL_PORTS replaces the list, as it does for the dashboard)",
        "Then come the causes on this system that keep leads from working (brltty, "
        "ModemManager, the dialout group), with their fixes.",
        "COMn, or its device such as /dev/ttyUSB0", ports::kTextNoPortSeenLinux};
    return words;
}

PosixRoots& Roots() {
    static PosixRoots roots;
    return roots;
}

std::vector<Port> ListPorts(bool askDrivers) {
    std::vector<Port> ports;
    std::vector<w32::SerialDevice> devices = w32::SerialDevices(w32::CurrentDeviceTree());
    const char* named = std::getenv("QUORVEL_PORTS");
    if (named != nullptr && *named != '\0') {
        // The dashboard lists these devices in their place, and only them.
        for (const w32::PortEntry& e : w32::PresentPorts()) {
            Port p;
            p.number = e.number;
            p.friendlyName = e.friendlyName;
            p.devicePath = e.devicePath;
            for (const w32::SerialDevice& d : devices) {
                if (d.devicePath == e.devicePath) {
                    Port described = FromDevice(d);
                    described.number = e.number;
                    described.friendlyName = e.friendlyName;
                    described.skipped.clear();
                    p = described;
                }
            }
            ports.push_back(p);
        }
        for (const w32::SerialDevice& d : devices) {
            bool shown = std::any_of(ports.begin(), ports.end(),
                                     [&](const Port& p) { return p.devicePath == d.devicePath; });
            if (shown) continue;
            Port p = FromDevice(d);
            p.number = 0;
            if (p.skipped.empty()) p.skipped = "QUORVEL_PORTS names the devices to list instead";
            ports.push_back(p);
        }
    } else {
        for (const w32::SerialDevice& d : devices)
            ports.push_back(FromDevice(d));
    }
    // The dashboard's list keeps its entries in case-insensitive order; the devices it
    // leaves out come after.
    std::stable_sort(ports.begin(), ports.end(), [](const Port& a, const Port& b) {
        if ((a.number == 0) != (b.number == 0)) return a.number != 0;
        if (a.number == 0) return false;
        return strcasecmp(a.friendlyName.c_str(), b.friendlyName.c_str()) < 0;
    });
    for (Port& p : ports) {
        if (p.number == 0) continue;
        CheckAccess(&p);
        CheckHolders(&p);
        if (askDrivers) AskDriver(&p);
    }
    return ports;
}

std::vector<Finding> SystemFindings(const std::vector<Port>& ports) {
    std::vector<Finding> findings;
    std::string rule = BrlttyRuleFile();
    if (!rule.empty()) {
        findings.push_back(
            {texts::Format(ports::kTextBrltty, rule.c_str()),
             texts::Format(ports::kTextBrlttyFix, rule.substr(rule.rfind('/') + 1).c_str())});
    }
    if (ProcessRunning("ModemManager")) {
        findings.push_back(
            {texts::Text(ports::kTextModemManager), texts::Text(ports::kTextModemManagerFix)});
    }
    std::string user = UserName();
    for (const Port& p : ports) {
        if (p.number == 0 || p.mayOpen || p.group.empty()) continue;
        if (!p.serialGroup) {
            // Never the advice to join root's group: the device is given to dialout.
            const std::string device = p.devicePath.substr(p.devicePath.rfind('/') + 1);
            const std::string kind = device.substr(0, device.find_last_not_of("0123456789") + 1);
            findings.push_back(
                {texts::Format(ports::kTextNotASerialGroup, p.devicePath.c_str(), p.group.c_str()),
                 texts::Format(ports::kTextUdevRuleFix, (kind + "*").c_str(), user.c_str())});
        } else if (p.inGroupNotYet) {
            findings.push_back({texts::Format(ports::kTextGroupNotYet, p.group.c_str()),
                                texts::Format(ports::kTextGroupNotYetFix, p.group.c_str())});
        } else {
            findings.push_back(
                {texts::Format(ports::kTextNotInGroup, user.c_str(), p.group.c_str()),
                 texts::Format(ports::kTextNotInGroupFix, user.c_str(), p.group.c_str())});
        }
        break;
    }
    return findings;
}

} // namespace portinfo
