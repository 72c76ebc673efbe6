#include "files/state_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "files_fixture.h"

namespace ferrolux::test {
namespace {

using namespace std::string_literals;

class StateFileTest : public FilesTest {
  protected:
    void loadFrom(const std::string& bytes) {
        write("kestrum.cfg", bytes);
        loadState(session);
    }
};

TEST_F(StateFileTest, MissingFileIsCreatedWithItsDefaults) {
    session.device.listIndex = -1;
    loadState(session);
    EXPECT_EQ(read("kestrum.cfg"), "COM20013");
    EXPECT_EQ(session.link.portName, "COM2");
    EXPECT_EQ(session.device.listIndex, 0);
    EXPECT_EQ(session.lowVoltageChar, '1');
    EXPECT_EQ(session.link.adapter, '3');
    EXPECT_EQ(session.link.vppLine, '3');
    EXPECT_EQ(session.link.speed, 2);
    EXPECT_EQ(readReloadFlag(session), '\0');
}

TEST_F(StateFileTest, EveryFieldIsReadAtItsOffset) {
    session.port.directIo = true;
    loadFrom("03780712411");
    EXPECT_EQ(session.link.portName, "0378");
    EXPECT_EQ(session.device.listIndex, 7);
    EXPECT_EQ(session.lowVoltageChar, '1');
    EXPECT_EQ(session.link.adapter, '2');
    EXPECT_EQ(session.link.vppLine, '4');
    EXPECT_EQ(session.link.speed, 1);
    EXPECT_EQ(readReloadFlag(session), '1');
}

TEST_F(StateFileTest, EmptyFileGivesTheDefaultsWithoutCrashing) {
    session.device.listIndex = -1;
    loadFrom("");
    EXPECT_EQ(session.link.portName, "COM2");
    EXPECT_EQ(session.device.listIndex, -1);
    EXPECT_EQ(session.lowVoltageChar, '0');
    EXPECT_EQ(session.link.adapter, '1');
    EXPECT_EQ(session.link.vppLine, '3');
    EXPECT_EQ(session.link.speed, 2);
    saveState(session);
    EXPECT_EQ(read("kestrum.cfg"), "COM2-1013");
}

TEST_F(StateFileTest, MinusOneIndexSelectsNothing) {
    session.device.listIndex = 5;
    loadFrom("COM1-1013");
    EXPECT_EQ(session.device.listIndex, -1);
}

TEST_F(StateFileTest, BadSpeedDigitGivesMedium) {
    for (const char* bytes : {"COM1000130x", "COM100013 4", "COM100013\n9"}) {
        session.link.speed = 0;
        loadFrom(bytes);
        EXPECT_EQ(session.link.speed, 2) << bytes;
    }
    loadFrom("COM100013 3");
    EXPECT_EQ(session.link.speed, 3);
}

TEST_F(StateFileTest, ParallelPortNeedsPortAccessButSimulatorDoesNot) {
    loadFrom("03BC00013");
    EXPECT_EQ(session.link.portName, "COM2");
    session.port.driverUsable = true;
    loadFrom("03BC00013");
    EXPECT_EQ(session.link.portName, "03BC");
    session.port.driverUsable = false;
    loadFrom("SIM100013");
    EXPECT_EQ(session.link.portName, "SIM1");
    session.port.directIo = true;
    for (std::string bytes : {"CO\nM700013"s, "C\0OM00013"s, "COM"s}) {
        loadFrom(bytes);
        EXPECT_EQ(session.link.portName, "COM2");
    }
}

TEST_F(StateFileTest, SaveWritesOffsetsZeroToEightOnly) {
    write("kestrum.cfg",
          "COM20013"
          "3"
          "1"
          "0" +
              std::string(19, 'z') + "\r\nC:\\x.hex");
    session.link.portName = "COM7";
    session.device.listIndex = 42;
    session.lowVoltageChar = 'x';
    session.link.adapter = '2';
    session.link.vppLine = '9';
    saveState(session);
    EXPECT_EQ(session.link.vppLine, '3');
    EXPECT_EQ(read("kestrum.cfg"),
              "COM742023"
              "10" +
                  std::string(19, 'z') + "\r\nC:\\x.hex");
}

TEST_F(StateFileTest, IndexThatDoesNotFitTwoCharactersIsSavedAsNone) {
    write("kestrum.cfg", "COM2000131");
    session.link.portName = "COM1";
    session.device.listIndex = 100;
    session.lowVoltageChar = '0';
    session.link.adapter = '1';
    session.link.vppLine = '4';
    saveState(session);
    EXPECT_EQ(read("kestrum.cfg"), "COM1-10141");
}

TEST_F(StateFileTest, SaveAndPatchesDoNotCreateAMissingFile) {
    saveState(session);
    storeSpeed(session, '1');
    setReloadFlag(session, '1');
    readStoredHexPath(session);
    EXPECT_FALSE(std::filesystem::exists(dir / "kestrum.cfg"));
    session.hexPath = "x.hex";
    EXPECT_EQ(storeHexPath(session), 1);
    EXPECT_EQ(session.message, "Open Error 'kestrum.cfg'!");
    EXPECT_FALSE(std::filesystem::exists(dir / "kestrum.cfg"));
}

TEST_F(StateFileTest, SpeedAndReloadFlagPatchTheirByte) {
    write("kestrum.cfg", "COM20013");
    storeSpeed(session, '3');
    EXPECT_EQ(read("kestrum.cfg"), "COM20013\0\0003"s);
    setReloadFlag(session, '1');
    EXPECT_EQ(read("kestrum.cfg"),
              "COM20013\0"
              "13"s);
    EXPECT_EQ(readReloadFlag(session), '1');
}

TEST_F(StateFileTest, ElevenByteFileGainsZerosBeforeTheLineBreak) {
    write("kestrum.cfg", "COM20013412");
    session.hexPath = "C:\\a.hex";
    ASSERT_EQ(storeHexPath(session), 0);
    EXPECT_EQ(read("kestrum.cfg"), "COM20013412"s + std::string(19, '\0') + "\r\nC:\\a.hex" + '\0' +
                                       std::string(20, ' '));
}

TEST_F(StateFileTest, ShorterPathOverwritesALongerOne) {
    write("kestrum.cfg", "COM20013");
    const std::string longPath = "/" + std::string(99, 'L');
    const std::string shortPath = "/" + std::string(39, 'S');
    session.hexPath = longPath;
    ASSERT_EQ(storeHexPath(session), 0);
    session.hexPath = shortPath;
    ASSERT_EQ(storeHexPath(session), 0);
    const std::string bytes = read("kestrum.cfg");
    ASSERT_EQ(bytes.size(), 32u + 100 + 1 + 20);
    EXPECT_EQ(bytes.substr(32, 40), shortPath);
    EXPECT_EQ(bytes[72], '\0');
    EXPECT_EQ(bytes.substr(73, 20), std::string(20, ' '));
    EXPECT_EQ(bytes.substr(93), longPath.substr(61) + '\0' + std::string(20, ' '));
    session.hexPath.clear();
    readStoredHexPath(session);
    EXPECT_EQ(session.hexPath, shortPath);
}

TEST_F(StateFileTest, PathTooLongForTheFieldIsStoredEmpty) {
    write("kestrum.cfg", "COM20013");
    session.hexPath = "/old.hex";
    ASSERT_EQ(storeHexPath(session), 0);
    const std::string longest = "/" + std::string(kStoredPathMax - 1, 'p');
    session.hexPath = longest;
    ASSERT_EQ(storeHexPath(session), 0);
    session.hexPath.clear();
    readStoredHexPath(session);
    EXPECT_EQ(session.hexPath, longest);

    const std::string before = read("kestrum.cfg");
    session.hexPath = longest + "q";
    ASSERT_EQ(storeHexPath(session), 0);
    const std::string after = read("kestrum.cfg");
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 33), before.substr(0, 32) + '\0');
    EXPECT_EQ(after.substr(53), before.substr(53));
    readStoredHexPath(session);
    EXPECT_EQ(session.hexPath, "");
}

TEST_F(StateFileTest, ProgramDirectoryIsTheCurrentOneAndStaysInUse) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    session.programDir.clear();
    loadState(session);
    std::filesystem::current_path(before);
    EXPECT_EQ(session.programDir, dir);
    ASSERT_TRUE(std::filesystem::exists(dir / "kestrum.cfg"));

    // Elsewhere now, as after the file dialog: the same file is patched.
    session.link.portName = "COM5";
    saveState(session);
    EXPECT_EQ(read("kestrum.cfg").substr(0, 4), "COM5");
}

}  // namespace
}  // namespace ferrolux::test
