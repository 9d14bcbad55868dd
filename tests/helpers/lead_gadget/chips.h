// The USB serial chips of the leads users own, as their Linux drivers meet them: the ids
// and descriptor fields each driver looks at, the answers to its control requests, and
// the rate the chip runs for what the driver programmed (a divisor, or a rate field).
// Written from what the drivers in Debian's 6.1 kernel ask (ch341, pl2303, cp210x).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lead {

// A control request as it arrives (the setup packet's fields).
struct Setup {
    uint8_t requestType;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
    bool In() const { return (requestType & 0x80) != 0; }
};

// How a chip answers a request: data for an IN request (up to the length asked), an
// acknowledgement for an OUT one, or a stall (the request is not the chip's).
struct Reply {
    bool stall = false;
    std::vector<uint8_t> data;
    static Reply Stall() { return Reply{true, {}}; }
    static Reply Ack() { return Reply{}; }
    static Reply Bytes(std::vector<uint8_t> bytes) { return Reply{false, std::move(bytes)}; }
};

enum class Endpoint { BulkIn, BulkOut, InterruptIn };

class Chip {
  public:
    virtual ~Chip() = default;
    std::string name;     // "ch340", "pl2303-ta", ...
    uint16_t vendor = 0;  // idVendor
    uint16_t product = 0; // idProduct
    uint16_t bcdDevice = 0;
    uint8_t deviceClass = 0;
    std::string productString;
    std::vector<Endpoint> endpoints; // in the interface's order

    // A request and, for an OUT one, its data.
    virtual Reply Handle(const Setup& s, const std::vector<uint8_t>& data) = 0;
    // The rate the chip runs now, in baud (0 before the driver set one).
    double Rate() const { return rate_; }
    // Bytes for the host, as the chip frames what came in on its line.
    virtual std::vector<uint8_t> Frame(const std::vector<uint8_t>& line) { return line; }

  protected:
    double rate_ = 0;
};

// The chip for a name of --chip; null for an unknown one. names() lists them.
std::unique_ptr<Chip> MakeChip(const std::string& name);
std::vector<std::string> ChipNames();

// The rates the chips run for what their drivers write, for the tests.
// CH340/CH341: prescaler register 0x12 and divisor register 0x13.
double Ch341Rate(uint8_t prescaler, uint8_t divisor);
// PL2303: the first four bytes of SET_LINE_REQUEST; alternative is the TA/TB's encoding.
double Pl2303Rate(const uint8_t field[4], bool alternative);

} // namespace lead
