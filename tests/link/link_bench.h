#pragma once

#include <memory>

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

}  // namespace ferrolux::test
