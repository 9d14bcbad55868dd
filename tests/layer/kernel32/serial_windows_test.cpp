// Serial ports as Windows treats the ports users have: a rate the adapter's driver
// rounds, an adapter pulled out, a COM number that holds through a re-plug, a port that
// another process holds.
#include "fixtures/com1.h"
#include "fixtures/device_tree.h"
#include "platform/posix/backends/headless.h"
#include "platform/posix/harness/harness.h"
#include "platform/posix/kernel32/holders.h"
#include "platform/posix/kernel32/serial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pwd.h>
#include <set>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string SystemText(DWORD error) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0, text, sizeof text, nullptr);
    return text;
}

// What OpenPort asks of a line, at a rate.
DCB EcuLine(HANDLE port, DWORD baud) {
    DCB dcb{};
    EXPECT_TRUE(GetCommState(port, &dcb));
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

// One scripted port, COM1, whose driver sets rates as the given function does, on a
// virtual clock of the test's own.
class DriverRates : public ScriptedCom1 {
  protected:
    void SetUp() override {
        ScriptedCom1::SetUp();
        DCB start = EcuLine(port, 1200);
        ASSERT_TRUE(SetCommState(port, &start));
    }
};

TEST_F(DriverRates, ARateWithin2PercentIsTakenAndReportedAsAsked) {
    // FTDI and CP2104 exact, PL2303 (HX) and CH340 above, a CH341 with a limited
    // prescaler below, and the edge of 2%.
    for (uint32_t reported : {7680u, 7692u, 7653u, 7833u, 7527u}) {
        SCOPED_TRACE(reported);
        line->driverRate = [reported](uint32_t asked) { return asked == 7680 ? reported : asked; };
        DCB dcb = EcuLine(port, 7680);
        ASSERT_TRUE(SetCommState(port, &dcb));
        EXPECT_EQ(line->Baud(), reported) << "the line runs what the driver set";
        DCB back{};
        ASSERT_TRUE(GetCommState(port, &back));
        EXPECT_EQ(back.BaudRate, 7680u) << "Windows reports the rate asked";
        DCB slow = EcuLine(port, 1200);
        ASSERT_TRUE(SetCommState(port, &slow));
    }
}

TEST_F(DriverRates, ARateFurtherOffFailsRollsBackAndNamesTheRateOffered) {
    // CP2101/2102/2103 round 7680 up to 9600 (or down to 7200), and just past 2%.
    for (uint32_t offered : {9600u, 7200u, 7834u, 7526u}) {
        SCOPED_TRACE(offered);
        line->driverRate = [offered](uint32_t asked) { return asked == 7680 ? offered : asked; };
        DCB dcb = EcuLine(port, 7680);
        dcb.fDtrControl = DTR_CONTROL_ENABLE; // a change the record must not keep
        dcb.Parity = EVENPARITY;
        EXPECT_FALSE(SetCommState(port, &dcb));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(SystemText(ERROR_INVALID_PARAMETER),
                  "The parameter is incorrect: the adapter's driver offers " +
                      std::to_string(offered) + " baud instead of 7680.");
        // All or nothing: the line is as it was, modem lines with the record in force.
        EXPECT_EQ(line->Baud(), 1200u);
        EXPECT_EQ(line->Settings().parity, 'N');
        EXPECT_FALSE(line->Settings().dtr);
        EXPECT_FALSE(line->Settings().rts);
        DCB back{};
        ASSERT_TRUE(GetCommState(port, &back));
        EXPECT_EQ(back.BaudRate, 1200u);
        EXPECT_EQ(back.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
        EXPECT_EQ(back.Parity, NOPARITY);
    }
}

TEST_F(DriverRates, TheModemLinesFollowAnAcceptedRecord) {
    DCB dcb = EcuLine(port, 7680);
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    ASSERT_TRUE(SetCommState(port, &dcb));
    EXPECT_TRUE(line->Settings().dtr);
    EXPECT_FALSE(line->Settings().rts);
    line->driverRate = [](uint32_t) { return 9600u; };
    DCB refused = EcuLine(port, 7680);
    refused.fDtrControl = DTR_CONTROL_DISABLE;
    refused.fRtsControl = RTS_CONTROL_ENABLE;
    EXPECT_FALSE(SetCommState(port, &refused));
    EXPECT_TRUE(line->Settings().dtr) << "the record in force still has DTR on";
    EXPECT_FALSE(line->Settings().rts);
}

TEST_F(DriverRates, APulledOutAdapterFailsEveryCallAtOnce) {
    COMMTIMEOUTS t{0, 0, 500, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &t));
    line->pulledOut = true;
    uint64_t start = clock.Now();
    uint8_t byte = 0x42;
    DWORD n = 7;
    EXPECT_FALSE(WriteFile(port, &byte, 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_FALSE(ReadFile(port, &byte, 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(PurgeComm(port, PURGE_RXCLEAR));
    DCB dcb{};
    EXPECT_FALSE(GetCommState(port, &dcb));
    EXPECT_EQ(clock.Now(), start) << "no call waits out a time-out";
    EXPECT_TRUE(CloseHandle(port));
    port = INVALID_HANDLE_VALUE;

    // It is no longer among the present ports, and opens again once it is back.
    static const GUID kComPorts = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    HDEVINFO set =
        SetupDiGetClassDevsA(&kComPorts, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(OpenCom(1), INVALID_HANDLE_VALUE);
    line->pulledOut = false;
    port = OpenCom(1);
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << "listed once, it opens when it is back";
}

// A handle of a removed device fails as its driver makes it: some give
// ERROR_ACCESS_DENIED rather than ERROR_GEN_FAILURE.
TEST_F(DriverRates, APulledOutAdapterFailsWithItsDriversError) {
    DCB dcb = EcuLine(port, 7680);
    line->pulledOut = true;
    line->pulledOutError = ERROR_ACCESS_DENIED;
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    uint8_t byte = 1;
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(port, &byte, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// The program opens and closes its port twice every second and a half while the ECU
// sleeps, for hours: a closed port's record is taken again, so that what the layer holds
// does not grow with the number of opens.
TEST_F(DriverRates, APortOpenedAndClosedForHoursTakesItsPlaceAgain) {
    ASSERT_TRUE(CloseHandle(port));
    port = OpenCom(1);
    const HANDLE first = port;
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(CloseHandle(port));
        port = OpenCom(1);
        ASSERT_EQ(port, first) << "open " << i;
    }
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(first) + 0x10)))
        << "no other place was made";
}

// A pseudo-terminal listed as COM1; the test holds its master, as the device's far end.
class PtyLine : public PtyCom1 {
  protected:
    void OpenAndConfigure() {
        port = OpenCom(1);
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
        DCB dcb = EcuLine(port, 7680);
        ASSERT_TRUE(SetCommState(port, &dcb));
        COMMTIMEOUTS t{0, 0, 500, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(port, &t));
    }
    static int64_t MsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }
};

// Closing the master hangs the pseudo-terminal up as a pulled-out USB adapter is hung
// up (what had arrived goes with it).
TEST_F(PtyLine, AHungUpLineFailsReadsAndWritesAtOnce) {
    OpenAndConfigure();
    close(master);
    master = -1;
    uint8_t byte = 0;
    DWORD n = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadFile(port, &byte, 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_NE(SystemText(ERROR_GEN_FAILURE).find("has gone away"), std::string::npos)
        << SystemText(ERROR_GEN_FAILURE);
    EXPECT_FALSE(WriteFile(port, &byte, 1, &n, nullptr));
    EXPECT_FALSE(ReadFile(port, &byte, 1, &n, nullptr));
    EXPECT_LT(MsSince(start), 100) << "no call waits out its 500 ms";
}

TEST_F(PtyLine, AReadUnderWayEndsWhenTheLineHangsUp) {
    OpenAndConfigure();
    COMMTIMEOUTS t{0, 0, 3000, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &t));
    std::thread pull([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        close(master);
        master = -1;
    });
    uint8_t byte = 0;
    DWORD n = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadFile(port, &byte, 1, &n, nullptr));
    int64_t took = MsSince(start);
    pull.join();
    EXPECT_GE(took, 90);
    EXPECT_LT(took, 1000) << "not its 3 s time-out";
}

TEST_F(PtyLine, APortAnotherProcessHoldsIsRefusedAndTheHolderNamed) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        prctl(PR_SET_NAME, "ModemManager");
        int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
        char c = fd >= 0 ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    port = OpenCom(1);
    EXPECT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED),
              "Access is denied: the port is in use by ModemManager (process " +
                  std::to_string(child) + ").");
    std::vector<w32::Holder> holders = w32::ProcessesHolding(slave);
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, child);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    port = OpenCom(1);
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << "free once the holder is gone";
}

