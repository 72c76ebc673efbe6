#include "device/check_link.h"

#include "device/family.h"
#include "device/pic18/pic18.h"
#include "files/device_list.h"
#include "link/detect.h"
#include "link/icsp.h"
#include "link/line_driver.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

int checkLink(Session& s, LinkFailure* why) {
    LinkFailure ignored;
    LinkFailure& failure = why != nullptr ? *why : ignored;
    failure = LinkFailure::port;
    if (s.beforeLinkCheck) s.beforeLinkCheck(s);
    useFamilyTimings(s);
    if (s.link.serial) {
        if (openComPort(s) != 0) return 0;
    } else if (s.link.adapter == '1') {
        if (detectAn589(s) != 0) {
            s.message = "No AN589 based Adaptor found!";
            return 0;
        }
    } else if (s.link.adapter == '2' || s.link.adapter == '3') {
        if (detectP16Pro(s) != 0) {
            s.message = "P16PRO not found!";
            return 0;
        }
    }
    failure = LinkFailure::noChip;
    if (algorithmOf(s.device).twelveBit) {
        // A 12-bit chip stands at its configuration word after entering.
        sendIcsp(s, ENTER_PGM, 0);
        s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
        if (linesLost(s)) return 0;
        if (s.pass.readBack == 0) {
            s.message = kNoPicOrProtected;
            return 0;
        }
        if (emptyTwelveBitSocket(s.pass.readBack)) {
            s.message = kNoPicOnBoard;
            return 0;
        }
    }
    const int id = readDeviceId(s);
    // Words from a port that stopped answering say nothing about the socket.
    if (linesLost(s)) return 0;
    switch (id) {
        case 1:
            failure = LinkFailure::none;
            s.pass.blank = false;
            return 2;
        case 2:
            s.message = kNoPicOnBoard;
            return 0;
        default:
            failure = LinkFailure::none;
            return 1;
    }
}

namespace {

// The word at 0x2006.
int readIdWord(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    for (int i = 0; i < 6; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    return sendIcsp(s, READ_DATA_PROGRAM, 0);
}

// DEVID2:DEVID1 of a PIC18 chip, revision bits included; -1 when not read.
// The read leaves programming mode.
int readIdWord18(Session& s) {
    int id = 0;
    int revision = 0;
    if (pic18ReadDeviceId(s, id, &revision) != 0) return -1;
    return id | revision;
}

}  // namespace

int readDeviceId(Session& s) {
    s.reporter->deviceId(" ");
    s.pass.deviceIdRead = -1;
    if (s.device.deviceIdFlag != 'Y') return 0;
    if (pic18Core(s.device)) {
        const int id = readIdWord18(s);
        // An empty socket reads all zeros or all ones, as a 14-bit one does.
        if (id < 0 || id == 0 || id == 0xFFFF) return 2;
        s.pass.deviceIdRead = id;
        s.pass.blank = false;
        s.reporter->deviceId(deviceIdText(s, id));
        return 1;
    }
    const int id = readIdWord(s);
    if (id == 0x3FFF || id == 0) return 2;
    s.pass.deviceIdRead = id;
    s.pass.blank = false;
    s.reporter->deviceId(deviceIdText(s, id));
    return 1;
}

std::string deviceIdText(const Session& s, int id) {
    std::string text = formatText("%.4X", static_cast<unsigned>(id));
    const std::string chip = chipOfDeviceId(s, id);
    if (!chip.empty()) text += " " + chip;
    return text;
}

OtherChip otherChipOnBoard(const Session& s) {
    OtherChip found;
    if (s.pass.deviceIdRead < 0 || s.device.deviceId < 0) return found;
    found.id = s.pass.deviceIdRead;
    if ((found.id & ~s.device.revisionMask) == s.device.deviceId) return found;
    found.other = true;
    found.chip = chipOfDeviceId(s, found.id);
    return found;
}

std::string otherChipQuestion(const Session& s, const OtherChip& other) {
    const std::string owner = other.chip.empty() ? "no chip in the device list" : other.chip;
    return formatText("The device ID %.4X belongs to ", static_cast<unsigned>(other.id)) + owner +
           ", not to " + s.device.name + ".\nContinue?";
}

}  // namespace ferrolux
