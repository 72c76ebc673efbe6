#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/pic18_profile.h"

namespace ferrolux::sim {

// What a table write asks of the pins that follow it.
enum class Pic18Arm { none, program, erase };

// The PIC18 core as ICSP drives it: the registers the programming
// algorithms touch, the instructions they send, table reads and writes into
// the write buffers, the erases and the self-timed data EEPROM cycle. Pin
// timing is the caller's (VirtualPic18).
class Pic18Core {
  public:
    Pic18Core(const Pic18Profile& profile, Pic18Memory& memory)
        : profile_(profile), memory_(memory) {}

    // Programming mode entry: TBLPTR, TABLAT, W, EECON1, buffers, erase and
    // panel registers back to their reset state.
    void enterProgramming();
    // Programming mode left. True if a data EEPROM write was cut short.
    bool leaveProgramming();
    // Finishes a data EEPROM write whose time has come by `nowNs`.
    void settle(std::uint64_t nowNs);

    // Command 0000: one instruction word. program: BSF WR started a row
    // erase, which waits for its programming NOP.
    Pic18Arm instruction(std::uint16_t opcode, std::uint64_t nowNs);
    // Commands 1000..1011 (TBLRD */*+/*-/+*) and 0010 (TABLAT): the byte shifted out.
    std::uint8_t tableRead(int command);
    // Commands 1100..1111. program: a start-programming or a row erase waits
    // for its programming NOP; erase: a bulk-erase key waits for its NOPs.
    Pic18Arm tableWrite(int command, std::uint16_t operand);
    // The armed programming cycle takes (P9 and P10 were kept).
    void commitProgram();
    // The armed bulk erase takes (P11 and P10 were kept).
    void commitErase();
    // A programming cycle lost to its timing: the buffers are emptied too.
    void abortProgram() {
        dropArmed();
        buffers_.clear();
    }

    // A table read of the byte at `address` as a host sees it.
    std::uint8_t readByte(std::uint32_t address) const;
    std::uint32_t tablePointer() const { return tblptr_; }
    std::uint8_t readRegister(unsigned address) const;

    bool codeProtected(std::uint32_t address) const;
    bool writeProtected(std::uint32_t address) const;
    bool dataProtected() const { return cleared(kConfig5H, 0x80); }
    bool eepromWriteInProgress() const { return eepromWrite_.has_value(); }

    // Writes that the chip refused: protection, WRTC, a missing unlock or
    // WREN, EECON1 pointing elsewhere, a busy EEPROM.
    std::uint64_t refusedWrites() const { return refusedWrites_; }
    // Instruction words the core does not decode; it ignores them.
    std::uint64_t unknownOpcodes() const { return unknownOpcodes_; }
    // Erase keys the model does not know; the erase is not done.
    std::uint64_t unknownEraseKeys() const { return unknownEraseKeys_; }

  private:
    struct Buffer {
        std::uint32_t block = 0;
        std::vector<std::uint8_t> bytes;
    };
    struct EepromWrite {
        std::uint32_t address;
        std::uint8_t value;
        std::uint64_t dueNs;
    };

    void dropArmed() {
        armedConfig_.reset();
        armedRowErase_ = false;
    }
    unsigned fileAddress(std::uint16_t opcode) const;
    void execute(std::uint16_t opcode, std::uint64_t nowNs);
    void writeRegister(unsigned address, std::uint8_t value, std::uint64_t nowNs);
    void writeEecon1(std::uint8_t value, std::uint64_t nowNs);
    void startWrite(std::uint64_t nowNs);
    std::uint32_t eepromAddress() const;
    void readEeprom();
    void load(std::uint32_t address, std::uint16_t operand);
    void writeBuffer(const Buffer& buffer, bool ids);
    void writeConfig(std::uint32_t index, std::uint8_t value);
    void erase(std::uint16_t key);
    void eraseCode(std::uint32_t from, std::uint32_t to);
    void clearFree() { eecon1_ &= static_cast<std::uint8_t>(~0x10); }
    void eraseAll();
    bool cleared(int configIndex, std::uint8_t bit) const;
    void refuse() { ++refusedWrites_; }

    const Pic18Profile& profile_;
    Pic18Memory& memory_;

    std::array<std::uint8_t, 4096> ram_{};
    std::uint32_t tblptr_ = 0;
    std::uint8_t tablat_ = 0;
    std::uint8_t w_ = 0;
    std::uint8_t eecon1_ = 0;
    bool gotoPending_ = false;  // GOTO's first word came; its second is next
    int unlock_ = 0;            // 1 after 55h to EECON2, 2 after AAh next
    bool unlockFresh_ = false;  // the last instruction wrote AAh
    std::optional<EepromWrite> eepromWrite_;

    std::map<int, Buffer> buffers_;  // by panel; -1 the ID locations
    bool multiPanel_ = false;
    std::optional<std::pair<std::uint32_t, std::uint8_t>> armedConfig_;
    bool armedRowErase_ = false;
    std::uint32_t rowEraseAddress_ = 0;
    std::array<std::uint8_t, 2> eraseControl_{};  // 3C0004h, 3C0005h

    std::uint64_t refusedWrites_ = 0;
    std::uint64_t unknownOpcodes_ = 0;
    std::uint64_t unknownEraseKeys_ = 0;
};

}  // namespace ferrolux::sim
