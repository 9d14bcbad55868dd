// The table of documented read time-outs, run by a Windows program on a COM port whose
// far end is serial_peer (under Wine, a pseudo-terminal). Each case: the case's letter
// goes out, the peer sends its bytes at their times from 150 ms on, and the read starts
// then. Exit status 0 when every case behaves as Windows documents it.
// usage: serial_timeouts_win COMn
#include "fixtures/serial_timeouts.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Where Wine is known to differ from Windows: the case is run and reported, and fails
// the run the day it passes, so that the mark is taken off (as Wine's own todo_wine).
const char* const kTodoWine[] = {
    // Wine 8 takes MAXDWORD, MAXDWORD and a constant as a total for the whole count: it
    // does not return as soon as a byte is there.
    "MAXDWORD interval and multiplier: returns as the first byte comes",
    "MAXDWORD interval and multiplier: returns at once with what is there",
    // Wine 8 multiplies the read multiplier by the count in 32 bits; Windows' serial
    // driver multiplies into 64.
    "a multiplier times the count beyond 32 bits does not wrap to the constant alone",
    nullptr,
};

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool TodoWine(const char* name) {
    for (const char* const* t = kTodoWine; *t != nullptr; ++t) {
        if (std::strcmp(*t, name) == 0) return true;
    }
    return false;
}

double NowMs() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: serial_timeouts_win COMn\n");
        return 2;
    }
    std::string path = std::string("\\\\.\\") + argv[1];
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "serial_timeouts_win: cannot open %s (error %lu)\n", path.c_str(),
                     GetLastError());
        return 1;
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(port, &dcb);

    const bool wine = UnderWine();
    int failed = 0;
    int todo = 0;
    for (int i = 0; i < kTimeoutCaseCount; ++i) {
        const TimeoutCase& c = kTimeoutCases[i];
        PurgeComm(port, PURGE_RXCLEAR | PURGE_RXABORT);
        COMMTIMEOUTS none = {};
        SetCommTimeouts(port, &none);
        const char letter = static_cast<char>('A' + i);
        DWORD written = 0;
        WriteFile(port, &letter, 1, &written, nullptr);
        Sleep(150);
        COMMTIMEOUTS t = c.timeouts;
        bool set = SetCommTimeouts(port, &t) != 0;
        unsigned char buffer[16] = {};
        DWORD got = 99;
        double start = NowMs();
        BOOL ok = ReadFile(port, buffer, c.count, &got, nullptr);
        double ms = NowMs() - start;
        bool right = set && ok && got == c.bytes && ms >= c.ms - 5 && ms <= c.ms + 80;
        bool marked = wine && TodoWine(c.name);
        const char* verdict = right ? (marked ? "FIXED" : "ok") : (marked ? "todo_wine" : "FAIL");
        std::printf("%-9s %s: %lu bytes after %.0f ms (Windows: %lu after %d ms)%s\n", verdict,
                    c.name, got, ms, c.bytes, c.ms, set ? "" : " [SetCommTimeouts failed]");
        if (right == marked) ++failed; // a failure, or a todo_wine that now passes
        if (!right && marked) ++todo;
        // The case's last bytes come before the next case starts.
        Sleep(300);
    }
    CloseHandle(port);
    std::printf("%d of %d cases as Windows documents them%s; %d known Wine differences\n",
                kTimeoutCaseCount - failed - todo, kTimeoutCaseCount, failed ? ", FAILED" : "",
                todo);
    return failed == 0 ? 0 : 1;
}
