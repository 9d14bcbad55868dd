// The scripted line that tests give in place of a device, on the program's clock.
#include "platform/posix/kernel32/device.h"
#include "platform/posix/layer.h"

#include <cerrno>

namespace w32 {

void ScriptedLine::Deliver(uint8_t byte, uint64_t delayMs) {
    uint64_t at = CurrentBackend().Now() + delayMs;
    if (!incoming_.empty() && incoming_.back().at > at) at = incoming_.back().at;
    incoming_.push_back(Pending{at, byte});
}

void ScriptedLine::Record(Event::Kind kind, uint8_t byte) {
    if (keepEvents) events.push_back(Event{kind, CurrentBackend().Now(), Baud(), byte});
}

std::vector<uint8_t> ScriptedLine::Written() const {
    std::vector<uint8_t> bytes;
    for (const Event& e : events) {
        if (e.kind == Event::Write) bytes.push_back(e.byte);
    }
    return bytes;
}

int ScriptedLine::OpenCount() const {
    int n = 0;
    for (const Event& e : events)
        n += e.kind == Event::Open ? 1 : 0;
    return n;
}

// Bytes that have arrived are there at once; a wait runs the program's clock on to the
// next arrival or the deadline, whichever comes first. With nothing on its way and no
// deadline, nothing will ever come: the wait ends at once rather than hang the clock.
class ScriptedDevice : public Device {
  public:
    explicit ScriptedDevice(std::shared_ptr<ScriptedLine> line) : line_(std::move(line)) {
        line_->Record(ScriptedLine::Event::Open);
        if (line_->onOpen) line_->onOpen(*line_);
    }

    uint64_t Now() override { return CurrentBackend().Now(); }

    bool Apply(const LineSettings& s, uint32_t* rate) override {
        if (Gone()) return false;
        refusalCode = line_->refuseSettingsError;
        if (refusalCode != 0) return false;
        *rate = line_->driverRate ? line_->driverRate(s.baud) : s.baud;
        if (*rate == 0) return false;
        LineSettings applied = s;
        applied.baud = *rate;
        line_->settings_ = applied;
        line_->Record(ScriptedLine::Event::Configure);
        return true;
    }

    bool Current(LineSettings* s) override {
        if (Gone()) return false;
        *s = line_->settings_;
        return true;
    }

    void SetModemLines(bool dtr, bool rts) override {
        line_->settings_.dtr = dtr;
        line_->settings_.rts = rts;
    }

    // What has arrived is dropped; what is still on its way arrives later.
    void DropInput() override {
        uint64_t now = Now();
        while (!line_->incoming_.empty() && line_->incoming_.front().at <= now)
            line_->incoming_.pop_front();
        line_->Record(ScriptedLine::Event::Purge);
    }

    Wait WaitReadable(int64_t deadline) override {
        if (Gone()) return Wait::Gone;
        Backend& clock = CurrentBackend();
        uint64_t now = clock.Now();
        if (!line_->incoming_.empty()) {
            uint64_t at = line_->incoming_.front().at;
            if (at <= now) return Wait::Ready;
            if (deadline < 0 || static_cast<int64_t>(at) <= deadline) {
                clock.Sleep(at - now);
                return Wait::Ready;
            }
        }
        if (deadline > static_cast<int64_t>(now))
            clock.Sleep(static_cast<uint64_t>(deadline) - now);
        return Gone() ? Wait::Gone : Wait::TimedOut;
    }

    Wait WaitWritable(int64_t deadline) override {
        if (Gone()) return Wait::Gone;
        if (!line_->takesNothing) return Wait::Ready;
        Backend& clock = CurrentBackend();
        if (deadline > static_cast<int64_t>(clock.Now()))
            clock.Sleep(static_cast<uint64_t>(deadline) - clock.Now());
        return Wait::TimedOut;
    }

    long ReadAvailable(uint8_t* out, size_t max) override {
        if (Gone()) return -1;
        uint64_t now = Now();
        size_t got = 0;
        while (got < max && !line_->incoming_.empty() && line_->incoming_.front().at <= now) {
            out[got++] = line_->incoming_.front().byte;
            line_->incoming_.pop_front();
        }
        return static_cast<long>(got);
    }

    // The record is taken before the line answers, so that events stay in order.
    long WriteSome(const uint8_t* bytes, size_t count) override {
        if (Gone()) return -1;
        if (line_->takesNothing) return 0;
        std::shared_ptr<ScriptedLine> line = line_;
        for (size_t i = 0; i < count; ++i) {
            line->Record(ScriptedLine::Event::Write, bytes[i]);
            if (line->onWrite) line->onWrite(*line, bytes[i]);
        }
        return static_cast<long>(count);
    }

    void ReadEnded(DWORD got) override {
        line_->Record(ScriptedLine::Event::Read, static_cast<uint8_t>(got));
    }

    void Closed() override { line_->Record(ScriptedLine::Event::Close); }

  private:
    bool Gone() {
        if (line_->pulledOut) {
            goneError = ENODEV;
            goneCode = line_->pulledOutError;
        }
        return line_->pulledOut;
    }
    std::shared_ptr<ScriptedLine> line_;
};

std::unique_ptr<Device> ScriptedDeviceFor(std::shared_ptr<ScriptedLine> line) {
    return std::make_unique<ScriptedDevice>(std::move(line));
}

} // namespace w32
