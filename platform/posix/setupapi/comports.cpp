// The serial devices of sysfs, and the store of their COM numbers.
#include "platform/posix/setupapi/comports.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace w32 {

namespace {

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
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

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/')); }

// The USB interface and device above a tty's device: ids, names, and the identity.
void DescribeUsb(const std::string& device, SerialDevice* d, std::string* legacyIdentity) {
    std::string dir = device;
    while (dir.size() > 1) {
        if (d->interfaceNumber < 0 && Exists(dir + "/bInterfaceNumber"))
            d->interfaceNumber = static_cast<int>(
                std::strtol(ReadLine(dir + "/bInterfaceNumber").c_str(), nullptr, 16));
        if (Exists(dir + "/idVendor") && Exists(dir + "/idProduct")) {
            d->usb = true;
            d->vendorId = ReadLine(dir + "/idVendor");
            d->productId = ReadLine(dir + "/idProduct");
            d->product = ReadLine(dir + "/product");
            d->manufacturer = ReadLine(dir + "/manufacturer");
            d->serial = ReadLine(dir + "/serial");
            std::string id = "usb:" + d->vendorId + ":" + d->productId;
            std::string iface = ":" + std::to_string(std::max(d->interfaceNumber, 0));
            std::string place = "@" + BaseName(dir);
            // Without a serial number the adapter's place on the bus names it, as on
            // Windows.
            std::string which = d->serial.empty() ? place : ":" + d->serial;
            *legacyIdentity = id + which;
            d->identity = *legacyIdentity + iface;
            d->serialIdentity = d->identity;
            d->placeIdentity = d->serial.empty() ? d->identity : id + which + place + iface;
            return;
        }
        dir = Parent(dir);
    }
}

std::string Escape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7F || c == '%') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool Unescape(const std::string& s, std::string* out) {
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            *out += s[i];
            continue;
        }
        if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            return false;
        }
        *out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
        i += 2;
    }
    return !out->empty();
}

bool MakeFolders(const std::string& dir) {
    std::string path;
    std::istringstream parts(dir);
    std::string part;
    if (!dir.empty() && dir[0] == '/') path = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty()) continue;
        path += part + "/";
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// The store is read, changed and written by one program at a time (the dashboard and
// quorvel-ports may list ports together): a lock file beside it, held while this lives.
// Without a folder that can hold it, the store goes unlocked.
class StoreLock {
  public:
    explicit StoreLock(const std::string& dir) {
        if (dir.empty() || !MakeFolders(dir)) return;
        fd_ = open((dir + "/comports.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) close(fd_); // the lock goes with it
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

  private:
    int fd_ = -1;
};

} // namespace

std::string NameWithoutCom(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper.find("COM") == std::string::npos ? name : "Serial port";
}

DeviceTree& CurrentDeviceTree() {
    static DeviceTree tree;
    return tree;
}

std::string DefaultConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg == '/') return std::string(xdg) + "/quorvel";
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') return std::string(home) + "/.config/quorvel";
    // Started by a service or with a cleared environment: the password database knows.
    const passwd* pw = getpwuid(getuid());
    if (pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/')
        return std::string(pw->pw_dir) + "/.config/quorvel";
    return "";
}

// The largest COM number the store keeps: \\.\COMn opens up to four digits. A port gets a
// number past 255 only when every one below is held for other ports, and it must read
// back as it was written.
constexpr long kLargestComNumber = 9999;

std::map<std::string, int> LoadComNumbers(const std::string& file) {
    std::map<std::string, int> numbers;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string number;
        std::string escaped;
        std::string extra;
        if (!(fields >> number >> escaped) || fields >> extra) continue;
        char* end = nullptr;
        long n = std::strtol(number.c_str(), &end, 10);
        std::string identity;
        if (*end != '\0' || n < 1 || n > kLargestComNumber || !Unescape(escaped, &identity))
            continue;
        numbers[identity] = static_cast<int>(n);
    }
    return numbers;
}

