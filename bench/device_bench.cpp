// Writing chips on the simulated board, side by side with what the chip
// itself needs: the CPU share of a write driven in real time; a 256-word
// program written and verified on a motherboard COM port, on a UART-mode USB
// adapter at 1 ms per line change and status read and on the FTDI adapter at
// 1 ms per USB transfer, with the line operations or transfers it takes; and
// for whole chips on either the simulated time split into mandated waits and
// bit timing, how close that comes to the chip's own programming times, and
// the CPU it costs.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "device/check_link.h"
#include "device/config_ids.h"
#include "device/erase.h"
#include "device/passes.h"
#include "files/hex_image.h"
#include "link/icsp.h"
#include "platform/ftdi_serial_port.h"
#include "platform/linux/tick_source_linux.h"
#include "sim/sim_board.h"
#include "sim/sim_clock.h"
#include "sim/sim_ftdi.h"
#include "sim/virtual_pic.h"
#include "support/sim_bench.h"

namespace ferrolux {
namespace {

// Forwards to the simulated clock and adds up the time skipped in waits.
class WaitMeter : public platform::TickSource {
  public:
    explicit WaitMeter(sim::SimClock& clock) : clock_(clock) {}
    std::uint64_t nowNs() override { return clock_.nowNs(); }
    std::uint64_t readTimes(std::uint64_t count) override { return clock_.readTimes(count); }
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

// The first `words` code words (all by default), the IDs, the configuration
// word and, unless `words` is given, every data byte.
std::filesystem::path fullImage(const sim::ChipProfile& chip, int words = 0) {
    const auto path = std::filesystem::temp_directory_path() /
                      (chip.name + "-" + std::to_string(words) + "-full.hex");
    std::ofstream out(path, std::ios::binary);
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    for (int w = 0; w < (words > 0 ? words : chip.codeWords); w += 8) {
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
    for (int k = 0; k < (words > 0 ? 0 : chip.dataBytes); k += 8) {
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

double threadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// A session on `b`'s board and chip that reads time from `ticks`, set up for
// writing `hex` as the main window's Write does.
void useBoard(Session& s, test::SimBench& b, const char* name, const std::filesystem::path& hex,
              int speed) {
    s.link = b.session.link;
    s.link.speed = speed;
    s.port.comHandle = std::move(b.session.port.comHandle);
    s.device = b.session.device;
    s.device.name = name;
    s.file.hexPath = hex.string();
    s.chip.configWord = 0x3FF1;  // unprotected on both chips
    s.chip.idValues = {1, 2, 3, 4};
}

// The board of `b` behind the simulated FTDI adapter: the session opens it
// by name when the link is checked.
struct FtdiHookup {
    explicit FtdiHookup(test::SimBench& b) : adapters(b.board, b.clock), opener(adapters) {}
    void use(Session& s) {
        s.port.comHandle.reset();
        s.serialOpener = &opener;
        s.link.portName = "ftdi:SIM1";
    }
    sim::SimFtdiOpener adapters;
    platform::FtdiSerialOpener opener;
};

// The main window's Write with every box ticked: erase, code and IDs as the
// chip's family writes them (every word read back), data and configuration
// word. Programming mode is left.
bool writeChip(Session& s, const ChipImage& image) {
    bool ok = checkLink(s) != 0 && eraseChip(s) == 0;
    ok = ok && writeCodeMemory(s, image, true) == 0;
    ok = ok && programDataMemory(s, image, PassMode::write, true) == 0 && writeConfigWord(s) == 0;
    sendIcsp(s, LEAVE_PGM, 0);
    return ok;
}

// A Verify of code and data after it.
bool verifyChip(Session& s, const ChipImage& image) {
    const bool ok = programCodeByWord(s, image, PassMode::verify) == 0 &&
                    programDataMemory(s, image, PassMode::verify) == 0;
    sendIcsp(s, LEAVE_PGM, 0);
    return ok;
}

bool writeAndVerify(Session& s) {
    ChipImage image;
    std::string message;
    if (!readChipImage(s.file.hexPath, s.device, image, message)) return false;
    return writeChip(s, image) && verifyChip(s, image);
}

// What the chip itself needs of what it saw: each self-timed cycle, the
// externally timed ones at their least, plus the chip erase.
double chipFloorSeconds(sim::VirtualPic& chip, const sim::ChipProfile& profile) {
    double ns = countCommands(chip, PROGRAM_COMMAND) * static_cast<double>(profile.programTimeNs) +
                static_cast<double>(profile.eraseCycleTimeNs);
    if (profile.endProgramming10 || profile.family == 6) {
        ns += countCommands(chip, BEGIN_PROGRAMMING_ONLY) *
              static_cast<double>(profile.externalProgramTimeNs);
    }
    return ns / 1e9;
}

void BM_WriteAndVerifyFullChip(benchmark::State& state, const char* name, bool ftdi) {
    const sim::ChipProfile profile = *sim::findProfile(name);
    const auto hex = fullImage(profile);
    double simulated = 0, waited = 0, floor = 0, cpu = 0;
    for (auto _ : state) {
        test::SimBench b(test::allWirings()[0], profile);
        WaitMeter meter(b.clock);
        Session s(meter);
        useBoard(s, b, name, hex, 2);
        FtdiHookup adapter(b);
        if (ftdi) adapter.use(s);
        if (profile.endProgramming10) {
            // What the device list says of these chips.
            s.device.configMask = profile.configImplemented;
            s.device.config2Mask = profile.config2Implemented;
            s.device.calibrationWords =
                (profile.calibration2008 ? 1 : 0) | (profile.calibration2009 ? 2 : 0);
        }
        b.chip.enableFrameLog(true);
        const std::uint64_t start = b.clock.peek();
        const double cpuStart = threadCpuSeconds();
        if (!writeAndVerify(s)) state.SkipWithError(s.message.c_str());
        cpu = threadCpuSeconds() - cpuStart;

        simulated = static_cast<double>(b.clock.peek() - start) / 1e9;
        waited = static_cast<double>(meter.waitedNs) / 1e9;
        floor = chipFloorSeconds(b.chip, profile);
        s.port.comHandle.reset();
    }
    state.counters["simulated_s"] = simulated;
    state.counters["waits_s"] = waited;
    state.counters["bit_timing_s"] = simulated - waited;
    state.counters["chip_floor_s"] = floor;
    state.counters["ratio_to_floor"] = simulated / floor;
    state.counters["cpu_per_sim_s"] = cpu / simulated;
}

// The simulated board on the system's monotonic clock: the chip sees real time
// pass, and the link waits as it would on a real port.
class RealTimeBoardClock : public platform::TickSource {
  public:
    explicit RealTimeBoardClock(sim::SimClock& board) : board_(board), origin_(real_.nowNs()) {}
    std::uint64_t nowNs() override {
        const std::uint64_t now = real_.nowNs() - origin_;
        if (now > board_.peek()) board_.advance(now - board_.peek());
        return now;
    }
    void sleepUntil(std::uint64_t deadlineNs) override { real_.sleepUntil(deadlineNs + origin_); }

  private:
    sim::SimClock& board_;
    platform::MonotonicTicks real_;
    std::uint64_t origin_;
};

// CPU time over wall time of a short write at high speed in real time.
void BM_RealTimeWriteCpuShare(benchmark::State& state) {
    const sim::ChipProfile profile = *sim::findProfile("PIC16F628A");
    const auto hex = fullImage(profile, 24);
    double share = 0, wall = 0;
    for (auto _ : state) {
        test::SimBench b(test::allWirings()[0], profile);
        RealTimeBoardClock clock(b.clock);
        Session s(clock);
        useBoard(s, b, "PIC16F628A", hex, 3);
        platform::MonotonicTicks real;
        const double cpuStart = threadCpuSeconds();
        const std::uint64_t wallStart = real.nowNs();
        ChipImage image;
        bool ok = readChipImage(s.file.hexPath, s.device, image, s.message);
        ok = ok && checkLink(s) != 0 && eraseChip(s) == 0 && programCodeByWord(s, image) == 0;
        ok = ok && programCodeByWord(s, image, PassMode::verify) == 0;
        sendIcsp(s, LEAVE_PGM, 0);
        if (!ok) state.SkipWithError(s.message.c_str());
        wall = static_cast<double>(real.nowNs() - wallStart) / 1e9;
        share = (threadCpuSeconds() - cpuStart) / wall;
        s.port.comHandle.reset();
    }
    state.counters["wall_s"] = wall;
    state.counters["cpu_share"] = share;
}

// Counts the calls that reach the serial port: each is one ioctl on a real
// port. On a UART-mode USB adapter (CH340, PL2303, CP2102) each one is a USB
// round trip: `costNs` of the board's clock.
class CountingSerialPort : public platform::SerialPort {
  public:
    CountingSerialPort(std::unique_ptr<platform::SerialPort> port, sim::SimClock& clock,
                       std::uint64_t costNs)
        : port_(std::move(port)), clock_(clock), costNs_(costNs) {}
    bool readSettings() override { return port_->readSettings(); }
    bool writeSettings(const platform::LineFormat& f) override { return port_->writeSettings(f); }
    bool setReadTimeouts(const platform::ReadTimeouts& t) override {
        return port_->setReadTimeouts(t);
    }
    bool modemStatus(std::uint32_t& bits) override {
        ++statusReads;
        clock_.advance(costNs_);
        return port_->modemStatus(bits);
    }
    std::uint64_t lineCalls = 0;
    std::uint64_t statusReads = 0;

  protected:
    bool writeLine(platform::LineCode code) override {
        ++lineCalls;
        clock_.advance(costNs_);
        return port_->escape(code);
    }
    bool writeRtsDtr(bool rts, bool dtr) override {
        ++lineCalls;
        clock_.advance(costNs_);
        return port_->setRtsDtr(rts, dtr);
    }

  private:
    std::unique_ptr<platform::SerialPort> port_;
    sim::SimClock& clock_;
    std::uint64_t costNs_;
};

enum class Link { freeSerial, uartAdapter, ftdi };

// A Write of a 256-word program into a PIC16F628A at high speed, then a
// Verify: on a motherboard COM port (line changes free), a UART-mode USB
// adapter at 1 ms per line change and status read, and the FTDI adapter in
// synchronous bit-bang at 1 ms per USB transfer. Beside each, what the chip
// needs (its program cycles and the erase).
void BM_Program256Words(benchmark::State& state, Link link) {
    const sim::ChipProfile profile = *sim::findProfile("PIC16F628A");
    constexpr int kWords = 256;
    const auto hex = fullImage(profile, kWords);
    double write = 0, total = 0, floor = 0, lines = 0, status = 0, transfers = 0, cpu = 0;
    for (auto _ : state) {
        test::SimBench b(test::allWirings()[0], profile);
        CountingSerialPort* counting = nullptr;
        if (link != Link::ftdi) {
            const std::uint64_t cost = link == Link::uartAdapter ? 1'000'000 : 0;
            auto port = std::make_unique<CountingSerialPort>(std::move(b.session.port.comHandle),
                                                             b.clock, cost);
            counting = port.get();
            b.session.port.comHandle = std::move(port);
        }
        Session s(b.clock);
        useBoard(s, b, "PIC16F628A", hex, 3);
        FtdiHookup adapter(b);
        if (link == Link::ftdi) adapter.use(s);
        b.chip.enableFrameLog(true);
        ChipImage image;
        if (!readChipImage(s.file.hexPath, s.device, image, s.message)) {
            state.SkipWithError(s.message.c_str());
            break;
        }
        const double cpuStart = threadCpuSeconds();
        const std::uint64_t start = b.clock.peek();
        bool ok = writeChip(s, image);
        write = static_cast<double>(b.clock.peek() - start) / 1e9;
        floor = chipFloorSeconds(b.chip, profile);
        ok = ok && verifyChip(s, image);
        total = static_cast<double>(b.clock.peek() - start) / 1e9;
        cpu = threadCpuSeconds() - cpuStart;
        if (!ok) state.SkipWithError(s.message.c_str());
        if (counting != nullptr) {
            lines = static_cast<double>(counting->lineCalls);
            status = static_cast<double>(counting->statusReads);
        }
        auto* port = s.port.comHandle ? s.port.comHandle->bitBang() : nullptr;
        transfers = port ? static_cast<double>(port->transfers()) : 0;
        s.port.comHandle.reset();
    }
    state.counters["write_s"] = write;
    state.counters["chip_floor_s"] = floor;
    state.counters["ratio_to_floor"] = write / floor;
    state.counters["write_verify_s"] = total;
    state.counters["cpu_per_sim_s"] = cpu / total;
    if (link != Link::ftdi) {
        state.counters["line_changes"] = lines;
        state.counters["status_reads"] = status;
        state.counters["ops_per_word"] = (lines + status) / kWords;
    } else {
        state.counters["usb_transfers"] = transfers;
        state.counters["usb_transfers_per_word"] = transfers / kWords;
    }
}

BENCHMARK(BM_RealTimeWriteCpuShare)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(BM_Program256Words, PIC16F628A_free_serial, Link::freeSerial)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Program256Words, PIC16F628A_uart_adapter_1ms, Link::uartAdapter)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Program256Words, PIC16F628A_ftdi_1ms, Link::ftdi)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F84A_serial, "PIC16F84A", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F877A_serial, "PIC16F877A", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F877A_ftdi, "PIC16F877A", true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F690_serial, "PIC16F690", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F887_serial, "PIC16F887", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_WriteAndVerifyFullChip, PIC16F616_serial, "PIC16F616", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace ferrolux

BENCHMARK_MAIN();
