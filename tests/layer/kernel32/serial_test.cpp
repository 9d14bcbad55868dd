// The layer's serial ports over real pseudo-terminals.
#include "fixtures/com1.h"
#include "platform/posix/kernel32/serial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <unistd.h>

namespace {

// A pseudo-terminal listed as COM1 through QUORVEL_PORTS.
class PtyPort : public PtyCom1 {
  protected:
    HANDLE Open() {
        return CreateFileA("\\\\.\\Com1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    // What OpenPort does to a port.
    void Configure(DWORD baud) {
        DCB dcb{};
        ASSERT_TRUE(GetCommState(port, &dcb));
        dcb.BaudRate = baud;
        dcb.fBinary = 1;
        dcb.fParity = 0;
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fDsrSensitivity = 0;
        dcb.fTXContinueOnXoff = 1;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        ASSERT_TRUE(SetCommState(port, &dcb)) << GetLastError();
        COMMTIMEOUTS t{};
        ASSERT_TRUE(GetCommTimeouts(port, &t));
        t.ReadTotalTimeoutConstant = 500;
        ASSERT_TRUE(SetCommTimeouts(port, &t));
    }
};

TEST_F(PtyPort, TheLineRunsAtExactly1200Or7680Baud8N1WithoutFlowControl) {
    port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    for (DWORD baud : {1200u, 7680u}) {
        Configure(baud);
        // Read from the other side of the pty.
        w32::LineSettings s;
        ASSERT_TRUE(w32::line::Read(master, &s));
        EXPECT_EQ(s.baud, baud) << "not a near standard rate";
        EXPECT_EQ(w32::line::Speed(master), baud);
        EXPECT_EQ(s.dataBits, 8);
        EXPECT_EQ(s.parity, 'N');
        EXPECT_EQ(s.stopBits, 1);
        EXPECT_FALSE(s.rtsCts);
        EXPECT_FALSE(s.xonXoffIn);
        EXPECT_FALSE(s.xonXoffOut);
        DCB back{};
        ASSERT_TRUE(GetCommState(port, &back));
        EXPECT_EQ(back.BaudRate, baud);
    }
}

TEST_F(PtyPort, AReadWithNothingToReadReturnsAfterItsTimeOut) {
    port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    Configure(7680);
    unsigned char byte = 0;
    DWORD got = 99;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ReadFile(port, &byte, 1, &got, nullptr));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_EQ(got, 0u);
    EXPECT_GE(ms, 450);
    EXPECT_LE(ms, 550);
}

TEST_F(PtyPort, BytesTravelBothWaysAndPurgeDropsWhatWaits) {
    port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    Configure(7680);
    unsigned char out = 0x08;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, &out, 1, &written, nullptr));
    EXPECT_EQ(written, 1u);
    unsigned char seen = 0;
    ASSERT_EQ(read(master, &seen, 1), 1);
    EXPECT_EQ(seen, 0x08);

    const unsigned char answer[] = {0x08, 0x5A};
    ASSERT_EQ(write(master, answer, 2), 2);
    unsigned char in[2] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(port, in, 2, &got, nullptr));
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(in[1], 0x5A);

    ASSERT_EQ(write(master, answer, 2), 2);
    usleep(50000); // let the bytes arrive
    ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR));
    COMMTIMEOUTS immediate = {MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &immediate));
    ASSERT_TRUE(ReadFile(port, in, 2, &got, nullptr));
    EXPECT_EQ(got, 0u) << "nothing is left after the purge";
}

TEST_F(PtyPort, APortIsOpenedByOneHolderOnly) {
    port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    HANDLE second = Open();
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(CloseHandle(port));
    port = Open();
    EXPECT_NE(port, INVALID_HANDLE_VALUE) << "free again once closed";
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x12345)));
}

TEST_F(PtyPort, OnlyListedPortsOpen) {
    for (const char* name : {"\\\\.\\Com2", "\\\\.\\Com", "\\\\.\\Com1x", "/etc/passwd",
                             "\\\\.\\..\\..\\etc\\passwd", "\\\\.\\Com00001"}) {
        SCOPED_TRACE(name);
        HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    // A listed path that is not a serial device does not open either.
    setenv("QUORVEL_PORTS", "/etc/hostname", 1);
    const GUID comPorts = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    SetupDiDestroyDeviceInfoList(
        SetupDiGetClassDevsA(&comPorts, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
}

TEST(SerialErrors, TheSystemsTextForAnError) {
    w32::SetLastErrorFromErrno(EACCES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    LPSTR text = nullptr;
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_STREQ(text, "Permission denied");
    LocalFree(text);
    char buffer[128];
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_STREQ(buffer, "The system cannot find the file specified.");
}

} // namespace
