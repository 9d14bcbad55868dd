// The engine data log, written by the program in a folder of the test's own.
#include "app/state.h"
#include "fixtures/ecu_model.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using headless::Harness;

const char kHeader[] = "revs, water temp, air temp, throttle, injector period, advance, volts, "
                       "pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, "
                       "throttle, injector timing, advance, volts, pressure, VAE\r\n";
const char kLog[] = "engine details.csv";

class DataLog : public ::testing::Test {
  protected:
    DataLog() {
        dir = fs::temp_directory_path() / ("quorvel-log-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        ecu.registers = {{1, 0x0B},  {2, 0xB8},  {3, 0x01}, {4, 0xF4}, {5, 40},   {6, 250},
                         {7, 0},     {8, 130},   {9, 7},    {10, 224}, {12, 200}, {16, 0x20},
                         {17, 0x02}, {18, 0xFF}, {43, 0},   {44, 0},   {45, 0}};
        ecu.Attach(h.Line());
    }
    ~DataLog() override {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(dir);
    }

    static std::string File() {
        std::ifstream in(kLog, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The file's lines, each with its CR LF taken off (a line without one is kept whole).
    static std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        std::string all = File();
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find("\r\n", start);
            if (end == std::string::npos) {
                lines.push_back(all.substr(start) + "<no CR LF>");
                break;
            }
            lines.push_back(all.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }
    static std::vector<std::string> Fields(const std::string& line) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            size_t comma = line.find(", ", start);
            fields.push_back(
                line.substr(start, comma == std::string::npos ? comma : comma - start));
            if (comma == std::string::npos) return fields;
            start = comma + 2;
        }
    }

    // The older logs kept beside the log, by name.
    static std::vector<std::string> Kept() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator("."))
            if (e.path().filename() != kLog) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The files the process has open.
    static size_t OpenFiles() {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
    }
    static std::string Contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // An older log, last changed at this local time.
    static void OlderLog(const std::string& name, const std::string& text, int year, int month,
                         int day, int hour, int minute, int second) {
        std::ofstream(name, std::ios::binary) << text;
        struct tm t {};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        t.tm_isdst = -1;
        struct timeval times[2] = {{mktime(&t), 0}, {mktime(&t), 0}};
        ASSERT_EQ(utimes(name.c_str(), times), 0);
    }

    // Starts the program and chooses an engine and Logging, On, which the log refuses:
    // the text of the box that says so, after its first words.
    std::string LoggingOnRefused() {
        h.Start();
        EXPECT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
        EXPECT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
        if (!h.BoxOpen()) return "(no box)";
        const std::string text = h.Boxes().back().text;
        const std::string first = "Unable to open the log file...\nno data will be logged\n\n";
        return text.rfind(first, 0) == 0 ? text.substr(first.size()) : "(other words) " + text;
    }

    fs::path dir;
    Harness h;
    EcuModel ecu;
};

const char kLastDrive[] = "revs, water temp\r\n850.000000, 90.000000\r\n";

TEST_F(DataLog, AnOlderLogIsKeptUnderTheDateOfItsLastChange) {
    OlderLog(kLog, kLastDrive, 2026, 3, 4, 5, 6, 7);
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_TRUE(h.Boxes().empty());
    EXPECT_EQ(Kept(), (std::vector<std::string>{"engine details 2026-03-04 050607.csv"}));
    EXPECT_EQ(Contents("engine details 2026-03-04 050607.csv"), kLastDrive) << "bytes unchanged";
    EXPECT_EQ(File(), kHeader) << "the new log is as it always was";
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging on"));
}

