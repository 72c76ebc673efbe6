#include "platform/linux/ftdi_libftdi.h"

#include <ftdi.h>

#include <algorithm>
#include <cstdint>

namespace ferrolux::platform {

namespace {

// Bytes written before their read-back is collected: what the FT232R's
// transmit buffer holds, so its receive buffer never overflows.
constexpr int kChunk = 128;

struct ContextFree {
    void operator()(ftdi_context* c) const { ftdi_free(c); }
};
using Context = std::unique_ptr<ftdi_context, ContextFree>;

struct ListFree {
    void operator()(ftdi_device_list* l) const { ftdi_list_free2(l); }
};

class LibFtdiDevice final : public FtdiDevice {
  public:
    explicit LibFtdiDevice(Context context) : c_(std::move(context)) {}
    ~LibFtdiDevice() override {
        (void)ftdi_set_bitmode(c_.get(), 0, BITMODE_RESET);
        (void)ftdi_usb_close(c_.get());
    }

    bool setSyncBitBang(std::uint8_t outputMask) override {
        return check(ftdi_set_bitmode(c_.get(), outputMask, BITMODE_SYNCBB));
    }
    // libftdi multiplies the rate by 4 in bit-bang mode and the R-type chips
    // clock bit-bang bytes at 16 times their baud rate: a 64th is never
    // faster than asked. Where the adapter is slower, bits only last longer.
    bool setByteRate(int bytesPerSecond) override {
        return check(ftdi_set_baudrate(c_.get(), std::max(1, bytesPerSecond / 64))) &&
               check(ftdi_set_latency_timer(c_.get(), 1));
    }
    // Written in chunks the adapter can hold; every byte written in sync mode
    // makes one byte to read, so each chunk is read back before the next.
    bool transfer(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) override {
        if (in.size() < out.size()) {
            error_ = "read-back buffer too small";
            return false;
        }
        std::size_t done = 0;
        while (done < out.size()) {
            const int n = static_cast<int>(std::min<std::size_t>(kChunk, out.size() - done));
            const int written = ftdi_write_data(c_.get(), out.data() + done, n);
            if (written != n) return failed(written, "short write");
            int got = 0;
            for (int tries = 0; got < n && tries < 100; ++tries) {
                const int r = ftdi_read_data(c_.get(), in.data() + done + got, n - got);
                if (r < 0) return failed(r, "read");
                got += r;
            }
            if (got != n) {
                error_ = "short read: " + std::to_string(done + static_cast<std::size_t>(got)) +
                         " of " + std::to_string(out.size()) + " bytes came back";
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool purge() override { return check(ftdi_tcioflush(c_.get())); }
    std::string lastError() const override { return error_; }

  private:
    bool check(int result) {
        if (result >= 0) return true;
        error_ = ftdi_get_error_string(c_.get());
        return false;
    }
    bool failed(int result, const char* what) {
        error_ = std::string(what) + ": " +
                 (result < 0 ? ftdi_get_error_string(c_.get()) : "too few bytes");
        return false;
    }

    Context c_;
    std::string error_;
};

}  // namespace

std::vector<FtdiAdapterInfo> LibFtdiOpener::list() {
    std::vector<FtdiAdapterInfo> found;
    Context c(ftdi_new());
    if (!c) {
        error_ = "libftdi cannot start";
        return found;
    }
    ftdi_device_list* devices = nullptr;
    if (ftdi_usb_find_all(c.get(), &devices, 0, 0) < 0) {
        error_ = ftdi_get_error_string(c.get());
        return found;
    }
    std::unique_ptr<ftdi_device_list, ListFree> hold(devices);
    for (ftdi_device_list* d = devices; d != nullptr; d = d->next) {
        char description[128] = {};
        char serial[64] = {};
        if (ftdi_usb_get_strings(c.get(), d->dev, nullptr, 0, description, sizeof description,
                                 serial, sizeof serial) < 0) {
            // Without access to the device its strings stay unknown.
            found.push_back({"", "FTDI adapter (no access)"});
            continue;
        }
        found.push_back({serial, description});
    }
    return found;
}

std::unique_ptr<FtdiDevice> LibFtdiOpener::open(const std::string& serial) {
    error_.clear();
    Context c(ftdi_new());
    if (!c) {
        error_ = "libftdi cannot start";
        return nullptr;
    }
    ftdi_device_list* devices = nullptr;
    if (ftdi_usb_find_all(c.get(), &devices, 0, 0) < 0) {
        error_ = ftdi_get_error_string(c.get());
        return nullptr;
    }
    std::unique_ptr<ftdi_device_list, ListFree> hold(devices);
    for (ftdi_device_list* d = devices; d != nullptr; d = d->next) {
        if (!serial.empty()) {
            char found[64] = {};
            if (ftdi_usb_get_strings(c.get(), d->dev, nullptr, 0, nullptr, 0, found, sizeof found) <
                    0 ||
                serial != found) {
                continue;
            }
        }
        if (ftdi_usb_open_dev(c.get(), d->dev) < 0) {
            error_ = ftdi_get_error_string(c.get());
            return nullptr;
        }
        return std::make_unique<LibFtdiDevice>(std::move(c));
    }
    error_ =
        serial.empty() ? "no FTDI adapter found" : "no FTDI adapter with serial number " + serial;
    return nullptr;
}

}  // namespace ferrolux::platform
