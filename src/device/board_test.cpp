#include "device/board_test.h"

#include <vector>

#include "device/check_link.h"
#include "device/family.h"
#include "link/delays.h"
#include "link/detect.h"
#include "link/icsp.h"
#include "link/line_driver.h"
#include "link/serial_lines.h"
#include "session/session.h"

namespace ferrolux {

namespace {

// The lines of the selected board or adapter by the names its user knows.
struct LineNames {
    std::string board;  // "the board", "the AN589 adapter"
    std::string dataOut, dataIn, clock, vpp;
};

LineNames namesOf(const Session& s) {
    if (s.link.serial) return {"the board", "DTR", "CTS", "RTS", "break"};
    const std::string vpp = s.link.adapter == '1' ? "D3" : s.link.vppLine == '4' ? "D4" : "D3";
    return {s.link.adapter == '1' ? "the AN589 adapter" : "the P16PRO adapter", "D0", "ACK", "D1",
            vpp};
}

bool stopRequested(const Session& s) {
    return s.stopRequest != nullptr && *s.stopRequest != 0;
}

// The message's lines as one.
std::string oneLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

class Tester {
  public:
    explicit Tester(Session& s) : s_(s), names_(namesOf(s)), port_(s.link.portName) {}

    BoardTest run() {
        if (s_.beforeLinkCheck) s_.beforeLinkCheck(s_);
        useFamilyTimings(s_);
        const bool going = portOpens() && !stopRequested(s_) &&
                           (!s_.link.serial || boardAnswers()) && !stopRequested(s_) &&
                           dataFollows() && !stopRequested(s_);
        if (going) {
            add("clock (" + names_.clock + ") and Vpp (" + names_.vpp + ")", CheckOutcome::unseen,
                names_.board +
                    " gives no way to see them; the chip check shows whether they "
                    "reach the chip");
            chipAnswers();
        }
        if (stopRequested(s_))
            add("stopped", CheckOutcome::unseen, "the checks after it did not run");
        if (usable_) sendIcsp(s_, LEAVE_PGM, 0);
        return std::move(test_);
    }

  private:
    void add(std::string what, CheckOutcome outcome, std::string advice = {}) {
        test_.checks.push_back({std::move(what), outcome, std::move(advice)});
    }

    bool portOpens() {
        const std::string what = "port " + port_ + " opens";
        if (!s_.link.serial) {
            if (!s_.port.directIo && !s_.port.driverUsable) {
                add(what, CheckOutcome::failed,
                    "no access to the parallel ports: load ppdev and join the group lp "
                    "(on Windows: DLPORTIO.dll or inpoutx64.dll beside the program)");
                return false;
            }
            usable_ = true;
            add(what, CheckOutcome::ok);
            return true;
        }
        // Opens the port and runs the board detection; the checks below tell more.
        (void)openComPort(s_);
        if (!s_.port.comOpen() || portFailed(s_)) {
            std::string why = oneLine(s_.message);
            if (why.rfind("COM-Init-Error! ", 0) == 0) why.erase(0, 16);
            add(what, CheckOutcome::failed,
                why.empty() ? "is the adapter plugged in and the name right?" : why);
            return false;
        }
        usable_ = true;
        add(what, CheckOutcome::ok);
        return true;
    }

    // The serial board loops break back to RING; break also switches Vpp
    // off, so it is set again last.
    bool boardAnswers() {
        const auto ring = [this](platform::LineCode code) {
            (void)s_.port.comHandle->escape(code);
            waitMs(s_, 50);
            return (readModemStatus(s_) & platform::kModemRing) != 0;
        };
        const bool on = ring(platform::LineCode::setBreak);
        const bool off = !ring(platform::LineCode::clrBreak);
        (void)ring(platform::LineCode::setBreak);
        const std::string what = "the board answers on " + port_ + " (break looped back to RING)";
        if (portFailed(s_)) {
            add(what, CheckOutcome::failed,
                "the port failed: " + oneLine(s_.port.comHandle->lostReason()));
            return false;
        }
        if (!on) {
            add(what, CheckOutcome::failed,
                "no answer on RING: is the board powered and the cable in " + port_ + "?");
            return false;
        }
        if (!off) {
            add(what, CheckOutcome::failed,
                "RING stays on without break: is another device on " + port_ +
                    ", or RING shorted on the board?");
            return false;
        }
        s_.link.lineSense = 1;  // as the board detection leaves it
        add(what, CheckOutcome::ok);
        return true;
    }

