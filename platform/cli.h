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
// How the user runs this program where they read its advice: on Windows its full path
// (quoted when it holds a space), since a Start-menu entry leaves no folder to type in;
// on Linux its name when that is what PATH finds, else its full path.
std::string CommandOfThisProgram(const std::string& name);
// Opens the file with the program the system gives its kind (the picture viewer, the
// spreadsheet): Windows' shell, xdg-open on Linux. False when none could be started.
bool OpenWithSystem(const std::string& file);
// Shows a tool's problem to a user who started it from a menu, with no console to read:
// a message box on Windows. Nothing on Linux, where no menu starts a tool (the tools write
// their problems on standard error as well).
void ShowProblem(const std::string& program, const std::string& text);
} // namespace platform
