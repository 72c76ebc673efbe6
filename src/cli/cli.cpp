#include "cli/cli.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <istream>
#include <ostream>
#include <set>

#include "app/host.h"
#include "cli/console_window.h"
#include "device/check_link.h"
#include "device/messages.h"
#include "files/hex_input.h"
#include "link/icsp.h"
#include "ui/config_dialog.h"
#include "ui/control_ids.h"
#include "ui/data_window.h"

namespace ferrolux::cli {

namespace {

struct Args {
    std::string dir;
    std::string port;
    std::string chip;
    std::string speed;
    std::string adapter;
    std::string vpp;
    bool lvp = false;
    bool yes = false;
    bool quiet = false;
    bool help = false;
    std::set<std::string> flags;  // the command's check-box options
    std::string command;
    std::vector<std::string> operands;
};

struct UsageError {
    std::string text;
};

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A hex number (an "0x" prefix allowed) no larger than `largest`; -1 when not.
int parseHex(const std::string& text, int largest) {
    std::string t = text;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty()) return -1;
    int v = 0;
    for (char c : t) {
        const int d = hexDigitValue(c);
        if (d < 0) return -1;
        v = v * 16 + d;
        if (v > largest) return -1;
    }
    return v;
}

constexpr int kConfigLargest = 0x3FFF;
constexpr int kConfigLargest12Bit = 0xFFF;
constexpr int kIdLargest = 0xF;  // the window's ID fields hold one hex digit
constexpr int kOffsetLargest = 0xFFFF;
constexpr int kByteLargest = 0xFF;

bool parse(const std::vector<std::string>& args, Args& a, std::string& error) {
    static const std::set<std::string> commandFlags = {"--no-code",  "--no-data", "--no-config",
                                                       "--no-erase", "--data",    "--text"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasValue = true;
            }
        }
        auto takeValue = [&](std::string& into) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + arg + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            into = value;
            return true;
        };
        if (arg == "-C" || arg == "--dir") {
            if (!takeValue(a.dir)) return false;
        } else if (arg == "-p" || arg == "--port") {
            if (!takeValue(a.port)) return false;
        } else if (arg == "-c" || arg == "--chip") {
            if (!takeValue(a.chip)) return false;
        } else if (arg == "-s" || arg == "--speed") {
            if (!takeValue(a.speed)) return false;
        } else if (arg == "--adapter") {
            if (!takeValue(a.adapter)) return false;
        } else if (arg == "--vpp") {
            if (!takeValue(a.vpp)) return false;
        } else if (arg == "--lvp") {
            a.lvp = true;
        } else if (arg == "-y" || arg == "--yes") {
            a.yes = true;
        } else if (arg == "-q" || arg == "--quiet") {
            a.quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            a.help = true;
        } else if (commandFlags.count(arg) != 0) {
            a.flags.insert(arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (a.command.empty()) {
            a.command = arg;
        } else {
            a.operands.push_back(arg);
        }
        if (hasValue && (arg == "--lvp" || arg == "--yes" || arg == "--quiet" ||
                         commandFlags.count(arg) != 0)) {
            error = "option " + arg + " takes no value";
            return false;
        }
    }
    return true;
}

