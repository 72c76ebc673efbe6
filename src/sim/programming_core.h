#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "sim/chip_profile.h"

namespace ferrolux::sim {

inline constexpr std::uint32_t kConfigBase = 0x2000;
inline constexpr std::size_t kConfigWords = 10;
inline constexpr std::size_t kIdWords = 4;
inline constexpr std::size_t kDeviceIdIndex = 6;
inline constexpr std::size_t kConfigWordIndex = 7;
// 14-bit chips: the second configuration word or a calibration word at
// 0x2008, a calibration word at 0x2009.
inline constexpr std::size_t kConfig2Index = 8;
// Family 8 keeps its backup calibration word in config[4] (ID base + 4).
inline constexpr std::size_t kBackupCalibrationIndex = 4;
inline constexpr std::uint16_t kWordMask = 0x3FFF;
// Family 8: where the address counter stands on entry, and the hex address
// of its configuration word.
inline constexpr std::uint32_t kConfig12Address = 0x0FFF;

// The chip's nonvolatile cells. config[] holds the four IDs, [4] (family 8's
// backup calibration), [6] the device ID, [7] the configuration word and
// [8], [9] the second configuration word and calibration words of the chips
// that have them, as the chip reads them back.
struct ChipMemory {
    std::vector<std::uint16_t> program;
    std::array<std::uint16_t, kConfigWords> config{};
    std::vector<std::uint8_t> data;

    // A bulk-erased chip of this profile: all ones, device ID in place.
    static ChipMemory erased(const ChipProfile& profile);
    // As shipped: erased plus the factory calibration and bandgap bits.
    static ChipMemory factory(const ChipProfile& profile);
    bool operator==(const ChipMemory&) const = default;
};

// Injected cell faults and EPROM programming margins.
struct CellFaults {
    std::set<std::uint32_t> deadProgram;  // program words that never change
    std::set<std::uint32_t> deadData;     // data bytes that never change
    bool deadConfigWord = false;          // the configuration word never changes
    // A program-memory bulk erase from configuration space also takes the
    // calibration words there, as when the address stands on one.
    bool eraseTakesCalibration = false;
    int pulsesNeeded = 1;  // EPROM: program pulses before a word takes
    std::map<std::uint32_t, int> pulsesNeededAt;
};

// What follows a command on the wire.
enum class FrameKind { none, load, read };

// A write or erase cycle. A self-timed one lands `durationNs` after its
// command if the host leaves the clock and the programming voltage alone
// until then. An externally timed one lands only when the family's End
// Programming command comes at least `durationNs` after the begin (clocks in
// between are fine); leaving programming mode first loses it.
struct TimedOp {
    std::uint64_t durationNs = 0;
    std::function<void()> commit;
    bool external = false;
};

struct CommandResult {
    FrameKind frame = FrameKind::none;
    std::optional<TimedOp> timedOp;
    bool endsProgramming = false;  // End Programming for an externally timed cycle
    // The chip ignores commands that start sooner than this after the
    // command ends (a discharge or hold time).
    std::uint64_t deafNs = 0;
};

// The meaning of decoded commands for one programming-algorithm family. The pin
// decoder in VirtualPic feeds it whole commands and frames.
class ProgrammingCore {
  public:
    ProgrammingCore(const ChipProfile& profile, ChipMemory& memory, const CellFaults& faults)
        : profile_(profile), memory_(memory), faults_(faults) {}
    virtual ~ProgrammingCore() = default;
    ProgrammingCore(const ProgrammingCore&) = delete;
    ProgrammingCore& operator=(const ProgrammingCore&) = delete;

    // Programming mode was just entered.
    virtual void enterProgramming() = 0;
    // A 6-bit command was decoded. A command the family does not know is
    // ignored and has no frame.
    virtual CommandResult command(int code) = 0;
    // The 14 data bits of the load frame that followed command `code`.
    virtual void load(int code, std::uint16_t word) = 0;
    // The 14-bit value to shift out in the read frame that follows command `code`.
    virtual std::uint16_t read(int code) = 0;
    virtual std::uint32_t pc() const = 0;

