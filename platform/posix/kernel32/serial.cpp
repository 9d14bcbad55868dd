// Serial ports opened by name (\\.\COMn), read and written with Win32's meaning: the
// time-outs of COMMTIMEOUTS, a rate the driver rounds, a device that goes away, a port
// another process holds. What is behind a port (a tty, a scripted line) is a Device.
#include "platform/posix/kernel32/serial.h"

#include "platform/posix/kernel32/holders.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace w32 {

namespace {

struct Port {
    bool open = true;
    bool gone = false; // the device went away: every call fails at once
    DWORD goneCode = ERROR_GEN_FAILURE;
    std::string goneText;
    std::unique_ptr<Device> device;
    std::shared_ptr<ScriptedLine> line; // a scripted port's line
    dev_t rdev = 0;                     // a tty port's device number
    COMMTIMEOUTS timeouts{};
    DCB dcb{};
};

constexpr uintptr_t kPortBase = 0x700000;
constexpr uintptr_t kPortStep = 0x10;
std::vector<Port> ports;

Port* FindPort(HANDLE h) {
    auto v = reinterpret_cast<uintptr_t>(h);
    if (v < kPortBase || (v - kPortBase) % kPortStep != 0) return nullptr;
    size_t index = (v - kPortBase) / kPortStep;
    return index < ports.size() && ports[index].open ? &ports[index] : nullptr;
}

// The port behind a handle, or null with the error set: ERROR_INVALID_HANDLE (also when
// the record the call needs is missing), or the error of a device that has gone away.
Port* Held(HANDLE h, const void* record = "") {
    Port* p = FindPort(h);
    if (p == nullptr || record == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (p->gone) {
        SetLastErrorWithText(p->goneCode, p->goneText);
        return nullptr;
    }
    return p;
}

// Windows fails every call on a port whose adapter was pulled out, at once, with the
// error its driver gives (ERROR_GEN_FAILURE here; some give ERROR_ACCESS_DENIED).
void MarkGone(Port& p) {
    p.gone = true;
    p.goneCode = p.device->goneCode;
    std::string cause = p.device->goneError != 0 ? std::strerror(p.device->goneError) : "";
    p.goneText = "A device attached to the system is not functioning: the serial port's "
                 "device has gone away (unplugged or hung up" +
                 (cause.empty() ? std::string() : ": " + cause) + ").";
    SetLastErrorWithText(p.goneCode, p.goneText);
}

// "\\.\COMn" (any case) gives n; anything else gives 0.
int PortNumber(const char* name) {
    if (name == nullptr || std::strncmp(name, "\\\\.\\", 4) != 0) return 0;
    const char* p = name + 4;
    if (strncasecmp(p, "COM", 3) != 0) return 0;
    p += 3;
    int n = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
        if (++digits > 4) return 0;
        n = n * 10 + (*p++ - '0');
    }
    return *p == '\0' ? n : 0;
}

LineSettings FromDcb(const DCB& d) {
    LineSettings s;
    s.baud = d.BaudRate;
    s.dataBits = d.ByteSize;
    s.parity = d.Parity == ODDPARITY ? 'O' : d.Parity == EVENPARITY ? 'E' : 'N';
    s.stopBits = d.StopBits == TWOSTOPBITS ? 2 : 1;
    s.rtsCts = d.fOutxCtsFlow != 0 || d.fRtsControl == RTS_CONTROL_HANDSHAKE;
    s.xonXoffOut = d.fOutX != 0;
    s.xonXoffIn = d.fInX != 0;
    s.dtr = d.fDtrControl == DTR_CONTROL_ENABLE;
    s.rts = d.fRtsControl == RTS_CONTROL_ENABLE;
    return s;
}

// A wait of this many ms or more is a wait for ever.
constexpr uint64_t kForever = uint64_t{1} << 62;

// How a read of count bytes ends, as COMMTIMEOUTS defines it.
struct ReadPlan {
    bool immediate = false;     // return at once with what is there
    bool firstByteOnly = false; // return as soon as anything is there
    uint64_t total = 0;         // ms for the whole read; 0 for no limit
    uint64_t interval = 0;      // ms between two bytes; 0 for no limit
};

ReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD count) {
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
        plan.immediate = true;
        return plan;
    }
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
        plan.total = t.ReadTotalTimeoutConstant;
        plan.firstByteOnly = true;
        return plan;
    }
    // In 64 bits: MAXDWORD times a count overflows 32 (and an int of ms long before).
    plan.total = uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
    plan.interval = t.ReadIntervalTimeout;
    return plan;
}

int64_t Deadline(uint64_t from, uint64_t ms) {
    return ms == 0 || ms >= kForever ? -1 : static_cast<int64_t>(from + ms);
}

