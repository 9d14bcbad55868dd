// The one header the program includes for its platform: the real Windows API on
// Windows, our own implementation of the subset the program calls everywhere else.
#pragma once

#ifdef _WIN32
// <windows.h> first: the others build on it.
#include <windows.h>

#include <setupapi.h>
#include <share.h>
#include <stdio.h>
// A serial driver that takes a line speed may run another: Silicon Labs' driver for a
// CP2102 takes 7680 baud and runs 9600, and nothing in Win32 tells.
const bool kDriversRunTheRatesTheyTake = false;
#else
#include "posix/win32_posix.h"
// Our layer takes a line speed only when the driver reports that it runs it within 2%.
const bool kDriversRunTheRatesTheyTake = true;
#endif