// Checks the command, its operands and its flags before anything is touched.
bool validate(const Args& a, std::string& error) {
    struct Shape {
        std::size_t minOperands, maxOperands;
        std::set<std::string> flags;
    };
    static const std::map<std::string, Shape> shapes = {
        {"chips", {0, 0, {}}},
        {"detect", {0, 0, {}}},
        {"write", {1, 1, {"--no-code", "--no-data", "--no-config", "--no-erase"}}},
        {"verify", {1, 1, {"--no-code", "--data"}}},
        {"read", {0, 0, {"--text"}}},
        {"erase", {1, 1, {}}},
        {"config", {0, 1, {}}},
        {"ids", {0, 4, {}}},
        {"eeprom", {0, 100000, {}}},
    };
    if (a.command.empty()) {
        error = "no command given";
        return false;
    }
    const auto it = shapes.find(a.command);
    if (it == shapes.end()) {
        error = "unknown command '" + a.command + "'";
        return false;
    }
    const Shape& shape = it->second;
    if (a.operands.size() < shape.minOperands || a.operands.size() > shape.maxOperands) {
        error = "wrong number of arguments for '" + a.command + "'";
        return false;
    }
    for (const std::string& flag : a.flags) {
        if (shape.flags.count(flag) == 0) {
            error = "option " + flag + " does not belong to '" + a.command + "'";
            return false;
        }
    }
    if (a.command == "erase" && a.operands[0] != "code" && a.operands[0] != "data" &&
        a.operands[0] != "all") {
        error = "erase takes code, data or all";
        return false;
    }
    if (a.command == "ids" && !a.operands.empty()) {
        if (a.operands.size() != 4) {
            error = "ids takes none or four values";
            return false;
        }
        for (const std::string& id : a.operands) {
            if (parseHex(id, kIdLargest) < 0) {
                error = "an ID value is one hex digit (0 to F), not '" + id + "'";
                return false;
            }
        }
    }
    if (a.command == "config" && !a.operands.empty() &&
        parseHex(a.operands[0], kConfigLargest) < 0) {
        error = "the configuration word is hex up to 3FFF (14 bits), not '" + a.operands[0] + "'";
        return false;
    }
    if (a.command == "eeprom") {
        for (const std::string& edit : a.operands) {
            const std::size_t eq = edit.find('=');
            if (eq == std::string::npos || parseHex(edit.substr(0, eq), kOffsetLargest) < 0 ||
                parseHex(edit.substr(eq + 1), kByteLargest) < 0) {
                error = "eeprom takes OFFSET=VALUE in hex, not '" + edit + "'";
                return false;
            }
        }
    }
    if (!a.speed.empty() && (a.speed.size() != 1 || a.speed[0] < '0' || a.speed[0] > '3')) {
        error = "speed is 0 to 3";
        return false;
    }
    if (!a.adapter.empty() && a.adapter != "1" && a.adapter != "2" && a.adapter != "3") {
        error = "adapter is 1, 2 or 3";
        return false;
    }
    if (!a.vpp.empty() && a.vpp != "3" && a.vpp != "4") {
        error = "vpp is 3 or 4";
        return false;
    }
    return true;
}

// One program run: the window's start-up, the options, one command, exit.
class Runner {
  public:
    Runner(const Args& a, const std::filesystem::path& dir, std::istream& in, std::ostream& out,
           std::ostream& err, Terminal terminal, const volatile std::sig_atomic_t* stop)
        : a_(a),
          out_(out),
          err_(err),
          stop_(stop),
          win_(in, err, {a.yes, terminal.input, terminal.output && !a.quiet, stop}),
          prog_(dir, win_) {
        win_.setDevice(&prog_.session.device);
        prog_.session.stopRequest = stop;
    }

    int run() {
        if (!prog_.main.open(false)) {
            prog_.main.close();
            return kExitFailed;
        }
        int result = kExitOk;
        try {
            result = applyOptions();
            if (result == kExitOk && !stopped()) result = runCommand();
        } catch (const UsageError& e) {
            err_ << "ferrolux-cli: " << e.text << '\n';
            result = kExitUsage;
        }
        // Stopped: programming mode is left now if no frame since the signal did it.
        if (stopped()) sendIcsp(s(), LEAVE_PGM, 0);
        prog_.main.close();  // closes the port and keeps the simulated chip
        if (stopped()) {
            err_ << "ferrolux-cli: stopped by signal " << *stop_
                 << "; programming mode left, port closed\n";
            // The window shows no boxes once stopped: a failed save is told here.
            if (prog_.host.saveFailures() > 0)
                err_ << "Error: " << prog_.host.lastSaveFailure() << '\n';
            return 128 + *stop_;
        }
        if (result == kExitOk && prog_.host.saveFailures() > 0) result = kExitFailed;
        return result;
    }

  private:
    Session& s() { return prog_.session; }
    ui::MainWindow& main() { return prog_.main; }
    bool stopped() const { return stop_ != nullptr && *stop_ != 0; }
    // The command ended well, but the run did not: stopped, or the chip not kept.
    bool spoiled() const { return stopped() || prog_.host.saveFailures() > 0; }

    int ended(int r) {
        if (r != 0 || spoiled()) return kExitFailed;
        std::string shown = win_.text(ctl::kStatusField);
        shown.erase(0, shown.find_first_not_of(' '));
        shown.erase(shown.find_last_not_of(' ') + 1);
        out_ << (shown.empty() ? "OK" : shown) << '\n';
        return kExitOk;
    }

