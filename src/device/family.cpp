#include "device/family.h"

#include "device/erase_steps.h"
#include "files/device_list.h"
#include "link/delays.h"
#include "link/icsp.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

using namespace erase_steps;

constexpr int END_PROGRAMMING = 10;  // End Programming of the chips without command 8

// --- Commits after a load ---

void noCommit(Session&) {}
void noCommitByte(Session&, int) {}

void programCycle(Session& s) {
    sendIcsp(s, PROGRAM_COMMAND, 0);
}

void programCycleAndEnd(Session& s) {
    sendIcsp(s, PROGRAM_COMMAND, 0);
    sendIcsp(s, END_PROGRAM_COMMAND, 0);
}

void programByte(Session& s, int) {
    programCycle(s);
}

void programByteAndEnd(Session& s, int) {
    programCycleAndEnd(s);
}

// The row family with a row of one: the word is programmed, then programmed
// once more without erasing.
void programRowOfOne(Session& s) {
    sendIcsp(s, PROGRAM_COMMAND, 0);
    sendIcsp(s, END_PROGRAMMING_ROW, 0);
    sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
    sendIcsp(s, END_PROGRAMMING_ROW, 0);
}

void programByteRowOfOne(Session& s, int value) {
    sendIcsp(s, PROGRAM_COMMAND, 0);
    sendIcsp(s, END_PROGRAMMING_ROW, 0);
    sendIcsp(s, LOAD_DATA_DATA, value);
    sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
    sendIcsp(s, END_PROGRAMMING_ROW, 0);
}

// An externally timed cycle; these chips end it with 23, not 14.
void timedConfigCycle(Session& s) {
    sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
    waitMs(s, 4);
    sendIcsp(s, END_PROGRAMMING_ROW, 0);
}

// Begin Programming externally timed (24), at least 3 ms, End Programming
// (10), 100 us. The command layer's own wait after 24 is not counted on.
void externalCycle(Session& s) {
    sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
    waitMs(s, 3);
    sendIcsp(s, END_PROGRAMMING, 0);
    waitUs(s, 100);
}

// --- Erases ---

int nothingErased(Session&) {
    return 0;
}

int enterOnly(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    return 0;
}

int unprotect(Session& s) {
    removeProtection(s);
    return 0;
}

// Only Bulk Erase Program Memory: from configuration space it takes code, IDs
// and configuration word, in about 30 ms.
int bulkEraseFromConfig30(Session& s) {
    eraseFromConfigSpace(s, BULK_ERASE_PROGRAM, 0x3FFF, 30);
    return 0;
}

int bulkEraseFromConfig(Session& s) {
    eraseFromConfigSpace(s, BULK_ERASE_PROGRAM, 0x3FFF);
    return 0;
}

int chipEraseFromConfig(Session& s) {
    eraseFromConfigSpace(s, CHIP_ERASE, 0);
    return 0;
}

int codeProtected(Session& s) {
    return refusedAsProtected(s, algorithmOf(s.device).protection(s.device).code, kCodeProtected)
               ? 1
               : 0;
}

int eraseChip1(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    s.reporter->status("OK");
    for (int i = 0; i < 7; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    setupAndErase(s);
    return 0;
}

int eraseData1(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_DATA_DATA, 0x3FFF);
    setupAndErase(s);
    return 0;
}

int eraseCode2(Session& s) {
    if (codeProtected(s)) return 1;
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_DATA_PROGRAM, 0x7FFE);
    sendIcsp(s, BULK_ERASE_PROGRAM, 0);
    waitMs(s, 20);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    waitMs(s, 20);
    return 0;
}

int eraseData2(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_DATA_DATA, 0x7FFE);
    sendIcsp(s, BULK_ERASE_DATA, 0);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    waitMs(s, 20);
    return 0;
}

int eraseChipKeepingCalibration(Session& s) {
    return eraseKeepingCalibration(s, true);
}

// Its configuration word is written back: a protected one would protect the
// blank chip again.
int eraseCodeKeepingCalibration(Session& s) {
    if (codeProtected(s)) return 1;
    return eraseKeepingCalibration(s, false);
}

// Code, IDs and configuration word from configuration space, then the data
// memory: a program-memory erase alone may leave protected data behind.
int bulkEraseCodeAndData(Session& s) {
    eraseFromConfigSpace(s, BULK_ERASE_PROGRAM, 0x3FFF);
    sendIcsp(s, BULK_ERASE_DATA, 0);
    waitMs(s, 20);
    return 0;
}

// Bulk Erase Program Memory from configuration space, 10 ms.
int bulkEraseFromConfig10(Session& s) {
    eraseFromConfigSpace(s, BULK_ERASE_PROGRAM, 0x3FFF, 10);
    return 0;
}

