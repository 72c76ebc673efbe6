// The command layer against a virtual chip on every simulated board.
#include <gtest/gtest.h>

#include "link/detect.h"
#include "link/icsp.h"
#include "support/sim_bench.h"

namespace ferrolux::test {
namespace {

using Kind = sim::VirtualPic::Frame::Kind;

struct Case {
    Wiring wiring;
    int speed;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.wiring.name << " speed " << c.speed;
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const Wiring& w : allWirings()) {
        for (int speed = 0; speed <= 3; ++speed)
            cases.push_back({w, speed});
    }
    return cases;
}

class OnEveryBoard : public ::testing::TestWithParam<Case> {};

TEST_P(OnEveryBoard, LoadProgramAndReadBackEveryMemory) {
    SimBench b(GetParam().wiring);
    Session& s = b.session;
    s.link.speed = GetParam().speed;
    b.chip.enableFrameLog(true);

    ASSERT_EQ(sendIcsp(s, ENTER_PGM, 0), 0);
    ASSERT_TRUE(b.chip.inProgrammingMode());
    EXPECT_EQ(sendIcsp(s, LOAD_DATA_PROGRAM, 0x2A5C), 0);
    EXPECT_EQ(sendIcsp(s, PROGRAM_COMMAND, 0), 0);
    EXPECT_EQ(sendIcsp(s, READ_DATA_PROGRAM, 0), 0x2A5C);
    EXPECT_EQ(sendIcsp(s, INCREMENT_ADDRESS, 0), 0);
    EXPECT_EQ(sendIcsp(s, LOAD_DATA_PROGRAM, 0x7FFF), 0);  // only 14 bits go out
    EXPECT_EQ(sendIcsp(s, PROGRAM_COMMAND, 0), 0);
    EXPECT_EQ(sendIcsp(s, READ_DATA_PROGRAM, 0), 0x3FFF);

    // Data memory: the address counter modulo the data size (64 here).
    for (int i = 0; i < 63; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    EXPECT_EQ(sendIcsp(s, LOAD_DATA_DATA, 0xA5), 0);
    EXPECT_EQ(sendIcsp(s, PROGRAM_COMMAND, 0), 0);
    EXPECT_EQ(sendIcsp(s, READ_DATA_DATA, 0), 0xA5);

    // Configuration space: the device ID sits at 0x2006.
    EXPECT_EQ(sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF), 0);
    for (int i = 0; i < 6; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    EXPECT_EQ(sendIcsp(s, READ_DATA_PROGRAM, 0), 0x0560);
    EXPECT_EQ(sendIcsp(s, LEAVE_PGM, 0), 0);
    EXPECT_FALSE(b.chip.inProgrammingMode());

    EXPECT_EQ(b.chip.programWord(0), 0x2A5C);
    EXPECT_EQ(b.chip.programWord(1), 0x3FFF);
    EXPECT_EQ(b.chip.dataByte(0), 0xA5);
    EXPECT_EQ(b.chip.lostWrites(), 0u);

    // The chip saw exactly the frames sent, values least significant bit first.
    const auto& f = b.chip.frames();
    ASSERT_GE(f.size(), 6u);
    EXPECT_EQ(f[0].kind, Kind::command);
    EXPECT_EQ(f[0].value, LOAD_DATA_PROGRAM);
    EXPECT_EQ(f[1].kind, Kind::load);
    EXPECT_EQ(f[1].value, 0x2A5C);
    EXPECT_EQ(f[2].value, PROGRAM_COMMAND);
    EXPECT_EQ(f[3].value, READ_DATA_PROGRAM);
    EXPECT_EQ(f[4].kind, Kind::read);
    EXPECT_EQ(f[4].value, 0x2A5C);
}

TEST_P(OnEveryBoard, StuckDataLineReadsAllOnesOrZero) {
    SimBench b(GetParam().wiring);
    b.session.link.speed = GetParam().speed;
    sendIcsp(b.session, ENTER_PGM, 0);
    b.board.setDataFault(sim::DataFault::stuckHigh);
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), 0x3FFF);
    b.board.setDataFault(sim::DataFault::stuckLow);
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(AllWiringsAndSpeeds, OnEveryBoard, ::testing::ValuesIn(allCases()),
                         [](const auto& info) {
                             return info.param.wiring.name + "Speed" +
                                    std::to_string(info.param.speed);
                         });

class OnEachWiring : public ::testing::TestWithParam<Wiring> {};

TEST_P(OnEachWiring, AnEmptySocketReadsTheReleasedLine) {
    SimBench b(GetParam());
    b.board.removeChip();
    sendIcsp(b.session, ENTER_PGM, 0);
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), 0x3FFF);
}

TEST_P(OnEachWiring, TheFamilysProgrammingWaitDecidesWhetherAWriteTakes) {
    // A word write takes 15 ms: 15 ms and 50 ms waits are enough, family 3's
    // 1 ms (its writes are ended by the host) and family 8's bit delay are not.
    for (int family : {1, 2, 3, 4, 5, 6, 7, 8}) {
        SimBench b(GetParam());
        b.session.device.family = family;
        sendIcsp(b.session, ENTER_PGM, 0);
        sendIcsp(b.session, LOAD_DATA_PROGRAM, 0x1234);
        sendIcsp(b.session, PROGRAM_COMMAND, 0);
        const int read = sendIcsp(b.session, READ_DATA_PROGRAM, 0);
        const bool takes = family != 3 && family != 8;
        EXPECT_EQ(read, takes ? 0x1234 : 0x3FFF) << "family " << family;
        EXPECT_EQ(b.chip.lostWrites(), takes ? 0u : 1u) << "family " << family;
    }
}

TEST_P(OnEachWiring, TheBoardIsDetected) {
    SimBench b(GetParam());
    const Wiring& w = GetParam();
    if (w.serial) {
        b.session.link.lineSense = 0;
        EXPECT_EQ(detectSerialBoard(b.session), 0);
        EXPECT_EQ(b.session.link.lineSense, 1);
    } else if (w.adapter == '1') {
        EXPECT_EQ(detectAn589(b.session), 0);
    } else {
        EXPECT_EQ(detectP16Pro(b.session), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(AllWirings, OnEachWiring, ::testing::ValuesIn(allWirings()),
                         [](const auto& info) { return info.param.name; });

TEST(SimWiring, P16ProWithVppRoutedToTheWrongBitNeverEntersProgramming) {
    Wiring w = allWirings()[3];  // board switches Vpp with D3
    w.vppLine = '4';             // but the program routes it to D4
    SimBench b(w);
    sendIcsp(b.session, ENTER_PGM, 0);
    EXPECT_FALSE(b.chip.inProgrammingMode());
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), 0x3FFF);
}

TEST(SimWiring, EmptyPortsAnswerNoDetection) {
    for (const Wiring& proto : allWirings()) {
        Wiring w = proto;
        w.board.kind = sim::BoardKind::none;
        SimBench b(w);
        if (w.serial) {
            EXPECT_EQ(detectSerialBoard(b.session), 1);
            EXPECT_EQ(b.session.link.lineSense, 0);
        } else if (w.adapter == '1') {
            EXPECT_EQ(detectAn589(b.session), 1) << w.name;
        } else {
            EXPECT_EQ(detectP16Pro(b.session), 1) << w.name;
        }
    }
}

}  // namespace
}  // namespace ferrolux::test
