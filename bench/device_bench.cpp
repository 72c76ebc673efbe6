// Writing and verifying whole chips on the simulated board: CPU time, the
// simulated time split into mandated waits and bit timing, and how close that
// comes to the chip's own programming times.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "device/check_link.h"
#include "device/config_ids.h"
#include "device/erase.h"
#include "device/passes.h"
#include "link/icsp.h"
#include "sim/sim_board.h"
#include "sim/sim_clock.h"
#include "sim/virtual_pic.h"
#include "support/sim_bench.h"

namespace ferrolux {
namespace {

// Forwards to the simulated clock and adds up the time skipped in waits.
class WaitMeter : public platform::TickSource {
  public:
    explicit WaitMeter(sim::SimClock& clock) : clock_(clock) {}
    std::uint64_t nowNs() override { return clock_.nowNs(); }
    void idleUntil(std::uint64_t deadline) override {
        const std::uint64_t before = clock_.peek();
        clock_.idleUntil(deadline);
        waitedNs += clock_.peek() - before;
    }
    std::uint64_t waitedNs = 0;

  private:
    sim::SimClock& clock_;
};

std::string record(int byteAddress, const std::vector<int>& bytes) {
    char text[16];
    std::string line = ":";
    int sum = static_cast<int>(bytes.size()) + (byteAddress >> 8) + (byteAddress & 0xFF);
    std::snprintf(text, sizeof text, "%02X%04X00", static_cast<unsigned>(bytes.size()),
                  static_cast<unsigned>(byteAddress));
    line += text;
    for (int b : bytes) {
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(b));
        line += text;
        sum += b;
    }
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>((0x100 - (sum & 0xFF)) & 0xFF));
    return line + text + "\r\n";
}

// Every code word, the IDs, the configuration word and every data byte.
std::filesystem::path fullImage(const sim::ChipProfile& chip) {
    const auto path = std::filesystem::temp_directory_path() / (chip.name + "-full.hex");
    std::ofstream out(path, std::ios::binary);
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    for (int w = 0; w < chip.codeWords; w += 8) {
        std::vector<int> bytes;
        for (int i = 0; i < 8; ++i) {
            const unsigned word = next() & 0x3FFF;
            bytes.push_back(static_cast<int>(word & 0xFF));
            bytes.push_back(static_cast<int>(word >> 8));
        }
        out << record(2 * w, bytes);
    }
    out << record(0x4000, {1, 0, 2, 0, 3, 0, 4, 0});
    out << record(0x400E, {0xF1, 0x3F});
    for (int k = 0; k < chip.dataBytes; k += 8) {
        std::vector<int> bytes;
        for (int i = 0; i < 8; ++i) {
            bytes.push_back(static_cast<int>(next() & 0xFF));
            bytes.push_back(0);
        }
        out << record(2 * (0x2100 + k), bytes);
    }
    out << ":00000001FF\r\n";
    return path;
}

int countCommands(sim::VirtualPic& chip, int command) {
    int n = 0;
    for (const auto& f : chip.frames())
        n += f.kind == sim::VirtualPic::Frame::command && f.value == command;
    return n;
}

void BM_WriteAndVerifyFullChip(benchmark::State& state, const char* name) {
    const sim::ChipProfile profile = *sim::findProfile(name);
    const auto hex = fullImage(profile);
    double simulated = 0, waited = 0, floor = 0;
    for (auto _ : state) {
        test::SimBench b(test::allWirings()[0], profile);
        WaitMeter meter(b.clock);
        Session s(meter);
        s.link = b.session.link;
        s.link.speed = 2;
        s.port.comHandle = std::move(b.session.port.comHandle);
        s.device = b.session.device;
        s.device.name = name;
        s.hexPath = hex.string();
        s.configWord = 0x3FF1;  // unprotected on both chips
        s.idValues = {1, 2, 3, 4};
        b.chip.enableFrameLog(true);
        const std::uint64_t start = b.clock.peek();

        bool ok = checkLink(s) != 0 && eraseChip(s) == 0;
        const int family = s.device.family;
        if (family == 6) {
            ok = ok && writeCodeRows(s, 8) == 0;
            s.verifyOnly = 1;
            ok = ok && programCodeByWord(s) == 0;
            s.verifyOnly = 0;
            ok = ok && writeIdRow(s, 6) == 0;
        } else {
            ok = ok && programCodeByWord(s) == 0;
            s.verifyOnly = 1;
            ok = ok && programCodeByWord(s) == 0;
            s.verifyOnly = 0;
            ok = ok && programIdWords(s) == 0;
        }
        ok = ok && programDataMemory(s) == 0 && writeConfigWord(s) == 0;
        s.verifyOnly = 1;
        ok = ok && programCodeByWord(s) == 0 && programDataMemory(s) == 0;
        sendIcsp(s, LEAVE_PGM, 0);
        if (!ok) state.SkipWithError(s.message.c_str());

        simulated = static_cast<double>(b.clock.peek() - start) / 1e9;
        waited = static_cast<double>(meter.waitedNs) / 1e9;
        // What the chip itself needs: each self-timed write, plus the chip erase.
        floor =
            (countCommands(b.chip, PROGRAM_COMMAND) * static_cast<double>(profile.programTimeNs) +
             static_cast<double>(profile.eraseCycleTimeNs)) /
            1e9;
        s.port.comHandle.reset();
    }
    state.counters["simulated_s"] = simulated;
    state.counters["waits_s"] = waited;
    state.counters["bit_timing_s"] = simulated - waited;
    state.counters["chip_floor_s"] = floor;
    state.counters["ratio_to_floor"] = simulated / floor;
}

BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F84A, "PIC16F84A")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F877A, "PIC16F877A")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace ferrolux

BENCHMARK_MAIN();
