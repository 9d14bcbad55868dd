// A USB device of our own in the machine's gadget side (dummy_hcd connects it to the
// host side of the same kernel): a configfs gadget with one FunctionFS function, whose
// control requests and bulk data this program answers as a chip would.
#pragma once

#include "chips.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lead {

class Gadget {
  public:
    // Bytes the host's driver sent (what the program wrote to its serial port).
    using HostBytes = std::function<void(const std::vector<uint8_t>&)>;
    // Called after each control request the chip took (the rate may have changed).
    using Changed = std::function<void()>;

    Gadget(Chip& chip, std::string serial, HostBytes onHostBytes, Changed onChanged);
    ~Gadget();
    Gadget(const Gadget&) = delete;
    Gadget& operator=(const Gadget&) = delete;

    // Builds the gadget and plugs it in; false with why not.
    bool Start(std::string* problem);
    // The lead pulled out and put back: the gadget unbound from its controller and bound.
    void Unplug();
    void Plug();
    // Bytes for the host, framed as the chip frames them; dropped while unplugged.
    void Send(const std::vector<uint8_t>& bytes);
    // For this many plugs from the first, the chip refuses every control request of the
    // driver, whose probe then fails as it does when they time out on a slow machine.
    void SetDeafPlugs(int plugs) { deafPlugs_ = plugs; }
    // The next control request is refused only after 1.5 s: its driver's 1 s time-out has
    // passed (-110), as on a machine too slow for the emulated USB.
    void SlowNextRequest();

  private:
    void Ep0Loop();
    void ReadLoop();
    void WriteLoop();
    bool Enabled();
    void Teardown();

    Chip& chip_;
    std::string serial_;
    HostBytes onHostBytes_;
    Changed onChanged_;
    std::string config_; // the gadget's folder in configfs
    std::string mount_;  // where its FunctionFS is mounted
    std::string udc_;
    int ep0_ = -1;
    std::vector<int> eps_;
    int in_ = -1;  // the bulk IN endpoint's file
    int out_ = -1; // the bulk OUT endpoint's file
    std::mutex mutex_;
    std::condition_variable wake_;
    bool enabled_ = false;
    int plugs_ = 0;
    int deafPlugs_ = 0;
    int slowRequests_ = 0;
    bool stopping_ = false;
    std::deque<std::vector<uint8_t>> outgoing_;
    std::vector<std::thread> threads_;
};

} // namespace lead