// A holder may have the device open through another node: /dev/fd/N (or a second node
// made for it) is the same device; a name outside /dev is never looked at, even when it
// leads to the device (a link on a mount that may hang).
TEST_F(PtyLine, AHolderThroughAnotherNodeUnderDevIsFoundAndNothingElseIsLookedAt) {
    int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(stat(slave.c_str(), &st), 0);
    EXPECT_TRUE(w32::IsDeviceNode(slave, slave, st.st_rdev));
    EXPECT_TRUE(w32::IsDeviceNode("/dev/fd/" + std::to_string(fd), slave, st.st_rdev));
    fs::path link = fs::temp_directory_path() / ("quorvel-node-" + std::to_string(getpid()));
    fs::remove(link);
    fs::create_symlink(slave, link);
    EXPECT_FALSE(w32::IsDeviceNode(link.string(), slave, st.st_rdev));
    EXPECT_FALSE(w32::IsDeviceNode("/dev/null", slave, st.st_rdev));
    fs::remove(link);
    close(fd);
}

// A holder the /proc scan cannot see (here this very process, which the scan leaves out,
// as it cannot see another user's program) still keeps the port through its lock.
TEST_F(PtyLine, APortLockedByAHolderTheScanCannotSeeIsRefused) {
    int other = open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(w32::ProcessesHolding(slave).empty());
    port = OpenCom(1);
    EXPECT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED),
              "Access is denied: the port is in use by another program.");
    close(other);
    port = OpenCom(1);
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << "free once the lock is gone";
}

