#pragma once

#include <array>
#include <string>

namespace ferrolux {

// PIC18 (16-bit core) places, as byte addresses of the chip and of an INHX32 file.
inline constexpr int kPic18IdBase = 0x200000;  // 8 ID bytes
inline constexpr int kPic18IdBytes = 8;
inline constexpr int kPic18ConfigBase = 0x300000;  // configuration bytes CONFIG1L..CONFIG7H
inline constexpr int kPic18ConfigBytes = 14;
inline constexpr int kPic18DeviceIdAddress = 0x3FFFFE;  // DEVID1, then DEVID2
inline constexpr int kPic18DataBase = 0xF00000;         // EEPROM, one byte per address

// One PIC18 configuration byte: the bits it implements (0: the chip has no
// such byte) and its value on an erased chip.
struct ConfigByte {
    int mask = 0;
    int blank = 0;
};

// The wait after Begin Programming, set by the chip's family: on the serial
// board, and on parallel adapters. 0 waits nothing.
struct ProgramWait {
    int serialUs = 0;
    int parallelUs = 0;
    // After Begin Programming Only (24), before anything else is sent.
    int beginOnlyUs = 2000;
};

// The selected chip's parameters, taken from its line in the device list.
struct DeviceRecord {
    int listIndex = -1;          // position in the sorted chip list, -1 = none
    std::string name;            // at most 14 characters
    std::string configLabelKey;  // at most 4 characters
    int codeWords = 0;
    int dataBytes = 0;          // 0 = no data memory
    char lowVoltageFlag = 'N';  // 'Y' = low-voltage programming possible
    int family = 0;             // programming algorithm, 1..10 (8, 9 = 12-bit core)
    char deviceIdFlag = 'N';    // 'Y' = readable device ID
    int deviceId = -1;          // the listed device ID without revision bits; -1 = not listed
    // 12-bit core: a factory calibration word (MOVLW) in the last code word,
    // and its backup copy right after the four ID words.
    bool calibration = false;
    bool calibrationBackup = false;
    ProgramWait programWait;  // handed to the link by the device layer
    // Configuration bits that read back as written (the others are compared
    // as equal); -1 = not listed: every bit of the word (configMaskOf).
    int configMask = -1;
    // A second configuration word at 0x2008: its implemented bits; 0 = none.
    int config2Mask = 0;
    // Factory calibration words in configuration space that every erase and
    // write keeps: bit 0 the word at 0x2008, bit 1 the word at 0x2009.
    int calibrationWords = 0;
    // Highest programming voltage the chip takes, in tenths of a volt;
    // 0 = not listed (the boards' 13 V is within it).
    int vppLimitTenths = 0;

    // PIC18 chips (families 11 to 13) only.
    // Bytes taken by the chip's write buffer (8, 16, 32 or 64).
    int writeBufferBytes = 0;
    // The configuration bytes at 0x300000 + k, from the chip's cfg lines.
    std::array<ConfigByte, kPic18ConfigBytes> configBytes{};
    // The revision bits of the device ID; 0x000F where bit 4 tells twin
    // chips apart (18F2420 and 18F2423).
    int revisionMask = 0x001F;
};

// The Vpp the programmer boards supply, in tenths of a volt.
inline constexpr int kBoardVppTenths = 130;

// First address of the calibration words kept in configuration space.
inline constexpr int kCalibrationWordBase = 0x2008;
inline constexpr int kConfig2Address = 0x2008;

// The revision bits of a device ID read from the chip.
inline constexpr int kDeviceIdRevisionMask = 0x001F;

// The 12-bit core (family 8 EPROM, 9 flash): no data memory, the
// configuration word where the chip stands after entering programming mode,
// the ID words right after the last code word.
inline bool twelveBitCore(const DeviceRecord& d) {
    return d.family == 8 || d.family == 9;
}

// The 16-bit core (PIC18F): family 11 the 18Fxx2/xx8, 12 the 18Fx220/x320,
// 13 the 18F2xxx/4xxx. Byte-addressed memories, 4-bit commands with 16-bit
// operands.
inline bool pic18Core(const DeviceRecord& d) {
    return d.family >= 11 && d.family <= 13;
}

// 12-bit EPROM parts (PIC12C5xx): no electrical erase, short program pulses
// with overprogramming.
inline bool epromChip(const DeviceRecord& d) {
    return d.family == 8;
}

// 12-bit flash parts: bulk erase, one 2 ms program cycle per word.
inline bool flash12Bit(const DeviceRecord& d) {
    return d.family == 9;
}

// The chips that enter programming mode best with Vpp before VDD: the
// 12F629 family and 16F627A family want it (DS41191D 2.3, DS41196G 2.4), the
// later ones of their algorithms need it when the program runs on the
// internal oscillator with MCLR as input (DS41204G, DS41244E, DS41284C,
// DS41287C). A wiring that switches VDD raises Vpp first for them.
inline bool vppBeforeVdd(const DeviceRecord& d) {
    return d.family == 4 || d.family == 5 || d.family == 10;
}

// The chips that write their four ID words as one row (families 6 and 7):
// a hex file must carry them in one record.
inline bool idsInOneRecord(const DeviceRecord& d) {
    return d.family == 6 || d.family == 7;
}

// The configuration bits compared after a write and taken as erased: the
// listed mask, else every bit of the word (12 on the 12-bit core, 14 on the
// others). Only the list says which bits a chip implements, never its name.
inline int configMaskOf(const DeviceRecord& d) {
    const int word = twelveBitCore(d) ? 0x0FFF : 0x3FFF;
    return d.configMask >= 0 ? d.configMask & word : word;
}

// Whether the chip's calibration word at `address` (0x2008 or 0x2009) is kept.
inline bool keepsCalibrationAt(const DeviceRecord& d, int address) {
    const int bit = address - kCalibrationWordBase;
    return bit >= 0 && bit < 2 && ((d.calibrationWords >> bit) & 1) != 0;
}

// A chip whose programming voltage limit is below what the boards supply.
inline bool vppAboveLimit(const DeviceRecord& d) {
    return d.vppLimitTenths > 0 && d.vppLimitTenths < kBoardVppTenths;
}

}  // namespace ferrolux
