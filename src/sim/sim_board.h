#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/parallel_port.h"
#include "platform/serial_port.h"
#include "sim/sim_clock.h"
#include "sim/socket_chip.h"

namespace ferrolux::sim {

enum class BoardKind { serial, an589, p16pro, none };

struct BoardConfig {
    BoardKind kind = BoardKind::serial;
    bool invertedBuffers = false;  // parallel boards: data and status both pass inverters
    int vppBit = 4;                // p16pro: data bit (3 or 4) that switches Vpp off
};

// A fault on the data line: it reads that level both ways.
enum class DataFault { none, stuckHigh, stuckLow };

// A broken board, as a board self-test should find it: the data line stuck
// high or low, no supply (nothing answers), a clock or Vpp line that never
// reaches the chip, or a chip whose pins make no contact.
enum class BoardFault { none, dataHigh, dataLow, noPower, clockStuck, vppStuck, noChip };

// A programmer board with a chip socket. It turns port writes into ICSP line
// levels as its wiring does, and reports the lines back through the port's
// inputs. As a parallel port it is the port the board is plugged into; the
// serial port comes from openSerial(). The board must outlive its serial ports.
class SimBoard : public platform::ParallelPort {
  public:
    struct Lines {
        bool clock = false;
        bool data = false;
        bool vpp = false;  // high-voltage programming enable
        bool pgm = false;  // low-voltage programming enable
        bool operator==(const Lines&) const = default;
    };
    struct TracePoint {
        std::uint64_t timeNs;
        Lines lines;
    };

    SimBoard(SimClock& clock, BoardConfig config);
    ~SimBoard() override;
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    const BoardConfig& config() const { return config_; }

    // Puts a chip, a VirtualPic or a VirtualPic18, in the socket (nullptr
    // empties it). The board does not own it.
    void insertChip(SocketChip* chip);
    void removeChip() { insertChip(nullptr); }
    SocketChip* chip() const { return chip_; }

    void setDataFault(DataFault fault);
    void setFault(BoardFault fault);
    BoardFault fault() const { return boardFault_; }
    Lines lines() const { return lines_; }

    // The board stops answering mid-way: after `changes` more line changes,
    // or from virtual time `timeNs` on, it acts as an empty board (the chip
    // sees every pin low, nothing loops back).
    void muteAfterChanges(std::uint64_t changes);
    void muteAt(std::uint64_t timeNs);
    bool muted() const { return muted_; }

    // The serial adapter is pulled out mid-way: after `calls` more line
    // changes or status reads through the serial port, every such call fails
    // as a vanished USB device's do (EIO). Reopening does not cure it.
    void failPortAfter(std::uint64_t calls) { portCallsLeft_ = calls; }

    // The serial port the board hangs on; nullptr while one is already open.
    std::unique_ptr<platform::SerialPort> openSerial();
    bool serialOpen() const { return serialOpen_; }
    // Another device (an FTDI adapter) drives the modem lines while attached;
    // the serial port does not open meanwhile.
    void attachModemLines(bool attached) { serialOpen_ = attached; }
    // RTS, DTR and break as a serial port would set them, all at once.
    void setModemLines(bool rts, bool dtr, bool brk);
    // CTS and RING as the serial port reports them now.
    std::uint32_t modemStatusNow() { return modemStatus(); }

    bool writeData(std::uint16_t base, std::uint8_t value) override;
    bool readWord(std::uint16_t base, std::uint16_t& word) override;
    std::uint16_t lastBase() const { return lastBase_; }

    void enableTrace(bool on) { tracing_ = on; }
    void clearTrace() { trace_.clear(); }
    const std::vector<TracePoint>& trace() const { return trace_; }

  private:
    class SerialProxy;
    enum class DataDrive { low, high, released };
    struct Drive {
        bool clock = false;
        DataDrive data = DataDrive::released;
        bool vpp = false;
        bool pgm = false;
    };

    Drive drive() const;
    bool dataLevel(DataDrive drive) const;
    void update();
    bool escape(platform::LineCode code);
    void setRtsDtr(bool rts, bool dtr);
    std::uint32_t modemStatus();
    bool parallelBoard() const;
    bool live() const {
        return config_.kind != BoardKind::none && !muted_ && boardFault_ != BoardFault::noPower;
    }
    // A chip sits in the socket and its pins make contact.
    bool chipHere() const {
        return chip_ != nullptr && live() && boardFault_ != BoardFault::noChip;
    }
    void checkMuteTime();
    void goMute(std::uint64_t atNs);
    // False once the serial port's calls have run out.
    bool portCall();

    SimClock& clock_;
    BoardConfig config_;
    SocketChip* chip_ = nullptr;
    DataFault fault_ = DataFault::none;
    BoardFault boardFault_ = BoardFault::none;
    Lines lines_;
    bool muted_ = false;
    std::optional<std::uint64_t> changesLeft_;
    std::optional<std::uint64_t> muteAtNs_;
    std::optional<std::uint64_t> portCallsLeft_;

    bool serialOpen_ = false;
    bool rts_ = false;
    bool dtr_ = false;
    bool break_ = false;

    std::uint8_t dataRegister_ = 0;
    std::uint16_t lastBase_ = 0;

    bool tracing_ = false;
    std::vector<TracePoint> trace_;
};

// Opens the board's serial port under one port name.
class SimSerialOpener : public platform::SerialOpener {
  public:
    explicit SimSerialOpener(SimBoard& board, std::string portName = "COM1")
        : board_(board), portName_(std::move(portName)) {}
    std::unique_ptr<platform::SerialPort> open(const std::string& portName) override;

  private:
    SimBoard& board_;
    std::string portName_;
};

}  // namespace ferrolux::sim