int64_t Earlier(int64_t a, int64_t b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

// The whole read: its bytes, or false for a device that went away.
bool ReadPort(Port& p, uint8_t* out, DWORD count, DWORD* got) {
    Device& d = *p.device;
    ReadPlan plan = PlanRead(p.timeouts, count);
    const uint64_t start = d.Now();
    const int64_t totalDeadline =
        plan.immediate ? static_cast<int64_t>(start) : Deadline(start, plan.total);
    uint64_t lastByte = start;
    *got = 0;
    while (*got < count) {
        long n = d.ReadAvailable(out + *got, count - *got);
        if (n < 0) return false;
        if (n > 0) {
            *got += static_cast<DWORD>(n);
            lastByte = d.Now();
            if (plan.firstByteOnly) break;
            continue;
        }
        if (plan.immediate) break;
        int64_t deadline = totalDeadline;
        if (*got > 0) deadline = Earlier(deadline, Deadline(lastByte, plan.interval));
        ShowDrawing();
        Device::Wait w = d.WaitReadable(deadline);
        if (w == Device::Wait::Gone) return false;
        if (w == Device::Wait::TimedOut) break;
    }
    return true;
}

// The whole write, bounded by the write time-outs (none when both are 0).
bool WritePort(Port& p, const uint8_t* bytes, DWORD count, DWORD* done) {
    Device& d = *p.device;
    uint64_t total = uint64_t{p.timeouts.WriteTotalTimeoutMultiplier} * count +
                     p.timeouts.WriteTotalTimeoutConstant;
    const int64_t deadline = Deadline(d.Now(), total);
    *done = 0;
    while (*done < count) {
        long n = d.WriteSome(bytes + *done, count - *done);
        if (n < 0) return false;
        *done += static_cast<DWORD>(n);
        if (*done == count) break;
        ShowDrawing();
        Device::Wait w = d.WaitWritable(deadline);
        if (w == Device::Wait::Gone) return false;
        if (w == Device::Wait::TimedOut) break;
    }
    return true;
}

// A tty of the device tree is found again at every open, by what names it: an adapter
// pulled out and plugged back in is another /dev/ttyUSBn, and the same COMn.
// A lead listed when it shared its serial number with another is found by its place on
// the bus once it is alone; one listed alone, by its COM number once another shares it.
std::string DeviceNow(const PortEntry& entry) {
    if (entry.identity.empty()) return entry.devicePath;
    std::vector<SerialDevice> devices = SerialDevices(CurrentDeviceTree());
    for (const SerialDevice& s : devices) {
        if (s.skipped.empty() &&
            (s.identity == entry.identity || s.placeIdentity == entry.identity))
            return s.devicePath;
    }
    for (const SerialDevice& s : devices) {
        if (s.skipped.empty() && s.number == entry.number && s.serialIdentity == entry.identity)
            return s.devicePath;
    }
    return "";
}

HANDLE Refuse(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenTty(const std::string& path, Port* port) {
    if (path.empty()) return Refuse(ERROR_FILE_NOT_FOUND);
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (!isatty(fd) || fstat(fd, &st) != 0) {
        close(fd);
        return Refuse(ERROR_FILE_NOT_FOUND);
    }
    for (const Port& p : ports) {
        if (p.open && !p.line && p.rdev == st.st_rdev) {
            close(fd);
            return Refuse(ERROR_ACCESS_DENIED);
        }
    }
    // Another process that has the device open (a terminal program, ModemManager
    // probing it) would split the bytes with us: Windows refuses such a port.
    std::vector<Holder> holders = ProcessesHolding(path);
    if (!holders.empty()) {
        close(fd);
        SetLastErrorWithText(ERROR_ACCESS_DENIED, "Access is denied: the port is in use by " +
                                                      DescribeHolders(holders) + ".");
        return INVALID_HANDLE_VALUE;
    }
    // Later openers are kept out too, and other Quorvels even as root. A holder the scan
    // could not see (another user's program) is named as such.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        close(fd);
        if (e == EWOULDBLOCK) {
            SetLastErrorWithText(ERROR_ACCESS_DENIED,
                                 "Access is denied: the port is in use by another program.");
        } else {
            SetLastErrorFromErrno(e);
        }
        return INVALID_HANDLE_VALUE;
    }
    ioctl(fd, TIOCEXCL);
    line::AskLowLatency(fd);
    port->rdev = st.st_rdev;
    port->device = TtyDevice(fd);
    return nullptr;
}

} // namespace

bool RateCloseEnough(uint32_t asked, uint32_t reported) {
    uint64_t difference = asked > reported ? asked - reported : reported - asked;
    return difference * 50 <= asked; // 2%
}

void SetLastErrorFromErrno(int error) {
    DWORD code = ERROR_GEN_FAILURE;
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        code = ERROR_FILE_NOT_FOUND;
        break;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        code = ERROR_ACCESS_DENIED;
        break;
    default:
        break;
    }
    SetLastErrorWithText(code, std::strerror(error));
}

} // namespace w32

