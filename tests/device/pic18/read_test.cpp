// The device ID split by the record's revision mask; a read that cannot run.
#include <gtest/gtest.h>

#include "device/passes.h"
#include "device/pic18/pic18.h"
#include "link/link_bench.h"

namespace ferrolux::test {
namespace {

TEST(Pic18DeviceId, RevisionBitsSplitOffByTheRecordsMask) {
    // DEVID1 0x53, DEVID2 0x11: an 18F2423 (REV4 names it) or an 18F2420.
    for (auto [mask, id, revision] : {std::tuple{0x0F, 0x1150, 0x03}, {0x1F, 0x1140, 0x13}}) {
        LinkBench b;
        b.useParallel('1');
        b.session.device.family = 13;
        b.session.device.revisionMask = mask;
        b.parallel.reads.clear();
        for (int bit = 0; bit < 16; ++bit)
            b.parallel.reads.push_back((0x1153 >> bit) & 1 ? 0x4000 : 0);
        int read = -1, rev = -1;
        ASSERT_EQ(pic18ReadDeviceId(b.session, read, &rev), 0);
        EXPECT_EQ(read, id);
        EXPECT_EQ(rev, revision);
    }
}

TEST(Pic18DeviceId, NoPic18FamilyOrAStopRequestFailsTheRead) {
    LinkBench b;
    b.useParallel('1');  // family 1
    int id = -1;
    EXPECT_EQ(pic18ReadDeviceId(b.session, id), kPassFailed);
    EXPECT_NE(b.session.message.find("no PIC18"), std::string::npos);
    EXPECT_TRUE(b.parallel.writes.empty());

    b.session.device.family = 11;
    volatile std::sig_atomic_t stop = 1;
    b.session.stopRequest = &stop;
    EXPECT_EQ(pic18ReadDeviceId(b.session, id), kPassFailed);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(b.session.message, "Stopped: programming mode was left.\n");
}

}  // namespace
}  // namespace ferrolux::test
