#include "platform/win32/tick_source_win32.h"

#include <windows.h>

namespace ferrolux::platform {

PerformanceCounterTicks::PerformanceCounterTicks() {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart > 0 ? static_cast<std::uint64_t>(f.QuadPart) : 1;
}

std::uint64_t PerformanceCounterTicks::nowNs() {
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    const auto count = static_cast<std::uint64_t>(c.QuadPart);
    // Whole seconds and the rest apart, so the product never overflows.
    return count / frequency_ * 1'000'000'000u + count % frequency_ * 1'000'000'000u / frequency_;
}

void PerformanceCounterTicks::sleepUntil(std::uint64_t deadlineNs) {
    // Sleep may end early or late by a scheduler tick: sleep again until the
    // deadline has passed, rounding each rest up to a whole millisecond.
    for (std::uint64_t now = nowNs(); now < deadlineNs; now = nowNs()) {
        const std::uint64_t ms = (deadlineNs - now + 999'999u) / 1'000'000u;
        ::Sleep(static_cast<DWORD>(ms > 0x7FFFFFFFu ? 0x7FFFFFFFu : ms));
    }
}

}  // namespace ferrolux::platform
