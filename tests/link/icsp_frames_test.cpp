// The exact line changes of every frame, seen through recording ports.
#include <gtest/gtest.h>

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

// P16PRO images as the port sees them with Vpp on D4.
Bytes routedD4(Bytes images) {
    for (auto& i : images)
        i = (i & 0x08) ? (i | 0x18) : ((i & ~0x10) | 0x08);
    return images;
}

Bytes complemented(Bytes bytes) {
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(~b);
    return bytes;
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
    EXPECT_EQ(b.parallel.writes.size(), 13u + 33u);
    EXPECT_EQ(b.parallel.readCount, 14);

    b.parallel.writes.clear();
    EXPECT_GE(b.timeOf([&] { EXPECT_EQ(sendIcsp(b.session, LEAVE_PGM, 0), 0); }), 50'000'000u);
    EXPECT_EQ(b.parallel.writes, routedD4({0x0B}));
}

TEST(IcspParallel, InvertedP16ProComplementsEveryRoutedByte) {
    LinkBench b;
    b.useParallel('3', '4');
    sendIcsp(b.session, INCREMENT_ADDRESS, 0);
    EXPECT_EQ(b.parallel.writes, complemented(routedD4(commandFrame(0x00, 6))));
}

TEST(IcspParallel, An589HighAndLowVoltageFrames) {
    for (bool low : {false, true}) {
        LinkBench b;
        b.useParallel('1', '4', low);
        const std::uint8_t idle = low ? 0x40 : 0x08;
        sendIcsp(b.session, ENTER_PGM, 0);
        const Bytes enter = low ? Bytes{0x34, 0xA4, 0xE4, 0xC0} : Bytes{0x34, 0x08};
        EXPECT_EQ(b.parallel.writes, enter);

        b.parallel.writes.clear();
        sendIcsp(b.session, LOAD_DATA_DATA, 0x2A5);
        EXPECT_EQ(b.parallel.writes, loadFrame(idle, 3, 0x2A5));

        b.parallel.writes.clear();
        sendIcsp(b.session, READ_DATA_DATA, 0);
        EXPECT_EQ(b.parallel.writes, readFrame(idle, idle | 0x04, 5));

        b.parallel.writes.clear();
        sendIcsp(b.session, LEAVE_PGM, 0);
        EXPECT_EQ(b.parallel.writes, Bytes{0x24});
    }
}

TEST(IcspParallel, AnyOtherAdapterValueDrivesTheAn589Map) {
    LinkBench b;
    b.useParallel('0');
    sendIcsp(b.session, INCREMENT_ADDRESS, 0);
    EXPECT_EQ(b.parallel.writes, commandFrame(0x08, 6));
}

TEST(IcspParallel, ReadAssemblesBit14LeastSignificantFirst) {
    LinkBench b;
    b.useParallel('1');
    const int word = 0x2A5B;
    b.parallel.reads.clear();
    for (int i = 0; i < 14; ++i)
        b.parallel.reads.push_back(bitOf(word, i) ? 0x4000 : 0xBFFF);
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), word);
}

TEST(IcspParallel, NumbersAbove63WriteNothing) {
    for (char adapter : {'1', '2', '3'}) {
        LinkBench b;
        b.useParallel(adapter);
        EXPECT_EQ(sendIcsp(b.session, 70, 0), ICSP_NOT_SENT);
        EXPECT_EQ(sendIcsp(b.session, 64, 0), ICSP_NOT_SENT);
        EXPECT_TRUE(b.parallel.writes.empty());
    }
}

// --- Serial board

LineCode dataCode(int b) {
    return b ? LineCode::clrDtr : LineCode::setDtr;
}

std::vector<LineCode> serialCommand(int command) {
    std::vector<LineCode> c{LineCode::setRts, LineCode::setDtr, LineCode::clrBreak};
    for (int i = 0; i < 6; ++i) {
        c.push_back(LineCode::clrRts);
        c.push_back(dataCode(bitOf(command, i)));
        c.push_back(LineCode::setRts);
    }
    return c;
}

TEST(IcspSerial, LoadFrameSetsDataBeforeTheClockAndKeepsBit13ForTheStopBit) {
    for (int data : {0x7FFF, 0x1FFF, 0x0001}) {
        LinkBench b;
        b.useSerial(1);
        EXPECT_EQ(sendIcsp(b.session, LOAD_DATA_PROGRAM, data), 0);
        auto expected = serialCommand(2);
        expected.insert(expected.end(), {LineCode::clrRts, LineCode::setRts});
        for (int i = 0; i < 14; ++i) {
            expected.insert(expected.end(),
                            {dataCode(bitOf(data, i)), LineCode::clrRts, LineCode::setRts});
        }
        expected.insert(expected.end(), {LineCode::clrRts, LineCode::setRts});
        EXPECT_EQ(b.serialPort.codes, expected) << std::hex << data;
    }
}

