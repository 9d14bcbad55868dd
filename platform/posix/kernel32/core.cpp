// Errors, time, handles and streams: the KERNEL32 and C runtime part of the layer.
#include "platform/posix/layer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace w32 {

namespace {
thread_local DWORD lastError = 0;
thread_local std::string lastErrorText;
Backend* backend = nullptr;
std::vector<FILE*> openedStreams;
} // namespace

void Unsupported(const char* function, const char* what) {
#ifndef NDEBUG
    std::fprintf(stderr, "win32 layer: %s: unsupported use: %s\n", function, what);
    std::fflush(stderr);
    std::abort();
#else
    static bool told = false;
    if (!told) {
        std::fprintf(stderr, "win32 layer: %s: unsupported use: %s (call fails)\n", function, what);
        told = true;
    }
    lastError = ERROR_INVALID_PARAMETER;
#endif
}

uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

Backend& CurrentBackend() { return backend != nullptr ? *backend : ConsoleBackend(); }

void SetBackend(Backend* b) { backend = b; }

namespace {
void (*drawingShower)() = nullptr;
} // namespace

void SetDrawingShower(void (*show)()) { drawingShower = show; }

void ShowDrawing() {
    if (drawingShower != nullptr) drawingShower();
}

void SetLastErrorWithText(DWORD code, const std::string& text) {
    lastError = code;
    lastErrorText = text;
}

const std::string& LastErrorText() { return lastErrorText; }

} // namespace w32

using namespace w32;

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD error) {
    lastError = error;
    lastErrorText.clear();
}

DWORD GetTickCount(void) { return static_cast<DWORD>(CurrentBackend().Now()); }

void Sleep(DWORD milliseconds) {
    ShowDrawing();
    CurrentBackend().Sleep(milliseconds);
}

// Not alertable: no APC ever runs here, so the pause is the whole result.
DWORD SleepEx(DWORD milliseconds, BOOL alertable) {
    W32_REQUIRE(!alertable, "alertable waits", 0);
    ShowDrawing();
    CurrentBackend().Sleep(milliseconds);
    return 0;
}

// A file another program holds is not opened for writing, as on Windows; a failure leaves
// its reason as the last error.
FILE* _fsopen(const char* name, const char* mode, int shareFlag) {
    W32_REQUIRE(shareFlag == _SH_DENYNO, "share modes other than _SH_DENYNO", nullptr);
    if (std::strpbrk(mode, "wa+") != nullptr && w32::HeldByAnotherProgram(name)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return nullptr;
    }
    FILE* f = std::fopen(name, mode);
    if (f == nullptr) {
        SetLastError(w32::FileError(errno));
        return nullptr;
    }
    openedStreams.push_back(f);
    return f;
}

int _fcloseall(void) {
    int closed = 0;
    for (FILE* f : openedStreams) {
        if (std::fclose(f) == 0) ++closed;
    }
    openedStreams.clear();
    return closed;
}

// The program's own module: the one whose resources LoadStringA reads.
HMODULE GetModuleHandleA(LPCSTR name) {
    W32_REQUIRE(name == nullptr, "modules other than the program's own", nullptr);
    return reinterpret_cast<HMODULE>(0x10000);
}
