// The far end of a pseudo-terminal for the time-out table under Wine: the program on
// the port's side writes the letter of a case ('A' for the first), and this sends that
// case's bytes at their times, counted from kLead ms after the letter came.
// usage: serial_peer LINK   (LINK becomes a link to the port's side)
#include "fixtures/serial_timeouts.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

const int kLead = 150; // the program reads this long after it wrote the letter
volatile sig_atomic_t stopping = 0;
void OnSignal(int) { stopping = 1; }

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: serial_peer LINK\n");
        return 2;
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
    unlink(argv[1]);
    if (symlink(ptsname(master), argv[1]) != 0) return 1;
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    while (!stopping) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        uint8_t command = 0;
        if (read(master, &command, 1) != 1) {
            usleep(5000); // the port's side is not open (yet)
            continue;
        }
        int index = command - 'A';
        if (index < 0 || index >= kTimeoutCaseCount) continue;
        auto start = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLead);
        for (const Arrival& a : kTimeoutCases[index].arrivals) {
            if (a.bytes == 0) break;
            if (a.at > 0) std::this_thread::sleep_until(start + std::chrono::milliseconds(a.at));
            (void)!write(master, bytes, static_cast<size_t>(a.bytes));
        }
    }
    unlink(argv[1]);
    return 0;
}
