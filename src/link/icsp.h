#pragma once

#include <memory>
#include <vector>

namespace ferrolux {

class LineDriver;
class Session;

// ICSP command numbers (Microchip names) and the two pseudo-commands that
// switch programming mode.
inline constexpr int LOAD_CONFIGURATION = 0;
inline constexpr int LOAD_DATA_PROGRAM = 2;
inline constexpr int LOAD_DATA_DATA = 3;
inline constexpr int READ_DATA_PROGRAM = 4;
inline constexpr int READ_DATA_DATA = 5;
inline constexpr int INCREMENT_ADDRESS = 6;
inline constexpr int PROGRAM_COMMAND = 8;  // Begin Erase/Programming Cycle
inline constexpr int BULK_ERASE_PROGRAM = 9;
inline constexpr int BULK_ERASE_DATA = 11;
inline constexpr int END_PROGRAM_COMMAND = 14;
inline constexpr int BEGIN_PROGRAMMING_ONLY = 24;
inline constexpr int ENTER_PGM = 65;
inline constexpr int LEAVE_PGM = 66;

// Results besides a word read or 0.
inline constexpr int ICSP_NO_TREATMENT = -1;  // command bits sent, nothing else done
inline constexpr int ICSP_NOT_SENT = -2;      // number above 63: nothing sent

// Clocks one 6-bit command into the chip on the selected port and adapter, then
// does what the command needs: sends `data` (bits 0..13) for a load, returns the
// 14-bit word for a read, or waits for a programming or erase cycle.
// Inside an IcspStream the frame joins the stream.
int sendIcsp(Session& s, int command, int data);

// The frames of a pass on one line driver, opened for the length of the
// pass: every sendIcsp and wait of the session joins it meanwhile. On an
// FTDI adapter the frames and the short waits between them go out in one
// transfer when a word is needed: a read sent with sendIcsp returns its word
// at once (one transfer for all queued before it), one queued with
// queueRead comes back with collect(). Elsewhere every frame goes out as it
// is sent. The pass's frames are sent when it ends. A stream opened inside
// another takes over until it ends; collect the outer one's reads first.
class IcspStream {
  public:
    explicit IcspStream(Session& s);
    ~IcspStream();
    IcspStream(const IcspStream&) = delete;
    IcspStream& operator=(const IcspStream&) = delete;

    // A frame as sendIcsp sends it.
    int send(int command, int data);
    // Queues a read frame (READ_DATA_PROGRAM or READ_DATA_DATA).
    void queueRead(int command);
    // The words of the reads queued since the last collect, in order; a read
    // that was not sent (a stop request) gives ICSP_NOT_SENT.
    const std::vector<int>& collect();
    // The number of reads queued and not collected.
    int pending() const { return pending_; }

    void waitMs(int ms);
    void waitUs(int us);

  private:
    // The command to send now: LEAVE_PGM once for a stop request, then
    // ICSP_NOT_SENT.
    int admitted(int command);

    Session& s_;
    std::unique_ptr<LineDriver> driver_;
    std::vector<int> words_;
    int pending_ = 0;
    IcspStream* outer_;
};

}  // namespace ferrolux
