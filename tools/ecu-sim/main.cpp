// ecu-sim: a simulated single-point-injection ECU with its K-line interface, on a
// pseudo-terminal. It echoes every byte it receives, as the interface does; it wakes up
// on 0x0F, 0xAA, 0xCC at 1200 baud; then it answers each one-byte register request at
// 7680 baud with the register's value from its engine.
#include "engine.h"
#include "platform/posix/kernel32/line.h"
#include "tools/common/drive_log.h"
#include "version.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The usage, after "usage: " and the program's name as it was started.
const char usage[] =
    " [options]\n"
    "  --link PATH        make PATH a link to the pseudo-terminal (default: print\n"
    "                     its name)\n"
    "  --serve PATH       sit on the terminal PATH instead of a pseudo-terminal of\n"
    "                     its own (the host side of an emulated lead): the line\n"
    "                     carries no speed, so the wake-up is known by its bytes\n"
    "  --record FILE      write every byte seen and sent, with its time and line\n"
    "                     speed\n"
    "  --reply-delay MS   the ECU's answer comes MS after the request (default 2)\n"
    "  --late MS          answers come MS late (after the program's read time-out)\n"
    "  --silent           echo, but never answer\n"
    "  --ignore-first     let the first request after each wake-up go by, unanswered\n"
    "  --silent-register N never answer register N (again for more than one)\n"
    "  --no-echo          answer without the interface's echo\n"
    "  --stray            send a stray byte now and then\n"
    "  --replay FILE      answer fixed register values (\"address value\" lines)\n"
    "  --replay-log FILE  answer the readings of an \"engine details.csv\" again, one\n"
    "                     line per poll (with --speedup F, F lines per poll): each\n"
    "                     line is one answered poll, one answered poll every 0.5 s\n"
    "  --dump             with --replay-log: print the register bytes of each line,\n"
    "                     in the poll's order, and end\n"
    "  --speedup F        run the engine's scenario (or the log) F times faster\n"
    "  --exit-after S     end after S seconds\n"
    "  --key-cycle ON:OFF switch the ignition off after ON seconds and on again\n"
    "                     after OFF more, over and over; SIGUSR1 switches it off and\n"
    "                     SIGUSR2 on, and a switch by hand holds until the next one\n"
    "                     of the cycle. With the ignition off the lead still echoes\n"
    "                     but the ECU sleeps; switched on, it answers only after a\n"
    "                     new wake-up\n"
    "  --custom-rate BAUD take a line set to 38400 baud as BAUD: Wine asks a UART\n"
    "                     for a rate that has no constant as 38400 with a custom\n"
    "                     divisor, which a pseudo-terminal cannot keep\n";

volatile sig_atomic_t stopping = 0;
void OnSignal(int) { stopping = 1; }
// The ignition as the signals ask for it: 1 off, 2 on, 0 nothing asked.
volatile sig_atomic_t ignitionAsked = 0;
void OnIgnitionOff(int) { ignitionAsked = 1; }
void OnIgnitionOn(int) { ignitionAsked = 2; }

uint64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

struct Options {
    std::string link;
    std::string serve;
    std::string record;
    std::string replay;
    std::string replayLog;
    bool dump = false;
    int replyDelay = 2;
    int late = 0;
    bool silent = false;
    bool ignoreFirst = false;
    std::set<uint8_t> silentRegisters;
    bool echo = true;
    bool stray = false;
    double exitAfter = 0;
    double keyOn = 0; // --key-cycle: seconds on, then seconds off
    double keyOff = 0;
    double speedup = 1;
    uint32_t customRate = 0;
};

// The program's name as it was started: quorvel-ecu-sim where it is installed.
std::string programName = "ecu-sim";

