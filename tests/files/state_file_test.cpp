#include "files/state_file.h"

#include <gtest/gtest.h>

#include <string>

#include "files_fixture.h"

namespace ferrolux::test {
namespace {

using namespace std::string_literals;

class StateFileTest : public FilesTest {
  protected:
    // The fields as one string: port, index, low voltage, adapter, Vpp, speed.
    std::string load(const std::string& bytes) {
        write("kestrum.cfg", bytes);
        loadState(session);
        const auto& l = session.link;
        return l.portName + " " + std::to_string(session.device.listIndex) + " " +
               session.chip.lowVoltageChar + l.adapter + l.vppLine + std::to_string(l.speed);
    }
};

TEST_F(StateFileTest, FieldsAreReadAtTheirOffsetsAndAMissingFileIsCreated) {
    std::filesystem::remove(dir / "kestrum.cfg");
    session.device.listIndex = -1;
    loadState(session);
    EXPECT_EQ(read("kestrum.cfg"), "COM20013");
    EXPECT_EQ(session.device.listIndex, 0);
    EXPECT_EQ(readReloadFlag(session), '\0');
    session.device.listIndex = -1;
    const std::pair<std::string, std::string> cases[] = {
        {"", "COM2 -1 0132"},  // empty: defaults, index untouched
        {"COM1-1013", "COM1 -1 0132"},
        {"COM2000130x", "COM2 0 0132"},  // bad speed digits give medium
        {"COM200013 4", "COM2 0 0132"},
        {"COM200013\n9", "COM2 0 0132"},
        {"COM200013 3", "COM2 0 0133"},
        {"03BC00013", "COM2 0 0132"},  // no port access: no parallel port
        {"SIM100013", "SIM1 0 0132"},  // the simulator needs none
    };
    for (const auto& [bytes, fields] : cases)
        EXPECT_EQ(load(bytes), fields) << bytes;
    for (const std::string& bytes : {"CO\nM700013"s, "C\0OM00013"s, "COM"s})
        EXPECT_EQ(load(bytes).substr(0, 4), "COM2");
    session.port.driverUsable = true;
    EXPECT_EQ(load("03BC00013"), "03BC 0 0132");
    session.port.directIo = true;
    EXPECT_EQ(load("03780712411"), "0378 7 1241");
    EXPECT_EQ(readReloadFlag(session), '1');
}

TEST_F(StateFileTest, SaveWritesTheHeaderOnlyAndFtdiAdaptersTheirSerialNumber) {
    const std::string rest = std::string(19, 'z') + "\r\nC:\\x.hex";
    write("kestrum.cfg", "COM20013310" + rest);
    session.link.portName = "COM7";
    session.device.listIndex = 42;
    session.chip.lowVoltageChar = 'x';
    session.link.adapter = '2';
    session.link.vppLine = '9';
    saveState(session);
    EXPECT_EQ(session.link.vppLine, '3');
    EXPECT_EQ(read("kestrum.cfg"), "COM74202310" + rest);
    session.device.listIndex = 100;  // does not fit: saved as none
    saveState(session);
    EXPECT_EQ(read("kestrum.cfg").substr(0, 9), "COM7-1023");

    const std::string zeros(19, '\0');
    const std::pair<std::string, std::string> ports[] = {
        {"ftdi:A5XK3RJT", "ftdi0001312:A5XK3RJT" + zeros.substr(9)},
        {"ftdi", "ftdi0001312" + zeros},
        // A serial number the field cannot keep goes with the long port names.
        {"ftdi:" + std::string(19, 'X'), "COM20001312" + zeros + std::string(290, '\0') + "ftdi:" +
                                             std::string(19, 'X') + std::string(232, '\0')},
    };
    for (const auto& [port, stored] : ports) {
        write("kestrum.cfg", "COM20013312" + zeros);
        session.link.portName = port;
        session.device.listIndex = 0;
        session.chip.lowVoltageChar = '0';
        session.link.adapter = '1';
        saveState(session);
        EXPECT_EQ(read("kestrum.cfg"), stored) << port;
        loadState(session);
        EXPECT_EQ(session.link.portName, port);
    }
}

TEST_F(StateFileTest, PortNamesLongerThanTheHeadAreKeptBehindIt) {
    write("kestrum.cfg", "COM20013312");
    session.device.listIndex = 0;
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    for (const std::string& port : {byId, "COM12"s, "/dev/ttyUSB0"s}) {
        session.link.portName = port;
        saveState(session);
        EXPECT_EQ(read("kestrum.cfg").substr(0, 4), "COM2") << "older versions read a port";
        session.link.portName.clear();
        loadState(session);
        EXPECT_EQ(session.link.portName, port);
    }
    // A short name clears the field; a port an older version chose since wins.
    session.link.portName = "SIM1";
    saveState(session);
    EXPECT_EQ(read("kestrum.cfg").substr(320, 5), std::string(5, '\0'));
    session.link.portName = byId;
    saveState(session);
    std::string bytes = read("kestrum.cfg");
    write("kestrum.cfg", "COM1" + bytes.substr(4));
    loadState(session);
    EXPECT_EQ(session.link.portName, "COM1");
    // One the field cannot keep whole is not stored.
    session.link.portName = "/dev/" + std::string(300, 'x');
    saveState(session);
    loadState(session);
    EXPECT_EQ(session.link.portName, "COM2");
}

TEST_F(StateFileTest, SaveAndPatchesNeverCreateTheFileAndPadShortOnesAndPathsReadBack) {
    saveState(session);
    storeSpeed(session, '1');
    setReloadFlag(session, '1');
    readStoredHexPath(session);
    EXPECT_FALSE(std::filesystem::exists(dir / "kestrum.cfg"));
    session.file.hexPath = "x.hex";
    EXPECT_EQ(storeHexPath(session), 1);
    EXPECT_EQ(session.message, "Open Error 'kestrum.cfg'!");
    EXPECT_FALSE(std::filesystem::exists(dir / "kestrum.cfg"));

    write("kestrum.cfg", "COM20013");
    storeSpeed(session, '3');
    setReloadFlag(session, '1');
    EXPECT_EQ(read("kestrum.cfg"), "COM20013"s + '\0' + "13");
    // A shorter path overwrites a longer one; the rest stays behind its NUL.
    const std::string longPath = "/" + std::string(99, 'L');
    const std::string shortPath = "/" + std::string(39, 'S');
    for (const std::string& path : {longPath, shortPath}) {
        session.file.hexPath = path;
        ASSERT_EQ(storeHexPath(session), 0);
    }
    EXPECT_EQ(read("kestrum.cfg"), "COM20013"s + '\0' + "13" + std::string(19, '\0') + "\r\n" +
                                       shortPath + '\0' + std::string(20, ' ') +
                                       longPath.substr(61) + '\0' + std::string(20, ' '));
    // One too long for the field is stored empty.
    const std::string longest = "/" + std::string(kStoredPathMax - 1, 'p');
    for (const std::string& path : {shortPath, longest, longest + "q"}) {
        session.file.hexPath = path;
        ASSERT_EQ(storeHexPath(session), 0);
        session.file.hexPath = "?";
        readStoredHexPath(session);
        EXPECT_EQ(session.file.hexPath, path.size() > kStoredPathMax ? "" : path);
    }
    // The chip's name lies past the longest path.
    session.device = {};
    session.device.listIndex = 3;
    session.device.name = "PIC16F628A";
    saveState(session);
    session.file.hexPath = longest;
    ASSERT_EQ(storeHexPath(session), 0);
    session.device.name.clear();
    loadState(session);
    EXPECT_EQ(session.device.name, "PIC16F628A");
}

TEST_F(StateFileTest, ProgramDirectoryIsTheCurrentOneAndStaysInUse) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    session.programDir.clear();
    loadState(session);
    std::filesystem::current_path(before);
    EXPECT_EQ(session.programDir, dir);
    session.link.portName = "COM5";  // elsewhere now, as after the file dialog
    saveState(session);
    EXPECT_EQ(read("kestrum.cfg").substr(0, 4), "COM5");
}

}  // namespace
}  // namespace ferrolux::test
