#include "platform/posix/backends/headless.h"

#include <cstdio>
#include <cstdlib>

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
    Park();
}

void VirtualClockBackend::Park() {
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

} // namespace w32
