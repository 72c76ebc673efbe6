#include "link/icsp.h"

#include <utility>

#include "link/frame_bits.h"
#include "link/line_driver.h"
#include "session/session.h"

namespace ferrolux {

namespace {

enum class Treatment { load, read, none, programWait, wait10, beginOnlyWait, noTreatment };

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
            return Treatment::beginOnlyWait;
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
// sampled after its falling edge. The 14 samples stay with the driver.
void readFrameBits(LineDriver& d) {
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
}

constexpr std::size_t kReadBits = 14;

// The word of the kReadBits samples from `first` on, the first in bit 0.
int wordAt(const std::vector<bool>& bits, std::size_t first) {
    int word = 0;
    for (std::size_t i = 0; i < kReadBits; ++i)
        word |= (bits[first + i] ? 1 : 0) << i;
    return word;
}

// The word of the last kReadBits samples, which are taken.
int lastWord(LineDriver& d) {
    std::vector<bool>& bits = d.samples();
    if (bits.size() < kReadBits) {
        bits.clear();
        return 0;
    }
    const std::size_t first = bits.size() - kReadBits;
    const int word = wordAt(bits, first);
    bits.resize(first);
    return word;
}

// Whole milliseconds as such, so the window may paint meanwhile.
void wait(LineDriver& d, int us) {
    if (us % 1000 == 0) {
        d.waitMs(us / 1000);
    } else {
        d.waitUs(us);
    }
}

// The wait after Begin Programming, as the device layer set it for the chip.
void programWait(Session& s, LineDriver& d) {
    wait(d, s.link.serial ? s.device.programWait.serialUs : s.device.programWait.parallelUs);
}

// Sends one frame; a read's word is taken from the driver's samples unless
// `keepSamples` leaves them there.
int send(Session& s, LineDriver& d, int command, int data, bool keepSamples = false) {
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
            readFrameBits(d);
            return keepSamples ? 0 : lastWord(d);
        case Treatment::none:
            return 0;
        case Treatment::programWait:
            programWait(s, d);
            return 0;
        case Treatment::wait10:
            d.waitMs(10);
            return 0;
        case Treatment::beginOnlyWait:
            wait(d, s.device.programWait.beginOnlyUs);
            return 0;
        case Treatment::noTreatment:
            break;
    }
    return ICSP_NO_TREATMENT;
}

}  // namespace

int sendIcsp(Session& s, int command, int data) {
    if (s.port.stream != nullptr) return s.port.stream->send(command, data);
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

IcspStream::IcspStream(Session& s)
    : s_(s), driver_(driverFor(s, true)), outer_(std::exchange(s.port.stream, this)) {}

IcspStream::~IcspStream() {
    s_.port.stream = outer_;
    driver_->finish();
}

int IcspStream::admitted(int command) {
    if (s_.stopRequest == nullptr || *s_.stopRequest == 0) return command;
    // Stopped between frames: programming mode ends here, nothing more is sent.
    if (s_.stopped) return ICSP_NOT_SENT;
    s_.stopped = true;
    return LEAVE_PGM;
}

int IcspStream::send(int command, int data) {
    const int sent = admitted(command);
    if (sent == ICSP_NOT_SENT) return ICSP_NOT_SENT;
    const int result = ferrolux::send(s_, *driver_, sent, data);
    if (sent == ENTER_PGM || sent == LEAVE_PGM) driver_->finish();
    return result;
}

void IcspStream::queueRead(int command) {
    ++pending_;
    const int sent = admitted(command);
    if (sent == LEAVE_PGM) {
        (void)ferrolux::send(s_, *driver_, LEAVE_PGM, 0);
        driver_->finish();
    }
    if (sent != command) return;
    (void)ferrolux::send(s_, *driver_, command, 0, true);
}

const std::vector<int>& IcspStream::collect() {
    words_.clear();
    std::vector<bool>& bits = driver_->samples();
    std::size_t at = 0;
    for (int i = 0; i < pending_; ++i, at += kReadBits) {
        if (at + kReadBits > bits.size()) {
            words_.push_back(ICSP_NOT_SENT);
            continue;
        }
        words_.push_back(wordAt(bits, at));
    }
    bits.clear();
    pending_ = 0;
    return words_;
}

void IcspStream::waitMs(int ms) {
    driver_->waitMs(ms);
}

void IcspStream::waitUs(int us) {
    driver_->waitUs(us);
}

}  // namespace ferrolux