// A kept log is named by the local time of its last change as it was then, summer time
// and all, whatever the season is now.
TEST_F(DataLog, AKeptLogIsNamedWithTheSummerTimeOfItsOwnMoment) {
    const char* tz = std::getenv("TZ");
    const std::string saved = tz != nullptr ? tz : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    OlderLog(kLog, kLastDrive, 2026, 7, 15, 14, 30, 5); // summer
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging off"));
    OlderLog(kLog, kLastDrive, 2026, 1, 15, 14, 30, 5); // winter
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_EQ(Kept(), (std::vector<std::string>{"engine details 2026-01-15 143005.csv",
                                                "engine details 2026-07-15 143005.csv"}));
    if (tz != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST_F(DataLog, ATakenNameGetsTheNextNumber) {
    OlderLog("engine details 2026-03-04 050607.csv", "first", 2026, 3, 4, 5, 6, 7);
    OlderLog("engine details 2026-03-04 050607 (2).csv", "second", 2026, 3, 4, 5, 6, 7);
    OlderLog(kLog, kLastDrive, 2026, 3, 4, 5, 6, 7);
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_EQ(Contents("engine details 2026-03-04 050607.csv"), "first");
    EXPECT_EQ(Contents("engine details 2026-03-04 050607 (2).csv"), "second");
    EXPECT_EQ(Contents("engine details 2026-03-04 050607 (3).csv"), kLastDrive);
    EXPECT_EQ(File(), kHeader);
}

TEST_F(DataLog, AnEmptyLogIsReused) {
    OlderLog(kLog, "", 2026, 3, 4, 5, 6, 7);
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_TRUE(Kept().empty());
    EXPECT_EQ(File(), kHeader);
}

TEST_F(DataLog, AnOlderLogThatCannotBeRenamedIsLeftAndLoggingStaysOff) {
    OlderLog(kLog, kLastDrive, 2026, 3, 4, 5, 6, 7);
    w32::SetFileMoveFault(ERROR_ACCESS_DENIED);
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    ASSERT_TRUE(h.BoxOpen());
    EXPECT_EQ(h.Boxes().back().caption, "File Error");
    EXPECT_EQ(h.Boxes().back().text,
              "Unable to open the log file...\nno data will be logged\n\n\"engine details.csv\" "
              "cannot be written: Access is denied.");
    h.AnswerBox();
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging off"));
    EXPECT_FALSE(h.MenuChecked("&Logging", "Logging on"));
    h.Advance(3000);
    EXPECT_EQ(loggingOn, 0);
    EXPECT_EQ(File(), kLastDrive) << "the older log is untouched";
    EXPECT_TRUE(Kept().empty());
}

// A reason the system has no words for is still given: "Unknown error".
TEST_F(DataLog, AReasonWithoutTheSystemsWordsIsAnUnknownError) {
    OlderLog(kLog, kLastDrive, 2026, 3, 4, 5, 6, 7);
    w32::SetFileMoveFault(1392); // ERROR_FILE_CORRUPT, which the layer has no words for
    EXPECT_EQ(LoggingOnRefused(), "\"engine details.csv\" cannot be written: Unknown error");
    EXPECT_EQ(File(), kLastDrive);
}

TEST_F(DataLog, OnBeforeTheWakeUpWritesTheHeaderOnlyAndChecksTheMenu) {
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging on"));
    EXPECT_FALSE(h.MenuChecked("&Logging", "Logging off"));
    h.Advance(3000); // awake, but no engine chosen
    EXPECT_EQ(File(), kHeader);
    EXPECT_EQ(Fields(Lines()[0]).size(), 22u) << "the header names the line's 22 columns";
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_EQ(File(), kHeader) << "a second Logging on neither reopens nor adds a header";
}

TEST_F(DataLog, OffWhileClosedChangesNothingAndOffThenOnStartsAgain) {
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging off"));
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging off"));
    EXPECT_FALSE(fs::exists(kLog));
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    h.Advance(2000);
    EXPECT_GT(Lines().size(), 2u);
    const size_t open = OpenFiles();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging off"));
    EXPECT_EQ(OpenFiles(), open - 1) << "the log is closed";
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging off"));
    EXPECT_FALSE(h.MenuChecked("&Logging", "Logging on"));
    size_t closed = File().size();
    h.Advance(2000);
    EXPECT_EQ(File().size(), closed) << "nothing is written while the log is off";
    std::string first = File();
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_EQ(File(), kHeader) << "started again";
    EXPECT_EQ(Kept().size(), 1u) << "the first log is kept";
    EXPECT_EQ(Contents(Kept()[0]), first);
}

TEST_F(DataLog, EveryPollAppendsALineOfTheReadingsFaultsAndGaugePositions) {
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    h.Advance(860 + 1500); // the ticks at 860, 1360, 1860 and 2360 poll
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1],
              "5000.000000, 90.000000, -40.000000, 0.000000, 1.000000, 20.000000, "
              "14.000000, 1000.000000, 200.000000, 32, 2, 255, , 62, 80, 8, 0, 0, 26, 93, "
              "80, 100");
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 22u) << lines[i];
        EXPECT_EQ(f[12], "") << "the empty 13th field";
        EXPECT_EQ(f[17], "0") << "the injection-timing gauge never moves";
        EXPECT_NE(lines[i].find("255, , 62"), std::string::npos);
    }
}

