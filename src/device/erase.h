#pragma once

namespace ferrolux {

class Session;

// Erases the whole chip and removes code protection ("Disable Codeprotection",
// and the first step of a write with "Erase bef. Write").
int eraseChip(Session& s);
// Erases the code memory ("Bulk Erase Code Memory").
int eraseCodeMemory(Session& s);
// Erases the data memory ("Bulk Erase Data Memory").
int eraseDataMemory(Session& s);

}  // namespace ferrolux
