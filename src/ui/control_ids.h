#pragma once

#include <string_view>

// Every control, menu item and dialog of the windows, by its resource id.
namespace ferrolux::ctl {

// Main window: buttons.
inline constexpr int kDefaultButton = 1;  // "Done" / "Exit" / "OK" of the dialogs
inline constexpr int kCancel = 2;         // Esc key or the close box
inline constexpr int kWriteButton = 1027;
inline constexpr int kVerifyButton = 1028;
inline constexpr int kExitButton = 1122;
inline constexpr int kSaveButton = 1026;
inline constexpr int kViewSetButton = 1118;

// Main window: check boxes and radio buttons.
inline constexpr int kWriteCodeBox = 1119;
inline constexpr int kWriteDataBox = 1120;
inline constexpr int kWriteConfigBox = 1121;
inline constexpr int kEraseBeforeWriteBox = 1172;
inline constexpr int kKeepDataBox = 1173;  // the EEPROM kept over the erase
inline constexpr int kLowVoltBox = 1092;
inline constexpr int kSaveHexRadio = 1176;
inline constexpr int kSaveTextRadio = 1177;
inline constexpr int kVerifyCodeBox = 1174;
inline constexpr int kVerifyDataBox = 1175;

// Main window: fields and the chip list.
inline constexpr int kFileField = 1017;
inline constexpr int kStatusField = 1018;
inline constexpr int kConfigWordField = 1063;
inline constexpr int kDevIdField = 1091;
inline constexpr int kChipList = 1123;

// ID0 to ID3, in that order.
inline constexpr int kIdFields[4] = {1074, 1076, 1075, 1077};

// Configuration dialog: label of bit b is kBitLabel0 + b, box of bit b is kBitBox0 - b.
inline constexpr int kBitLabel0 = 1135;
inline constexpr int kBitBox0 = 1162;

// Menu: File.
inline constexpr int kOpenFile = 65535;
inline constexpr int kCloseFile = 1093;
inline constexpr int kExitMenu = 1094;
// Menu: Port.
inline constexpr int kPortCom1 = 1108;
inline constexpr int kPortCom2 = 1109;
inline constexpr int kPortCom3 = 1163;  // COM3 to COM8 are 1163 to 1168
inline constexpr int kPortCom8 = 1168;
inline constexpr int kPortSimulator = 1169;  // "Simulator": the built-in board SIM1
inline constexpr int kPort0278 = 1040;
inline constexpr int kPort0378 = 1041;
inline constexpr int kPort03BC = 1042;
// The serial board on an FTDI USB adapter in bit-bang mode: "ftdi" is the
// first adapter found ("ftdi:SERIAL" a given one); "ftdi:SIM1" the simulated.
inline constexpr int kPortFtdi = 1178;
inline constexpr int kPortFtdiSimulator = 1179;
// The FTDI adapters found at start-up, one item each ("ftdi:SERIAL").
inline constexpr int kPortFtdiAdapter0 = 1180;
inline constexpr int kFtdiAdapterItems = 8;
// The system's other serial devices found at start-up, one item each
// ("/dev/ttyUSB0", "/dev/serial/by-id/...", "COM9").
inline constexpr int kPortDevice0 = 1200;
inline constexpr int kPortDeviceItems = 16;
// The main window's own title, and its status bar (chip, port, last checksum).
inline constexpr int kWindowTitle = 1192;
inline constexpr int kStatusBar = 1193;
// Windows: the Recent Files submenu's items (Qt keeps its own actions).
inline constexpr int kRecentFile0 = 1210;
inline constexpr int kRecentFileItems = 8;
// Menu: Erase.
inline constexpr int kEraseCode = 122;
inline constexpr int kEraseData = 123;
inline constexpr int kDisableProtection = 1036;
// Menu: Options.
inline constexpr int kDataWindow = 1117;
inline constexpr int kSpeedVeryLow = 1102;  // low 1103, medium 1104, high 1105
inline constexpr int kSpeedHigh = 1105;
// Menu: Help.
inline constexpr int kHelpTopics = 1111;
inline constexpr int kAbout = 1038;
inline constexpr int kBoardTest = 1220;

// Menu: Options, "Serial Number...": the serial number dialog.
inline constexpr int kSerialNumberMenu = 1230;

// Dialog resources.
inline constexpr int kMainWindowDialog = 103;
inline constexpr int kConfigDialog = 1131;
inline constexpr int kDataMemoryDialog = 1112;
inline constexpr int kParallelDialog = 1043;

// Configuration word dialog (bit labels and boxes in files/control_ids.h).
inline constexpr int kHexValueField = 1134;
// The second configuration word (0x2008) of the chips that have one.
inline constexpr int kConfig2Field = 1190;
// PIC18 chips: the configuration byte the bit boxes and the hex field show.
inline constexpr int kConfigByteList = 1191;
inline constexpr int kReadConfig = 1029;
inline constexpr int kWriteConfig = 1030;
inline constexpr int kReadIds = 1170;
inline constexpr int kWriteIds = 1171;

// Data memory window.
inline constexpr int kDataText = 1113;
inline constexpr int kReadData = 1114;
inline constexpr int kWriteData = 1115;
inline constexpr int kDataStatus = 1116;
// The data memory alone to and from an Intel HEX file.
inline constexpr int kLoadDataFile = 1196;
inline constexpr int kSaveDataFile = 1197;

// Serial number dialog: whether Write puts a serial number into each chip,
// where (place, address, length), in which format, and the next number.
inline constexpr int kSerialDialog = 1231;
inline constexpr int kSerialEnableBox = 1232;
inline constexpr int kSerialPlaceList = 1233;  // EEPROM, code (RETLW table), ID locations
inline constexpr int kSerialAddressField = 1234;
inline constexpr int kSerialLengthField = 1235;
inline constexpr int kSerialFormatList = 1236;
inline constexpr int kSerialNextField = 1237;

// Parallel port interface dialog.
inline constexpr int kAn589Radio = 1106;
inline constexpr int kNonInvertedRadio = 1100;
inline constexpr int kInvertedRadio = 1101;
inline constexpr int kVppD3Radio = 1098;
inline constexpr int kVppD4Radio = 1099;

// The port item of a menu id: "COM1".."COM8", "SIM1", "0278", "0378", "03BC"; empty for others.
inline const char* portNameOf(int id) {
    switch (id) {
        case kPortCom1:
            return "COM1";
        case kPortCom2:
            return "COM2";
        case 1163:
            return "COM3";
        case 1164:
            return "COM4";
        case 1165:
            return "COM5";
        case 1166:
            return "COM6";
        case 1167:
            return "COM7";
        case kPortCom8:
            return "COM8";
        case kPortSimulator:
            return "SIM1";
        case kPort0278:
            return "0278";
        case kPort0378:
            return "0378";
        case kPort03BC:
            return "03BC";
        case kPortFtdi:
            return "ftdi";
        case kPortFtdiSimulator:
            return "ftdi:SIM1";
        default:
            return "";
    }
}

// Every port item of the Port menu, in menu order.
inline constexpr int kPortItems[] = {
    kPortCom1, kPortCom2,      1163,      1164,      1165,      1166,      1167,
    kPortCom8, kPortSimulator, kPort0278, kPort0378, kPort03BC, kPortFtdi, kPortFtdiSimulator};

// The menu id of a port name; 0 for a name no item carries. An FTDI adapter
// named by its serial number ("ftdi:A12B") is on the "ftdi" item.
inline int portItemOf(const std::string_view name) {
    for (int id : kPortItems) {
        if (name == portNameOf(id)) return id;
    }
    if (name.size() > 5 && name.substr(0, 5) == "ftdi:") return kPortFtdi;
    return 0;
}

}  // namespace ferrolux::ctl
