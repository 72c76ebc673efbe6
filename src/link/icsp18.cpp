#include "link/icsp18.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "link/frame_bits.h"
#include "link/icsp.h"
#include "link/line_driver.h"
#include "session/session.h"

namespace ferrolux {

namespace {

using namespace frame_bits;

// The idle state (clock and data low), then the first `count` command bits.
void commandBits(LineDriver& d, int command, int count = 4) {
    const FrameTiming& t = d.timing();
    delays(d, {t.lead});
    d.put({false, DataOut::low});
    delays(d, {t.commandSetup});
    for (int i = 0; i < count; ++i)
        pulse(d, bitOf(command, i), t.commandHigh[0], t.commandHigh[1]);
}

// The 16 operand bits, after the pause P5 that follows a command.
void operandBits(LineDriver& d, int operand) {
    const FrameTiming& t = d.timing();
    delays(d, {t.commandTail});
    for (int i = 0; i < 16; ++i)
        pulse(d, bitOf(operand, i), t.loadHigh);
}

// A read frame whose 8 bits stay in the driver until collected.
void readFrame(LineDriver& d, int command) {
    const FrameTiming& t = d.timing();
    commandBits(d, command);
    delays(d, {t.commandTail});
    for (int i = 0; i < 8; ++i)
        pulse(d, DataOut::low, t.loadHigh);
    // The chip drives the line from the 9th rising edge on (P6 before it).
    d.put({false, DataOut::released});
    delays(d, {t.readLead[0], t.readLead[1], t.low});
    for (int i = 0; i < 8; ++i) {
        pulse(d, DataOut::released, t.readHigh);
        d.sample();
    }
}

// True when the stop request has ended programming mode: the first call
// after the request sends LEAVE_PGM.
bool stopped(Session& s) {
    if (s.stopRequest == nullptr || *s.stopRequest == 0) return false;
    (void)sendIcsp(s, LEAVE_PGM, 0);
    return true;
}

}  // namespace

int icsp18Enter(Session& s) {
    if (stopped(s)) return ICSP_NOT_SENT;
    return sendIcsp(s, ENTER_PGM, 0);
}

int icsp18Leave(Session& s) {
    return sendIcsp(s, LEAVE_PGM, 0);
}

int icsp18Send(Session& s, int command, int operand) {
    if (stopped(s)) return ICSP_NOT_SENT;
    const auto d = driverFor(s);
    commandBits(*d, command & 0xF);
    operandBits(*d, operand & 0xFFFF);
    return 0;
}

int icsp18Read(Session& s, int command) {
    if (stopped(s)) return ICSP_NOT_SENT;
    const auto d = driverFor(s);
    readFrame(*d, command & 0xF);
    return static_cast<int>(d->collect() & 0xFF);
}

int icsp18ReadBytes(Session& s, int command, std::span<std::uint8_t> out) {
    // A buffered adapter sends each group of frames in one transfer; the stop
    // request is looked at between groups.
    constexpr std::size_t kFramesPerCollect = 64;
    for (std::size_t at = 0; at < out.size(); at += kFramesPerCollect) {
        if (stopped(s)) return ICSP_NOT_SENT;
        const auto d = driverFor(s);
        const std::size_t n = std::min(kFramesPerCollect, out.size() - at);
        for (std::size_t i = 0; i < n; ++i)
            readFrame(*d, command & 0xF);
        const std::vector<bool> bits = d->collectAll();
        for (std::size_t i = 0; i < n; ++i) {
            unsigned byte = 0;
            for (std::size_t b = 0; b < 8 && 8 * i + b < bits.size(); ++b)
                byte |= (bits[8 * i + b] ? 1u : 0u) << b;
            out[at + i] = static_cast<std::uint8_t>(byte);
        }
    }
    return 0;
}

int icsp18ProgramNop(Session& s, int highUs, int lowUs) {
    if (stopped(s)) return ICSP_NOT_SENT;
    const auto d = driverFor(s);
    commandBits(*d, kCoreInstruction, 3);
    d->put({true, DataOut::low});
    d->waitUs(highUs);
    d->put({false, DataOut::low});
    d->waitUs(lowUs);
    operandBits(*d, 0);
    return 0;
}

int icsp18EraseNop(Session& s, int holdMs, int lowUs) {
    if (stopped(s)) return ICSP_NOT_SENT;
    const auto d = driverFor(s);
    commandBits(*d, kCoreInstruction);
    d->put({false, DataOut::low});
    d->waitMs(holdMs);
    d->waitUs(lowUs);
    operandBits(*d, 0);
    return 0;
}

}  // namespace ferrolux
