// What the simulated chips do not judge, seen through recording ports and
// clocks: the power steps, the serial line codes, results and waits by
// command, the parallel port's bytes and driver failures.
#include <gtest/gtest.h>

#include <map>

#include "link/delays.h"
#include "link/icsp.h"
#include "link/parallel_lines.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::LineCode;

TEST(IcspParallel, PowerStepsOfEveryAdapter) {
    // AN589: flash 12-bit chips (family 9) get VDD up, through the idle byte,
    // before Vpp; the 12F629 and 16F627A families and their successors
    // (families 4, 5 and 10) Vpp before VDD; low voltage raises PGM instead
    // of Vpp. P16PRO with Vpp on
    // D4 (D3 high), complemented by inverted buffers: VDD before Vpp, and
    // leaving waits for the chip to lose its power.
    const struct {
        char adapter;
        bool low;
        int family;
        Bytes enter;
        std::uint8_t leave;
        std::uint64_t leaveMs;
    } modes[] = {
        {'1', false, 1, {0x34, 0x08}, 0x24, 0},
        {'1', true, 1, {0x34, 0xA4, 0xE4, 0xC0}, 0x24, 0},
        {'1', false, 9, {0x34, 0x24, 0x08}, 0x24, 0},
        {'1', false, 4, {0x34, 0x3C, 0x08}, 0x24, 0},
        {'1', false, 5, {0x34, 0x3C, 0x08}, 0x24, 0},
        {'1', false, 10, {0x34, 0x3C, 0x08}, 0x24, 0},
        {'2', false, 1, {0x1C, 0x18, 0x08}, 0x1B, 50},
        {'3', false, 1, {0xE3, 0xE7, 0xF7}, 0xE4, 50},
    };
    for (const auto& m : modes) {
        LinkBench b;
        b.useParallel(m.adapter, '4', m.low);
        b.session.device.family = m.family;
        sendIcsp(b.session, ENTER_PGM, 0);
        EXPECT_EQ(b.parallel.writes, m.enter) << m.adapter << m.family;
        b.parallel.writes.clear();
        EXPECT_GE(b.timeOf([&] { sendIcsp(b.session, LEAVE_PGM, 0); }), m.leaveMs * 1'000'000u);
        EXPECT_EQ(b.parallel.writes, Bytes{m.leave});
    }
}

TEST(IcspSerial, PowerStepsAndNoLineSetToTheLevelItHas) {
    LinkBench b;
    b.useSerial(1);
    EXPECT_GE(b.timeOf([&] { sendIcsp(b.session, ENTER_PGM, 0); }), 20'000'000u);
    EXPECT_EQ(b.serialPort.codes, (std::vector<LineCode>{LineCode::setRts, LineCode::setDtr,
                                                         LineCode::setBreak, LineCode::clrBreak}));
    for (int data : {0x7FFF, 0x1FFF, 0x0001})
        sendIcsp(b.session, LOAD_DATA_PROGRAM, data);
    sendIcsp(b.session, READ_DATA_PROGRAM, 0);
    sendIcsp(b.session, LEAVE_PGM, 0);
    std::map<int, LineCode> last;  // by line: RTS, DTR, break
    for (LineCode code : b.serialPort.codes) {
        const int line = code <= LineCode::clrRts ? 0 : code <= LineCode::clrDtr ? 1 : 2;
        EXPECT_NE(last.count(line) ? last[line] : LineCode{}, code);
        last[line] = code;
    }
    EXPECT_EQ(last[2], LineCode::setBreak);  // Vpp off at the end
}

struct IcspDriver : ::testing::TestWithParam<char> {  // 'S' serial, else the adapter
    void SetUp() override { GetParam() == 'S' ? b.useSerial(1) : b.useParallel(GetParam()); }
    LinkBench b;
};