int bulkEraseData(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, BULK_ERASE_DATA, 0);
    waitMs(s, 20);
    return 0;
}

int eraseRowCode(Session& s) {
    if (codeProtected(s)) return 1;
    eraseRowFamily(s, BULK_ERASE_PROGRAM);
    return 0;
}

// From the configuration word, where the chip stands.
int eraseRowData(Session& s) {
    eraseRowFamily(s, BULK_ERASE_DATA);
    return 0;
}

// --- Protection bits ---

ProtectionBits noProtection(const DeviceRecord&) {
    return {};
}

// Code protection shuts the data memory too; the 16C84 has one CP bit.
ProtectionBits protection1(const DeviceRecord& d) {
    if (d.name == "PIC16C84") return {0x0010, 0x0010};
    return {0x3FF0, 0x3FF0};
}

// Two CP1:CP0 pairs: 13:12 and 5:4, on the 16F627/628 13:10.
ProtectionBits protection2(const DeviceRecord& d) {
    if (d.name.starts_with("PIC16F62")) return {0x3C00, 0x0100};
    return {0x3030, 0x0100};
}

ProtectionBits protection3(const DeviceRecord&) {
    return {0x0010, 0};
}

ProtectionBits protection4(const DeviceRecord&) {
    return {0x0080, 0x0100};
}

// The 16F627A/628A/648A keep /CP in bit 13 and /CPD in bit 8; the later
// chips of this algorithm (16F6xx, 16F91x, 16F88x, 12F683) /CPD in bit 7 and
// /CP in bit 6.
ProtectionBits protection5(const DeviceRecord& d) {
    if (d.name.starts_with("PIC16F6") && d.name.ends_with("A")) return {0x2000, 0x0100};
    return {0x0040, 0x0080};
}

ProtectionBits protection10(const DeviceRecord&) {
    return {0x0040, 0};
}

ProtectionBits protectionCp(const DeviceRecord&) {
    return {0x2000, 0x0100};
}

ProtectionBits protection12Bit(const DeviceRecord&) {
    return {0x0008, 0};
}

// --- The families ---

constexpr Family kNone{.commitWord = noCommit,
                       .commitConfig = programCycle,
                       .commitByte = programByte,
                       .eraseChip = nothingErased,
                       .eraseCode = nothingErased,
                       .eraseData = enterOnly,
                       .protection = noProtection,
                       .programWait = {}};

constexpr Family pic18Family(int digit) {
    return {.digit = digit,
            .commitWord = noCommit,
            .commitConfig = noCommit,
            .commitByte = noCommitByte,
            .eraseChip = nothingErased,
            .eraseCode = nothingErased,
            .eraseData = nothingErased,
            .protection = noProtection,
            .programWait = {}};
}