    // With Vpp off no chip drives the data line: it reads what the host puts
    // on it, and the pull-up once released.
    bool dataFollows() {
        const auto driver = driverFor(s_);
        const DataOut steps[] = {DataOut::low, DataOut::high, DataOut::released};
        for (const DataOut out : steps) {
            driver->put(IcspLines{false, out, false});
            driver->delay(driver->timing().low);
            driver->sample();
        }
        const std::vector<bool> in = driver->collectAll();
        driver->finish();
        const std::string loop = names_.dataIn + " follows " + names_.dataOut;
        const std::string what =
            s_.link.serial ? "data-in (" + names_.dataIn + ") follows data-out (" + names_.dataOut +
                                 "), Vpp off"
                           : names_.board + " answers on " + port_ + " (" + names_.dataOut +
                                 " looped back to " + names_.dataIn + ")";
        if (linesLost(s_) || in.size() != 3) {
            add(what, CheckOutcome::failed, "the port failed: " + oneLine(s_.message));
            return false;
        }
        if (!in[0] && in[1] && in[2]) {
            add(what, CheckOutcome::ok);
            return true;
        }
        const bool high = in[0] && in[1] && in[2];
        const bool low = !in[0] && !in[1] && !in[2];
        // A parallel port with nothing behind it reads ACK high; through
        // inverting buffers low.
        const bool floatingHigh = s_.link.adapter != '3';
        std::string advice;
        if (!s_.link.serial && (floatingHigh ? high : low)) {
            advice = "no answer on " + names_.dataIn + " (pin 10): is " + names_.board +
                     " powered and plugged into " + port_ + "? (a data line stuck " +
                     (floatingHigh ? "high" : "low") + " reads the same)";
        } else if (high) {
            advice = "data-in (" + names_.dataIn + ") stays high while " + names_.dataOut +
                     " pulls the data line low: is the data line shorted to +5 V, or " +
                     names_.dataOut + "'s driver broken?";
        } else if (!in[1] && !in[2]) {
            advice = "data-in (" + names_.dataIn +
                     ") stays low with the data line high or released: is it shorted to ground?";
        } else {
            advice = names_.dataIn + " does not follow " + names_.dataOut +
                     ": look at the data line's driver and pull-up";
        }
        add(what, CheckOutcome::failed, advice);
        return false;
    }

    void chipAnswers() {
        const std::string what = "a chip answers with its device ID";
        if (s_.device.name.empty()) {
            add(what, CheckOutcome::unseen, "no chip is selected: select the chip in the socket");
            return;
        }
        if (s_.device.deviceIdFlag != 'Y' || algorithmOf(s_.device).twelveBit) {
            add(what, CheckOutcome::unseen,
                s_.device.name +
                    " has no device ID, so the chip cannot be checked here: to check the clock "
                    "and Vpp lines put in a chip that has one and select it, or read this chip "
                    "and compare what comes back with what it should hold");
            return;
        }
        const int r = readDeviceId(s_);
        sendIcsp(s_, LEAVE_PGM, 0);
        if (linesLost(s_)) {
            add(what, CheckOutcome::failed, "the port or board stopped answering");
            return;
        }
        if (r != 1) {
            add(what, CheckOutcome::failed,
                "none answers: is a " + s_.device.name +
                    " in the socket, pin 1 where the board marks it? If it is, look at the "
                    "clock (" +
                    names_.clock + ") and Vpp (" + names_.vpp + ") lines to it");
            return;
        }
        std::string found = "a chip answers: DEV-ID " + deviceIdText(s_, s_.pass.deviceIdRead);
        if (otherChipOnBoard(s_).other) found += " (not the selected " + s_.device.name + ")";
        add(found, CheckOutcome::ok);
    }

    Session& s_;
    LineNames names_;
    std::string port_;
    bool usable_ = false;  // frames may be sent: the port opened
    BoardTest test_;
};

}  // namespace

bool BoardTest::passed() const {
    for (const BoardCheck& c : checks)
        if (c.outcome == CheckOutcome::failed) return false;
    return true;
}

std::string BoardTest::text() const {
    std::string text;
    for (const BoardCheck& c : checks) {
        text += c.outcome == CheckOutcome::ok       ? "ok    "
                : c.outcome == CheckOutcome::failed ? "FAIL  "
                                                    : "--    ";
        text += c.what;
        if (!c.advice.empty()) {
            text += ": ";
            text += c.advice;
        }
        text += '\n';
    }
    return text;
}

BoardTest testBoard(Session& s) {
    return Tester(s).run();
}

}  // namespace ferrolux
