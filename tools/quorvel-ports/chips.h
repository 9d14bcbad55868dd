// The USB serial chips that leads are made with, and what each makes of the ECU's
// 7680 baud (from the Linux drivers and the vendors' notes).
#pragma once

#include <cstdint>
#include <string>

namespace ports {

enum class RateVerdict { Exact, Near, Impossible, Unknown };

struct Chip {
    std::string family; // "FTDI FT232R (or FT232BM/AM)"; "" when not known
    RateVerdict rate = RateVerdict::Unknown;
    uint32_t runs = 0; // the rate the chip really runs for 7680 (Near, Impossible)
    std::string note;  // what else the user should know
};

// The chip behind a port, from its USB id, its product string (CP210x parts name
// themselves there) and its driver.
Chip IdentifyChip(const std::string& vendorId, const std::string& productId,
                  const std::string& product, const std::string& driver);

// What 7680 baud will be on a port: the driver's answer where it differs from the rate
// asked, the chip's known rounding otherwise.
struct Rate {
    RateVerdict verdict = RateVerdict::Unknown;
    uint32_t runs = 0;
    std::string text; // "exact", "near: 7692 baud, +0.16%", "impossible: ..."
};
Rate RateFor(const Chip& chip, uint32_t driverRate);

} // namespace ports
