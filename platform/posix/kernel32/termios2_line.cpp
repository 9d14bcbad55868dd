// The one file that talks to the kernel's serial line settings. It uses termios2 with
// BOTHER, so that any rate (7680 baud) reaches the line as it is, and never the numeric
// values of the B constants. <termios.h> must not be included here: it clashes with the
// kernel's own definitions.
#include "platform/posix/kernel32/line.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace w32::line {

bool Apply(int fd, const LineSettings& s, uint32_t* rate, std::string* problem) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        *problem = "the device is not a serial line";
        return false;
    }
    // Raw bytes in and out: no line editing, echo, signals or translation.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    switch (s.dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    if (s.parity != 'N') {
        t.c_cflag |= PARENB;
        t.c_iflag |= INPCK;
        if (s.parity == 'O') t.c_cflag |= PARODD;
    }
    if (s.stopBits == 2) t.c_cflag |= CSTOPB;
    if (s.rtsCts) t.c_cflag |= CRTSCTS;
    if (s.xonXoffOut) t.c_iflag |= IXON;
    if (s.xonXoffIn) t.c_iflag |= IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    // Both the output and the input rate, exactly.
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = s.baud;
    t.c_ispeed = s.baud;
    if (ioctl(fd, TCSETS2, &t) != 0) {
        *problem = "the driver refused the settings";
        return false;
    }
    // Drivers report back the rate they really set: a PL2303 7692 for 7680, a CP2102
    // 9600. What to make of that is the caller's.
    struct termios2 back {};
    if (ioctl(fd, TCGETS2, &back) != 0) {
        *problem = "the device is not a serial line";
        return false;
    }
    *rate = back.c_ospeed;
    return true;
}

bool Read(int fd, LineSettings* s) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    s->baud = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        s->dataBits = 5;
        break;
    case CS6:
        s->dataBits = 6;
        break;
    case CS7:
        s->dataBits = 7;
        break;
    default:
        s->dataBits = 8;
        break;
    }
    s->parity = (t.c_cflag & PARENB) == 0 ? 'N' : (t.c_cflag & PARODD) != 0 ? 'O' : 'E';
    s->stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
    s->rtsCts = (t.c_cflag & CRTSCTS) != 0;
    s->xonXoffOut = (t.c_iflag & IXON) != 0;
    s->xonXoffIn = (t.c_iflag & IXOFF) != 0;
    return true;
}

// A pseudo-terminal has no modem lines; the calls fail there and that is no error.
void SetModemLines(int fd, bool dtr, bool rts) {
    int on = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
    int off = (dtr ? 0 : TIOCM_DTR) | (rts ? 0 : TIOCM_RTS);
    if (on != 0) ioctl(fd, TIOCMBIS, &on);
    if (off != 0) ioctl(fd, TIOCMBIC, &off);
}

// An FTDI adapter otherwise holds every received byte for up to 16 ms. A driver that
// has no such setting refuses, and that is no error.
void AskLowLatency(int fd) {
    struct serial_struct ss {};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
    ss.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &ss);
}

void DropInput(int fd) { ioctl(fd, TCFLSH, TCIFLUSH); }

void DropOutput(int fd) { ioctl(fd, TCFLSH, TCOFLUSH); }

uint32_t Speed(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

bool TryRate(int fd, uint32_t asked, uint32_t* reported) {
    struct termios2 saved {};
    if (ioctl(fd, TCGETS2, &saved) != 0) return false;
    struct termios2 t = saved;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = asked;
    t.c_ispeed = asked;
    struct termios2 back {};
    bool ok = ioctl(fd, TCSETS2, &t) == 0 && ioctl(fd, TCGETS2, &back) == 0;
    if (ok) *reported = back.c_ospeed;
    ioctl(fd, TCSETS2, &saved);
    return ok;
}

bool ReportSettingChanges(int slave) {
    struct termios2 t {};
    if (ioctl(slave, TCGETS2, &t) != 0) return false;
    t.c_lflag |= EXTPROC;
    return ioctl(slave, TCSETS2, &t) == 0;
}

} // namespace w32::line
