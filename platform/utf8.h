// A text the system gave (an argument, a file name) as UTF-8, which pictures and window
// titles take: on Linux its bytes as UTF-8, or Latin-1 where a byte is not part of UTF-8;
// on Windows a text in the ANSI code page (platform/posix/gdi32/utf8.cpp,
// platform/windows/utf8.cpp).
#pragma once

#include <string>

namespace platform {
std::string Utf8FromSystem(const std::string& argument);
// Whether the system's 8-bit texts (a program's string table, as it loads them) are UTF-8:
// on Linux always; on Windows where the ANSI code page is UTF-8's.
bool SystemTextIsUtf8();
} // namespace platform
