#include "ui/parallel_dialog.h"

#include "device/chip_service.h"
#include "ui/control_ids.h"

namespace ferrolux::ui {

void ParallelDialog::enableVpp(Window& d, bool on) {
    d.enable(ctl::kVppD3Radio, on);
    d.enable(ctl::kVppD4Radio, on);
}

void ParallelDialog::opened(Window& d) {
    const char adapter = s_.link.adapter;
    d.check(ctl::kAn589Radio, adapter == '1');
    d.check(ctl::kNonInvertedRadio, adapter == '2');
    d.check(ctl::kInvertedRadio, adapter == '3');
    enableVpp(d, adapter != '1');
    d.check(ctl::kVppD3Radio, s_.link.vppLine == '3');
    d.check(ctl::kVppD4Radio, s_.link.vppLine == '4');
}

void ParallelDialog::command(Window& d, int id) {
    switch (id) {
        case ctl::kAn589Radio:
            s_.link.adapter = '1';
            enableVpp(d, false);
            break;
        case ctl::kNonInvertedRadio:
            s_.link.adapter = '2';
            enableVpp(d, true);
            break;
        case ctl::kInvertedRadio:
            s_.link.adapter = '3';
            enableVpp(d, true);
            break;
        case ctl::kVppD3Radio:
            s_.link.vppLine = '3';
            break;
        case ctl::kVppD4Radio:
            s_.link.vppLine = '4';
            break;
        case ctl::kDefaultButton:
        case ctl::kCancel:
            close(d);
            break;
        default:
            break;
    }
}

void ParallelDialog::close(Window& d) {
    found_ = applyParallelAdapter(s_, main_, d);
    d.endDialog(1);
}

bool applyParallelAdapter(Session& s, Window& mainWindow, Window& box) {
    const char adapter = s.link.adapter;
    bool found = false;
    if (adapter == '1' || adapter == '2' || adapter == '3') {
        found = ChipService(s).findParallelAdapter();
        if (!found) {
            box.messageBox(adapter == '1' ? "No AN589 based Adaptor found" : "P16PRO not found",
                           "WARNING!");
        }
    }
    if (s.link.adapter != '1') {
        s.link.lowVoltage = false;
        s.chip.lowVoltageChar = '0';
        mainWindow.enable(ctl::kLowVoltBox, false);
        mainWindow.check(ctl::kLowVoltBox, false);
    }
    return found;
}

}  // namespace ferrolux::ui
