// The command-line conventions of the platform the tools run on: Windows users ask a
// console program for help with /?, Linux users with --help.
#pragma once

#include <string>

namespace platform {
// Whether the argument asks for the program's help.
bool IsHelpOption(const std::string& argument);
// How this platform's users ask for help, for "run ... for the options": "--help", "/?".
const char* HelpOption();
} // namespace platform
