#pragma once

#include "session/session.h"
#include "ui/window.h"

namespace ferrolux::ui {

// The parallel port interface dialog ("Parallelport Interface"): which adapter
// design is attached and which data bit switches Vpp. Every click takes effect
// at once; closing tests the chosen adapter and warns when none answers.
class ParallelDialog : public DialogHandler {
  public:
    // `mainWindow` owns the "Low-Volt-Prog." box that closing may grey.
    ParallelDialog(Session& s, Window& mainWindow) : s_(s), main_(mainWindow) {}

    void opened(Window& dialog) override;
    void command(Window& dialog, int id) override;

    // The test at closing found the adapter.
    bool adapterFound() const { return found_; }

  private:
    void close(Window& dialog);
    static void enableVpp(Window& dialog, bool on);

    Session& s_;
    Window& main_;
    bool found_ = false;
};

// What closing the dialog does with the adapter chosen in the session: tests
// it (a warning on `box` when none answers) and, on an adapter without the
// low-voltage line, switches low-voltage programming off in `mainWindow`.
// True when the adapter answers.
bool applyParallelAdapter(Session& s, Window& mainWindow, Window& box);

}  // namespace ferrolux::ui
