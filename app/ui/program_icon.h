// The program's icon, drawn in code so the executable needs no resource files.
// Used for the main window, the dialogs and the about box's panel, and drawn into
// the installed icon files at build time (packaging/). The icon and the pixmap need
// a QGuiApplication; the image does not. Event-loop thread only.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

// The icon at 16, 32 and 48 pixels.
QIcon ProgramIcon();
// One square picture of the icon, `size` pixels wide.
QPixmap ProgramPixmap(int size);
// The same picture as an image with transparency, for writing to a file.
QImage ProgramImage(int size);
