// Which processes have a device open: Windows refuses a COM port that another process
// holds, and so does the layer, naming the holder.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace w32 {

struct Holder {
    int pid = 0;
    std::string name; // the process's command name ("ModemManager")
};

// Every other process whose open files include the device. complete is false when some
// processes could not be looked into (another user's, for a user who is not root).
std::vector<Holder> ProcessesHolding(const std::string& devicePath, bool* complete = nullptr);

// Whether an open file, as /proc names it (target), is the device (device, its
// canonical path, with its device number rdev): by name, or through another node under
// /dev; a name outside /dev is never looked at (a hung network or FUSE mount would freeze
// the caller).
bool IsDeviceNode(const std::string& target, const std::string& device, dev_t rdev);

// "ModemManager (process 812)", "ModemManager (process 812) and minicom (process 90)".
std::string DescribeHolders(const std::vector<Holder>& holders);

} // namespace w32
