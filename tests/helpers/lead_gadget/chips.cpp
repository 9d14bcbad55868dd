#include "chips.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace lead {

namespace {

constexpr uint8_t kVendorIn = 0xC0;  // vendor request, device, IN
constexpr uint8_t kVendorOut = 0x40; // vendor request, device, OUT

std::vector<uint8_t> Fit(std::vector<uint8_t> bytes, uint16_t length) {
    bytes.resize(std::min<size_t>(bytes.size(), length));
    return bytes;
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    if (d.size() < at + 4) return 0;
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

// WCH CH340: vendor requests to the device; the rate is set through a prescaler and a
// divisor register, written together in one request.
class Ch340 : public Chip {
  public:
    Ch340() {
        name = "ch340";
        vendor = 0x1a86;
        product = 0x7523;
        bcdDevice = 0x0264;
        productString = "USB Serial";
        endpoints = {Endpoint::BulkIn, Endpoint::BulkOut, Endpoint::InterruptIn};
    }

    Reply Handle(const Setup& s, const std::vector<uint8_t>&) override {
        if (s.requestType == kVendorIn) {
            switch (s.request) {
            case 0x5F: // the chip's version: 0x30 and above take the line control register
                return Reply::Bytes(Fit({0x31, 0x00}, s.length));
            case 0x95: // a register: the modem lines read inverted, all off
                return Reply::Bytes(
                    Fit({s.value == 0x0706 ? uint8_t{0xFF} : registers_[s.value & 0xFF], 0xEE},
                        s.length));
            default:
                return Reply::Stall();
            }
        }
        if (s.requestType == kVendorOut) {
            if (s.request == 0x9A) { // two registers at once: value names them, index holds them
                registers_[s.value & 0xFF] = static_cast<uint8_t>(s.index & 0xFF);
                registers_[s.value >> 8] = static_cast<uint8_t>(s.index >> 8);
                if ((s.value & 0xFF) == 0x12 || (s.value >> 8) == 0x13)
                    rate_ = Ch341Rate(registers_[0x12], registers_[0x13]);
            }
            return Reply::Ack(); // serial init (0xA1), modem control (0xA4) and the rest
        }
        return Reply::Stall();
    }

  private:
    std::map<uint8_t, uint8_t> registers_;
};

// Prolific PL2303: the kind is told by the device descriptor (bcdDevice, and a device
// class of 2 for the legacy H) and by whether the chip answers the HX status read.
class Pl2303 : public Chip {
  public:
    enum Kind { H, TA, TB, HXN };
    explicit Pl2303(Kind kind) : kind_(kind) {
        static const char* const names[] = {"pl2303-h", "pl2303-ta", "pl2303-tb", "pl2303-hxn"};
        name = names[kind];
        vendor = 0x067b;
        product = kind == TB ? 0x2304 : kind == HXN ? 0x23a3 : 0x2303;
        bcdDevice = kind == TA ? 0x0300 : kind == TB ? 0x0500 : kind == HXN ? 0x0100 : 0x0300;
        deviceClass = kind == H ? 0x02 : 0x00;
        productString = "USB-Serial Controller";
        endpoints = {Endpoint::InterruptIn, Endpoint::BulkOut, Endpoint::BulkIn};
    }

    Reply Handle(const Setup& s, const std::vector<uint8_t>& data) override {
        if (s.requestType == kVendorIn && (s.request == 0x01 || s.request == 0x81)) {
            // The HX status register (0x8080) is what tells a TA or TB from an HXN.
            if (s.request == 0x01 && s.value == 0x8080 && kind_ == HXN) return Reply::Stall();
            return Reply::Bytes(Fit({0x00}, s.length));
        }
        if (s.requestType == kVendorOut && (s.request == 0x01 || s.request == 0x80))
            return Reply::Ack();
        if (s.requestType == 0xA1 && s.request == 0x21) // the line settings
            return Reply::Bytes(Fit(line_, s.length));
        if (s.requestType == 0x21 && s.request == 0x20 && data.size() >= 7) {
            line_.assign(data.begin(), data.begin() + 7);
            rate_ = Pl2303Rate(line_.data(), kind_ == TA || kind_ == TB);
            return Reply::Ack();
        }
        if (s.requestType == 0x21 && (s.request == 0x22 || s.request == 0x23)) return Reply::Ack();
        return Reply::Stall();
    }

  private:
    Kind kind_;
    std::vector<uint8_t> line_ = {0x80, 0x25, 0x00, 0x00, 0x00, 0x00, 0x08}; // 9600 8N1
};

// Silicon Labs CP210x: interface requests for the line, the part number through a vendor
// request to the device (the driver asks the chip, whatever the product string says).
class Cp210x : public Chip {
  public:
    Cp210x(const std::string& chipName, uint8_t part, const std::string& product) : part_(part) {
        name = chipName;
        vendor = 0x10c4;
        this->product = 0xea60;
        bcdDevice = 0x0100;
        productString = product;
        endpoints = {Endpoint::BulkIn, Endpoint::BulkOut};
    }

    Reply Handle(const Setup& s, const std::vector<uint8_t>& data) override {
        if (s.requestType == kVendorIn && s.request == 0xFF) {
            if (s.value == 0x370B) return Reply::Bytes(Fit({part_, 0x00}, s.length)); // part
            if (s.value == 0x0010 && part_ >= 0x20) return Reply::Bytes(Fit({1, 0, 8}, s.length));
            return Reply::Stall(); // no configuration block, no latch: GPIO is left alone
        }
        if (s.requestType == 0x41) { // to the interface
            if (s.request == 0x1E) { // the rate
                asked_ = Le32(data, 0);
                rate_ = Runs(asked_);
            } else if (s.request == 0x15) { // events in the data, escaped by this character
                escape_ = static_cast<uint8_t>(s.value & 0xFF);
            }
            return Reply::Ack();
        }
        if (s.requestType == 0xC1) { // from the interface
            if (s.request == 0x1D)
                return Reply::Bytes(
                    Fit({static_cast<uint8_t>(asked_), static_cast<uint8_t>(asked_ >> 8),
                         static_cast<uint8_t>(asked_ >> 16), static_cast<uint8_t>(asked_ >> 24)},
                        s.length));
            if (s.request == 0x04) return Reply::Bytes(Fit({0x00, 0x08}, s.length)); // 8N1
            return Reply::Bytes(std::vector<uint8_t>(s.length, 0));
        }
        return Reply::Stall();
    }

    // In event mode a data byte equal to the escape character comes doubled with a 0.
    std::vector<uint8_t> Frame(const std::vector<uint8_t>& line) override {
        if (escape_ == 0) return line;
        std::vector<uint8_t> out;
        for (uint8_t b : line) {
            out.push_back(b);
            if (b == escape_) out.push_back(0x00);
        }
        return out;
    }

  private:
    // The CP2101 to CP2103 run a rate of their fixed table (Silicon Labs' AN205, table 1)
    // for what they are asked; the CP2102N divides 48 MHz.
    double Runs(uint32_t asked) const {
        if (part_ >= 0x20) {
            double div = std::round(48000000.0 / (2.0 * asked));
            return div > 0 ? 48000000.0 / (2.0 * div) : 0;
        }
        static const std::pair<uint32_t, uint32_t> table[] = {
            {300, 300},       {600, 600},       {1200, 1200},     {1800, 1800},
            {2400, 2400},     {4000, 4000},     {4800, 4803},     {7200, 7207},
            {9600, 9612},     {14400, 14428},   {16000, 16062},   {19200, 19250},
            {28800, 28912},   {38400, 38601},   {51200, 51558},   {56000, 56280},
            {57600, 58053},   {64000, 64111},   {76800, 77608},   {115200, 117028},
            {128000, 129347}, {153600, 156868}, {230400, 237832}, {250000, 254234},
            {256000, 273066}, {460800, 491520}, {500000, 567138}, {576000, 670254}};
        for (const auto& [rate, high] : table) {
            if (asked <= high) return rate;
        }
        return 921600;
    }

    uint8_t part_;
    uint32_t asked_ = 9600;
    uint8_t escape_ = 0;
};

const std::map<std::string, std::function<std::unique_ptr<Chip>()>>& Factories() {
    static const std::map<std::string, std::function<std::unique_ptr<Chip>()>> factories = {
        {"ch340", [] { return std::make_unique<Ch340>(); }},
        {"pl2303-h", [] { return std::make_unique<Pl2303>(Pl2303::H); }},
        {"pl2303-ta", [] { return std::make_unique<Pl2303>(Pl2303::TA); }},
        {"pl2303-tb", [] { return std::make_unique<Pl2303>(Pl2303::TB); }},
        {"pl2303-hxn", [] { return std::make_unique<Pl2303>(Pl2303::HXN); }},
        {"cp2102",
         [] {
             return std::make_unique<Cp210x>("cp2102", 0x02,
                                             "CP2102 USB to UART Bridge Controller");
         }},
        {"cp2102n",
         [] {
             return std::make_unique<Cp210x>("cp2102n", 0x20,
                                             "CP2102N USB to UART Bridge Controller");
         }},
        // Vendors write their own strings: a CP2102N calling itself a CP2102.
        {"cp2102n-as-cp2102",
         [] {
             return std::make_unique<Cp210x>("cp2102n-as-cp2102", 0x20,
                                             "CP2102 USB to UART Bridge Controller");
         }},
    };
    return factories;
}

} // namespace

std::unique_ptr<Chip> MakeChip(const std::string& name) {
    auto it = Factories().find(name);
    return it != Factories().end() ? it->second() : nullptr;
}

std::vector<std::string> ChipNames() {
    std::vector<std::string> names;
    for (const auto& [name, make] : Factories())
        names.push_back(name);
    return names;
}

// 48 MHz over 2^(12 - 3 prescale - factor) and the divisor (256 less the register).
double Ch341Rate(uint8_t prescaler, uint8_t divisor) {
    int ps = prescaler & 0x03;
    int fact = (prescaler >> 2) & 0x01;
    int div = 0x100 - divisor;
    return 48000000.0 / (static_cast<double>(1 << (12 - 3 * ps - fact)) * div);
}

// With the top bit of the fourth byte set the field is a divisor of 384 MHz: a 9-bit
// mantissa and a power of four (H, HX), or an 11-bit mantissa and a power of two whose
// low bit stands in the third byte (TA, TB); otherwise it is the rate itself.
double Pl2303Rate(const uint8_t field[4], bool alternative) {
    if ((field[3] & 0x80) == 0)
        return field[0] | field[1] << 8 | field[2] << 16 | (field[3] & 0x7F) << 24;
    double mantissa = 0;
    int shift = 0;
    if (alternative) {
        mantissa = field[0] | (field[1] & 0x07) << 8;
        shift = ((field[1] >> 4) & 0x0E) | (field[2] & 0x01);
    } else {
        mantissa = field[0] | (field[1] & 0x01) << 8;
        shift = 2 * ((field[1] >> 1) & 0x07);
    }
    return mantissa > 0 ? 384000000.0 / mantissa / static_cast<double>(1 << shift) : 0;
}

} // namespace lead
