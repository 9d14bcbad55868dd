#include "chips.h"

#include <cctype>
#include <cstdio>

namespace ports {

namespace {

struct KnownChip {
    const char* vendor;
    const char* product;
    const char* family;
    RateVerdict rate;
    uint32_t runs;
    const char* note;
};

// clang-format off
const KnownChip kChips[] = {
    {"0403", "6001", "FTDI FT232R (or FT232BM/AM)", RateVerdict::Exact, 7680, ""},
    {"0403", "6015", "FTDI FT-X (FT230X/FT231X)", RateVerdict::Exact, 7680, ""},
    {"0403", "6014", "FTDI FT232H", RateVerdict::Exact, 7680, ""},
    {"0403", "6010", "FTDI FT2232", RateVerdict::Exact, 7680, ""},
    {"0403", "6011", "FTDI FT4232", RateVerdict::Exact, 7680, ""},
    {"1a86", "7523", "WCH CH340/CH341", RateVerdict::Near, 7692,
     "the driver reports 7680 but the chip's divisor gives about 7692"},
    {"1a86", "5523", "WCH CH341", RateVerdict::Near, 7692,
     "the driver reports 7680 but the chip's divisor gives about 7692"},
    {"067b", "2303", "Prolific PL2303 (H, HX, HXD, TA or a clone)", RateVerdict::Near, 7692, ""},
    {"067b", "2304", "Prolific PL2303TB", RateVerdict::Near, 7682, ""},
    {"067b", "23a3", "Prolific PL2303G (GC)", RateVerdict::Exact, 7680, "not confirmed on hardware"},
    {"067b", "23b3", "Prolific PL2303G (GB)", RateVerdict::Exact, 7680, "not confirmed on hardware"},
    {"067b", "23c3", "Prolific PL2303G (GT)", RateVerdict::Exact, 7680, "not confirmed on hardware"},
    {"067b", "23d3", "Prolific PL2303G (GL)", RateVerdict::Exact, 7680, "not confirmed on hardware"},
    {"067b", "23e3", "Prolific PL2303G (GE)", RateVerdict::Exact, 7680, "not confirmed on hardware"},
    {"067b", "23f3", "Prolific PL2303G (GS)", RateVerdict::Exact, 7680, "not confirmed on hardware"},
    {"10c4", "ea70", "Silicon Labs CP2105", RateVerdict::Exact, 7680, ""},
    {"10c4", "ea71", "Silicon Labs CP2108", RateVerdict::Exact, 7680, ""},
};
// clang-format on

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// One id for several parts: the part names itself in the product string.
Chip SiliconLabs(const std::string& product) {
    if (Has(product, "CP2102N") || Has(product, "CP2104") || Has(product, "CP2105") ||
        Has(product, "CP2108")) {
        std::string part = Has(product, "CP2102N")  ? "CP2102N"
                           : Has(product, "CP2104") ? "CP2104"
                           : Has(product, "CP2105") ? "CP2105"
                                                    : "CP2108";
        return Chip{"Silicon Labs " + part, RateVerdict::Exact, 7680, ""};
    }
    for (const char* part : {"CP2101", "CP2102", "CP2103"}) {
        if (Has(product, part)) {
            return Chip{std::string("Silicon Labs ") + part, RateVerdict::Impossible, 9600,
                        "its fixed rate table rounds 7680 up to 9600"};
        }
    }
    return Chip{"Silicon Labs CP210x (the product string does not name the part)",
                RateVerdict::Unknown, 0,
                "CP2102N and CP2104 run 7680 baud exactly; CP2101, CP2102 and CP2103 cannot "
                "(they run 9600)"};
}

std::string Percent(uint32_t runs) {
    char text[64];
    std::snprintf(text, sizeof text, "%+.2f%%", (static_cast<double>(runs) - 7680.0) / 76.8);
    return text;
}

} // namespace

Chip IdentifyChip(const std::string& vendorId, const std::string& productId,
                  const std::string& product, const std::string& driver) {
    const std::string vendor = Lower(vendorId);
    const std::string id = Lower(productId);
    // Windows names services as it likes ("Serial", "usbser").
    const std::string service = Lower(driver);
    if (vendor == "10c4" && id == "ea60") return SiliconLabs(product);
    for (const KnownChip& k : kChips) {
        if (vendor == k.vendor && id == k.product) return Chip{k.family, k.rate, k.runs, k.note};
    }
    if (service == "cdc_acm" || service == "usbser") {
        return Chip{"USB CDC ACM (a microcontroller's firmware)", RateVerdict::Unknown, 0,
                    "the firmware decides what it makes of 7680 baud"};
    }
    if (service == "serial8250" || service == "serial" || service == "port") {
        // 115200 / 15: the 8250's divisor gives 7680 exactly.
        return Chip{"on-board UART (8250/16550)", RateVerdict::Exact, 7680, ""};
    }
    return Chip{};
}

bool DriverReportsChipRate(const std::string& driver) {
    return driver == "ftdi_sio" || driver == "pl2303" || driver == "cp210x" ||
           driver == "serial8250" || driver == "serial";
}

Rate RateFor(const Chip& chip, uint32_t driverRate, const std::string& driver, bool onlyAccepted) {
    Rate r;
    uint32_t runs = 0;
    if (onlyAccepted) {
        runs = chip.rate != RateVerdict::Unknown ? chip.runs : 0;
    } else if (driverRate != 0 && (driverRate != 7680 || DriverReportsChipRate(driver))) {
        runs = driverRate;
    } else if (chip.rate != RateVerdict::Unknown) {
        runs = chip.runs;
    } else if (driverRate == 7680) {
        runs = 7680;
    }
    if (runs == 0) {
        r.text = onlyAccepted && driverRate != 0
                     ? "not known: the driver took 7680 baud, which does not say what the chip "
                       "runs; only the probe tells"
                     : "not known: only the probe tells";
        return r;
    }
    r.runs = runs;
    uint32_t off = runs > 7680 ? runs - 7680 : 7680 - runs;
    if (off == 0) {
        r.verdict = RateVerdict::Exact;
        r.text = "exact";
    } else if (off * 50 <= 7680) {
        r.verdict = RateVerdict::Near;
        r.text = "near: " + std::to_string(runs) + " baud, " + Percent(runs) + " (a UART copes)";
    } else {
        r.verdict = RateVerdict::Impossible;
        r.text = "impossible: the chip runs " + std::to_string(runs) + " baud instead (" +
                 Percent(runs) + ")";
    }
    if (onlyAccepted) {
        r.text += driverRate != 0 ? ", by what the chip is; the driver took 7680 baud without "
                                    "saying what it set"
                                  : "";
    } else if (driverRate != 0) {
        r.text += driverRate == runs ? ", as the driver reports"
                                     : ", though the driver reports " + std::to_string(driverRate);
    }
    return r;
}

} // namespace ports
