// Saves pictures of the window and dialogs under the build folder's "screenshots"
// folder, so a reviewer can look at the layout the tests produced.
#pragma once

#include <QString>

class QWidget;

// Saves `widget` as NAME.png, with a plain title bar carrying its window title (if
// it has one) painted above it (offscreen windows have no frame of their own). Returns the
// file's path, or an empty text when it could not be written.
QString SaveScreenshot(QWidget& widget, const QString& name);
