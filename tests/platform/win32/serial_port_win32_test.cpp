// The Win32 serial port against fakes of the calls it makes: a port that
// records every call and may hold a serial board, which loops TXD (break)
// back to RING.
#include "platform/win32/serial_port_win32.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "link/detect.h"
#include "session/session.h"
#include "sim/sim_clock.h"

namespace ferrolux::test {
namespace {

// What the fakes see and answer; one port at a time.
struct FakeComm {
    std::vector<std::string> opened;  // names given to CreateFileA
    DWORD openAccess = 0, openShare = ~0u;
    DWORD openError = 0;  // GetLastError after a failed open; 0 = the open works
    bool stateReadable = true;
    DCB written{};
    COMMTIMEOUTS timeouts{};
    std::vector<DWORD> escapes;
    bool boardLoop = false;  // break shows on RING
    bool breakOn = false;
    int closes = 0;
};
FakeComm fake;
const HANDLE kPort = reinterpret_cast<HANDLE>(0x5150);

HANDLE WINAPI fakeCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD,
                             DWORD, HANDLE) {
    fake.opened.push_back(name);
    fake.openAccess = access;
    fake.openShare = share;
    return fake.openError ? INVALID_HANDLE_VALUE : kPort;
}
BOOL WINAPI fakeClose(HANDLE h) {
    fake.closes += h == kPort;
    return TRUE;
}
BOOL WINAPI fakeGetState(HANDLE h, LPDCB dcb) {
    if (h != kPort || !fake.stateReadable) return FALSE;
    *dcb = DCB{};  // a port left with handshakes on by another program
    dcb->DCBlength = sizeof(DCB);
    dcb->fOutxCtsFlow = TRUE;
    dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb->fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb->fOutX = TRUE;
    return TRUE;
}
BOOL WINAPI fakeSetState(HANDLE h, LPDCB dcb) {
    fake.written = *dcb;
    return h == kPort;
}
BOOL WINAPI fakeSetTimeouts(HANDLE h, LPCOMMTIMEOUTS t) {
    fake.timeouts = *t;
    return h == kPort;
}
BOOL WINAPI fakeEscape(HANDLE h, DWORD code) {
    fake.escapes.push_back(code);
    if (code == SETBREAK || code == CLRBREAK) fake.breakOn = code == SETBREAK;
    return h == kPort;
}
BOOL WINAPI fakeModemStatus(HANDLE h, LPDWORD status) {
    *status = (fake.boardLoop && fake.breakOn ? MS_RING_ON : 0) | 0x100;  // a bit nobody uses
    return h == kPort;
}
DWORD WINAPI fakeLastError() {
    return fake.openError;
}

const platform::CommApi kFakeApi{fakeCreateFile,  fakeClose,  fakeGetState,    fakeSetState,
                                 fakeSetTimeouts, fakeEscape, fakeModemStatus, fakeLastError};

struct Rig {
    sim::SimClock clock;
    platform::Win32SerialOpener opener{kFakeApi};
    Session s{clock};
    explicit Rig(const std::string& port) {
        fake = FakeComm{};
        s.serialOpener = &opener;
        s.link.serial = true;
        s.link.portName = port;
    }
};

// COM names become device names, opened for reading and writing unshared;
// other names are refused before CreateFileA. Every failure says why and
// leaves the port closed; a port without a board stays open.
TEST(Win32Serial, PortNamesAndFailures) {
    const std::string notCom = ": not a serial port name (COM1, COM2, ...)";
    const struct {
        std::string name;
        DWORD openError;
        bool stateReadable;
        std::string device, message;
    } cases[] = {
        {"COM1", 0, true, "\\\\.\\COM1", "T3306 not found at COM1\n"},
        {"com3", 0, true, "\\\\.\\COM3", "T3306 not found at com3\n"},
        {"COM12", 0, true, "\\\\.\\COM12", "T3306 not found at COM12\n"},
        {"\\\\.\\COM7", 0, true, "\\\\.\\COM7", "T3306 not found at \\\\.\\COM7\n"},
        {"COM0", 0, true, "", "COM-Init-Error!\nCOM0" + notCom},
        {"LPT1", 0, true, "", "COM-Init-Error!\nLPT1" + notCom},
        {"kestrum.ini", 0, true, "", "COM-Init-Error!\nkestrum.ini" + notCom},
        {"", 0, true, "", "COM-Init-Error!\nno port chosen"},
        {"COM3", ERROR_ACCESS_DENIED, true, "\\\\.\\COM3",
         "COM-Init-Error!\nCOM3: in use by another program"},
        {"COM3", ERROR_SHARING_VIOLATION, true, "\\\\.\\COM3",
         "COM-Init-Error!\nCOM3: in use by another program"},
        {"COM3", ERROR_FILE_NOT_FOUND, true, "\\\\.\\COM3",
         "COM-Init-Error!\nCOM3: no such port on this computer"},
        {"COM3", 0, false, "\\\\.\\COM3", "Kann COM-Port Einstellung nicht lesen."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " " + c.message);
        Rig rig(c.name);
        fake.openError = c.openError;
        fake.stateReadable = c.stateReadable;
        EXPECT_EQ(openComPort(rig.s), 1);
        EXPECT_EQ(rig.s.message, c.message);
        EXPECT_EQ(fake.opened, c.device.empty() ? std::vector<std::string>{}
                                                : std::vector<std::string>{c.device});
        if (!c.device.empty()) {
            EXPECT_EQ(fake.openAccess, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
            EXPECT_EQ(fake.openShare, 0u);
        }
        const bool opened = !c.device.empty() && c.openError == 0;
        EXPECT_EQ(rig.s.port.comOpen(), opened && c.stateReadable);
        rig.s.port.comHandle.reset();
        EXPECT_EQ(fake.closes, opened ? 1 : 0);
    }
}

TEST(Win32Serial, OpeningSetsNineSixHundredEightNOneWithoutHandshakeAndFindsTheBoard) {
    Rig rig("COM2");
    fake.boardLoop = true;
    ASSERT_EQ(openComPort(rig.s), 0) << rig.s.message;
    EXPECT_EQ(rig.s.link.lineSense, 1);
    const DCB& d = fake.written;
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, NOPARITY);
    EXPECT_EQ(d.StopBits, ONESTOPBIT);
    // RTS and DTR are the program's: no handshake may move or wait on a line.
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_FALSE(d.fOutxCtsFlow || d.fOutX);
    EXPECT_EQ(fake.timeouts.ReadIntervalTimeout, 3u);
    EXPECT_EQ(fake.timeouts.ReadTotalTimeoutConstant, 5u);
    // Only the six line codes, and never a line set to the level it has.
    ASSERT_FALSE(fake.escapes.empty());
    std::map<int, bool> level;  // RTS, DTR, break
    for (DWORD code : fake.escapes) {
        ASSERT_TRUE(code >= SETRTS && code <= CLRBREAK && code != 7) << code;
        const int line = code <= CLRRTS ? 0 : code <= CLRDTR ? 1 : 2;
        const bool on = code == SETRTS || code == SETDTR || code == SETBREAK;
        EXPECT_TRUE(!level.count(line) || level[line] != on) << "repeated code " << code;
        level[line] = on;
    }
    std::uint32_t bits = 0;
    ASSERT_TRUE(rig.s.port.comHandle->modemStatus(bits));
    EXPECT_EQ(bits & ~0xF0u, 0u);  // only CTS, DSR, RING and RLSD pass
}

}  // namespace
}  // namespace ferrolux::test
