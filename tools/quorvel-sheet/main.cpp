// quorvel-sheet: an "engine details.csv" as the user's own spreadsheet opens it.
#include "platform/cli.h"
#include "sheet.h"
#include "texts.h"
#include "tools/common/texts.h"
#include "version.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: quorvel-sheet [LOG] [-o OUT] [--no-gauges] [--force] [--open]\n"
    "\n"
    "Writes a copy of the engine data log LOG (default: \"engine details.csv\" here)\n"
    "that the user's own spreadsheet opens with every reading a number in its\n"
    "column: the user's decimal separator and list separator (';' where numbers have\n"
    "a decimal comma), a header in the user's language with the units, the readings\n"
    "with the decimals the dashboard shows, then the three fault bytes and the nine\n"
    "gauges' positions in percent. The log itself is left as it is.\n"
    "\n"
    "  -o OUT       the copy. Default: LOG's name with \" (sheet).csv\", beside it\n"
    "  --no-gauges  leave the gauges' positions out\n"
    "  --force      replace OUT when it is there (never a log the dashboard wrote)\n"
    "  --open       then open the copy with the spreadsheet the system gives it; a\n"
    "               problem is shown in a box too (for a menu entry: no console)\n"
    "  --help       this text\n"
    "  --version    the version\n"
    "\n"
    "On Windows the copy is in the system's code page, as Excel reads it from 97 on;\n"
    "on Linux in UTF-8 with a byte-order mark, which LibreOffice and Excel read.\n"
    "Lines that cannot be read are named on standard error and left out. Exit\n"
    "status: 0 when the copy was written; 1 when LOG cannot be read, is not a log or\n"
    "holds no readings, or OUT cannot be written or is there already; 2 for a wrong\n"
    "command line.\n";

int Usage(const std::string& problem) {
    std::cerr << "quorvel-sheet: " << problem << "\nRun quorvel-sheet " << platform::HelpOption()
              << " for the options.\n";
    return 2;
}

// Whether the copy is opened when written, and problems shown in a box.
bool opening = false;

int Fail(const std::string& message) {
    std::cerr << "quorvel-sheet: " << message << "\n";
    if (opening) platform::ShowProblem("Quorvel", message);
    return 1;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

} // namespace

int main(int argc, char** argv) {
    platform::ConsoleInSystemCodePage();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string file;
    std::string out;
    sheet::Options options;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (platform::IsHelpOption(args[i])) {
            std::cout << kUsage;
            return 0;
        }
        if (args[i] == "--version") {
            std::cout << "quorvel-sheet " << QUORVEL_VERSION << "\n";
            return 0;
        }
        if (args[i] == "--no-gauges") {
            options.gauges = false;
        } else if (args[i] == "--force") {
            force = true;
        } else if (args[i] == "--open") {
            opening = true;
        } else if (args[i] == "-o") {
            if (i + 1 == args.size()) return Usage("-o needs the copy's file name");
            out = args[++i];
        } else if (!args[i].empty() && args[i][0] == '-') {
            return Usage("unknown option \"" + args[i] + "\"");
        } else if (file.empty()) {
            file = args[i];
        } else {
            return Usage("one log at a time: \"" + args[i] + "\" is one too many");
        }
    }
    if (file.empty()) file = "engine details.csv";
    if (out.empty()) out = sheet::DefaultCopyName(file);

    drivelog::Log log;
    std::string error;
    if (!drivelog::Read(file, &log, &error)) {
        return Fail(log.read ? texts::Format(sheet::kTextNotALog, file.c_str())
                             : texts::Format(sheet::kTextCannotRead, file.c_str(), error.c_str()));
    }
    int leftOut = 0;
    for (const drivelog::Problem& p : log.problems) {
        const bool header = p.line == 1 && log.headerColumns != 0;
        leftOut += header ? 0 : 1;
        std::cerr << "quorvel-sheet: " << file << ": " << drivelog::Describe(p) << "\n";
    }
    if (leftOut > 0)
        std::cerr << "quorvel-sheet: " << texts::Format(sheet::kTextLeftOut, leftOut) << "\n";
    if (log.lines.empty()) return Fail(texts::Format(sheet::kTextNoLines, file.c_str()));

    // Nothing of a log is ever lost to a copy.
    if (SameFile(out, file) || sheet::IsDashboardLog(out))
        return Fail(texts::Format(sheet::kTextIsALog, out.c_str()));
    std::error_code exists;
    if (!force && std::filesystem::exists(out, exists))
        return Fail(texts::Format(sheet::kTextThereAlready, out.c_str()));

    const sheet::Conventions conventions = sheet::UserConventions();
    const std::string copy = sheet::Copy(log, conventions, options);
    std::ofstream o(out, std::ios::binary | std::ios::trunc);
    if (o) o.write(copy.data(), static_cast<std::streamsize>(copy.size()));
    if (o) o.close();
    if (!o) return Fail(texts::Format(sheet::kTextCannotWrite, out.c_str(), std::strerror(errno)));
    const std::string decimal(1, conventions.decimal);
    const std::string list =
        conventions.list == '\t' ? texts::Text(sheet::kTextTab) : std::string(1, conventions.list);
    std::cout << "quorvel-sheet: "
              << texts::Format(sheet::kTextWrote, out.c_str(), static_cast<int>(log.lines.size()),
                               decimal.c_str(), list.c_str())
              << "\n";
    if (opening && !platform::OpenWithSystem(out))
        return Fail(texts::Format(sheet::kTextNoViewer, out.c_str()));
    return 0;
}