// A message on standard error, after the program's name.
void Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Complain(const char* format, ...) {
    std::fprintf(stderr, "%s: ", programName.c_str());
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

int Usage(FILE* to, const std::string& problem = "") {
    if (!problem.empty()) {
        std::fprintf(to, "%s: %s\nRun %s --help for the options.\n", programName.c_str(),
                     problem.c_str(), programName.c_str());
        return 2;
    }
    std::fprintf(to, "usage: %s%s", programName.c_str(), usage);
    return 2;
}

// A number option's value, whole and within its bounds.
bool Whole(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

bool Real(const char* text, double low, double high, double* value) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// Returns -1 when the program goes on, else its exit status (2 for a wrong command line,
// 0 after --help or --version).
int ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("quorvel-ecu-sim %s\n", QUORVEL_VERSION); // its installed name
            return 0;
        }
        if (a == "--silent") {
            o->silent = true;
            continue;
        }
        if (a == "--ignore-first") {
            o->ignoreFirst = true;
            continue;
        }
        if (a == "--no-echo") {
            o->echo = false;
            continue;
        }
        if (a == "--stray") {
            o->stray = true;
            continue;
        }
        if (a == "--dump") {
            o->dump = true;
            continue;
        }
        static const char* const valued[] = {"--link",      "--serve",       "--record",
                                             "--replay",    "--replay-log",  "--reply-delay",
                                             "--late",      "--speedup",     "--exit-after",
                                             "--key-cycle", "--custom-rate", "--silent-register",
                                             nullptr};
        bool known = false;
        for (const char* const* v = valued; *v != nullptr; ++v)
            known = known || a == *v;
        if (!known) return Usage(stderr, "unknown option \"" + a + "\"");
        if (i + 1 >= argc) return Usage(stderr, a + " needs a value");
        const char* v = argv[++i];
        auto bad = [&](const char* what) {
            return Usage(stderr, a + " needs " + what + ", not \"" + v + "\"");
        };
        long n = 0;
        if (a == "--link") {
            o->link = v;
        } else if (a == "--serve") {
            o->serve = v;
        } else if (a == "--record") {
            o->record = v;
        } else if (a == "--replay") {
            o->replay = v;
        } else if (a == "--replay-log") {
            o->replayLog = v;
        } else if (a == "--reply-delay") {
            if (!Whole(v, 0, 60000, &n)) return bad("a whole number of milliseconds");
            o->replyDelay = static_cast<int>(n);
        } else if (a == "--late") {
            if (!Whole(v, 0, 60000, &n)) return bad("a whole number of milliseconds");
            o->late = static_cast<int>(n);
        } else if (a == "--speedup") {
            if (!Real(v, 0.001, 1e6, &o->speedup)) return bad("a factor above 0, such as 4");
        } else if (a == "--exit-after") {
            if (!Real(v, 0.001, 1e9, &o->exitAfter)) return bad("a number of seconds above 0");
        } else if (a == "--key-cycle") {
            std::string text = v;
            size_t colon = text.find(':');
            if (colon == std::string::npos ||
                !Real(text.substr(0, colon).c_str(), 0.001, 1e9, &o->keyOn) ||
                !Real(text.substr(colon + 1).c_str(), 0.001, 1e9, &o->keyOff)) {
                return bad("ON:OFF in seconds, such as 20:5");
            }
        } else if (a == "--silent-register") {
            if (!Whole(v, 0, 255, &n)) return bad("a register address from 0 to 255, such as 8");
            o->silentRegisters.insert(static_cast<uint8_t>(n));
        } else if (a == "--custom-rate") {
            if (!Whole(v, 50, 4000000, &n)) return bad("a rate in baud, such as 7680");
            o->customRate = static_cast<uint32_t>(n);
        }
    }
    return -1;
}

struct Output {
    uint64_t at;
    uint8_t byte;
};

class Ecu {
  public:
    Ecu(const Options& o, FILE* record, std::map<uint8_t, uint8_t> replay, bool replaying,
        const drivelog::Log* log)
        : o_(o), record_(record), replay_(std::move(replay)), replaying_(replaying), log_(log),
          start_(NowMs()), nextStray_(start_ + 1000) {}

    // The key turned: off, the ECU sleeps at once (the lead, fed by the battery, still
    // echoes); on, it waits for a new wake-up, and the engine starts from cranking.
    void SetIgnition(bool on) {
        if (on == ignition_) return;
        ignition_ = on;
        awake_ = false;
        wakeProgress_ = 0;
        Note(NowMs(), on ? "ignition on" : "ignition off");
    }
    bool Ignition() const { return ignition_; }

