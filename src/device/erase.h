#pragma once

#include <string>

namespace ferrolux {

class Session;
struct DeviceRecord;

// The configuration bits that protect code and data memory; a 0 in any of
// them protects that memory. 0: the chip has no such protection.
struct ProtectionBits {
    int code = 0;
    int data = 0;
};
ProtectionBits protectionBits(const DeviceRecord& d);

// Each erase confirms afterwards, with a few reads, that the configuration
// word no longer protects what it erased and that the first code word or data
// byte reads erased. A code or data erase that the chip would ignore because
// that memory is protected is refused before anything is erased.

// Erases the whole chip and removes code protection ("Disable Codeprotection",
// and the first step of a write with "Erase bef. Write").
int eraseChip(Session& s);
// Erases the code memory ("Bulk Erase Code Memory").
int eraseCodeMemory(Session& s);
// Erases the data memory ("Bulk Erase Data Memory").
int eraseDataMemory(Session& s);

// The erase commands the user chooses.
enum class EraseKind { chip, code, data };

// The question asked before an erase of `kind`: what it deletes and, where
// the chip's erase takes more than that memory (a bulk erase of code that
// also takes the IDs, or a protected EEPROM), what else will be lost.
std::string eraseQuestion(const DeviceRecord& d, EraseKind kind);

}  // namespace ferrolux
