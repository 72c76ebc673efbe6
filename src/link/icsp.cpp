#include "link/icsp.h"

#include <cstdint>
#include <initializer_list>

#include "link/delays.h"
#include "link/parallel_lines.h"
#include "link/serial_lines.h"
#include "session/session.h"

namespace ferrolux {

namespace {

enum class Treatment { load, read, none, programWait, wait10, wait2, noTreatment };

Treatment treatmentOf(int command) {
    switch (command) {
        case LOAD_CONFIGURATION:
        case LOAD_DATA_PROGRAM:
        case LOAD_DATA_DATA:
            return Treatment::load;
        case READ_DATA_PROGRAM:
        case READ_DATA_DATA:
            return Treatment::read;
        case INCREMENT_ADDRESS:
        case END_PROGRAM_COMMAND:
            return Treatment::none;
        case PROGRAM_COMMAND:
            return Treatment::programWait;
        case BULK_ERASE_PROGRAM:
        case BULK_ERASE_DATA:
            return Treatment::wait10;
        case BEGIN_PROGRAMMING_ONLY:
            return Treatment::wait2;
        default:
            return Treatment::noTreatment;
    }
}

int bit(int value, int n) {
    return (value >> n) & 1;
}

// The wait after Begin Erase/Programming Cycle, by the chip's family.
void programWait(Session& s) {
    const bool serial = s.link.serial;
    switch (s.device.family) {
        case 1:
        case 2:
            waitMs(s, serial ? 50 : 15);
            break;
        case 3:
            waitMs(s, 1);
            break;
        case 4:
        case 5:
        case 6:
        case 7:
            waitMs(s, 15);
            break;
        case 8:
            // EPROM cells take 95 to 105 us pulses.
            waitUs(s, 100);
            break;
        case 9:
            // Flash cells take about 2 ms.
            waitMs(s, 2);
            break;
        default:
            break;
    }
}

// Everything after the command bits, shared by the line drivers: `load` and
// `read` are the driver's frames.
template <typename Load, typename Read>
int treat(Session& s, int command, int data, Load load, Read read) {
    switch (treatmentOf(command)) {
        case Treatment::load:
            load(data & 0x3FFF);
            return 0;
        case Treatment::read:
            return read();
        case Treatment::none:
            return 0;
        case Treatment::programWait:
            programWait(s);
            return 0;
        case Treatment::wait10:
            waitMs(s, 10);
            return 0;
        case Treatment::wait2:
            waitMs(s, 2);
            return 0;
        case Treatment::noTreatment:
            break;
    }
    return ICSP_NO_TREATMENT;
}

// --- Serial board: clock on RTS, data on DTR and CTS, Vpp by the break state.

void serialLoad(Session& s, int data) {
    speedDelay(s, 20);
    // Start bit: the data line still holds the last command bit.
    serialClockHigh(s);
    speedDelay(s, 20);
    serialClockLow(s);
    speedDelay(s, 10);
    for (int i = 0; i < 14; ++i) {
        // The data bit rides on the rising edge and is steady long before the falling one.
        serialClockData(s, true, bit(data, i) != 0);
        speedDelay(s, 20);
        serialClockLow(s);
        speedDelay(s, 10);
    }
    // Stop bit, with data bit 13 still on the line.
    serialClockHigh(s);
    speedDelay(s, 20);
    serialClockLow(s);
    speedDelay(s, 10);
}

int serialRead(Session& s) {
    speedDelay(s, 10);
    speedDelay(s, 20);
    serialClockLow(s);
    speedDelay(s, 10);
    // Start bit; the line is released to the chip with it. The chip drives it
    // only from the next rising edge on.
    serialClockData(s, true, true);
    speedDelay(s, 20);
    serialClockLow(s);
    speedDelay(s, 10);
    int result = 0;
    for (int i = 0; i < 14; ++i) {
        result >>= 1;
        serialClockHigh(s);
        speedDelay(s, 20);
        serialClockLow(s);
        speedDelay(s, 10);
        if (serialDataIn(s) == 1) result += 0x2000;
    }
    serialClockHigh(s);  // stop bit
    speedDelay(s, 10);
    serialClockLow(s);
    speedDelay(s, 10);
    return result;
}

// The serial board switches only Vpp (break); VDD is not sequenced here.
int sendSerial(Session& s, int command, int data) {
    speedDelay(s, 5);
    if (command == ENTER_PGM || command == LEAVE_PGM) {
        serialClockData(s, false, false);
        serialVppOff(s);
        waitMs(s, 10);
        if (command == ENTER_PGM) {
            serialVppOn(s);
            waitMs(s, 10);
        }
        return 0;
    }
    if (command < 0 || command > 63) return ICSP_NOT_SENT;
    // The data line keeps its level until the first bit goes out.
    serialClockLow(s);
    serialVppOn(s);
    speedDelay(s, 10);
    for (int i = 0; i < 6; ++i) {
        // The command bit goes out with the rising edge, a full delay before
        // the falling edge that latches it.
        serialClockData(s, true, bit(command, i) != 0);
        speedDelay(s, 10);
        speedDelay(s, 10);
        serialClockLow(s);
        speedDelay(s, 10);
    }
    speedDelay(s, 10);
    return treat(
        s, command, data, [&](int d) { serialLoad(s, d); }, [&] { return serialRead(s); });
}

// --- Parallel adapters: every line change is one byte written. Bit 0 is the
// data to the chip, bit 1 the clock; `idle` holds the adapter's other bits while
// the host drives the data line, `released` while the chip may drive it.

constexpr std::uint16_t kDataInBit = 0x4000;  // ACK

struct ParallelDriver {
    std::uint8_t idle;
    std::uint8_t released;
    bool delayAfterCommand;
    void (*put)(Session&, std::uint8_t);
};

void putImage(Session& s, std::uint8_t image) {
    p16Put(s, image);
}
void putByte(Session& s, std::uint8_t value) {
    parallelWrite(s, value);
}

// One bit per clock pulse: data with the clock high, then the clock falls.
void parallelBits(Session& s, const ParallelDriver& d, int value, int count) {
    for (int i = 0; i < count; ++i) {
        const auto b = static_cast<std::uint8_t>(d.idle | bit(value, i));
        d.put(s, b | 0x02);
        speedDelay(s, 10);
        d.put(s, b);
        speedDelay(s, 10);
    }
}

void parallelLoad(Session& s, const ParallelDriver& d, int data) {
    speedDelay(s, 10);
    parallelBits(s, d, 0, 1);  // start bit
    parallelBits(s, d, data, 14);
    parallelBits(s, d, 0, 1);  // stop bit
}

int parallelReadFrame(Session& s, const ParallelDriver& d) {
    const std::uint8_t r = d.released;
    d.put(s, r);
    speedDelay(s, 10);
    d.put(s, r | 0x02);  // start bit
    speedDelay(s, 10);
    d.put(s, r);
    speedDelay(s, 10);
    int result = 0;
    for (int i = 0; i < 14; ++i) {
        result >>= 1;
        d.put(s, r | 0x02);
        speedDelay(s, 10);
        d.put(s, r);
        speedDelay(s, 10);
        if (parallelRead(s) & kDataInBit) result += 0x2000;
    }
    d.put(s, r | 0x02);  // stop bit
    speedDelay(s, 10);
    d.put(s, r);
    speedDelay(s, 10);
    return result;
}

int sendParallelFrame(Session& s, const ParallelDriver& d, int command, int data) {
    d.put(s, d.idle);
    speedDelay(s, 10);
    parallelBits(s, d, command, 6);
    if (d.delayAfterCommand) speedDelay(s, 10);
    return treat(
        s, command, data, [&](int v) { parallelLoad(s, d, v); },
        [&] { return parallelReadFrame(s, d); });
}

// Sends `bytes` with `put`, waiting `ms` after each.
void powerSequence(Session& s, void (*put)(Session&, std::uint8_t),
                   std::initializer_list<std::uint8_t> bytes, int ms) {
    for (std::uint8_t b : bytes) {
        put(s, b);
        waitMs(s, ms);
    }
}

// P16PRO / PP: image bit 3 switches Vpp off; 0 while programming. Entering
// holds the chip unpowered (bit 2), powers it, then raises Vpp: VDD before Vpp.
int sendP16Pro(Session& s, int command, int data) {
    if (command == ENTER_PGM) {
        powerSequence(s, putImage, {0x0C, 0x08, 0x00}, 10);
        return 0;
    }
    if (command == LEAVE_PGM) {
        powerSequence(s, putImage, {0x0B}, 50);
        return 0;
    }
    if (command < 0 || command > 63) return ICSP_NOT_SENT;
    return sendParallelFrame(s, {0x00, 0x01, false, putImage}, command, data);
}

// AN589: D2 releases the data line, D3 carries Vpp (high voltage) or D6 the
// PGM level (low voltage).
int sendAn589(Session& s, int command, int data) {
    if (command == ENTER_PGM) {
        if (s.link.lowVoltage) {
            powerSequence(s, putByte, {0x34, 0xA4, 0xE4, 0xC0}, 10);
        } else if (flash12Bit(s.device)) {
            // These chips want VDD up before Vpp: through the idle state
            // (D4 clear) before D3 raises Vpp.
            powerSequence(s, putByte, {0x34, 0x24, 0x08}, 10);
        } else {
            powerSequence(s, putByte, {0x34, 0x08}, 10);
        }
        return 0;
    }
    if (command == LEAVE_PGM) {
        parallelWrite(s, 0x24);
        speedDelay(s, 10);
        return 0;
    }
    if (command < 0 || command > 63) return ICSP_NOT_SENT;
    const std::uint8_t idle = s.link.lowVoltage ? 0x40 : 0x08;
    return sendParallelFrame(s, {idle, static_cast<std::uint8_t>(idle | 0x04), true, putByte},
                             command, data);
}

}  // namespace

int sendIcsp(Session& s, int command, int data) {
    if (s.stopRequest != nullptr && *s.stopRequest != 0) {
        // Stopped between frames: programming mode ends here, nothing more is sent.
        if (s.stopped) return ICSP_NOT_SENT;
        s.stopped = true;
        command = LEAVE_PGM;
    }
    if (s.link.serial) return sendSerial(s, command, data);
    if (s.link.adapter == '2' || s.link.adapter == '3') return sendP16Pro(s, command, data);
    return sendAn589(s, command, data);
}

}  // namespace ferrolux
