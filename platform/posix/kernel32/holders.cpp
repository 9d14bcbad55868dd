// Open files of other processes, from /proc.
#include "platform/posix/kernel32/holders.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace w32 {

namespace {

std::string CommandName(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "a process" : name;
}

} // namespace

// The name is compared first; only another name under /dev (a second node of the same
// device) is looked at, since devtmpfs answers at once.
bool IsDeviceNode(const std::string& target, const std::string& device, dev_t rdev) {
    if (target == device) return true;
    if (target.rfind("/dev/", 0) != 0) return false;
    struct stat st {};
    return stat(target.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev;
}

std::vector<Holder> ProcessesHolding(const std::string& devicePath, bool* complete) {
    std::vector<Holder> holders;
    if (complete != nullptr) *complete = true;
    struct stat device {};
    char canonical[PATH_MAX];
    if (stat(devicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode) ||
        realpath(devicePath.c_str(), canonical) == nullptr) {
        return holders;
    }
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        if (complete != nullptr) *complete = false;
        return holders;
    }
    const int self = getpid();
    while (dirent* p = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(p->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self) continue;
        std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (fds == nullptr) {
            if (complete != nullptr) *complete = false; // another user's, or gone
            continue;
        }
        bool holds = false;
        while (dirent* f = readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            // The link names the open file; reading it never touches the file itself.
            char target[PATH_MAX];
            ssize_t n = readlink((fdDir + "/" + f->d_name).c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            target[n] = '\0';
            if (IsDeviceNode(target, canonical, device.st_rdev)) {
                holds = true;
                break;
            }
        }
        closedir(fds);
        if (holds) holders.push_back(Holder{static_cast<int>(pid), CommandName(p->d_name)});
    }
    closedir(proc);
    return holders;
}

std::string DescribeHolders(const std::vector<Holder>& holders) {
    std::string text;
    for (size_t i = 0; i < holders.size(); ++i) {
        if (i > 0) text += i + 1 == holders.size() ? " and " : ", ";
        text += holders[i].name + " (process " + std::to_string(holders[i].pid) + ")";
    }
    return text;
}

} // namespace w32
