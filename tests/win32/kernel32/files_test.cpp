// Files by name and their times, as Win32 has them: what the log relies on when it keeps
// an older log under the local time of its last change.
#include "win32/fixture.h"

#include <cstdio>
#include <ctime>

namespace {

FILETIME FromSeconds1601(unsigned long long seconds, unsigned milliseconds = 0) {
    unsigned long long v = seconds * 10000000ULL + milliseconds * 10000ULL;
    return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFF), static_cast<DWORD>(v >> 32)};
}

TEST(Win32Files, MoveFileNeverReplacesAFileThatIsThere) {
    std::remove("quorvel-move-a");
    std::remove("quorvel-move-b");
    FILE* a = std::fopen("quorvel-move-a", "wb");
    ASSERT_NE(a, nullptr);
    std::fputs("a", a);
    std::fclose(a);
    FILE* b = std::fopen("quorvel-move-b", "wb");
    ASSERT_NE(b, nullptr);
    std::fputs("b", b);
    std::fclose(b);
    SetLastError(0);
    EXPECT_FALSE(MoveFileA("quorvel-move-a", "quorvel-move-b"));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
    std::remove("quorvel-move-b");
    EXPECT_TRUE(MoveFileA("quorvel-move-a", "quorvel-move-b"));
    WIN32_FILE_ATTRIBUTE_DATA info;
    EXPECT_FALSE(GetFileAttributesExA("quorvel-move-a", GetFileExInfoStandard, &info));
    ASSERT_TRUE(GetFileAttributesExA("quorvel-move-b", GetFileExInfoStandard, &info));
    EXPECT_EQ(info.nFileSizeLow, 1u);
    std::remove("quorvel-move-b");
}

// A time before 1970 is a time like any other from 1601 on.
TEST(Win32Files, FileTimesBefore1970AreTakenToo) {
    // 1960-05-06 07:08:09.123 UTC: 11,644,473,600 s from 1601 to 1970, less 304,707,111 s.
    FILETIME t = FromSeconds1601(11644473600ULL - 304707111ULL, 123);
    SYSTEMTIME s{};
    ASSERT_TRUE(FileTimeToSystemTime(&t, &s));
    EXPECT_EQ(s.wYear, 1960);
    EXPECT_EQ(s.wMonth, 5);
    EXPECT_EQ(s.wDay, 6);
    EXPECT_EQ(s.wHour, 7);
    EXPECT_EQ(s.wMinute, 8);
    EXPECT_EQ(s.wSecond, 9);
    EXPECT_EQ(s.wMilliseconds, 123);
    EXPECT_EQ(s.wDayOfWeek, 5) << "a Friday";
    FILETIME first = FromSeconds1601(0);
    ASSERT_TRUE(FileTimeToSystemTime(&first, &s));
    EXPECT_EQ(s.wYear, 1601);
    EXPECT_EQ(s.wMonth, 1);
    EXPECT_EQ(s.wDay, 1);
}

// For the present moment the offset in force now and the offset of that moment are one:
// both calls give the same local time.
TEST(Win32Files, NowTheLocalTimeOfAMomentIsTheLocalFileTime) {
    FILETIME now =
        FromSeconds1601(11644473600ULL + static_cast<unsigned long long>(std::time(nullptr)));
    SYSTEMTIME utcNow{};
    ASSERT_TRUE(FileTimeToSystemTime(&now, &utcNow));
    FILETIME localFile{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&now, &localFile));
    SYSTEMTIME byFileTime{};
    ASSERT_TRUE(FileTimeToSystemTime(&localFile, &byFileTime));
    SYSTEMTIME byZone{};
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utcNow, &byZone));
    EXPECT_EQ(byZone.wYear, byFileTime.wYear);
    EXPECT_EQ(byZone.wDay, byFileTime.wDay);
    EXPECT_EQ(byZone.wHour, byFileTime.wHour);
    EXPECT_EQ(byZone.wMinute, byFileTime.wMinute);
}

// The last hour of a day is an hour like any other; a 24th is no hour at all. (An older
// log last written between 23:00 and 23:59 is kept under that time's name.)
TEST(Win32Files, TheLastMomentOfADayIsATimeAndAFurtherHourIsNot) {
    SYSTEMTIME late{};
    late.wYear = 2026;
    late.wMonth = 12;
    late.wDay = 8;
    late.wHour = 23;
    late.wMinute = 59;
    late.wSecond = 59;
    late.wMilliseconds = 999;
    SYSTEMTIME local{};
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &late, &local));
    EXPECT_EQ(local.wSecond, 59);
    EXPECT_EQ(local.wMilliseconds, 999);
    for (int field = 0; field < 4; ++field) {
        SYSTEMTIME bad = late;
        if (field == 0) bad.wHour = 24;
        if (field == 1) bad.wMinute = 60;
        if (field == 2) bad.wSecond = 60;
        if (field == 3) bad.wMilliseconds = 1000;
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &bad, &local)) << field;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << field;
    }
}

} // namespace
