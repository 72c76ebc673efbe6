#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "files/hex_image.h"
#include "files/production_log.h"
#include "files/serial_number.h"
#include "session/device_record.h"

namespace ferrolux::cli {

// The production options of write and batch, as given.
struct ProductionArgs {
    std::string serial;  // START or "next"
    std::string at;      // --serial-at
    std::string format;  // --serial-format
    std::string step;    // --serial-step
    std::string log;     // --log FILE.csv
    bool any() const {
        return !serial.empty() || !at.empty() || !format.empty() || !step.empty() || !log.empty();
    }
};

// The options checked: where and how a serial number goes, where it starts,
// and the log.
struct ProductionOptions {
    std::optional<SerialLocation> at;  // no serial without it
    SerialFormat format = SerialFormat::binary;
    std::optional<std::uint64_t> start;  // nullopt: next from the log
    std::uint64_t step = 1;
    std::filesystem::path log;  // empty: no log
};

// False with `error` filled when the options do not go together.
bool parseProduction(const ProductionArgs& a, ProductionOptions& out, std::string& error);

// What the log says of one chip besides its result.
struct ChipFacts {
    std::string chip;
    int deviceId = -1;  // as read, revision bits included; -1 none
    int revisionMask = 0;
    int checksum = -1;  // -1 none
    double seconds = 0;
    std::string port;
};

// One production run: serial numbers handed to chip after chip, and the
// log's lines. The first chip takes START (or the log's next), each later
// one the next after the last given.
class Production {
  public:
    Production(ProductionOptions o, std::string file, std::string fileSha256);

    bool serializes() const { return options_.at.has_value(); }
    bool logs() const { return log_ != nullptr; }
    const ProductionOptions& options() const { return options_; }

    // Whether the serial's place lies in chip `d` (before any number is taken).
    bool placeFits(const DeviceRecord& d, std::string& error) const;
    // Takes the next number (reserved beside the log) and puts it into
    // `image`; false with `error` filled, nothing taken, when it does not fit.
    bool serialize(const DeviceRecord& d, ChipImage& image, std::string& error);
    // The serial of the chip being written, as logged; "" none.
    std::string serialShown() const;
    // The serial number the log says was given last, before START: set when
    // START was given already.
    std::optional<std::uint64_t> givenBefore(std::string& why);

    // Logs the chip, and settles its number: kept when programming started,
    // given back otherwise. False with `why` filled when the log failed.
    bool record(ChipResult result, const ChipFacts& facts, std::string& why);

    // Gives the chip's number back without a log line (the user declined
    // before anything was written).
    void cancel();

    // The serials taken in this run, first and last.
    std::optional<std::uint64_t> first() const { return first_; }
    std::optional<std::uint64_t> last() const { return last_; }

  private:
    bool giveBack(std::string& why);

    ProductionOptions options_;
    std::string file_, sha_;
    std::unique_ptr<ProductionLog> log_;
    std::optional<Reservation> current_;
    std::optional<std::uint64_t> first_, last_;
    bool started_ = false;  // a number was given in this run: the next follows it
};

}  // namespace ferrolux::cli
