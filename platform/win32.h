// The one header the program includes for its platform: the real Windows API on
// Windows, our own implementation of the subset the program calls everywhere else.
#pragma once

#ifdef _WIN32
// <windows.h> first: the others build on it.
#include <windows.h>

#include <setupapi.h>
#include <share.h>
#include <stdio.h>
#else
#include "posix/win32_posix.h"
#endif
