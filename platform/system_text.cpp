// The system's own words for an error code, as FormatMessageA gives them on both
// platforms, without the line end it puts after them.
#include "platform/portinfo.h"

#include "platform/win32.h"

namespace portinfo {

std::string SystemText(uint32_t error) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                   nullptr);
    std::string s = text != nullptr ? text : "error " + std::to_string(error);
    if (text != nullptr) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

} // namespace portinfo
