#include "gadget.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lead {

namespace {

const char kGadgets[] = "/sys/kernel/config/usb_gadget";

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.flush();
    return static_cast<bool>(out);
}

std::string Hex(unsigned v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", v);
    return text;
}

void Put16(std::vector<uint8_t>* b, unsigned v) {
    b->push_back(static_cast<uint8_t>(v));
    b->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>* b, unsigned v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// The interface and its endpoints at one speed, in the chip's order: ep1, ep2, ...
std::vector<uint8_t> Interface(const Chip& chip, bool highSpeed) {
    std::vector<uint8_t> d = {
        9, USB_DT_INTERFACE, 0, 0, static_cast<uint8_t>(chip.endpoints.size()), 0xFF, 0x00, 0x00,
        1};
    uint8_t number = 1;
    for (Endpoint e : chip.endpoints) {
        bool in = e != Endpoint::BulkOut;
        bool bulk = e != Endpoint::InterruptIn;
        d.insert(d.end(),
                 {7, USB_DT_ENDPOINT, static_cast<uint8_t>(number++ | (in ? 0x80 : 0)),
                  static_cast<uint8_t>(bulk ? USB_ENDPOINT_XFER_BULK : USB_ENDPOINT_XFER_INT)});
        Put16(&d, bulk ? (highSpeed ? 512 : 64) : 16);
        d.push_back(bulk ? 0 : (highSpeed ? 4 : 1));
    }
    return d;
}

std::vector<uint8_t> Descriptors(const Chip& chip) {
    std::vector<uint8_t> fs = Interface(chip, false);
    std::vector<uint8_t> hs = Interface(chip, true);
    const unsigned count = 1 + static_cast<unsigned>(chip.endpoints.size());
    std::vector<uint8_t> d;
    Put32(&d, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(&d, 0); // the length, below
    Put32(&d, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC | FUNCTIONFS_ALL_CTRL_RECIP);
    Put32(&d, count);
    Put32(&d, count);
    d.insert(d.end(), fs.begin(), fs.end());
    d.insert(d.end(), hs.begin(), hs.end());
    const auto length = static_cast<unsigned>(d.size());
    for (int i = 0; i < 4; ++i)
        d[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    return d;
}

std::vector<uint8_t> Strings() {
    const char text[] = "Serial";
    std::vector<uint8_t> d;
    Put32(&d, FUNCTIONFS_STRINGS_MAGIC);
    Put32(&d, 0);
    Put32(&d, 1); // strings
    Put32(&d, 1); // languages
    Put16(&d, 0x0409);
    d.insert(d.end(), text, text + sizeof text);
    const auto length = static_cast<unsigned>(d.size());
    for (int i = 0; i < 4; ++i)
        d[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    return d;
}

// The first controller of the gadget side (dummy_udc.0).
std::string FirstUdc() {
    DIR* d = opendir("/sys/class/udc");
    if (d == nullptr) return "";
    std::string name;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.' && (name.empty() || std::strcmp(e->d_name, name.c_str()) < 0))
            name = e->d_name;
    }
    closedir(d);
    return name;
}

} // namespace

Gadget::Gadget(Chip& chip, std::string serial, HostBytes onHostBytes, Changed onChanged)
    : chip_(chip), serial_(std::move(serial)), onHostBytes_(std::move(onHostBytes)),
      onChanged_(std::move(onChanged)) {}

Gadget::~Gadget() { Teardown(); }

bool Gadget::Start(std::string* problem) {
    udc_ = FirstUdc();
    if (udc_.empty()) {
        *problem = "no USB device controller (is dummy_hcd loaded?)";
        return false;
    }
    config_ = std::string(kGadgets) + "/quorvel-" + chip_.name;
    mount_ = "/tmp/quorvel-ffs-" + chip_.name;
    const std::string g = config_;
    bool made =
        mkdir(g.c_str(), 0755) == 0 && WriteFile(g + "/idVendor", Hex(chip_.vendor)) &&
        WriteFile(g + "/idProduct", Hex(chip_.product)) &&
        WriteFile(g + "/bcdDevice", Hex(chip_.bcdDevice)) &&
        WriteFile(g + "/bDeviceClass", Hex(chip_.deviceClass)) &&
        mkdir((g + "/strings/0x409").c_str(), 0755) == 0 &&
        WriteFile(g + "/strings/0x409/serialnumber", serial_) &&
        WriteFile(g + "/strings/0x409/manufacturer", "Quorvel tests") &&
        WriteFile(g + "/strings/0x409/product", chip_.productString) &&
        mkdir((g + "/configs/c.1").c_str(), 0755) == 0 &&
        mkdir((g + "/functions/ffs.lead").c_str(), 0755) == 0 &&
        symlink((g + "/functions/ffs.lead").c_str(), (g + "/configs/c.1/ffs.lead").c_str()) == 0;
    if (!made) {
        *problem = "cannot make the gadget in " + g + ": " + std::strerror(errno);
        return false;
    }
    mkdir(mount_.c_str(), 0755);
    if (mount("lead", mount_.c_str(), "functionfs", 0, nullptr) != 0) {
        *problem = "cannot mount FunctionFS on " + mount_ + ": " + std::strerror(errno);
        return false;
    }
    ep0_ = open((mount_ + "/ep0").c_str(), O_RDWR);
    std::vector<uint8_t> descriptors = Descriptors(chip_);
    std::vector<uint8_t> strings = Strings();
    if (ep0_ < 0 ||
        write(ep0_, descriptors.data(), descriptors.size()) !=
            static_cast<ssize_t>(descriptors.size()) ||
        write(ep0_, strings.data(), strings.size()) != static_cast<ssize_t>(strings.size())) {
        *problem = "FunctionFS took no descriptors: " + std::string(std::strerror(errno));
        return false;
    }
    for (size_t i = 0; i < chip_.endpoints.size(); ++i) {
        int fd = open((mount_ + "/ep" + std::to_string(i + 1)).c_str(), O_RDWR);
        eps_.push_back(fd);
        if (chip_.endpoints[i] == Endpoint::BulkIn) in_ = fd;
        if (chip_.endpoints[i] == Endpoint::BulkOut) out_ = fd;
    }
    if (in_ < 0 || out_ < 0) {
        *problem = "no bulk endpoints";
        return false;
    }
    threads_.emplace_back([this] { Ep0Loop(); });
    threads_.emplace_back([this] { ReadLoop(); });
    threads_.emplace_back([this] { WriteLoop(); });
    Plug();
    return true;
}

void Gadget::Plug() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++plugs_;
    }
    WriteFile(config_ + "/UDC", udc_);
}

