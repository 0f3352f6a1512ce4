// The program's icon, drawn in code so the executable needs no resource files.
// Used for the main window, the dialogs and the about box's panel. Needs a
// QGuiApplication; event-loop thread only.
#pragma once

#include <QIcon>
#include <QPixmap>

// The icon at 16, 32 and 48 pixels.
QIcon ProgramIcon();
// One square picture of the icon, `size` pixels wide.
QPixmap ProgramPixmap(int size);
