#include "platform/cli.h"

namespace platform {

bool IsHelpOption(const std::string& argument) { return argument == "--help" || argument == "-h"; }

const char* HelpOption() { return "--help"; }

const char* PictureExtension() { return ".svg"; }

void ConsoleInSystemCodePage() {}

} // namespace platform
