// What the production log costs per chip: a line appended whole under the
// log's lock (opened, written, flushed to the disk, closed), a serial number
// reserved beside it (the log read through), and the SHA-256 of a hex file.
#include <benchmark/benchmark.h>

#include <string>

#include "files/production_log.h"
#include "files/sha256.h"
#include "support/temp_dir.h"

namespace {

using namespace ferrolux;

void BM_AppendLine(benchmark::State& state) {
    test::TempDir dir;
    ProductionLog log(dir.path() / "run.csv");
    LogEntry e;
    e.chip = "PIC16F628A";
    e.file = "/home/shop/fw/blink_16f628a.hex";
    e.fileSha256 = std::string(64, 'a');
    e.serial = "0x1000";
    std::string why;
    for (auto _ : state)
        benchmark::DoNotOptimize(log.append(e, why));
}
BENCHMARK(BM_AppendLine)->Unit(benchmark::kMicrosecond);

// Reserving the next number reads the whole log: its cost after N lines.
void BM_ReserveAfterLines(benchmark::State& state) {
    test::TempDir dir;
    ProductionLog log(dir.path() / "run.csv");
    LogEntry e;
    e.chip = "PIC16F628A";
    std::string why;
    for (int i = 0; i < state.range(0); ++i) {
        e.serial = std::to_string(i);
        log.append(e, why);
    }
    const auto any = [](std::uint64_t, std::string&) { return true; };
    for (auto _ : state) {
        Reservation r;
        benchmark::DoNotOptimize(log.reserve(std::nullopt, 1, any, r, why));
    }
}
BENCHMARK(BM_ReserveAfterLines)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_Sha256(benchmark::State& state) {
    const std::string bytes(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state)
        benchmark::DoNotOptimize(sha256Hex(bytes));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sha256)->Arg(64 * 1024);

}  // namespace

BENCHMARK_MAIN();
