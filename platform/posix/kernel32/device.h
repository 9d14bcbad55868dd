// The device behind an open serial port: a tty (termios2) or the scripted line that
// tests give. serial.cpp gives Win32's meaning (time-outs, the rate policy, errors) on
// top of these few operations, whichever device it has.
#pragma once

#include "platform/posix/kernel32/line.h"
#include "platform/posix/win32_posix.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace w32 {

class Device {
  public:
    enum class Wait { Ready, TimedOut, Gone };

    virtual ~Device() = default;
    // The clock the device's waits run on, in ms.
    virtual uint64_t Now() = 0;

    // Sets the line; rate is then the rate the driver really runs (it may round).
    // False when the driver refused the settings altogether.
    virtual bool Apply(const LineSettings& s, uint32_t* rate) = 0;
    virtual bool Current(LineSettings* s) = 0;
    virtual void SetModemLines(bool dtr, bool rts) = 0;
    virtual void DropInput() = 0;
    virtual void DropOutput() {}

    // Waits until a byte can be read (or written), until deadline on Now's clock (-1: no
    // end). Gone: the device went away or hung up.
    virtual Wait WaitReadable(int64_t deadline) = 0;
    virtual Wait WaitWritable(int64_t deadline) = 0;
    // Takes what has arrived, without waiting; -1 when the device is gone.
    virtual long ReadAvailable(uint8_t* out, size_t max) = 0;
    // Writes what the device takes now, without waiting; -1 when the device is gone.
    virtual long WriteSome(const uint8_t* bytes, size_t count) = 0;
    // One ReadFile ended with this many bytes (a scripted line records it).
    virtual void ReadEnded(DWORD) {}
    virtual void Closed() {}
    // The errno that the device last went away with, and the error Win32 calls on the
    // port then fail with.
    int goneError = 0;
    DWORD goneCode = ERROR_GEN_FAILURE;
    // The error a refusal of the settings gives (0: ERROR_INVALID_PARAMETER).
    DWORD refusalCode = 0;
};

// A tty device, opened already (non-blocking, exclusive).
std::unique_ptr<Device> TtyDevice(int fd);

// A serial line that a test provides in place of a device: it records what the program
// did to it and answers reads from what the test (or its script) put in its buffer.
// Reads and pauses run on the program's clock.
class ScriptedLine {
  public:
    struct Event {
        enum Kind { Open, Configure, Write, Read, Purge, Close } kind;
        uint64_t time;
        uint32_t baud; // the line speed at the time
        uint8_t byte;  // Write: the byte; Read: how many bytes the read returned
    };
    std::vector<Event> events;
    bool keepEvents = true;  // false: nothing is recorded (a long run's memory stays flat)
    bool refuseOpen = false; // the device is busy or gone
    DWORD refuseError = ERROR_ACCESS_DENIED;
    // The rate a driver really sets for an asked one, as Linux drivers report it back
    // (a PL2303 runs 7692 for 7680, a CP2102 9600). Null: exactly the rate asked.
    std::function<uint32_t(uint32_t)> driverRate;
    // The adapter is pulled out: every call on the open line fails from now on, with
    // pulledOutError (Windows' drivers give ERROR_GEN_FAILURE or ERROR_ACCESS_DENIED on
    // a removed device's handle), and the port is no longer listed.
    bool pulledOut = false;
    DWORD pulledOutError = ERROR_GEN_FAILURE;
    // The driver refuses every line setting with this error (0: it takes them).
    DWORD refuseSettingsError = 0;
    // The adapter takes no byte (its output is stuck): writes wait out their time-out.
    bool takesNothing = false;
    // Called for every byte the program writes (an ECU model answers here).
    std::function<void(ScriptedLine&, uint8_t)> onWrite;
    // Called when the program has opened the line (a test may pull it out right then).
    std::function<void(ScriptedLine&)> onOpen;

    // A byte on its way to the program, arriving after the delay (and after every byte
    // sent before it).
    void Deliver(uint8_t byte, uint64_t delayMs = 0);
    size_t Waiting() const { return incoming_.size(); }

    // The rate the line really runs at.
    uint32_t Baud() const { return settings_.baud; }
    const LineSettings& Settings() const { return settings_; }
    void SetSettings(const LineSettings& s) { settings_ = s; }
    bool Dtr() const { return dtr_; }
    bool Rts() const { return rts_; }
    int OpenCount() const;
    std::vector<uint8_t> Written() const;

  private:
    friend class ScriptedDevice;
    void Record(Event::Kind kind, uint8_t byte = 0);
    struct Pending {
        uint64_t at;
        uint8_t byte;
    };
    std::deque<Pending> incoming_;
    LineSettings settings_{};
    bool dtr_ = true;
    bool rts_ = true;
};

// Opens a scripted line as a device (its Open event is recorded).
std::unique_ptr<Device> ScriptedDeviceFor(std::shared_ptr<ScriptedLine> line);

} // namespace w32
