#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "sim/sim_board.h"
#include "sim/sim_clock.h"
#include "sim/virtual_pic.h"

namespace ferrolux::sim::test {

inline constexpr std::uint64_t kMs = 1'000'000;

// A host program's view of the ICSP lines through one board's port: each level
// held 1 us, bits LSB first, the data line sampled after each falling edge.
class Host {
  public:
    Host(SimClock& clock, SimBoard& board) : clock_(clock), board_(board) {
        if (serial()) port_ = board.openSerial();
        power(false);
    }

    void clock(bool high) { serial() ? esc(high ? LC::clrRts : LC::setRts) : put(1, high); }
    void data(bool high) {
        if (serial()) return esc(high ? LC::clrDtr : LC::setDtr);
        if (an589()) put(2, false);
        put(0, high);
    }
    void release() { serial() ? esc(LC::clrDtr) : put(an589() ? 2 : 0, true); }
    void power(bool on) {
        if (serial()) return esc(on ? LC::clrBreak : LC::setBreak);
        an589() ? put(3, on) : put(board_.config().vppBit, !on);
    }
    bool sample() {
        std::uint32_t bits = 0;
        if (serial()) return port_->modemStatus(bits), (bits & platform::kModemCts) == 0;
        std::uint16_t word = 0;
        board_.readWord(0x378, word);
        return (((word >> 8) ^ (board_.config().invertedBuffers ? 0xFF : 0)) & 0x40) != 0;
    }

    void pause(std::uint64_t ns = 1000) {
        clock_.idleUntil(clock_.peek() + ns);
        clock_.nowNs();
    }
    // Leaves programming mode, then enters it again and holds still for the
    // chips' entry hold time (5 us).
    void enter() {
        clock(false);
        data(false);
        power(false);
        pause();
        power(true);
        pause(5'000);
    }
    void pulse() {
        clock(true);
        pause();
        clock(false);
        pause();
    }
    void bits(int value, int count) {
        for (int i = 0; i < count; ++i) {
            data(((value >> i) & 1) != 0);
            pulse();
        }
    }
    void command(int code) { bits(code, 6); }
    void increment(int times = 1) {
        while (times-- > 0)
            command(6);
    }
    void load(int code, int word) {
        command(code);
        bits((word & 0x3FFF) << 1, 16);
    }
    int read(int code) {
        command(code);
        release();
        int word = 0;
        for (int k = 1; k <= 16; ++k) {
            pulse();
            if (k >= 2 && k <= 15 && sample()) word |= 1 << (k - 2);
        }
        data(false);
        return word;
    }
    // A command, then `waitNs` of stillness.
    void cycle(int code, std::uint64_t waitNs) {
        command(code);
        pause(waitNs);
    }

  private:
    using LC = platform::LineCode;
    bool serial() const { return board_.config().kind == BoardKind::serial; }
    bool an589() const { return board_.config().kind == BoardKind::an589; }
    void esc(LC code) { port_->escape(code); }
    void put(int bit, bool on) {
        reg_ = static_cast<std::uint8_t>(on ? reg_ | 1 << bit : reg_ & ~(1 << bit));
        board_.writeData(0x378, board_.config().invertedBuffers ? ~reg_ & 0xFF : reg_);
    }

    SimClock& clock_;
    SimBoard& board_;
    std::unique_ptr<platform::SerialPort> port_;
    std::uint8_t reg_ = 0;
};

// One chip on one board; by name, a shipped chip on a serial board.
struct Bench {
    explicit Bench(BoardConfig config, ChipProfile p = pic16f84a())
        : board(clock, config), chip(std::move(p)), host(clock, board) {
        board.insertChip(&chip);
    }
    explicit Bench(std::string_view chipName)
        : Bench({BoardKind::serial}, *findProfile(chipName)) {}
    SimClock clock;
    SimBoard board;
    VirtualPic chip;
    Host host;
};

}  // namespace ferrolux::sim::test
