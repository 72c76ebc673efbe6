// A stand-in for the DlPortIO port-I/O library: the two functions the
// program looks up, on ports that hold nothing (every read gives 0), so that
// the parallel port can be chosen under wine.
#include <windows.h>

extern "C" {

__declspec(dllexport) void WINAPI DlPortWritePortUshort(ULONG port, USHORT value) {
    (void)port, (void)value;
}

__declspec(dllexport) ULONG WINAPI DlPortReadPortUlong(ULONG port) {
    (void)port;
    return 0;
}
}
