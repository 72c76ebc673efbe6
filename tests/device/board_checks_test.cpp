// The board test on the parallel adapters' wirings: the adapter answers
// through its D0-to-ACK loop-back, and each fault names what to look at.
#include <gtest/gtest.h>

#include <string>

#include "chip_rig.h"
#include "device/board_test.h"

namespace ferrolux::test {
namespace {

struct ParallelBoardTest : ::testing::TestWithParam<Wiring> {
    ChipRig rig{"PIC16F84A", GetParam()};
    std::string adapter = GetParam().adapter == '1' ? "AN589" : "P16PRO";
    std::string vpp = GetParam().adapter == '1' || GetParam().vppLine == '3' ? "D3" : "D4";
    void SetUp() override { rig.s.link.portName = "0378"; }

    std::string answers() const {
        return "ok    port 0378 opens\nok    the " + adapter +
               " adapter answers on 0378 (D0 looped back to ACK)\n";
    }
    std::string unseen() const {
        return "--    clock (D1) and Vpp (" + vpp + "): the " + adapter +
               " adapter gives no way to see them; the chip check shows whether they reach the "
               "chip\n";
    }
    std::string testWith(sim::BoardFault fault) {
        rig.bench.board.setFault(fault);
        const BoardTest test = testBoard(rig.s);
        EXPECT_FALSE(rig.bench.board.lines().vpp);
        EXPECT_EQ(test.passed(), fault == sim::BoardFault::none);
        return test.text();
    }
};

TEST_P(ParallelBoardTest, AGoodAdapterPassesAndEachFaultNamesWhatToLookAt) {
    EXPECT_EQ(testWith(sim::BoardFault::none),
              answers() + unseen() + "ok    a chip answers: DEV-ID 0560 PIC16F84A\n");

    // Nothing behind the port reads as ACK floating: high, or low through
    // inverting buffers, as a data line stuck there does.
    const bool inverted = GetParam().adapter == '3';
    const std::string head = "ok    port 0378 opens\nFAIL  the " + adapter +
                             " adapter answers on 0378 (D0 looped back "
                             "to ACK): ";
    const std::string silent = head + "no answer on ACK (pin 10): is the " + adapter +
                               " adapter powered and plugged into 0378? (a data line stuck " +
                               (inverted ? "low" : "high") + " reads the same)\n";
    const std::string high = head +
                             "data-in (ACK) stays high while D0 pulls the data line low: is the "
                             "data line shorted to +5 V, or D0's driver broken?\n";
    const std::string low = head +
                            "data-in (ACK) stays low with the data line high or released: is it "
                            "shorted to ground?\n";
    EXPECT_EQ(testWith(sim::BoardFault::noPower), silent);
    EXPECT_EQ(testWith(sim::BoardFault::dataHigh), inverted ? high : silent);
    EXPECT_EQ(testWith(sim::BoardFault::dataLow), inverted ? silent : low);
    for (const auto fault :
         {sim::BoardFault::clockStuck, sim::BoardFault::vppStuck, sim::BoardFault::noChip}) {
        EXPECT_EQ(testWith(fault),
                  answers() + unseen() +
                      "FAIL  a chip answers with its device ID: none answers: is a PIC16F84A in "
                      "the socket, pin 1 where the board marks it? If it is, look at the clock "
                      "(D1) and Vpp (" +
                      vpp + ") lines to it\n");
    }

    // No port access: nothing else can be checked.
    rig.s.port.driverUsable = false;
    EXPECT_EQ(testBoard(rig.s).text(),
              "FAIL  port 0378 opens: no access to the parallel ports: load ppdev and join the "
              "group lp (on Windows: DLPORTIO.dll or inpoutx64.dll beside the program)\n");
}

INSTANTIATE_TEST_SUITE_P(Adapters, ParallelBoardTest,
                         ::testing::Values(allWirings()[1], allWirings()[6]),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace ferrolux::test
