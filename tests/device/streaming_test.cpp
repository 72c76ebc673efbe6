// Writes that stream their frames and rows that are read back as they are
// written: where a word that does not take stops the write, what is left
// unprogrammed after it, and the frames of the families that write word by word.
#include <gtest/gtest.h>

#include <optional>

#include "chip_rig.h"
#include "device/chip_service.h"
#include "device/program_word.h"
#include "link/link_bench.h"
#include "session/messages.h"

namespace ferrolux::test {
namespace {

// Words at `first`, `first + 1`, ... taken from `seed`.
ChipImage runOf(int first, int count, int seed, ChipImage image = {}) {
    for (int i = 0; i < count; ++i)
        image.words[first + i] = (seed * (i + 7) + i) & 0x3FFF;
    return image;
}

// A chip with every word of `image` and all ones elsewhere up to `end`.
void expectHolds(sim::VirtualPic& chip, const ChipImage& image, int end) {
    for (int a = 0; a < end; ++a) {
        const auto it = image.words.find(a);
        ASSERT_EQ(chip.programWord(static_cast<std::size_t>(a)),
                  it == image.words.end() ? 0x3FFF : it->second)
            << std::hex << a;
    }
}

std::uint64_t digest(std::uint64_t h, std::uint64_t value) {
    return (h ^ value) * 0x100000001B3ull;
}

// The frames and waits of one word programmed by each family that writes
// word by word: the AN589 adapter's bytes, the serial board's line codes and
// the clock's reads. A stream sends the same, and both are what the code
// sent before frames were streamed (the digests below).
TEST(WordFrames, FamiliesThatWriteWordByWordKeepTheirFrames) {
    const std::map<std::pair<int, bool>, std::uint64_t> before = {
        {{1, false}, 0x473ADAB242F5F50Full},  {{1, true}, 0xA5A20205D7F2871ull},
        {{2, false}, 0x310B5AB9057CA41Full},  {{2, true}, 0xA5A20205D7F2871ull},
        {{3, false}, 0xCD15C474CD500513ull},  {{3, true}, 0x1FA2B3B9384AFC43ull},
        {{4, false}, 0x310B5AB9057CA41Full},  {{4, true}, 0xB646C020822D25A1ull},
        {{5, false}, 0x310B5AB9057CA41Full},  {{5, true}, 0xB646C020822D25A1ull},
        {{10, false}, 0x762A48E18277B4EFull}, {{10, true}, 0x7B0F459C9C0285B3ull},
    };
    for (const auto& [key, expected] : before) {
        const auto [family, serial] = key;
        auto trace = [family, serial](bool streamed) {
            LinkBench b;
            if (serial) {
                b.useSerial();
            } else {
                b.useParallel('1');
            }
            b.session.device.family = family;
            useFamilyTimings(b.session);
            {
                std::optional<IcspStream> stream;
                if (streamed) stream.emplace(b.session);
                PassWord w{0x0123, 0x2A5C, 0};
                (void)programWord(b.session, w);
            }
            std::uint64_t h = 0xCBF29CE484222325ull;
            for (std::uint8_t byte : b.parallel.writes)
                h = digest(h, byte);
            for (platform::LineCode code : b.serialPort.codes)
                h = digest(h, static_cast<std::uint64_t>(code));
            return digest(digest(h, b.ticks.reads), b.ticks.now);
        };
        EXPECT_EQ(trace(false), expected) << family << (serial ? " serial" : " AN589");
        EXPECT_EQ(trace(true), expected) << family << (serial ? " serial" : " AN589");
    }
}

// A 16F628A whose word 0x21 never takes: the write stops there with its
// address and values, and no word after it was programmed, on the serial
// board, a parallel adapter and the FTDI adapter (streamed, at a USB round
// trip per transfer). A verify that meets two differing words in one batch
// names the first.
TEST(Streamed, AWordThatDoesNotTakeEndsTheWriteThere) {
    for (const Wiring& wiring : {allWirings()[0], allWirings()[1], ftdiWiring()}) {
        ChipRig rig("PIC16F628A", wiring);
        const ChipImage image = runOf(0, 0x60, 11);
        rig.chip.dropWritesToProgram(0x21);
        ASSERT_NE(checkLink(rig.s), 0);
        const Result r = ChipService(rig.s).write({.eraseFirst = true, .code = true}, image);
        EXPECT_EQ(r.outcome, Outcome::failed);
        EXPECT_EQ(rig.s.message, formatText("Write Error at: 0021\n\nWrote:  %04X\nRead: 3FFF\n",
                                            static_cast<unsigned>(image.words.at(0x21))))
            << wiring.name;
        EXPECT_EQ(rig.chip.programWord(0x20), image.words.at(0x20)) << wiring.name;
        for (std::size_t a = 0x22; a < 0x80; ++a)
            ASSERT_EQ(rig.chip.programWord(a), 0x3FFF) << wiring.name << " " << a;

        ChipImage other = image;
        other.words[0x05] ^= 0x0010;
        other.words[0x07] ^= 0x0100;
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(programCodeByWord(rig.s, other, PassMode::verify), kPassMismatch);
        EXPECT_EQ(rig.s.message.rfind("Verify failed at Adr: 0005\n", 0), 0u) << rig.s.message;
    }
}

// Rows of write latches on the 16F87xA (8), the 16F87/88 family (4), the
// 16F88x (8) and the 16F6xx (4), on the serial board and the FTDI adapter: a run from address 0
// across a row boundary into a partial row and one that starts inside a row past empty rows are
// written as they are, nothing beside them; a word that does not take ends the write at its row,
// and no later row is programmed. The 16F87xA also rewrites a programmed chip without an erase
// first.
TEST(Rows, RowsAreReadBackBeforeTheNextIsProgrammed) {
    for (const char* name : {"PIC16F873A", "PIC16F818", "PIC16F887", "PIC16F690"}) {
        for (const Wiring& wiring : {allWirings()[0], ftdiWiring()}) {
            ChipRig rig(name, wiring);
            const int row = writeRowOf(rig.s.device);
            const ChipImage image = runOf(3 * row + 1, row + 2, 5, runOf(0, row + 3, 3));
            const int end = 6 * row;
            ASSERT_NE(checkLink(rig.s), 0);
            ASSERT_EQ(eraseChip(rig.s), 0) << rig.s.message;
            ASSERT_EQ(writeRowsReadBack(rig.s, image, row, true), 0) << rig.s.message;
            expectHolds(rig.chip, image, end);
            EXPECT_EQ(rig.chip.lostWrites(), 0u);

            const ChipImage later = runOf(row + 2, 4 * row, 9);
            if (rig.chip.profile().family == 6) {
                ASSERT_EQ(writeRowsReadBack(rig.s, later, row, false), 0) << rig.s.message;
                for (const auto& [a, word] : later.words)
                    ASSERT_EQ(rig.chip.programWord(static_cast<std::size_t>(a)), word) << a;
            }

            ASSERT_EQ(eraseChip(rig.s), 0) << rig.s.message;
            const int dead = 2 * row + 1;
            rig.chip.dropWritesToProgram(static_cast<std::uint32_t>(dead));
            EXPECT_EQ(writeRowsReadBack(rig.s, later, row, true), kPassMismatch);
            EXPECT_EQ(rig.s.message.rfind(formatText("Verify failed at Adr: %04X\n", dead), 0), 0u)
                << rig.s.message;
            for (int a = 3 * row; a < 6 * row; ++a)
                ASSERT_EQ(rig.chip.programWord(static_cast<std::size_t>(a)), 0x3FFF) << a;
        }
    }
}

}  // namespace
}  // namespace ferrolux::test