// A device tree built for the test: sysfs, /dev (links to pseudo-terminals) and the
// COM number store.
class DeviceTree : public ::testing::Test, protected FakeDevices {
  protected:
    DeviceTree() : FakeDevices("quorvel-tree") {}
    void SetUp() override {
        saved = w32::CurrentDeviceTree();
        w32::CurrentDeviceTree() = w32::DeviceTree{(root / "sys").string(), (root / "dev").string(),
                                                   (root / "config").string()};
        unsetenv("QUORVEL_PORTS");
    }
    void TearDown() override { w32::CurrentDeviceTree() = saved; }
    std::map<std::string, int> Numbers() {
        std::map<std::string, int> byTty;
        for (const w32::SerialDevice& d : w32::SerialDevices(w32::CurrentDeviceTree()))
            byTty[d.tty] = d.number;
        return byTty;
    }

    w32::DeviceTree saved;
};

TEST_F(DeviceTree, AReplugToAnotherNodeIsReachedThroughTheSameComNumber) {
    AddUsbPort("ttyUSB0", "1-1", "067b", "2303", "USB-Serial Controller", "", 0);
    Node("ttyUSB0");
    ListComPorts();
    ASSERT_EQ(Numbers()["ttyUSB0"], 3);

    // Pulled out, and plugged back in on another socket, it comes back as ttyUSB1. The
    // program has not listed the ports again: its entry still says COM3.
    Unplug("ttyUSB0");
    fs::remove_all(root / "sys/devices/pci0000:00/usb1/1-1");
    AddUsbPort("ttyUSB1", "1-1", "067b", "2303", "USB-Serial Controller", "", 0);
    int replugged = Node("ttyUSB1");
    HANDLE port = OpenCom(3);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    uint8_t byte = 0x0F;
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(port, &byte, 1, &n, nullptr));
    uint8_t seen = 0;
    usleep(20000);
    ASSERT_EQ(read(replugged, &seen, 1), 1) << "the byte reached the re-plugged adapter";
    EXPECT_EQ(seen, 0x0F);
    CloseHandle(port);

    Unplug("ttyUSB1");
    EXPECT_EQ(OpenCom(3), INVALID_HANDLE_VALUE) << "an adapter that is not there";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(DeviceTree, EachPortOfATwoPortAdapterKeepsItsNumber) {
    AddUsbPort("ttyUSB0", "1-2", "0403", "6010", "Dual RS232-HS", "FT4XYZ", 0);
    AddUsbPort("ttyUSB1", "1-2", "0403", "6010", "Dual RS232-HS", "FT4XYZ", 1);
    std::map<std::string, int> first = Numbers();
    EXPECT_EQ(first["ttyUSB0"], 3);
    EXPECT_EQ(first["ttyUSB1"], 4);
    // The next run the kernel names them the other way round.
    fs::remove_all(root / "sys");
    AddUsbPort("ttyUSB1", "1-2", "0403", "6010", "Dual RS232-HS", "FT4XYZ", 0);
    AddUsbPort("ttyUSB0", "1-2", "0403", "6010", "Dual RS232-HS", "FT4XYZ", 1);
    std::map<std::string, int> second = Numbers();
    EXPECT_EQ(second["ttyUSB1"], 3) << "interface 0 keeps COM3";
    EXPECT_EQ(second["ttyUSB0"], 4);
    // Only one of them named anew: interface 1 keeps ttyUSB0, interface 0 is ttyUSB2.
    fs::remove_all(root / "sys");
    AddUsbPort("ttyUSB2", "1-2", "0403", "6010", "Dual RS232-HS", "FT4XYZ", 0);
    AddUsbPort("ttyUSB0", "1-2", "0403", "6010", "Dual RS232-HS", "FT4XYZ", 1);
    std::map<std::string, int> third = Numbers();
    EXPECT_EQ(third["ttyUSB2"], 3);
    EXPECT_EQ(third["ttyUSB0"], 4);
}

