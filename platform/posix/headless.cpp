#include "headless.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace w32 {

void VirtualClockBackend::WaitForEvent(int64_t deadline) {
    if (!threaded_) {
        if (deadline < 0) {
            std::fprintf(stderr, "headless: the thread waits for input that nothing will send\n");
            std::abort();
        }
        if (static_cast<uint64_t>(deadline) > now_) now_ = static_cast<uint64_t>(deadline);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    programTurn_ = false;
    turn_.notify_all();
    turn_.wait(lock, [this] { return programTurn_; });
}

void VirtualClockBackend::Reset() {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_ = false;
    programTurn_ = false;
}

void VirtualClockBackend::GiveTurnToProgram() {
    std::unique_lock<std::mutex> lock(mutex_);
    programTurn_ = true;
}

void VirtualClockBackend::WaitForTurn() {
    std::unique_lock<std::mutex> lock(mutex_);
    turn_.wait(lock, [this] { return !programTurn_; });
}

void VirtualClockBackend::Resume() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ended_) return;
    programTurn_ = true;
    turn_.notify_all();
    turn_.wait(lock, [this] { return !programTurn_; });
}

void VirtualClockBackend::ProgramEnded() {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_ = true;
    programTurn_ = false;
    turn_.notify_all();
}

namespace {

// Presses OK on the box as soon as its loop runs.
void AnswerAtOnce(Box& box) {
    std::shared_ptr<Box> keep;
    for (auto& b : Boxes()) {
        if (b.get() == &box) keep = b;
    }
    PushInput([keep] {
        keep->open = false;
        keep->result = IDOK;
    });
}

} // namespace

void VirtualClockBackend::BoxOpened(Box& box) {
    if (autoAnswer_) AnswerAtOnce(box);
}

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    char c = 1;
    ssize_t ignored = write(signalPipe[1], &c, 1);
    (void)ignored;
}

uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

const uint64_t startMs = MonotonicMs();

} // namespace

RealtimeBackend::RealtimeBackend(const char* snapshotPath)
    : snapshotPath_(snapshotPath != nullptr ? snapshotPath : "") {}

void RealtimeBackend::InstallSignalHandlers() {
    if (pipe(signalPipe) != 0) return;
    fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

uint64_t RealtimeBackend::Now() { return MonotonicMs() - startMs; }

void RealtimeBackend::Sleep(uint64_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void RealtimeBackend::WaitForEvent(int64_t deadline) {
    int timeout = -1;
    if (snapshotDue_) timeout = 1000;
    if (deadline >= 0) {
        uint64_t now = Now();
        int untilDue = static_cast<uint64_t>(deadline) > now
                           ? static_cast<int>(deadline - static_cast<int64_t>(now))
                           : 0;
        timeout = timeout < 0 ? untilDue : std::min(timeout, untilDue);
    }
    pollfd p{signalPipe[0], POLLIN, 0};
    int n = poll(&p, signalPipe[0] >= 0 ? 1 : 0, timeout);
    if (snapshotDue_ && Now() - lastSnapshot_ >= 1000) {
        for (Window* w : AllWindows()) {
            if (w->parent == nullptr) SaveSnapshot(w);
        }
    }
    if (n > 0 && (p.revents & POLLIN) != 0) {
        char buffer[16];
        while (read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        PushInput([] {
            for (Window* w : AllWindows()) {
                if (w->parent == nullptr) PostMessageA(w->handle, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
        });
    }
}

void RealtimeBackend::Present(Window* w, const RECT&) {
    if (snapshotPath_.empty()) return;
    snapshotDue_ = true;
    if (Now() - lastSnapshot_ >= 1000) SaveSnapshot(w);
}

void RealtimeBackend::SaveSnapshot(Window* w) {
    if (snapshotPath_.empty() || w == nullptr || w->surface == nullptr) return;
    cairo_surface_flush(w->surface);
    cairo_surface_write_to_png(w->surface, snapshotPath_.c_str());
    lastSnapshot_ = Now();
    snapshotDue_ = false;
}

void RealtimeBackend::BoxOpened(Box& box) {
    std::fprintf(stderr, "quorvel: %s: %s\n", box.caption.c_str(), box.text.c_str());
    // Nobody can press OK here: the box is answered at once.
    AnswerAtOnce(box);
}

} // namespace w32
