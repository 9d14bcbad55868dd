// Files by name: their attributes, their times and moving them, with Win32's meaning.
#include "platform/posix/layer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace w32 {

namespace {

DWORD moveFault = 0;
bool moveByLink = false;
int unlinkFault = 0;

// Seconds and nanoseconds since 1970 as 100 ns steps since 1601, as FILETIME counts.
constexpr uint64_t kEpochDifference = 116444736000000000ULL;

// A broken-down time as SYSTEMTIME has it.
void ToSystemTime(const struct tm& t, WORD milliseconds, LPSYSTEMTIME out) {
    out->wYear = static_cast<WORD>(t.tm_year + 1900);
    out->wMonth = static_cast<WORD>(t.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    out->wDay = static_cast<WORD>(t.tm_mday);
    out->wHour = static_cast<WORD>(t.tm_hour);
    out->wMinute = static_cast<WORD>(t.tm_min);
    out->wSecond = static_cast<WORD>(t.tm_sec);
    out->wMilliseconds = milliseconds;
}

FILETIME ToFileTime(const timespec& t) {
    uint64_t v = kEpochDifference + static_cast<uint64_t>(t.tv_sec) * 10000000ULL +
                 static_cast<uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFF), static_cast<DWORD>(v >> 32)};
}

uint64_t FromFileTime(const FILETIME& f) {
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

} // namespace

DWORD FileError(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
    case ENOTEMPTY:
        return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENOSPC:
        return ERROR_DISK_FULL;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// Whether another program holds the file: it has a lock on it (as a spreadsheet or an
// editor takes on a file it has open), which Windows would show as a sharing violation.
bool HeldByAnotherProgram(const char* name) {
    const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    bool held = fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    close(fd);
    return held;
}

void SetFileMoveFault(DWORD error) { moveFault = error; }

void SetMoveByLinkFault(bool byLink, int unlinkErrno) {
    moveByLink = byLink;
    unlinkFault = unlinkErrno;
}

} // namespace w32

using namespace w32;

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    W32_REQUIRE(level == GetFileExInfoStandard && information != nullptr && name != nullptr,
                "information levels other than the standard one", FALSE);
    struct stat st {};
    if (stat(name, &st) != 0) {
        SetLastError(FileError(errno));
        return FALSE;
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    *data = WIN32_FILE_ATTRIBUTE_DATA{};
    data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (access(name, W_OK) != 0 && errno == EACCES)
        data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    if (data->dwFileAttributes == 0) data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    data->ftCreationTime = ToFileTime(st.st_ctim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    auto size = static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
    return TRUE;
}

// The folder's name, or (returning more than size) the room it needs with its end.
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    char folder[4096];
    if (getcwd(folder, sizeof folder) == nullptr) {
        SetLastError(FileError(errno));
        return 0;
    }
    const DWORD length = static_cast<DWORD>(std::strlen(folder));
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, folder, length + 1);
    return length;
}

// Never replaces a file that is there: Windows' MoveFile fails with
// ERROR_ALREADY_EXISTS instead.
BOOL MoveFileA(LPCSTR existing, LPCSTR newName) {
    W32_REQUIRE(existing != nullptr && newName != nullptr, "a missing file name", FALSE);
    if (moveFault != 0) {
        SetLastError(moveFault);
        return FALSE;
    }
    if (HeldByAnotherProgram(existing)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    int error = EINVAL;
    if (!moveByLink) {
        if (renameat2(AT_FDCWD, existing, AT_FDCWD, newName, RENAME_NOREPLACE) == 0) return TRUE;
        error = errno;
    }
    if (error == EINVAL || error == ENOSYS) {
        // A file system without the flag: a second name, then the first one goes. If it
        // cannot go, the second goes again: two names of one file would let the next
        // writer of the first name empty the moved file.
        if (link(existing, newName) == 0) {
            if (unlinkFault == 0 && unlink(existing) == 0) return TRUE;
            error = unlinkFault != 0 ? unlinkFault : errno;
            unlink(newName);
        } else {
            error = errno;
        }
    }
    SetLastError(FileError(error));
    return FALSE;
}

// The offset from UTC in force now, as Windows documents it (not the one of that moment).
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
    W32_REQUIRE(fileTime != nullptr && localFileTime != nullptr, "a missing time", FALSE);
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    int64_t shifted = static_cast<int64_t>(FromFileTime(*fileTime)) +
                      static_cast<int64_t>(local.tm_gmtoff) * 10000000LL;
    *localFileTime = FILETIME{static_cast<DWORD>(static_cast<uint64_t>(shifted) & 0xFFFFFFFF),
                              static_cast<DWORD>(static_cast<uint64_t>(shifted) >> 32)};
    return TRUE;
}

// Any time from 1601 on, as Windows takes it (before 1970 too).
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    W32_REQUIRE(fileTime != nullptr && systemTime != nullptr, "a missing time", FALSE);
    uint64_t v = FromFileTime(*fileTime);
    if (v > 0x7FFFFFFFFFFFFFFFULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto seconds = static_cast<time_t>(static_cast<int64_t>(v / 10000000ULL) -
                                       static_cast<int64_t>(kEpochDifference / 10000000ULL));
    struct tm t {};
    if (gmtime_r(&seconds, &t) == nullptr || t.tm_year + 1900 > 30827) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ToSystemTime(t, static_cast<WORD>((v / 10000ULL) % 1000), systemTime);
    return TRUE;
}

// The current zone only (a null zone): the offset in force at that moment, summer time
// included.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* utc,
                                     LPSYSTEMTIME local) {
    W32_REQUIRE(zone == nullptr, "a time zone other than the current one", FALSE);
    W32_REQUIRE(utc != nullptr && local != nullptr, "a missing time", FALSE);
    if (utc->wMonth < 1 || utc->wMonth > 12 || utc->wDay < 1 || utc->wDay > 31 || utc->wHour > 23 ||
        utc->wMinute > 59 || utc->wSecond > 59 || utc->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct tm t {};
    t.tm_year = utc->wYear - 1900;
    t.tm_mon = utc->wMonth - 1;
    t.tm_mday = utc->wDay;
    t.tm_hour = utc->wHour;
    t.tm_min = utc->wMinute;
    t.tm_sec = utc->wSecond;
    time_t seconds = timegm(&t);
    struct tm shifted {};
    if (localtime_r(&seconds, &shifted) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ToSystemTime(shifted, utc->wMilliseconds, local);
    return TRUE;
}
