#pragma once

#include <QIcon>

namespace ferrolux::qt {

class QtWindow;

// The main window: menu bar, group boxes, fields and buttons, at 361 x 253
// dialog units below the menu bar, fixed in size.
void buildMainWindow(QtWindow& window);

// The controls of dialog `dialogId` (1131, 1112, 1043); false for another id.
bool buildDialog(int dialogId, QtWindow& dialog);

// The program's icon: a chip on a programmer's socket.
QIcon programIcon();

}  // namespace ferrolux::qt