void Gadget::Unplug() {
    WriteFile(config_ + "/UDC", "\n");
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = false;
    outgoing_.clear();
}

void Gadget::Send(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!enabled_) return;
    outgoing_.push_back(chip_.Frame(bytes));
    wake_.notify_all();
}

void Gadget::SlowNextRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++slowRequests_;
}

bool Gadget::Enabled() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return enabled_ || stopping_; });
    return !stopping_;
}

// Control requests, answered as the chip answers them; a request the chip does not know
// is stalled, as a chip stalls it.
void Gadget::Ep0Loop() {
    usb_functionfs_event events[4];
    for (;;) {
        ssize_t n = read(ep0_, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof events[0]); ++i) {
            const usb_functionfs_event& e = events[i];
            if (e.type == FUNCTIONFS_ENABLE || e.type == FUNCTIONFS_DISABLE ||
                e.type == FUNCTIONFS_UNBIND) {
                std::lock_guard<std::mutex> lock(mutex_);
                enabled_ = e.type == FUNCTIONFS_ENABLE;
                if (!enabled_) outgoing_.clear();
                wake_.notify_all();
                continue;
            }
            if (e.type != FUNCTIONFS_SETUP) continue;
            Setup s{e.u.setup.bRequestType, e.u.setup.bRequest, e.u.setup.wValue, e.u.setup.wIndex,
                    e.u.setup.wLength};
            bool deaf = false;
            bool slow = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                deaf = plugs_ <= deafPlugs_;
                slow = slowRequests_ > 0;
                if (slow) --slowRequests_;
            }
            if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            if (deaf || slow) {
                // Refused (a stall: the wrong way round), so that the driver's probe fails
                // as it does when its requests time out, and the next plug starts afresh.
                if (s.In()) {
                    (void)!read(ep0_, nullptr, 0);
                } else {
                    (void)!write(ep0_, nullptr, 0);
                }
                continue;
            }
            if (s.In()) {
                Reply r = chip_.Handle(s, {});
                if (r.stall) {
                    (void)!read(ep0_, nullptr, 0); // the wrong way round: a stall
                } else {
                    (void)!write(ep0_, r.data.data(), r.data.size());
                }
            } else {
                std::vector<uint8_t> data(s.length);
                ssize_t got = read(ep0_, data.data(), data.size());
                data.resize(got > 0 ? static_cast<size_t>(got) : 0);
                chip_.Handle(s, data);
            }
            onChanged_();
        }
    }
}

void Gadget::ReadLoop() {
    std::vector<uint8_t> buffer(512);
    while (Enabled()) {
        ssize_t n = read(out_, buffer.data(), buffer.size());
        if (n > 0) {
            onHostBytes_(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // unplugged meanwhile
        }
    }
}

void Gadget::WriteLoop() {
    for (;;) {
        std::vector<uint8_t> bytes;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || (enabled_ && !outgoing_.empty()); });
            if (stopping_) return;
            bytes = std::move(outgoing_.front());
            outgoing_.pop_front();
        }
        (void)!write(in_, bytes.data(), bytes.size());
    }
}

void Gadget::Teardown() {
    if (config_.empty()) return;
    WriteFile(config_ + "/UDC", "\n");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
    }
    for (int fd : eps_)
        if (fd >= 0) close(fd);
    if (ep0_ >= 0) close(ep0_);
    for (std::thread& t : threads_)
        t.detach(); // blocked in the endpoints' reads until the process ends
    umount2(mount_.c_str(), MNT_DETACH);
    rmdir(mount_.c_str());
    unlink((config_ + "/configs/c.1/ffs.lead").c_str());
    rmdir((config_ + "/configs/c.1").c_str());
    rmdir((config_ + "/functions/ffs.lead").c_str());
    rmdir((config_ + "/strings/0x409").c_str());
    rmdir(config_.c_str());
    config_.clear();
}

} // namespace lead
