// Windows XP lacks GetTickCount64, which the C++ runtime of MinGW's POSIX thread model
// (winpthreads, behind function-local statics and condition variables) calls: a program
// that imports it is refused by XP's loader. The import is answered here instead: the
// system's own GetTickCount64 where Windows has it (Vista and later), found at run time;
// on XP the performance counter, which never wraps, in milliseconds. Callers only take
// differences of it.
#include <windows.h>

#include <atomic>

namespace {

typedef ULONGLONG(WINAPI* TickCount64Fn)();

// The performance counter in milliseconds, for XP.
ULONGLONG WINAPI CounterTickCount64() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER count;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0 ||
        !QueryPerformanceCounter(&count)) {
        return GetTickCount();
    }
    const ULONGLONG f = static_cast<ULONGLONG>(frequency.QuadPart);
    const ULONGLONG c = static_cast<ULONGLONG>(count.QuadPart);
    return c / f * 1000 + c % f * 1000 / f;
}

// The call chosen on first use, by whichever thread comes first (all choose the same):
// one atomic pointer, constant-initialised, since a function-local static would need the
// very guard that calls here.
std::atomic<TickCount64Fn> chosen{nullptr};

ULONGLONG WINAPI TickCount64() {
    TickCount64Fn call = chosen.load(std::memory_order_acquire);
    if (call == nullptr) {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetTickCount64") : nullptr;
        call = found != nullptr ? reinterpret_cast<TickCount64Fn>(reinterpret_cast<void*>(found))
                                : CounterTickCount64;
        chosen.store(call, std::memory_order_release);
    }
    return call();
}

} // namespace

// The import's own name, as the linker looks for it: __imp__GetTickCount64@0 in a
// 32-bit program (stdcall), __imp_GetTickCount64 in a 64-bit one.
#ifdef _WIN64
extern "C" TickCount64Fn quorvelTickCount64 __asm__("__imp_GetTickCount64");
#else
extern "C" TickCount64Fn quorvelTickCount64 __asm__("__imp__GetTickCount64@0");
#endif
TickCount64Fn quorvelTickCount64 = TickCount64;
