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

// Whether a Linux driver reports the rate the chip runs: ftdi_sio, pl2303, cp210x (which
// asks the chip for its part) and the 8250 report what they programmed; ch341 reports the
// rate asked whatever its divisor gives.
bool DriverReportsChipRate(const std::string& driver);

// What 7680 baud will be on a port. driverRate is the driver's answer to 7680 (0: not
// asked); onlyAccepted when the driver only took the rate without saying what it set
// (Windows). A driver that reports what the chip runs is believed before the chip's
// table (a CP2102N whose product string says CP2102); otherwise the table decides where
// it knows the chip, and the driver's answer where it differs from the rate asked.
struct Rate {
    RateVerdict verdict = RateVerdict::Unknown;
    uint32_t runs = 0;
    std::string text; // "exact", "near: 7692 baud, +0.16%", "impossible: ..."
};
Rate RateFor(const Chip& chip, uint32_t driverRate, const std::string& driver = "",
             bool onlyAccepted = false);

} // namespace ports
