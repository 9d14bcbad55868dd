#include "platform/cli.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h> // environ

namespace platform {

bool IsHelpOption(const std::string& argument) { return argument == "--help" || argument == "-h"; }

const char* HelpOption() { return "--help"; }

const char* PictureExtension() { return ".svg"; }

void ConsoleInSystemCodePage() {}

std::string CommandOfThisProgram(const std::string& name) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return name;
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            const std::filesystem::path found = std::filesystem::path(folder) / name;
            if (std::filesystem::exists(found, error)) {
                if (std::filesystem::equivalent(found, self, error)) return name;
                break; // another program of that name comes first
            }
        }
        start = end + 1;
    }
    const std::string full = self.string();
    return full.find(' ') == std::string::npos ? full : "'" + full + "'";
}

bool OpenWithSystem(const std::string& file) {
    std::string name = file;
    char opener[] = "xdg-open";
    char* argv[] = {opener, name.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Linux menus start no tool: the problem on standard error is all.
void ShowProblem(const std::string&, const std::string&) {}

} // namespace platform