using namespace w32;

// Opens the port that the port list mapped to COMn, for this process alone.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    W32_REQUIRE(access == (GENERIC_READ | GENERIC_WRITE) && share == 0 && security == nullptr &&
                    disposition == OPEN_EXISTING && (flags & FILE_FLAG_OVERLAPPED) == 0 &&
                    templateFile == nullptr,
                "anything but an exclusive, synchronous open of an existing serial port",
                INVALID_HANDLE_VALUE);
    int number = PortNumber(name);
    const PortEntry* entry = nullptr;
    for (const PortEntry& p : ListedPorts()) {
        if (number != 0 && p.number == number) entry = &p;
    }
    // Only the ports of the list can be opened: no path from a device's name can reach
    // an arbitrary file.
    if (entry == nullptr) return Refuse(ERROR_FILE_NOT_FOUND);
    Port port;
    port.dcb.DCBlength = sizeof(DCB);
    port.dcb.fBinary = 1;
    port.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    port.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (entry->line) {
        // Found again behind its number at every open, as a re-plugged lead is.
        std::shared_ptr<ScriptedLine> line = ScriptedLineNow(*entry);
        if (line->pulledOut) return Refuse(ERROR_FILE_NOT_FOUND);
        if (line->refuseOpen) return Refuse(line->refuseError);
        for (const Port& p : ports) {
            if (p.open && p.line == line) return Refuse(ERROR_ACCESS_DENIED);
        }
        port.line = line;
        port.device = ScriptedDeviceFor(line);
    } else if (OpenTty(DeviceNow(*entry), &port) == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }
    LineSettings current;
    if (port.device->Current(&current)) port.dcb.BaudRate = current.baud;
    // A closed port's place is taken again, as Windows reuses handle values: a program
    // that opens and closes its port for hours (a lead pulled out, an ECU asleep) holds
    // no more records than ports open at once.
    auto free = std::find_if(ports.begin(), ports.end(), [](const Port& p) { return !p.open; });
    if (free == ports.end()) free = ports.insert(ports.end(), Port{});
    *free = std::move(port);
    return reinterpret_cast<HANDLE>(kPortBase +
                                    kPortStep * static_cast<uintptr_t>(free - ports.begin()));
}

