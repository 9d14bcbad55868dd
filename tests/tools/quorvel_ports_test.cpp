// quorvel-ports' listing over device trees built for the test: each chip family, a
// skipped on-board slot, a port another process holds, a user without the right, and
// the causes on the system (brltty, ModemManager, the group).
#include "fixtures/device_tree.h"
#include "platform/portinfo.h"
#include "platform/posix/backends/headless.h"
#include "platform/posix/kernel32/serial.h"
#include "platform/posix/setupapi/comports.h"
#include "platform/posix/setupapi/portinfo_posix.h"
#include "tools/common/texts.h"
#include "tools/quorvel-ports/chips.h"
#include "tools/quorvel-ports/probe.h"
#include "tools/quorvel-ports/report.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using ports::RateVerdict;

TEST(Chips, EachFamilyAndWhatItMakesOf7680Baud) {
    struct Case {
        const char* vendor;
        const char* product;
        const char* name;
        const char* driver;
        const char* family;
        RateVerdict rate;
        uint32_t runs;
    };
    const Case cases[] = {
        {"0403", "6001", "FT232R USB UART", "ftdi_sio", "FTDI FT232R", RateVerdict::Exact, 7680},
        {"0403", "6015", "FT230X Basic UART", "ftdi_sio", "FTDI FT-X", RateVerdict::Exact, 7680},
        {"0403", "6014", "", "ftdi_sio", "FTDI FT232H", RateVerdict::Exact, 7680},
        {"1a86", "7523", "USB Serial", "ch341", "WCH CH340/CH341", RateVerdict::Near, 7692},
        {"067b", "2303", "USB-Serial Controller", "pl2303", "Prolific PL2303", RateVerdict::Near,
         7692},
        {"067b", "23a3", "", "pl2303", "Prolific PL2303G", RateVerdict::Exact, 7680},
        {"10c4", "ea60", "CP2102 USB to UART Bridge Controller", "cp210x", "Silicon Labs CP2102",
         RateVerdict::Impossible, 9600},
        {"10c4", "ea60", "CP2102N USB to UART Bridge Controller", "cp210x", "Silicon Labs CP2102N",
         RateVerdict::Exact, 7680},
        {"10c4", "ea60", "CP2104 USB to UART Bridge Controller", "cp210x", "Silicon Labs CP2104",
         RateVerdict::Exact, 7680},
        {"10c4", "ea60", "My lead", "cp210x", "Silicon Labs CP210x", RateVerdict::Unknown, 0},
        {"2341", "0043", "Arduino Uno", "cdc_acm", "USB CDC ACM", RateVerdict::Unknown, 0},
        {"", "", "", "serial8250", "on-board UART", RateVerdict::Exact, 7680},
        {"dead", "beef", "", "", "", RateVerdict::Unknown, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        ports::Chip chip = ports::IdentifyChip(c.vendor, c.product, c.name, c.driver);
        EXPECT_EQ(chip.family.rfind(c.family, 0), 0u) << chip.family;
        EXPECT_EQ(chip.rate, c.rate);
        EXPECT_EQ(chip.runs, c.runs);
    }
}

TEST(Chips, TheDriversAnswerWhereItDiffersFromTheRateAsked) {
    ports::Chip ch340 = ports::IdentifyChip("1a86", "7523", "", "ch341");
    ports::Rate r = ports::RateFor(ch340, 7680);
    EXPECT_EQ(r.verdict, RateVerdict::Near) << "the driver keeps the rate asked; the chip does not";
    EXPECT_EQ(r.text, "near: 7692 baud, +0.16% (a UART copes), though the driver reports 7680");
    ports::Chip unknown = ports::IdentifyChip("10c4", "ea60", "My lead", "cp210x");
    EXPECT_EQ(ports::RateFor(unknown, 9600).verdict, RateVerdict::Impossible);
    EXPECT_EQ(ports::RateFor(unknown, 9600).text,
              "impossible: the chip runs 9600 baud instead (+25.00%), as the driver reports");
    EXPECT_EQ(ports::RateFor(unknown, 7680).verdict, RateVerdict::Exact);
    EXPECT_EQ(ports::RateFor(unknown, 0).verdict, RateVerdict::Unknown);
    EXPECT_EQ(ports::RateFor(ports::IdentifyChip("", "", "", "cdc_acm"), 7653).verdict,
              RateVerdict::Near);
}

// A UART copes with about 2%: 153 baud either side of 7680 is near, 154 is too far.
TEST(Chips, NearEndsAtTwoPercentEitherSide) {
    ports::Chip unknown = ports::IdentifyChip("dead", "beef", "", "pl2303");
    for (auto [rate, verdict] : {std::pair<uint32_t, RateVerdict>{7833, RateVerdict::Near},
                                 {7834, RateVerdict::Impossible},
                                 {7527, RateVerdict::Near},
                                 {7526, RateVerdict::Impossible}}) {
        EXPECT_EQ(ports::RateFor(unknown, rate, "pl2303").verdict, verdict) << rate;
    }
}

// pl2303 and cp210x report what the chip runs (cp210x asks the chip for its part, whatever
// its product string says); ch341 reports the rate asked, so its chip's table decides.
TEST(Chips, ADriverThatReportsWhatTheChipRunsIsBelievedBeforeTheTable) {
    ports::Chip named2102 =
        ports::IdentifyChip("10c4", "ea60", "CP2102 USB to UART Bridge Controller", "cp210x");
    ports::Rate cp2102n = ports::RateFor(named2102, 7680, "cp210x");
    EXPECT_EQ(cp2102n.verdict, RateVerdict::Exact) << "a CP2102N under a CP2102's name";
    EXPECT_EQ(cp2102n.text, "exact, as the driver reports");
    EXPECT_EQ(ports::RateFor(named2102, 9600, "cp210x").verdict, RateVerdict::Impossible);
    ports::Chip pl2303 = ports::IdentifyChip("067b", "2303", "USB-Serial Controller", "pl2303");
    EXPECT_EQ(ports::RateFor(pl2303, 7680, "pl2303").text, "exact, as the driver reports")
        << "an HXN sends the rate itself";
    EXPECT_EQ(ports::RateFor(pl2303, 7682, "pl2303").text,
              "near: 7682 baud, +0.03% (a UART copes), as the driver reports");
    ports::Chip ch340 = ports::IdentifyChip("1a86", "7523", "", "ch341-uart");
    EXPECT_EQ(ports::RateFor(ch340, 7680, "ch341-uart").text,
              "near: 7692 baud, +0.16% (a UART copes), though the driver reports 7680");
}

// Windows' drivers take a rate or refuse it and say no more: a CP2102 takes 7680 and runs
// 9600, so a taken rate is no verdict; the chip behind the hardware id is.
TEST(Chips, ARateADriverOnlyTookIsJudgedByTheChip) {
    ports::Chip cp2102 =
        ports::IdentifyChip("10c4", "ea60", "CP2102 USB to UART Bridge Controller", "silabser");
    ports::Rate r = ports::RateFor(cp2102, 7680, "silabser", true);
    EXPECT_EQ(r.verdict, RateVerdict::Impossible);
    EXPECT_EQ(r.text, "impossible: the chip runs 9600 baud instead (+25.00%), by what the chip "
                      "is; the driver took 7680 baud without saying what it set");
    ports::Chip cp210x =
        ports::IdentifyChip("10c4", "ea60", "Silicon Labs CP210x USB to UART Bridge", "silabser");
    ports::Rate unknown = ports::RateFor(cp210x, 7680, "silabser", true);
    EXPECT_EQ(unknown.verdict, RateVerdict::Unknown) << "not exact: the part is not named";
    EXPECT_EQ(unknown.text, "not known: the driver took 7680 baud, which does not say what the "
                            "chip runs; only the probe tells");
    ports::Chip ftdi = ports::IdentifyChip("0403", "6001", "USB Serial Port", "FTDIBUS");
    EXPECT_EQ(ports::RateFor(ftdi, 7680, "FTDIBUS", true).verdict, RateVerdict::Exact);
}

// On Windows a CP210x lead's description never names its part, and its driver takes
// 7680 baud whatever the chip runs: the listing does not call it usable, and the probe of
// a silent ECU behind it names the chip as a cause.
TEST(Chips, ALeadWhoseChipMayNotRunTheRateIsNotCalledUsable) {
    portinfo::Port p;
    p.number = 3;
    p.friendlyName = "Silicon Labs CP210x USB to UART Bridge (COM3)";
    p.devicePath = "\\\\.\\COM3";
    p.driver = "silabser";
    p.vendorId = "10c4";
    p.productId = "ea60";
    p.product = "Silicon Labs CP210x USB to UART Bridge";
    p.driverRate = 7680;
    p.driverOnlyAccepted = true;
    std::ostringstream out;
    EXPECT_EQ(ports::WriteListing(out, {p}, {}), 0);
    EXPECT_EQ(out.str().find("can use it"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("No port the dashboard is sure to read through. Try quorvel-ports "
                             "--probe COM3 with the lead on the car and the ignition on: the "
                             "probe tells.\n"),
              std::string::npos)
        << out.str();
    const std::string doubt = ports::ChipDoubt(p, false);
    EXPECT_NE(doubt.find("Silicon Labs CP210x"), std::string::npos) << doubt;
    EXPECT_NE(doubt.find("CP2101, CP2102 and CP2103 cannot"), std::string::npos) << doubt;
    EXPECT_EQ(ports::ChipDoubt(p, true), "") << "where the driver runs what it takes, no doubt";
    p.product = "CP2102N USB to UART Bridge Controller";
    EXPECT_EQ(ports::ChipDoubt(p, false), "") << "a part that names itself";
    // An on-board port on Windows: its service is "Serial".
    EXPECT_EQ(ports::IdentifyChip("", "", "Communications Port", "Serial").rate,
              RateVerdict::Exact);
}

// What the probe makes of what came back.
TEST(Probe, TheVerdictSaysWhatCameBack) {
    struct Case {
        const char* name;
        int answered, echoed, wakeEchoes;
        const char* chipDoubt;
        const char* begins;
    } cases[] = {
        {"all", 17, 17, 3, "", "The ECU answered all 17 registers"},
        {"some", 5, 17, 3, "", "5 of 17 registers answered: the line loses bytes"},
        {"no echo", 0, 17, 0, "",
         "One byte came back for each request and none during the "
         "wake-up: this interface does not echo"},
        // The third wake-up byte's echo may still be on its way when the port is reopened.
        {"echo, ECU silent", 0, 17, 2, "",
         "The interface echoes the requests but the ECU does not answer. Switch the ignition on"},
        {"nothing", 0, 0, 0, "", "Nothing came back, not even the interface's echo"},
    };
    for (const Case& c : cases) {
        ports::ProbeResult r;
        r.answered = c.answered;
        r.echoed = c.echoed;
        r.wakeEchoes = c.wakeEchoes;
        r.chipDoubt = c.chipDoubt;
        std::ostringstream out;
        ports::WriteProbeVerdict(out, r);
        EXPECT_NE(out.str().find("\n" + std::string(c.begins)), std::string::npos)
            << c.name << ":\n"
            << out.str();
        EXPECT_EQ(out.str().find("the lead's chip may be the cause"), std::string::npos) << c.name;
    }
    ports::ProbeResult silent;
    silent.echoed = 17;
    silent.wakeEchoes = 3;
    silent.chipDoubt = "Silicon Labs CP210x, which may run 9600.";
    std::ostringstream out;
    ports::WriteProbeVerdict(out, silent);
    EXPECT_NE(out.str().find("If all that is so, the lead's chip may be the cause: Silicon Labs "
                             "CP210x, which may run 9600."),
              std::string::npos)
        << out.str();
}

// The readings' table in every language: each value in one column after its name, with at
// least one space between (Polish, Spanish and French names are long), and the language's
// decimal separator.
TEST(Probe, TheReadingsStandInOneColumnInEveryLanguage) {
    struct Case {
        const char* lang;
        const char* volts;
    } cases[] = {{"C.UTF-8", "14.00 V"},     {"it_IT.UTF-8", "14,00 V"}, {"pl_PL.UTF-8", "14,00 V"},
                 {"es_ES.UTF-8", "14,00 V"}, {"fr_FR.UTF-8", "14,00 V"}, {"de_DE.UTF-8", "14,00 V"},
                 {"tr_TR.UTF-8", "14,00 V"}, {"pt_BR.UTF-8", "14,00 V"}};
    ports::ProbeResult r;
    r.answered = 17;
    r.echoed = 17;
    r.wakeEchoes = 3;
    r.registers.batteryRaw = 224; // 14 V
    ConvertRegisters(r.registers, &r.readings);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        setenv("LANG", c.lang, 1);
        std::ostringstream out;
        ports::WriteProbeVerdict(out, r);
        std::istringstream lines(out.str());
        std::string line;
        std::getline(lines, line);
        std::getline(lines, line); // the table's heading
        size_t column = 0;
        int rows = 0;
        for (; rows < 9 && std::getline(lines, line); ++rows) {
            // The value and its units are the line's last two words; letters are counted,
            // not bytes.
            const size_t units = line.rfind(' ');
            ASSERT_NE(units, std::string::npos) << line;
            const size_t value = line.rfind(' ', units - 1) + 1;
            const size_t at = texts::Letters(line.substr(0, value));
            if (rows == 0) column = at;
            EXPECT_EQ(at, column) << line;
            // Each reading under its own name, in the log's order.
            if (std::string(c.lang) == "C.UTF-8") {
                static const char* const kNames[9] = {
                    "engine speed",    "water temperature", "air temperature",
                    "throttle angle",  "injector time",     "ignition advance",
                    "battery voltage", "manifold pressure", "VAE"};
                EXPECT_EQ(line.rfind("  " + std::string(kNames[rows]) + " ", 0), 0u) << line;
            }
        }
        EXPECT_EQ(rows, 9);
        EXPECT_NE(out.str().find(" " + std::string(c.volts) + "\n"), std::string::npos)
            << out.str();
    }
    unsetenv("LANG");
}

// A lead whose chip cannot run 7680 baud (a CP2102 on Linux, whose driver reports the 9600
// it runs): the probe wakes the ECU at 1200 baud, then tells the refused rate as such,
// not as a port that cannot be opened.
TEST(Probe, ARefusedRateIsToldAsARefusedRate) {
    w32::VirtualClockBackend clock;
    w32::SetBackend(&clock);
    auto line = std::make_shared<w32::ScriptedLine>();
    line->driverRate = [](uint32_t asked) { return asked == 7680 ? 9600u : asked; };
    auto script = std::make_shared<w32::PortListScript>();
    w32::PortEntry entry;
    entry.number = 1;
    entry.friendlyName = "CP2102 USB to UART Bridge Controller (COM1)";
    entry.line = line;
    script->ports.push_back(entry);
    w32::SetPortListScript(script);
    std::ostringstream out;
    ports::ProbeResult r = ports::RunProbe("COM1", out);
    w32::SetPortListScript(nullptr);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.openProblem, "");
    EXPECT_NE(r.rateProblem.find("offers 9600 baud instead of 7680"), std::string::npos)
        << r.rateProblem;
    EXPECT_EQ(line->Written(), (std::vector<uint8_t>{0x0F, 0xAA, 0xCC}));
}