    // A byte from the program, at the line speed the program set.
    // baud is 0 for a line that carries no speed (a terminal it did not make): the wake-up
    // is then known by its bytes alone, and they are not taken as requests.
    void Received(uint8_t byte, uint32_t baud) {
        uint64_t now = NowMs();
        Record(now, baud, "in", byte);
        if (o_.echo) Send(byte, now);
        // The program reopens the line at 7680 right after the wake-up's last byte: the new
        // speed can overtake that byte on its way here.
        bool overtaken = baud == 7680 && wakeProgress_ == 2 && byte == 0xCC;
        if (baud == 1200 || overtaken) {
            WakeUp(byte);
        } else if (baud == 0 && WakeUp(byte)) {
            return;
        } else if (baud == 7680 || baud == 0) {
            if (!awake_) {
                if (!toldAsleep_)
                    Note(now, ignition_ ? "request before the wake-up: not answered"
                                        : "request with the ignition off: not answered");
                toldAsleep_ = true;
                return;
            }
            if (firstPending_) {
                firstPending_ = false;
                Note(now, "the first request after the wake-up: let go by");
                return;
            }
            if (o_.silent || o_.silentRegisters.count(byte) != 0) return;
            Send(Answer(byte, now), now + o_.replyDelay + o_.late);
        } else {
            Note(now, "byte at an unexpected line speed: ignored");
        }
    }

    int64_t NextDue() const {
        int64_t due = outputs_.empty() ? -1 : static_cast<int64_t>(outputs_.front().at);
        if (o_.stray) {
            int64_t s = static_cast<int64_t>(nextStray_);
            due = due < 0 ? s : std::min(due, s);
        }
        return due;
    }

    // Writes what has fallen due.
    void Flush(int master, uint32_t baud) {
        uint64_t now = NowMs();
        if (o_.stray && now >= nextStray_) {
            nextStray_ = now + 700 + static_cast<uint64_t>(std::rand() % 2000);
            outputs_.push_back(Output{now, static_cast<uint8_t>(std::rand())});
        }
        while (!outputs_.empty() && outputs_.front().at <= now) {
            uint8_t b = outputs_.front().byte;
            outputs_.pop_front();
            if (write(master, &b, 1) == 1) Record(now, baud, "out", b);
        }
    }

  private:
    // True when the byte belongs to a wake-up (0x0F, 0xAA, 0xCC in a row).
    bool WakeUp(uint8_t byte) {
        static const uint8_t sequence[3] = {0x0F, 0xAA, 0xCC};
        wakeProgress_ =
            byte == sequence[wakeProgress_] ? wakeProgress_ + 1 : (byte == 0x0F ? 1 : 0);
        if (wakeProgress_ == 0) return false;
        if (wakeProgress_ == 3) {
            wakeProgress_ = 0;
            if (!ignition_) {
                Note(NowMs(), "woken with the ignition off: still asleep");
                return true;
            }
            awake_ = true;
            firstPending_ = o_.ignoreFirst;
            toldAsleep_ = false;
            engineStart_ = NowMs();
            Note(NowMs(), "awake");
        }
        return true;
    }

    uint8_t Answer(uint8_t address, uint64_t now) {
        if (log_ != nullptr) {
            // Each poll begins with address 1 and takes the next line; the last stays.
            if (address == 1) {
                size_t at = static_cast<size_t>(static_cast<double>(polls_++) * o_.speedup);
                line_ = std::min(at, log_->lines.size() - 1);
                if (at >= log_->lines.size() && !ended_) {
                    ended_ = true;
                    Note(now, "the log's last line: it is answered from now on");
                }
            }
            return ecusim::ByAddress(ecusim::RegistersOf(log_->lines[line_]), address);
        }
        if (replaying_) {
            auto it = replay_.find(address);
            return it != replay_.end() ? it->second : 0;
        }
        ecusim::EngineState s = ecusim::Scenario((now - engineStart_) / 1000.0 * o_.speedup);
        // The low byte of a period comes from the reading that gave its high byte.
        if (address == 1 || address == 3) {
            latched_[static_cast<uint8_t>(address + 1)] = ecusim::RegisterByte(s, address + 1);
        }
        auto it = latched_.find(address);
        if (it != latched_.end()) {
            uint8_t b = it->second;
            latched_.erase(it);
            return b;
        }
        return ecusim::RegisterByte(s, address);
    }

    void Send(uint8_t byte, uint64_t at) {
        // Bytes leave in order: a late answer does not overtake an echo.
        if (!outputs_.empty() && outputs_.back().at > at) at = outputs_.back().at;
        outputs_.push_back(Output{at, byte});
    }

