#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolux::platform {

// FT232R / FT231X bit-bang pins.
inline constexpr std::uint8_t kFtdiTxd = 0x01;  // D0
inline constexpr std::uint8_t kFtdiRxd = 0x02;  // D1
inline constexpr std::uint8_t kFtdiRts = 0x04;  // D2
inline constexpr std::uint8_t kFtdiCts = 0x08;  // D3
inline constexpr std::uint8_t kFtdiDtr = 0x10;  // D4
inline constexpr std::uint8_t kFtdiDsr = 0x20;  // D5
inline constexpr std::uint8_t kFtdiDcd = 0x40;  // D6
inline constexpr std::uint8_t kFtdiRi = 0x80;   // D7

// A serial line on a bit-bang pin. `inverted`: the line is set (asserted, or
// in the break state for TXD) while the pin is low, as behind an RS-232
// level shifter.
struct FtdiPin {
    std::uint8_t mask = 0;
    bool inverted = false;
    bool operator==(const FtdiPin&) const = default;
};

// Where the serial board's lines sit on the adapter's pins.
struct FtdiWiring {
    FtdiPin rts, dtr, txd, cts, ring;
    std::uint8_t outputs() const { return rts.mask | dtr.mask | txd.mask; }
    bool operator==(const FtdiWiring&) const = default;
};

// The serial board on an FT232R behind an inverting level shifter: RTS is
// the clock, DTR the data out, TXD (break) Vpp, CTS the data in, RING the
// presence loop-back.
inline constexpr FtdiWiring kBoardOnFtdi{
    {kFtdiRts, true}, {kFtdiDtr, true}, {kFtdiTxd, true}, {kFtdiCts, true}, {kFtdiRi, true}};

struct FtdiAdapterInfo {
    std::string serial;       // the adapter's serial number, may be empty
    std::string description;  // its product text
};

// One adapter opened for synchronous bit-bang: every byte written drives the
// output pins for one byte period, and the pins are read back once per byte,
// just before the byte's output takes effect.
class FtdiDevice {
  public:
    virtual ~FtdiDevice() = default;
    // Synchronous bit-bang with these pins as outputs.
    virtual bool setSyncBitBang(std::uint8_t outputMask) = 0;
    // Bytes clocked out per second.
    virtual bool setByteRate(int bytesPerSecond) = 0;
    // Writes `out` and reads exactly out.size() bytes back into `in`.
    virtual bool transfer(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) = 0;
    // Drops what the adapter's buffers hold.
    virtual bool purge() = 0;
    // Why the last call failed; empty when none did.
    virtual std::string lastError() const = 0;
};

// Finds and opens adapters.
class FtdiOpener {
  public:
    virtual ~FtdiOpener() = default;
    // The adapter with this serial number; "" opens the first one found.
    virtual std::unique_ptr<FtdiDevice> open(const std::string& serial) = 0;
    virtual std::vector<FtdiAdapterInfo> list() = 0;
    virtual std::string lastError() const = 0;
};

// Port names of adapters: "ftdi" is the first one, "ftdi:SERIAL" a given one.
inline bool isFtdiPortName(std::string_view name) {
    return name == "ftdi" || name.starts_with("ftdi:");
}
inline std::string ftdiSerialOf(std::string_view name) {
    return name.size() > 5 ? std::string(name.substr(5)) : std::string();
}

}  // namespace ferrolux::platform
