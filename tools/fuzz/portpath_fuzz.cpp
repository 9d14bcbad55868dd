// libFuzzer target: any text a device could report as its name, through the step that
// turns a port list entry into a device path.
#include "ecu/portname.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string entry(reinterpret_cast<const char*>(data), size);
    entry = entry.c_str(); // the list holds NUL-terminated texts
    char path[128];
    std::memset(path, 'x', sizeof path);
    if (!PortPathFromEntry(entry.c_str(), path, sizeof path)) return 0;
    size_t length = strnlen(path, sizeof path);
    if (length >= sizeof path) std::abort(); // always terminated inside the buffer
    if (std::strncmp(path, "\\\\.\\Com", 7) != 0) std::abort();
    for (size_t i = 7; i < length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(path[i]))) std::abort();
    }
    return 0;
}
