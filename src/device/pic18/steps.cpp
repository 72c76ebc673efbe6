#include "device/pic18/steps.h"

#include "device/pic18/algorithm.h"
#include "link/delays.h"
#include "link/icsp.h"
#include "link/icsp18.h"
#include "session/session.h"

namespace ferrolux {

void core(Session& s, int opcode) {
    (void)icsp18Core(s, opcode);
}

void loadRegister(Session& s, int reg, int value) {
    core(s, movlw(value));
    core(s, movwf(reg));
}

void setTablePointer(Session& s, int address) {
    loadRegister(s, kTblptrU, (address >> 16) & 0x3F);
    loadRegister(s, kTblptrH, address >> 8);
    loadRegister(s, kTblptrL, address);
}

void accessCode(Session& s) {
    core(s, bsf(kEecon1, kEepgd));
    core(s, bcf(kEecon1, kCfgs));
}

void accessConfig(Session& s) {
    core(s, bsf(kEecon1, kEepgd));
    core(s, bsf(kEecon1, kCfgs));
}

void accessData(Session& s) {
    core(s, bcf(kEecon1, kEepgd));
    core(s, bcf(kEecon1, kCfgs));
}

int readBytes(Session& s, int address, std::span<std::uint8_t> out) {
    setTablePointer(s, address);
    return icsp18ReadBytes(s, kTableReadPostIncrement, out) == 0 ? 0 : 1;
}

void programBuffer(Session& s, const Pic18Algorithm& a, int address,
                   std::span<const std::uint8_t> bytes) {
    setTablePointer(s, address);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const bool last = i + 2 >= bytes.size();
        (void)icsp18Send(s, last ? kTableWriteStart : kTableWritePostIncrement2,
                         bytes[i] | bytes[i + 1] << 8);
    }
    (void)icsp18ProgramNop(s, kPic18P9Us, a.p10Us);
}

void writeConfigByte(Session& s, const Pic18Algorithm& a, int address, int value) {
    setTablePointer(s, address);
    // The other half of the operand is ignored; it carries an erased byte.
    const int operand = (address & 1) == 0 ? 0xFF00 | (value & 0xFF) : (value & 0xFF) << 8 | 0xFF;
    (void)icsp18Send(s, kTableWriteStart, operand);
    (void)icsp18ProgramNop(s, kPic18P9Us, a.p10Us);
}

void setDataAddress(Session& s, int offset) {
    loadRegister(s, kEeadr, offset);
    // The 256-byte chips have no EEADRH.
    if (s.device.dataBytes > 256) loadRegister(s, kEeadrH, offset >> 8);
}

int readDataByte(Session& s, int offset) {
    setDataAddress(s, offset);
    core(s, bsf(kEecon1, kRd));
    core(s, movfToW(kEedata));
    core(s, movwf(kTablat));
    core(s, kNop);
    return icsp18Read(s, kShiftOutTablat);
}

bool waitWriteDone(Session& s, bool nopBeforeShift) {
    // A write takes about 4 ms (P11A); the limit allows well over 20 ms.
    constexpr int kPolls = 100;
    constexpr int kPauseUs = 200;
    for (int poll = 0; poll < kPolls; ++poll) {
        core(s, movfToW(kEecon1));
        core(s, movwf(kTablat));
        if (nopBeforeShift) core(s, kNop);
        const int eecon1 = icsp18Read(s, kShiftOutTablat);
        if (eecon1 < 0) return false;
        if ((eecon1 & (1 << kWr)) == 0) return true;
        waitUs(s, kPauseUs);
    }
    return false;
}

}  // namespace ferrolux