    int findChip(const std::string& name) {
        const auto& items = win_.listItems(ctl::kChipList);
        const std::string wanted = upper(name);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::string item = upper(items[i]);
            if (item == wanted || item == "PIC" + wanted) return static_cast<int>(i);
        }
        return -1;
    }

    void scriptParallelDialog() {
        const std::string adapter = a_.adapter;
        const std::string vpp = a_.vpp;
        win_.onDialog(ctl::kParallelDialog, [adapter, vpp](ui::DialogHandler& h, ConsoleWindow& d) {
            if (adapter == "1") h.command(d, ctl::kAn589Radio);
            if (adapter == "2") h.command(d, ctl::kNonInvertedRadio);
            if (adapter == "3") h.command(d, ctl::kInvertedRadio);
            if (vpp == "3") h.command(d, ctl::kVppD3Radio);
            if (vpp == "4") h.command(d, ctl::kVppD4Radio);
            h.command(d, ctl::kDefaultButton);
        });
    }

    // The boxes as the window starts with them for the selected chip.
    void startUpBoxes() {
        const bool twelveBit = s().device.family == 8;
        win_.check(ctl::kWriteCodeBox, true);
        win_.check(ctl::kWriteDataBox, !twelveBit);
        win_.check(ctl::kEraseBeforeWriteBox, !twelveBit);
        win_.check(ctl::kVerifyCodeBox, true);
        win_.check(ctl::kVerifyDataBox, false);
    }

    int applyOptions() {
        if (!a_.chip.empty()) {
            const int index = findChip(a_.chip);
            if (index < 0) {
                throw UsageError{"unknown chip '" + a_.chip + "' (ferrolux-cli chips lists them)"};
            }
            win_.selectListItem(ctl::kChipList, index);
            main().command(ctl::kChipList);
            startUpBoxes();
        }
        bool dialogRun = false;
        if (!a_.port.empty()) {
            std::string name = upper(a_.port);
            if (name == "SIM") name = ui::kSimulatorPort;
            if (name.size() == 3 && name[0] == '3') name = "0" + name;  // 378 -> 0378
            const int item = ctl::portItemOf(name);
            if (item == 0) throw UsageError{"unknown port '" + a_.port + "'"};
            if (item == ctl::kPort0278 || item == ctl::kPort0378 || item == ctl::kPort03BC) {
                scriptParallelDialog();
                dialogRun = true;
                if (main().selectParallelPort(item) != 0 &&
                    main().lastEnding() == ui::Ending::refused) {
                    return kExitFailed;
                }
            } else {
                main().choosePort(item);
            }
        }
        if (!dialogRun && (!a_.adapter.empty() || !a_.vpp.empty())) {
            if (!s().link.serial) {
                scriptParallelDialog();
                main().selectParallelPort(ctl::portItemOf(s().link.portName));
            } else {
                if (!a_.adapter.empty()) s().link.adapter = a_.adapter[0];
                if (!a_.vpp.empty()) s().link.vppLine = a_.vpp[0];
            }
        }
        if (!a_.speed.empty()) main().setSpeed(ctl::kSpeedVeryLow + (a_.speed[0] - '0'));
        if (a_.lvp) {
            if (s().link.serial || s().link.adapter != '1' || s().device.lowVoltageFlag != 'Y') {
                throw UsageError{
                    "--lvp needs a chip capable of low-voltage programming on an AN589 "
                    "adapter at a parallel port"};
            }
            win_.check(ctl::kLowVoltBox, true);
            main().command(ctl::kLowVoltBox);
        }
        return kExitOk;
    }

    bool has(const char* flag) const { return a_.flags.count(flag) != 0; }

    int openFile(const std::string& file) {
        std::error_code ec;
        const auto path = std::filesystem::absolute(file, ec);
        win_.setPickedFile(ec ? file : path.string());
        return main().openFile();
    }

    int runCommand() {
        const std::string& c = a_.command;
        if (c == "chips") {
            for (const std::string& name : win_.listItems(ctl::kChipList))
                out_ << name << '\n';
            return kExitOk;
        }
        if (c == "detect") return detect();
        if (c == "write") {
            if (openFile(a_.operands[0]) != 0) return kExitFailed;
            if (has("--no-code")) win_.check(ctl::kWriteCodeBox, false);
            if (has("--no-data")) win_.check(ctl::kWriteDataBox, false);
            if (has("--no-config")) win_.check(ctl::kWriteConfigBox, false);
            if (has("--no-erase")) win_.check(ctl::kEraseBeforeWriteBox, false);
            return ended(main().write());
        }
        if (c == "verify") {
            if (openFile(a_.operands[0]) != 0) return kExitFailed;
            if (has("--no-code")) win_.check(ctl::kVerifyCodeBox, false);
            if (has("--data")) win_.check(ctl::kVerifyDataBox, true);
            return ended(main().verify());
        }
        if (c == "read") {
            win_.check(ctl::kSaveHexRadio, !has("--text"));
            win_.check(ctl::kSaveTextRadio, has("--text"));
            return ended(main().save());
        }
        if (c == "erase") {
            const std::string& what = a_.operands[0];
            if (what == "all") return ended(main().disableCodeProtection());
            return ended(main().eraseMemory(what == "code" ? ctl::kEraseCode : ctl::kEraseData));
        }
        if (c == "config") return config();
        if (c == "ids") return ids();
        return eeprom();
    }

    int detect() {
        win_.enable(ctl::kStatusField, true);
        const int r = checkLink(s());
        if (r == 0) return main().failCommand();
        sendIcsp(s(), LEAVE_PGM, 0);
        prog_.host.commandEnded(s());
        if (spoiled()) return kExitFailed;
        if (r == 2) {
            out_ << "DEV-ID: " << win_.text(ctl::kDevIdField) << '\n';
        } else {
            out_ << "DEV-ID: none (" << s().device.name << " has no device ID)\n";
        }
        return kExitOk;
    }

    int config() {
        std::string value;
        if (!a_.operands.empty()) {
            const int word = parseHex(a_.operands[0], kConfigLargest);
            if (s().device.family == 8 && word > kConfigLargest12Bit) {
                throw UsageError{"the configuration word of " + s().device.name +
                                 " has 12 bits: up to FFF, not '" + a_.operands[0] + "'"};
            }
            // Typed as the field shows it: the field reads four digits at most.
            value = formatText("%.4X", static_cast<unsigned>(word));
        }
        bool refused = false;
        std::string shown;
        win_.onDialog(ctl::kConfigDialog, [&](ui::DialogHandler& h, ConsoleWindow& d) {
            auto& dialog = static_cast<ui::ConfigDialog&>(h);
            if (value.empty()) {
                dialog.readConfig(d);
            } else {
                d.userEdit(h, ctl::kHexValueField, value, static_cast<int>(value.size()));
                // A word above 0x3FFF is refused before anything reaches the chip.
                if (!dialog.done(d)) {
                    refused = true;
                    h.command(d, ctl::kCancel);
                    return;
                }
                dialog.writeConfig(d);
            }
            shown = "Config-Word: " + d.text(ctl::kHexValueField) + "\n";
            for (int bit = 13; bit >= 0; --bit) {
                shown += formatText("  Bit %-2d [%c] %s\n", bit,
                                    d.isChecked(ctl::kBitBox0 - bit) ? 'x' : ' ',
                                    d.text(ctl::kBitLabel0 + bit).c_str());
            }
            if (!d.ended()) h.command(d, ctl::kDefaultButton);
        });
        const int r = main().configDialog();
        if (refused || r != 0 || spoiled()) return kExitFailed;
        out_ << shown;
        if (!value.empty()) out_ << "OK\n";
        return kExitOk;
    }

    int ids() {
        // Typed as the fields show them: each field reads its first digit.
        std::vector<std::string> values;
        for (const std::string& id : a_.operands)
            values.push_back(formatText("%X", static_cast<unsigned>(parseHex(id, kIdLargest))));
        std::string shown;
        win_.onDialog(ctl::kConfigDialog, [&](ui::DialogHandler& h, ConsoleWindow& d) {
            auto& dialog = static_cast<ui::ConfigDialog&>(h);
            if (values.empty()) {
                if (dialog.readIds(d) != 0) return;
            } else {
                for (int i = 0; i < 4; ++i) {
                    d.userEdit(h, ctl::kIdFields[i], values[static_cast<std::size_t>(i)], 1);
                }
                if (dialog.writeIds(d) != 0) return;
            }
            for (int i = 0; i < 4; ++i) {
                shown += (i ? "  ID" : "ID") + std::to_string(i) + ": " + d.text(ctl::kIdFields[i]);
            }
            shown += '\n';
        });
        const int r = main().configDialog();
        if (r != 0 || spoiled()) return kExitFailed;
        out_ << shown;
        if (!values.empty()) out_ << "OK\n";
        return kExitOk;
    }

    int eeprom() {
        std::vector<std::pair<int, int>> edits;
        for (const std::string& edit : a_.operands) {
            const std::size_t eq = edit.find('=');
            edits.emplace_back(parseHex(edit.substr(0, eq), kOffsetLargest),
                               parseHex(edit.substr(eq + 1), kByteLargest));
        }
        for (const auto& [offset, value] : edits) {
            if (s().device.dataBytes > 0 && offset >= s().device.dataBytes) {
                throw UsageError{formatText("offset %04X is beyond the %d data bytes of %s",
                                            static_cast<unsigned>(offset), s().device.dataBytes,
                                            s().device.name.c_str())};
            }
        }
        std::string shown;
        win_.onDialog(ctl::kDataMemoryDialog, [&](ui::DialogHandler& h, ConsoleWindow& d) {
            auto& window = static_cast<ui::DataWindow&>(h);
            if (!edits.empty()) {
                for (const auto& [offset, value] : edits) {
                    std::string text = d.text(ctl::kDataText);
                    const std::size_t at =
                        static_cast<std::size_t>(offset) * ui::kDataLineLength + 6;
                    text.replace(at, 2, formatText("%02X", static_cast<unsigned>(value)));
                    d.userEdit(h, ctl::kDataText, text, static_cast<int>(at + 2));
                }
                if (window.writeData(d) != 0) return;
            } else {
                for (int i = 0; i < s().device.dataBytes; ++i) {
                    shown += ui::textLine(d.text(ctl::kDataText), i) + "\n";
                }
            }
            h.command(d, ctl::kDefaultButton);
        });
        const int r = main().dataWindow();
        if (r != 0 || spoiled()) return kExitFailed;
        out_ << (edits.empty() ? shown : "OK\n");
        return kExitOk;
    }

    const Args& a_;
    std::ostream& out_;
    std::ostream& err_;
    const volatile std::sig_atomic_t* stop_;
    ConsoleWindow win_;
    app::Program prog_;
};

}  // namespace

