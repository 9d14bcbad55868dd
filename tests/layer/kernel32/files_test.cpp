// The layer's files where Linux differs from what Windows promises: summer time against
// the offset in force now, and moving a file on a file system that cannot refuse to
// replace one in a single call.
#include "platform/posix/layer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Central European time, written out so that no zone file is needed.
class CentralEurope : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved = tz != nullptr ? tz : "";
        hadTz = tz != nullptr;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz) {
            setenv("TZ", saved.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static FILETIME At(time_t seconds) {
        unsigned long long v =
            (static_cast<unsigned long long>(seconds) + 11644473600ULL) * 10000000ULL;
        return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFF), static_cast<DWORD>(v >> 32)};
    }
    std::string saved;
    bool hadTz = false;
};

TEST_F(CentralEurope, AMomentIsLocalTimeWithItsOwnSummerTimeTheFileTimeWithTodays) {
    const time_t july = 1784118605;    // 2026-07-15 12:30:05 UTC
    const time_t january = 1768480205; // 2026-01-15 12:30:05 UTC
    for (time_t moment : {july, january}) {
        FILETIME f = At(moment);
        SYSTEMTIME utc{};
        ASSERT_TRUE(FileTimeToSystemTime(&f, &utc));
        EXPECT_EQ(utc.wHour, 12);
        SYSTEMTIME local{};
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
        EXPECT_EQ(local.wHour, moment == july ? 14 : 13) << "the offset of that moment";
        EXPECT_EQ(local.wMinute, 30);

        // Windows shifts a file time by the offset in force now, whatever the moment.
        time_t now = time(nullptr);
        struct tm today {};
        localtime_r(&now, &today);
        FILETIME shifted{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&f, &shifted));
        SYSTEMTIME s{};
        ASSERT_TRUE(FileTimeToSystemTime(&shifted, &s));
        EXPECT_EQ(s.wHour, 12 + today.tm_gmtoff / 3600);
    }
}

// Where RENAME_NOREPLACE is refused the layer gives the file a second name and removes
// the first; when the removal fails, the second name goes again and the move fails: one
// file under two names would be emptied by the next writer of the first.
TEST(LayerFiles, AMoveByLinkWhoseRemovalFailsLeavesOneName) {
    char folder[] = "/tmp/quorvel-move-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string a = std::string(folder) + "/engine details.csv";
    std::string b = std::string(folder) + "/engine details 2026-03-04 050607.csv";
    std::ofstream(a) << "the last drive";
    w32::SetMoveByLinkFault(true, EACCES);
    SetLastError(0);
    EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(access(b.c_str(), F_OK), -1) << "no second name left behind";
    EXPECT_EQ(access(a.c_str(), F_OK), 0);

    w32::SetMoveByLinkFault(true, 0);
    EXPECT_TRUE(MoveFileA(a.c_str(), b.c_str()));
    EXPECT_EQ(access(a.c_str(), F_OK), -1);
    std::ifstream moved(b);
    std::string text;
    std::getline(moved, text);
    EXPECT_EQ(text, "the last drive");
    w32::SetMoveByLinkFault(false, 0);
    std::remove(b.c_str());
    rmdir(folder);
}

// A file another program holds (a lock, as a spreadsheet takes) is neither moved nor
// opened for writing, as Windows refuses them with a sharing violation; it is read. Let go,
// it is written.
TEST(LayerFiles, AFileAnotherProgramHoldsIsNotWrittenOrMoved) {
    char folder[] = "/tmp/quorvel-held-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string a = std::string(folder) + "/engine details.csv";
    const std::string b = std::string(folder) + "/kept.csv";
    std::ofstream(a) << "";
    const int held = open(a.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(held, F_OFD_SETLK, &lock), 0);
    SetLastError(0);
    EXPECT_EQ(_fsopen(a.c_str(), "wb", _SH_DENYNO), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    SetLastError(0);
    EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    FILE* read = _fsopen(a.c_str(), "rb", _SH_DENYNO);
    EXPECT_NE(read, nullptr);
    close(held);
    FILE* written = _fsopen(a.c_str(), "wb", _SH_DENYNO);
    EXPECT_NE(written, nullptr);
    _fcloseall();
    // The folder, or the size it needs.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    char small[2];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), static_cast<DWORD>(strlen(cwd) + 1));
    // A buffer as long as the name, without room for its end, is too small too.
    std::string exact(strlen(cwd), 'x');
    EXPECT_EQ(GetCurrentDirectoryA(static_cast<DWORD>(exact.size()), exact.data()),
              static_cast<DWORD>(strlen(cwd) + 1));
    EXPECT_EQ(exact, std::string(strlen(cwd), 'x')) << "nothing written";
    char whole[4096];
    std::memset(whole, 'x', sizeof whole);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof whole, whole), static_cast<DWORD>(strlen(cwd)));
    EXPECT_STREQ(whole, cwd);
    EXPECT_EQ(whole[strlen(cwd) + 1], 'x') << "written beyond the name's end";
    std::remove(a.c_str());
    rmdir(folder);
    // A folder removed while it is the current one: no name, and the error why.
    char gone[] = "/tmp/layer-cwd-XXXXXX";
    ASSERT_NE(mkdtemp(gone), nullptr);
    ASSERT_EQ(chdir(gone), 0);
    rmdir(gone);
    SetLastError(0);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof whole, whole), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(chdir(cwd), 0);
}

} // namespace
