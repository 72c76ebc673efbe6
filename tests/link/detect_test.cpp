#include "link/detect.h"

#include <gtest/gtest.h>

#include "link/icsp.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

using platform::LineCode;

// Hands out one recording port, or fails, as a test wants.
struct ScriptedOpener : platform::SerialOpener {
    RecordingSerialPort& port;
    bool opens = true;
    int opened = 0;
    std::string lastName;
    explicit ScriptedOpener(RecordingSerialPort& p) : port(p) {}
    std::unique_ptr<platform::SerialPort> open(const std::string& name) override {
        lastName = name;
        if (!opens) return nullptr;
        ++opened;
        return std::make_unique<SharedSerialPort>(port);
    }
};

struct SerialCase : LinkBench {
    ScriptedOpener opener{serialPort};
    SerialCase() {
        session.link.serial = true;
        session.link.portName = "COM2";
        session.serialOpener = &opener;
    }
};

TEST(OpenComPort, EachFailingStepHasItsOwnMessageAndLeavesThePortClosed) {
    struct Step {
        void (*breakIt)(SerialCase&);
        const char* message;
    };
    const Step steps[] = {
        {[](SerialCase& c) { c.opener.opens = false; }, "COM-Init-Error!"},
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
        EXPECT_EQ(c.opener.lastName, "COM2");
    }
}

TEST(OpenComPort, RingFollowingTheBreakFindsTheBoard) {
    SerialCase c;
    c.serialPort.statuses = {0x40, 0x00};
    EXPECT_EQ(openComPort(c.session), 0);
    EXPECT_TRUE(c.session.port.comOpen());
    EXPECT_EQ(c.session.link.lineSense, 1);
    EXPECT_EQ(c.serialPort.codes, (std::vector<LineCode>{LineCode::setBreak, LineCode::clrBreak}));
}

TEST(OpenComPort, RingThatDoesNotFollowTheBreakIsNoBoard) {
    for (auto statuses : {std::deque<std::uint32_t>{0x40, 0x40}, std::deque<std::uint32_t>{0, 0},
                          std::deque<std::uint32_t>{0x00, 0x40}}) {
        SerialCase c;
        c.serialPort.statuses = statuses;
        EXPECT_EQ(openComPort(c.session), 1);
        EXPECT_EQ(c.session.message, "T3306 not found at COM2\n");
        EXPECT_EQ(c.session.link.lineSense, 0);
        EXPECT_TRUE(c.session.port.comOpen());  // the next try tests again without reopening
    }
}

TEST(OpenComPort, AnOpenPortIsNotReopenedButTestedAgain) {
    SerialCase c;
    c.serialPort.statuses = {0x40, 0x00, 0x40, 0x00};
    EXPECT_EQ(openComPort(c.session), 0);
    EXPECT_EQ(openComPort(c.session), 0);
    EXPECT_EQ(c.opener.opened, 1);
    EXPECT_EQ(c.serialPort.codes.size(), 4u);
}

TEST(OpenComPort, BoardTestTakesAtLeastTwiceFiftyMilliseconds) {
    SerialCase c;
    c.serialPort.statuses = {0x40, 0x00};
    EXPECT_GE(c.timeOf([&] { openComPort(c.session); }), 100'000'000u);
}

TEST(OpenComPort, ParallelPortSelectedTouchesNothing) {
    SerialCase c;
    c.session.link.serial = false;
    c.session.link.lineSense = 1;
    EXPECT_EQ(openComPort(c.session), 0);
    EXPECT_EQ(detectSerialBoard(c.session), 0);
    EXPECT_EQ(c.opener.opened, 0);
    EXPECT_EQ(c.session.link.lineSense, 1);
    EXPECT_TRUE(c.parallel.writes.empty());
}

// ACK answers for the three AN589 steps, after the first read of the data register.
std::deque<std::uint16_t> an589Answers(bool a, bool b, bool c) {
    auto ack = [](bool on) { return static_cast<std::uint16_t>((on ? 0x4000 : 0) | 0x08); };
    return {ack(false), ack(a), ack(b), ack(c)};
}

TEST(DetectAdapters, An589NeedsAckZeroOneOne) {
    for (int pattern = 0; pattern < 8; ++pattern) {
        LinkBench b;
        b.useParallel('1');
        b.parallel.reads = an589Answers(pattern & 4, pattern & 2, pattern & 1);
        const int expected = pattern == 3 ? 0 : 1;
        EXPECT_EQ(detectAn589(b.session), expected) << pattern;
        EXPECT_EQ(b.parallel.writes.back(), 0x24) << "leaves programming mode";
    }
}

TEST(DetectAdapters, An589WritesTheReadBackRegisterWithD0AndD2) {
    LinkBench b;
    b.useParallel('1');
    b.parallel.reads = an589Answers(false, true, true);
    ASSERT_EQ(detectAn589(b.session), 0);
    // ENTER_PGM (0x34, 0x08), then 0x08 with D0 and D2 cleared, D0 set, D2 set.
    EXPECT_EQ(b.parallel.writes, (std::vector<std::uint8_t>{0x34, 0x08, 0x08, 0x09, 0x0C, 0x24}));
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
