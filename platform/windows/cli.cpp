#include "platform/cli.h"

#include <windows.h>

#include <cstdlib>

namespace platform {

// Windows' own programs answer /? (and often -?); --help and -h as the Linux build does.
bool IsHelpOption(const std::string& argument) {
    return argument == "/?" || argument == "-?" || argument == "--help" || argument == "-h";
}

const char* HelpOption() { return "/?"; }

const char* PictureExtension() { return ".png"; }

namespace {

UINT shellCodePage = 0;

// The console is the shell's too: it gets its code page back.
void GiveTheCodePageBack() { SetConsoleOutputCP(shellCodePage); }

} // namespace

void ConsoleInSystemCodePage() {
    const UINT now = GetConsoleOutputCP(); // 0 without a console
    if (now == 0 || now == GetACP()) return;
    shellCodePage = now;
    if (SetConsoleOutputCP(GetACP())) std::atexit(GiveTheCodePageBack);
}

} // namespace platform
