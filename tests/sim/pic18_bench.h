#pragma once

#include <cstdint>
#include <string_view>

#include "sim/icsp_host.h"
#include "sim/virtual_pic18.h"

namespace ferrolux::sim::test {

// A PIC18 on a serial board, and a host that speaks its 4-bit commands.
struct Pic18Bench {
    explicit Pic18Bench(std::string_view name) : chip(*findPic18Profile(name)) {
        board.insertChip(&chip);
        host.enter();
    }

    void send(int code, int operand) {
        host.bits(code, 4);
        host.bits(operand, 16);
    }
    void core(int opcode) { send(0b0000, opcode); }
    void pointAt(std::uint32_t address) {
        core(0x0E00 | (address >> 16 & 0xFF));
        core(0x6EF8);
        core(0x0E00 | (address >> 8 & 0xFF));
        core(0x6EF7);
        core(0x0E00 | (address & 0xFF));
        core(0x6EF6);
    }
    // A read command: 8 clocks in, then 8 clocks of the chip's byte.
    int shiftIn(int code) {
        host.bits(code, 4);
        host.bits(0, 8);
        host.release();
        int value = 0;
        for (int k = 0; k < 8; ++k) {
            host.pulse();
            if (host.sample()) value |= 1 << k;
        }
        host.data(false);
        return value;
    }
    int readAt(std::uint32_t address) {
        pointAt(address);
        return shiftIn(0b1000);
    }
    // The NOP after a start-programming command: 4th clock high, then low.
    void programNop(std::uint64_t highNs, std::uint64_t lowNs) {
        host.bits(0, 3);
        host.clock(true);
        host.pause(highNs);
        host.clock(false);
        host.pause(lowNs);
        host.bits(0, 16);
    }
    void programNop() { programNop(chip.profile().p9Ns, chip.profile().p10Ns); }
    // Pairs from `address` into the buffer, the last one starting programming.
    void writeCode(std::uint32_t address, const std::vector<int>& pairs) {
        core(0x8EA6);  // BSF EEPGD
        core(0x9CA6);  // BCF CFGS
        pointAt(address);
        for (std::size_t i = 0; i + 1 < pairs.size(); ++i)
            send(0b1101, pairs[i]);
        send(0b1111, pairs.back());
        programNop();
    }
    // The chip erase of the chip's group, with a wait of `waitNs` after the
    // second NOP's command.
    void bulkErase(std::uint64_t waitNs) {
        const bool b = chip.profile().group == Pic18Group::b;
        if (b) {
            pointAt(0x3C0005);
            send(0b1100, 0x3F3F);
        }
        pointAt(0x3C0004);
        send(0b1100, b ? 0x8F8F : 0x0080);
        core(0x0000);
        host.bits(0, 4);
        host.pause(waitNs);
        host.bits(0, 16);
    }
    void bulkErase() { bulkErase(chip.profile().p11Ns + chip.profile().p10Ns); }
    void writeConfig(std::uint32_t address, int operand) {
        core(0x8EA6);  // BSF EEPGD
        core(0x8CA6);  // BSF CFGS
        pointAt(address);
        send(0b1111, operand);
        programNop();
    }
    int eecon1() {
        core(0x50A6);  // MOVF EECON1, W
        core(0x6EF5);  // MOVWF TABLAT
        core(0x0000);
        return shiftIn(0b0010);
    }

    SimClock clock;
    SimBoard board{clock, {BoardKind::serial}};
    VirtualPic18 chip;
    Host host{clock, board};
};

}  // namespace ferrolux::sim::test
