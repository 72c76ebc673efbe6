#pragma once

#include "device/erase.h"
#include "session/device_record.h"

namespace ferrolux {

class Session;

// How the chips of one family (the programming algorithm digit of the device
// list) are programmed: what they have, and the steps in which the families
// differ. The layers above ask these questions instead of naming families.
// Where a data pass over the hex file finds the data memory.
enum class DataWalk {
    fromIds,          // on from the ID locations, address by address
    ownCounter,       // programming mode entered again: data has its own counter
    pastConfigSpace,  // entered again, 256 addresses past the configuration word
};

// What a family's "Bulk Erase Code Memory" takes besides the code, as the
// chip's own erase commands do it (bits of Family::codeEraseAlso).
inline constexpr int kErasesData = 1;           // the data memory, always
inline constexpr int kErasesProtectedData = 2;  // the data memory when it is code protected
inline constexpr int kErasesIds = 4;            // the ID locations
inline constexpr int kErasesConfig = 8;         // the configuration word (not written back)

struct Family {
    int digit = 0;

    // What the chips have and how they are written.
    bool twelveBit = false;    // 12-bit core: IDs after the last code word, no data memory
    bool erasable = true;      // erased electrically (EPROM chips are not)
    bool dataMemory = true;    // may hold data memory (the chip's size says how much)
    int rowWords = 0;          // code written in rows of this many words; 0: word by word
    bool idsInOneRow = false;  // the four IDs written as one row
    // The data memory lies 256 addresses past the configuration word.
    bool dataPastConfigSpace = false;
    // Data is written from the configuration word (Load Configuration first).
    bool dataFromConfigWord = false;
    // Writing the IDs leaves programming mode itself.
    bool idWriteLeavesProgramming = false;
    // Program cycles are started with Begin Programming Only and ended with
    // End Programming: a row is opened by a cycle before it is loaded, and the
    // configuration word is read again after programming mode is entered anew.
    bool externallyTimed = false;
    // Bits 12 and 13 of the configuration word are the factory's bandgap
    // calibration (the chip's are kept); bits 9 to 11 are written as 0.
    bool keepsBandgapBits = false;
    DataWalk dataWalk = DataWalk::fromIds;
    int codeEraseAlso = 0;

    // Steps, each on the chip the session reaches. Erases return 0 or 1 with
    // the message filled; they leave confirming to the caller.
    void (*commitWord)(Session& s) = nullptr;             // after Load Data
    void (*commitConfig)(Session& s) = nullptr;           // after loading the configuration word
    void (*commitByte)(Session& s, int value) = nullptr;  // after Load Data for Data Memory
    int (*eraseChip)(Session& s) = nullptr;
    int (*eraseCode)(Session& s) = nullptr;
    int (*eraseData)(Session& s) = nullptr;
    ProtectionBits (*protection)(const DeviceRecord& d) = nullptr;
    // The wait after Begin Programming: 50 ms on the serial board for
    // families 1 and 2, on parallel adapters 20 ms for family 1 (the 16F83/84
    // take up to 20 ms, DS30262E Table 5-1) and 15 ms for family 2; 8 ms for
    // family 6 (DS39589B tprog2); 100 us
    // for EPROM cells (95 to 105 us pulses), 2 ms for 12-bit flash cells.
    ProgramWait programWait;

    bool flash12Bit() const { return twelveBit && erasable; }
};

// The family of `digit`; nullptr when there is none.
const Family* findFamily(int digit);
// The selected chip's algorithm; one without steps when no chip is selected.
const Family& algorithmOf(const DeviceRecord& d);

// The program-memory write latches a row write fills on the selected chip:
// its family's rows, or the latches of today's mid-range chips of family 5
// (12F683 and 16F6xx 4, 16F88x 8, 16F913/914 4, 16F916/917/946 8: DS41204G,
// DS41287C 3.2.4, DS41244E 3.1.4); 0 where words are written one at a time.
int writeRowOf(const DeviceRecord& d);

// Hands the link the selected chip's family timings (the wait after Begin
// Programming); every operation does this as it starts.
void useFamilyTimings(Session& s);

// Reads the chosen chip's line of the device list (selectDevice) and refuses
// a chip whose family is not known here: it is told and nothing is selected.
void selectChip(Session& s);

}  // namespace ferrolux
