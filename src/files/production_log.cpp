#include "files/production_log.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "files/serial_number.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "session/messages.h"

namespace ferrolux {

namespace {

constexpr std::chrono::milliseconds kLockPoll{10};

std::string quoted(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string q = "\"";
    for (char c : field) {
        if (c == '"') q += '"';
        q += c;
    }
    q += '"';
    return q;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

long long secondsOf(const std::tm& t) {
    return daysFromCivil(t.tm_year + 1900LL, static_cast<unsigned>(t.tm_mon + 1),
                         static_cast<unsigned>(t.tm_mday)) *
               86400 +
           t.tm_hour * 3600LL + t.tm_min * 60LL + t.tm_sec;
}

std::optional<std::string> readWhole(const std::filesystem::path& file, std::string& why) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::string();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        why = "cannot read " + platform::utf8Of(file);
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

const char* resultName(ChipResult r) {
    switch (r) {
        case ChipResult::ok:
            return "ok";
        case ChipResult::verifyFailed:
            return "verify-failed";
        case ChipResult::writeFailed:
            return "write-failed";
        case ChipResult::noChip:
            return "no-chip";
    }
    return "no-chip";
}

std::string logLine(const LogEntry& e) {
    const std::string fields[] = {
        e.time,       e.chip,     e.deviceId, e.revision,           e.file,
        e.fileSha256, e.checksum, e.serial,   resultName(e.result), formatText("%.1f", e.seconds),
        e.port};
    std::string line;
    for (const std::string& f : fields) {
        if (!line.empty() || &f != &fields[0]) line += ',';
        line += quoted(f);
    }
    line += "\r\n";
    return line;
}

std::vector<std::string> csvFields(std::string_view line) {
    std::vector<std::string> fields(1);
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r' && c != '\n') {
            fields.back() += c;
        }
    }
    return fields;
}

std::string isoTime(std::time_t t) {
    std::tm local{}, utc{};
#if defined(_WIN32)
    localtime_s(&local, &t);
    gmtime_s(&utc, &t);
#else
    localtime_r(&t, &local);
    gmtime_r(&t, &utc);
#endif
    const long long offset = (secondsOf(local) - secondsOf(utc)) / 60;
    const long long minutes = offset < 0 ? -offset : offset;
    return formatText("%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                      offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

ProductionLog::ProductionLog(std::filesystem::path csv) : csv_(std::move(csv)) {
    lock_ = csv_;
    lock_ += ".lock";
    reserved_ = csv_;
    reserved_ += ".serial";
}

template <class Op>
bool ProductionLog::locked(Op op, std::string& why) {
    platform::ExclusiveLock lock;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        const auto r = lock.tryLock(lock_, why);
        if (r == platform::ExclusiveLock::Result::locked) break;
        if (r == platform::ExclusiveLock::Result::failed) return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            why = "the production log is held by another run (" + platform::utf8Of(lock_) + ")";
            return false;
        }
        std::this_thread::sleep_for(kLockPoll);
    }
    return op();
}

bool ProductionLog::append(const LogEntry& e, std::string& why) {
    return locked(
        [&] {
            std::error_code ec;
            const bool fresh =
                !std::filesystem::exists(csv_, ec) || std::filesystem::file_size(csv_, ec) == 0;
            std::string text;
            if (fresh) {
                text = kLogHeader;
                text += "\r\n";
            }
            text += logLine(e);
            return platform::appendToFile(csv_, text, why);
        },
        why);
}

std::optional<std::uint64_t> ProductionLog::highestUnlocked(std::string& why) {
    std::optional<std::uint64_t> highest;
    const auto take = [&](std::uint64_t v) {
        if (!highest || v > *highest) highest = v;
    };
    const auto log = readWhole(csv_, why);
    if (!log) return std::nullopt;
    std::size_t start = 0;
    while (start < log->size()) {
        std::size_t end = log->find('\n', start);
        if (end == std::string::npos) end = log->size();
        const std::vector<std::string> f =
            csvFields(std::string_view(*log).substr(start, end - start));
        start = end + 1;
        // Lines that are not whole (or the header) say nothing.
        if (f.size() != 11 || f[8] == "result") continue;
        const bool taken = f[8] == "ok" || f[8] == "verify-failed" || f[8] == "write-failed";
        if (const auto v = parseSerialNumber(f[7]); taken && v) take(*v);
    }
    const auto reserved = readWhole(reserved_, why);
    if (!reserved) return std::nullopt;
    std::string text = *reserved;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (const auto v = parseSerialNumber(text)) take(*v);
    return highest;
}

std::optional<std::uint64_t> ProductionLog::highestGiven(std::string& why) {
    std::optional<std::uint64_t> highest;
    why.clear();
    locked(
        [&] {
            highest = highestUnlocked(why);
            return why.empty();
        },
        why);
    return highest;
}

bool ProductionLog::writeReserved(std::optional<std::uint64_t> value, std::string& why) {
    std::error_code ec;
    if (!value) {
        std::filesystem::remove(reserved_, ec);
        return true;
    }
    platform::FileReplacement file(reserved_);
    if (file.commit(formatText("0x%llX\r\n", static_cast<unsigned long long>(*value)))) return true;
    why = file.error();
    return false;
}

bool ProductionLog::reserve(std::optional<std::uint64_t> start, std::uint64_t step,
                            const std::function<bool(std::uint64_t, std::string&)>& fits,
                            Reservation& out, std::string& why) {
    return locked(
        [&] {
            why.clear();
            const std::optional<std::uint64_t> highest = highestUnlocked(why);
            if (!why.empty()) return false;
            std::uint64_t value = 0;
            if (start) {
                value = *start;
            } else if (!highest) {
                why = "--serial next: " + platform::utf8Of(csv_) +
                      " has no serial number yet; give the first with --serial START";
                return false;
            } else {
                if (*highest > UINT64_MAX - step) {
                    why = "--serial next: the serial numbers have run out";
                    return false;
                }
                value = *highest + step;
            }
            if (!fits(value, why)) return false;
            out.value = value;
            out.previous = highest;
            if (highest && *highest >= value) return true;  // a number given again on purpose
            return writeReserved(value, why);
        },
        why);
}

bool ProductionLog::release(const Reservation& r, std::string& why) {
    return locked(
        [&] {
            const auto reserved = readWhole(reserved_, why);
            if (!reserved) return false;
            std::string text = *reserved;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            // Only while it is still the highest: a later number stays given.
            if (parseSerialNumber(text) != std::optional<std::uint64_t>(r.value)) return true;
            return writeReserved(r.previous, why);
        },
        why);
}

}  // namespace ferrolux
