// Serial ports opened by name (\\.\COMn), read and written with Win32's semantics.
#include "serial.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace w32 {

namespace {

struct Port {
    bool open = true;
    int fd = -1;
    std::shared_ptr<ScriptedLine> line;
    COMMTIMEOUTS timeouts{};
    DCB dcb{};
};

constexpr uintptr_t kPortBase = 0x700000;
constexpr uintptr_t kPortStep = 0x10;
std::vector<Port> ports;

int lastErrno = 0;
DWORD lastErrnoCode = 0;

Port* FindPort(HANDLE h) {
    auto v = reinterpret_cast<uintptr_t>(h);
    if (v < kPortBase || (v - kPortBase) % kPortStep != 0) return nullptr;
    size_t index = (v - kPortBase) / kPortStep;
    return index < ports.size() && ports[index].open ? &ports[index] : nullptr;
}

// The port behind a handle, or null with ERROR_INVALID_HANDLE set (also when the
// record the call needs is missing).
Port* Held(HANDLE h, const void* record = "") {
    Port* p = FindPort(h);
    if (p == nullptr || record == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return p;
}

uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
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

// Total and interval time-outs of a read of count bytes, as COMMTIMEOUTS defines them.
struct ReadPlan {
    bool immediate = false; // return at once with what is there
    int64_t total = -1;     // ms for the whole read; -1 for none
    int64_t interval = -1;  // ms between two bytes; -1 for none
    bool firstByteOnly = false;
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
    uint64_t total =
        static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
    if (total != 0) plan.total = static_cast<int64_t>(total);
    if (t.ReadIntervalTimeout != 0) plan.interval = t.ReadIntervalTimeout;
    return plan;
}

DWORD ReadDevice(Port& p, uint8_t* out, DWORD count, bool* failed) {
    ReadPlan plan = PlanRead(p.timeouts, count);
    uint64_t start = MonotonicMs();
    uint64_t lastByte = 0;
    DWORD got = 0;
    while (got < count) {
        int wait = -1;
        uint64_t now = MonotonicMs();
        if (plan.immediate) wait = 0;
        if (plan.total >= 0) {
            int64_t left = plan.total - static_cast<int64_t>(now - start);
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        if (plan.interval >= 0 && got > 0) {
            int64_t left = plan.interval - static_cast<int64_t>(now - lastByte);
            int w = left > 0 ? static_cast<int>(left) : 0;
            wait = wait < 0 ? w : std::min(wait, w);
        }
        pollfd pfd{p.fd, POLLIN, 0};
        int n = poll(&pfd, 1, wait);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *failed = true;
            SetLastErrorFromErrno(errno);
            break;
        }
        if (n == 0) break; // a time-out ends the read with what it has
        ssize_t r = read(p.fd, out + got, count - got);
        if (r < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (r <= 0) {
            // The device went away (an adapter pulled out) or hung up.
            *failed = true;
            SetLastErrorFromErrno(r < 0 ? errno : EIO);
            // Do not spin on a dead line: wait out the time-out as a silent line would.
            if (plan.total > 0) {
                int64_t left = plan.total - static_cast<int64_t>(MonotonicMs() - start);
                if (left > 0) poll(nullptr, 0, static_cast<int>(left));
            }
            break;
        }
        got += static_cast<DWORD>(r);
        lastByte = MonotonicMs();
        if (plan.immediate || plan.firstByteOnly) break;
    }
    return got;
}

void Record(ScriptedLine& line, ScriptedLine::Event::Kind kind, uint8_t byte = 0) {
    if (line.keepEvents)
        line.events.push_back(ScriptedLine::Event{kind, CurrentBackend().Now(), line.Baud(), byte});
}

} // namespace

void ScriptedLine::Deliver(uint8_t byte, uint64_t delayMs) {
    uint64_t at = CurrentBackend().Now() + delayMs;
    if (!incoming_.empty() && incoming_.back().at > at) at = incoming_.back().at;
    incoming_.push_back(Pending{at, byte});
}

std::vector<uint8_t> ScriptedLine::Written() const {
    std::vector<uint8_t> bytes;
    for (const Event& e : events) {
        if (e.kind == Event::Write) bytes.push_back(e.byte);
    }
    return bytes;
}

// The bytes that have arrived are read at once; otherwise the read waits on the
// program's clock for the next arrival or its time-out, whichever comes first.
DWORD ReadScripted(ScriptedLine& line, uint8_t* out, DWORD count, const COMMTIMEOUTS& timeouts) {
    Backend& clock = CurrentBackend();
    ReadPlan plan = PlanRead(timeouts, count);
    uint64_t start = clock.Now();
    DWORD got = 0;
    while (got < count) {
        uint64_t now = clock.Now();
        if (!line.incoming_.empty() && line.incoming_.front().at <= now) {
            out[got++] = line.incoming_.front().byte;
            line.incoming_.pop_front();
            if (plan.firstByteOnly) break;
            continue;
        }
        if (plan.immediate) break;
        int64_t deadline = plan.total >= 0 ? static_cast<int64_t>(start) + plan.total : -1;
        if (!line.incoming_.empty() &&
            (deadline < 0 || static_cast<int64_t>(line.incoming_.front().at) <= deadline)) {
            clock.Sleep(line.incoming_.front().at - now);
            continue;
        }
        if (deadline > static_cast<int64_t>(now))
            clock.Sleep(static_cast<uint64_t>(deadline) - now);
        break;
    }
    if (line.keepEvents) {
        line.events.push_back(ScriptedLine::Event{ScriptedLine::Event::Read, clock.Now(),
                                                  line.Baud(), static_cast<uint8_t>(got)});
    }
    return got;
}

// What has arrived is dropped; what is still on its way arrives later.
void PurgeScripted(ScriptedLine& line) {
    uint64_t now = CurrentBackend().Now();
    while (!line.incoming_.empty() && line.incoming_.front().at <= now)
        line.incoming_.pop_front();
}

int ScriptedLine::OpenCount() const {
    int n = 0;
    for (const Event& e : events)
        n += e.kind == Event::Open ? 1 : 0;
    return n;
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
    lastErrno = error;
    lastErrnoCode = code;
    SetLastError(code);
}

} // namespace w32

using namespace w32;

// Opens the device that the port list mapped to COMn, for this process alone.
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
    if (entry == nullptr) {
        // Only the ports of the list can be opened: no path from a device's name can
        // reach an arbitrary file.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Port port;
    port.dcb.DCBlength = sizeof(DCB);
    port.dcb.fBinary = 1;
    port.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    port.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (entry->line) {
        ScriptedLine& line = *entry->line;
        if (line.refuseOpen) {
            SetLastError(line.refuseError);
            return INVALID_HANDLE_VALUE;
        }
        for (const Port& p : ports) {
            if (p.open && p.line == entry->line) {
                SetLastError(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
        }
        port.line = entry->line;
        Record(line, ScriptedLine::Event::Open);
    } else {
        if (entry->devicePath.empty()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        int fd = open(entry->devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            SetLastErrorFromErrno(errno);
            return INVALID_HANDLE_VALUE;
        }
        if (!isatty(fd)) {
            close(fd);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        // Exclusive: no other open of the tty, and no other Quorvel even as root.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int e = errno;
            close(fd);
            SetLastErrorFromErrno(e == EWOULDBLOCK ? EBUSY : e);
            return INVALID_HANDLE_VALUE;
        }
        ioctl(fd, TIOCEXCL);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        line::AskLowLatency(fd);
        port.fd = fd;
        LineSettings current;
        if (line::Read(fd, &current)) port.dcb.BaudRate = current.baud;
    }
    ports.push_back(port);
    return reinterpret_cast<HANDLE>(kPortBase + kPortStep * (ports.size() - 1));
}

BOOL CloseHandle(HANDLE handle) {
    Port* p = Held(handle);
    if (p == nullptr) return FALSE;
    if (p->line) Record(*p->line, ScriptedLine::Event::Close);
    if (p->fd >= 0) close(p->fd);
    p->fd = -1;
    p->line.reset();
    p->open = false;
    return TRUE;
}

BOOL GetCommState(HANDLE file, LPDCB dcb) {
    Port* p = Held(file, dcb);
    if (p == nullptr) return FALSE;
    LineSettings s = p->line ? p->line->Settings() : LineSettings{};
    if (p->fd >= 0 && !line::Read(p->fd, &s)) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    *dcb = p->dcb;
    if (s.baud != 0) dcb->BaudRate = s.baud;
    dcb->ByteSize = static_cast<BYTE>(s.dataBits);
    dcb->Parity = s.parity == 'O' ? ODDPARITY : s.parity == 'E' ? EVENPARITY : NOPARITY;
    dcb->StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb->fOutX = s.xonXoffOut ? 1 : 0;
    dcb->fInX = s.xonXoffIn ? 1 : 0;
    dcb->fOutxCtsFlow = s.rtsCts ? 1 : 0;
    dcb->fBinary = 1;
    return TRUE;
}

// The whole record is applied or none of it; a rate the driver cannot run exactly
// fails rather than running near it.
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
    LineSettings s = FromDcb(*dcb);
    if (p->line) {
        p->line->SetSettings(s);
        Record(*p->line, ScriptedLine::Event::Configure);
    } else {
        std::string problem;
        if (!line::Apply(p->fd, s, &problem)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        line::SetModemLines(p->fd, s.dtr, s.rts);
    }
    p->dcb = *dcb;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    Port* p = Held(file, timeouts);
    if (p == nullptr) return FALSE;
    *timeouts = p->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    Port* p = Held(file, timeouts);
    if (p == nullptr) return FALSE;
    p->timeouts = *timeouts;
    return TRUE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    Port* p = Held(file);
    if (p == nullptr) return FALSE;
    W32_REQUIRE((flags & ~static_cast<DWORD>(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR |
                                             PURGE_RXCLEAR)) == 0,
                "purge flags", FALSE);
    // Reads are synchronous here, so there is never one to abort.
    if ((flags & PURGE_RXCLEAR) != 0) {
        if (p->line) {
            PurgeScripted(*p->line);
            Record(*p->line, ScriptedLine::Event::Purge);
        } else {
            line::DropInput(p->fd);
        }
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    W32_REQUIRE(overlapped == nullptr, "overlapped writes", FALSE);
    if (written != nullptr) *written = 0;
    Port* p = Held(file);
    if (p == nullptr) return FALSE;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    DWORD done = 0;
    if (p->line) {
        // The record is taken before the line answers, so that events stay in order.
        std::shared_ptr<ScriptedLine> line = p->line;
        for (; done < count; ++done) {
            Record(*line, ScriptedLine::Event::Write, bytes[done]);
            if (line->onWrite) line->onWrite(*line, bytes[done]);
        }
    } else {
        while (done < count) {
            ssize_t n = write(p->fd, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                SetLastErrorFromErrno(n < 0 ? errno : EIO);
                if (written != nullptr) *written = done;
                return FALSE;
            }
            done += static_cast<DWORD>(n);
        }
    }
    if (written != nullptr) *written = done;
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
    W32_REQUIRE(overlapped == nullptr, "overlapped reads", FALSE);
    if (read != nullptr) *read = 0;
    Port* p = Held(file);
    if (p == nullptr) return FALSE;
    bool failed = false;
    DWORD got = p->line ? ReadScripted(*p->line, static_cast<uint8_t*>(buffer), count, p->timeouts)
                        : ReadDevice(*p, static_cast<uint8_t*>(buffer), count, &failed);
    if (read != nullptr) *read = got;
    return failed ? FALSE : TRUE;
}

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list*) {
    W32_REQUIRE((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 && source == nullptr,
                "messages from anywhere but the system", 0);
    const char* text = nullptr;
    if (lastErrnoCode != 0 && messageId == lastErrnoCode) {
        text = std::strerror(lastErrno); // the system's own words for what happened
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
