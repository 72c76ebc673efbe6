#include "link/icsp.h"

#include "link/frame_bits.h"
#include "link/line_driver.h"
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

using namespace frame_bits;

void runSteps(LineDriver& d, std::span<const PowerStep> steps) {
    for (const PowerStep& step : steps) {
        d.write(step.image);
        if (step.delayCount != 0) d.delay(step.delayCount);
        if (step.waitMs != 0 || step.delayCount == 0) d.waitMs(step.waitMs);
    }
}

void commandBits(LineDriver& d, int command) {
    const FrameTiming& t = d.timing();
    // The idle state: clock low, Vpp on, the data line kept where it can be.
    d.put({false, t.framingKeepsData ? DataOut::keep : DataOut::low});
    delays(d, {t.commandSetup});
    for (int i = 0; i < 6; ++i)
        pulse(d, bitOf(command, i), t.commandHigh[0], t.commandHigh[1]);
    delays(d, {t.commandTail});
}

// Start bit, 14 data bits and stop bit, each bit on the line from the rising
// edge on; the chip latches it on the falling edge.
void loadFrame(LineDriver& d, int data) {
    const FrameTiming& t = d.timing();
    const DataOut framing = t.framingKeepsData ? DataOut::keep : DataOut::low;
    delays(d, {t.loadLead});
    pulse(d, framing, t.loadHigh);
    for (int i = 0; i < 14; ++i)
        pulse(d, bitOf(data, i), t.loadHigh);
    pulse(d, framing, t.loadHigh);
}

// The chip drives the line from the second rising edge on; each bit is
// sampled after its falling edge.
int readFrame(LineDriver& d) {
    const FrameTiming& t = d.timing();
    delays(d, {t.readLead[0], t.readLead[1]});
    d.put({false, t.releaseWithStart ? DataOut::keep : DataOut::released});
    delays(d, {t.low});
    pulse(d, DataOut::released, t.readHigh);
    for (int i = 0; i < 14; ++i) {
        pulse(d, DataOut::released, t.readHigh);
        d.sample();
    }
    pulse(d, DataOut::released, t.readStopHigh);
    return static_cast<int>(d.collect() & 0x3FFF);
}

// The wait after Begin Programming, as the device layer set it for the chip.
void programWait(Session& s, LineDriver& d) {
    const int us = s.link.serial ? s.device.programWait.serialUs : s.device.programWait.parallelUs;
    if (us % 1000 == 0) {
        d.waitMs(us / 1000);
    } else {
        d.waitUs(us);
    }
}

int send(Session& s, LineDriver& d, int command, int data) {
    delays(d, {d.timing().lead});
    if (command == ENTER_PGM) {
        runSteps(d, d.wiring().enter);
        return 0;
    }
    if (command == LEAVE_PGM) {
        runSteps(d, d.wiring().leave);
        return 0;
    }
    if (command < 0 || command > 63) return ICSP_NOT_SENT;
    commandBits(d, command);
    switch (treatmentOf(command)) {
        case Treatment::load:
            loadFrame(d, data & 0x3FFF);
            return 0;
        case Treatment::read:
            return readFrame(d);
        case Treatment::none:
            return 0;
        case Treatment::programWait:
            programWait(s, d);
            return 0;
        case Treatment::wait10:
            d.waitMs(10);
            return 0;
        case Treatment::wait2:
            d.waitMs(2);
            return 0;
        case Treatment::noTreatment:
            break;
    }
    return ICSP_NO_TREATMENT;
}

}  // namespace

int sendIcsp(Session& s, int command, int data) {
    if (s.stopRequest != nullptr && *s.stopRequest != 0) {
        // Stopped between frames: programming mode ends here, nothing more is sent.
        if (s.stopped) return ICSP_NOT_SENT;
        s.stopped = true;
        command = LEAVE_PGM;
    }
    const auto driver = driverFor(s);
    const int result = send(s, *driver, command, data);
    // Mode changes go out at once; other frames may wait for the next wait or read.
    if (command == ENTER_PGM || command == LEAVE_PGM) driver->finish();
    return result;
}

}  // namespace ferrolux
