#pragma once

#include <cstdint>
#include <string>

#include "files/serial_number.h"
#include "session/session.h"
#include "ui/window.h"

namespace ferrolux::ui {

// Settings the windows keep for the user beside kestrum.cfg: the Qt
// program's settings file, the Win32 program's registry key. Text by key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // "" when the key holds nothing.
    virtual std::string value(const std::string& key) = 0;
    virtual void setValue(const std::string& key, const std::string& value) = 0;
};

// A store that keeps nothing beyond the run (tests, no settings place).
class MemoryStore final : public SettingsStore {
  public:
    std::string value(const std::string& key) override;
    void setValue(const std::string& key, const std::string& value) override;

  private:
    std::vector<std::pair<std::string, std::string>> values_;
};

// The window's serial numbering: when enabled, Write puts `next` into each
// chip at `at` in `format`, and counts on by one after a write that ended well.
struct SerialSettings {
    bool enabled = false;
    SerialLocation at{SerialPlace::eeprom, 0, 2};
    SerialFormat format = SerialFormat::binary;
    std::uint64_t next = 1;
};

// Keys "serial/enabled", "serial/at" (as --serial-at takes it),
// "serial/format" (be, le, bcd, ascii) and "serial/next"; what does not
// parse keeps its default.
SerialSettings loadSerialSettings(SettingsStore& store);
void saveSerialSettings(SettingsStore& store, const SerialSettings& settings);
// "eeprom:0:2", "code:300:2", "ids".
std::string locationArgument(const SerialLocation& at);
const char* formatArgument(SerialFormat f);

// The "Serial Number" dialog: the enable box, the place list with address
// (hex) and length, the format list and the next number. OK checks the
// entries (and, with a chip selected, that the place lies in it) and keeps
// them in the store; a wrong entry is told and the dialog stays open.
class SerialDialog : public DialogHandler {
  public:
    SerialDialog(Session& s, SettingsStore& store) : s_(s), store_(store) {}

    void opened(Window& dialog) override;
    void command(Window& dialog, int id) override;
    bool accepted() const { return accepted_; }

  private:
    void showPlace(Window& dialog);
    bool take(Window& dialog);

    Session& s_;
    SettingsStore& store_;
    bool accepted_ = false;
};

}  // namespace ferrolux::ui
