// The string table's texts without a letter lost: the code page a program's 8-bit calls
// take (CP_ACP) need not write the display language's letters, and LoadStringA would then
// give best-fit letters or "?". A text that cannot be written whole is shown in English.
#include "platform/texts.h"

#include <windows.h>

#include <string>

namespace {

// The text in the language Windows chooses for the program (its display language, else
// the block's fallback); empty when the table lacks it.
std::wstring ChosenText(HINSTANCE instance, UINT id) {
    const WCHAR* text = nullptr;
    int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text != nullptr ? std::wstring(text, static_cast<size_t>(length))
                                         : std::wstring();
}

// The English text: the string table's block of US English, as the resource scripts mark
// it. Sixteen strings to a block, each its length and its letters.
std::wstring EnglishText(HINSTANCE instance, UINT id) {
    HRSRC block = FindResourceExW(instance, reinterpret_cast<LPCWSTR>(RT_STRING),
                                  MAKEINTRESOURCEW(id / 16 + 1),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL loaded = block != nullptr ? LoadResource(instance, block) : nullptr;
    const WCHAR* p = loaded != nullptr ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (p == nullptr) return std::wstring();
    for (UINT i = 0; i < id % 16; ++i)
        p += 1 + *p;
    return std::wstring(p + 1, *p);
}

// Whether the code page of the process's 8-bit calls writes every letter of the text.
bool WrittenWhole(const std::wstring& text) {
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        nullptr, 0, nullptr, &lost);
    return lost == FALSE;
}

} // namespace

int LoadShownTextA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    std::wstring text = ChosenText(instance, id);
    if (!text.empty() && !WrittenWhole(text)) {
        std::wstring english = EnglishText(instance, id);
        if (!english.empty()) text = english;
    }
    std::string bytes;
    int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                     0, nullptr, nullptr);
    if (length > 0) {
        bytes.resize(static_cast<size_t>(length));
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                            length, nullptr, nullptr);
    }
    // Cut to the buffer, as LoadStringA cuts.
    const size_t kept =
        bytes.size() < static_cast<size_t>(size - 1) ? bytes.size() : static_cast<size_t>(size - 1);
    bytes.copy(buffer, kept);
    buffer[kept] = '\0';
    return static_cast<int>(kept);
}

namespace platform {

std::string Utf8Text(HINSTANCE instance, UINT id) {
    const std::wstring text = ChosenText(instance, id);
    if (text.empty()) return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length,
                        nullptr, nullptr);
    return utf8;
}

} // namespace platform
