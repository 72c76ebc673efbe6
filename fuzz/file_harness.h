#pragma once

// Drives the three file readers with arbitrary bytes and checks what must hold
// for any input. Shared by the libFuzzer targets and the regression test.

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "files/device_list.h"
#include "files/hex_input.h"
#include "files/state_file.h"
#include "session/session.h"
#include "support/counting_ticks.h"
#include "support/recording_window.h"
#include "ui/control_ids.h"
#include "ui/window_reporter.h"

namespace ferrolux::fuzz {

inline void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "file harness: %s\n", what);
        std::abort();
    }
}

inline void writeBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes as a device list: every listed chip is selected and labelled.
inline void runDeviceList(const std::filesystem::path& dir, std::span<const std::uint8_t> bytes) {
    writeBytes(dir / kDeviceListFile, bytes);
    test::CountingTicks ticks;
    test::RecordingWindow window;
    ui::WindowReporter shown(window);
    Session s(ticks, &shown);
    s.programDir = dir;
    s.chip.configWord = bytes.empty() ? 0 : bytes[0] * 0x41;

    fillChipList(s);
    require(window.boxes.empty(), "list: message box");
    const std::vector<std::string> names = window.lists[ctl::kChipList];
    require(names.size() <= kChipListMax, "list: too many entries");
    for (std::size_t i = 0; i < names.size(); ++i) {
        require(names[i].size() <= kNameMax && names[i].starts_with("PIC"), "list: bad name");
        window.selectListItem(ctl::kChipList, static_cast<int>(i));
        selectDevice(s);
        require(s.device.listIndex == static_cast<int>(i), "select: index");
        require(s.device.name == names[i], "select: name");
        require(s.device.configLabelKey.size() <= kKeyMax, "select: key");
        require(s.device.codeWords >= 0 && s.device.codeWords <= 9999, "select: code size");
        require(s.device.dataBytes >= 0 && s.device.dataBytes <= 9999, "select: data size");
        require(s.device.family >= 0 && s.device.family <= 9, "select: family");
        std::array<std::string, 14> labels;
        (void)readConfigLabels(s, labels);
    }
    require(window.endResults.empty(), "list: window ended");
}

// The bytes after the first as a hex file; the first byte picks the family.
inline void runHexInput(const std::filesystem::path& dir, std::span<const std::uint8_t> bytes) {
    const bool twelveBit = !bytes.empty() && (bytes[0] & 1) != 0;
    writeBytes(dir / "input.hex", bytes.empty() ? bytes : bytes.subspan(1));
    writeBytes(dir / kStateFile, std::span<const std::uint8_t>());
    test::CountingTicks ticks;
    test::RecordingWindow window;
    ui::WindowReporter shown(window);
    Session s(ticks, &shown);
    s.programDir = dir;
    s.device.family = twelveBit ? 8 : 2;
    s.device.codeWords = twelveBit ? 512 : 8192;
    s.device.dataBytes = twelveBit ? 0 : 256;
    s.file.hexPath = (dir / "input.hex").string();

    HexFile file;
    const int opened = openHexFile(s, file);
    require(opened == 0 || opened == 1, "open: result");
    require(opened == 1 || s.file.fileSelected, "open: success without a file");
    for (int id : s.chip.idValues)
        require(id >= 0 && id <= 15, "open: ID value");
    require(s.chip.configWord >= 0 && s.chip.configWord <= 0xFFFF, "open: configuration word");
    if (opened == 0) {
        ChipImage image;
        const int fits = fitSelectedFile(s, file, image, true);
        require(fits == 0 || fits == 1, "fit: result");
        if (fits == 0) {
            require(!image.words.empty(), "fit: an image without words");
            for (const auto& [address, value] : image.words)
                require(value >= 0 && value <= 0x3FFF && address >= 0, "fit: a word too wide");
        }
        readStoredHexPath(s);
        require(s.file.hexPath == (dir / "input.hex").string(), "open: stored path");
    }
}

// The bytes after the first as a state file: load, save, patch, and load
// again. Bit 7 of the first byte grants parallel port access.
inline void runStateFile(const std::filesystem::path& dir, std::span<const std::uint8_t> input) {
    const std::filesystem::path cfg = dir / kStateFile;
    const auto bytes = input.empty() ? input : input.subspan(1);
    writeBytes(cfg, bytes);
    test::CountingTicks ticks;
    test::RecordingWindow window;
    ui::WindowReporter shown(window);
    Session s(ticks, &shown);
    s.programDir = dir;
    s.port.directIo = !input.empty() && (input[0] & 0x80) != 0;

    loadState(s);
    require(s.link.portName.size() == 4, "load: port name");
    require(s.link.speed >= 0 && s.link.speed <= 3, "load: speed");
    require(s.link.vppLine == '3' || s.link.vppLine == '4', "load: Vpp line");
    require(s.link.adapter >= '1' && s.link.adapter <= '3', "load: adapter");
    require(s.device.listIndex >= -1 && s.device.listIndex <= 99, "load: index");

    // A path made of the input's printable bytes, of any length.
    std::string path;
    for (std::uint8_t b : bytes) {
        if (std::isprint(b)) path += static_cast<char>(b);
    }
    const std::string before = readBytes(cfg);
    saveState(s);
    storeSpeed(s, static_cast<char>('0' + s.link.speed));
    setReloadFlag(s, '1');
    s.file.hexPath = path;
    require(storeHexPath(s) == 0, "store: result");
    const std::string after = readBytes(cfg);
    const std::size_t pathEnd = 32 + (path.size() <= kStoredPathMax ? path.size() : 0) + 21;
    require(after.size() == std::max(before.size(), pathEnd), "store: file size");
    if (before.size() > pathEnd) {
        require(after.compare(pathEnd, std::string::npos, before, pathEnd) == 0,
                "store: bytes after the path changed");
    }

    s.file.hexPath = "unchanged";
    readStoredHexPath(s);
    require(s.file.hexPath == (path.size() <= kStoredPathMax ? path : std::string()), "read: path");
    require(readReloadFlag(s) == '1', "read: reload flag");

    Session again(ticks, &shown);
    again.programDir = dir;
    again.port.directIo = s.port.directIo;
    loadState(again);
    require(again.link.portName == s.link.portName, "reload: port name");
    require(again.device.listIndex == s.device.listIndex, "reload: index");
    require(again.link.adapter == s.link.adapter, "reload: adapter");
    require(again.link.vppLine == s.link.vppLine, "reload: Vpp line");
    require(again.link.speed == s.link.speed, "reload: speed");
    require((again.chip.lowVoltageChar == '1') == (s.chip.lowVoltageChar == '1'),
            "reload: low voltage");
}

}  // namespace ferrolux::fuzz
