#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ferrolux {

class Session;
struct ChipImage;

// What a write takes from the file, and whether the chip is erased first.
struct WriteOptions {
    bool eraseFirst = false;
    bool code = false;
    bool data = false;
    bool config = false;
    // The chip's EEPROM read before the erase and written back after it,
    // unless the data comes from the file (o.data and the file holds some).
    bool keepData = false;
};

// What a verify compares (a 12-bit chip always compares its code).
struct VerifyOptions {
    bool code = true;
    bool data = false;
};

enum class Outcome { ok, failed, cancelled };

// Why a chip command failed, so that the front ends act on it without
// reading its message: the chip differs from the file, no chip answered, the
// port or adapter failed, or anything else.
enum class Failure { none, failed, mismatch, noChip, port };

// How a write or verify ended.
struct Result {
    Outcome outcome = Outcome::ok;
    Failure failure = Failure::none;
};

// The chip operations the windows and the console program run, on the chip
// the session reaches. Failures leave the reason in the session's message;
// what is shown on the way goes through its reporter. The windows never reach
// the ICSP link themselves.
class ChipService {
  public:
    explicit ChipService(Session& s) : s_(s) {}

    // Tests the programmer and reads the device ID (0 = failure, 1 = no ID,
    // 2 = ID read), as every chip command starts. On failure `why` (when
    // given) says whether the port or the chip did not answer.
    int checkLink(Failure* why = nullptr);
    // Leaves programming mode: the chip is let go.
    void leave();
    // A pause on the session's clock that lets the window paint.
    void pause(int ms);

    // Opens and tests the selected COM port; 0 when a board answers.
    int openComPort();
    // Looks for the selected parallel adapter; true when it answers (an
    // adapter without detection counts as found).
    bool findParallelAdapter();

    // After checkLink: true when the chip on the board is the selected type,
    // or the user agrees to go on with the one whose device ID was read.
    bool sameChipOrAgreed();

    // Erase first, code (with IDs), data and configuration word from the
    // file's image, each as asked, then programming mode is left. Cancelled
    // when the user declines to write over a 12-bit chip that is not blank.
    // The configuration words written are the session's (the file's, as
    // loaded, or the ones the user set).
    Result write(const WriteOptions& options, const ChipImage& image);
    // Compares the chip with the file's image: code and data as asked, then
    // every configuration word the file holds (in the bits the chip
    // implements) and the IDs when the file has them; then leaves
    // programming mode. A difference names its place and both values.
    Result verify(const VerifyOptions& options, const ChipImage& image);

    // Whether the chip reads blank, into the session's blank flag: a 12-bit
    // chip by its blank check, which passes over the calibration word it is
    // shipped with; a 14-bit chip by a readback into `scratch`. 0, or 1 with
    // the message filled.
    int checkBlank(const std::filesystem::path& scratch);

    // Reads the whole chip into "readback.hex" (INHX8M) or, as a listing, into
    // "readback.txt" in the session's output folder (a blank chip clears the
    // session's blank flag on the first word that is not erased). 0, or 1
    // with the message filled; then programming mode is left.
    int saveReadback(bool listing);

    // The three erases; each confirms it took (0, or 1 with the message). The
    // code and the data erase show "erasing" as they start.
    int eraseChip();
    int eraseCode();
    int eraseData();

    // Configuration word and IDs to and from the session's values, each
    // leaving programming mode after success.
    int readConfig();
    int writeConfig();
    int readIds();
    int writeIds();

    // The selected chip's second configuration word (at 0x2008, hex byte
    // address 0x4010): its implemented bits, 0 when it has none. readConfig
    // reads it into the session's config2Word beside the first; writeConfig
    // and a write with the configuration word write and verify both.
    int secondConfigMask() const;
    // The factory calibration words the chip keeps in configuration space,
    // as the listing shows them: (address, word) read from the chip now,
    // then programming mode is left.
    std::vector<std::pair<int, int>> readCalibrationWords();

    // The chip's programming voltage limit, when it is below what the boards
    // supply: the "Warning!" text asked once per session before the first
    // write or erase; empty when there is nothing to warn of. The writes and
    // erases below ask it themselves and stop when the user cancels.
    std::string vppWarning() const;

    // The data memory byte by byte, from address 0 (a byte other than FF
    // clears the session's blank flag). A write starts with
    // beginDataWrite, then one writeDataByte per byte (read, written when it
    // differs, read back; false when it does not take).
    std::vector<int> readDataMemory();
    // False (the message filled) when the user declines the Vpp warning.
    bool beginDataWrite();
    bool writeDataByte(int value);

  private:
    // PIC18 chips (pic18Core): the steps on the 16-bit core's operations.
    // `kept`: the EEPROM bytes written back after the erase (empty: none).
    Result write18(const WriteOptions& options, const ChipImage& image,
                   const std::vector<int>& kept);
    Result verify18(const VerifyOptions& options, const ChipImage& image);
    int eraseChip18();
    int eraseData18();
    int writeConfig18();
    bool writeDataByte18(int value);
    int noIdWords();
    // The EEPROM as the chip holds it, for a write that keeps it: false with
    // the message filled when it cannot be read or the configuration
    // protects it (it would read as zeros). The session's configuration
    // values are left as they were.
    bool readKeptData(std::vector<int>& bytes);
    // Writes `bytes` back into the EEPROM (only those that are not erased).
    int restoreData(const std::vector<int>& bytes);

    void skipConfigSpace();
    // True when the chip's Vpp limit was accepted (or there is none).
    bool vppAccepted();

    Session& s_;
    // A PIC18 EEPROM write: the bytes as read when it began, and the next one.
    std::vector<int> dataShadow_;
    std::size_t dataIndex_ = 0;
};

}  // namespace ferrolux
