// Windows hands a console program its arguments in the ANSI code page (1252 in western
// Europe): through UTF-16 into UTF-8.
#include "platform/utf8.h"

#include <windows.h>

namespace platform {

std::string Utf8FromSystem(const std::string& argument) {
    if (argument.empty()) return argument;
    int wide = MultiByteToWideChar(CP_ACP, 0, argument.data(), static_cast<int>(argument.size()),
                                   nullptr, 0);
    if (wide <= 0) return argument;
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, argument.data(), static_cast<int>(argument.size()), &utf16[0],
                        wide);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return argument;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

bool SystemTextIsUtf8() { return GetACP() == CP_UTF8; }

} // namespace platform