TEST_F(DataLog, ACommaLocaleStillWritesPoints) {
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            comma = name;
            break;
        }
    }
    if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    h.Advance(900);
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Fields(Lines()[1]).size(), 22u) << comma;
    EXPECT_EQ(Fields(Lines()[1])[0], "5000.000000");
}

TEST_F(DataLog, AFileThatCannotBeOpenedShowsTheBoxAndNothingIsWritten) {
    fs::create_directory(kLog); // a folder where the file would be
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    ASSERT_TRUE(h.BoxOpen());
    auto boxes = h.Boxes();
    EXPECT_EQ(boxes.back().caption, "File Error");
    EXPECT_EQ(boxes.back().text, "Unable to open the log file...\nno data will be logged\n\n"
                                 "\"engine details.csv\" cannot be written: Access is denied.");
    EXPECT_EQ(boxes.back().type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(boxes.back().owner, mainWindow);
    h.AnswerBox();
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging off"));
    EXPECT_FALSE(h.MenuChecked("&Logging", "Logging on"));
    h.Advance(3000);
    EXPECT_TRUE(fs::is_directory(kLog));
    EXPECT_EQ(loggingOn, 0);
}

// Yesterday's log open in a spreadsheet, which holds it (a lock, as LibreOffice takes; a
// sharing violation on Windows): the box names the file and says what to do, the log is
// kept whole, and Logging, On works once the other program lets it go.
TEST_F(DataLog, ALogAnotherProgramHoldsIsNamedWithWhatToDo) {
    OlderLog(kLog, kLastDrive, 2026, 3, 4, 5, 6, 7);
    const int held = open(kLog, O_RDONLY);
    ASSERT_GE(held, 0);
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(held, F_OFD_SETLK, &lock), 0);
    EXPECT_EQ(LoggingOnRefused(), "\"engine details.csv\" is open in another program: close it in "
                                  "the other program, then choose Logging, On again.");
    h.AnswerBox();
    EXPECT_EQ(loggingOn, 0);
    EXPECT_EQ(File(), kLastDrive) << "the older log is untouched";
    close(held);
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    EXPECT_FALSE(h.BoxOpen());
    EXPECT_EQ(loggingOn, 1);
    EXPECT_EQ(Kept(), (std::vector<std::string>{"engine details 2026-03-04 050607.csv"}));
}

// A folder the user may not write in (a program folder, a CD): the box names it.
TEST_F(DataLog, AFolderWithoutWriteAccessIsNamed) {
    const fs::path locked = dir / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    fs::current_path(locked);
    // Root writes everywhere: meanwhile the test is nobody, who may not write there.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_TRUE(setegid(65534) == 0 && seteuid(65534) == 0);
    }
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    if (root) {
        ASSERT_TRUE(seteuid(0) == 0 && setegid(0) == 0);
    }
    ASSERT_TRUE(h.BoxOpen());
    EXPECT_EQ(h.Boxes().back().text,
              "Unable to open the log file...\nno data will be logged\n\nQuorvel may not write "
              "in the folder " +
                  locked.string() +
                  ". Start Quorvel from a folder of your own: its entry in the Start menu works "
                  "in your Documents.");
    h.AnswerBox();
    EXPECT_EQ(loggingOn, 0);
    fs::current_path(dir);
    fs::permissions(locked, fs::perms::owner_all);
}

