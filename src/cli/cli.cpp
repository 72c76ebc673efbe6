#include "cli/cli.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <ostream>
#include <set>
#include <thread>

#include "app/host.h"
#include "app/program_dir.h"
#include "cli/batch.h"
#include "cli/console_window.h"
#include "cli/production.h"
#include "cli/selftest.h"
#include "cli/sim_command.h"
#include "device/check_link.h"
#include "device/chip_service.h"
#include "device/erase.h"
#include "device/family.h"
#include "device/readback.h"
#include "files/checksum.h"
#include "files/device_list.h"
#include "files/hex_image.h"
#include "files/hex_input.h"
#include "files/sha256.h"
#include "files/state_file.h"
#include "platform/files.h"
#include "platform/linux/system_info.h"
#include "session/messages.h"
#include "ui/config_bytes.h"
#include "ui/control_ids.h"

namespace ferrolux::cli {

namespace {

struct Args {
    std::string dir;
    std::string port;
    std::string chip;
    std::string speed;
    std::string adapter;
    std::string vpp;
    std::string output;
    std::string serial, serialAt, serialFormat, serialStep, log;  // write and batch
    bool lvp = false;
    bool yes = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool force = false;           // go on past a warning that something is wrong
    std::set<std::string> flags;  // the command's check-box options
    std::string command;
    std::vector<std::string> operands;
};

// The options in getopt_long's conventions: "-PSIM1", "-P SIM1", "-yq",
// "--port=SIM1", "--port SIM1", unambiguous prefixes of long names, "--".
struct OptionRule {
    char shortName;  // 0: long form only
    const char* longName;
    std::string Args::*value;  // options that take a value
    bool Args::*flag;          // options that do not
};

// -p/--part names the chip as avrdude and minipro do; -c/--chip is the same.
const OptionRule kOptions[] = {
    {'C', "dir", &Args::dir, nullptr},
    {'P', "port", &Args::port, nullptr},
    {'c', "chip", &Args::chip, nullptr},
    {'s', "speed", &Args::speed, nullptr},
    {0, "adapter", &Args::adapter, nullptr},
    {0, "vpp", &Args::vpp, nullptr},
    {'o', "output", &Args::output, nullptr},
    {0, "lvp", nullptr, &Args::lvp},
    {'y', "yes", nullptr, &Args::yes},
    {'q', "quiet", nullptr, &Args::quiet},
    {'h', "help", nullptr, &Args::help},
    {'V', "version", nullptr, &Args::version},
    {0, "force", nullptr, &Args::force},
    {'p', "part", &Args::chip, nullptr},
    {0, "serial", &Args::serial, nullptr},
    {0, "serial-at", &Args::serialAt, nullptr},
    {0, "serial-format", &Args::serialFormat, nullptr},
    {0, "serial-step", &Args::serialStep, nullptr},
    {0, "log", &Args::log, nullptr},
};

// Check-box options of single commands; they take no value.
const std::set<std::string> kCommandFlags = {"no-code", "no-data", "no-config",  "no-erase",
                                             "data",    "text",    "keep-eeprom"};

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
constexpr std::size_t kConfigSettingsMax = 64;  // PIC18 settings of one config command
constexpr int kConfigLargest12Bit = 0xFFF;
constexpr int kIdLargest = 0xF;  // the window's ID fields hold one hex digit
constexpr int kOffsetLargest = 0xFFFF;
constexpr int kByteLargest = 0xFF;
// What a hex file that cannot be opened reports; the console adds why.
constexpr const char* kHexOpenError = "Open Error!";

// The long option or command flag `name` stands for, by exact name or unique
// prefix; "" with `error` filled when none or several.
std::string longName(const std::string& name, std::string& error) {
    std::vector<std::string> matches;
    std::vector<std::string> all(kCommandFlags.begin(), kCommandFlags.end());
    for (const OptionRule& o : kOptions)
        all.push_back(o.longName);
    for (const std::string& candidate : all) {
        if (candidate == name) return candidate;
        if (candidate.rfind(name, 0) == 0) matches.push_back(candidate);
    }
    if (matches.size() == 1) return matches[0];
    error = (matches.empty() ? "unknown option --" : "ambiguous option --") + name;
    return {};
}

bool assign(const OptionRule& o, Args& a, const std::string& value, const std::string& shown,
            std::string& error) {
    if (value.empty()) {
        error = "option " + shown + " needs a value, not an empty one";
        return false;
    }
    a.*o.value = value;
    return true;
}

bool parse(const std::vector<std::string>& args, Args& a, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto next = [&](const std::string& shown, std::string& into) {
            if (i + 1 >= args.size()) {
                error = "option " + shown + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            const std::string name = longName(arg.substr(2, eq - 2), error);
            if (name.empty()) return false;
            const std::string shown = "--" + name;
            const OptionRule* rule = nullptr;
            for (const OptionRule& o : kOptions)
                if (name == o.longName) rule = &o;
            if (rule == nullptr || rule->flag != nullptr) {
                if (eq != std::string::npos) {
                    error = "option " + shown + " takes no value";
                    return false;
                }
                if (rule == nullptr) {
                    a.flags.insert(shown);
                } else {
                    a.*rule->flag = true;
                }
                continue;
            }
            std::string value;
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (!next(shown, value)) {
                return false;
            }
            if (!assign(*rule, a, value, shown, error)) return false;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            for (std::size_t j = 1; j < arg.size(); ++j) {
                const OptionRule* rule = nullptr;
                for (const OptionRule& o : kOptions)
                    if (o.shortName != 0 && o.shortName == arg[j]) rule = &o;
                const std::string shown = std::string("-") + arg[j];
                if (rule == nullptr) {
                    error = "unknown option " + shown;
                    return false;
                }
                if (rule->flag != nullptr) {
                    a.*rule->flag = true;
                    continue;
                }
                std::string value = arg.substr(j + 1);
                if (value.empty() && !next(shown, value)) return false;
                if (!assign(*rule, a, value, shown, error)) return false;
                break;
            }
        } else if (a.command.empty()) {
            a.command = arg;
        } else {
            a.operands.push_back(arg);
        }
    }
    return true;
}

// A command: its operands, its flags, and its help.
struct CommandSpec {
    const char* name;
    std::size_t minOperands, maxOperands;
    std::set<std::string> flags;
    const char* synopsis;
    const char* help;
};

const CommandSpec kCommands[] = {
    {"chips", 0, 0, {}, "chips", "The chip list of the device list, in its sorted order.\n"},
    {"ports",
     0,
     0,
     {},
     "ports",
     "The ports found: COMn links in the program directory, serial ports and\n"
     "USB serial adapters (also by id), parallel ports offered by ppdev, and the\n"
     "simulated board SIM1. Each name can be given to --port.\n"},
    {"detect",
     0,
     0,
     {},
     "detect",
     "Tests the programmer and reads the chip's device ID; prints\n"
     "\"DEV-ID: 1060 PIC16F628A\" (the ID and the chip it belongs to).\n"
     "An ID of another chip than the selected one ends with status 3.\n"},
    {"blank",
     0,
     0,
     {},
     "blank",
     "Reads the whole chip and tells whether it is erased: \"blank\" (status 0)\n"
     "or \"not blank: 0000 holds 3055\" (status 3), the lowest address that is\n"
     "not erased as a hex file has it (PIC18: byte addresses). No file is written.\n"},
    {"write",
     1,
     1,
     {"--no-code", "--no-data", "--no-config", "--no-erase", "--keep-eeprom"},
     "write FILE [--no-code] [--no-data] [--no-config] [--no-erase] [--keep-eeprom]\n"
     "        [--serial START|next --serial-at WHERE [--serial-format F] [--serial-step N]]\n"
     "        [--log FILE.csv]",
     "Writes the hex FILE into the chip (the window's \"Write\"): erases it first,\n"
     "writes code, data and the configuration word, and verifies the code.\n"
     "The options untick the window's check boxes. --keep-eeprom reads the data\n"
     "memory before the erase and writes it back after (\"Keep Data Memory\"),\n"
     "unless the file brings data memory of its own: then the file's is written.\n"
     "A data memory the configuration protects cannot be kept: refused before\n"
     "anything is erased.\n"
     "Write, verify, read and blank end with a report on the standard error: the\n"
     "chip and its device ID, what was written or compared, the time taken and\n"
     "the checksum as MPLAB shows it for an unprotected chip.\n"
     "--serial START puts a serial number into the chip in place of what the file\n"
     "has there (START decimal, or hex with 0x); --serial next takes the last one\n"
     "the log gave plus --serial-step (default 1). --serial-at says where:\n"
     "  eeprom:ADDR:LEN  LEN bytes at EEPROM offset ADDR (hex)\n"
     "  code:ADDR:LEN    LEN RETLW instructions at code address ADDR, one byte each\n"
     "                   (PIC18: byte address)\n"
     "  ids              the ID locations: 4 nibbles, or 8 bytes on PIC18 chips\n"
     "--serial-format be (big-endian binary, the default), le, bcd or ascii\n"
     "(decimal digits). A number that does not fit is refused before the chip is\n"
     "touched; verify, the checksum and the report take the serialized image.\n"
     "--log FILE.csv appends one line per chip:\n"
     "  time,chip,device_id,revision,file,file_sha256,checksum,serial,result,seconds,port\n"
     "result is ok, verify-failed, write-failed or no-chip. A number is never\n"
     "given twice: it is reserved in FILE.csv.serial before the chip is touched\n"
     "and stays taken once programming started, whatever happens after.\n"},
    {"batch",
     1,
     1,
     {"--no-code", "--no-data", "--no-config", "--no-erase", "--keep-eeprom"},
     "batch FILE [write's options]",
     "Program on insert: waits for a chip, writes and verifies FILE as write does\n"
     "(with --serial and --log), reports it, waits until it is taken out, and\n"
     "starts again until Ctrl-C, which prints a summary (chips ok, failed, the\n"
     "serial range). Chips are noticed by their device ID, read a few times a\n"
     "second with programming voltage off between reads; for chips without one\n"
     "press Enter after putting each in. A chip of another type is refused and\n"
     "logged as no-chip, never written.\n"},
    {"verify",
     1,
     1,
     {"--no-code", "--data"},
     "verify FILE [--no-code] [--data]",
     "Compares the chip with the hex FILE (code; with --data also the data memory).\n"
     "A difference ends with status 3.\n"},
    {"read",
     0,
     0,
     {"--text"},
     "read [--text] [-o FILE|-]",
     "Reads the whole chip back into \"readback.hex\" (INHX8M), or with --text into\n"
     "the listing \"readback.txt\", in the current directory; -o FILE writes that\n"
     "file instead, -o - the standard output. The program's own files (kestrum.ini,\n"
     "kestrum.cfg, the simulated chips in sim/) are refused. A code-protected chip\n"
     "reads as zeros: its readback is refused unless --force is given.\n"},
    {"erase",
     1,
     1,
     {},
     "erase code|data|all",
     "Bulk Erase Code Memory, Bulk Erase Data Memory, or Disable Codeprotection\n"
     "(erases the whole chip). Asks first; --yes answers OK.\n"},
    {"config",
     0,
     kConfigSettingsMax,
     {},
     "config [VALUE [VALUE2]] [NAME=0|1 ...] | config [SETTING ...]",
     "Reads the configuration word and shows its bits, or writes VALUE (hex).\n"
     "NAME=0|1 sets one bit by its label as the bit list shows it (the leading\n"
     "'/' optional: CP=0, WDTE=0 MCLRE=1), on VALUE or on the word the chip\n"
     "holds; setting code or data protection (/CP, /CPD ...) is asked first.\n"
     "Chips with a second configuration word (PIC16F88x) show it too and take\n"
     "VALUE2 for it; chips that keep calibration words show them.\n"
     "PIC18 chips: shows each configuration byte with its bits, as\n"
     "\"CONFIG2L 300002: 0F  BORV1=1 BORV0=1 BOR=1 /PWRT=1\", or reads them from\n"
     "the chip, changes them by the SETTINGs in order and writes them all back:\n"
     "  ADDR=VALUE  a whole byte: ADDR 300001, 0x300001, CONFIG1H or 1H; VALUE\n"
     "              two hex digits, only bits the byte has (CONFIG1H=22)\n"
     "  NAME=0|1    one bit by its label, the '/' of an active-low label\n"
     "              optional: the bit's value, so PWRT=0 turns the power-up\n"
     "              timer on, WDT=0 the watchdog off\n"
     "Names and addresses are checked before the chip is touched; protection bits\n"
     "(/CP.., /WRT.., /EBTR..) set to 0 are asked about first (--yes: OK).\n"},
    {"ids",
     0,
     4,
     {},
     "ids [ID0 ID1 ID2 ID3]",
     "Reads the four ID locations, or writes them (one hex digit each).\n"},
    {"eeprom",
     0,
     100000,
     {},
     "eeprom [OFFSET=VALUE ...]",
     "Prints the data memory, or writes the given bytes (hex) through the data\n"
     "window's logic.\n"},
    {"selftest",
     0,
     0,
     {},
     "selftest",
     "Checks what the selected port and adapter let the program sense, one line\n"
     "per check, \"ok\" or what to look at: the port opens, the board or adapter\n"
     "answers on its loop-back, the data-in line follows the data-out line (Vpp\n"
     "off), and a chip answers with its device ID (a chip without one cannot be\n"
     "checked so). Lines the wiring does not let the program see are named.\n"
     "Never writes the chip; Vpp is off at the end, also on Ctrl-C. Status 0 when\n"
     "every check passed, 4 otherwise.\n"},
    {"sim",
     0,
     2,
     {},
     "sim [remove | insert [CHIP] | fault NAME|none]",
     "Shows or changes the simulated board SIM1's socket, kept in sim/SIM1.socket:\n"
     "  remove        takes the chip out; what it held is kept as\n"
     "                sim/removed/NNN-CHIP.hex, numbered in removal order\n"
     "  insert [CHIP] puts a new, blank chip in (default: -p or the selected\n"
     "                chip); any listed chip with a simulated model, also one\n"
     "                of another type than the selected chip\n"
     "  fault NAME    breaks the board: data-high, data-low (data line stuck),\n"
     "                no-power (nothing answers), clock-stuck, vpp-stuck (the\n"
     "                line never reaches the chip), no-chip (no contact); none\n"
     "                mends it\n"
     "Never waits for SIM1: a run that holds it takes the change at its next chip\n"
     "command. Without sim/SIM1.socket the socket holds the selected chip.\n"},
    {"help", 0, 1, {}, "help [COMMAND]", "This text, or the help of COMMAND.\n"},
};

const CommandSpec* findCommand(const std::string& name) {
    for (const CommandSpec& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// PIC18 settings (ADDR=VALUE, NAME=0|1) rather than configuration words;
// they are checked once the chip is known.
bool hasSettings(const std::vector<std::string>& operands) {
    return std::any_of(operands.begin(), operands.end(),
                       [](const std::string& o) { return o.find('=') != std::string::npos; });
}

// A port name as -P takes it: SIM1, sim, COMn, a parallel port address, a
// device path or an FTDI adapter. No chip of the list is named so.
bool looksLikePort(const std::string& name) {
    const std::string u = upper(name);
    const bool com =
        u.size() > 3 && u.rfind("COM", 0) == 0 && std::all_of(u.begin() + 3, u.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    return u == "SIM" || u == "SIM1" || com || u.rfind("FTDI", 0) == 0 ||
           name.find_first_of("/\\") != std::string::npos || u == "0278" || u == "0378" ||
           u == "03BC" || u == "278" || u == "378" || u == "3BC";
}

// The system's reason the file cannot be opened for reading; "" when it can.
std::string openFailure(const std::string& file) {
    std::error_code ec;
    const auto path = platform::pathFromUtf8(file);
    if (std::filesystem::is_directory(path, ec)) return std::strerror(EISDIR);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    const int error = errno;
    if (in) return {};
    return error != 0 ? std::strerror(error) : "cannot be opened";
}

// -p auto: the chip whose device ID is in the socket.
bool autoPart(const std::string& name) {
    return upper(name) == "AUTO";
}

ProductionArgs productionArgs(const Args& a) {
    return {a.serial, a.serialAt, a.serialFormat, a.serialStep, a.log};
}

// Checks the command, its operands and its flags before anything is touched.
bool validate(const Args& a, std::string& error) {
    if (a.command.empty()) {
        error = "no command given";
        return false;
    }
    const CommandSpec* shape = findCommand(a.command);
    if (shape == nullptr) {
        error = "unknown command '" + a.command + "'";
        return false;
    }
    if (a.operands.size() < shape->minOperands || a.operands.size() > shape->maxOperands) {
        error = "wrong number of arguments for '" + a.command + "'";
        return false;
    }
    for (const std::string& flag : a.flags) {
        if (shape->flags.count(flag) == 0) {
            error = "option " + flag + " does not belong to '" + a.command + "'";
            return false;
        }
    }
    const bool producing = !a.serial.empty() || !a.serialAt.empty() || !a.serialFormat.empty() ||
                           !a.serialStep.empty() || !a.log.empty();
    if (producing && a.command != "write" && a.command != "batch") {
        error = "--serial and --log belong to 'write' and 'batch'";
        return false;
    }
    ProductionOptions production;
    if (producing && !parseProduction(productionArgs(a), production, error)) return false;
    if (!a.output.empty() && a.command != "read") {
        error = "option --output does not belong to '" + a.command + "'";
        return false;
    }
    if (a.command == "help" && !a.operands.empty() && findCommand(a.operands[0]) == nullptr) {
        error = "unknown command '" + a.operands[0] + "'";
        return false;
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
    if (a.command == "config" && !hasSettings(a.operands)) {
        if (a.operands.size() > 2) {
            error = "wrong number of arguments for 'config'";
            return false;
        }
        for (const std::string& word : a.operands) {
            if (parseHex(word, kConfigLargest) < 0) {
                error = "the configuration word is hex up to 3FFF (14 bits), not '" + word + "'";
                return false;
            }
        }
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
    if (looksLikePort(a.chip)) {
        error = "'" + a.chip + "' is a port, not a chip: -P " + a.chip +
                " (--port) chooses the port, -p (--part) the chip";
        return false;
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

std::string counted(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The memories of `image` a command took, for its report: code, EEPROM,
// IDs and configuration, each only when `parts` has it (code, data, config).
std::string memoriesOf(const DeviceRecord& d, const ChipImage& image, bool code, bool data,
                       bool config) {
    std::vector<std::string> parts;
    if (pic18Core(d)) {
        const auto& b = image.pic18;
        const auto present = [](const auto& places) {
            return static_cast<int>(std::count_if(places.begin(), places.end(),
                                                  [](const auto& p) { return p.has_value(); }));
        };
        if (code)
            parts.push_back("code " + counted(static_cast<int>(b.code.size()), "byte", "bytes"));
        if (data)
            parts.push_back("EEPROM " + counted(static_cast<int>(b.data.size()), "byte", "bytes"));
        if (code) parts.push_back("IDs " + counted(present(b.ids), "byte", "bytes"));
        if (config) parts.push_back("configuration " + counted(present(b.config), "byte", "bytes"));
    } else {
        const int ids = static_cast<int>(std::count_if(
            image.ids.begin(), image.ids.end(), [](const auto& id) { return id.has_value(); }));
        const int words = (image.config ? 1 : 0) + (image.config2 ? 1 : 0);
        if (code) parts.push_back("code " + counted(image.codeWords, "word", "words"));
        if (data) parts.push_back("EEPROM " + counted(image.dataBytes, "byte", "bytes"));
        if (code) parts.push_back("IDs " + counted(ids, "word", "words"));
        if (config) parts.push_back("configuration " + counted(words, "word", "words"));
    }
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text.empty() ? "nothing" : text;
}

// The memories of the whole chip, as a read or blank check takes them.
std::string chipMemories(const DeviceRecord& d) {
    if (pic18Core(d)) {
        int config = 0;
        for (const ConfigByte& place : d.configBytes)
            config += place.mask != 0 ? 1 : 0;
        return "code " + counted(d.codeWords * 2, "byte", "bytes") + ", EEPROM " +
               counted(d.dataBytes, "byte", "bytes") + ", IDs " +
               counted(kPic18IdBytes, "byte", "bytes") + ", configuration " +
               counted(config, "byte", "bytes");
    }
    const int config = 1 + (!twelveBitCore(d) && d.config2Mask != 0 ? 1 : 0);
    return "code " + counted(d.codeWords, "word", "words") + ", EEPROM " +
           counted(twelveBitCore(d) ? 0 : d.dataBytes, "byte", "bytes") + ", IDs 4 words" +
           ", configuration " + counted(config, "word", "words");
}

// One program run: the window's start-up, the options, one command, exit.
class Runner {
  public:
    Runner(const Args& a, const std::filesystem::path& dir, std::istream& in, std::ostream& out,
           std::ostream& err, Terminal terminal, const RunHooks& hooks)
        : a_(a),
          in_(in),
          out_(out),
          err_(err),
          stop_(hooks.stop),
          hooks_(hooks),
          win_(in, err, {a.yes, terminal.input, terminal.output && !a.quiet, stop_, a.force}),
          prog_(dir, win_) {
        prog_.session.stopRequest = stop_;
    }

    int run() {
        if (!prog_.main.open(false)) {
            // The box names the list; the path and the system's reason follow.
            const std::string list = platform::utf8Of(s().programDir / kDeviceListFile);
            if (const std::string reason = openFailure(list); !reason.empty())
                err_ << list << ": " << reason << '\n';
            prog_.main.close();
            return kExitFailed;
        }
        storedPort_ = {s().link.portName, s().link.adapter, s().link.vppLine};
        int result = kExitOk;
        try {
            result = applyOptions();
            if (result == kExitOk && !stopped() && autoPart(a_.chip)) result = selectByDeviceId();
            if (result == kExitOk && hooks_.ready) hooks_.ready(prog_);
            if (result == kExitOk && !stopped()) {
                announce();
                result = runCommand();
            }
            if (!a_.port.empty() && !stopped()) result = checkChosenPort(result);
        } catch (const UsageError& e) {
            win_.endProgress();
            err_ << "ferrolux-cli: " << e.text << '\n';
            result = kExitUsage;
            if (!a_.port.empty()) forgetChosenPort();
        }
        win_.endProgress();
        // Stopped: programming mode is left now if no frame since the signal did it.
        if (stopped()) ChipService(s()).leave();
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
        // A result that did not reach the output is no success either.
        if (result == kExitOk && !(out_ << std::flush)) {
            err_ << "Error: Cannot write to the standard output.\n";
            result = kExitFailed;
        }
        return result;
    }

  private:
    Session& s() { return prog_.session; }
    ui::MainWindow& main() { return prog_.main; }
    bool stopped() const { return stop_ != nullptr && *stop_ != 0; }
    // The command ended well, but the run did not: stopped, or the chip not kept.
    bool spoiled() const { return stopped() || prog_.host.saveFailures() > 0; }

    // The status of a command that did not succeed, by how it ended.
    int failure() const {
        if (ending_ != ui::Ending::failed) return kExitFailed;
        switch (failure_) {
            case Failure::mismatch:
                return kExitMismatch;
            case Failure::noChip:
            case Failure::port:
                return kExitNoChip;
            default:
                return kExitFailed;
        }
    }

    // The port's own failures, as opposed to the chip's.
    bool portFailed() const { return ending_ == ui::Ending::failed && failure_ == Failure::port; }

    // A result line on the output, after the progress line has gone.
    void print(const std::string& text) {
        win_.endProgress();
        out_ << text << std::flush;
    }

    // A command refused before it reached the chip: no chip chosen.
    int refuseWithoutChip() {
        win_.messageBox(kNoChip, "ERROR!", ui::Buttons::ok);
        ending_ = ui::Ending::refused;
        return kExitFailed;
    }

    // A file that does not fit the chip ends the command before the link is used.
    int rejectFile() {
        win_.messageBox(s().message, "Error", ui::Buttons::ok);
        ending_ = ui::Ending::failed;
        return failure();
    }

    // A chip command that failed: its message shown, the chip let go.
    int fail() {
        if (!s().message.empty()) win_.messageBox(s().message, "Error", ui::Buttons::ok);
        ChipService(s()).leave();
        ending_ = ui::Ending::failed;
        prog_.host.commandEnded(s());
        return failure();
    }

    // The user said Cancel to a question: nothing more was done.
    int cancelled() {
        ending_ = ui::Ending::cancelled;
        return kExitFailed;
    }

    bool noChip() { return s().device.listIndex < 0 || s().device.name.empty(); }

    bool ask(const char* text) {
        return win_.messageBox(text, "Warning!", ui::Buttons::okCancel) == ui::Answer::ok;
    }

    // The report after write, verify, read and blank, on the standard error
    // (the standard output keeps the result, or the readback with -o -): the
    // chip and its device ID, what was done, the time the command took and
    // the chip's checksum (-1: none known).
    void report(const std::string& done, const std::string& note, int checksum) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started_)
                            .count();
        std::string id = win_.text(ctl::kDevIdField);
        id.erase(0, id.find_first_not_of(' '));
        std::string text = "Report: " + s().device.name + ", DEV-ID " + (id.empty() ? "none" : id) +
                           "\n  " + done + "\n";
        if (!note.empty()) text += "  " + note + "\n";
        text += formatText("  time: %lld.%lld s\n", static_cast<long long>(ms / 1000),
                           static_cast<long long>(ms % 1000 / 100));
        if (checksum >= 0)
            text += formatText("  checksum: %04X\n", static_cast<unsigned>(checksum));
        win_.endProgress();
        err_ << text << std::flush;
    }

    // The checksum of the readback `file` the command made; -1 when there is none.
    int readbackChecksum(const std::filesystem::path& file) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) return -1;
        return ferrolux::readbackChecksum(s().device, platform::utf8Of(file));
    }

    // A port given as an option is kept only when it opens and a board answers;
    // a command that did not reach the port tries it now.
    int checkChosenPort(int result) {
        if (result == kExitOk && s().link.serial && !s().port.comOpen()) {
            if (ChipService(s()).openComPort() != 0) {
                fail();
                failure_ = Failure::port;
                result = kExitNoChip;
            } else {
                ChipService(s()).leave();
            }
        }
        if (result == kExitNoChip && portFailed()) forgetChosenPort();
        return result;
    }

    void forgetChosenPort() {
        s().link.portName = storedPort_.name;
        s().link.adapter = storedPort_.adapter;
        s().link.vppLine = storedPort_.vpp;
        std::error_code ec;
        if (!madeLink_.empty()) std::filesystem::remove(madeLink_, ec);
        err_ << "ferrolux-cli: port " << a_.port << " not stored; kestrum.cfg keeps "
             << storedPort_.name << '\n';
    }

    // A device path becomes a COMn link in the program directory: the one
    // that already leads there, else a new one under the first free name.
    std::string comNameFor(const std::string& device) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path target = fs::absolute(platform::pathFromUtf8(device), ec).lexically_normal();
        const fs::path dir = s().programDir;
        for (int n = 1; n <= 8; ++n) {
            const fs::path link = dir / ("COM" + std::to_string(n));
            if (fs::is_symlink(link, ec) && fs::read_symlink(link, ec) == target)
                return platform::utf8Of(link.filename());
        }
        for (int n : {3, 4, 5, 6, 7, 8, 1, 2}) {
            const fs::path link = dir / ("COM" + std::to_string(n));
            if (fs::exists(fs::symlink_status(link, ec))) continue;
            fs::create_symlink(target, link, ec);
            if (ec) throw UsageError{"cannot link " + platform::utf8Of(link) + ": " + ec.message()};
            madeLink_ = link;
            err_ << "ferrolux-cli: " << platform::utf8Of(link.filename()) << " now leads to "
                 << platform::utf8Of(target) << " (a link in " << platform::utf8Of(dir) << ")\n";
            return platform::utf8Of(link.filename());
        }
        throw UsageError{"COM1 to COM8 are all taken in " + platform::utf8Of(dir)};
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

    // The adapter and Vpp line as given ('\0' keeps the stored one).
    int useParallelPort(int item) {
        return main().useParallelPort(item, a_.adapter.empty() ? '\0' : a_.adapter[0],
                                      a_.vpp.empty() ? '\0' : a_.vpp[0]);
    }

    // The boxes as the window starts with them for the selected chip.
    void startUpBoxes() {
        const bool twelveBit = algorithmOf(s().device).twelveBit;
        win_.check(ctl::kWriteCodeBox, true);
        win_.check(ctl::kWriteDataBox, !twelveBit);
        win_.check(ctl::kEraseBeforeWriteBox, algorithmOf(s().device).erasable);
        win_.check(ctl::kVerifyCodeBox, true);
        win_.check(ctl::kVerifyDataBox, false);
    }

    // Names what the command works on, first, on the error output: the
    // output keeps the command's result alone.
    void announce() {
        if (a_.quiet || a_.command == "chips") return;
        const std::string chip = noChip() ? std::string("no chip") : s().device.name;
        err_ << chip << " on " << s().link.portName << " (speed " << s().link.speed << ")\n";
    }

    void selectChip(int index) {
        win_.selectListItem(ctl::kChipList, index);
        main().command(ctl::kChipList);
        startUpBoxes();
    }

    // A chip that reads its device ID as the 14-bit core does (pic18 false)
    // or as PIC18 chips do: the selected one when it does, else the first
    // PIC16F or PIC18F chip of the list that does, now selected; false when
    // the list has none.
    bool selectIdReader(bool pic18) {
        const auto reads = [&] {
            return !noChip() && s().device.deviceIdFlag == 'Y' && pic18Core(s().device) == pic18 &&
                   !algorithmOf(s().device).twelveBit;
        };
        if (reads()) return true;
        const auto& items = win_.listItems(ctl::kChipList);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (upper(items[i]).rfind(pic18 ? "PIC18F" : "PIC16F", 0) != 0) continue;
            selectChip(static_cast<int>(i));
            if (reads()) return true;
        }
        return false;
    }

    // -p auto: reads the device ID with the selected chip's core, then with
    // the other one (14-bit first when the selected chip reads none), and
    // selects the chip it belongs to. A port that fails ends it at once.
    int selectByDeviceId() {
        const int before = s().device.listIndex;
        const bool pic18First = !noChip() && pic18Core(s().device);
        for (const bool pic18 : {pic18First, !pic18First}) {
            if (!selectIdReader(pic18)) continue;
            ChipService chip(s());
            const int r = chip.checkLink(&failure_);
            chip.leave();
            if (r == 0 && failure_ == Failure::port) {
                if (before >= 0) selectChip(before);
                return fail();
            }
            if (r != 2 || s().pass.deviceIdRead < 0) continue;
            const int id = s().pass.deviceIdRead;
            const std::string name = chipOfDeviceId(s(), id);
            const int index = name.empty() ? -1 : findChip(name);
            if (index < 0) {
                if (before >= 0) selectChip(before);
                err_ << formatText(
                    "Error: the device ID %04X belongs to no chip of the device list\n",
                    static_cast<unsigned>(id));
                return kExitFailed;
            }
            selectChip(index);
            return kExitOk;
        }
        if (before >= 0) selectChip(before);
        s().message.clear();
        err_ << "Error: -p auto read no device ID: the socket is empty or its chip has none\n"
                "(12-bit and older 14-bit chips); name the chip with -p CHIP\n";
        failure_ = Failure::noChip;
        ending_ = ui::Ending::failed;
        return kExitNoChip;
    }

    int applyOptions() {
        if (!a_.chip.empty() && !autoPart(a_.chip)) {
            const int index = findChip(a_.chip);
            if (index < 0) {
                throw UsageError{"unknown chip '" + a_.chip + "' (ferrolux-cli chips lists them)"};
            }
            selectChip(index);
        }
        bool parallelChosen = false;
        if (!a_.port.empty()) {
            std::string name = upper(a_.port);
            if (a_.port.find('/') != std::string::npos) name = comNameFor(a_.port);
            if (name == "SIM") name = ui::kSimulatorPort;
            if (name.size() == 3 && name[0] == '3') name = "0" + name;  // 378 -> 0378
            // FTDI adapters keep their serial number as given: "ftdi:A12B".
            if (name.rfind("FTDI", 0) == 0) name = "ftdi" + a_.port.substr(4);
            if (name == "ftdi:SIM" || upper(name) == "FTDI:SIM1") name = "ftdi:SIM1";
            const int item = ctl::portItemOf(name);
            if (item == 0) throw UsageError{"unknown port '" + a_.port + "'"};
            if (item == ctl::kPort0278 || item == ctl::kPort0378 || item == ctl::kPort03BC) {
                parallelChosen = true;
                if (useParallelPort(item) != 0) {
                    ending_ = main().lastEnding();
                    if (ending_ == ui::Ending::refused) return kExitFailed;
                    // The adapter did not answer at that port; selftest tells why.
                    failure_ = Failure::port;
                    if (portFailed() && a_.command != "selftest") return kExitNoChip;
                }
            } else {
                main().choosePort(item, name);
            }
        }
        if (!parallelChosen && (!a_.adapter.empty() || !a_.vpp.empty())) {
            if (!s().link.serial) {
                useParallelPort(ctl::portItemOf(s().link.portName));
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

    // Reads the hex file as the window's open command does: the file checked,
    // a wrong checksum asked about, the file remembered for the next start.
    bool openFile(const std::string& file) {
        std::error_code ec;
        const auto path = std::filesystem::absolute(platform::pathFromUtf8(file), ec);
        s().file.hexPath = ec ? file : platform::utf8Of(path);
        s().file.quiet = false;
        if (openHexFile(s(), file_) != 0) {
            if (s().message == kHexOpenError) s().message += "\n" + whyNotRead(file);
            return fail(), false;
        }
        const std::string doubt = fileDoubt(file_);
        if (!doubt.empty() && win_.ask(doubt, "Warning!", QuestionKind::doubt) != ui::Answer::ok)
            return cancelled(), false;
        setReloadFlag(s(), '1');
        return true;
    }

    // The file and the system's reason it cannot be read.
    static std::string whyNotRead(const std::string& file) {
        const std::string reason = openFailure(file);
        return file + ": " + (reason.empty() ? std::string("cannot be read") : reason);
    }

    // Write and verify take the file's code and data; both check it against
    // the chip before the chip is touched.
    // What write and batch take of the file, by their options.
    WriteOptions writeOptions() {
        const Family& family = algorithmOf(s().device);
        WriteOptions w;
        w.code = !has("--no-code");
        w.data = !family.twelveBit && !has("--no-data");
        w.config = s().file.hasConfigWord && !has("--no-config");
        w.eraseFirst = family.erasable && !has("--no-erase");
        w.keepData = has("--keep-eeprom");
        if (w.keepData && (family.twelveBit || s().device.dataBytes <= 0)) {
            throw UsageError{"--keep-eeprom: " + s().device.name + " has no data memory"};
        }
        if (w.keepData && !w.eraseFirst) {
            throw UsageError{
                "--keep-eeprom keeps the data memory over the erase; with "
                "--no-erase nothing erases it"};
        }
        return w;
    }

    int fileCommand(bool writing) {
        if (!openFile(a_.operands[0])) return failure();
        if (noChip()) return refuseWithoutChip();
        const Family& family = algorithmOf(s().device);
        const WriteOptions w = writeOptions();
        const VerifyOptions v{!has("--no-code"), has("--data")};
        // The file read once: checked against the chip, then written or compared.
        ChipImage image;
        const bool needsData = writing ? w.code || w.data : true;
        if (fitSelectedFile(s(), file_, image, needsData) != 0) return rejectFile();
        if (writing && productionAsked()) {
            if (!setUpProduction(w)) return cancelled();
            std::optional<ChipResult> result;
            return produce(image, w, result);
        }
        const bool fileData = image.hasData();
        const int r = onChip(
            [&](ChipService& chip) {
                if (!chip.sameChipOrAgreed()) return Result{Outcome::cancelled, Failure::none};
                return writing ? chip.write(w, image) : chip.verify(v, image);
            },
            "OK\n");
        if (r != kExitOk) return r;
        std::string note;
        if (w.keepData && writing) {
            note = w.data && fileData
                       ? "EEPROM: the file's data written (it brings its own; --keep-eeprom "
                         "left the chip's)"
                       : "EEPROM: the chip's data kept (read before the erase, written back)";
        }
        const std::string done =
            writing ? "written: " + memoriesOf(s().device, image, w.code, w.data, w.config)
                    : "compared: " +
                          memoriesOf(s().device, image, v.code || family.twelveBit, v.data, true);
        report(done, note,
               chipChecksum(s().device, writing ? heldAfterWrite(s().device, image, s().chip,
                                                                 w.code, w.config, w.eraseFirst)
                                                : image));
        return kExitOk;
    }

    bool productionAsked() const { return productionArgs(a_).any(); }

    // The production run of write and batch: the serial's place checked
    // against the chip and what is written, a START given before confirmed.
    // False when the user declines.
    bool setUpProduction(const WriteOptions& w) {
        ProductionOptions o;
        std::string error;
        parseProduction(productionArgs(a_), o, error);  // checked when the options were
        const std::string file = a_.operands[0];
        production_ = std::make_unique<Production>(
            o, file, fileSha256(platform::pathFromUtf8(file)).value_or(""));
        if (!production_->placeFits(s().device, error)) throw UsageError{error};
        if (o.at && o.at->place == SerialPlace::eeprom && !w.data)
            throw UsageError{"--serial-at eeprom needs the data memory written (not --no-data)"};
        if (o.at && o.at->place != SerialPlace::eeprom && !w.code)
            throw UsageError{"--serial-at " + a_.serialAt +
                             " needs the code written (not --no-code)"};
        std::string why;
        const auto before = production_->givenBefore(why);
        if (!why.empty()) throw UsageError{why};
        if (!before) return true;
        const std::string question = "Serial " + serialText(*o.start, o.format) +
                                     " was given already: " + platform::utf8Of(o.log) +
                                     " has given up to " + serialText(*before, o.format) +
                                     ".\nGive it again?";
        return win_.ask(question, "Warning!", QuestionKind::doubt) == ui::Answer::ok;
    }

    // The log line of the chip just handled.
    ChipFacts factsOf(int checksum, std::chrono::steady_clock::time_point began) {
        ChipFacts f;
        f.chip = s().device.name;
        f.deviceId = s().pass.deviceIdRead;
        f.revisionMask = s().device.revisionMask;
        f.checksum = checksum;
        f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        f.port = s().link.portName;
        return f;
    }

    // One chip of a production run: the next serial into the image, the
    // write with its verify, the log line, the report. `result` says how the
    // chip ended, for batch.
    int produce(const ChipImage& file, const WriteOptions& w, std::optional<ChipResult>& result) {
        Production& p = *production_;
        const auto began = started_ = std::chrono::steady_clock::now();
        ChipImage image = file;
        std::string error;
        result.reset();  // nothing done with the chip
        if (!p.serialize(s().device, image, error)) {
            win_.messageBox(error, "Error", ui::Buttons::ok);
            ending_ = ui::Ending::refused;
            numbersOut_ = true;  // no later chip would fit either: batch ends
            return kExitFailed;
        }
        bool started = false, other = false;
        const int r = onChip([&](ChipService& chip) {
            if (!chip.sameChipOrAgreed()) {
                other = true;
                return Result{Outcome::cancelled, Failure::none};
            }
            started = true;
            const Result written = chip.write(w, image);
            // Declined before anything was written (the Vpp limit, a 12-bit chip not blank).
            if (written.outcome == Outcome::cancelled) started = false;
            return written;
        });
        // A test's stand-in for a run that ends between programming and logging.
        if (started && hooks_.afterProgramming && !hooks_.afterProgramming()) return kExitFailed;
        if (!started && !other && ending_ == ui::Ending::cancelled) {
            p.cancel();
            return r;
        }
        const ChipResult chipResult = !started                        ? ChipResult::noChip
                                      : r == kExitOk                  ? ChipResult::ok
                                      : failure_ == Failure::mismatch ? ChipResult::verifyFailed
                                                                      : ChipResult::writeFailed;
        result = chipResult;
        const int checksum =
            chipResult == ChipResult::ok
                ? chipChecksum(s().device, heldAfterWrite(s().device, image, s().chip, w.code,
                                                          w.config, w.eraseFirst))
                : -1;
        const std::string serial = p.serialShown();
        std::string why;
        if (!p.record(chipResult, factsOf(checksum, began), why)) {
            win_.endProgress();
            err_ << "Error: the production log: " << why << '\n';
            return r == kExitOk ? kExitFailed : r;
        }
        if (r != kExitOk) return r;
        print("OK\n");
        const std::string note = serial.empty() ? std::string() : "serial: " + serial;
        report("written: " + memoriesOf(s().device, image, w.code, w.data, w.config), note,
               checksum);
        return kExitOk;
    }

    // Program on insert: chip after chip until Ctrl-C, then the summary.
    int batch() {
        if (!openFile(a_.operands[0])) return failure();
        if (noChip()) return refuseWithoutChip();
        const WriteOptions w = writeOptions();
        ChipImage image;
        if (fitSelectedFile(s(), file_, image, w.code || w.data) != 0) return rejectFile();
        if (!setUpProduction(w)) return cancelled();
        BatchSteps steps;
        steps.poll = [&] {
            ChipService chip(s());
            Failure why = Failure::none;
            const int r = chip.checkLink(&why);
            chip.leave();
            if (r == 2 && otherChipOnBoard(s()).other) return SocketState::otherChip;
            if (r != 0) return SocketState::chip;
            if (why != Failure::noChip) return SocketState::noBoard;  // the message says why
            s().message.clear();
            return SocketState::empty;
        };
        steps.program = [&] {
            std::optional<ChipResult> result;
            produce(image, w, result);
            return result;
        };
        steps.refuse = [&] {
            const OtherChip other = otherChipOnBoard(s());
            win_.endProgress();
            err_ << formatText("Refused: the device ID %04X belongs to ",
                               static_cast<unsigned>(other.id))
                 << (other.chip.empty() ? "no chip of the device list" : other.chip) << ", not to "
                 << s().device.name << "; nothing written\n";
            std::string why;
            if (!production_->record(ChipResult::noChip,
                                     factsOf(-1, std::chrono::steady_clock::now()), why))
                err_ << "Error: the production log: " << why << '\n';
        };
        steps.enter = [&] {
            std::string line;
            return static_cast<bool>(std::getline(in_, line));
        };
        // The simulated board's clock costs no real time: a socket changed
        // from outside (another run's "sim insert") is polled at a real pace
        // too. A test that changes it between polls needs no such wait.
        const bool simulated =
            s().link.portName == ui::kSimulatorPort || s().link.portName == app::kSimulatorFtdiPort;
        steps.pause = [&](int ms) {
            ChipService(s()).pause(ms);
            if (simulated && !hooks_.beforePoll)
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        steps.stopped = [&] { return stopped() || numbersOut_; };
        steps.beforePoll = hooks_.beforePoll;
        const bool ids = s().device.deviceIdFlag == 'Y';
        const BatchSummary summary = runBatch(steps, ids, err_);
        ChipService(s()).leave();
        prog_.host.commandEnded(s());
        const auto first = production_->first(), last = production_->last();
        const SerialFormat format = production_->options().format;
        win_.endProgress();
        err_ << "Batch: "
             << summaryText(summary, first ? serialText(*first, format) : std::string(),
                            last ? serialText(*last, format) : std::string())
             << '\n';
        if (numbersOut_) return kExitFailed;
        if (summary.boardLost) {
            win_.messageBox(s().message.empty() ? "The board stopped answering." : s().message,
                            "Error", ui::Buttons::ok);
            return kExitNoChip;
        }
        return summary.failed > 0 ? kExitFailed : kExitOk;
    }

    int erase(const std::string& what) {
        if (noChip()) return refuseWithoutChip();
        const EraseKind kind = what == "all"    ? EraseKind::chip
                               : what == "code" ? EraseKind::code
                                                : EraseKind::data;
        if (!ask(eraseQuestion(s().device, kind).c_str())) return cancelled();
        return onChip(
            [&](ChipService& chip) {
                if (what == "all") return chip.eraseChip() == 0;
                return (what == "code" ? chip.eraseCode() : chip.eraseData()) == 0;
            },
            "OK\n");
    }

    int runCommand() {
        const std::string& c = a_.command;
        if (c == "chips") {
            for (const std::string& name : win_.listItems(ctl::kChipList))
                out_ << name << '\n';
            return kExitOk;
        }
        if (c == "blank") return blank();
        if (c == "detect") return detect();
        if (c == "selftest") return selftestCommand(s(), out_);
        if (c == "write" || c == "verify") return fileCommand(c == "write");
        if (c == "batch") return batch();
        if (c == "read") return read();
        if (c == "erase") return erase(a_.operands[0]);
        if (c == "config") return config();
        if (c == "ids") return ids();
        return eeprom();
    }

    int detect() {
        if (noChip()) return refuseWithoutChip();
        win_.enable(ctl::kStatusField, true);
        const int r = ChipService(s()).checkLink(&failure_);
        if (r == 0) return fail();
        ChipService(s()).leave();
        prog_.host.commandEnded(s());
        if (spoiled()) return kExitFailed;
        if (r == 2) {
            print("DEV-ID: " + win_.text(ctl::kDevIdField) + "\n");
            if (const OtherChip other = otherChipOnBoard(s()); other.other) {
                err_ << formatText("Error: the device ID %04X belongs to ",
                                   static_cast<unsigned>(other.id))
                     << (other.chip.empty() ? "no chip of the device list" : other.chip)
                     << ", not to " << s().device.name << '\n';
                return kExitMismatch;
            }
        } else {
            print("DEV-ID: none (" + s().device.name + " has no device ID)\n");
        }
        return kExitOk;
    }

    // A directory of this run's own, removed with it.
    struct PrivateDir {
        std::filesystem::path path = platform::makePrivateDir();
        ~PrivateDir() {
            std::error_code ec;
            if (!path.empty()) std::filesystem::remove_all(path, ec);
        }
    };

    // One of the program's own files in the program directory: the device
    // list, the state file, or anything of the simulated board (its chips'
    // images and lock). A readback never replaces them.
    bool ownFile(const std::string& target) {
        namespace fs = std::filesystem;
        std::error_code ec;
        auto key = [&ec](const fs::path& p) {
            std::string k = platform::utf8Of(fs::weakly_canonical(fs::absolute(p, ec), ec));
#if defined(_WIN32)
            std::replace(k.begin(), k.end(), '\\', '/');
            k = upper(k);  // one file whatever the case
#endif
            return k;
        };
        const std::string file = key(platform::pathFromUtf8(target));
        const std::string sim = key(s().programDir / "sim") + "/";
        return file == key(s().programDir / kDeviceListFile) ||
               file == key(s().programDir / kStateFile) || file.rfind(sim, 0) == 0;
    }

    // Reads the chip into a private folder first, then saves the file into the
    // current directory, as -o FILE or on the standard output (-o -).
    int read() {
        const bool text = has("--text");
        const char* name = text ? "readback.txt" : "readback.hex";
        const std::string target = a_.output.empty() ? std::string(name) : a_.output;
        if (a_.output != "-" && ownFile(target)) {
            err_ << "Error: " << target
                 << " is one of the program's own files (device list, state file or simulated "
                    "chip); the readback does not replace it.\n";
            return kExitFailed;
        }
        const auto save = [&](ChipService& chip) {
            s().pass.blank = true;
            return chip.saveReadback(text) == 0;
        };
        PrivateDir scratch;
        if (scratch.path.empty()) throw UsageError{"no temporary directory for the readback"};
        s().outputDir = scratch.path;
        const int r = onChip(save);
        s().outputDir.clear();
        if (r != kExitOk) return r;
        // A protected chip's readback is zeros, not its program: a failure
        // unless the user says it is what they want.
        const bool protectedChip = !protectedReadbackNote(s()).empty();
        if (const std::string note = protectedReadbackNote(s()); !note.empty()) {
            if (!a_.force) {
                win_.messageBox(note + "\nNothing was saved; --force saves it all the same.",
                                "Error", ui::Buttons::ok);
                return kExitFailed;
            }
            win_.messageBox(note, "Warning!", ui::Buttons::ok);
        }
        const auto made = scratch.path / name;
        // The checksum of an unprotected chip, from its hex readback.
        const int sum = text || protectedChip ? -1 : readbackChecksum(made);
        const std::string done = "read: " + chipMemories(s().device);
        std::ifstream in(made, std::ios::binary);
        const std::string content{std::istreambuf_iterator<char>(in), {}};
        if (a_.output == "-") {
            win_.endProgress();
            // A full disk or a closed pipe fails the write: the copy is not whole.
            errno = 0;
            out_ << content << std::flush;
            if (!out_) {
                const int error = errno;
                err_ << "Error: Cannot write the readback to the standard output"
                     << (error != 0 ? std::string(": ") + std::strerror(error) : std::string())
                     << ".\n";
                return kExitFailed;
            }
            report(done, "", sum);
            return kExitOk;
        }
        // Replaced as a whole: a failed write leaves the old file as it was.
        platform::FileReplacement file(platform::pathFromUtf8(target));
        if (!file.commit(content)) {
            win_.endProgress();
            err_ << "Error: Cannot open output file.\n" << file.error() << '\n';
            return kExitFailed;
        }
        print("'" + target + "' saved\n");
        report(done, "", sum);
        return kExitOk;
    }

    // Reads the chip without writing a file; the readback clears the blank
    // flag at the first word that is not erased.
    int blank() {
        if (noChip()) return refuseWithoutChip();
        PrivateDir scratch;
        if (scratch.path.empty()) throw UsageError{"no temporary directory for the readback"};
        win_.enable(ctl::kStatusField, true);
        ChipService chip(s());
        if (chip.checkLink(&failure_) == 0 || chip.checkBlank(scratch.path) != 0) return fail();
        chip.leave();
        win_.setText(ctl::kStatusField, "  ");
        win_.enable(ctl::kStatusField, false);
        prog_.host.commandEnded(s());
        if (spoiled()) return kExitFailed;
        if (s().pass.blank || s().pass.usedAddress < 0) {
            print(s().pass.blank ? "blank\n" : "not blank\n");
        } else {
            // PIC18 chips: byte addresses and bytes; the others: words.
            const bool bytes = pic18Core(s().device) || s().pass.usedAddress >= kDataWordBase;
            print(
                formatText(bytes ? "not blank: %04X holds %02X\n" : "not blank: %04X holds %04X\n",
                           static_cast<unsigned>(s().pass.usedAddress),
                           static_cast<unsigned>(s().pass.usedValue)));
        }
        // A blank chip holds the erased image; another its readback's.
        const int sum = s().pass.blank ? chipChecksum(s().device, ChipImage{})
                                       : readbackChecksum(scratch.path / "readback.hex");
        report("read: " + chipMemories(s().device), "", sum);
        return s().pass.blank ? kExitOk : kExitMismatch;
    }

    Outcome outcomeOf(bool ok) {
        failure_ = ok ? Failure::none : Failure::failed;
        return ok ? Outcome::ok : Outcome::failed;
    }
    Outcome outcomeOf(Outcome o) {
        failure_ = o == Outcome::failed ? Failure::failed : Failure::none;
        return o;
    }
    Outcome outcomeOf(Result r) {
        failure_ = r.failure;
        return r.outcome;
    }

    // A chip command of the service, as the window runs one: a chip selected,
    // the link checked first, the chip let go after it, a failure told, and
    // `done` printed when it succeeded.
    template <typename Op>
    int onChip(Op op, const std::string& done = {}) {
        if (noChip()) return refuseWithoutChip();
        ChipService chip(s());
        if (chip.checkLink(&failure_) == 0) return fail();
        const Outcome outcome = outcomeOf(op(chip));
        if (outcome == Outcome::failed) return fail();
        chip.leave();
        prog_.host.commandEnded(s());
        if (outcome == Outcome::cancelled) return cancelled();
        ending_ = ui::Ending::ok;
        if (spoiled()) return kExitFailed;
        if (!done.empty()) print(done);
        return kExitOk;
    }

    int config() {
        if (!noChip() && pic18Core(s().device)) return configBytes();
        std::array<std::string, 14> labels;
        if (!noChip()) readConfigLabels(s(), labels);
        // Hex words first, NAME=0|1 bits on them (or on the chip's word).
        std::vector<std::string> words;
        std::vector<NamedBits> named;
        for (const std::string& operand : a_.operands) {
            if (operand.find('=') == std::string::npos) {
                words.push_back(operand);
            } else if (!noChip()) {
                named.push_back(namedBits(labels, operand));
            }
        }
        if (words.size() > 2) throw UsageError{"wrong number of arguments for 'config'"};
        for (const std::string& w : words) {
            if (parseHex(w, kConfigLargest) < 0) {
                throw UsageError{"the configuration word is hex up to 3FFF (14 bits), not '" + w +
                                 "'"};
            }
        }
        const bool writing = !a_.operands.empty();
        if (!words.empty()) {
            const int word = parseHex(words[0], kConfigLargest);
            if (algorithmOf(s().device).twelveBit && word > kConfigLargest12Bit) {
                throw UsageError{"the configuration word of " + s().device.name +
                                 " has 12 bits: up to FFF, not '" + words[0] + "'"};
            }
            s().chip.configWord = word;
        }
        const int mask2 = ChipService(s()).secondConfigMask();
        if (words.size() > 1) {
            if (mask2 == 0) {
                throw UsageError{s().device.name + " has one configuration word, not two"};
            }
            s().chip.config2Word = parseHex(words[1], kConfigLargest);
        }
        std::vector<std::string> protecting;
        for (const NamedBits& bits : named)
            if (bits.protects) protecting.push_back("Config-Word " + bits.label);
        if (!protecting.empty() && win_.messageBox(ui::protectionQuestion(protecting), "Warning!",
                                                   ui::Buttons::okCancel) != ui::Answer::ok) {
            return cancelled();
        }
        std::vector<std::pair<int, int>> calibration;
        const int word = s().chip.configWord;
        const bool keepSecond = writing && mask2 != 0 && words.size() < 2;
        const bool readFirst = keepSecond || (words.empty() && !named.empty());
        const int r = onChip([&](ChipService& chip) {
            // Written alone, the first word leaves the second as the chip has it;
            // named bits alone change the word the chip holds.
            if (readFirst && chip.readConfig() != 0) return false;
            if (!words.empty()) s().chip.configWord = word;
            for (const NamedBits& bits : named)
                s().chip.configWord = (s().chip.configWord & ~bits.mask) | bits.value;
            if ((writing ? chip.writeConfig() : chip.readConfig()) != 0) return false;
            if (!writing) calibration = chip.readCalibrationWords();
            return true;
        });
        if (r != kExitOk) return r;
        std::string shown =
            formatText("Config-Word: %.4X\n", static_cast<unsigned>(s().chip.configWord));
        for (int bit = 13; bit >= 0; --bit) {
            const std::string& label = labels[static_cast<std::size_t>(bit)];
            // An active-low bit ("/CP") is ticked when it reads 0.
            const bool set = ((s().chip.configWord >> bit) & 1) != 0;
            const bool ticked = !label.empty() && label[0] == '/' ? !set : set;
            shown += formatText("  Bit %-2d [%c] %s\n", bit, ticked ? 'x' : ' ', label.c_str());
        }
        if (mask2 != 0) {
            shown +=
                formatText("Config-Word 2: %.4X\n", static_cast<unsigned>(s().chip.config2Word));
        }
        for (const auto& [address, word] : calibration) {
            shown += formatText("Calibration %04X: %04X\n", static_cast<unsigned>(address),
                                static_cast<unsigned>(word));
        }
        print(shown + (writing ? "OK\n" : ""));
        return kExitOk;
    }

    // The bits of the configuration word a "NAME=0|1" setting names: every
    // bit with that label (a leading '/' optional, any case), and whether it
    // turns code or data protection on.
    struct NamedBits {
        std::string label;
        int mask = 0;
        int value = 0;
        bool protects = false;
    };

    NamedBits namedBits(const std::array<std::string, 14>& labels, const std::string& setting) {
        const std::size_t eq = setting.find('=');
        std::string name = upper(setting.substr(0, eq));
        if (!name.empty() && name[0] == '/') name.erase(0, 1);
        const std::string value = setting.substr(eq + 1);
        NamedBits bits;
        std::string known;  // the chip's labels, each once
        for (int bit = 13; bit >= 0; --bit) {
            const std::string& label = labels[static_cast<std::size_t>(bit)];
            if (ui::functionlessBit(label)) continue;
            std::string bare = upper(label);
            if (bare[0] == '/') bare.erase(0, 1);
            if ((" " + known + " ").find(" " + label + " ") == std::string::npos)
                known += (known.empty() ? "" : " ") + label;
            if (bare != name || name.empty()) continue;
            bits.label = label;
            bits.mask |= 1 << bit;
        }
        if (bits.mask == 0) {
            throw UsageError{"unknown configuration bit '" + setting.substr(0, eq) + "' of " +
                             s().device.name + "; its bits: " + known};
        }
        if (value != "0" && value != "1") {
            throw UsageError{"a named configuration bit is set to 0 or 1, not '" + setting + "'"};
        }
        bits.value = value == "1" ? bits.mask : 0;
        // Code, data and write protection are on when such a bit is 0.
        const std::string bare = upper(bits.label[0] == '/' ? bits.label.substr(1) : bits.label);
        bits.protects = value == "0" && (bare.rfind("CP", 0) == 0 || bare.rfind("WRT", 0) == 0);
        return bits;
    }

    // A PIC18 chip's configuration bytes: shown, or read, changed by the
    // settings and written back whole.
    int configBytes() {
        const ui::ConfigByteLabels labels = ui::loadConfigByteLabels(s());
        std::vector<ui::ConfigSetting> settings;
        for (const std::string& operand : a_.operands) {
            ui::ConfigSetting setting;
            std::string error;
            if (operand.find('=') == std::string::npos) {
                error = s().device.name + " takes ADDR=VALUE or NAME=0|1, not '" + operand + "'";
            } else {
                ui::parseConfigSetting(s().device, labels, operand, setting, error);
            }
            if (!error.empty()) throw UsageError{error};
            settings.push_back(setting);
        }
        // The protection bits the settings turn on, whatever the chip holds.
        std::array<int, kPic18ConfigBytes> probe;
        probe.fill(0xFF);
        for (const ui::ConfigSetting& setting : settings)
            ui::applyConfigSetting(probe, setting);
        const auto protecting = ui::protectingBits(s().device, labels, probe);
        if (!protecting.empty() && win_.messageBox(ui::protectionQuestion(protecting), "Warning!",
                                                   ui::Buttons::okCancel) != ui::Answer::ok) {
            return cancelled();
        }
        const int r = onChip([&](ChipService& chip) {
            if (chip.readConfig() != 0) return false;
            if (settings.empty()) return true;
            for (const ui::ConfigSetting& setting : settings)
                ui::applyConfigSetting(s().chip.configBytes, setting);
            return chip.writeConfig() == 0;
        });
        if (r != kExitOk) return r;
        print(ui::configBytesListing(s().device, labels, s().chip.configBytes) +
              (settings.empty() ? "" : "OK\n"));
        return kExitOk;
    }

    int ids() {
        const bool writing = !a_.operands.empty();
        for (std::size_t i = 0; i < a_.operands.size() && i < 4; ++i)
            s().chip.idValues[i] = parseHex(a_.operands[i], kIdLargest);
        const int r = onChip([&](ChipService& chip) {
            if (writing) return chip.writeIds() == 0;
            chip.readIds();
            return true;
        });
        if (r != kExitOk) return r;
        std::string shown;
        for (std::size_t i = 0; i < 4; ++i) {
            shown += formatText(i ? "  ID%d: %X" : "ID%d: %X", static_cast<int>(i),
                                static_cast<unsigned>(s().chip.idValues[i] & 0xF));
        }
        print(shown + "\n" + (writing ? "OK\n" : ""));
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
        if (!s().device.name.empty() &&
            (algorithmOf(s().device).twelveBit || s().device.dataBytes <= 0)) {
            win_.messageBox(kNoDataMemory, "ERROR!", ui::Buttons::ok);
            return kExitFailed;
        }
        std::vector<int> bytes;
        s().pass.blank = true;
        const int r = onChip([&](ChipService& chip) {
            bytes = chip.readDataMemory();
            if (edits.empty()) return true;
            // Every byte goes back in order; only those that differ are programmed.
            for (const auto& [offset, value] : edits)
                bytes[static_cast<std::size_t>(offset)] = value;
            if (!chip.beginDataWrite()) return false;
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (!chip.writeDataByte(bytes[i])) {
                    s().message = formatText("Write Error!\nat data memory byte %04X (%02X)",
                                             static_cast<unsigned>(i),
                                             static_cast<unsigned>(bytes[i] & 0xFF));
                    return false;
                }
            }
            return true;
        });
        if (r != kExitOk) return r;
        std::string shown;
        for (std::size_t i = 0; i < bytes.size() && edits.empty(); ++i)
            shown += formatText("%04X: %02X \n", static_cast<unsigned>(i),
                                static_cast<unsigned>(bytes[i] & 0xFF));
        print(edits.empty() ? shown : "OK\n");
        return kExitOk;
    }

    const Args& a_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    const volatile std::sig_atomic_t* stop_;
    const RunHooks& hooks_;
    std::unique_ptr<Production> production_;  // write and batch with --serial or --log
    bool numbersOut_ = false;                 // the next serial number no longer fits
    ConsoleWindow win_;
    app::Program prog_;
    struct {
        std::string name;
        char adapter, vpp;
    } storedPort_{};
    std::filesystem::path madeLink_;  // a COMn link this run made for a device path
    // How the last step ended: the exit status, and whether a port given as
    // an option is kept, follow it.
    ui::Ending ending_ = ui::Ending::none;
    Failure failure_ = Failure::none;  // why the last chip step failed
    HexFile file_;                     // the hex file of write and verify, read once
    // When the command (in batch: the chip) began, for the report's time.
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace

std::string usage() {
    std::string text = R"(usage: ferrolux-cli [options] COMMAND [ARGS]
  -C, --dir=DIR      program directory (kestrum.ini, kestrum.cfg); default: the
                     current one when it holds kestrum.ini, else the per-user one
  -P, --port=NAME    COM1..COM8, 0278, 0378, 03BC, a serial device path
                     (/dev/ttyUSB0, /dev/serial/by-id/...), ftdi (the first FTDI
                     USB adapter, in bit-bang mode) or ftdi:SERIAL, or SIM1, the
                     built-in simulated board ("sim" also works; ftdi:SIM1 behind
                     a simulated FTDI adapter)
  -p, --part=NAME    a chip of the device list; default: the stored chip;
                     auto: the chip whose device ID is in the socket (read as
                     the stored chip's core reads it, then 14-bit, then PIC18)
  -c, --chip=NAME    the same as --part
  -s, --speed=N      0 (very low) .. 3 (high)
      --adapter=N    parallel adapter: 1 AN589, 2 P16PRO/PP, 3 the same inverted
      --vpp=N        Vpp line of the P16PRO/PP adapters: 3 or 4
      --lvp          low-voltage programming (AN589 adapter, capable chips)
      --force        answer OK to questions about something wrong: a hex file
                     with a wrong checksum or no end record, a device ID of
                     another chip, a chip that takes less Vpp than the board
                     gives, a calibration word that reads wrong; read: save the
                     readback of a code-protected chip
  -o, --output=FILE  read: write FILE instead of readback.hex/.txt; - is stdout
  -y, --yes          answer OK to questions that confirm what was asked: erase,
                     overwrite a chip that is not blank, set protection bits
                     (not those --force answers). Without a terminal, what
                     neither answers is Cancel
  -q, --quiet        no progress line
  -h, --help         this text; after a command, that command's help
  -V, --version      the version
commands:
)";
    for (const CommandSpec& c : kCommands)
        text += "  " + std::string(c.synopsis) + "\n";
    text += R"(exit status:
  0 success   1 failure or Cancel   2 usage error   3 verify mismatch (blank:
  not blank; detect: another chip's ID)   4 no programmer or no chip found
  (port does not open, board or chip does not answer)   128+N stopped by
  signal N (Ctrl-C, SIGTERM, SIGHUP: the command ends at the next ICSP frame,
  programming mode is left)
Chip commands first name the chip, port and speed on the error output, as
PIC16F628A on SIM1 (speed 3) -- not with -q; results go to the output.
Port, chip and speed options are stored in kestrum.cfg when the port works.
Numbers are hex, with or without 0x.
)";
    return text;
}

std::string commandHelp(const std::string& command) {
    const CommandSpec* c = findCommand(command);
    if (c == nullptr) return usage();
    return "usage: ferrolux-cli [options] " + std::string(c->synopsis) + "\n" + c->help;
}

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, Terminal terminal, const volatile std::sig_atomic_t* stop) {
    RunHooks hooks;
    hooks.stop = stop;
    return run(args, in, out, err, terminal, hooks);
}

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, Terminal terminal, const RunHooks& hooks) {
    Args a;
    std::string error;
    if (!parse(args, a, error) || (!a.help && !a.version && !validate(a, error))) {
        err << "ferrolux-cli: " << error << "\n(ferrolux-cli --help lists the options)\n";
        return kExitUsage;
    }
    if (a.version) {
        out << "ferrolux-cli " FERROLUX_VERSION "\n";
        return kExitOk;
    }
    if (a.help || a.command == "help") {
        const std::string topic = !a.operands.empty() && a.command == "help" ? a.operands[0]
                                  : a.command == "help"                      ? std::string()
                                                                             : a.command;
        out << (topic.empty() ? usage() : commandHelp(topic));
        return kExitOk;
    }
    std::error_code ec;
    std::filesystem::path dir;
    if (!a.dir.empty()) {
        dir = std::filesystem::absolute(platform::pathFromUtf8(a.dir), ec);
        if (ec || !std::filesystem::is_directory(dir, ec)) {
            err << "ferrolux-cli: " << a.dir << ": no such directory\n";
            return kExitUsage;
        }
    } else {
        const app::ProgramDirChoice found = app::findProgramDir();
        dir = found.dir;
        if (dir.empty() && a.command == "ports") dir = std::filesystem::current_path(ec);
        if (dir.empty()) {
            err << "ferrolux-cli: " << app::notFoundText(found) << "\n";
            return kExitFailed;
        }
    }
    if (a.command == "sim") return simCommand(dir.lexically_normal(), a.chip, a.operands, out, err);
    if (a.command == "ports") {
        for (const platform::PortEntry& p : platform::listPorts(dir))
            out << p.name << "  " << p.device << "  (" << p.note << ")\n";
        out << ui::kSimulatorPort << "  (built-in simulated board)\n";
        return kExitOk;
    }
    Runner runner(a, dir.lexically_normal(), in, out, err, terminal, hooks);
    return runner.run();
}

}  // namespace ferrolux::cli
