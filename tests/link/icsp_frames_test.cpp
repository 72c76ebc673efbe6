// The exact line changes of every frame, seen through recording ports.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "link/icsp.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::LineCode;

int bitOf(int v, int n) {
    return (v >> n) & 1;
}

// The bytes of `count` clock pulses carrying `value` over the idle bits.
void pulses(Bytes& out, std::uint8_t idle, int value, int count) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<std::uint8_t>(idle | 0x02 | bitOf(value, i)));
        out.push_back(static_cast<std::uint8_t>(idle | bitOf(value, i)));
    }
}

Bytes commandFrame(std::uint8_t idle, int command) {
    Bytes b{idle};
    pulses(b, idle, command, 6);
    return b;
}

Bytes loadFrame(std::uint8_t idle, int command, int data) {
    Bytes b = commandFrame(idle, command);
    pulses(b, idle, 0, 1);
    pulses(b, idle, data, 14);
    pulses(b, idle, 0, 1);
    return b;
}

Bytes readFrame(std::uint8_t idle, std::uint8_t released, int command) {
    Bytes b = commandFrame(idle, command);
    b.push_back(released);
    for (int i = 0; i < 16; ++i)
        b.insert(b.end(), {std::uint8_t(released | 0x02), released});
    return b;
}

// P16PRO images as the port sees them with Vpp on D4, complemented if inverted.
Bytes routedD4(Bytes images, bool inverted = false) {
    for (auto& i : images) {
        i = (i & 0x08) ? (i | 0x18) : ((i & ~0x10) | 0x08);
        if (inverted) i = static_cast<std::uint8_t>(~i);
    }
    return images;
}

// ACK answers carrying `word`, least significant bit first.
std::deque<std::uint16_t> ackBits(int word) {
    std::deque<std::uint16_t> reads;
    for (int i = 0; i < 14; ++i)
        reads.push_back(bitOf(word, i) ? 0x4000 : 0xBFFF);
    return reads;
}

TEST(IcspParallel, P16ProFramesByteForByte) {
    LinkBench b;
    b.useParallel('2', '4');
    EXPECT_EQ(sendIcsp(b.session, ENTER_PGM, 0), 0);
    EXPECT_EQ(b.parallel.writes, routedD4({0x0C, 0x08, 0x00}));

    b.parallel.writes.clear();
    EXPECT_EQ(sendIcsp(b.session, LOAD_DATA_PROGRAM, 0x7FFF), 0);
    EXPECT_EQ(b.parallel.writes, routedD4(loadFrame(0x00, 2, 0x3FFF)));

    b.parallel.writes.clear();
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), 0);
    EXPECT_EQ(b.parallel.writes, routedD4(readFrame(0x00, 0x01, 4)));
    EXPECT_EQ(b.parallel.readCount, 14);

    b.parallel.writes.clear();
    EXPECT_GE(b.timeOf([&] { EXPECT_EQ(sendIcsp(b.session, LEAVE_PGM, 0), 0); }), 50'000'000u);
    EXPECT_EQ(b.parallel.writes, routedD4({0x0B}));

    b.useParallel('3', '4');  // inverted buffers complement every routed byte
    b.parallel.writes.clear();
    sendIcsp(b.session, INCREMENT_ADDRESS, 0);
    EXPECT_EQ(b.parallel.writes, routedD4(commandFrame(0x00, 6), true));
}

TEST(IcspParallel, An589HighAndLowVoltageFrames) {
    // Flash 12-bit chips (family 9) get VDD up, through the idle byte, before Vpp.
    const struct {
        bool low;
        int family;
        Bytes enter;
    } modes[] = {{false, 1, {0x34, 0x08}},
                 {true, 1, {0x34, 0xA4, 0xE4, 0xC0}},
                 {false, 9, {0x34, 0x24, 0x08}}};
    for (const auto& [low, family, enter] : modes) {
        LinkBench b;
        b.useParallel('1', '4', low);
        b.session.device.family = family;
        const std::uint8_t idle = low ? 0x40 : 0x08;
        sendIcsp(b.session, ENTER_PGM, 0);
        EXPECT_EQ(b.parallel.writes, enter);

        b.parallel.writes.clear();
        sendIcsp(b.session, LOAD_DATA_DATA, 0x2A5);
        EXPECT_EQ(b.parallel.writes, loadFrame(idle, 3, 0x2A5));

        b.parallel.writes.clear();
        b.parallel.reads = ackBits(0x2A5B);
        EXPECT_EQ(sendIcsp(b.session, READ_DATA_DATA, 0), 0x2A5B);
        EXPECT_EQ(b.parallel.writes, readFrame(idle, idle | 0x04, 5));

        b.parallel.writes.clear();
        sendIcsp(b.session, LEAVE_PGM, 0);
        EXPECT_EQ(b.parallel.writes, Bytes{0x24});
    }
    LinkBench other;  // any other adapter value drives the AN589 map
    other.useParallel('0');
    sendIcsp(other.session, INCREMENT_ADDRESS, 0);
    EXPECT_EQ(other.parallel.writes, commandFrame(0x08, 6));
}

