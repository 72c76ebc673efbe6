#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/session.h"
#include "ui/window.h"

namespace ferrolux::ui {

inline constexpr int kDataLineLength = 11;  // "0005: 3C " and CR LF

// The data text line of one byte: "%04X: %02X " and CR LF.
std::string dataLine(int offset, int value);

// Line `index` of a text whose lines end in CR LF or LF, without its line end
// and cut to `limit` characters; empty past the last line.
std::string textLine(const std::string& text, int index, std::size_t limit = 32);

// Reads the whole data memory into the data text; the chip stays in programming mode.
std::string readDataMemoryText(Session& s);

// Writes the lines of `field` into data memory, line i to offset i, each byte
// read back. 0 when done; 1 after "Write Error!" (or a line without a hex
// value), with the data status field cleared.
int writeDataMemoryLines(Session& s, Window& dialog, const std::string& field);

// The edit rule of the data text field: undoes edits outside the two digit
// columns, and takes the digits typed there into `dataText`.
void filterDataEdit(Window& dialog, std::string& dataText);

// The data memory alone as an Intel HEX file, at the chip's own addresses:
// from 0x4200 on for 14-bit chips (word 0x2100 on, one byte a word), from
// 0xF00000 on for PIC18 chips.
std::uint32_t eepromHexAddress(const DeviceRecord& d);
std::string eepromHexText(const DeviceRecord& d, const std::vector<int>& bytes);
// The data memory bytes of the hex file at `path` (0xFF where it gives none);
// false with `message` when it cannot be read or holds no data memory byte.
bool readEepromHex(const std::string& path, const DeviceRecord& d, std::vector<int>& bytes,
                   std::string& message);
// The bytes of the data text, line i for offset i, at most `size` of them.
std::vector<int> dataTextBytes(const std::string& text, int size);

// The data memory window ("Data Memory").
class DataWindow : public DialogHandler {
  public:
    explicit DataWindow(Session& s) : s_(s) {}

    void opened(Window& dialog) override;
    void command(Window& dialog, int id) override;
    void textChanged(Window& dialog, int id) override;

    void readData(Window& dialog);
    int writeData(Window& dialog);
    // The data text from a hex file, or to one; the chip is not touched.
    int loadFile(Window& dialog);
    int saveFile(Window& dialog);

    const std::string& dataText() const { return dataText_; }
    int failures() const { return failures_; }

  private:
    Session& s_;
    std::string dataText_;
    int failures_ = 0;
};

}  // namespace ferrolux::ui
