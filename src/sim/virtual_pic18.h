#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/pic18_core.h"
#include "sim/pic18_profile.h"
#include "sim/socket_chip.h"

namespace ferrolux::sim {

// A PIC18 as its ICSP pins see it (DS39576B, DS39592E, DS39622L section 2):
// Vpp rising enters programming mode, falling leaves it. A 4-bit command
// and a 16-bit operand follow, LSb first, each bit latched on the falling
// clock edge. Table reads take 8 clocks in, then the chip drives the byte
// during 8 more, changing it on the rising edge. The timing of programming
// and erase pulses is checked here; what a command means is Pic18Core's.
class VirtualPic18 : public SocketChip {
  public:
    struct Command {
        int code;
        std::uint16_t operand;  // for reads: the byte shifted out
    };

    explicit VirtualPic18(Pic18Profile profile);
    ~VirtualPic18() override = default;
    VirtualPic18(const VirtualPic18&) = delete;
    VirtualPic18& operator=(const VirtualPic18&) = delete;

    const Pic18Profile& profile() const { return profile_; }

    void attachClock(const SimClock* clock) override { clock_ = clock; }
    void setPins(bool clock, bool data, bool programEnable, std::uint64_t nowNs) override;
    std::optional<bool> dataOut() const override { return out_; }
    void settle(std::uint64_t nowNs) override;
    bool inProgrammingMode() const override { return programming_; }

    std::uint32_t tablePointer() const { return core_.tablePointer(); }
    bool eepromWriteInProgress() const { return core_.eepromWriteInProgress(); }

    // Cycles that did not take for their timing: a programming clock high
    // shorter than P9 or low shorter than P10, an erase cut before P11 + P10,
    // PGD raised during the erase, Vpp dropped mid-cycle.
    std::uint64_t lostWrites() const { return lostWrites_; }
    // Writes refused by protection, WRTC, a missing unlock or WREN, or EECON1.
    std::uint64_t refusedWrites() const { return core_.refusedWrites(); }
    // 4-bit commands with no meaning (0001, 0011..0111); their operand is skipped.
    std::uint64_t ignoredCommands() const { return ignoredCommands_; }
    std::uint64_t unknownOpcodes() const { return core_.unknownOpcodes(); }
    std::uint64_t unknownEraseKeys() const { return core_.unknownEraseKeys(); }

    // Test access to the cells, by the chip's byte addresses: code from 0,
    // IDs at 0x200000, configuration at 0x300000, and EEPROM by index. Reads
    // first finish a cycle that is due and ignore code protection.
    // Unimplemented places read 0 and take nothing.
    std::uint8_t byteAt(std::uint32_t address);
    void setByteAt(std::uint32_t address, std::uint8_t value);
    std::uint8_t eepromByte(std::size_t index);
    void setEepromByte(std::size_t index, std::uint8_t value);
    // Clears every CP bit (code) and CPD (data).
    void protect(bool code, bool data = false);
    // Clears every WRT bit, WRTB, WRTC and WRTD.
    void writeProtect();

    const Pic18Memory& memory();
    // Takes `memory` as the cells' content; sizes must match the profile.
    bool restoreMemory(const Pic18Memory& memory);
    void resetToFactory();

    void enableCommandLog(bool on) { logging_ = on; }
    void clearCommandLog() { log_.clear(); }
    const std::vector<Command>& commandLog() const { return log_; }

  private:
    enum class Phase { command, operand, readIn, readOut };
    // A programming pulse: armed by a start-programming command, begun at
    // the 4th rising clock of the next command, held for P9, then low P10.
    enum class Pulse { none, armed, high, low };
    // A bulk erase: armed by the key, counted through two NOPs, then running.
    enum class Erase { none, firstNop, secondNop, running };

    void enter();
    void leave();
    void lose();
    void risingEdge(std::uint64_t nowNs);
    void fallingEdge(bool data, std::uint64_t nowNs);
    void endCommand(std::uint64_t nowNs);
    void endOperand(std::uint64_t nowNs);
    void arm(Pic18Arm arm);
    void settleByClock();

    Pic18Profile profile_;
    Pic18Memory memory_;
    Pic18Core core_;
    const SimClock* clock_ = nullptr;

    bool clockPin_ = false;
    bool programEnable_ = false;
    bool programming_ = false;
    std::optional<bool> out_;

    Phase phase_ = Phase::command;
    int code_ = 0;
    int bits_ = 0;  // falling edges in the current phase
    std::uint32_t shift_ = 0;
    std::uint8_t readByte_ = 0;

    Pulse pulse_ = Pulse::none;
    std::uint64_t pulseNs_ = 0;  // its rising or falling edge
    Erase erase_ = Erase::none;
    std::uint64_t eraseNs_ = 0;  // its start

    std::uint64_t lostWrites_ = 0;
    std::uint64_t ignoredCommands_ = 0;
    bool logging_ = false;
    std::vector<Command> log_;
};

}  // namespace ferrolux::sim
