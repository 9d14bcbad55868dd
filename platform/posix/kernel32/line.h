// Serial line settings and the kernel calls that apply them (termios2), with no other
// part of the layer: the simulated ECU uses them too.
#pragma once

#include <cstdint>
#include <string>

namespace w32 {

// The line settings a port applies, from a DCB.
struct LineSettings {
    uint32_t baud = 0;
    int dataBits = 8;
    char parity = 'N'; // N, O or E
    int stopBits = 1;
    bool rtsCts = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    bool dtr = true;
    bool rts = true;
};

// The kernel's line settings, kept to one file (termios2 and the ioctls beside it).
namespace line {
// Sets the line; rate receives the output rate the driver reports back afterwards.
bool Apply(int fd, const LineSettings& s, uint32_t* rate, std::string* problem);
bool Read(int fd, LineSettings* s);
void SetModemLines(int fd, bool dtr, bool rts);
void AskLowLatency(int fd);
void DropInput(int fd);
void DropOutput(int fd);
uint32_t Speed(int fd); // the output speed, also read from a pty's master side
// Asks the driver for a rate and reads back the rate it set, then puts the line's
// settings back as they were. False when the device is not a serial line.
bool TryRate(int fd, uint32_t asked, uint32_t* reported);
// A pseudo-terminal whose master is in packet mode reports every later change of the
// slave's settings (TIOCPKT_IOCTL) once this is set on the slave.
bool ReportSettingChanges(int slave);
} // namespace line

} // namespace w32
