// The three PIC18 algorithms as frames on the AN589 adapter: erase keys,
// buffer writes, configuration and EEPROM steps by group.
#include <gtest/gtest.h>

#include <vector>

#include "device/passes.h"
#include "device/pic18/pic18.h"
#include "link/link_bench.h"

namespace ferrolux::test {
namespace {

struct Frame {
    int command;
    int operand;
    bool operator==(const Frame&) const = default;
};

void PrintTo(const Frame& f, std::ostream* os) {
    *os << std::hex << f.command << ":" << f.operand;
}

// A session on recording ports with a PIC18 chip of `family` selected.
struct Pic18Bench {
    explicit Pic18Bench(int family) {
        b.useParallel('1');
        b.session.link.speed = 3;
        DeviceRecord& d = b.session.device;
        d.family = family;
        d.codeWords = 16384;
        d.dataBytes = 256;
        d.writeBufferBytes = 32;
        for (auto& c : d.configBytes)
            c = {0xFF, 0xFF};
    }
    // Every 20-clock frame sent, from the data bit at each falling clock edge.
    std::vector<Frame> frames() const {
        std::vector<Frame> out;
        int bits = 0, count = 0;
        const auto& w = b.parallel.writes;
        for (std::size_t i = 1; i < w.size(); ++i) {
            if (!(w[i - 1] & 0x02) || (w[i] & 0x02)) continue;
            bits |= (w[i] & 0x01) << count++;
            if (count == 20) {
                out.push_back({bits & 0xF, bits >> 4});
                bits = count = 0;
            }
        }
        return out;
    }
    LinkBench b;
};

Frame core(int opcode) {
    return {0x0, opcode};
}

std::vector<Frame> tablePointer(int address) {
    return {core(0x0E00 | (address >> 16)),         core(0x6EF8),
            core(0x0E00 | ((address >> 8) & 0xFF)), core(0x6EF7),
            core(0x0E00 | (address & 0xFF)),        core(0x6EF6)};
}

std::vector<Frame> operator+(std::vector<Frame> a, const std::vector<Frame>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Where `part` starts in `all`; -1 when it is not there.
long find(const std::vector<Frame>& all, const std::vector<Frame>& part) {
    const auto it = std::search(all.begin(), all.end(), part.begin(), part.end());
    return it == all.end() ? -1 : it - all.begin();
}

TEST(Pic18Erase, KeysOfEachGroupThenTheTwoNops) {
    const std::vector<Frame> nops{core(0), core(0)};
    const std::vector<Frame> keyA = tablePointer(0x3C0004) + std::vector<Frame>{{0xC, 0x0080}};
    for (int family : {11, 12}) {
        Pic18Bench p(family);
        ASSERT_EQ(pic18Erase(p.b.session), 0);
        EXPECT_EQ(p.frames(), keyA + nops) << family;
    }
    Pic18Bench p(13);
    ASSERT_EQ(pic18Erase(p.b.session), 0);
    const std::vector<Frame> keyB = tablePointer(0x3C0005) + std::vector<Frame>{{0xC, 0x3F3F}} +
                                    tablePointer(0x3C0004) + std::vector<Frame>{{0xC, 0x8F8F}};
    EXPECT_EQ(p.frames(), keyB + nops);
}

TEST(Pic18Erase, NoPic18SelectedSendsNothing) {
    Pic18Bench p(2);
    EXPECT_EQ(pic18Erase(p.b.session), kPassFailed);
    EXPECT_NE(p.b.session.message.find("no PIC18"), std::string::npos);
    EXPECT_TRUE(p.b.parallel.writes.empty());
}

ChipImage codeImage() {
    ChipImage image;
    for (int a = 0; a < 40; ++a)
        image.pic18.code[a] = static_cast<std::uint8_t>(a);
    image.pic18.code[64] = 0xFF;  // a block of FF bytes only: not written
    image.pic18.code[101] = 0x42;
    image.pic18.code[40000] = 0x11;  // past the chip's 32 KB
    return image;
}

int count(const std::vector<Frame>& frames, int command) {
    return static_cast<int>(std::count_if(frames.begin(), frames.end(),
                                          [&](const Frame& f) { return f.command == command; }));
}

TEST(Pic18WriteCode, BufferAlignedBlocksOfTheChipsBufferSize) {
    Pic18Bench p(13);  // 32-byte buffer
    pic18Write(p.b.session, codeImage(), {true, false, false, false});
    const auto f = p.frames();
    EXPECT_EQ(count(f, 0xF), 3);  // blocks 0, 32 and 96
    EXPECT_EQ(count(f, 0xD), 3 * 15);
    EXPECT_GE(find(f, tablePointer(32) + std::vector<Frame>{{0xD, 0x2120}}), 0);
    // Block 96: FF but for byte 101, its last pair starts programming.
    std::vector<Frame> block96 = tablePointer(96);
    for (int pair = 0; pair < 15; ++pair)
        block96.push_back({0xD, pair == 2 ? 0x42FF : 0xFFFF});
    block96.push_back({0xF, 0xFFFF});
    block96.push_back(core(0));
    EXPECT_GE(find(f, block96), 0);
    EXPECT_EQ(find(f, tablePointer(64)), -1);
    // No single-panel step on this group.
    EXPECT_EQ(find(f, tablePointer(0x3C0006)), -1);
}

TEST(Pic18WriteCode, EightByteBuffersInSinglePanelModeOn18Fxx2) {
    Pic18Bench p(11);
    pic18Write(p.b.session, codeImage(), {true, false, false, false});
    const auto f = p.frames();
    EXPECT_EQ(count(f, 0xF), 6);  // 0, 8, 16, 24, 32 and 96
    const std::vector<Frame> singlePanel =
        std::vector<Frame>{core(0x8EA6), core(0x8CA6)} + tablePointer(0x3C0006) +
        std::vector<Frame>{{0xC, 0x0000}, core(0x8EA6), core(0x9CA6)};
    const long at = find(f, singlePanel);
    EXPECT_GE(at, 0);
    EXPECT_LT(at, find(f, tablePointer(0)));
}

TEST(Pic18WriteIds, OneEightByteBufferAt200000) {
    ChipImage image;
    image.pic18.ids[1] = 0x12;
    Pic18Bench p(13);
    pic18Write(p.b.session, image, {false, true, false, false});
    EXPECT_GE(find(p.frames(),
                   tablePointer(0x200000) +
                       std::vector<Frame>{
                           {0xD, 0x12FF}, {0xD, 0xFFFF}, {0xD, 0xFFFF}, {0xF, 0xFFFF}, core(0)}),
              0);
}

TEST(Pic18WriteConfig, EachByteItsOwnPointerHalfByAddressAndConfig6HLast) {
    ChipImage image;
    image.pic18.config[0xB] = 0xA0;  // CONFIG6H
    image.pic18.config[0x1] = 0x22;  // CONFIG1H
    image.pic18.config[0x2] = 0x0E;  // CONFIG2L
    const std::vector<Frame> goTo{core(0xEF00), core(0xF800)};
    for (int family : {11, 12, 13}) {
        Pic18Bench p(family);
        pic18Write(p.b.session, image, {false, false, false, true});
        const auto f = p.frames();
        const long c1h = find(f, tablePointer(0x300001) + std::vector<Frame>{{0xF, 0x22FF}});
        const long c2l = find(f, tablePointer(0x300002) + std::vector<Frame>{{0xF, 0xFF0E}});
        const long c6h = find(f, tablePointer(0x30000B) + std::vector<Frame>{{0xF, 0xA0FF}});
        EXPECT_GE(c1h, 0) << family;
        EXPECT_GT(c2l, c1h) << family;
        EXPECT_GT(c6h, c2l) << family;
        EXPECT_EQ(count(f, 0xF), 3) << family;
        // GOTO 100000h before the first byte on the older groups only.
        const long g = find(f, goTo);
        if (family == 13) {
            EXPECT_EQ(g, -1);
        } else {
            EXPECT_GE(g, 0);
            EXPECT_LT(g, c1h);
        }
    }
}

TEST(Pic18WriteData, UnlockOnTheOlderGroupsOnly) {
    ChipImage image;
    image.pic18.data[5] = 0x99;
    const std::vector<Frame> unlock{core(0x0E55), core(0x6EA7), core(0x0EAA), core(0x6EA7),
                                    core(0x82A6)};
    for (int family : {11, 12, 13}) {
        Pic18Bench p(family);
        pic18Write(p.b.session, image, {false, false, true, false});
        const auto f = p.frames();
        const std::vector<Frame> load{core(0x9EA6), core(0x9CA6), core(0x0E05), core(0x6EA9),
                                      core(0x0E99), core(0x6EA8), core(0x84A6)};
        const long at = find(f, load);
        EXPECT_GE(at, 0) << family;
        EXPECT_EQ(find(f, unlock) == at + 7, family != 13) << family;
        EXPECT_GE(find(f, {core(0x94A6)}), at) << family;  // BCF WREN after the write
    }
}

}  // namespace
}  // namespace ferrolux::test