BOOL CloseHandle(HANDLE handle) {
    Port* p = FindPort(handle);
    if (p == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    p->device->Closed();
    p->device.reset();
    p->line.reset();
    p->open = false;
    return TRUE;
}

// The rate asked is reported while the driver runs near it, as Windows reports it.
BOOL GetCommState(HANDLE file, LPDCB dcb) {
    Port* p = Held(file, dcb);
    if (p == nullptr) return FALSE;
    LineSettings s;
    if (!p->device->Current(&s)) {
        if (p->device->goneError != 0) {
            MarkGone(*p);
        } else {
            SetLastErrorFromErrno(errno);
        }
        return FALSE;
    }
    *dcb = p->dcb;
    if (!RateCloseEnough(p->dcb.BaudRate, s.baud)) dcb->BaudRate = s.baud;
    dcb->ByteSize = static_cast<BYTE>(s.dataBits);
    dcb->Parity = s.parity == 'O' ? ODDPARITY : s.parity == 'E' ? EVENPARITY : NOPARITY;
    dcb->StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb->fOutX = s.xonXoffOut ? 1 : 0;
    dcb->fInX = s.xonXoffIn ? 1 : 0;
    dcb->fOutxCtsFlow = s.rtsCts ? 1 : 0;
    dcb->fBinary = 1;
    return TRUE;
}

// All of the record or none of it. A rate the driver rounds by 2% or less is taken
// (a PL2303 runs 7692 for 7680); further off (a CP2102's 9600), the line goes back to
// what it was and the call fails, naming the rate the driver offered. The modem lines
// always follow the record in force.
BOOL SetCommState(HANDLE file, LPDCB dcb) {
    Port* p = Held(file, dcb);
    if (p == nullptr) return FALSE;
    if (dcb->BaudRate == 0 || dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->Parity > EVENPARITY ||
        (dcb->StopBits != ONESTOPBIT && dcb->StopBits != TWOSTOPBITS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dcb->fOutxDsrFlow != 0 || dcb->fDsrSensitivity != 0 ||
        dcb->fDtrControl == DTR_CONTROL_HANDSHAKE || dcb->fRtsControl == RTS_CONTROL_TOGGLE) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    Device& d = *p->device;
    LineSettings before;
    bool known = d.Current(&before);
    LineSettings s = FromDcb(*dcb);
    uint32_t rate = 0;
    bool applied = d.Apply(s, &rate);
    if (applied && RateCloseEnough(s.baud, rate)) {
        d.SetModemLines(s.dtr, s.rts);
        p->dcb = *dcb;
        return TRUE;
    }
    if (!applied && d.goneError != 0) {
        MarkGone(*p);
        return FALSE;
    }

    uint32_t ignored = 0;
    if (known) d.Apply(before, &ignored);
    LineSettings kept = FromDcb(p->dcb);
    d.SetModemLines(kept.dtr, kept.rts);
    if (applied) {
        SetLastErrorWithText(ERROR_INVALID_PARAMETER,
                             "The parameter is incorrect: the adapter's driver offers " +
                                 std::to_string(rate) + " baud instead of " +
                                 std::to_string(s.baud) + ".");
    } else if (d.refusalCode != 0) {
        // A driver that refuses with an error of its own (a CDC lead's firmware).
        SetLastErrorWithText(d.refusalCode, "The adapter's driver refused the settings.");
    } else {
        SetLastErrorWithText(ERROR_INVALID_PARAMETER,
                             "The parameter is incorrect: the adapter's driver refused the "
                             "settings.");
    }
    return FALSE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    Port* p = Held(file, timeouts);
    if (p == nullptr) return FALSE;
    *timeouts = p->timeouts;
    return TRUE;
}

// The one combination Windows' serial driver refuses: every read value MAXDWORD.
BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    Port* p = Held(file, timeouts);
    if (p == nullptr) return FALSE;
    if (timeouts->ReadIntervalTimeout == MAXDWORD &&
        timeouts->ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts->ReadTotalTimeoutConstant == MAXDWORD) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    p->timeouts = *timeouts;
    return TRUE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    Port* p = Held(file);
    if (p == nullptr) return FALSE;
    W32_REQUIRE((flags & ~static_cast<DWORD>(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR |
                                             PURGE_RXCLEAR)) == 0,
                "purge flags", FALSE);
    // Reads and writes are synchronous here, so there is never one to abort.
    if ((flags & PURGE_RXCLEAR) != 0) p->device->DropInput();
    if ((flags & PURGE_TXCLEAR) != 0) p->device->DropOutput();
    return TRUE;
}

// A write time-out ends the write with what went out, and that is success, as on
// Windows; a device that went away fails it at once.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    W32_REQUIRE(overlapped == nullptr, "overlapped writes", FALSE);
    if (written != nullptr) *written = 0;
    Port* p = Held(file);
    if (p == nullptr) return FALSE;
    DWORD done = 0;
    bool ok = WritePort(*p, static_cast<const uint8_t*>(buffer), count, &done);
    if (written != nullptr) *written = done;
    if (!ok) MarkGone(*p);
    return ok ? TRUE : FALSE;
}

// A read time-out ends the read with what came, and that is success, as on Windows.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
    W32_REQUIRE(overlapped == nullptr, "overlapped reads", FALSE);
    if (read != nullptr) *read = 0;
    Port* p = Held(file);
    if (p == nullptr) return FALSE;
    DWORD got = 0;
    bool ok = ReadPort(*p, static_cast<uint8_t*>(buffer), count, &got);
    p->device->ReadEnded(got);
    if (read != nullptr) *read = got;
    if (!ok) MarkGone(*p);
    return ok ? TRUE : FALSE;
}

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list*) {
    W32_REQUIRE((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 && source == nullptr,
                "messages from anywhere but the system", 0);
    const char* text = nullptr;
    if (messageId == GetLastError() && !LastErrorText().empty()) {
        text = LastErrorText().c_str(); // the system's own words for what happened
    } else {
        switch (messageId) {
        case ERROR_FILE_NOT_FOUND:
            text = "The system cannot find the file specified.";
            break;
        case ERROR_ACCESS_DENIED:
            text = "Access is denied.";
            break;
        case ERROR_INVALID_HANDLE:
            text = "The handle is invalid.";
            break;
        case ERROR_GEN_FAILURE:
            text = "A device attached to the system is not functioning.";
            break;
        case ERROR_NOT_SUPPORTED:
            text = "The request is not supported.";
            break;
        case ERROR_INVALID_PARAMETER:
            text = "The parameter is incorrect.";
            break;
        case ERROR_INVALID_NAME:
            text = "The filename, directory name, or volume label syntax is incorrect.";
            break;
        default:
            break;
        }
    }
    if (text == nullptr) {
        SetLastError(317); // ERROR_MR_MID_NOT_FOUND
        return 0;
    }
    size_t length = std::strlen(text);
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        W32_REQUIRE(buffer != nullptr, "no place for the allocated text", 0);
        auto* copy = static_cast<char*>(LocalAlloc(LMEM_FIXED, std::max<size_t>(length + 1, size)));
        if (copy == nullptr) return 0;
        std::memcpy(copy, text, length + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return static_cast<DWORD>(length);
    }
    if (buffer == nullptr || size <= length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
