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

using platform::LineCode;

// What the fakes see and answer; one port at a time.
struct FakeComm {
    std::vector<std::string> opened;  // names given to CreateFileA
    DWORD openAccess = 0, openShare = ~0u, openDisposition = 0;
    DWORD openError = 0;  // GetLastError after a failed open; 0 = the open works
    bool stateReadable = true;
    DCB written{};
    bool stateWritten = false;
    COMMTIMEOUTS timeouts{};
    std::vector<DWORD> escapes;
    bool boardLoop = false;  // break shows on RING
    bool breakOn = false;
    int closes = 0;
    DWORD lastError = 0;
};
FakeComm fake;
const HANDLE kPort = reinterpret_cast<HANDLE>(0x5150);

HANDLE WINAPI fakeCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                             DWORD disposition, DWORD, HANDLE) {
    fake.opened.push_back(name);
    fake.openAccess = access;
    fake.openShare = share;
    fake.openDisposition = disposition;
    fake.lastError = fake.openError;
    return fake.openError ? INVALID_HANDLE_VALUE : kPort;
}
BOOL WINAPI fakeClose(HANDLE h) {
    fake.closes += h == kPort;
    return TRUE;
}
BOOL WINAPI fakeGetState(HANDLE h, LPDCB dcb) {
    if (h != kPort || !fake.stateReadable) return FALSE;
    *dcb = DCB{};
    dcb->DCBlength = sizeof(DCB);
    dcb->BaudRate = 115200;
    dcb->ByteSize = 7;
    dcb->Parity = EVENPARITY;
    dcb->fOutxCtsFlow = TRUE;
    dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb->fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb->fOutX = TRUE;
    return TRUE;
}
BOOL WINAPI fakeSetState(HANDLE h, LPDCB dcb) {
    fake.written = *dcb;
    fake.stateWritten = true;
    return h == kPort;
}
BOOL WINAPI fakeSetTimeouts(HANDLE h, LPCOMMTIMEOUTS t) {
    fake.timeouts = *t;
    return h == kPort;
}
BOOL WINAPI fakeEscape(HANDLE h, DWORD code) {
    fake.escapes.push_back(code);
    if (code == SETBREAK) fake.breakOn = true;
    if (code == CLRBREAK) fake.breakOn = false;
    return h == kPort;
}
BOOL WINAPI fakeModemStatus(HANDLE h, LPDWORD status) {
    *status = (fake.boardLoop && fake.breakOn ? MS_RING_ON : 0) | 0x100;  // a bit nobody uses
    return h == kPort;
}
DWORD WINAPI fakeLastError() {
    return fake.lastError;
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

TEST(Win32Serial, PortNamesBecomeDeviceNamesAndOthersAreRefusedUnopened) {
    const struct {
        std::string port;
        std::string device;  // "" = refused before CreateFileA
    } cases[] = {
        {"COM1", "\\\\.\\COM1"},
        {"com3", "\\\\.\\COM3"},
        {"COM12", "\\\\.\\COM12"},
        {"\\\\.\\COM7", "\\\\.\\COM7"},
        {"COM0", ""},
        {"COM", ""},
        {"LPT1", ""},
        {"kestrum.ini", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        Rig rig(c.port);
        auto port = rig.opener.open(c.port);
        if (c.device.empty()) {
            EXPECT_EQ(port, nullptr) << c.port;
            EXPECT_TRUE(fake.opened.empty()) << c.port;
            EXPECT_FALSE(rig.opener.lastError().empty()) << c.port;
            continue;
        }
        ASSERT_NE(port, nullptr) << c.port;
        EXPECT_EQ(fake.opened, std::vector<std::string>{c.device});
        // Read and write, unshared, an existing device.
        EXPECT_EQ(fake.openAccess, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
        EXPECT_EQ(fake.openShare, 0u);
        EXPECT_EQ(fake.openDisposition, static_cast<DWORD>(OPEN_EXISTING));
        port.reset();
        EXPECT_EQ(fake.closes, 1) << c.port;
    }
}

TEST(Win32Serial, OpenFailuresSayWhyAfterTheProgramsOwnText) {
    const struct {
        DWORD error;
        std::string message;
    } cases[] = {
        {ERROR_ACCESS_DENIED, "COM-Init-Error!\nCOM3: in use by another program"},
        {ERROR_SHARING_VIOLATION, "COM-Init-Error!\nCOM3: in use by another program"},
        {ERROR_FILE_NOT_FOUND, "COM-Init-Error!\nCOM3: no such port on this computer"},
    };
    for (const auto& c : cases) {
        Rig rig("COM3");
        fake.openError = c.error;
        EXPECT_EQ(openComPort(rig.s), 1);
        EXPECT_EQ(rig.s.message, c.message);
        EXPECT_FALSE(rig.s.port.comOpen());
        EXPECT_EQ(fake.closes, 0);
    }
}

TEST(Win32Serial, OpeningSetsNineSixHundredEightNOneWithoutHandshakeAndFindsTheBoard) {
    Rig rig("COM2");
    fake.boardLoop = true;
    ASSERT_EQ(openComPort(rig.s), 0) << rig.s.message;
    EXPECT_EQ(rig.s.link.lineSense, 1);
    ASSERT_TRUE(fake.stateWritten);
    EXPECT_EQ(fake.written.BaudRate, 9600u);
    EXPECT_EQ(fake.written.ByteSize, 8);
    EXPECT_EQ(fake.written.Parity, NOPARITY);
    EXPECT_EQ(fake.written.StopBits, ONESTOPBIT);
    // RTS and DTR are the program's: no handshake may move or wait on a line.
    EXPECT_EQ(fake.written.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(fake.written.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_FALSE(fake.written.fOutxCtsFlow);
    EXPECT_FALSE(fake.written.fOutX);
    EXPECT_EQ(fake.written.DCBlength, sizeof(DCB));
    EXPECT_EQ(fake.timeouts.ReadIntervalTimeout, 3u);
    EXPECT_EQ(fake.timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(fake.timeouts.ReadTotalTimeoutConstant, 5u);
    // Only the six line codes, and never a line set to the level it has.
    ASSERT_FALSE(fake.escapes.empty());
    std::map<int, bool> level;  // RTS, DTR, break
    for (DWORD code : fake.escapes) {
        ASSERT_TRUE(code >= SETRTS && code <= CLRBREAK && code != 7) << code;
        const int line = code <= CLRRTS ? 0 : code <= CLRDTR ? 1 : 2;
        const bool on = code == SETRTS || code == SETDTR || code == SETBREAK;
        const auto known = level.find(line);
        EXPECT_TRUE(known == level.end() || known->second != on) << "repeated code " << code;
        level[line] = on;
    }
    std::uint32_t bits = 0;
    ASSERT_TRUE(rig.s.port.comHandle->modemStatus(bits));
    EXPECT_EQ(bits & ~0xF0u, 0u);  // only CTS, DSR, RING and RLSD pass
    rig.s.port.comHandle.reset();
    EXPECT_EQ(fake.closes, 1);
}

TEST(Win32Serial, EachFailingSetupStepHasItsTextAndClosesThePort) {
    {
        Rig rig("COM1");
        fake.stateReadable = false;
        EXPECT_EQ(openComPort(rig.s), 1);
        EXPECT_EQ(rig.s.message, "Kann COM-Port Einstellung nicht lesen.");
        EXPECT_FALSE(rig.s.port.comOpen());
        EXPECT_EQ(fake.closes, 1);
    }
    {
        Rig rig("COM1");  // a port without the board: opens, but nothing answers
        EXPECT_EQ(openComPort(rig.s), 1);
        EXPECT_EQ(rig.s.message, "T3306 not found at COM1\n");
        EXPECT_TRUE(rig.s.port.comOpen());
        EXPECT_EQ(rig.s.link.lineSense, 0);
    }
}

}  // namespace
}  // namespace ferrolux::test
