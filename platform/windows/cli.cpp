#include "platform/cli.h"

#include <windows.h>

#include <shellapi.h>

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

namespace platform {

std::string CommandOfThisProgram(const std::string& name) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return name + ".exe";
    const std::string full(path, n);
    return full.find(' ') == std::string::npos ? full : "\"" + full + "\"";
}

bool OpenWithSystem(const std::string& file) {
    // ShellExecute's answer above 32 is success; the folder is the file's own.
    const HINSTANCE done =
        ShellExecuteA(nullptr, "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(done) > 32;
}

void ShowProblem(const std::string& program, const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), program.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

} // namespace platform
