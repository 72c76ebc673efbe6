#pragma once

#include <string>
#include <vector>

#include "device/chip_service.h"
#include "session/session.h"
#include "ui/config_bytes.h"
#include "ui/window.h"

namespace ferrolux::ui {

// Reads a configuration word the way the hex value field does: from the first
// 7 characters, after blanks, up to 4 hex digits (an "0x" prefix counts toward
// them). False when no digit can be read; a sign is not taken.
bool scanConfigValue(const std::string& field, int& value);

// Puts the selected chip's 14 bit labels into `dialog` and sets its bit boxes
// from the configuration word.
void loadConfigLabels(Session& s, Window& dialog);

// The main window's configuration field: the word, or on PIC18 chips the
// bytes that differ from their erased values (configSummary).
void showConfigField(Session& s, Window& main);

// The configuration word dialog ("Config-Word / ID's"): bit boxes under the
// chip's own labels, the hex value field, the second configuration word's
// field (on chips that have one) and the four ID fields, all working directly
// on the session's configuration words and ID values. On PIC18 chips the
// boxes (bits 7-0) and the hex field show the configuration byte picked in
// the byte list; the ID fields are greyed.
class ConfigDialog : public DialogHandler {
  public:
    explicit ConfigDialog(Session& s) : s_(s), chip_(s) {}

    void opened(Window& dialog) override;
    void command(Window& dialog, int id) override;
    void textChanged(Window& dialog, int id) override;

    // The change rules, as run for an edit or for a text the program sets.
    void hexValueChanged(Window& dialog);
    void bitBoxClicked(Window& dialog);
    void idFieldChanged(Window& dialog, int index);

    // The chip commands; 0 on success, 1 after an "Error" box.
    int readConfig(Window& dialog);
    int writeConfig(Window& dialog);
    int readIds(Window& dialog);
    int writeIds(Window& dialog);
    // "Done": false (and "Configword Value?") while the word is above 0x3FFF.
    bool done(Window& dialog);

    // PIC18 chips: the byte picked in the list, and the place (0 = 0x300000)
    // of the byte shown; -1 on other chips.
    void byteSelected(Window& dialog);
    int shownPlace() const { return place_; }

    // Chip commands of this opening that ended with an error.
    int failures() const { return failures_; }

  private:
    void setHexField(Window& dialog);
    void setIdFields(Window& dialog);
    void setConfig2Field(Window& dialog);
    void config2Changed(Window& dialog);
    int fail(Window& dialog);
    // PIC18 chips (config_dialog18.cpp).
    bool wide() const { return place_ >= 0; }
    void opened18(Window& dialog);
    void showByte(Window& dialog);
    void showBoxes(Window& dialog);
    void byteValueChanged(Window& dialog);
    void byteBoxClicked(Window& dialog);
    bool protectionAgreed(Window& dialog);

    Session& s_;
    ChipService chip_;
    int failures_ = 0;
    int place_ = -1;
    ConfigByteLabels labels_;
    std::vector<int> places_;  // the places of the byte list's entries
};

}  // namespace ferrolux::ui
