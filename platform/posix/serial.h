// Serial ports inside the layer: which ports are present, and the lines they open.
#pragma once

#include "layer.h"
#include "line.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace w32 {

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
    bool keepEvents = true; // false: nothing is recorded (a long run's memory stays flat)
    bool refuseOpen = false; // the device is busy or gone
    DWORD refuseError = ERROR_ACCESS_DENIED;
    // Called for every byte the program writes (an ECU model answers here).
    std::function<void(ScriptedLine&, uint8_t)> onWrite;

    // A byte on its way to the program, arriving after the delay (and after every byte
    // sent before it).
    void Deliver(uint8_t byte, uint64_t delayMs = 0);
    size_t Waiting() const { return incoming_.size(); }

    uint32_t Baud() const { return settings_.baud; }
    const LineSettings& Settings() const { return settings_; }
    void SetSettings(const LineSettings& s) { settings_ = s; }
    int OpenCount() const;
    std::vector<uint8_t> Written() const;

  private:
    friend DWORD ReadScripted(ScriptedLine& line, uint8_t* out, DWORD count,
                              const COMMTIMEOUTS& timeouts);
    friend void PurgeScripted(ScriptedLine& line);
    struct Pending {
        uint64_t at;
        uint8_t byte;
    };
    std::deque<Pending> incoming_;
    LineSettings settings_{};
};
DWORD ReadScripted(ScriptedLine& line, uint8_t* out, DWORD count, const COMMTIMEOUTS& timeouts);
void PurgeScripted(ScriptedLine& line);

// One entry of the system's port list.
struct PortEntry {
    int number = 0;                     // n of COMn
    std::string friendlyName;           // what SetupAPI reports
    bool nameReadable = true;           // false: the friendly name cannot be read
    std::string devicePath;             // the device that \\.\COMn opens ("" for none)
    std::shared_ptr<ScriptedLine> line; // or a scripted line
};

// The port list as a test wants the system to report it.
struct PortListScript {
    bool unavailable = false;            // SetupDiGetClassDevsA fails
    int failAtIndex = -1;                // SetupDiEnumDeviceInfo fails there...
    DWORD failError = ERROR_GEN_FAILURE; // ...with this error
    std::vector<PortEntry> ports;
};
void SetPortListScript(std::shared_ptr<PortListScript> script); // null: the real list

// The ports of the last listing: what CreateFileA's \\.\COMn refers to.
std::vector<PortEntry>& ListedPorts();

// Where the real list comes from: QUORVEL_PORTS when set, else sysfs.
std::vector<PortEntry> PresentPorts();
// Linux's serial devices under a sysfs root, numbered stably with the numbers kept in
// configDir (the layer's stand-in for the registry's COM database).
std::vector<PortEntry> SysfsPorts(const std::string& sysfsRoot, const std::string& configDir);
std::string DefaultConfigDir();

// Errors from the system: GetLastError's code, and errno's own text for FormatMessageA.
void SetLastErrorFromErrno(int error);

} // namespace w32
