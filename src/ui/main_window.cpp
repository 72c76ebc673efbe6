#include "ui/main_window.h"

#include <cstdio>
#include <filesystem>

#include "device/board_test.h"
#include "device/erase.h"
#include "device/family.h"
#include "device/readback.h"
#include "files/checksum.h"
#include "files/device_list.h"
#include "files/hex_input.h"
#include "files/state_file.h"
#include "platform/files.h"
#include "session/messages.h"
#include "ui/config_dialog.h"
#include "ui/control_ids.h"
#include "ui/data_window.h"
#include "ui/parallel_dialog.h"

namespace ferrolux::ui {

namespace {

constexpr const char* kTwoBlanks = "  ";
constexpr const char* kErasing = "erasing.....     ";
constexpr const char* kWriting = "writing.....     ";
constexpr const char* kNoFile = "No File selected!";
constexpr const char* kHelpFile = "T3306.CHM";
constexpr const char* kDriverMissing =
    "Driver 'DlPortIO' must be installed!\n\nDownload:\n"
    "https://www.kernel.org/doc/html/latest/driver-api/parport-lowlevel.html (Linux: ppdev)";
constexpr const char* kAboutText =
    "Ferrolux\nRevision 2.6.0\nfor the KORVANIS PIC programmers T3306 and T3307\n"
    "with a built-in simulated programmer (port SIM1)";

bool isSerialName(const std::string& name) {
    const int item = ctl::portItemOf(name);
    return item != 0 && item != ctl::kPort0278 && item != ctl::kPort0378 && item != ctl::kPort03BC;
}

std::uint16_t parallelBaseOf(int id) {
    switch (id) {
        case ctl::kPort0278:
            return 0x278;
        case ctl::kPort03BC:
            return 0x3BC;
        default:
            return 0x378;
    }
}

}  // namespace

MainWindow::MainWindow(Session& s, Window& w, LinkHost* host)
    : s_(s), chip_(s), w_(w), host_(host ? host : &noHost_) {}

// --- Endings and helpers ---

void MainWindow::status(const std::string& text) {
    w_.setText(ctl::kStatusField, text);
    w_.repaint();
}

void MainWindow::greyIdle(bool fileField) {
    w_.enable(ctl::kStatusField, false);
    if (fileField) w_.enable(ctl::kFileField, false);
    w_.repaint();
}

bool MainWindow::ask(const std::string& text, const std::string& title, QuestionKind kind) {
    return w_.ask(text, title, kind) == Answer::ok;
}

bool MainWindow::askDestructive(const std::string& text) {
    const std::string chip = "\n\nChip: " + s_.device.name;
    return w_.question(text + chip, "Warning!", Answer::cancel) == Answer::ok;
}

int MainWindow::refused(const std::string& text) {
    w_.messageBox(text, "ERROR!");
    ending_ = Ending::refused;
    return 1;
}

// A chip command needs a chip: a selection that names an entry of the list.
bool MainWindow::noChip() {
    return s_.device.listIndex < 0 || w_.listItem(ctl::kChipList, s_.device.listIndex).empty();
}

// A file that fails its check ends the command before the link is used.
int MainWindow::rejectFile() {
    w_.setText(ctl::kStatusField, " ");
    greyIdle(true);
    // An empty message: the user said Cancel to a question about the file.
    if (s_.message.empty()) {
        ending_ = Ending::cancelled;
        return 1;
    }
    w_.messageBox(s_.message, "Error");
    ending_ = Ending::failed;
    return 1;
}

// Cancel after the link was used: the chip leaves programming mode.
int MainWindow::cancelled() {
    chip_.leave();
    w_.enable(ctl::kSaveButton, true);
    status(kTwoBlanks);
    greyIdle(true);
    ending_ = Ending::cancelled;
    notifyEnded();
    return 1;
}

void MainWindow::notifyEnded() {
    // A command whose result could not be kept did not succeed.
    if (!host_->commandEnded(s_) && ending_ == Ending::ok) ending_ = Ending::failed;
}

// "OK" and the checksum of what the chip now holds.
std::string MainWindow::okWithChecksum(const ChipImage& image) {
    const auto sum = static_cast<unsigned>(chipChecksum(s_.device, image));
    lastChecksum = formatText("Checksum %04X", sum);
    return formatText("OK  checksum %04X", sum);
}

int MainWindow::finishCommand(const std::string& text, bool greyFileField) {
    status(text);
    w_.beep();
    chip_.pause(1000);
    greyIdle(greyFileField);
    ending_ = Ending::ok;
    notifyEnded();
    return 0;
}

int MainWindow::failCommand() {
    w_.enable(ctl::kStatusField, true);
    w_.repaint();
    w_.setText(ctl::kStatusField, " ");
    w_.messageBox(s_.message, "Error");
    w_.enable(ctl::kStatusField, false);
    w_.enable(ctl::kFileField, false);
    w_.repaint();
    chip_.leave();
    ending_ = Ending::failed;
    notifyEnded();
    return 1;
}

// --- Command table ---

void MainWindow::command(int id) {
    dispatch(id);
    if (!ended_) showSummary();
}

void MainWindow::dispatch(int id) {
    ending_ = Ending::none;
    switch (id) {
        case ctl::kWriteButton:
            write();
            return;
        case ctl::kVerifyButton:
            verify();
            return;
        case ctl::kSaveButton:
            save();
            return;
        case ctl::kViewSetButton:
            configDialog();
            return;
        case ctl::kExitButton:
        case ctl::kExitMenu:
        case ctl::kCancel:
            ended_ = true;
            w_.endDialog(0);
            return;
        case ctl::kOpenFile:
            openFile();
            return;
        case ctl::kCloseFile:
            closeFile();
            return;
        case ctl::kEraseCode:
        case ctl::kEraseData:
            eraseMemory(id);
            return;
        case ctl::kDisableProtection:
            disableCodeProtection();
            return;
        case ctl::kDataWindow:
            dataWindow();
            return;
        case ctl::kHelpTopics:
            help();
            return;
        case ctl::kAbout:
            about();
            return;
        case ctl::kBoardTest:
            boardTest();
            return;
        case ctl::kSerialNumberMenu:
            serialDialog();
            return;
        case ctl::kChipList:
            chipListChanged();
            return;
        case ctl::kLowVoltBox:
            lowVoltClicked();
            return;
        case ctl::kPort0278:
        case ctl::kPort0378:
        case ctl::kPort03BC:
            selectParallelPort(id);
            return;
        default:
            break;
    }
    if (id >= ctl::kSpeedVeryLow && id <= ctl::kSpeedHigh) {
        setSpeed(id);
    } else if (isSerialName(ctl::portNameOf(id))) {
        selectComPort(id);
    } else if (id >= ctl::kPortFtdiAdapter0 &&
               id < ctl::kPortFtdiAdapter0 + static_cast<int>(ftdiNames_.size())) {
        selectComPort(id, ftdiNames_[static_cast<std::size_t>(id - ctl::kPortFtdiAdapter0)]);
    } else if (id >= ctl::kPortDevice0 &&
               id < ctl::kPortDevice0 + static_cast<int>(deviceNames_.size())) {
        selectComPort(id, deviceNames_[static_cast<std::size_t>(id - ctl::kPortDevice0)]);
    }
}

// --- Chip commands ---

int MainWindow::write() {
    status(kTwoBlanks);
    const bool code = w_.isChecked(ctl::kWriteCodeBox);
    const bool data = w_.isChecked(ctl::kWriteDataBox);
    const bool config = w_.isChecked(ctl::kWriteConfigBox);
    const bool erase = w_.isChecked(ctl::kEraseBeforeWriteBox);
    const bool keepData = erase && w_.isChecked(ctl::kKeepDataBox);
    if (noChip()) return refused(kNoChip);
    if ((data || code) && !s_.file.fileSelected) return refused(kNoFile);
    // The file as it is now, read once for the whole write.
    ChipImage image;
    if ((data || code) && loadSelectedFile(s_, image, true) != 0) return rejectFile();
    // The next serial number in place of what the file has there, before the
    // chip is touched: write, verify and the checksum take it.
    SerialSettings serial = loadSerialSettings(*settings_);
    if (serial.enabled) {
        const bool inData = serial.at.place == SerialPlace::eeprom;
        if (inData ? !data : !code) {
            return refused(inData ? "The serial number goes into the data memory:\ntick "
                                    "\"Write Data\" or turn it off under Options."
                                  : "The serial number goes into the code or ID locations:\n"
                                    "tick \"Write Code\" or turn it off under Options.");
        }
        std::string error;
        if (!applySerial(s_.device, serial.at, serial.format, serial.next, image, error))
            return refused("Serial number: " + error);
    }
    w_.enable(ctl::kStatusField, true);
    w_.repaint();
    w_.enable(ctl::kFileField, true);

    if (chip_.checkLink() == 0) return failCommand();
    if (!chip_.sameChipOrAgreed()) return cancelled();
    const Outcome outcome = chip_.write({erase, code, data, config, keepData}, image).outcome;
    if (outcome == Outcome::cancelled) return cancelled();
    if (outcome == Outcome::failed) return failCommand();
    if (config) w_.enable(ctl::kViewSetButton, true);
    w_.enable(ctl::kSaveButton, true);
    std::string done =
        okWithChecksum(heldAfterWrite(s_.device, image, s_.chip, code, config, erase));
    // Keep Data Mem. yields to a file that brings its own EEPROM.
    if (keepData) done += data && image.hasData() ? "   EEPROM from the file" : "   EEPROM kept";
    if (serial.enabled) {
        // Counted on only after a write that ended well.
        done += "  serial " + serialText(serial.next, serial.format);
        if (serial.next < UINT64_MAX) ++serial.next;
        saveSerialSettings(*settings_, serial);
    }
    return finishCommand(done, true);
}

int MainWindow::verify() {
    status(kTwoBlanks);
    if (noChip()) return refused(kNoChip);
    if (!s_.file.fileSelected) return refused(kNoFile);
    ChipImage image;
    if (loadSelectedFile(s_, image, true) != 0) return rejectFile();
    w_.enable(ctl::kStatusField, true);
    w_.repaint();
    w_.enable(ctl::kFileField, true);
    if (chip_.checkLink() == 0) return failCommand();
    if (!chip_.sameChipOrAgreed()) return cancelled();
    const VerifyOptions options{w_.isChecked(ctl::kVerifyCodeBox),
                                w_.isChecked(ctl::kVerifyDataBox)};
    if (chip_.verify(options, image).outcome != Outcome::ok) return failCommand();
    return finishCommand(okWithChecksum(image), true);
}

int MainWindow::save() {
    status(kTwoBlanks);
    if (noChip()) return refused(kNoChip);
    // Where each checked form goes, asked before the link is used.
    const bool forms[] = {w_.isChecked(ctl::kSaveHexRadio), w_.isChecked(ctl::kSaveTextRadio)};
    std::string targets[2];
    for (int listing = 0; listing < 2; ++listing) {
        if (!forms[listing]) continue;
        targets[listing] = readbackTarget(listing == 1);
        if (targets[listing].empty()) {
            status(kTwoBlanks);
            ending_ = Ending::cancelled;
            return 1;
        }
    }
    w_.enable(ctl::kStatusField, true);
    w_.repaint();
    s_.pass.blank = true;
    if (chip_.checkLink() == 0) return failCommand();
    std::string saved;
    for (int listing = 0; listing < 2; ++listing) {
        if (!forms[listing]) continue;
        s_.readbackPath = platform::pathFromUtf8(targets[listing]);
        const int failed = chip_.saveReadback(listing == 1);
        s_.readbackPath.clear();
        if (failed != 0) return failCommand();
        saved = platform::utf8Of(platform::pathFromUtf8(targets[listing]).filename());
    }
    if (!s_.pass.blank) showConfigField(s_, w_);
    w_.repaint();
    // An unprotected chip's checksum, from its hex readback.
    const int sum = forms[0] && protectedReadbackNote(s_).empty()
                        ? readbackChecksum(s_.device, targets[0])
                        : -1;
    if (sum >= 0) lastChecksum = formatText("Checksum %04X", static_cast<unsigned>(sum));
    if (!saved.empty())
        status("'" + saved + "' saved" +
               (sum >= 0 && !forms[1] ? formatText("  checksum %04X", static_cast<unsigned>(sum))
                                      : std::string()));
    // A protected chip reads as zeros: the file is not its program.
    if (const std::string note = protectedReadbackNote(s_); !note.empty())
        w_.messageBox(note, "Warning!");
    w_.beep();
    chip_.pause(1000);
    greyIdle(false);
    ending_ = Ending::ok;
    notifyEnded();
    return 0;
}

int MainWindow::eraseMemory(int id) {
    const bool codeMemory = id == ctl::kEraseCode;
    status(kTwoBlanks);
    if (noChip()) return refused(kNoChip);
    if (!askDestructive(eraseQuestion(s_.device, codeMemory ? EraseKind::code : EraseKind::data))) {
        greyIdle(false);
        ending_ = Ending::cancelled;
        return 1;
    }
    status(kTwoBlanks);
    w_.enable(ctl::kStatusField, true);
    w_.repaint();
    status(kErasing);
    if (chip_.checkLink() == 0) return failCommand();
    if ((codeMemory ? chip_.eraseCode() : chip_.eraseData()) != 0) return failCommand();
    chip_.leave();
    return finishCommand("OK", false);
}

int MainWindow::disableCodeProtection() {
    status(kTwoBlanks);
    if (noChip()) return refused(kNoChip);
    if (!askDestructive(kDeletesMemory)) {
        greyIdle(true);
        ending_ = Ending::cancelled;
        return 1;
    }
    w_.enable(ctl::kStatusField, true);
    w_.repaint();
    if (chip_.checkLink() == 0) return failCommand();
    if (chip_.eraseChip() != 0) return failCommand();
    chip_.leave();
    w_.beep();
    chip_.pause(1000);
    greyIdle(true);
    ending_ = Ending::ok;
    notifyEnded();
    return 0;
}

// Asks where the readback goes, readback.hex or .txt in the program
// directory preselected; empty when the user cancelled.
std::string MainWindow::readbackTarget(bool listing) {
    const std::filesystem::path folder = s_.outputDir.empty() ? s_.programDir : s_.outputDir;
    FileRequest request{"Save the Readback", listing ? "Text-Files" : "Hex-Files",
                        listing ? "*.txt" : "*.hex", platform::utf8Of(folder),
                        listing ? "readback.txt" : "readback.hex"};
    return w_.pickSaveFile(request);
}

// --- File commands ---

int MainWindow::openFile() {
    const std::string previous = s_.file.hexPath;
    readStoredHexPath(s_);
    std::string folder = platform::utf8Of(platform::pathFromUtf8(s_.file.hexPath).parent_path());
    s_.file.hexPath = previous;
    const std::string chosen = w_.pickFile({"Open a File", "Hex-Files", "*.hex", folder, {}});
    if (chosen.empty()) {
        ending_ = Ending::cancelled;
        return 1;
    }
    const FileChoice before = fileChoice();
    s_.file.hexPath = chosen;
    s_.file.quiet = false;
    HexFile file;
    if (openHexFile(s_, file) != 0) {
        // The file that was selected before stays selected.
        restoreFileChoice(before);
        w_.setText(ctl::kFileField, s_.file.fileSelected ? s_.file.fileName : " ");
        return failCommand();
    }
    if (const std::string doubt = fileDoubt(file);
        !doubt.empty() && !ask(doubt, "Warning!", QuestionKind::doubt)) {
        dropFile(before);
        ending_ = Ending::cancelled;
        return 1;
    }
    setReloadFlag(s_, '1');
    w_.enable(ctl::kFileField, true);
    w_.setText(ctl::kFileField, s_.file.fileName);
    showConfigField(s_, w_);
    w_.repaint();
    chip_.pause(1000);
    w_.enable(ctl::kFileField, false);
    w_.repaint();
    ending_ = Ending::ok;
    return 0;
}

MainWindow::FileChoice MainWindow::fileChoice() {
    FileChoice c{s_.file, s_.chip, {}, false};
    for (std::size_t i = 0; i < c.idTexts.size(); ++i)
        c.idTexts[i] = w_.text(ctl::kIdFields[i]);
    c.writeConfig = w_.isChecked(ctl::kWriteConfigBox);
    return c;
}

void MainWindow::restoreFileChoice(const FileChoice& c) {
    s_.file = c.file;
    s_.chip = c.chip;
    for (std::size_t i = 0; i < c.idTexts.size(); ++i)
        w_.setText(ctl::kIdFields[i], c.idTexts[i]);
    w_.check(ctl::kWriteConfigBox, c.writeConfig);
}

// A file declined after it was read: no file is selected, and its
// configuration word and IDs are not left armed for writing.
void MainWindow::dropFile(const FileChoice& before) {
    restoreFileChoice(before);
    s_.file.fileSelected = false;
    w_.setText(ctl::kFileField, " ");
    w_.enable(ctl::kViewSetButton, true);
    w_.enable(ctl::kSaveButton, true);
}

void MainWindow::closeFile() {
    s_.file.fileSelected = false;
    w_.enable(ctl::kFileField, true);
    w_.setText(ctl::kFileField, " ");
    w_.enable(ctl::kViewSetButton, true);
    w_.enable(ctl::kSaveButton, true);
    w_.repaint();
    chip_.pause(1000);
    w_.enable(ctl::kFileField, false);
    w_.repaint();
    ending_ = Ending::ok;
}

// --- Dialogs ---

int MainWindow::configDialog() {
    if (noChip()) return refused(kNoChip);
    ConfigDialog dialog(s_);
    w_.runDialog(ctl::kConfigDialog, dialog);
    showConfigField(s_, w_);
    ending_ = dialog.failures() == 0 ? Ending::ok : Ending::failed;
    notifyEnded();
    return dialog.failures() == 0 ? 0 : 1;
}

int MainWindow::dataWindow() {
    if (noChip()) return refused(kNoChip);
    if (algorithmOf(s_.device).twelveBit || s_.device.dataBytes <= 0) return refused(kNoDataMemory);
    s_.pass.blank = true;
    if (chip_.checkLink() == 0) return failCommand();
    DataWindow dialog(s_);
    w_.runDialog(ctl::kDataMemoryDialog, dialog);
    chip_.leave();
    ending_ = dialog.failures() == 0 ? Ending::ok : Ending::failed;
    notifyEnded();
    return dialog.failures() == 0 ? 0 : 1;
}

int MainWindow::help() {
    const std::filesystem::path file = s_.programDir / kHelpFile;
    std::FILE* f = platform::openRegularFile(file, "rb");
    if (f == nullptr) {
        w_.messageBox("T3306.CHM not found!", "Error");
        ending_ = Ending::failed;
        return 1;
    }
    std::fclose(f);
    w_.openDocument(platform::utf8Of(file));
    ending_ = Ending::ok;
    return 0;
}

void MainWindow::about() {
    w_.messageBox(kAboutText, "About Ferrolux");
}

int MainWindow::serialDialog() {
    SerialDialog dialog(s_, *settings_);
    w_.runDialog(ctl::kSerialDialog, dialog);
    return dialog.accepted() ? 0 : 1;
}

int MainWindow::boardTest() {
    status(kTwoBlanks);
    w_.enable(ctl::kStatusField, true);
    w_.repaint();
    const BoardTest test = testBoard(s_);
    const bool passed = test.passed();
    status(passed ? "Board Test OK" : "Board Test failed");
    w_.messageBox(test.text(), "Board Test");
    w_.enable(ctl::kStatusField, false);
    ending_ = passed ? Ending::ok : Ending::failed;
    notifyEnded();
    return passed ? 0 : 1;
}

// --- Start-up and exit ---

int MainWindow::storedChipPosition() {
    if (!s_.device.name.empty()) {
        for (int i = 0;; ++i) {
            const std::string item = w_.listItem(ctl::kChipList, i);
            if (item.empty()) return -1;
            if (item == s_.device.name) return i;
        }
    }
    const bool inList = !w_.listItem(ctl::kChipList, s_.device.listIndex).empty();
    return inList ? s_.device.listIndex : -1;
}

bool MainWindow::open(bool offerReload) {
    w_.enable(ctl::kFileField, false);
    w_.enable(ctl::kStatusField, false);
    // No device list, no program directory: nothing (not even a state file) is made there.
    if (checkDeviceList(s_) != 0) {
        ended_ = true;
        w_.endDialog(0);
        return false;
    }
    loadState(s_);
    for (int id = ctl::kSpeedVeryLow; id <= ctl::kSpeedHigh; ++id) {
        w_.check(id, id == ctl::kSpeedVeryLow + s_.link.speed);
    }
    fillChipList(s_);
    w_.selectListItem(ctl::kChipList, storedChipPosition());
    selectChip(s_);
    w_.show();

    // Low voltage as stored, where the chip and the adapter allow it.
    if (s_.chip.lowVoltageChar == '1' && s_.device.lowVoltageFlag == 'Y' &&
        s_.link.adapter == '1') {
        w_.check(ctl::kLowVoltBox, true);
        s_.link.lowVoltage = true;
    }
    if (s_.link.adapter == '2' || s_.link.adapter == '3') {
        s_.link.lowVoltage = false;
        s_.chip.lowVoltageChar = '0';
        w_.enable(ctl::kLowVoltBox, false);
    }

    // Port: a parallel base, or a serial port checked in the menu (opened later).
    s_.link.serial = false;
    s_.link.parallelBase = 0x378;
    for (int id : ctl::kPortItems)
        w_.check(id, false);
    listFtdiAdapters();
    listSerialDevices();
    const int item = portItem(s_.link.portName);
    if (item == ctl::kPort0278 || item == ctl::kPort0378 || item == ctl::kPort03BC) {
        s_.link.parallelBase = parallelBaseOf(item);
    } else if (item != 0) {
        w_.check(item, true);
        serialChosen();
    }
    host_->started(s_);
    host_->chipChosen(s_);

    chip_.leave();

    for (int id : {ctl::kWriteCodeBox, ctl::kWriteDataBox, ctl::kSaveHexRadio, ctl::kVerifyCodeBox,
                   ctl::kEraseBeforeWriteBox}) {
        w_.check(id, true);
    }
    for (int id :
         {ctl::kWriteConfigBox, ctl::kVerifyDataBox, ctl::kSaveTextRadio, ctl::kKeepDataBox}) {
        w_.check(id, false);
    }
    if (algorithmOf(s_.device).twelveBit) applyTwelveBitBoxes();
    if (offerReload) restoreLastFile();
    showSummary();
    return true;
}

void MainWindow::restoreLastFile() {
    const char mark = readReloadFlag(s_);
    if (mark != '1') return;
    const FileChoice before = fileChoice();
    readStoredHexPath(s_);
    s_.file.quiet = true;
    HexFile file;
    const int loaded = openHexFile(s_, file);
    s_.file.quiet = false;
    if (loaded != 0) {
        restoreFileChoice(before);
        s_.file.fileSelected = false;
        return;
    }
    std::string name = s_.file.fileName;
    name = name.substr(0, name.find(' '));
    if (name.size() > 74) name.resize(74);
    if (!ask("Open '" + name + "' ?", "Kestrum")) {
        dropFile(before);
        setReloadFlag(s_, '0');
        return;
    }
    if (openHexFile(s_, file) != 0) {
        dropFile(before);
        return;
    }
    if (const std::string doubt = fileDoubt(file);
        !doubt.empty() && !ask(doubt, "Warning!", QuestionKind::doubt)) {
        dropFile(before);
        return;
    }
    showConfigField(s_, w_);
    w_.enable(ctl::kFileField, true);
    w_.setText(ctl::kFileField, s_.file.fileName);
    w_.repaint();
    chip_.pause(1000);
    w_.enable(ctl::kFileField, false);
    w_.repaint();
}

void MainWindow::close() {
    saveState(s_);
    s_.port.comHandle.reset();
    host_->closed(s_);
}

// --- Port, speed, chip ---

void MainWindow::uncheckPortItems() {
    for (int id : ctl::kPortItems)
        w_.check(id, false);
    for (std::size_t i = 0; i < ftdiNames_.size(); ++i)
        w_.check(ctl::kPortFtdiAdapter0 + static_cast<int>(i), false);
    for (std::size_t i = 0; i < deviceNames_.size(); ++i)
        w_.check(ctl::kPortDevice0 + static_cast<int>(i), false);
}

void MainWindow::listSerialDevices() {
    deviceNames_.clear();
    for (const auto& [name, text] : host_->serialDevices()) {
        if (deviceNames_.size() == ctl::kPortDeviceItems) break;
        w_.showMenuItem(ctl::kPortDevice0 + static_cast<int>(deviceNames_.size()), text, true);
        deviceNames_.push_back(name);
    }
}

void MainWindow::listFtdiAdapters() {
    ftdiNames_.clear();
    for (const auto& [name, text] : host_->ftdiAdapters()) {
        if (ftdiNames_.size() == ctl::kFtdiAdapterItems) break;
        w_.showMenuItem(ctl::kPortFtdiAdapter0 + static_cast<int>(ftdiNames_.size()), text, true);
        ftdiNames_.push_back(name);
    }
}

int MainWindow::portItem(const std::string& name) const {
    for (std::size_t i = 0; i < ftdiNames_.size(); ++i) {
        if (ftdiNames_[i] == name) return ctl::kPortFtdiAdapter0 + static_cast<int>(i);
    }
    for (std::size_t i = 0; i < deviceNames_.size(); ++i) {
        if (deviceNames_[i] == name) return ctl::kPortDevice0 + static_cast<int>(i);
    }
    return ctl::portItemOf(name);
}

void MainWindow::serialChosen() {
    s_.link.serial = true;
    w_.enable(ctl::kLowVoltBox, false);
    w_.check(ctl::kLowVoltBox, false);
    s_.link.lowVoltage = false;
    s_.chip.lowVoltageChar = '0';
}

void MainWindow::choosePort(int id, const std::string& name) {
    uncheckPortItems();
    w_.check(id, true);
    s_.link.portName = name.empty() ? ctl::portNameOf(id) : name;
    serialChosen();
    s_.port.comHandle.reset();
    host_->portChosen(s_);
}

int MainWindow::selectComPort(int id, const std::string& name) {
    choosePort(id, name);
    if (chip_.openComPort() != 0) return failCommand();
    w_.enable(ctl::kStatusField, true);
    if (s_.link.lineSense == 1) status("T3306 detected");
    chip_.pause(1000);
    greyIdle(false);
    ending_ = Ending::ok;
    return 0;
}

bool MainWindow::beginParallelPort(int id) {
    if (!s_.port.directIo && !s_.port.driverUsable) {
        refused(kDriverMissing);
        return false;
    }
    uncheckPortItems();
    w_.check(id, true);
    s_.link.parallelBase = parallelBaseOf(id);
    s_.link.portName = ctl::portNameOf(id);
    w_.enable(ctl::kStatusField, false);
    s_.link.serial = false;
    s_.port.comHandle.reset();
    host_->portChosen(s_);
    return true;
}

int MainWindow::endParallelPort(bool found) {
    w_.enable(ctl::kLowVoltBox, s_.device.lowVoltageFlag == 'Y' && s_.link.adapter == '1');
    ending_ = found ? Ending::ok : Ending::failed;
    return found ? 0 : 1;
}

int MainWindow::selectParallelPort(int id) {
    if (!beginParallelPort(id)) return 1;
    ParallelDialog dialog(s_, w_);
    w_.runDialog(ctl::kParallelDialog, dialog);
    return endParallelPort(dialog.adapterFound());
}

int MainWindow::useParallelPort(int id, char adapter, char vppLine) {
    if (!beginParallelPort(id)) return 1;
    if (adapter != '\0') s_.link.adapter = adapter;
    if (vppLine != '\0') s_.link.vppLine = vppLine;
    return endParallelPort(applyParallelAdapter(s_, w_, w_));
}

void MainWindow::setSpeed(int id) {
    for (int item = ctl::kSpeedVeryLow; item <= ctl::kSpeedHigh; ++item)
        w_.check(item, item == id);
    s_.link.speed = id - ctl::kSpeedVeryLow;
    storeSpeed(s_, static_cast<char>('0' + s_.link.speed));
}

void MainWindow::chipListChanged() {
    if (w_.listSelection(ctl::kChipList) < 0) {
        w_.messageBox("auswahl?", "Error!");
        return;
    }
    selectChip(s_);
    applyChipToControls();
    host_->chipChosen(s_);
}

void MainWindow::applyChipToControls() {
    if (s_.device.lowVoltageFlag == 'Y') {
        w_.enable(ctl::kLowVoltBox, true);
    } else {
        w_.enable(ctl::kLowVoltBox, false);
        w_.check(ctl::kLowVoltBox, false);
        s_.link.lowVoltage = false;
        s_.chip.lowVoltageChar = '0';
    }
    if (algorithmOf(s_.device).twelveBit) {
        applyTwelveBitBoxes();
        return;
    }
    for (int id : {ctl::kWriteDataBox, ctl::kVerifyDataBox, ctl::kVerifyCodeBox,
                   ctl::kEraseBeforeWriteBox}) {
        w_.enable(id, true);
    }
    // Only a chip with data memory has any to keep.
    if (s_.device.dataBytes <= 0) w_.check(ctl::kKeepDataBox, false);
    w_.enable(ctl::kKeepDataBox, s_.device.dataBytes > 0);
}

// No data memory, code always verified; only flash chips can be erased first.
void MainWindow::applyTwelveBitBoxes() {
    w_.check(ctl::kWriteDataBox, false);
    w_.check(ctl::kVerifyDataBox, false);
    w_.check(ctl::kVerifyCodeBox, true);
    for (int id : {ctl::kWriteDataBox, ctl::kVerifyDataBox, ctl::kVerifyCodeBox})
        w_.enable(id, false);
    const bool erasable = algorithmOf(s_.device).erasable;
    if (!erasable) w_.check(ctl::kEraseBeforeWriteBox, false);
    w_.enable(ctl::kEraseBeforeWriteBox, erasable);
    w_.check(ctl::kKeepDataBox, false);
    w_.enable(ctl::kKeepDataBox, false);
}

void MainWindow::lowVoltClicked() {
    s_.link.lowVoltage = w_.isChecked(ctl::kLowVoltBox);
    s_.chip.lowVoltageChar = s_.link.lowVoltage ? '1' : '0';
}

// --- Title and status bar ---

std::string MainWindow::title() const {
    const std::string& port = s_.link.portName;
    std::string board;
    if (port == kSimulatorPort || port == "ftdi:SIM1") {
        board = "simulated board";
    } else if (port.rfind("ftdi", 0) == 0) {
        board = "FTDI serial board";
    } else if (s_.link.serial) {
        board = "serial board";
    } else if (!port.empty()) {
        board = "parallel board";
    }
    std::string t = std::string("Ferrolux ") + kTitleVersion;
    if (!board.empty()) t += " \u2014 " + board;
    return t;
}

std::string MainWindow::statusLine() const {
    std::string line = s_.device.name.empty() ? "No chip" : s_.device.name;
    if (!s_.link.portName.empty()) line += "   Port " + s_.link.portName;
    if (!lastChecksum.empty()) line += "   " + lastChecksum;
    return line;
}

void MainWindow::showSummary() {
    w_.setText(ctl::kWindowTitle, title());
    w_.setText(ctl::kStatusBar, statusLine());
}

}  // namespace ferrolux::ui
