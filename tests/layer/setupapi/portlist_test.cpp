// The layer's port list: from a sysfs tree built for the test, with COM numbers that
// hold from run to run, or from QUORVEL_PORTS.
#include "fixtures/device_tree.h"
#include "platform/posix/kernel32/serial.h"
#include "platform/posix/setupapi/comports.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A sysfs tree with an on-board UART, an empty UART slot, a virtual terminal and two
// USB adapters.
class SysfsPorts : public ::testing::Test, protected FakeDevices {
  protected:
    SysfsPorts() : FakeDevices("quorvel-sysfs") {}
    void SetUp() override {
        AddUart("ttyS0", "4");
        AddUart("ttyS1", "0");
        fs::create_directories(root / "sys/class/tty/tty0");
        AddUsbPort("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
        AddUsbPort("ttyACM0", "1-2", "2341", "0043", "Arduino Uno (COM-free)", "", 0);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& p : w32::SysfsPorts((root / "sys").string(), config.string())) {
            names.push_back(p.friendlyName + " " + p.devicePath +
                            (p.hardwareId.empty() ? "" : " " + p.hardwareId));
        }
        return names;
    }

    const fs::path config = root / "config";
};

TEST_F(SysfsPorts, PresentDevicesWithFriendlyNamesAndStableNumbers) {
    const std::vector<std::string> expected = {
        "Serial port (COM3) /dev/ttyACM0 USB\\VID_2341&PID_0043", // its product name holds "COM"
        "Communications Port (COM1) /dev/ttyS0",
        "FT232R USB UART (COM4) /dev/ttyUSB0 USB\\VID_0403&PID_6001",
    };
    EXPECT_EQ(Names(), expected);
    EXPECT_EQ(Names(), expected) << "the same numbers on the next run";

    // The Arduino is unplugged: the FTDI adapter keeps its number, and a new adapter
    // does not take the absent one's.
    fs::remove_all(root / "sys/class/tty/ttyACM0");
    AddUsbPort("ttyUSB1", "1-3", "1a86", "7523", "USB Serial", "", 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{
                           "Communications Port (COM1) /dev/ttyS0",
                           "FT232R USB UART (COM4) /dev/ttyUSB0 USB\\VID_0403&PID_6001",
                           "USB Serial (COM5) /dev/ttyUSB1 USB\\VID_1A86&PID_7523"}));
}

TEST_F(SysfsPorts, NumbersStayUniqueWhenTheRecordIsUnreadable) {
    fs::create_directories(config);
    std::ofstream(config / "comports")
        << "garbage\n4 usb:0403:6001:A50285BI\n4 usb:2341:0043@1-2\n";
    auto ports = w32::SysfsPorts((root / "sys").string(), config.string());
    std::set<int> numbers;
    for (const auto& p : ports)
        EXPECT_TRUE(numbers.insert(p.number).second) << p.friendlyName;
    EXPECT_EQ(ports.size(), 3u);
}

// Every number from 3 to 255 held for leads that are not plugged in: a new lead takes 256,
// and keeps it from run to run, the others' numbers with it.
TEST_F(SysfsPorts, ANumberPast255ReadsBackAsItWasWritten) {
    fs::create_directories(config);
    {
        std::ofstream store(config / "comports");
        for (int n = 3; n <= 255; ++n)
            store << n << " usb:dead:beef:S" << n << ":0\n";
    }
    auto number = [this] {
        for (const auto& p : w32::SysfsPorts((root / "sys").string(), config.string()))
            if (p.devicePath == "/dev/ttyUSB0") return p.number;
        return 0;
    };
    const int first = number();
    EXPECT_GT(first, 255);
    EXPECT_EQ(number(), first) << "the same number on the next run";
    std::map<std::string, int> kept = w32::LoadComNumbers((config / "comports").string());
    EXPECT_EQ(kept["usb:0403:6001:A50285BI:0"], first) << "the store holds it";
    EXPECT_EQ(kept["usb:dead:beef:S200:0"], 200) << "absent leads keep theirs";
}

TEST(EnvPorts, QuorvelPortsReplacesTheListInItsOrder) {
    setenv("QUORVEL_PORTS", "/dev/pts/9:/tmp/com7link::/dev/ttyV0", 1);
    auto ports = w32::PresentPorts();
    unsetenv("QUORVEL_PORTS");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].friendlyName, "9 (COM1)");
    EXPECT_EQ(ports[0].devicePath, "/dev/pts/9");
    EXPECT_EQ(ports[1].friendlyName, "Serial port (COM2)") << "no second COM in the name";
    EXPECT_EQ(ports[2].friendlyName, "ttyV0 (COM3)");
}

// QUORVEL_PORTS set but empty (a shell's QUORVEL_PORTS=) is as good as unset: the
// system's ports; separators alone name no port at all.
TEST(EnvPorts, AnEmptyQuorvelPortsMeansTheSystemsList) {
    FakeDevices tree("quorvel-env-ports");
    tree.AddUart("ttyS0", "4");
    w32::DeviceTree saved = w32::CurrentDeviceTree();
    w32::CurrentDeviceTree() =
        w32::DeviceTree{(tree.root / "sys").string(), (tree.root / "dev").string(),
                        (tree.root / "config").string()};
    setenv("QUORVEL_PORTS", "", 1);
    auto ports = w32::PresentPorts();
    setenv("QUORVEL_PORTS", ":", 1);
    auto none = w32::PresentPorts();
    unsetenv("QUORVEL_PORTS");
    w32::CurrentDeviceTree() = saved;
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].friendlyName, "Communications Port (COM1)");
    EXPECT_TRUE(none.empty());
}

} // namespace

// The program lists the ports at every retry of a lead whose rate is refused, for hours:
// a destroyed list's handle is taken again, so that what the layer holds stays as it is.
TEST(DeviceLists, ADestroyedListsPlaceIsTakenAgain) {
    setenv("QUORVEL_PORTS", "/dev/pts/9", 1);
    const GUID comPorts = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    const DWORD flags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
    HDEVINFO first = SetupDiGetClassDevsA(&comPorts, nullptr, nullptr, flags);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    HDEVINFO held = SetupDiGetClassDevsA(&comPorts, nullptr, nullptr, flags);
    ASSERT_NE(held, first);
    ASSERT_TRUE(SetupDiDestroyDeviceInfoList(first));
    for (int i = 0; i < 10000; ++i) {
        HDEVINFO again = SetupDiGetClassDevsA(&comPorts, nullptr, nullptr, flags);
        ASSERT_EQ(again, first) << "listing " << i;
        ASSERT_TRUE(SetupDiDestroyDeviceInfoList(again));
    }
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    EXPECT_TRUE(SetupDiEnumDeviceInfo(held, 0, &device)) << "the list still held is whole";
    EXPECT_FALSE(SetupDiEnumDeviceInfo(first, 0, &device)) << "a destroyed list is gone";
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(held));
    unsetenv("QUORVEL_PORTS");
}