// The folder gone from under the program (a USB stick pulled): not a folder it may not
// write in, but the system's words.
TEST_F(DataLog, AFolderThatIsGoneIsToldInTheSystemsWords) {
    const fs::path stick = dir / "stick";
    fs::create_directory(stick);
    fs::current_path(stick);
    fs::remove(stick);
    EXPECT_EQ(
        LoggingOnRefused(),
        "\"engine details.csv\" cannot be written: The system cannot find the file specified.");
    h.AnswerBox();
    EXPECT_EQ(loggingOn, 0);
    fs::current_path(dir);
}

TEST_F(DataLog, AFullDiskShowsOneBoxAndSwitchesLoggingOff) {
    fs::create_symlink("/dev/full", kLog);
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    ASSERT_TRUE(h.BoxOpen());
    h.Advance(3000); // ticks go on behind the box
    auto boxes = h.Boxes();
    ASSERT_EQ(boxes.size(), 1u) << "one box, not one per line";
    EXPECT_EQ(boxes[0].caption, "File Error");
    EXPECT_EQ(boxes[0].text, "Unable to write the log file...\nlogging has been switched off");
    h.AnswerBox();
    EXPECT_TRUE(h.MenuChecked("&Logging", "Logging off"));
    EXPECT_FALSE(h.MenuChecked("&Logging", "Logging on"));
    EXPECT_EQ(loggingOn, 0);
    h.Advance(2000);
    EXPECT_EQ(h.Boxes().size(), 1u);
}

TEST_F(DataLog, ExitAndTheCloseBoxLeaveEveryLineInTheFile) {
    h.Start();
    ASSERT_TRUE(h.ChooseMenu("&Engine", "500 (899/1000 SPI)"));
    ASSERT_TRUE(h.ChooseMenu("&Logging", "Logging on"));
    h.Advance(860 + 2000);
    size_t polls = 0;
    for (const auto& e : h.Line().events)
        polls += e.kind == w32::ScriptedLine::Event::Write && e.byte == 45;
    ASSERT_TRUE(h.ClickCloseBox());
    EXPECT_EQ(h.ExitCode(), 0);
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines.size(), polls + 1);
    for (const std::string& l : lines)
        EXPECT_EQ(l.find("<no CR LF>"), std::string::npos);
}

// The process killed outright, as by a crash or a power cut: every line of every poll
// that finished is in the file.
TEST(DataLogKill, SigkillLosesNoCompletedLine) {
    fs::path dir = fs::temp_directory_path() / ("quorvel-kill-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        fs::current_path(dir);
        Harness h;
        EcuModel ecu;
        ecu.registers = {{1, 0x0B}, {2, 0xB8}};
        ecu.Attach(h.Line());
        h.Start();
        h.ChooseMenu("&Engine", "500 (899/1000 SPI)");
        h.ChooseMenu("&Logging", "Logging on");
        for (;;)
            h.Advance(500);
    }
    fs::path log = dir / kLog;
    for (int i = 0; i < 200; ++i) {
        std::ifstream in(log, std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (std::count(all.begin(), all.end(), '\n') > 50) break;
        usleep(20000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::ifstream in(log, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove_all(dir);
    ASSERT_GT(all.size(), 0u);
    EXPECT_EQ(all.substr(all.size() - 2), "\r\n") << "the file ends with a whole line";
    size_t lines = static_cast<size_t>(std::count(all.begin(), all.end(), '\n'));
    EXPECT_GT(lines, 50u);
    EXPECT_EQ(static_cast<size_t>(std::count(all.begin(), all.end(), ',')), lines * 21)
        << "21 separators on every line";
}

} // namespace
