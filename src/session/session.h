#pragma once

#include <array>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/tick_source.h"
#include "session/device_record.h"
#include "session/link_settings.h"
#include "session/reporter.h"

namespace ferrolux {

// The hex file the user selected.
struct SelectedFile {
    std::string hexPath;         // full path of the selected hex file, at most 259 characters
    std::string fileName;        // hexPath after its last folder separator, at most 95
    bool fileSelected = false;   // write and verify refuse to start without a file
    bool quiet = false;          // openHexFile: no warning about a missing configuration word
    bool hasConfigWord = false;  // the file holds a configuration word for the chip
};

// The values the window shows and the operations write besides the file.
struct ChipValues {
    int configWord = 0x3FFF;        // configuration word value, 14 bits (erased state)
    int config2Word = 0x3FFF;       // second configuration word (0x2008), on chips that have one
    std::array<int, 4> idValues{};  // ID0 to ID3
    char lowVoltageChar = '0';      // the state file's form of the low-voltage option, '1' or '0'
    // PIC18 chips: the configuration bytes at 0x300000 + k, in the chip's bits.
    std::array<int, kPic18ConfigBytes> configBytes{};
};

// Working values of a chip operation; the messages and the window read them.
struct PassState {
    int targetAddress = 0;  // chip word address being handled
    int fileWord = 0;       // the value for the target address
    int readBack = 0;       // the last word read from the chip
    bool blank = false;     // no programmed word seen since the window set it
    // The lowest address seen programmed since blank was set (-1: none) and
    // what it holds: word addresses as in a hex file; PIC18 byte addresses.
    int usedAddress = -1;
    int usedValue = 0;
    int deviceIdRead = -1;  // the device ID the last link check read; -1 = none
    int savedCalibration = 0;
    int savedConfig = 0;
};

// The status field between the operations' reports.
struct StatusShown {
    std::string statusText;     // progress text that showProgress puts in the status field
    bool blinkStarted = false;  // the "reading..." blink has toggled once
    std::uint64_t lastBlinkNs = 0;
};

// The device list's lines as read once at the start of a run; every reader
// of the list takes them from here.
struct DeviceListText {
    bool read = false;  // the list was read (it opened)
    std::vector<std::string> lines;
};

// Everything the program keeps for the length of a run. One session per window
// (or per test); operations take it as their first argument.
class Session {
  public:
    explicit Session(platform::TickSource& tickSource, Reporter* shownOn = nullptr)
        : ticks(tickSource), reporter(shownOn ? shownOn : &nullReporter_) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    platform::TickSource& ticks;
    Reporter* reporter;                              // where the operations show what they do
    platform::SerialOpener* serialOpener = nullptr;  // opens COM ports by name
    // Called first by every link check: the simulated board takes changes
    // of its socket then.
    std::function<void(Session&)> beforeLinkCheck;

    LinkSettings link;
    PortAccess port;
    DeviceRecord device;
    DeviceListText deviceList;  // read by checkDeviceList
    std::string message;        // the reason of the last failure, shown titled "Error"
    // Raised from outside (a signal handler) to stop: the next ICSP frame
    // becomes LEAVE_PGM and nothing follows it. Nonzero = raised.
    const volatile std::sig_atomic_t* stopRequest = nullptr;
    bool stopped = false;  // LEAVE_PGM has been sent for the stop request
    std::filesystem::path programDir;

    SelectedFile file;                // the hex file the user chose
    ChipValues chip;                  // configuration words and IDs, as shown and written
    PassState pass;                   // working values of the chip operation in progress
    StatusShown shown;                // what the status field shows between reports
    std::filesystem::path outputDir;  // where readback files go; empty: the current directory
    bool vppWarned = false;           // the user took the warning about the chip's Vpp limit

    // When set, the readback file itself instead of outputDir/readback.hex or .txt.
    std::filesystem::path readbackPath;

  private:
    NullReporter nullReporter_;
};

}  // namespace ferrolux
