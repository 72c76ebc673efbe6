#include "cli/production.h"

#include <ctime>

#include "platform/files.h"
#include "session/messages.h"

namespace ferrolux::cli {

bool parseProduction(const ProductionArgs& a, ProductionOptions& out, std::string& error) {
    out = ProductionOptions{};
    if (!a.at.empty()) {
        out.at = parseSerialLocation(a.at, error);
        if (!out.at) return false;
    }
    if (!a.format.empty()) {
        const auto f = parseSerialFormat(a.format, error);
        if (!f) return false;
        out.format = *f;
    }
    if (!a.step.empty()) {
        const auto step = parseSerialNumber(a.step);
        if (!step || *step == 0) {
            error = "--serial-step is a number above 0, not '" + a.step + "'";
            return false;
        }
        out.step = *step;
    }
    if (a.serial.empty() != !out.at) {
        error = a.serial.empty() ? "--serial-at needs --serial START (or --serial next)"
                                 : "--serial needs --serial-at (eeprom:ADDR:LEN, code:ADDR:LEN "
                                   "or ids)";
        return false;
    }
    if (a.serial.empty() && (!a.format.empty() || !a.step.empty())) {
        error = "--serial-format and --serial-step need --serial";
        return false;
    }
    if (!a.serial.empty() && a.serial != "next") {
        out.start = parseSerialNumber(a.serial);
        if (!out.start) {
            error =
                "--serial is next or a number (decimal, or hex with 0x), not '" + a.serial + "'";
            return false;
        }
    }
    if (a.serial == "next" && a.log.empty()) {
        error = "--serial next continues from the log: give it with --log FILE.csv";
        return false;
    }
    if (!a.log.empty()) out.log = platform::pathFromUtf8(a.log);
    return true;
}

Production::Production(ProductionOptions o, std::string file, std::string fileSha256)
    : options_(std::move(o)), file_(std::move(file)), sha_(std::move(fileSha256)) {
    if (!options_.log.empty()) log_ = std::make_unique<ProductionLog>(options_.log);
}

bool Production::placeFits(const DeviceRecord& d, std::string& error) const {
    return !serializes() || serialPlaceFits(d, *options_.at, options_.format, error);
}

std::optional<std::uint64_t> Production::givenBefore(std::string& why) {
    if (!log_ || !options_.start || started_) return std::nullopt;
    const auto highest = log_->highestGiven(why);
    if (highest && *highest >= *options_.start) return highest;
    return std::nullopt;
}

bool Production::serialize(const DeviceRecord& d, ChipImage& image, std::string& error) {
    current_.reset();
    if (!serializes()) return true;
    const SerialLocation where = *options_.at;
    const SerialFormat format = options_.format;
    ChipImage serialized;
    const auto fits = [&](std::uint64_t value, std::string& why) {
        serialized = image;
        return applySerial(d, where, format, value, serialized, why);
    };
    // After the first chip of this run: the number after the last one given.
    std::optional<std::uint64_t> start = started_ ? std::nullopt : options_.start;
    Reservation r;
    if (log_) {
        if (!log_->reserve(start, options_.step, fits, r, error)) return false;
    } else {
        r.previous = last_;
        r.value = start ? *start : *last_ + options_.step;
        if (!start && *last_ > UINT64_MAX - options_.step) {
            error = "the serial numbers have run out";
            return false;
        }
        if (!fits(r.value, error)) return false;
    }
    image = serialized;
    current_ = r;
    started_ = true;
    if (!first_) first_ = r.value;
    last_ = r.value;
    return true;
}

std::string Production::serialShown() const {
    return current_ ? serialText(current_->value, options_.format) : std::string();
}

void Production::cancel() {
    std::string why;
    if (current_) giveBack(why);
    current_.reset();
}

bool Production::giveBack(std::string& why) {
    bool ok = true;
    if (log_) ok = log_->release(*current_, why);
    // This run's first number given back: the next chip takes START again.
    if (first_ == current_->value) {
        first_.reset();
        started_ = false;
    }
    last_ = started_ ? current_->previous : std::nullopt;
    return ok;
}

bool Production::record(ChipResult result, const ChipFacts& facts, std::string& why) {
    bool ok = true;
    // A chip that never reached programming gives its number back.
    if (current_ && !serialTaken(result)) {
        ok = giveBack(why);
    }
    if (log_) {
        LogEntry e;
        e.time = isoTime(std::time(nullptr));
        e.chip = facts.chip;
        if (facts.deviceId >= 0) {
            e.deviceId =
                formatText("%04X", static_cast<unsigned>(facts.deviceId & ~facts.revisionMask));
            e.revision =
                formatText("%02X", static_cast<unsigned>(facts.deviceId & facts.revisionMask));
        }
        e.file = file_;
        e.fileSha256 = sha_;
        if (facts.checksum >= 0)
            e.checksum = formatText("%04X", static_cast<unsigned>(facts.checksum));
        if (serialTaken(result)) e.serial = serialShown();
        e.result = result;
        e.seconds = facts.seconds;
        e.port = facts.port;
        std::string failed;
        if (!log_->append(e, failed)) {
            why = failed;
            ok = false;
        }
    }
    current_.reset();
    return ok;
}

}  // namespace ferrolux::cli