// Cheap FTDI clones share one serial number: two of them plugged at once keep a number
// each, by their place on the bus, and the store stays as it is from listing to listing.
TEST_F(DeviceTree, TwoLeadsWithOneSerialNumberKeepANumberEach) {
    AddUsbPort("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
    int first = Node("ttyUSB0");
    ASSERT_EQ(Numbers()["ttyUSB0"], 3) << "alone, its serial number names it";
    AddUsbPort("ttyUSB1", "1-2", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
    int second = Node("ttyUSB1");
    std::map<std::string, int> both = Numbers();
    EXPECT_EQ(both["ttyUSB0"], 3) << "the lead that was there keeps its number";
    EXPECT_EQ(both["ttyUSB1"], 4);
    auto modified = fs::last_write_time(root / "config/comports");
    std::string store;
    std::getline(std::ifstream(root / "config/comports"), store, '\0');
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Numbers(), both) << "listing " << i;
    std::string again;
    std::getline(std::ifstream(root / "config/comports"), again, '\0');
    EXPECT_EQ(again, store);
    EXPECT_EQ(fs::last_write_time(root / "config/comports"), modified) << "not written again";

    // Each number opens its own lead.
    ListComPorts();
    for (auto [number, master] : {std::pair<int, int>{3, first}, std::pair<int, int>{4, second}}) {
        HANDLE port = OpenCom(number);
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << number;
        uint8_t byte = static_cast<uint8_t>(number);
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(port, &byte, 1, &n, nullptr));
        pollfd waiting{master, POLLIN, 0};
        ASSERT_EQ(poll(&waiting, 1, 1000), 1) << "COM" << number << " reached its own lead";
        uint8_t seen = 0;
        ASSERT_EQ(read(master, &seen, 1), 1);
        EXPECT_EQ(seen, byte);
        CloseHandle(port);
    }

    // The second lead pulled out: COM4 opens nothing, and the first, alone again, is
    // reached through COM3 as listed.
    Unplug("ttyUSB1");
    fs::remove_all(root / "sys/devices/pci0000:00/usb1/1-2");
    EXPECT_EQ(OpenCom(4), INVALID_HANDLE_VALUE);
    HANDLE alone = OpenCom(3);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE) << "the lead by its place, now alone";
    CloseHandle(alone);

    // The kernel names them the other way round next time: each keeps its number.
    fs::remove_all(root / "sys");
    AddUsbPort("ttyUSB1", "1-1", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
    AddUsbPort("ttyUSB0", "1-2", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
    std::map<std::string, int> swapped = Numbers();
    EXPECT_EQ(swapped["ttyUSB1"], 3);
    EXPECT_EQ(swapped["ttyUSB0"], 4);
}

// A lead listed alone, then a second with its serial number plugged in before the port
// is opened: the number still opens the first.
TEST_F(DeviceTree, ALeadListedAloneIsFoundByItsNumberOnceAnotherSharesItsSerial) {
    AddUsbPort("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
    int first = Node("ttyUSB0");
    ListComPorts();
    AddUsbPort("ttyUSB1", "1-2", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
    Node("ttyUSB1");
    HANDLE port = OpenCom(3);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    uint8_t byte = 0x0F;
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(port, &byte, 1, &n, nullptr));
    pollfd waiting{first, POLLIN, 0};
    EXPECT_EQ(poll(&waiting, 1, 1000), 1) << "COM3 is still the first lead";
    CloseHandle(port);
}

// The dashboard and quorvel-ports list ports at the same time, each writing the store:
// no entry is lost and no number is given twice.
TEST_F(DeviceTree, TwoProgramsListingAtOnceLoseNoEntry) {
    const std::string config = (root / "config").string();
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (char who : {'A', 'B'}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A tree of its own, which gains an adapter before each listing; both start
            // together.
            FakeDevices tree(std::string("quorvel-tree-") + who);
            close(start[1]);
            char go = 0;
            (void)!read(start[0], &go, 1);
            std::map<std::string, int> kept; // each adapter's number when first listed
            int changed = 0;
            for (int i = 0; i < 60; ++i) {
                tree.AddUsbPort("ttyUSB" + std::to_string(i), "1-" + std::to_string(i + 1), "0403",
                                "6001", "FT232R USB UART", who + std::to_string(i), 0);
                for (const w32::SerialDevice& d : w32::SerialDevices(w32::DeviceTree{
                         (tree.root / "sys").string(), (tree.root / "dev").string(), config})) {
                    auto [at, added] = kept.emplace(d.identity, d.number);
                    changed += !added && at->second != d.number ? 1 : 0;
                }
            }
            _exit(changed == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    usleep(100000); // both have built their trees
    close(start[0]);
    close(start[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "an adapter's number changed between two listings";
    }
    std::map<std::string, int> stored = w32::LoadComNumbers(config + "/comports");
    EXPECT_EQ(stored.size(), 120u) << "every adapter of both";
    std::set<int> numbers;
    for (const auto& [identity, n] : stored)
        numbers.insert(n);
    EXPECT_EQ(numbers.size(), stored.size()) << "no number given twice";
}

TEST_F(DeviceTree, ASerialNumberOfAnyBytesSurvivesTheStore) {
    const std::string odd = "A 1%2\tB\xC3\xA9 ";
    AddUsbPort("ttyUSB0", "1-3", "10c4", "ea60", "CP2102 USB to UART Bridge Controller", odd, 0);
    AddUsbPort("ttyUSB1", "1-4", "1a86", "7523", "USB Serial", "", 0);
    std::map<std::string, int> first = Numbers();
    std::ifstream store(root / "config/comports");
    std::string line;
    int lines = 0;
    while (std::getline(store, line)) {
        if (line.empty() || line[0] == '#') continue;
        ++lines;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 1) << line;
    }
    EXPECT_EQ(lines, 2);
    // Plugged in the other order, each keeps its number.
    fs::remove_all(root / "sys");
    AddUsbPort("ttyUSB0", "1-4", "1a86", "7523", "USB Serial", "", 0);
    AddUsbPort("ttyUSB1", "1-3", "10c4", "ea60", "CP2102 USB to UART Bridge Controller", odd, 0);
    std::map<std::string, int> second = Numbers();
    EXPECT_EQ(second["ttyUSB1"], first["ttyUSB0"]);
    EXPECT_EQ(second["ttyUSB0"], first["ttyUSB1"]);
}

TEST_F(DeviceTree, ProductNamesAreListedAsSysfsGivesThemInUtf8) {
    AddUsbPort("ttyUSB0", "1-7", "067b", "2303", "Prolific Technology Inc. USB-Serial Controller",
               "", 0);
    AddUsbPort("ttyUSB1", "1-8", "1a86", "7523", "Ger\xC3\xA4t f\xC3\xBCr K-Line", "", 0);
    std::vector<w32::PortEntry> ports =
        w32::SysfsPorts((root / "sys").string(), (root / "config").string());
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].friendlyName, "Prolific Technology Inc. USB-Serial Controller (COM3)");
    EXPECT_EQ(ports[1].friendlyName, "Ger\xC3\xA4t f\xC3\xBCr K-Line (COM4)");
}

TEST_F(DeviceTree, ADamagedStoreIsReadForWhatCanBeRead) {
    AddUsbPort("ttyUSB0", "1-5", "0403", "6001", "FT232R USB UART", "A50285BI", 0);
    Write(root / "config/comports", "garbage\n7\n9 usb:%zz\n0 usb:x\n10000 usb:y\n"
                                    "12 usb:0403:6001:A50285BI:0 extra\n"
                                    "8 usb:0403:6001:A50285BI:0\n\xff\xfe\n");
    EXPECT_EQ(Numbers()["ttyUSB0"], 8) << "the one well-formed line counts";
    std::map<std::string, int> stored = w32::LoadComNumbers((root / "config/comports").string());
    EXPECT_EQ(stored.size(), 1u);
}

TEST_F(DeviceTree, TheStoreFoldersAreMadeWhenMissing) {
    w32::CurrentDeviceTree().config = (root / "a/b/quorvel").string();
    AddUsbPort("ttyACM0", "1-6", "2341", "0043", "Arduino Uno", "", 0);
    EXPECT_EQ(Numbers()["ttyACM0"], 3);
    EXPECT_TRUE(fs::exists(root / "a/b/quorvel/comports"));
}

TEST(ComNumberStore, WithoutHomeTheHomeFolderComesFromThePasswordDatabase) {
    auto variable = [](const char* name) {
        const char* value = getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    const std::string home = variable("HOME");
    const std::string xdg = variable("XDG_CONFIG_HOME");
    unsetenv("HOME");
    unsetenv("XDG_CONFIG_HOME");
    std::string dir = w32::DefaultConfigDir();
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
    if (!xdg.empty()) setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    const passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(dir, std::string(pw->pw_dir) + "/.config/quorvel");
    EXPECT_EQ(dir.rfind("/tmp", 0), std::string::npos);
}

} // namespace
