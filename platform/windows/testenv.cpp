#include "platform/testenv.h"

#include <windows.h>

void BeginWin32Test() {}

// Wine's ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