std::string usage() {
    return R"(usage: ferrolux-cli [options] COMMAND [ARGS]
  -C, --dir DIR     program directory (kestrum.ini, kestrum.cfg); default: the current directory
  -p, --port NAME   COM1..COM8, 0278, 0378, 03BC, or SIM1 (the built-in simulated board; "sim" also works)
  -c, --chip NAME   a chip of the device list; default: the stored chip
  -s, --speed N     0..3;  --adapter 1|2|3;  --vpp 3|4;  --lvp;  -y, --yes;  -q, --quiet
commands (each is the window command of the same name, with its check boxes as options):
  chips                               the chip list in its sorted order
  detect                              link check; prints the DEV-ID
  write FILE [--no-code] [--no-data] [--no-config] [--no-erase]
  verify FILE [--no-code] [--data]
  read [--text]                       "readback.hex" (or "readback.txt") in the current directory
  erase code|data|all                 Bulk Erase Code Memory, Bulk Erase Data Memory, Disable Codeprotection
  config [VALUE]                      read the configuration word, or write VALUE
  ids [ID0 ID1 ID2 ID3]               read or write the ID locations
  eeprom [OFFSET=VALUE ...]           print the data memory lines, or write bytes through the data window's logic
exit status: 0 success, 1 failure or Cancel, 2 usage error, 128+N stopped by signal N
  (Ctrl-C, SIGTERM, SIGHUP: the command ends at the next ICSP frame, programming mode is left)
numbers are hex, with or without 0x
)";
}

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, Terminal terminal, const volatile std::sig_atomic_t* stop) {
    Args a;
    std::string error;
    if (!parse(args, a, error) || (!a.help && !validate(a, error))) {
        err << "ferrolux-cli: " << error << '\n' << usage();
        return kExitUsage;
    }
    if (a.help) {
        out << usage();
        return kExitOk;
    }
    std::error_code ec;
    std::filesystem::path dir =
        a.dir.empty() ? std::filesystem::current_path(ec) : std::filesystem::absolute(a.dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) {
        err << "ferrolux-cli: " << (a.dir.empty() ? "." : a.dir) << ": no such directory\n";
        return kExitUsage;
    }
    Runner runner(a, dir.lexically_normal(), in, out, err, terminal, stop);
    return runner.run();
}

}  // namespace ferrolux::cli
