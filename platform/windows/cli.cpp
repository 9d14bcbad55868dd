#include "platform/cli.h"

namespace platform {

// Windows' own programs answer /? (and often -?); --help and -h as the Linux build does.
bool IsHelpOption(const std::string& argument) {
    return argument == "/?" || argument == "-?" || argument == "--help" || argument == "-h";
}

const char* HelpOption() { return "/?"; }

} // namespace platform