    void Record(uint64_t t, uint32_t baud, const char* direction, uint8_t byte) {
        if (record_ == nullptr) return;
        std::fprintf(record_, "%llu %u %s 0x%02X\n", static_cast<unsigned long long>(t - start_),
                     baud, direction, byte);
        std::fflush(record_);
    }

    void Note(uint64_t t, const char* what) {
        if (record_ == nullptr) return;
        std::fprintf(record_, "%llu - note %s\n", static_cast<unsigned long long>(t - start_),
                     what);
        std::fflush(record_);
    }

    const Options& o_;
    FILE* record_;
    std::map<uint8_t, uint8_t> replay_;
    bool replaying_;
    const drivelog::Log* log_;
    size_t polls_ = 0;
    size_t line_ = 0;
    bool ended_ = false;
    uint64_t start_;
    uint64_t engineStart_ = 0;
    int wakeProgress_ = 0;
    bool awake_ = false;
    bool ignition_ = true;
    bool toldAsleep_ = false;
    bool firstPending_ = false;
    std::deque<Output> outputs_;
    std::map<uint8_t, uint8_t> latched_;
    uint64_t nextStray_;
};

} // namespace

// A pseudo-terminal of the simulator's own, in packet mode, linked or named on standard
// output; its master, or -1 after saying why.
int OpenOwnLine(const Options& o) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        Complain("no pseudo-terminal: %s\n", std::strerror(errno));
        return -1;
    }
    std::string slave = ptsname(master);
    // The program's side is set up here and closed again: the settings outlast the close
    // while this side stays open, and a side held open here would be a second holder of
    // the port, which the program refuses as Windows does.
    int setup = open(slave.c_str(), O_RDWR | O_NOCTTY);
    std::string problem;
    w32::LineSettings raw;
    raw.baud = 9600;
    uint32_t rate = 0;
    if (setup < 0 || !w32::line::Apply(setup, raw, &rate, &problem)) {
        Complain("cannot set up %s: %s\n", slave.c_str(), problem.c_str());
        return -1;
    }
    // Packet mode tells this side when the program changes the line's settings, so
    // that every byte is taken at the speed it was sent at.
    int one = 1;
    if (ioctl(master, TIOCPKT, &one) != 0 || !w32::line::ReportSettingChanges(setup)) {
        Complain("the pseudo-terminal cannot report its settings\n");
        return -1;
    }
    close(setup);
    if (!o.link.empty()) {
        unlink(o.link.c_str());
        if (symlink(slave.c_str(), o.link.c_str()) != 0) {
            Complain("cannot link %s: %s\n", o.link.c_str(), std::strerror(errno));
            return -1;
        }
    }
    std::printf("%s\n", o.link.empty() ? slave.c_str() : o.link.c_str());
    std::fflush(stdout);
    return master;
}

// A terminal the simulator is given, made raw: every byte as it comes, nothing echoed by
// the terminal itself.
int OpenServedLine(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (fd < 0 || tcgetattr(fd, &t) != 0) {
        Complain("cannot serve %s: %s\n", path.c_str(), std::strerror(errno));
        if (fd >= 0) close(fd);
        return -1;
    }
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    return fd;
}

