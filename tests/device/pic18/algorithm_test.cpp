// What the simulated chips do not judge, as frames on the AN589 adapter:
// buffer alignment, the single-panel step, the order and form of the
// configuration writes by group.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <vector>

#include "device/passes.h"
#include "device/pic18/pic18.h"
#include "link/link_bench.h"

namespace ferrolux::test {
namespace {

using Frames = std::vector<int>;  // command << 16 | operand

// The frames `write` sends for `image` to a chip of `family`.
Frames framesOf(int family, const ChipImage& image, const Pic18Parts& parts, int buffer = 32) {
    LinkBench b;
    b.useParallel('1');
    b.session.link.speed = 3;
    DeviceRecord& d = b.session.device;
    d.family = family;
    d.codeWords = 16384;
    d.writeBufferBytes = buffer;
    for (auto& c : d.configBytes)
        c = {0xFF, 0xFF};
    pic18Write(b.session, image, parts);
    return frames18(b.parallel.writes);
}

Frames tablePointer(int address) {
    return {0x0E00 | (address >> 16),  0x6EF8, 0x0E00 | ((address >> 8) & 0xFF), 0x6EF7,
            0x0E00 | (address & 0xFF), 0x6EF6};
}

Frames operator+(Frames a, const Frames& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Where `part` starts in `all`; -1 when it is not there.
long find(const Frames& all, const Frames& part) {
    const auto it = std::search(all.begin(), all.end(), part.begin(), part.end());
    return it == all.end() ? -1 : it - all.begin();
}

long count(const Frames& frames, int command) {
    return std::count_if(frames.begin(), frames.end(), [&](int f) { return f >> 16 == command; });
}

TEST(Pic18WriteCode, BufferAlignedBlocksWithoutTheBlankOnesSinglePanelOn18Fxx2) {
    ChipImage image;
    for (int a = 0; a < 40; ++a)
        image.pic18.code[a] = static_cast<std::uint8_t>(a);
    image.pic18.code[64] = 0xFF;  // a block of FF bytes only: not written
    image.pic18.code[101] = 0x42;
    image.pic18.code[40000] = 0x11;  // past the chip's 32 KB
    const Pic18Parts code{true, false, false, false};

    Frames f = framesOf(13, image, code);  // 32-byte buffer
    EXPECT_EQ(count(f, 0xF), 3);           // blocks 0, 32 and 96
    EXPECT_EQ(count(f, 0xD), 3 * 15);
    // Block 96: FF but for byte 101, its last pair starts programming.
    Frames block96 = tablePointer(96);
    for (int pair = 0; pair < 15; ++pair)
        block96.push_back(0xD0000 | (pair == 2 ? 0x42FF : 0xFFFF));
    block96.push_back(0xFFFFF);
    EXPECT_GE(find(f, block96 + Frames{0}), 0);
    const Frames singlePanel = tablePointer(0x3C0006) + Frames{0xC0000};
    EXPECT_EQ(find(f, singlePanel), -1);

    f = framesOf(11, image, code);  // 8-byte buffer, 00h to 3C0006h first
    EXPECT_EQ(count(f, 0xF), 6);    // 0, 8, 16, 24, 32 and 96
    const long at = find(f, singlePanel);
    EXPECT_GE(at, 0);
    EXPECT_LT(at, find(f, tablePointer(0)));

    EXPECT_EQ(count(framesOf(13, image, code, 24), 0xF), 0);  // no valid buffer size
}

TEST(Pic18WriteConfig, EachByteItsOwnPointerHalfByAddressAndConfig6HLast) {
    ChipImage image;
    image.pic18.config[0xB] = 0xA0;  // CONFIG6H
    image.pic18.config[0x1] = 0x22;  // CONFIG1H
    image.pic18.config[0x2] = 0x0E;  // CONFIG2L
    for (int family : {11, 12, 13}) {
        const Frames f = framesOf(family, image, {false, false, false, true});
        const long c1h = find(f, tablePointer(0x300001) + Frames{0xF22FF, 0});
        const long c2l = find(f, tablePointer(0x300002) + Frames{0xFFF0E, 0});
        const long c6h = find(f, tablePointer(0x30000B) + Frames{0xFA0FF, 0});
        EXPECT_GE(c1h, 0) << family;
        EXPECT_GT(c2l, c1h) << family;
        EXPECT_GT(c6h, c2l) << family;
        EXPECT_EQ(count(f, 0xF), 3) << family;
        // GOTO 100000h before the first byte on the older groups only.
        const long g = find(f, {0xEF00, 0xF800});
        EXPECT_EQ(g >= 0 && g < c1h, family != 13) << family;
    }
}

// A port that raises the stop request at its `at`th byte.
struct StoppingPort : RecordingParallelPort {
    bool writeData(std::uint16_t base, std::uint8_t value) override {
        stop = ++count >= at;
        return RecordingParallelPort::writeData(base, value);
    }
    std::size_t at = 0, count = 0;
    volatile std::sig_atomic_t stop = 0;
};

TEST(Pic18Stop, AWriteStoppedMidWayLeavesProgrammingAndFails) {
    LinkBench b;
    StoppingPort port;
    port.at = 3000;
    b.useParallel('1');
    b.session.port.driverLibrary = &port;
    b.session.stopRequest = &port.stop;
    b.session.device.family = 12;
    b.session.device.codeWords = 4096;
    ChipImage image;
    for (int a = 0; a < 256; ++a)
        image.pic18.code[a] = 0;
    EXPECT_EQ(pic18Write(b.session, image), kPassFailed);
    EXPECT_EQ(b.session.message, "Stopped: programming mode was left.\n");
    // The frame under way ends (an idle byte and two per clock), then Vpp
    // and VDD go off and nothing follows.
    EXPECT_LE(port.writes.size(), port.at + 1 + 2 * 20 + 1);
    EXPECT_EQ(port.writes.back(), 0x24);
    EXPECT_EQ(std::count(port.writes.begin() + 3000, port.writes.end(), 0x24), 1);
}

}  // namespace
}  // namespace ferrolux::test
