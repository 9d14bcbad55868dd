// The one header the program includes for its platform: the real Windows API on
// Windows, our own implementation of the subset the program calls everywhere else.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <setupapi.h>
#include <share.h>
#include <stdio.h>
#include <windows.h>
#else
#include "posix/win32_posix.h"
#endif