constexpr Family kFamilies[] = {
    {.digit = 1,
     .dataPastConfigSpace = true,
     .codeEraseAlso = kErasesData | kErasesIds | kErasesConfig,
     .commitWord = programCycle,
     .commitConfig = programCycle,
     .commitByte = programByte,
     .eraseChip = eraseChip1,
     .eraseCode = unprotect,
     .eraseData = eraseData1,
     .protection = protection1,
     .programWait = {50000, 20000}},
    {.digit = 2,
     .dataWalk = DataWalk::ownCounter,
     .commitWord = programCycle,
     .commitConfig = programCycle,
     .commitByte = programByte,
     .eraseChip = unprotect,
     .eraseCode = eraseCode2,
     .eraseData = eraseData2,
     .protection = protection2,
     .programWait = {50000, 15000}},
    {.digit = 3,
     .dataMemory = false,
     .dataPastConfigSpace = true,
     .codeEraseAlso = kErasesIds | kErasesConfig,
     .commitWord = programCycleAndEnd,
     .commitConfig = programCycleAndEnd,
     .commitByte = programByteAndEnd,
     .eraseChip = bulkEraseFromConfig30,
     .eraseCode = bulkEraseFromConfig30,
     .eraseData = nothingErased,
     .protection = protection3,
     .programWait = {1000, 1000}},
    {.digit = 4,
     .dataPastConfigSpace = true,
     .keepsBandgapBits = true,
     .codeEraseAlso = kErasesProtectedData | kErasesIds,
     .commitWord = programCycle,
     .commitConfig = programCycle,
     .commitByte = programByte,
     .eraseChip = eraseChipKeepingCalibration,
     .eraseCode = eraseCodeKeepingCalibration,
     .eraseData = bulkEraseData,
     .protection = protection4,
     .programWait = {15000, 15000}},
    {.digit = 5,
     .codeEraseAlso = kErasesProtectedData | kErasesIds | kErasesConfig,
     .commitWord = programCycle,
     .commitConfig = programCycle,
     .commitByte = programByte,
     .eraseChip = bulkEraseCodeAndData,
     .eraseCode = bulkEraseFromConfig,
     .eraseData = bulkEraseData,
     .protection = protection5,
     .programWait = {15000, 15000}},
    {.digit = 6,
     .rowWords = 8,
     .idsInOneRow = true,
     .dataWalk = DataWalk::pastConfigSpace,
     .commitWord = programCycle,
     .commitConfig = programCycle,
     .commitByte = programByte,
     .eraseChip = chipEraseFromConfig,
     .eraseCode = eraseRowCode,
     .eraseData = eraseRowData,
     .protection = protectionCp,
     // Begin Erase/Programming takes 4 to 8 ms (DS39589B tprog2), Begin
     // Programming Only at least 1 ms (tprog1).
     .programWait = {8000, 8000, 1000}},
    {.digit = 7,
     .rowWords = 4,
     .idsInOneRow = true,
     .dataFromConfigWord = true,
     .idWriteLeavesProgramming = true,
     .externallyTimed = true,
     .dataWalk = DataWalk::pastConfigSpace,
     .commitWord = programRowOfOne,
     .commitConfig = timedConfigCycle,
     .commitByte = programByteRowOfOne,
     .eraseChip = chipEraseFromConfig,
     .eraseCode = eraseRowCode,
     .eraseData = eraseRowData,
     .protection = protectionCp,
     .programWait = {15000, 15000}},
    {.digit = 8,
     .twelveBit = true,
     .erasable = false,
     .dataMemory = false,
     .commitWord = noCommit,
     .commitConfig = noCommit,
     .commitByte = programByte,
     .eraseChip = erase12Bit,
     .eraseCode = erase12Bit,
     .eraseData = nothingErased,
     .protection = protection12Bit,
     .programWait = {100, 100}},
    {.digit = 9,
     .twelveBit = true,
     .dataMemory = false,
     .codeEraseAlso = kErasesIds | kErasesConfig,
     .commitWord = noCommit,
     .commitConfig = noCommit,
     .commitByte = programByte,
     .eraseChip = erase12Bit,
     .eraseCode = erase12Bit,
     .eraseData = nothingErased,
     .protection = protection12Bit,
     .programWait = {2000, 2000}},
    {.digit = 10,
     .dataMemory = false,
     .codeEraseAlso = kErasesIds | kErasesConfig,
     .commitWord = externalCycle,
     .commitConfig = externalCycle,
     .commitByte = programByte,
     .eraseChip = bulkEraseFromConfig10,
     .eraseCode = bulkEraseFromConfig10,
     .eraseData = nothingErased,
     .protection = protection10,
     .programWait = {}},  // its cycles are Begin Programming (24) and End Programming (10)
    // PIC18 chips: the chip service runs their own operations; these steps
    // are never taken.
    pic18Family(11),
    pic18Family(12),
    pic18Family(13),
};

}  // namespace

const Family* findFamily(int digit) {
    for (const Family& f : kFamilies) {
        if (f.digit == digit) return &f;
    }
    return nullptr;
}

const Family& algorithmOf(const DeviceRecord& d) {
    const Family* f = findFamily(d.family);
    return f ? *f : kNone;
}

int writeRowOf(const DeviceRecord& d) {
    const Family& f = algorithmOf(d);
    if (f.rowWords > 0) return f.rowWords;
    if (f.digit != 5) return 0;
    const std::string& n = d.name;
    if (n.starts_with("PIC16F88") || n == "PIC16F916" || n == "PIC16F917" || n == "PIC16F946")
        return 8;
    // The 16F627A/628A/648A (DS41196G) write one word at a time.
    if (n == "PIC12F683" || n == "PIC16F913" || n == "PIC16F914" ||
        (n.starts_with("PIC16F6") && !n.ends_with("A")))
        return 4;
    return 0;
}

void useFamilyTimings(Session& s) {
    s.device.programWait = algorithmOf(s.device).programWait;
}

void selectChip(Session& s) {
    selectDevice(s);
    useFamilyTimings(s);
    // A PIC18 chip starts from its erased configuration bytes, not from
    // another chip's.
    if (pic18Core(s.device)) {
        for (std::size_t k = 0; k < s.chip.configBytes.size(); ++k)
            s.chip.configBytes[k] = s.device.configBytes[k].blank;
    }
    if (s.device.listIndex < 0 || findFamily(s.device.family)) return;
    s.reporter->message(formatText("unknown algorithm %d of %s in kestrum.ini !", s.device.family,
                                   s.device.name.c_str()),
                        "Error!");
    s.device = DeviceRecord{};
}

}  // namespace ferrolux
