// From a port list entry to the device path of the port it names.
#pragma once

#include <stddef.h>

// Takes the port name out of an entry such as "USB Serial Port (COM3)" and writes its
// device path, "\\.\Com3", into path. Returns false when the entry names no port (it
// holds no "COM"); path is then left alone.
bool PortPathFromEntry(const char* entry, char* path, size_t pathSize);
