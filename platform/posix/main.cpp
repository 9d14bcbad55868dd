// The program's start on Linux: the runtime's part that Windows does before WinMain.
#include "x11.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    w32::Backend* display = w32::OpenX11Backend();
    if (display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "quorvel: cannot open the X display%s%s%s; start it on a desktop, or under "
                     "Xvfb as the README shows\n",
                     name != nullptr ? " \"" : " (DISPLAY is not set)", name != nullptr ? name : "",
                     name != nullptr ? "\"" : "");
        return 1;
    }
    w32::SetBackend(display);

    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000)), nullptr,
                   commandLine.data(), SW_SHOWDEFAULT);
}
