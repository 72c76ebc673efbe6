// A stand-in for the DlPortIO port-I/O library with the two functions the
// program looks up, over 64 KiB of port registers that keep what is written
// (the status register of a real port does not; here it shows what reached it).
#include <windows.h>

namespace {

unsigned char ports[0x10000];

}  // namespace

extern "C" {

// 16 bits: the low byte at `port`, the high byte at the next.
__declspec(dllexport) void WINAPI DlPortWritePortUshort(ULONG port, USHORT value) {
    ports[port & 0xFFFF] = static_cast<unsigned char>(value);
    ports[(port + 1) & 0xFFFF] = static_cast<unsigned char>(value >> 8);
}

// 32 bits from four consecutive ports, the first in the low byte.
__declspec(dllexport) ULONG WINAPI DlPortReadPortUlong(ULONG port) {
    ULONG value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | ports[(port + static_cast<ULONG>(i)) & 0xFFFF];
    return value;
}
}
