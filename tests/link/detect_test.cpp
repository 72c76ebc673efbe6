#include "link/detect.h"

#include <gtest/gtest.h>

#include "link/icsp.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

using platform::LineCode;

// A serial session on COM2 whose opener hands out the recording port, or fails.
struct SerialCase : LinkBench, platform::SerialOpener {
    bool opens = true;
    int opened = 0;
    std::string lastName;
    SerialCase() {
        session.link.serial = true;
        session.link.portName = "COM2";
        session.serialOpener = this;
    }
    std::unique_ptr<platform::SerialPort> open(const std::string& name) override {
        lastName = name;
        if (!opens) return nullptr;
        ++opened;
        return std::make_unique<SharedSerialPort>(serialPort);
    }
};

TEST(OpenComPort, EachFailingStepHasItsOwnMessageAndLeavesThePortClosed) {
    struct Step {
        void (*breakIt)(SerialCase&);
        const char* message;
    };
    const Step steps[] = {
        {[](SerialCase& c) { c.opens = false; }, "COM-Init-Error!"},
        {[](SerialCase& c) { c.serialPort.settingsReadable = false; },
         "Kann COM-Port Einstellung nicht lesen."},
        {[](SerialCase& c) { c.serialPort.settingsWritable = false; },
         "Kann COM-Port Einstellung nicht schreiben."},
        {[](SerialCase& c) { c.serialPort.timeoutsWritable = false; },
         "Kann TIMEOUTS nicht schreiben."},
    };
    for (const Step& step : steps) {
        SerialCase c;
        step.breakIt(c);
        EXPECT_EQ(openComPort(c.session), 1);
        EXPECT_EQ(c.session.message, step.message);
        EXPECT_FALSE(c.session.port.comOpen());
        EXPECT_EQ(c.lastName, "COM2");
    }
}

TEST(OpenComPort, OnlyARingFollowingTheBreakFindsTheBoard) {
    using Statuses = std::deque<std::uint32_t>;
    for (auto [statuses, found] :
         {std::pair{Statuses{0x40, 0x00}, true}, std::pair{Statuses{0x40, 0x40}, false},
          std::pair{Statuses{0, 0}, false}, std::pair{Statuses{0x00, 0x40}, false}}) {
        SerialCase c;
        c.serialPort.statuses = statuses;
        const auto spent = c.timeOf([&] { EXPECT_EQ(openComPort(c.session), found ? 0 : 1); });
        EXPECT_GE(spent, found ? 100'000'000u : 50'000'000u);  // 50 ms after each break change
        EXPECT_EQ(c.session.message, found ? "" : "T3306 not found at COM2\n");
        EXPECT_EQ(c.session.link.lineSense, found ? 1 : 0);
        if (found) {
            EXPECT_EQ(c.serialPort.codes,
                      (std::vector<LineCode>{LineCode::setBreak, LineCode::clrBreak}));
        }
        // The port stays open: the next try tests the board again without reopening.
        EXPECT_TRUE(c.session.port.comOpen());
        c.serialPort.statuses = {0x40, 0x00};
        c.serialPort.codes.clear();
        EXPECT_EQ(openComPort(c.session), 0);
        EXPECT_EQ(c.opened, 1);
        // A break left set by a failed try is not set again.
        EXPECT_EQ(c.serialPort.codes.back(), LineCode::clrBreak);
    }
    SerialCase parallel;  // a parallel port selected: nothing is opened or tested
    parallel.session.link.serial = false;
    parallel.session.link.lineSense = 1;
    EXPECT_EQ(openComPort(parallel.session), 0);
    EXPECT_EQ(detectSerialBoard(parallel.session), 0);
    EXPECT_EQ(parallel.opened, 0);
    EXPECT_EQ(parallel.session.link.lineSense, 1);
}

TEST(DetectAdapters, An589NeedsAckZeroOneOne) {
    auto ack = [](bool on) { return static_cast<std::uint16_t>((on ? 0x4000 : 0) | 0x08); };
    for (int pattern = 0; pattern < 8; ++pattern) {
        LinkBench b;
        b.useParallel('1');
        // The first read fetches the data register; then one ACK per step.
        b.parallel.reads = {ack(false), ack(pattern & 4), ack(pattern & 2), ack(pattern & 1)};
        EXPECT_EQ(detectAn589(b.session), pattern == 3 ? 0 : 1) << pattern;
        EXPECT_EQ(b.parallel.writes.back(), 0x24) << "leaves programming mode";
        if (pattern == 3) {
            // ENTER_PGM (0x34, 0x08), then 0x08 with D0 and D2 cleared, D0 set, D2 set.
            EXPECT_EQ(b.parallel.writes,
                      (std::vector<std::uint8_t>{0x34, 0x08, 0x08, 0x09, 0x0C, 0x24}));
        }
    }
}

TEST(DetectAdapters, P16ProNeedsAckZeroThenOneOnBothBufferKinds) {
    for (char adapter : {'2', '3'}) {
        const std::uint16_t flip = adapter == '3' ? 0xFFFF : 0;
        for (auto [first, second, expected] :
             {std::tuple{false, true, 0}, std::tuple{true, true, 1}, std::tuple{false, false, 1}}) {
            LinkBench b;
            b.useParallel(adapter);
            b.parallel.reads = {static_cast<std::uint16_t>((first ? 0x4000 : 0) ^ flip),
                                static_cast<std::uint16_t>((second ? 0x4000 : 0) ^ flip)};
            EXPECT_EQ(detectP16Pro(b.session), expected) << adapter;
        }
    }
}

}  // namespace
}  // namespace ferrolux::test
