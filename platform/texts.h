// The program's texts from its string table, in the user's language, without a letter
// lost. Windows gives a program's 8-bit calls its texts in the ANSI code page, which need
// not be the one of the user's display language (a Polish Windows set to code page 1252
// for programs that are not Unicode): LoadStringA then writes best-fit letters or "?".
// On Linux the texts are UTF-8 and nothing is lost (platform/posix/user32,
// platform/windows/texts.cpp).
#pragma once

#include "platform/win32.h"

#include <string>

// LoadStringA's text, or the English one where the process's code page cannot write the
// user's language's text whole. Its result and truncation are LoadStringA's.
int LoadShownTextA(HINSTANCE instance, UINT id, LPSTR buffer, int size);

namespace platform {
// The text in the user's language as UTF-8, for what is written in UTF-8 whatever the
// code page (quorvel-plot's picture); "" when the table lacks it.
std::string Utf8Text(HINSTANCE instance, UINT id);
} // namespace platform
