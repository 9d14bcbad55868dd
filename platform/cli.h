// The command-line conventions of the platform the tools run on: Windows users ask a
// console program for help with /?, Linux users with --help.
#pragma once

#include <string>

namespace platform {
// Whether the argument asks for the program's help.
bool IsHelpOption(const std::string& argument);
// How this platform's users ask for help, for "run ... for the options": "--help", "/?".
const char* HelpOption();
// The kind of picture the platform's own viewer opens: ".png" on Windows (XP's and 7's
// viewers open no SVG), ".svg" on Linux.
const char* PictureExtension();
// Makes the console show the program's texts as the string table gives them: on Windows
// they are in the ANSI code page (1250 for Polish), the console in the OEM one (852), so
// the console takes the ANSI one while the program runs. Nothing to do on Linux (UTF-8).
void ConsoleInSystemCodePage();
} // namespace platform
