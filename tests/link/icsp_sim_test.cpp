// The command layer against a virtual chip on every simulated board.
#include <gtest/gtest.h>

#include "link/detect.h"
#include "link/icsp.h"
#include "support/sim_bench.h"

namespace ferrolux::test {
namespace {

class OnEachWiring : public ::testing::TestWithParam<Wiring> {};

int detect(Session& s, const Wiring& w) {
    if (w.serial) return detectSerialBoard(s);
    return w.adapter == '1' ? detectAn589(s) : detectP16Pro(s);
}

TEST_P(OnEachWiring, LoadProgramAndReadBackEveryMemoryAtEverySpeed) {
    for (int speed = 0; speed <= 3; ++speed) {
        SimBench b(GetParam());
        Session& s = b.session;
        s.link.speed = speed;

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
    }
}

TEST_P(OnEachWiring, TheBoardIsDetectedAndAnEmptySocketReadsTheReleasedLine) {
    SimBench b(GetParam());
    b.session.link.lineSense = 0;
    EXPECT_EQ(detect(b.session, GetParam()), 0);
    EXPECT_EQ(b.session.link.lineSense, GetParam().serial ? 1 : 0);
    b.board.removeChip();
    sendIcsp(b.session, ENTER_PGM, 0);
    EXPECT_EQ(sendIcsp(b.session, READ_DATA_PROGRAM, 0), 0x3FFF);

    Wiring w = GetParam();  // nothing on the port
    w.board.kind = sim::BoardKind::none;
    SimBench empty(w);
    EXPECT_EQ(detect(empty.session, w), 1);
    EXPECT_EQ(empty.session.link.lineSense, 0);
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

}  // namespace
}  // namespace ferrolux::test
