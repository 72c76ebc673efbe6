#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "device/family.h"
#include "session/session.h"
#include "sim/chip_profile.h"
#include "sim/sim_board.h"
#include "sim/sim_clock.h"
#include "sim/virtual_pic.h"

namespace ferrolux::test {

// One way the programmer can be attached, as the user would set it up.
struct Wiring {
    std::string name;
    sim::BoardConfig board;
    bool serial;
    char adapter;
    char vppLine;
    bool lowVoltage;
};

// Test names show the wiring by name, not as raw bytes.
inline void PrintTo(const Wiring& w, std::ostream* os) {
    *os << w.name;
}

inline std::vector<Wiring> allWirings() {
    using sim::BoardKind;
    return {
        {"Serial", {BoardKind::serial, false, 4}, true, '1', '4', false},
        {"An589High", {BoardKind::an589, false, 4}, false, '1', '4', false},
        {"An589Low", {BoardKind::an589, false, 4}, false, '1', '4', true},
        {"P16ProVppD3", {BoardKind::p16pro, false, 3}, false, '2', '3', false},
        {"P16ProVppD4", {BoardKind::p16pro, false, 4}, false, '2', '4', false},
        {"P16ProInvertedVppD3", {BoardKind::p16pro, true, 3}, false, '3', '3', false},
        {"P16ProInvertedVppD4", {BoardKind::p16pro, true, 4}, false, '3', '4', false},
    };
}

// A session on a simulated board with a virtual chip in its socket.
struct SimBench {
    sim::SimClock clock;
    sim::SimBoard board;
    sim::VirtualPic chip;
    Session session{clock};  // last: its serial port refers to the board

    SimBench(const Wiring& w, sim::ChipProfile profile = sim::pic16f84a())
        : board(clock, w.board), chip(profile) {
        board.insertChip(&chip);
        chip.attachClock(&clock);
        session.link.serial = w.serial;
        session.link.adapter = w.adapter;
        session.link.vppLine = w.vppLine;
        session.link.lowVoltage = w.lowVoltage;
        session.device.family = profile.family;
        session.device.codeWords = profile.codeWords;
        session.device.dataBytes = profile.dataBytes;
        useFamilyTimings(session);
        if (w.serial) {
            session.port.comHandle = board.openSerial();
            session.link.lineSense = 1;  // as board detection leaves it
        } else {
            session.port.driverLibrary = &board;
            session.port.driverUsable = true;
        }
    }
};

}  // namespace ferrolux::test
