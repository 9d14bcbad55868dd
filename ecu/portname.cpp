#include "ecu/portname.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

bool PortPathFromEntry(const char* entry, char* path, size_t pathSize) {
    // The entry's text as the list gives it, cut to the buffer if it is longer.
    char lpData[1024];
    snprintf(lpData, sizeof lpData, "%s", entry);
    for (char* c = lpData; *c != '\0'; ++c)
        *c = static_cast<char>(toupper(static_cast<unsigned char>(*c)));

    // The port's own name is "COM" with its number: in "COMMUNICATIONS PORT (COM1)" the
    // first "COM" begins another word. Only an entry with no numbered "COM" at all falls
    // back to its first "COM".
    char* name = nullptr;
    for (char* at = strstr(lpData, "COM"); at != nullptr; at = strstr(at + 1, "COM")) {
        if (isdigit(static_cast<unsigned char>(at[3]))) {
            name = at;
            break;
        }
    }
    if (name == nullptr) name = strstr(lpData, "COM");
    if (name == nullptr) return false;

    name[1] = 'o';
    name[2] = 'm';
    char* end = name + 3;
    while (isdigit(static_cast<unsigned char>(*end)))
        ++end;
    *end = '\0';
    // A name with more digits than the path holds is cut at the path's end.
    snprintf(path, pathSize, "\\\\.\\%s", name);
    return true;
}