// A CP2102N whose vendor left it a CP2102's product string: its driver asks the chip for
// its part and reports 7680, and the listing says so rather than "impossible".
TEST(Chips, AProductStringTheDriverBeliesIsToldAsSuch) {
    portinfo::Port p;
    p.number = 3;
    p.friendlyName = "CP2102 USB to UART Bridge Controller (COM3)";
    p.devicePath = "/dev/ttyUSB0";
    p.driver = "cp210x";
    p.vendorId = "10c4";
    p.productId = "ea60";
    p.product = "CP2102 USB to UART Bridge Controller";
    p.driverRate = 7680;
    std::ostringstream out;
    EXPECT_EQ(ports::WriteListing(out, {p}, {}), 1);
    EXPECT_NE(out.str().find("USB:        10c4:ea60, Silicon Labs CP2102 (so its product string "
                             "says; its driver, which asks the chip, reports 7680 baud: another "
                             "part under that name)"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("7680 baud:  exact, as the driver reports"), std::string::npos);
    EXPECT_NE(out.str().find("1 port the dashboard can use: COM3. Try quorvel-ports --probe COM3 "),
              std::string::npos)
        << out.str();
}

// A system built for the test: sysfs, /dev, udev rules and /proc.
class PortsListing : public ::testing::Test, protected FakeDevices {
  protected:
    PortsListing() : FakeDevices("quorvel-ports") {}
    void SetUp() override {
        fs::create_directories(root / "rules");
        fs::create_directories(root / "proc");
        fs::permissions(root, fs::perms::all);
        savedTree = w32::CurrentDeviceTree();
        savedRoots = portinfo::Roots();
        w32::CurrentDeviceTree() = w32::DeviceTree{(root / "sys").string(), (root / "dev").string(),
                                                   (root / "config").string()};
        portinfo::Roots().udevRules = {(root / "rules").string()};
        portinfo::Roots().proc = (root / "proc").string();
        unsetenv("QUORVEL_PORTS");
    }
    void TearDown() override {
        w32::CurrentDeviceTree() = savedTree;
        portinfo::Roots() = savedRoots;
    }

    // A USB adapter's port with its driver and a device node.
    void AddUsb(const std::string& tty, const std::string& port, const std::string& vendor,
                const std::string& product, const std::string& name, const std::string& driver) {
        AddUsbPort(tty, port, vendor, product, name, "", 0);
        Driver(tty, driver);
        Write(root / "dev" / tty, "");
    }
    // An on-board UART with its driver and a device node.
    void AddUart(const std::string& tty, const std::string& type) {
        FakeDevices::AddUart(tty, type);
        Driver(tty, "serial8250");
        Write(root / "dev" / tty, "");
    }
    // The tty's device node leads to a fresh pseudo-terminal; returns its name.
    std::string PtyNode(const std::string& tty) { return ptsname(Node(tty)); }
    std::string Listing(bool askDrivers, int* usable = nullptr,
                        const std::string& command = "quorvel-ports") {
        std::vector<portinfo::Port> ports = portinfo::ListPorts(askDrivers);
        std::ostringstream out;
        int n = ports::WriteListing(out, ports, portinfo::SystemFindings(ports), command);
        if (usable != nullptr) *usable = n;
        return out.str();
    }

    w32::DeviceTree savedTree;
    portinfo::PosixRoots savedRoots;
};

TEST_F(PortsListing, EachFamilyInTheDashboardsOrderAndTheSkippedSlot) {
    AddUsb("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "ftdi_sio");
    AddUsb("ttyUSB1", "1-2", "10c4", "ea60", "CP2102 USB to UART Bridge Controller", "cp210x");
    AddUsb("ttyUSB2", "1-3", "1a86", "7523", "USB Serial", "ch341-uart");
    AddUsb("ttyUSB3", "1-4", "067b", "2303", "USB-Serial Controller", "pl2303");
    AddUsb("ttyACM0", "1-5", "2341", "0043", "Arduino Uno", "cdc_acm");
    AddUart("ttyS0", "4");
    AddUart("ttyS1", "0");
    int usable = 0;
    std::string text = Listing(false, &usable);
    // The list's case-insensitive order: Arduino, Communications, CP2102, FT232R, USB...
    std::vector<std::string> order = {"COM3  Arduino Uno (COM3)",
                                      "COM1  Communications Port (COM1)",
                                      "COM5  CP2102 USB to UART Bridge Controller (COM5)",
                                      "COM4  FT232R USB UART (COM4)",
                                      "COM6  USB Serial (COM6)",
                                      "COM7  USB-Serial Controller (COM7)"};
    size_t at = 0;
    for (const std::string& line : order) {
        size_t found = text.find(line + "\n");
        ASSERT_NE(found, std::string::npos) << line << "\n" << text;
        EXPECT_GT(found, at) << line;
        at = found;
    }
    for (const char* line :
         {"  USB:        0403:6001, FTDI FT232R (or FT232BM/AM)\n",
          "  7680 baud:  impossible: the chip runs 9600 baud instead (+25.00%)\n",
          "  USB:        1a86:7523, WCH CH340/CH341 (the driver reports 7680 but the chip's "
          "divisor gives about 7692)\n",
          "  7680 baud:  near: 7692 baud, +0.16% (a UART copes)\n",
          "  USB:        2341:0043, USB CDC ACM (a microcontroller's firmware) (the firmware "
          "decides what it makes of 7680 baud)\n",
          "  chip:       on-board UART (8250/16550)\n", "Left out by the dashboard:\n  ",
          "/dev/ttyS1: an on-board serial port slot with no "
          "UART behind it (type 0)\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_EQ(usable, 4) << "all but the CP2102 and the CDC lead, whose firmware is not known\n"
                         << text;
    EXPECT_NE(text.find("  -> whether the dashboard can read through it is not known: the chip "
                        "may not run 7680 baud; try quorvel-ports --probe COM3 with the lead on "
                        "the car and the ignition on\n"),
              std::string::npos)
        << text;
    // One port to probe, in a command that can be run as it stands.
    EXPECT_NE(text.find("4 ports the dashboard can use: COM1, COM4, COM6, COM7. Try "
                        "quorvel-ports --probe COM1 with the lead on the car and the ignition "
                        "on.\n"),
              std::string::npos)
        << text;
}

TEST_F(PortsListing, AskingTheDriverOpensAFreePortOnly) {
    AddUsb("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "ftdi_sio");
    PtyNode("ttyUSB0");
    std::string text = Listing(true);
    EXPECT_NE(text.find("  7680 baud:  exact, as the driver reports\n"), std::string::npos) << text;
}

TEST_F(PortsListing, APortAnotherProcessHoldsIsNamedAndNotUsable) {
    AddUsb("ttyUSB0", "1-1", "067b", "2303", "USB-Serial Controller", "pl2303");
    std::string slave = PtyNode("ttyUSB0");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        prctl(PR_SET_NAME, "minicom");
        int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
        (void)!write(ready[1], fd >= 0 ? "y" : "n", 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    int usable = -1;
    std::string text = Listing(true, &usable);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_NE(text.find("  held by:    minicom (process " + std::to_string(child) +
                        "): close it, or the two split the port's bytes\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("(the driver was not asked: another program has it)"), std::string::npos);
    EXPECT_EQ(usable, 0);
    EXPECT_NE(text.find("No port the dashboard can use."), std::string::npos);
}

// A user without the right to the device: told to join its group where that is dialout,
// and where it is root (a system without dialout's udev rule), never told to join root's
// group but to give such devices to dialout.
TEST_F(PortsListing, AUserWithoutTheRightIsToldWhichGroupToJoin) {
    if (geteuid() != 0) GTEST_SKIP() << "becoming another user needs root";
    const group* dialout = getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "this system has no group dialout";
    AddUsb("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "ftdi_sio");
    fs::path node = root / "dev/ttyUSB0";
    struct Case {
        gid_t group;
        std::vector<std::string> told;
    } cases[] = {
        {dialout->gr_gid,
         {"  access:     no (Permission denied): join the group \"dialout\"",
          "You (nobody) are not in the group \"dialout\"",
          "fix: sudo adduser nobody dialout, then log out and in again."}},
        {0,
         {"  access:     no (Permission denied): the device belongs to the group \"root\"",
          node.string() + " belongs to the group \"root\", which no one should join",
          "fix: Give such devices to the group dialout with a udev rule: SUBSYSTEM==\"tty\", "
          "KERNEL==\"ttyUSB*\", GROUP=\"dialout\", MODE=\"0660\" in "
          "/etc/udev/rules.d/99-quorvel.rules; plug the lead in again, then sudo adduser "
          "nobody dialout"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.group);
        ASSERT_EQ(chown(node.c_str(), 0, c.group), 0);
        fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write |
                                  fs::perms::group_read | fs::perms::group_write);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // nobody, in no extra group: a user who has not joined dialout.
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
            std::string text = Listing(false);
            (void)!write(out[1], text.data(), text.size());
            _exit(0);
        }
        close(out[1]);
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        for (const std::string& told : c.told)
            EXPECT_NE(text.find(told), std::string::npos) << told << "\n" << text;
        EXPECT_EQ(text.find("adduser nobody root"), std::string::npos) << text;
    }
}

TEST_F(PortsListing, BrlttyAndModemManagerAreToldWithTheirFixes) {
    AddUsb("ttyUSB0", "1-1", "1a86", "7523", "USB Serial", "ch341-uart");
    Write(root / "rules/85-brltty.rules",
          "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", GOTO=\"brltty\"");
    Write(root / "proc/812/comm", "ModemManager");
    Write(root / "proc/90/comm", "bash");
    std::string text = Listing(false);
    EXPECT_NE(text.find("! brltty's udev rules (" + (root / "rules/85-brltty.rules").string() +
                        ") take CH340 and CP210x adapters"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules"),
              std::string::npos);
    EXPECT_NE(text.find("! ModemManager is running"), std::string::npos) << text;
    EXPECT_NE(text.find("ENV{ID_MM_DEVICE_IGNORE}=\"1\""), std::string::npos);
}

TEST_F(PortsListing, NoPortAtAll) {
    int usable = -1;
    std::string text = Listing(false, &usable);
    EXPECT_EQ(usable, 0);
    EXPECT_NE(text.find("none: the dashboard would say it cannot find any serial port."),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("On this system:"), std::string::npos) << "nothing to tell";
    // What to run again, as the user can run it where they read it.
    text = Listing(false, &usable, "/opt/quorvel/bin/quorvel-ports");
    EXPECT_NE(text.find("Plug the lead in and run /opt/quorvel/bin/quorvel-ports again; if it "
                        "still does not appear"),
              std::string::npos)
        << text;
}

} // namespace