    bool codeProtected() const;
    bool dataProtected() const;

  protected:
    // Cell writes; dead cells keep their value.
    void putProgram(std::uint32_t index, std::uint16_t word);
    void putData(std::uint32_t index, std::uint8_t value);
    // A program cycle on the configuration word: protection bits only go
    // from 1 to 0; only an erase that wipes what they protect sets them again.
    void programConfigWord(std::uint16_t word);
    void eraseProgram();
    void eraseData();
    void eraseIds();
    // The erased configuration word (and second word).
    void eraseConfigWord();

    const ChipProfile& profile_;
    ChipMemory& memory_;
    const CellFaults& faults_;
};

// Families 1-7: the 14-bit command sets.
class Core14 : public ProgrammingCore {
  public:
    using ProgrammingCore::ProgrammingCore;

    void enterProgramming() override;
    CommandResult command(int code) override;
    void load(int code, std::uint16_t word) override;
    std::uint16_t read(int code) override;
    std::uint32_t pc() const override { return pc_; }

  private:
    enum class Target { program, data };
    // The 1,7 / 8 / 1,7 erase sequence of families 1 and 2.
    enum class Sequence { idle, setup1, armed, erased, closing };
    enum class Armed { none, program, data };
    using Row = std::array<std::optional<std::uint16_t>, 8>;

    bool knows(int code) const;
    void incrementAddress();
    std::uint16_t readProgram() const;
    std::uint8_t readData() const;
    bool inConfigSpace() const { return pc_ >= kConfigBase; }

    CommandResult beginCycle();
    static TimedOp selfTimed(std::uint64_t ns, std::function<void()> commit);
    // Begin Programming: a row of latches (families 6, 7) or the latch word;
    // `erase` replaces the cells, otherwise programming only clears bits.
    TimedOp programCycle(std::uint64_t ns, bool erase);
    TimedOp sequenceErase();
    TimedOp armedErase(Armed what);
    TimedOp bulkEraseProgram();
    TimedOp bulkEraseData();
    TimedOp chipErase();
    void writeWord(std::uint32_t pc, Target target, std::uint16_t word, bool andOnly);
    void writeRow(std::uint32_t pc, const Row& row, bool erase);
    // The other latches of the row of `pc`, as loaded, programmed too.
    void programStaleLatches(std::uint32_t pc, const std::array<std::uint16_t, 8>& latches);

    std::uint32_t pc_ = 0;
    std::uint16_t latch_ = kWordMask;
    Target target_ = Target::program;
    Row row_{};
    // The write latches that outlive a program cycle (profile writeLatches).
    std::array<std::uint16_t, 8> latches_{};
    Sequence sequence_ = Sequence::idle;
    Armed armed_ = Armed::none;
};

// Family 8: the 12-bit core, EPROM or flash.
class Core12 : public ProgrammingCore {
  public:
    using ProgrammingCore::ProgrammingCore;

    void enterProgramming() override;
    CommandResult command(int code) override;
    void load(int code, std::uint16_t word) override;
    std::uint16_t read(int code) override;
    std::uint32_t pc() const override { return pc_; }

  private:
    struct Pulses {
        std::uint16_t word = 0;
        int count = 0;
    };

    std::uint16_t readWord(std::uint32_t address) const;
    void program(std::uint32_t address, std::uint16_t word);
    bool takesAfterPulse(std::uint32_t address, std::uint16_t word);
    TimedOp bulkErase();

    std::uint32_t pc_ = kConfig12Address;
    std::uint16_t latch_ = 0x0FFF;
    std::map<std::uint32_t, Pulses> pulses_;
};

// The core for the profile's family.
std::unique_ptr<ProgrammingCore> makeCore(const ChipProfile& profile, ChipMemory& memory,
                                          const CellFaults& faults);

}  // namespace ferrolux::sim
