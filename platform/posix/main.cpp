// The program's start on Linux: the runtime's part that Windows does before WinMain.
#include "headless.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    // There is no window on screen in this build yet: the program runs headless on the
    // real clock and can save its picture.
    const char* snapshot = std::getenv("QUORVEL_SNAPSHOT");
    static w32::RealtimeBackend backend(snapshot);
    w32::SetBackend(&backend);
    w32::RealtimeBackend::InstallSignalHandlers();
    std::fprintf(stderr,
                 "quorvel: no on-screen window in this build yet; running headless%s%s "
                 "(Ctrl+C ends it)\n",
                 snapshot != nullptr ? ", picture in " : "", snapshot != nullptr ? snapshot : "");

    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    int code = WinMain(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000)), nullptr,
                       commandLine.data(), SW_SHOWDEFAULT);
    for (w32::Window* w : w32::AllWindows()) {
        if (w->parent == nullptr) backend.SaveSnapshot(w);
    }
    return code;
}
