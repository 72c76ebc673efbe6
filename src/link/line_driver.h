#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace ferrolux {

class Session;

// The level the host puts on the data line to the chip.
enum class DataOut : std::uint8_t { low, high, released, keep };

// One state of the ICSP lines. `keep` leaves the data line as the last state
// had it; the serial board does not touch it at all then.
struct IcspLines {
    bool clock = false;
    DataOut data = DataOut::keep;
    bool vpp = true;  // programming enabled: Vpp, or PGM at low voltage
};

// Bit timings of the frames, as speedDelay counts (0: no delay there).
struct FrameTiming {
    int lead;               // before everything, even a refused command
    bool framingKeepsData;  // start and stop bits of a load keep the data line
    int commandSetup;       // after the idle state, before the first command bit
    int commandHigh[2];     // clock high of a command bit, in up to two delays
    int low;                // clock low of every bit
    int commandTail;        // after the command bits
    int loadLead;           // before a load's start bit
    int loadHigh;           // clock high of a load bit
    int readLead[2];        // before a read frame
    bool releaseWithStart;  // the read releases the line with its start bit (else before it)
    int readHigh;           // clock high of a read bit
    int readStopHigh;       // clock high of a read's stop bit
};

// A step of entering or leaving programming mode: the port's output image as
// written (bits an adapter drives besides clock, data and Vpp, such as VDD,
// appear only here), then a wait in milliseconds or a speedDelay count.
struct PowerStep {
    std::uint8_t image;
    int waitMs;
    int delayCount = 0;
};

// How an adapter is wired: which bit of the port's output image carries each
// ICSP signal, which are active low, and where the chip's data bit comes back.
// On the serial board the image bits are the modem lines (set = asserted).
struct Wiring {
    const char* name;
    std::uint8_t clock;      // clock high
    std::uint8_t data;       // data high
    std::uint8_t release;    // data line released to the chip; 0: a high data line releases it
    std::uint8_t vpp;        // programming enabled
    std::uint8_t activeLow;  // of clock, data, release and vpp, those whose active level is 0
    std::uint8_t fixed;      // other bits held set while the frames run
    std::uint32_t dataIn;    // the chip's data bit in the input word
    bool dataInActiveLow;
    std::span<const PowerStep> enter;
    std::span<const PowerStep> leave;
    const FrameTiming* timing;

    // The output image for `lines`; `current` gives the data bits for `keep`.
    std::uint8_t image(const IcspLines& lines, std::uint8_t current) const;
};

// Serial board image bits.
inline constexpr std::uint8_t kRtsBit = 0x01;
inline constexpr std::uint8_t kDtrBit = 0x02;
inline constexpr std::uint8_t kBreakBit = 0x04;

// Puts images on one kind of port and samples the chip's data bit. A buffered
// driver collects its samples and reads them from one transfer at collect().
class LineDriver {
  public:
    explicit LineDriver(const Wiring& wiring) : wiring_(wiring) {}
    virtual ~LineDriver() = default;

    const Wiring& wiring() const { return wiring_; }
    const FrameTiming& timing() const { return *wiring_.timing; }

    // Puts the lines to `lines` in one step.
    virtual void put(const IcspLines& lines) { write(wiring_.image(lines, current())); }
    // Writes an image as it is (power steps).
    virtual void write(std::uint8_t image) = 0;
    // A bit delay of speedDelay(count).
    virtual void delay(int count) = 0;
    // Waits of real time; a buffered driver sends what it holds first, or
    // holds the lines through a short wait while it streams.
    virtual void waitMs(int ms) = 0;
    virtual void waitUs(int us) = 0;
    // Takes the chip's data bit at this point of the frame.
    virtual void sample() = 0;
    // The bits sampled since the last collect, the first in bit 0 (the
    // first 32 of them).
    unsigned collect() {
        settle();
        unsigned bits = 0;
        for (std::size_t i = 0; i < bits_.size() && i < 32; ++i)
            bits |= (bits_[i] ? 1u : 0u) << i;
        bits_.clear();
        return bits;
    }
    // Every bit sampled since the last collect, in order; a buffered driver
    // reads them all from one transfer.
    std::vector<bool> collectAll() {
        settle();
        return std::exchange(bits_, {});
    }
    // The bits sampled and not yet taken, in order, for a caller that takes
    // them itself (a buffered driver reads them first).
    std::vector<bool>& samples() {
        settle();
        return bits_;
    }
    // Sends anything held back.
    virtual void finish() {}

  protected:
    // A buffered driver sends what it holds and records the samples it read.
    virtual void settle() {}
    // The image last written, for lines kept as they are.
    virtual std::uint8_t current() const = 0;
    // Keeps a sampled bit for collect(): the input word's data bit as wired.
    void record(std::uint32_t input) {
        bits_.push_back(((input & wiring_.dataIn) != 0) != wiring_.dataInActiveLow);
    }

  private:
    const Wiring& wiring_;
    std::vector<bool> bits_;
};

// The driver for the session's port and adapter. On a serial port that is
// not open the lines stay untouched and only the delays are spent. A
// streaming driver on an FTDI adapter holds the lines through short waits
// (idle bytes in the same transfer) instead of sending what it holds.
std::unique_ptr<LineDriver> driverFor(Session& s, bool streaming = false);

// The wiring row of the session's adapter (and line sense, on the serial board).
const Wiring& wiringOf(const Session& s);

// Sends whatever a buffered driver still holds for the port.
void flushLines(Session& s);

// True when the open port's adapter has failed (its frames stopped reaching
// the chip): an FTDI adapter that failed, a serial port whose line changes or
// status reads failed, or a serial board that no longer loops break back to
// RING. The message then says why. Stays true until the port is reopened.
bool linesLost(Session& s);

// As linesLost, but only the port or adapter itself: the board is not asked.
bool portFailed(Session& s);

}  // namespace ferrolux