// --- Serial board

// The codes of a port that leaves a line alone when it already has the level:
// line sense 1 clears RTS for a high clock and DTR for a high data line, RTS
// first when both change at once.
struct SerialLines {
    std::optional<bool> clock, data;
    std::vector<LineCode> codes;
    void set(bool clk, bool dat) {
        if (clock != clk) codes.push_back(clk ? LineCode::clrRts : LineCode::setRts);
        if (data != dat) codes.push_back(dat ? LineCode::clrDtr : LineCode::setDtr);
        clock = clk;
        data = dat;
    }
    // Pulses with the data bit set on each rising edge.
    void command(int command) { bits(command, 6); }
    void bits(int value, int count) {
        for (int i = 0; i < count; ++i) {
            set(true, bitOf(value, i));
            set(false, bitOf(value, i));
        }
    }
};

TEST(IcspSerial, FramesLineByLine) {
    using Codes = std::vector<LineCode>;
    LinkBench b;
    b.useSerial(1);
    EXPECT_GE(b.timeOf([&] { sendIcsp(b.session, ENTER_PGM, 0); }), 20'000'000u);
    EXPECT_EQ(b.serialPort.codes,
              (Codes{LineCode::setRts, LineCode::setDtr, LineCode::setBreak, LineCode::clrBreak}));

    // Loads put each data bit on the line with the rising edge and keep bit 13
    // for the stop bit; a line already at its level is not set again.
    SerialLines lines{false, false, {}};
    for (int data : {0x7FFF, 0x1FFF, 0x0001}) {
        b.serialPort.codes.clear();
        lines.codes.clear();
        EXPECT_EQ(sendIcsp(b.session, LOAD_DATA_PROGRAM, data), 0);
        lines.command(2);
        lines.bits(0, 1);  // start bit: the last command bit stays
        lines.bits(data, 14);
        lines.bits(data >> 13, 1);
        EXPECT_EQ(b.serialPort.codes, lines.codes) << std::hex << data;
    }

    // A read releases the line with the start bit and samples after each
    // falling edge; with line sense 1 a chip output of 1 is CTS off.
    const int word = 0x1C35;
    b.serialPort.statuses.clear();
    for (int i = 0; i < 14; ++i)
        b.serialPort.statuses.push_back(bitOf(word, i) ? 0x00 : 0x10);
    b.serialPort.codes.clear();
    lines.codes.clear();
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), word);
    lines.command(4);
    lines.bits(0xFFFF, 16);
    EXPECT_EQ(b.serialPort.codes, lines.codes);

    b.serialPort.codes.clear();
    sendIcsp(b.session, LEAVE_PGM, 0);
    EXPECT_EQ(b.serialPort.codes, (Codes{LineCode::setDtr, LineCode::setBreak}));
}

// --- Results and waits, common to the drivers

struct IcspDriver : ::testing::TestWithParam<char> {  // 'S' serial, else the adapter
    void SetUp() override { GetParam() == 'S' ? b.useSerial(1) : b.useParallel(GetParam()); }
    LinkBench b;
};

TEST_P(IcspDriver, CommandsWithoutTreatmentReturnMinusOneAndAbove63NothingIsSent) {
    const auto incrementReads = b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, 6, 0), 0); });
    for (int command : {1, 7, 23, 31, 63}) {
        EXPECT_EQ(b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, command, 0), -1); }),
                  incrementReads);
    }
    EXPECT_EQ(b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, END_PROGRAM_COMMAND, 0), 0); }),
              incrementReads);

    b.parallel.writes.clear();
    b.serialPort.codes.clear();
    for (int command : {64, 70}) {
        // The serial board spends its initial delay, speedDelay(5) at medium speed.
        EXPECT_EQ(b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, command, 0), ICSP_NOT_SENT); }),
                  GetParam() == 'S' ? 151u : 0u);
    }
    EXPECT_TRUE(b.parallel.writes.empty());
    EXPECT_TRUE(b.serialPort.codes.empty());
}

TEST_P(IcspDriver, ErasesWaitByCommand) {
    // One clock read per microsecond here.
    const auto frame = b.readsOf([&] { sendIcsp(b.session, INCREMENT_ADDRESS, 0); });
    auto extraOf = [&](int command) {
        return b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, command, 0), 0); }) - frame;
    };
    for (auto [command, ms] : {std::pair{BULK_ERASE_PROGRAM, 10}, std::pair{BULK_ERASE_DATA, 10},
                               std::pair{BEGIN_PROGRAMMING_ONLY, 2}}) {
        const auto extra = extraOf(command);
        EXPECT_GE(extra, ms * 1000u) << command;
        EXPECT_LE(extra, ms * 1000u + 2) << command;
    }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, IcspDriver, ::testing::Values('S', '1', '2', '3'),
                         [](const auto& info) {
                             return info.param == 'S' ? std::string("Serial")
                                                      : std::string("Adapter") + info.param;
                         });

}  // namespace
}  // namespace ferrolux::test