int main(int argc, char** argv) {
    if (argc > 0) {
        std::string started = argv[0];
        programName = started.substr(started.rfind('/') + 1);
    }
    Options o;
    int status = ParseOptions(argc, argv, &o);
    if (status >= 0) return status;
    std::map<uint8_t, uint8_t> replay;
    if (!o.replay.empty()) {
        std::string error;
        if (!ecusim::LoadReplay(o.replay, &replay, &error)) {
            Complain("%s\n", error.c_str());
            return 2;
        }
    }
    drivelog::Log log;
    if (!o.replayLog.empty()) {
        std::string error;
        if (!drivelog::Read(o.replayLog, &log, &error)) {
            Complain("cannot read %s: %s\n", o.replayLog.c_str(), error.c_str());
            return 2;
        }
        // A log it cannot use is refused in one line; one it can use names the lines it
        // leaves out.
        if (!ecusim::Replayable(log, &error)) {
            Complain("cannot replay %s: %s\n", o.replayLog.c_str(), error.c_str());
            return 2;
        }
        for (const drivelog::Problem& p : log.problems)
            Complain("%s: %s\n", o.replayLog.c_str(), drivelog::Describe(p).c_str());
    }
    if (o.dump) {
        if (o.replayLog.empty()) {
            Complain("--dump goes with --replay-log FILE\n");
            return 2;
        }
        for (const drivelog::Line& line : log.lines) {
            EcuRegisterMirror r = ecusim::RegistersOf(line);
            std::printf("%d", line.number);
            for (int i = 0; i < kRegisterCount; ++i)
                std::printf(" %u", RegisterByte(r, i));
            std::printf("\n");
        }
        return 0;
    }
    FILE* record = nullptr;
    if (!o.record.empty() && (record = std::fopen(o.record.c_str(), "w")) == nullptr) {
        Complain("cannot write %s: %s\n", o.record.c_str(), std::strerror(errno));
        return 2;
    }

    if (!o.serve.empty() && !o.link.empty()) {
        Complain("--serve and --link exclude each other\n");
        return 2;
    }
    // Where the ECU sits: a pseudo-terminal of its own, whose other side the program
    // opens and whose packet mode tells the line's speed; or a terminal it is given,
    // which tells no speed.
    const bool packets = o.serve.empty();
    int master = packets ? OpenOwnLine(o) : OpenServedLine(o.serve);
    if (master < 0) return 1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = OnIgnitionOff;
    sigaction(SIGUSR1, &sa, nullptr);
    sa.sa_handler = OnIgnitionOn;
    sigaction(SIGUSR2, &sa, nullptr);

    auto lineSpeed = [&o, master, packets]() -> uint32_t {
        if (!packets) return 0;
        uint32_t speed = w32::line::Speed(master);
        return o.customRate != 0 && speed == 38400 ? o.customRate : speed;
    };
    uint32_t baud = lineSpeed();

    Ecu ecu(o, record, replay, !o.replay.empty(), o.replayLog.empty() ? nullptr : &log);
    const uint64_t started = NowMs();
    bool scheduledOn = true; // the key cycle's state: on first
    uint64_t end = o.exitAfter > 0 ? started + static_cast<uint64_t>(o.exitAfter * 1000) : 0;
    while (!stopping && (end == 0 || NowMs() < end)) {
        if (ignitionAsked != 0) {
            ecu.SetIgnition(ignitionAsked == 2);
            ignitionAsked = 0;
        }
        if (o.keyOn > 0) {
            // The cycle turns the key only when its own state changes: a switch by hand
            // holds until then.
            double cycle = o.keyOn + o.keyOff;
            double at = std::fmod(static_cast<double>(NowMs() - started) / 1000.0, cycle);
            if ((at < o.keyOn) != scheduledOn) {
                scheduledOn = at < o.keyOn;
                ecu.SetIgnition(scheduledOn);
            }
        }
        int64_t due = ecu.NextDue();
        int timeout = 200;
        if (due >= 0)
            timeout = static_cast<int>(std::max<int64_t>(0, due - static_cast<int64_t>(NowMs())));
        pollfd p{master, POLLIN, 0};
        int n = poll(&p, 1, std::min(timeout, 200));
        if (n > 0) {
            uint8_t packet[65];
            ssize_t got = read(master, packet, sizeof packet);
            if (!packets) {
                for (ssize_t i = 0; i < got; ++i)
                    ecu.Received(packet[i], 0);
                if (got <= 0) usleep(5000); // the far end is closed for now
            } else if (got < 0) {
                // Nobody has the program's side open (before its first open, between its
                // close and its reopen): wait for it without spinning.
                usleep(5000);
            } else if (got > 0 && packet[0] == TIOCPKT_DATA) {
                for (ssize_t i = 1; i < got; ++i)
                    ecu.Received(packet[i], baud);
            } else if (got > 0 && (packet[0] & TIOCPKT_IOCTL) != 0) {
                // The settings changed. What was already waiting was sent before: the
                // program sends nothing right after it reopens the line.
                int waiting = 0;
                while (ioctl(master, FIONREAD, &waiting) == 0 && waiting > 0) {
                    got = read(master, packet, sizeof packet);
                    if (got <= 0 || packet[0] != TIOCPKT_DATA) break;
                    for (ssize_t i = 1; i < got; ++i)
                        ecu.Received(packet[i], baud);
                }
                baud = lineSpeed();
            }
        }
        ecu.Flush(master, baud);
    }
    if (!o.link.empty()) unlink(o.link.c_str());
    if (record != nullptr) std::fclose(record);
    return 0;
}
