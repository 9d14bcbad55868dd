// A text the system gave (an argument, a file name) as UTF-8, which pictures and window
// titles take: on Linux its bytes as UTF-8, or Latin-1 where a byte is not part of UTF-8;
// on Windows a text in the ANSI code page (platform/posix/gdi32/utf8.cpp,
// platform/windows/utf8.cpp).
#pragma once

#include <string>

namespace platform {
std::string Utf8FromSystem(const std::string& argument);
} // namespace platform