bool SaveComNumbers(const std::string& dir, const std::map<std::string, int>& numbers) {
    if (dir.empty() || !MakeFolders(dir)) return false;
    std::string file = dir + "/comports";
    // A temporary file of this program's own, put in the store's place whole.
    std::string temp = file + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    std::string text = "# COM numbers of serial ports, kept so that each port keeps its number\n";
    for (const auto& [identity, n] : numbers)
        text += std::to_string(n) + ' ' + Escape(identity) + '\n';
    bool written = fchmod(fd, 0644) == 0 &&
                   write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    written = close(fd) == 0 && written;
    if (!written || std::rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

std::vector<SerialDevice> SerialDevices(const DeviceTree& tree) {
    std::vector<SerialDevice> found;
    std::map<std::string, std::string> legacy; // identity before ports had their interface
    std::string classDir = tree.sysfs + "/class/tty";
    DIR* d = opendir(classDir.c_str());
    if (d == nullptr) return {};
    while (dirent* e = readdir(d)) {
        std::string tty = e->d_name;
        if (tty[0] == '.') continue;
        std::string base = classDir + "/" + tty;
        std::string device = RealPath(base + "/device");
        if (device.empty()) continue; // virtual terminals and ptys have no device
        SerialDevice s;
        s.tty = tty;
        s.devicePath = tree.dev + "/" + tty;
        s.driver = BaseName(RealPath(base + "/device/driver"));
        if (tty.rfind("ttyS", 0) == 0) {
            // A legacy UART slot with no hardware behind it reports type 0.
            if (ReadLine(base + "/type") == "0")
                s.skipped = "an on-board serial port slot with no UART behind it (type 0)";
            s.identity = tty;
        } else {
            std::string old;
            DescribeUsb(device, &s, &old);
            if (s.identity.empty()) s.identity = "dev:" + device;
            if (!old.empty()) legacy[s.identity] = old;
        }
        found.push_back(s);
    }
    closedir(d);
    std::sort(found.begin(), found.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.tty < b.tty; });

    // Leads that share a serial number are named by their place on the bus too; the one
    // that had the serial number's COM number keeps it.
    std::map<std::string, int> sharing;
    for (const SerialDevice& s : found)
        ++sharing[s.identity];
    std::map<std::string, std::string> sharedSerial; // identity by place -> by serial
    for (SerialDevice& s : found) {
        if (s.placeIdentity.empty() || s.placeIdentity == s.identity || sharing[s.identity] < 2)
            continue;
        sharedSerial[s.placeIdentity] = s.identity;
        s.identity = s.placeIdentity;
    }

    // Numbers of on-board ports are fixed (ttySk is COM(k+1)); other ports keep the
    // number they were given first, and a new one takes the lowest free number from 3.
    std::string dir = tree.config.empty() ? DefaultConfigDir() : tree.config;
    StoreLock lock(dir);
    std::map<std::string, int> numbers =
        dir.empty() ? std::map<std::string, int>{} : LoadComNumbers(dir + "/comports");
    std::set<int> taken;
    for (SerialDevice& s : found) {
        if (s.skipped.empty() && s.tty.rfind("ttyS", 0) == 0) {
            s.number = std::atoi(s.tty.c_str() + 4) + 1;
            taken.insert(s.number);
        }
    }
    bool changed = false;
    for (SerialDevice& s : found) {
        if (!s.skipped.empty()) continue;
        if (s.number == 0) {
            auto known = numbers.find(s.identity);
            auto old = legacy.find(s.identity);
            if (known == numbers.end() && old != legacy.end() && numbers.count(old->second) != 0) {
                // Stored before ports were told apart by interface: the number stays.
                numbers[s.identity] = numbers[old->second];
                numbers.erase(old->second);
                known = numbers.find(s.identity);
                changed = true;
            }
            auto shared = sharedSerial.find(s.identity);
            if (known == numbers.end() && shared != sharedSerial.end()) {
                auto bySerial = numbers.find(shared->second);
                if (bySerial != numbers.end() && taken.count(bySerial->second) == 0) {
                    numbers[s.identity] = bySerial->second;
                    known = numbers.find(s.identity);
                    changed = true;
                }
            }
            if (known != numbers.end() && taken.count(known->second) == 0) {
                s.number = known->second;
            } else {
                std::set<int> used = taken;
                for (const auto& [identity, n] : numbers) {
                    if (identity != s.identity) used.insert(n);
                }
                int n = 3;
                while (used.count(n) != 0)
                    ++n;
                s.number = n;
                numbers[s.identity] = n;
                changed = true;
            }
        }
        taken.insert(s.number);
        bool onBoard = s.tty.rfind("ttyS", 0) == 0;
        s.friendlyName = (onBoard || s.product.empty() ? std::string("Communications Port")
                                                       : NameWithoutCom(s.product)) +
                         " (COM" + std::to_string(s.number) + ")";
    }
    if (changed) SaveComNumbers(dir, numbers);
    return found;
}

} // namespace w32
