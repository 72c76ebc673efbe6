#include "platform/system_info.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#ifdef FERROLUX_HAVE_LIBFTDI
#include "platform/linux/ftdi_libftdi.h"
#endif

namespace ferrolux::platform {

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<fs::path> entries(const fs::path& dir) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        found.push_back(it->path());
    std::sort(found.begin(), found.end());
    return found;
}

// ttyS ports exist in numbers; only those whose UART type is known are there.
bool realTty(const fs::path& sysEntry) {
    std::error_code ec;
    if (!fs::exists(sysEntry / "device", ec)) return false;
    const std::string name = sysEntry.filename().string();
    if (name.rfind("ttyS", 0) != 0) return true;
    const std::string type = firstLine(sysEntry / "type");
    return !type.empty() && type != "0";
}

}  // namespace

std::vector<PortEntry> listPorts(const fs::path& programDir, const fs::path& root) {
    std::vector<PortEntry> ports;
    std::error_code ec;
    for (int n = 1; n <= 8; ++n) {
        const std::string com = "COM" + std::to_string(n);
        const fs::path link = programDir / com;
        if (fs::is_symlink(link, ec)) {
            const fs::path target = fs::read_symlink(link, ec);
            ports.push_back({com, target.string(),
                             fs::exists(link, ec)
                                 ? "link in the program directory"
                                 : "link in the program directory, target missing"});
        }
    }
    for (const fs::path& sys : entries(root / "sys/class/tty")) {
        const std::string name = sys.filename().string();
        if (!realTty(sys)) continue;
        const std::string device = "/dev/" + name;
        if (name.rfind("ttyS", 0) == 0) {
            const int n = std::atoi(name.c_str() + 4);
            if (n < 8) {
                ports.push_back({"COM" + std::to_string(n + 1), device, "serial port"});
                continue;
            }
        }
        ports.push_back({device, device, "serial device"});
    }
    for (const fs::path& id : entries(root / "dev/serial/by-id")) {
        const fs::path target = fs::read_symlink(id, ec);
        const std::string to = ec ? std::string() : "/dev/" + target.filename().string();
        ports.push_back({"/dev/serial/by-id/" + id.filename().string(), to, "serial device by id"});
    }
    for (const fs::path& parport : entries(root / "proc/sys/dev/parport")) {
        const std::string name = parport.filename().string();
        if (name.rfind("parport", 0) != 0) continue;
        const unsigned long base =
            std::strtoul(firstLine(parport / "base-addr").c_str(), nullptr, 10);
        char portName[8];
        std::snprintf(portName, sizeof portName, "%04lX", base);
        ports.push_back({portName, "/dev/" + name, "parallel port (ppdev)"});
    }
#ifdef FERROLUX_HAVE_LIBFTDI
    // FTDI adapters sit on the USB bus, not below `root`: only the real system has them.
    if (root == "/") {
        LibFtdiOpener adapters;
        const auto found = adapters.list();
        for (std::size_t i = 0; i < found.size(); ++i) {
            const FtdiAdapterInfo& a = found[i];
            const std::string name = i == 0 ? "ftdi" : "ftdi:" + a.serial;
            if (i > 0 && a.serial.empty()) continue;  // only the first one is reachable by name
            ports.push_back({name, a.serial.empty() ? "USB" : "USB, serial number " + a.serial,
                             a.description + " (FTDI adapter, synchronous bit-bang)"});
            if (i == 0 && !a.serial.empty()) {
                ports.push_back({"ftdi:" + a.serial, "USB, serial number " + a.serial,
                                 a.description + " (FTDI adapter, synchronous bit-bang)"});
            }
        }
    }
#endif
    return ports;
}

fs::path executablePath() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self;
}

fs::path userDataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return fs::path(home) / ".local/share";
    return {};
}

fs::path makePrivateDir() {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "ferrolux-XXXXXX").string();
    if (ec || ::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

}  // namespace ferrolux::platform
