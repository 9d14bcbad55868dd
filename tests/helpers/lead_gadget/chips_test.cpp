// The chips' rates for what their drivers write, against what Debian's 6.1 drivers write
// for 7680 baud and what the chips then run.
#include "helpers/lead_gadget/chips.h"

#include <gtest/gtest.h>

namespace {

TEST(LeadChips, Ch340RunsWhatItsPrescalerAndDivisorGive) {
    // ch341 writes registers 0x12/0x13 = 0x86/0x3d for 7680 (prescaler 2, factor 1, 195).
    EXPECT_NEAR(lead::Ch341Rate(0x86, 0x3d), 7692.3, 0.05);
    // And 0x83/0xcc for 115200 (prescaler 3, factor 0, 52): 115384.6.
    EXPECT_NEAR(lead::Ch341Rate(0x83, 0xcc), 115384.6, 0.05);
    std::unique_ptr<lead::Chip> ch340 = lead::MakeChip("ch340");
    ch340->Handle({0x40, 0x9A, 0x1312, 0x3d86, 0}, {});
    EXPECT_NEAR(ch340->Rate(), 7692.3, 0.05);
}

TEST(LeadChips, Pl2303RunsItsRateFieldOrItsDivisor) {
    const uint8_t hx[4] = {195, 4 << 1, 0x00, 0x80}; // mantissa 195, 4^4
    EXPECT_NEAR(lead::Pl2303Rate(hx, false), 7692.3, 0.05);
    const uint8_t ta[4] = {0x1a, 0x46, 0x01, 0x80}; // 0x8001461a: mantissa 1562, 2^5
    EXPECT_NEAR(lead::Pl2303Rate(ta, true), 7682.5, 0.05);
    const uint8_t direct[4] = {0x00, 0x1e, 0x00, 0x00}; // 7680 itself (HXN)
    EXPECT_DOUBLE_EQ(lead::Pl2303Rate(direct, false), 7680);
    const uint8_t slow[4] = {0xb0, 0x04, 0x00, 0x00}; // 1200
    EXPECT_DOUBLE_EQ(lead::Pl2303Rate(slow, true), 1200);
}

// The HX status read tells a TA from an HXN; the line settings come back as set.
TEST(LeadChips, Pl2303KindsAnswerAsTheDriverTellsThemApart) {
    std::unique_ptr<lead::Chip> ta = lead::MakeChip("pl2303-ta");
    std::unique_ptr<lead::Chip> hxn = lead::MakeChip("pl2303-hxn");
    const lead::Setup status{0xC0, 0x01, 0x8080, 0, 1};
    EXPECT_FALSE(ta->Handle(status, {}).stall);
    EXPECT_TRUE(hxn->Handle(status, {}).stall);
    std::vector<uint8_t> line = {0x1a, 0x46, 0x01, 0x80, 0, 0, 8};
    ta->Handle({0x21, 0x20, 0, 0, 7}, line);
    EXPECT_NEAR(ta->Rate(), 7682.5, 0.05);
    EXPECT_EQ(ta->Handle({0xA1, 0x21, 0, 0, 7}, {}).data, line);
    EXPECT_EQ(lead::MakeChip("pl2303-h")->deviceClass, 2) << "the legacy H, by its class";
}

// A CP2102 runs its table's rate for what it is asked, a CP2102N divides 48 MHz; the part
// number is the chip's, whatever its product string says.
TEST(LeadChips, Cp210xRunsByItsPart) {
    std::unique_ptr<lead::Chip> cp2102 = lead::MakeChip("cp2102");
    std::unique_ptr<lead::Chip> named = lead::MakeChip("cp2102n-as-cp2102");
    const std::vector<uint8_t> rate7680 = {0x00, 0x1e, 0x00, 0x00};
    cp2102->Handle({0x41, 0x1E, 0, 0, 4}, rate7680);
    named->Handle({0x41, 0x1E, 0, 0, 4}, rate7680);
    EXPECT_DOUBLE_EQ(cp2102->Rate(), 9600);
    EXPECT_DOUBLE_EQ(named->Rate(), 7680);
    EXPECT_EQ(named->Handle({0xC0, 0xFF, 0x370B, 0, 1}, {}).data, (std::vector<uint8_t>{0x20}));
    EXPECT_EQ(named->productString, "CP2102 USB to UART Bridge Controller");
    // In event mode the escape character comes doubled with a 0.
    cp2102->Handle({0x41, 0x15, 0xEC, 0, 0}, {});
    EXPECT_EQ(cp2102->Frame({0x01, 0xEC, 0x02}), (std::vector<uint8_t>{0x01, 0xEC, 0x00, 0x02}));
}

} // namespace
