#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/parallel_port.h"
#include "platform/serial_port.h"

namespace ferrolux::test {

// Remembers every line code it was given; answers status reads from a script
// (the last scripted value repeats).
class RecordingSerialPort : public platform::SerialPort {
  public:
    std::vector<platform::LineCode> codes;
    std::deque<std::uint32_t> statuses{0};
    bool settingsReadable = true;
    bool settingsWritable = true;
    bool timeoutsWritable = true;

    bool readSettings() override { return settingsReadable; }
    bool writeSettings(const platform::LineFormat&) override { return settingsWritable; }
    bool setReadTimeouts(const platform::ReadTimeouts&) override { return timeoutsWritable; }
    bool writeLine(platform::LineCode code) override {
        codes.push_back(code);
        return true;
    }
    bool modemStatus(std::uint32_t& bits) override {
        bits = statuses.front();
        if (statuses.size() > 1) statuses.pop_front();
        return true;
    }
};

// A serial port object whose state outlives the port handed to a session.
class SharedSerialPort : public platform::SerialPort {
  public:
    explicit SharedSerialPort(RecordingSerialPort& target) : t_(target) {}
    bool readSettings() override { return t_.readSettings(); }
    bool writeSettings(const platform::LineFormat& f) override { return t_.writeSettings(f); }
    bool setReadTimeouts(const platform::ReadTimeouts& r) override { return t_.setReadTimeouts(r); }
    bool modemStatus(std::uint32_t& bits) override { return t_.modemStatus(bits); }

  protected:
    bool writeLine(platform::LineCode code) override { return t_.writeLine(code); }

  private:
    RecordingSerialPort& t_;
};

// Remembers every byte written; answers reads from a script (the last value repeats).
class RecordingParallelPort : public platform::ParallelPort {
  public:
    std::vector<std::uint8_t> writes;
    std::deque<std::uint16_t> reads{0};
    bool works = true;

    bool writeData(std::uint16_t, std::uint8_t value) override {
        if (!works) return false;
        writes.push_back(value);
        return true;
    }
    bool readWord(std::uint16_t, std::uint16_t& word) override {
        if (!works) return false;
        word = reads.front();
        if (reads.size() > 1) reads.pop_front();
        return true;
    }
};

}  // namespace ferrolux::test
