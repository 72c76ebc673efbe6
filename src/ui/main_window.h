#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "device/chip_service.h"
#include "session/session.h"
#include "ui/serial_dialog.h"
#include "ui/window.h"

namespace ferrolux::ui {

inline constexpr const char* kMainTitle = "KORVANIS PIC PROGRAMMER  T3306/T3307  Rev: 2.6.0";
inline constexpr const char* kSimulatorPort = "SIM1";
// The version the window title shows (the project's major.minor).
inline constexpr const char* kTitleVersion = "2.6";

// What the main window asks of the program around it: the platform or the
// built-in simulated board behind the selected port. Every call may be ignored.
class LinkHost {
  public:
    virtual ~LinkHost() = default;
    // The state file has been read: port name and device list are known.
    virtual void started(Session& s) { (void)s; }
    // The FTDI adapters found: port name ("ftdi:SERIAL") and menu text.
    virtual std::vector<std::pair<std::string, std::string>> ftdiAdapters() { return {}; }
    // The system's serial devices beyond COM1..COM8: port name and menu text.
    virtual std::vector<std::pair<std::string, std::string>> serialDevices() { return {}; }
    // s.link.portName names a newly chosen port (the old serial port is closed).
    virtual void portChosen(Session& s) { (void)s; }
    // s.device holds a newly selected chip.
    virtual void chipChosen(Session& s) { (void)s; }
    // A command that may have touched the chip has ended. False when what the
    // chip now holds could not be kept (s.message says why).
    virtual bool commandEnded(Session& s) {
        (void)s;
        return true;
    }
    // The exit sequence has run.
    virtual void closed(Session& s) { (void)s; }
};

// How the last command ended.
enum class Ending {
    none,       // nothing ended yet, or a command without an ending
    ok,         // finishCommand: "OK", a saved-file text, or a silent success
    failed,     // failCommand, or a dialog command that reported an error
    refused,    // a missing precondition ("No File selected!" ...)
    cancelled,  // Cancel on a question
};

// The main window's logic: start-up, every command of its buttons and menus,
// the chip list, and exit.
class MainWindow {
  public:
    // The session's reporter should show on `w` (a WindowReporter on it).
    MainWindow(Session& s, Window& w, LinkHost* host = nullptr);

    // Start-up sequence. False when the device list is missing: the window
    // has then been ended (the exit sequence still belongs to the caller).
    // Without `offerReload` the last file is not offered again.
    bool open(bool offerReload = true);
    // Exit sequence: settings to the state file, serial port closed.
    void close();
    // A command id from a button, menu item, key or the chip list.
    void command(int id);
    // Exit was asked for (Exit button, File "Exit", Esc, close box).
    bool ended() const { return ended_; }
    Ending lastEnding() const { return ending_; }

    // The commands; each returns 0 when it ended with success.
    int write();
    int verify();
    int save();
    int eraseMemory(int id);  // 122 code, 123 data
    int disableCodeProtection();
    int openFile();
    void closeFile();
    int configDialog();
    int dataWindow();
    int help();
    void about();
    // Help > Board Test: the board test on the selected port, one line per
    // check in a box; 0 when every check passed.
    int boardTest();
    // Options > Serial Number: the dialog; its settings in the window's store.
    int serialDialog();
    // Where the window keeps its own settings (Qt settings, the registry);
    // without one they last as long as the window.
    void useSettings(SettingsStore* store) { settings_ = store ? store : &memory_; }

    // Port, speed, chip, low voltage.
    int selectComPort(
        int id,
        const std::string& name = {});  // COM1..COM8 and the simulator; with board detection
    // The selection steps without detection; `name` stands for the item's
    // own (an FTDI adapter given by its serial number).
    void choosePort(int id, const std::string& name = {});
    int selectParallelPort(int id);
    // The same selection with the adapter and its Vpp line given ('\0' keeps
    // the stored one), tested as the dialog's closing tests it, without the
    // dialog: the console program's way.
    int useParallelPort(int id, char adapter, char vppLine);
    void setSpeed(int id);
    void chipListChanged();
    void lowVoltClicked();
    void applyChipToControls();
    void applyTwelveBitBoxes();
    void restoreLastFile();

    // The checksum of the last Write, Verify or Save as the status bar shows
    // it (e.g. "Checksum 3A7F"); empty while none is known. Set by whoever
    // computes it; shown once the command has ended.
    std::string lastChecksum;
    // "Ferrolux 2.6 — serial board": the board on the chosen port.
    std::string title() const;
    // "PIC16F628A   Port COM1   Checksum 3A7F": chip, port, last checksum.
    std::string statusLine() const;
    // Sets the title and the status bar on the window.
    void showSummary();

    // The endings shared by the commands.
    int finishCommand(const std::string& text, bool greyFileField);
    std::string okWithChecksum(const ChipImage& image);
    int failCommand();

  private:
    void dispatch(int id);
    // What choosing a file may change; put back when the file is not taken.
    // The selected file with what it armed, to go back to.
    struct FileChoice {
        SelectedFile file;
        ChipValues chip;
        std::array<std::string, 4> idTexts;
        bool writeConfig = false;
    };
    FileChoice fileChoice();
    void restoreFileChoice(const FileChoice& choice);
    void dropFile(const FileChoice& before);
    bool noChip();
    // Where the stored chip stands in the chip list: found by its name when
    // the state file keeps one (a chip no longer listed selects nothing), else
    // by the stored position; -1 for none.
    int storedChipPosition();
    int rejectFile();
    std::string readbackTarget(bool listing);
    int cancelled();

    void status(const std::string& text);
    void greyIdle(bool fileField);
    void uncheckPortItems();
    // A parallel port's selection before and after its adapter is chosen.
    bool beginParallelPort(int id);
    int endParallelPort(bool found);
    // Shows an item per FTDI adapter the host finds.
    void listFtdiAdapters();
    // Shows an item per serial device the host lists.
    void listSerialDevices();
    // The menu item of a port name, the adapters found included; 0 for none.
    int portItem(const std::string& name) const;
    void serialChosen();
    int refused(const std::string& text);
    void notifyEnded();
    bool ask(const std::string& text, const std::string& title,
             QuestionKind kind = QuestionKind::confirm);
    // A question before memory is deleted: it names the chip, Cancel is its default.
    bool askDestructive(const std::string& text);

    Session& s_;
    ChipService chip_;
    Window& w_;
    LinkHost* host_;
    LinkHost noHost_;
    bool ended_ = false;
    Ending ending_ = Ending::none;
    std::vector<std::string> ftdiNames_;    // the port names of the adapter items, in order
    std::vector<std::string> deviceNames_;  // the port names of the serial device items
    MemoryStore memory_;
    SettingsStore* settings_ = &memory_;
};

}  // namespace ferrolux::ui
