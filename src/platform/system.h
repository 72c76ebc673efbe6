#pragma once

#include <memory>

#include "platform/parallel_port.h"

#if defined(_WIN32)
#include "platform/win32/parallel_port_win32.h"
#include "platform/win32/serial_port_win32.h"
#include "platform/win32/tick_source_win32.h"
#else
#include "platform/linux/parallel_port_ppdev.h"
#include "platform/linux/serial_port_linux.h"
#include "platform/linux/tick_source_linux.h"
#endif

namespace ferrolux::platform {

// This system's serial ports and clock under one name for the programs.
#if defined(_WIN32)
using SystemSerialOpener = Win32SerialOpener;
using SystemTicks = PerformanceCounterTicks;

// The port-I/O driver library when one loads; nullptr otherwise.
inline std::unique_ptr<ParallelPort> openParallelAccess() {
    return PortIoLibrary::load();
}
#else
using SystemSerialOpener = LinuxSerialOpener;
using SystemTicks = MonotonicTicks;

// ppdev when the kernel offers it; nullptr otherwise.
inline std::unique_ptr<ParallelPort> openParallelAccess() {
    if (!PpdevParallelPort::available()) return nullptr;
    return std::make_unique<PpdevParallelPort>();
}
#endif

}  // namespace ferrolux::platform
