// A whole 18F4620 (64 KB of code, 1 KB of EEPROM) on the simulated serial
// board and FTDI cable: the simulated time of an erase and write (which
// reads each part back), of a verify and of a readback.
#include <benchmark/benchmark.h>

#include "device/pic18/pic18.h"
#include "link/detect.h"
#include "platform/ftdi_serial_port.h"
#include "session/session.h"
#include "sim/sim_board.h"
#include "sim/sim_clock.h"
#include "sim/sim_ftdi.h"
#include "sim/virtual_pic18.h"

namespace ferrolux {
namespace {

// Every byte of the chip's code and EEPROM, the IDs and the configuration
// bytes at their erased values.
ChipImage fullImage(const DeviceRecord& d) {
    ChipImage image;
    unsigned seed = 12345;
    auto next = [&seed] {
        return static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    };
    for (std::uint32_t a = 0; a < static_cast<std::uint32_t>(d.codeWords) * 2; ++a)
        image.pic18.code[a] = next();
    for (auto& id : image.pic18.ids)
        id = next();
    for (std::size_t k = 0; k < image.pic18.config.size(); ++k)
        if (d.configBytes[k].mask != 0)
            image.pic18.config[k] = static_cast<std::uint8_t>(d.configBytes[k].blank);
    for (int k = 0; k < d.dataBytes; ++k)
        image.pic18.data[k] = next();
    return image;
}

void BM_Pic18FullChip(benchmark::State& state, bool ftdi) {
    double write = 0, verify = 0, read = 0;
    for (auto _ : state) {
        sim::SimClock clock;
        sim::SimBoard board(clock, {sim::BoardKind::serial, false, 4});
        sim::VirtualPic18 chip(*sim::findPic18Profile("PIC18F4620"));
        board.insertChip(&chip);
        chip.attachClock(&clock);
        sim::SimFtdiOpener adapters(board, clock);
        platform::FtdiSerialOpener opener(adapters);
        Session s(clock);
        s.link.serial = true;
        s.link.speed = 3;
        s.device.name = "PIC18F4620";
        s.device.family = 13;
        s.device.codeWords = 32768;
        s.device.dataBytes = 1024;
        s.device.writeBufferBytes = 64;
        for (std::size_t k = 0; k < s.device.configBytes.size(); ++k)
            s.device.configBytes[k] = {chip.profile().config[k].mask,
                                       chip.profile().config[k].blank};
        if (ftdi) {
            s.serialOpener = &opener;
            s.link.portName = "ftdi:SIM1";
        } else {
            s.port.comHandle = board.openSerial();
            s.link.lineSense = 1;
        }
        if (openComPort(s) != 0) state.SkipWithError(s.message.c_str());
        const ChipImage image = fullImage(s.device);
        auto timed = [&](auto step) {
            const std::uint64_t start = clock.peek();
            if (step() != 0) state.SkipWithError(s.message.c_str());
            return static_cast<double>(clock.peek() - start) / 1e9;
        };
        write = timed([&] { return pic18Erase(s) | pic18Write(s, image); });
        verify = timed([&] { return pic18Verify(s, image); });
        ChipImage::Bytes18 back;
        read = timed([&] { return pic18Read(s, back, true); });
    }
    state.counters["erase_write_s"] = write;
    state.counters["verify_s"] = verify;
    state.counters["readback_s"] = read;
}

BENCHMARK_CAPTURE(BM_Pic18FullChip, serial, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Pic18FullChip, ftdi, true)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace ferrolux

BENCHMARK_MAIN();