TEST_P(IcspDriver, CommandsWithoutTreatmentReturnMinusOneAndAbove63NothingIsSent) {
    for (int command : {1, 7, 23, 31, 63})
        EXPECT_EQ(sendIcsp(b.session, command, 0), -1);
    EXPECT_EQ(sendIcsp(b.session, END_PROGRAM_COMMAND, 0), 0);
    b.parallel.writes.clear();
    b.serialPort.codes.clear();
    for (int command : {64, 70})
        EXPECT_EQ(sendIcsp(b.session, command, 0), ICSP_NOT_SENT);
    EXPECT_TRUE(b.parallel.writes.empty());
    EXPECT_TRUE(b.serialPort.codes.empty());
}

TEST_P(IcspDriver, ErasesWaitByCommand) {
    // One clock read per microsecond here.
    const auto frame = b.readsOf([&] { sendIcsp(b.session, INCREMENT_ADDRESS, 0); });
    for (auto [command, ms] : {std::pair{BULK_ERASE_PROGRAM, 10}, std::pair{BULK_ERASE_DATA, 10},
                               std::pair{BEGIN_PROGRAMMING_ONLY, 2}}) {
        const auto extra = b.readsOf([&] { sendIcsp(b.session, command, 0); }) - frame;
        EXPECT_GE(extra, ms * 1000u) << command;
        EXPECT_LE(extra, ms * 1000u + 2) << command;
    }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, IcspDriver, ::testing::Values('S', '1', '2', '3'));

// A clock that records the deadlines it is told about.
struct HintedTicks : CountingTicks {
    std::uint64_t deadline = 0;
    std::uint64_t sleptUntil = 0;
    void idleUntil(std::uint64_t d) override { deadline = d; }
    void sleepUntil(std::uint64_t d) override { sleptUntil = d; }
};

TEST(Delays, WaitMsLastsAtLeastTheTimeOnAnyClockAndSleepsMostOfIt) {
    // A clock that moves almost a millisecond per read must still give a full
    // millisecond, and a fine clock must not stop early either.
    for (std::uint64_t step : {1u, 999'999u, 1'000'000u, 3'000'000u}) {
        for (int ms : {1, 2, 15, 50}) {
            HintedTicks ticks;
            ticks.step = step;
            Session s(ticks);
            waitMs(s, ms);
            const std::uint64_t span = static_cast<std::uint64_t>(ms) * 1'000'000u;
            EXPECT_GE(ticks.now - step, span) << "step " << step << " ms " << ms;
            EXPECT_EQ(ticks.deadline, step + span);  // measured from the first read
            // It sleeps through the wait but for its last fraction of a millisecond.
            EXPECT_GT(ticks.sleptUntil, step + span - 1'000'000u);
            EXPECT_LT(ticks.sleptUntil, step + span);
        }
    }
}

TEST(ParallelLines, DriverFailureIsReportedOnceAndClosesTheWindow) {
    LinkBench b;
    RecordingParallelPort direct;  // direct access uses its own port
    b.useParallel('1');
    b.session.port.directIo = true;
    b.session.port.directPort = &direct;
    parallelWrite(b.session, 0x55);
    EXPECT_EQ(direct.writes.size(), 1u);
    EXPECT_TRUE(b.parallel.writes.empty());

    b.session.port.directIo = false;
    b.parallel.reads = {0x1234};
    EXPECT_EQ(parallelRead(b.session), 0x1234);
    b.parallel.works = false;
    for (int i = 0; i < 100; ++i)
        parallelWrite(b.session, 0x08);
    EXPECT_EQ(parallelRead(b.session), 0x1234);  // the last word stays
    ASSERT_EQ(b.window.boxes.size(), 1u);
    EXPECT_EQ(b.window.boxes[0].text, "Error during driver access!");
    EXPECT_EQ(b.window.boxes[0].title, "Error");
    EXPECT_EQ(b.window.endResults, std::vector<int>{1});

    LinkBench none;  // no driver at all fails the same way
    none.useParallel('1');
    none.session.port.driverLibrary = nullptr;
    parallelWrite(none.session, 0x08);
    EXPECT_EQ(none.window.boxes.size(), 1u);
}

}  // namespace
}  // namespace ferrolux::test
