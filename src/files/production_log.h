#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolux {

// How one chip of a production run ended.
enum class ChipResult { ok, verifyFailed, writeFailed, noChip };
const char* resultName(ChipResult r);
// Whether a chip with this result took its serial number: programming started.
inline bool serialTaken(ChipResult r) {
    return r != ChipResult::noChip;
}

// One line of the production log.
struct LogEntry {
    std::string time;      // ISO 8601 with the UTC offset
    std::string chip;      // the selected chip
    std::string deviceId;  // the ID read without revision bits, 4 hex digits; "" none
    std::string revision;  // the revision bits, 2 hex digits; "" none
    std::string file;
    std::string fileSha256;
    std::string checksum;  // 4 hex digits, as the report shows it; "" none
    std::string serial;    // as serialText gives it; "" none
    ChipResult result = ChipResult::ok;
    double seconds = 0;
    std::string port;
};

inline constexpr const char* kLogHeader =
    "time,chip,device_id,revision,file,file_sha256,checksum,serial,result,seconds,port";

// The entry as a CSV line ending in CR LF; fields with a comma, quote or
// line end are quoted.
std::string logLine(const LogEntry& e);
// The fields of one CSV line (quotes undone).
std::vector<std::string> csvFields(std::string_view line);
// `t` in local time, as 2026-12-07T22:15:03+01:00.
std::string isoTime(std::time_t t);

// A serial number handed out and not yet settled: `previous` is the highest
// one given before it (nullopt: none).
struct Reservation {
    std::uint64_t value = 0;
    std::optional<std::uint64_t> previous;
};

// The production log FILE.csv and the two files beside it: FILE.csv.lock,
// which every run holds while it reads or changes the log, and
// FILE.csv.serial, the highest serial number handed out. A number is
// reserved there before the chip is touched, so one that a run took and
// never logged (it ended between programming and logging) is never given
// again; a logged line settles it.
class ProductionLog {
  public:
    explicit ProductionLog(std::filesystem::path csv);
    const std::filesystem::path& path() const { return csv_; }

    // Appends `e` as one line, the header first when the file is new or
    // empty (decided under the lock). False with `why` filled.
    bool append(const LogEntry& e, std::string& why);

    // The highest serial taken so far: logged with a result that took it, or
    // reserved. nullopt (why empty) when there is none; nullopt with `why`
    // filled when the files cannot be read.
    std::optional<std::uint64_t> highestGiven(std::string& why);

    // Reserves `start`, or without it the highest given plus `step`, once
    // `fits` accepts it (false with its error: nothing is reserved).
    bool reserve(std::optional<std::uint64_t> start, std::uint64_t step,
                 const std::function<bool(std::uint64_t, std::string&)>& fits, Reservation& out,
                 std::string& why);
    // Gives the number back (the chip never reached programming): the next
    // run takes it again, unless a later one was handed out meanwhile.
    bool release(const Reservation& r, std::string& why);

    // How long a run waits for another to let the log go.
    static constexpr std::chrono::milliseconds kPatience{10000};

  private:
    template <class Op>
    bool locked(Op op, std::string& why);
    std::optional<std::uint64_t> highestUnlocked(std::string& why);
    bool writeReserved(std::optional<std::uint64_t> value, std::string& why);

    std::filesystem::path csv_;
    std::filesystem::path lock_;
    std::filesystem::path reserved_;
};

}  // namespace ferrolux