TEST(IcspSerial, ReadFrameReleasesTheLineAndSamplesAfterEachFallingEdge) {
    LinkBench b;
    b.useSerial(1);
    const int word = 0x1C35;
    // With line sense 1 a chip output of 1 is CTS off.
    b.serialPort.statuses.clear();
    for (int i = 0; i < 14; ++i)
        b.serialPort.statuses.push_back(bitOf(word, i) ? 0x00 : 0x10);
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), word);
    auto expected = serialCommand(4);
    expected.insert(expected.end(), {LineCode::clrDtr, LineCode::setRts});
    for (int i = 0; i < 16; ++i)
        expected.insert(expected.end(), {LineCode::clrRts, LineCode::setRts});
    EXPECT_EQ(b.serialPort.codes, expected);
}

TEST(IcspSerial, PseudoCommandsSequenceTheProgrammingVoltage) {
    LinkBench b;
    b.useSerial(1);
    EXPECT_GE(b.timeOf([&] { sendIcsp(b.session, ENTER_PGM, 0); }), 20'000'000u);
    EXPECT_EQ(b.serialPort.codes, (std::vector<LineCode>{LineCode::setDtr, LineCode::setRts,
                                                         LineCode::setBreak, LineCode::clrBreak}));
    b.serialPort.codes.clear();
    sendIcsp(b.session, LEAVE_PGM, 0);
    EXPECT_EQ(b.serialPort.codes,
              (std::vector<LineCode>{LineCode::setDtr, LineCode::setRts, LineCode::setBreak}));
}

TEST(IcspSerial, NumbersAbove63SpendTheInitialDelayAndChangeNoLine) {
    LinkBench b;
    b.useSerial(1);
    EXPECT_EQ(b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, 70, 0), ICSP_NOT_SENT); }), 151u);
    EXPECT_TRUE(b.serialPort.codes.empty());
}

// --- Results and waits, common to the drivers

enum class Driver { serial, an589, p16pro };

LinkBench& setUp(LinkBench& b, Driver d) {
    if (d == Driver::serial) b.useSerial(1);
    if (d == Driver::an589) b.useParallel('1');
    if (d == Driver::p16pro) b.useParallel('2');
    return b;
}

class IcspDriver : public ::testing::TestWithParam<Driver> {};

TEST_P(IcspDriver, CommandsWithoutTreatmentClockSixBitsAndReturnMinusOne) {
    LinkBench b;
    setUp(b, GetParam());
    const auto incrementReads = b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, 6, 0), 0); });
    for (int command : {1, 7, 23, 31, 63}) {
        EXPECT_EQ(b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, command, 0), -1); }),
                  incrementReads);
    }
    EXPECT_EQ(b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, END_PROGRAM_COMMAND, 0), 0); }),
              incrementReads);
}

TEST_P(IcspDriver, EraseAndBeginProgrammingWaitInMilliseconds) {
    LinkBench b;
    setUp(b, GetParam());
    const auto frame = b.timeOf([&] { sendIcsp(b.session, INCREMENT_ADDRESS, 0); });
    for (auto [command, ms] : {std::pair{BULK_ERASE_PROGRAM, 10}, std::pair{BULK_ERASE_DATA, 10},
                               std::pair{BEGIN_PROGRAMMING_ONLY, 2}}) {
        const auto spent = b.timeOf([&] { EXPECT_EQ(sendIcsp(b.session, command, 0), 0); });
        EXPECT_GE(spent - frame, ms * 1'000'000u) << command;
        EXPECT_LT(spent - frame, (ms + 1) * 1'000'000u) << command;
    }
}

TEST_P(IcspDriver, ProgrammingWaitFollowsTheFamily) {
    const bool serial = GetParam() == Driver::serial;
    for (int family = 0; family <= 9; ++family) {
        LinkBench b;
        setUp(b, GetParam());
        b.session.device.family = family;
        const auto frame = b.readsOf([&] { sendIcsp(b.session, INCREMENT_ADDRESS, 0); });
        const auto reads =
            b.readsOf([&] { EXPECT_EQ(sendIcsp(b.session, PROGRAM_COMMAND, 0), 0); });
        const std::uint64_t extra = reads - frame;  // one read per microsecond here
        int ms = 0;
        if (family == 1 || family == 2) ms = serial ? 50 : 15;
        if (family == 3) ms = 1;
        if (family >= 4 && family <= 7) ms = 15;
        if (family == 8) {
            EXPECT_EQ(extra, serial ? 601u : 0u) << "family 8";  // speedDelay(20) at medium
        } else if (ms == 0) {
            EXPECT_EQ(extra, 0u) << family;
        } else {
            EXPECT_GE(extra, ms * 1000u) << family;
            EXPECT_LE(extra, ms * 1000u + 2) << family;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, IcspDriver,
                         ::testing::Values(Driver::serial, Driver::an589, Driver::p16pro));

}  // namespace
}  // namespace ferrolux::test
