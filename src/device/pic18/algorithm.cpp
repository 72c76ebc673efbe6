#include "device/pic18/algorithm.h"

#include "device/pic18/steps.h"
#include "link/delays.h"
#include "link/icsp18.h"
#include "session/session.h"

namespace ferrolux {

namespace {

// The margin over P10's minimum (5 us in DS39576B and DS39592E, 100 us in
// DS39622L): 200 us for every group.
constexpr int kP10Us = 200;

// P18-A writes code and IDs in single-panel mode: 00h to 3C0006h with CFGS
// set (DS39576B Table 3-7), then code memory selected again.
void singlePanel(Session& s) {
    accessConfig(s);
    setTablePointer(s, 0x3C0006);
    (void)icsp18Send(s, kTableWrite, 0x0000);
    accessCode(s);
}

void codeAccess(Session& s) {
    accessCode(s);
}

// EECON2 takes 55h then AAh before BSF WR (DS39576B Table 3-6, DS39592E
// Table 3-5).
void unlock(Session& s) {
    loadRegister(s, kEecon2, 0x55);
    loadRegister(s, kEecon2, 0xAA);
}

// P18-A: unlock, BSF WR, poll WR (DS39576B Table 3-6).
bool unlockAndPoll(Session& s) {
    unlock(s);
    core(s, bsf(kEecon1, kWr));
    return waitWriteDone(s, false);
}

// P18-A2: unlock, BSF WR, two NOPs, then P11 (DS39592E Table 3-5).
bool unlockAndWait(Session& s) {
    unlock(s);
    core(s, bsf(kEecon1, kWr));
    core(s, kNop);
    core(s, kNop);
    waitMs(s, kPic18P11Ms);
    return !s.stopped;
}

// P18-B: no unlock; BSF WR, poll WR, then the clock low for P10 (DS39622L
// Table 3-7).
bool pollThenHold(Session& s) {
    core(s, bsf(kEecon1, kWr));
    const bool done = waitWriteDone(s, true);
    waitUs(s, kP10Us);
    return done;
}

constexpr Pic18Algorithm kAlgorithms[] = {
    {.family = 11,
     .document = "DS39576B",
     .eraseKeyLow = 0x0080,
     .bufferBytes = 8,
     .p10Us = kP10Us,
     .gotoBeforeConfig = true,
     .beginBufferWrites = singlePanel,
     .writeDataByte = unlockAndPoll},
    {.family = 12,
     .document = "DS39592E",
     .eraseKeyLow = 0x0080,
     .bufferBytes = 8,
     .p10Us = kP10Us,
     .gotoBeforeConfig = true,
     .beginBufferWrites = codeAccess,
     .writeDataByte = unlockAndWait},
    {.family = 13,
     .document = "DS39622L",
     .eraseKeyHigh = 0x3F3F,
     .eraseKeyLow = 0x8F8F,
     .bufferBytes = 0,
     .p10Us = kP10Us,
     .gotoBeforeConfig = false,
     .beginBufferWrites = codeAccess,
     .writeDataByte = pollThenHold},
};

}  // namespace

const Pic18Algorithm* pic18AlgorithmOf(const DeviceRecord& d) {
    for (const Pic18Algorithm& a : kAlgorithms)
        if (a.family == d.family) return &a;
    return nullptr;
}

int pic18BufferBytes(const Pic18Algorithm& a, const DeviceRecord& d) {
    if (a.bufferBytes != 0) return a.bufferBytes;
    // 8, 16, 32 or 64 bytes (DS39622L Table 3-4).
    const int bytes = d.writeBufferBytes;
    return bytes == 8 || bytes == 16 || bytes == 32 || bytes == 64 ? bytes : 0;
}

}  // namespace ferrolux
