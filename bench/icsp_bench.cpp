// CPU cost of ICSP frames through the simulated boards, and the simulated time
// that a 1024-word load/read sweep takes on the wire at each speed.
#include <benchmark/benchmark.h>

#include "link/icsp.h"
#include "support/sim_bench.h"

namespace ferrolux {
namespace {

const test::Wiring& wiring(int index) {
    static const auto all = test::allWirings();
    return all[static_cast<std::size_t>(index)];
}

// One read frame (command plus 16 data clocks) per iteration.
void BM_ReadFrameCpu(benchmark::State& state) {
    test::SimBench b(wiring(static_cast<int>(state.range(0))));
    b.session.link.speed = static_cast<int>(state.range(1));
    sendIcsp(b.session, ENTER_PGM, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(sendIcsp(b.session, READ_DATA_PROGRAM, 0));
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(wiring(static_cast<int>(state.range(0))).name);
}

// Load, program, read back and step over 1024 words; reports the simulated
// milliseconds the sweep occupies the wire (including the chip's waits).
void BM_Sweep1024(benchmark::State& state) {
    const test::Wiring& w = wiring(static_cast<int>(state.range(0)));
    double simulatedMs = 0;
    for (auto _ : state) {
        test::SimBench b(w);
        b.session.link.speed = static_cast<int>(state.range(1));
        b.session.device.family = 5;  // 15 ms programming wait on every driver
        useFamilyTimings(b.session);
        const std::uint64_t start = b.clock.peek();
        sendIcsp(b.session, ENTER_PGM, 0);
        for (int a = 0; a < 1024; ++a) {
            sendIcsp(b.session, LOAD_DATA_PROGRAM, a);
            sendIcsp(b.session, PROGRAM_COMMAND, 0);
            if (sendIcsp(b.session, READ_DATA_PROGRAM, 0) != a) state.SkipWithError("mismatch");
            sendIcsp(b.session, INCREMENT_ADDRESS, 0);
        }
        sendIcsp(b.session, LEAVE_PGM, 0);
        simulatedMs = static_cast<double>(b.clock.peek() - start) / 1e6;
    }
    state.counters["simulated_ms"] = simulatedMs;
    state.SetLabel(w.name);
}

// Load and read back only (no programming cycle): the pure frame time.
void BM_LoadReadSweep1024(benchmark::State& state) {
    const test::Wiring& w = wiring(static_cast<int>(state.range(0)));
    double simulatedMs = 0;
    for (auto _ : state) {
        test::SimBench b(w);
        b.session.link.speed = static_cast<int>(state.range(1));
        const std::uint64_t start = b.clock.peek();
        sendIcsp(b.session, ENTER_PGM, 0);
        for (int a = 0; a < 1024; ++a) {
            sendIcsp(b.session, LOAD_DATA_PROGRAM, a);
            benchmark::DoNotOptimize(sendIcsp(b.session, READ_DATA_PROGRAM, 0));
            sendIcsp(b.session, INCREMENT_ADDRESS, 0);
        }
        sendIcsp(b.session, LEAVE_PGM, 0);
        simulatedMs = static_cast<double>(b.clock.peek() - start) / 1e6;
    }
    state.counters["simulated_ms"] = simulatedMs;
    state.SetLabel(w.name);
}

void wiringsAndSpeeds(benchmark::internal::Benchmark* b) {
    for (int w : {0, 1, 4}) {  // serial, AN589, P16PRO
        for (int speed = 0; speed <= 3; ++speed)
            b->Args({w, speed});
    }
}

BENCHMARK(BM_ReadFrameCpu)->Apply(wiringsAndSpeeds);
BENCHMARK(BM_LoadReadSweep1024)->Apply(wiringsAndSpeeds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sweep1024)->Args({0, 2})->Args({1, 2})->Args({4, 2})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ferrolux

BENCHMARK_MAIN();
