// Where the Linux side of quorvel-ports looks for what it reports: the real system, or
// folders a test has built.
#pragma once

#include <string>
#include <vector>

namespace portinfo {

struct PosixRoots {
    std::vector<std::string> udevRules = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                          "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    std::string proc = "/proc";
};
PosixRoots& Roots();

} // namespace portinfo
