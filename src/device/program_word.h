#pragma once

namespace ferrolux {

class Session;

// Writes the file word at the target address (data memory from 0x2010 up) with
// up to 10 attempts of load, commit by family and read-back. 0 when the word
// read back, 1 when every attempt failed; the last read stays in readBack.
int programWord(Session& s);

// The failure texts of the passes, for program memory words or data bytes.
void setWriteError(Session& s, bool dataByte);
void setVerifyError(Session& s, bool dataByte);

// Shows a progress text such as "Contr-Adr: %04X\n" in the status field.
void showAddress(Session& s, const char* format, int address);

}  // namespace ferrolux
