// Open files of other processes, from /proc.
#include "holders.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace w32 {

namespace {

bool SameDevice(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string CommandName(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "a process" : name;
}

} // namespace

std::vector<Holder> ProcessesHolding(const std::string& devicePath, bool* complete) {
    std::vector<Holder> holders;
    if (complete != nullptr) *complete = true;
    struct stat device {};
    if (stat(devicePath.c_str(), &device) != 0) return holders;
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
            struct stat st {};
            if (stat((fdDir + "/" + f->d_name).c_str(), &st) == 0 && SameDevice(st, device)) {
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
