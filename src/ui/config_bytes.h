#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "session/device_record.h"
#include "session/session.h"

namespace ferrolux::ui {

// A PIC18 chip's configuration bytes as the user sees them: names, labels,
// the protection bits, and the "ADDR=VALUE" / "NAME=0|1" settings of the
// console program. No toolkit, no chip.

// The labels of every configuration byte, bit 0 first; all empty for a byte
// the chip does not implement.
using ConfigByteLabels = std::array<std::array<std::string, 8>, kPic18ConfigBytes>;

// The selected chip's labels, from the device list.
ConfigByteLabels loadConfigByteLabels(const Session& s);

// "CONFIG1L" for place 0 (0x300000) up to "CONFIG7H" for place 13.
std::string configByteName(int place);
// The drop-down entry of a byte: "CONFIG1H (300001)".
std::string configByteItem(int place);

// A bit without function: no label, or a bare '/'.
bool functionlessBit(const std::string& label);
// A box shows checked when its function is on: the bit set, or clear for an
// active-low label ("/PWRT").
bool bitBoxChecked(const std::string& label, bool set);
// A code- or write-protection label: /CP.., /WRT.., /EBTR.. (active low).
bool protectionLabel(const std::string& label);

// The protection bits that `bytes` would switch on, as "CONFIG5L /CP0".
std::vector<std::string> protectingBits(const DeviceRecord& d, const ConfigByteLabels& labels,
                                        const std::array<int, kPic18ConfigBytes>& bytes);
// The "Warning!" question before such bits are written.
std::string protectionQuestion(const std::vector<std::string>& bits);

// The place named by "300001", "0x300001", "CONFIG1H" or "1H" (any case);
// -1 for anything else.
int configPlaceOf(std::string_view text);

// One setting of the console program: the bits `mask` of byte `place` become `value`.
struct ConfigSetting {
    int place = 0;
    int mask = 0;
    int value = 0;
};

// Reads "ADDR=VALUE" (VALUE one or two hex digits, within the byte's
// implemented bits) or "NAME=0|1" (NAME a bit label, its leading '/' optional,
// any case). False with `error` set for an unknown name or address, a byte
// the chip lacks, or a value it cannot hold.
bool parseConfigSetting(const DeviceRecord& d, const ConfigByteLabels& labels,
                        const std::string& text, ConfigSetting& setting, std::string& error);

void applyConfigSetting(std::array<int, kPic18ConfigBytes>& bytes, const ConfigSetting& setting);

// One line per implemented byte: "CONFIG1H 300001: 27  /OSCS=1 OSC2=1 ...".
std::string configBytesListing(const DeviceRecord& d, const ConfigByteLabels& labels,
                               const std::array<int, kPic18ConfigBytes>& bytes);

// The main window's short view: the bytes that differ from their erased
// value ("1H=22 2H=0E"), three at most and "+n" for the rest; "erased" when
// none does.
std::string configSummary(const DeviceRecord& d, const std::array<int, kPic18ConfigBytes>& bytes);

}  // namespace ferrolux::ui
