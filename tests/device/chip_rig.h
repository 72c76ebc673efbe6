#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "device/check_link.h"
#include "device/config_ids.h"
#include "device/erase.h"
#include "device/passes.h"
#include "device/readback.h"
#include "files/device_list.h"
#include "files/hex_input.h"
#include "files/state_file.h"
#include "link/icsp.h"
#include "platform/ftdi_serial_port.h"
#include "sim/chip_image.h"
#include "sim/sim_ftdi.h"
#include "support/recording_window.h"
#include "support/sim_bench.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/window_reporter.h"

namespace ferrolux::test {

// A test program by file stem: "family1", or a chip's "midrange_" or
// "flash12_" program ("flash12_" with "_first" or "_second").
inline std::filesystem::path hexFile(const std::string& prefix, const std::string& chip = "",
                                     const std::string& suffix = "") {
    std::string lower = chip.empty() ? "" : chip.substr(3);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::filesystem::path(FERROLUX_TEST_HEX_DIR) / (prefix + lower + suffix + ".hex");
}

inline std::filesystem::path testHex(int family) {
    return hexFile("family" + std::to_string(family));
}

// One chip per family, as the tests use them.
inline const char* chipOfFamily(int family) {
    static const char* names[] = {"",           "PIC16F84A",  "PIC16F877", "PIC16F73", "PIC12F675",
                                  "PIC16F628A", "PIC16F873A", "PIC16F818", "PIC12C508"};
    return names[family];
}

// The serial board behind the simulated FTDI adapter "ftdi:SIM1".
inline Wiring ftdiWiring() {
    Wiring w = allWirings()[0];
    w.name = "Ftdi";
    return w;
}

// A program directory with the shipped device list, a session on a simulated
// board with the named chip (or `inSocket`) in its socket, the named chip
// selected from the list as a user would.
struct ChipRig {
    TempDir dir;
    RecordingWindow window;
    ui::WindowReporter shown{window};
    SimBench bench;
    Session& s = bench.session;
    sim::VirtualPic& chip = bench.chip;
    sim::SimFtdiOpener adapters{bench.board, bench.clock};
    platform::FtdiSerialOpener ftdiOpener{adapters};

    ChipRig(const std::string& chipName, const Wiring& wiring = allWirings()[0],
            const char* inSocket = nullptr)
        : bench(wiring, *sim::findProfile(inSocket ? inSocket : chipName.c_str())) {
        std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                                   dir.path() / "kestrum.ini");
        s.reporter = &shown;
        s.programDir = dir.path();
        s.outputDir = dir.path();
        loadState(s);
        // The stored defaults give way to the board this rig is wired to.
        s.link.serial = wiring.serial;
        s.link.adapter = wiring.adapter;
        s.link.vppLine = wiring.vppLine;
        s.link.lowVoltage = wiring.lowVoltage;
        s.link.speed = 3;
        if (wiring.name == "Ftdi") {
            s.port.comHandle.reset();
            s.serialOpener = &ftdiOpener;
            s.link.portName = "ftdi:SIM1";
            s.link.lineSense = 0;
        }
        fillChipList(s);
        const auto& names = window.lists[1123];
        const auto it = std::find(names.begin(), names.end(), chipName);
        EXPECT_NE(it, names.end()) << chipName;
        window.selectListItem(1123, static_cast<int>(it - names.begin()));
        selectDevice(s);
        EXPECT_EQ(s.device.name, chipName);
    }

    ui::MainWindow main{s, window};

    // Opens `hex` as the window does and fits it to the chip into `image`,
    // for the tests that run the passes themselves.
    int open(const std::filesystem::path& hex) {
        s.file.hexPath = hex.string();
        s.file.quiet = true;
        HexFile file;
        if (openHexFile(s, file) != 0) return 1;
        image = {};
        if (fitHexFile(file, s.device, image, s.message)) return 0;
        image = {};  // a file that does not fit the chip is only opened
        return 0;
    }
    ChipImage image;

    // The main window's Write with every box the chip offers ticked ("Erase
    // bef. Write" but on EPROM chips); "" on success, else the message shown.
    std::string write() {
        const bool data = s.device.dataBytes > 0 && !twelveBitCore(s.device);
        for (auto [box, on] : {std::pair{ctl::kWriteCodeBox, true},
                               {ctl::kWriteDataBox, data},
                               {ctl::kWriteConfigBox, true},
                               {ctl::kEraseBeforeWriteBox, !epromChip(s.device)}})
            window.check(box, on);
        return ended(main.write());
    }

    // The main window's Verify with code and data ticked.
    std::string verify() {
        window.check(ctl::kVerifyCodeBox, true);
        window.check(ctl::kVerifyDataBox, s.device.dataBytes > 0);
        return ended(main.verify());
    }

    // A main window command's ending: "" when it ended with OK.
    std::string ended(int result) {
        if (result == 0 && main.lastEnding() == ui::Ending::ok) return "";
        const auto& boxes = window.boxes;
        return s.message.empty() && !boxes.empty() ? boxes.back().text : s.message;
    }

    std::string read(const std::string& name) { return readFile(dir.path() / name); }
};

// The words of an INHX8M file by word address (data records included).
inline std::map<int, int> hexWords(const std::string& text) {
    std::map<int, int> words;
    for (std::size_t pos = 0; (pos = text.find(':', pos)) != std::string::npos; ++pos) {
        auto byte = [&](std::size_t at) {
            return std::stoi(text.substr(pos + at, 2), nullptr, 16);
        };
        const int address = byte(3) * 256 + byte(5);
        for (int i = 0; byte(7) == 0 && i + 1 < byte(1); i += 2)
            words[(address + i) / 2] = byte(9 + 2 * i) + 256 * byte(11 + 2 * i);
    }
    return words;
}

// How often the chip saw `command` since its frame log was enabled.
inline int commandsSent(sim::VirtualPic& chip, int command) {
    int n = 0;
    for (const auto& f : chip.frames())
        n += f.kind == sim::VirtualPic::Frame::command && f.value == command;
    return n;
}

}  // namespace ferrolux::test
