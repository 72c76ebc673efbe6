#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/chip_profile.h"
#include "sim/programming_core.h"
#include "sim/socket_chip.h"

namespace ferrolux::sim {

class SimClock;

// A PIC as its ICSP pins see it. It decodes clock edges into commands and
// frames, drives its data pin in read frames and performs timed writes; what a
// command means is left to the family's ProgrammingCore.
class VirtualPic : public SocketChip {
  public:
    struct Frame {
        enum Kind { command, load, read } kind;
        int value;
        std::uint64_t startNs, endNs;
    };

    explicit VirtualPic(ChipProfile profile);
    ~VirtualPic() override;
    VirtualPic(const VirtualPic&) = delete;
    VirtualPic& operator=(const VirtualPic&) = delete;

    const ChipProfile& profile() const { return profile_; }

    // Lets the test accessors below finish a write whose time has passed. Optional.
    void attachClock(const SimClock* clock) override { clock_ = clock; }

    // The pin levels from `nowNs` on. The chip starts with all pins low.
    void setPins(bool clock, bool data, bool programEnable, std::uint64_t nowNs) override;
    // The level the chip drives on its data pin; nullopt while the pin is an input.
    std::optional<bool> dataOut() const override { return out_; }
    // Commits a pending write if its time has come by `nowNs`.
    void settle(std::uint64_t nowNs) override;

    bool inProgrammingMode() const override { return programming_; }
    std::uint32_t pc() const { return core_->pc(); }
    bool writeInProgress() const { return pending_.has_value(); }
    // Cycles that did not take: the pins moved before a self-timed one was
    // done, or an externally timed one ended too early or never ended.
    std::uint64_t lostWrites() const { return lostWrites_; }
    // Commands ignored because they came too soon after entry or after an
    // End Programming that asks for a discharge time.
    std::uint64_t earlyCommands() const { return earlyCommands_; }

    // Test access to memory; indexes wrap at the memory size. Config addresses
    // are 0x2000..0x2007 on 14-bit chips; on the 12-bit core the IDs after the
    // code (and the backup calibration at ID + 4) and 0xFFF for the
    // configuration word. Others read all ones. Reads first finish a write
    // that is due. Reads here ignore code protection.
    std::uint16_t programWord(std::size_t index);
    void setProgramWord(std::size_t index, std::uint16_t word);
    std::uint16_t configWord(std::uint32_t address);
    void setConfigWord(std::uint32_t address, std::uint16_t word);
    std::uint8_t dataByte(std::size_t index);
    void setDataByte(std::size_t index, std::uint8_t value);
    // The configuration word's address on this chip (0x2007 or 0xFFF).
    std::uint32_t configWordAddress() const;

    // Clears the configuration word's /CP bits (code) and /CPD bits (data).
    void protect(bool code, bool data = false);
    bool codeProtected() {
        settleByClock();
        return core_->codeProtected();
    }
    bool dataProtected() {
        settleByClock();
        return core_->dataProtected();
    }

    // Every cell at once, for saving and restoring the chip.
    const ChipMemory& memory();
    // Takes `memory` as the cells' content; sizes must match the profile.
    bool restoreMemory(const ChipMemory& memory);
    // Back to a blank chip as shipped, factory words in place.
    void resetToFactory();

    // Faults: writes and erases of this program word, data byte or the
    // configuration word never take.
    void dropWritesToProgram(std::uint32_t index) { faults_.deadProgram.insert(index); }
    void dropWritesToData(std::uint32_t index) { faults_.deadData.insert(index); }
    void dropWritesToConfigWord() { faults_.deadConfigWord = true; }
    // A bulk erase from configuration space wipes the calibration words too.
    void eraseTakesCalibration() { faults_.eraseTakesCalibration = true; }
    // EPROM parts: program pulses a word needs before it takes, for every
    // address or for one counter address (code, ID words, 0xFFF).
    void setPulsesNeeded(int pulses) { faults_.pulsesNeeded = pulses; }
    void setPulsesNeeded(std::uint32_t address, int pulses) {
        faults_.pulsesNeededAt[address] = pulses;
    }

    void enableFrameLog(bool on) { logFrames_ = on; }
    void clearFrameLog() { frames_.clear(); }
    const std::vector<Frame>& frames() const { return frames_; }

  private:
    enum class Phase { command, load, read };
    struct Pending {
        std::uint64_t startNs;
        TimedOp op;
    };

    void enter();
    void leave();
    void begin(TimedOp op, std::uint64_t nowNs);
    void endExternal(std::uint64_t nowNs);
    std::uint16_t* configCell(std::uint32_t address);
    void resetDecoder();
    void loseWrite();
    void risingEdge();
    void fallingEdge(bool data, std::uint64_t nowNs);
    void endFrame(Frame::Kind kind, int value, std::uint64_t nowNs);
    void settleByClock();

    ChipProfile profile_;
    ChipMemory memory_;
    CellFaults faults_;
    std::unique_ptr<ProgrammingCore> core_;
    const SimClock* clock_ = nullptr;

    bool clockPin_ = false;
    bool programEnable_ = false;
    bool programming_ = false;
    std::optional<bool> out_;

    Phase phase_ = Phase::command;
    int code_ = 0;     // command whose frame is in progress
    int bits_ = 0;     // falling edges in the current command or frame
    int risings_ = 0;  // rising edges in the current read frame
    std::uint32_t shift_ = 0;
    std::uint16_t readValue_ = 0;
    bool frameStarted_ = false;
    std::uint64_t frameStartNs_ = 0;

    std::optional<Pending> pending_;
    std::uint64_t lostWrites_ = 0;
    std::uint64_t deafUntilNs_ = 0;
    std::uint64_t earlyCommands_ = 0;

    bool logFrames_ = false;
    std::vector<Frame> frames_;
};

}  // namespace ferrolux::sim
