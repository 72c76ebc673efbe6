#pragma once

#include <memory>
#include <vector>

#include "device/family.h"
#include "session/session.h"
#include "support/counting_ticks.h"
#include "support/recording_ports.h"
#include "support/recording_window.h"
#include "ui/window_reporter.h"

namespace ferrolux::test {

// A session wired to recording ports and a counting clock.
struct LinkBench {
    CountingTicks ticks;
    RecordingWindow window;
    ui::WindowReporter reporter{window};
    Session session{ticks, &reporter};
    RecordingParallelPort parallel;
    RecordingSerialPort serialPort;

    LinkBench() {
        session.port.driverLibrary = &parallel;
        session.port.driverUsable = true;
        session.device.family = 1;
        useFamilyTimings(session);
    }
    // A serial session whose open port records its line codes.
    void useSerial(int lineSense = 1) {
        session.link.serial = true;
        session.link.lineSense = lineSense;
        session.port.comHandle = std::make_unique<SharedSerialPort>(serialPort);
    }
    void useParallel(char adapter, char vppLine = '4', bool lowVoltage = false) {
        session.link.serial = false;
        session.link.adapter = adapter;
        session.link.vppLine = vppLine;
        session.link.lowVoltage = lowVoltage;
    }
    // Reads of the clock taken by `f`.
    template <typename F>
    std::uint64_t readsOf(F f) {
        const std::uint64_t before = ticks.reads;
        f();
        return ticks.reads - before;
    }
    // Clock time spent by `f`, in nanoseconds.
    template <typename F>
    std::uint64_t timeOf(F f) {
        const std::uint64_t before = ticks.now;
        f();
        return ticks.now - before;
    }
};

// The data bit at every falling clock edge of the AN589 adapter's bytes.
inline std::vector<int> latchedBits(const std::vector<std::uint8_t>& writes) {
    std::vector<int> bits;
    for (std::size_t i = 1; i < writes.size(); ++i)
        if ((writes[i - 1] & 0x02) && !(writes[i] & 0x02)) bits.push_back(writes[i] & 0x01);
    return bits;
}

// The PIC18 frames in those bits, 20 clocks each: command << 16 | operand.
inline std::vector<int> frames18(const std::vector<std::uint8_t>& writes) {
    const std::vector<int> bits = latchedBits(writes);
    std::vector<int> frames;
    for (std::size_t at = 0; at + 20 <= bits.size(); at += 20) {
        int value = 0;
        for (int i = 0; i < 20; ++i)
            value |= bits[at + i] << (i < 4 ? 16 + i : i - 4);
        frames.push_back(value);
    }
    return frames;
}

}  // namespace ferrolux::test
