#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/parallel_port.h"
#include "platform/serial_port.h"

namespace ferrolux {

class IcspStream;

// Which port and adapter the programmer sits on, and how fast to clock it.
struct LinkSettings {
    bool serial = true;             // a COM port is selected (false: a parallel port)
    std::string portName = "COM1";  // "COM1".."COM8", "0278", "0378", "03BC" (at most 4 characters)
    std::uint16_t parallelBase = 0x378;
    int lineSense = 0;        // 1 once a serial board has answered the presence test
    char adapter = '1';       // '1' AN589, '2' P16PRO/PP, '3' P16PRO/PP with inverted buffers
    char vppLine = '4';       // P16PRO/PP: data bit that switches Vpp, '3' (D3) or '4' (D4)
    bool lowVoltage = false;  // AN589 low-voltage programming
    int speed = 2;            // 0 very low, 1 low, 2 medium, 3 high
};

// How the ports are reached, and the last values seen on them.
struct PortAccess {
    std::unique_ptr<platform::SerialPort> comHandle;  // open serial port, or none
    bool directIo = false;                            // the program may do port I/O itself
    platform::ParallelPort* directPort = nullptr;     // used when directIo holds
    platform::ParallelPort* driverLibrary = nullptr;  // the port driver, when one is loaded
    bool driverUsable = false;                        // driverLibrary present and directIo false
    bool driverFailed = false;  // a driver access has failed; the window is closing
    std::uint16_t lastParallelWord = 0;
    std::uint32_t lastModemStatus = 0;
    // The stream of frames in progress, which every ICSP frame and wait then
    // joins; none outside a pass that streams.
    IcspStream* stream = nullptr;

    bool comOpen() const { return comHandle != nullptr; }
};

}  // namespace ferrolux
