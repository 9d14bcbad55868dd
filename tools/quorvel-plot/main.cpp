// quorvel-plot: an "engine details.csv" as a picture of the drive.
#include "platform/cli.h"
#include "platform/utf8.h"
#include "plot.h"
#include "svg_canvas.h"
#include "texts.h"
#include "tools/common/texts.h"
#include "version.h"

#include <ctime>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char kUsage[] =
    "usage: quorvel-plot FILE [-o OUT] [--fit] [--open]\n"
    "\n"
    "Draws the engine data log FILE (an \"engine details.csv\" that the Quorvel\n"
    "dashboard wrote) as a picture: one strip chart per reading on a shared time\n"
    "axis, each scaled to its gauge's range with the gauge's coloured bands behind\n"
    "it and values marked along it, and under them a bar for each fault the fault\n"
    "panel shows, drawn where the fault was present. The title names the file and\n"
    "when the drive ended (the log's last change). The log has no time column: each\n"
    "line is one answered poll, 0.5 s after the one before (the dashboard writes no\n"
    "line while the ECU does not answer, so a key cycle leaves no gap); a line that\n"
    "cannot be read leaves its half second empty.\n"
    "\n"
    "  -o OUT     the picture: SVG when OUT ends in .svg, PNG when it ends in .png.\n"
    "             Default: FILE with .png (Windows) or .svg (Linux) in place of its\n"
    "             extension, next to it.\n"
    "  --fit      scale each chart to its own readings instead of its gauge's range,\n"
    "             so that small changes show (the water warming from 28 to 37 C)\n"
    "  --open     then open the picture with the system's viewer; a problem is\n"
    "             shown in a box too (for a menu entry, which has no console)\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Lines that cannot be read (a wrong number of fields, a field that is not a\n"
    "number) are named on standard error by line and column and left out; a file\n"
    "that does not begin with the dashboard's header is refused at once. Exit\n"
    "status: 0 when the picture was written; 1 when FILE cannot be read, is not a\n"
    "log, holds no line of readings, or the picture cannot be written; 2 for a wrong\n"
    "command line.\n";

// Whether the picture is opened when written, and problems shown in a box.
bool opening = false;

int Fail(const std::string& problem) {
    std::cerr << "quorvel-plot: " << problem << "\n";
    if (opening) platform::ShowProblem("Quorvel", problem);
    return 1;
}

int Usage(const std::string& problem) {
    std::cerr << "quorvel-plot: " << problem << "\nRun quorvel-plot " << platform::HelpOption()
              << " for the options.\n";
    return 2;
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The local time of the file's last change, "2026-12-08 14:30".
std::string LastChanged(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "";
    std::time_t t = st.st_mtime;
    const std::tm* local = std::localtime(&t);
    if (local == nullptr) return "";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", local);
    return text;
}

// A file's name without its folder, and with another extension, taken from the bytes
// as the system gave them: a path object would convert them (and on Windows mangle a
// name beyond ASCII).
std::string NameOnly(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithExtension(const std::string& path, const std::string& extension) {
    size_t dot = path.rfind('.');
    size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return path + extension;
    }
    return path.substr(0, dot) + extension;
}

} // namespace

int main(int argc, char** argv) {
    platform::ConsoleInSystemCodePage();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string file;
    std::string out;
    plot::Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (platform::IsHelpOption(args[i])) {
            std::cout << kUsage;
            return 0;
        }
        if (args[i] == "--version") {
            std::cout << "quorvel-plot " << QUORVEL_VERSION << "\n";
            return 0;
        }
        if (args[i] == "--fit") {
            options.fit = true;
        } else if (args[i] == "--open") {
            opening = true;
        } else if (args[i] == "-o") {
            if (i + 1 == args.size()) return Usage("-o needs the picture's file name");
            out = args[++i];
        } else if (!args[i].empty() && args[i][0] == '-') {
            return Usage("unknown option \"" + args[i] + "\"");
        } else if (file.empty()) {
            file = args[i];
        } else {
            return Usage("one log at a time: \"" + args[i] + "\" is one too many");
        }
    }
    if (file.empty()) return Usage("name the log to plot, such as \"engine details.csv\"");
    if (out.empty()) out = WithExtension(file, platform::PictureExtension());
    const bool png = EndsWith(out, ".png");
    if (!png && !EndsWith(out, ".svg"))
        return Usage("the picture \"" + out + "\" must end in .svg or .png");

    drivelog::Log log;
    std::string error;
    if (!drivelog::Read(file, &log, &error)) {
        // A file read to its end is no log for one reason only: its first line.
        return Fail(log.read ? texts::Format(plot::kTextNotALog, file.c_str())
                             : texts::Format(plot::kTextCannotRead, file.c_str(), error.c_str()));
    }
    for (const drivelog::Problem& p : log.problems)
        std::cerr << "quorvel-plot: " << file << ": " << drivelog::Describe(p)
                  << (p.line == 1 && log.headerColumns != 0 ? "" : " (line left out)") << "\n";
    if (log.lines.empty()) return Fail(texts::Format(plot::kTextNoLines, file.c_str()));

    std::unique_ptr<canvas::Canvas> picture =
        png ? canvas::NewPng(plot::kWidth, plot::kHeight, &error)
            : canvas::NewSvg(plot::kWidth, plot::kHeight);
    if (picture == nullptr)
        return Fail(texts::Format(plot::kTextCannotWrite, out.c_str(), error.c_str()));
    // The name in the picture's title as UTF-8, whatever bytes the system gave it in.
    plot::Draw(log, platform::Utf8FromSystem(NameOnly(file)), LastChanged(file), picture.get(),
               options);
    if (!picture->Save(out, &error))
        return Fail(texts::Format(plot::kTextCannotWrite, out.c_str(), error.c_str()));
    const int unread = log.polls - static_cast<int>(log.lines.size());
    const std::string gaps = unread > 0 ? texts::Format(plot::kTextLeftOutAsGaps, unread) : "";
    std::cout << "quorvel-plot: "
              << texts::Format(plot::kTextWrote, out.c_str(),
                               plot::Duration(log.polls * drivelog::kSecondsPerLine).c_str(),
                               log.polls, gaps.c_str())
              << "\n";
    if (opening && !platform::OpenWithSystem(out))
        return Fail(texts::Format(plot::kTextNoViewer, out.c_str()));
    return 0;
}
