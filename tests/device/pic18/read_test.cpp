// The device ID as two bytes read LSb first from 0x3FFFFE on, split by the
// record's revision mask.
#include <gtest/gtest.h>

#include "device/passes.h"
#include "device/pic18/pic18.h"
#include "link/link_bench.h"

namespace ferrolux::test {
namespace {

// The status words that answer `bytes`, a bit per sample, LSb first.
std::deque<std::uint16_t> answering(std::initializer_list<int> bytes) {
    std::deque<std::uint16_t> reads;
    for (int value : bytes)
        for (int i = 0; i < 8; ++i)
            reads.push_back((value >> i) & 1 ? 0x4000 : 0);
    return reads;
}

TEST(Pic18DeviceId, RevisionBitsSplitOffByTheRecordsMask) {
    const struct {
        int revisionMask;
        int devid1, devid2;
        int id, revision;
    } cases[] = {
        {0x1F, 0x27, 0x04, 0x0420, 0x07},  // 18F452 revision 7
        {0x0F, 0x53, 0x11, 0x1150, 0x03},  // 18F2423: bit 4 names the chip
        {0x1F, 0x53, 0x11, 0x1140, 0x13},  // the same word as an 18F2420
    };
    for (const auto& c : cases) {
        LinkBench b;
        b.useParallel('1');
        b.session.device.family = 13;
        b.session.device.revisionMask = c.revisionMask;
        b.parallel.reads = answering({c.devid1, c.devid2});
        int id = -1, revision = -1;
        ASSERT_EQ(pic18ReadDeviceId(b.session, id, &revision), 0);
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(revision, c.revision);
    }
}

TEST(Pic18DeviceId, StopRequestFailsTheRead) {
    LinkBench b;
    b.useParallel('1');
    b.session.device.family = 11;
    volatile std::sig_atomic_t stop = 1;
    b.session.stopRequest = &stop;
    int id = -1;
    EXPECT_EQ(pic18ReadDeviceId(b.session, id), kPassFailed);
    EXPECT_EQ(id, -1);
    EXPECT_FALSE(b.session.message.empty());
}

}  // namespace
}  // namespace ferrolux::test
