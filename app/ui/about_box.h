// TAboutBox: the "About" dialog: a panel with the program's icon, its title and the
// version of this build, and an OK button that closes it. Created once by the
// program's entry sequence and shown modally from the "&About" menu. Event-loop
// thread only.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The program's title, as the caption and the about box show it.
inline constexpr char kProgramTitle[] = "Corvane Qelt Updater";

// The build's file version as four decimal numbers joined by "." (major, minor,
// release, build), or an empty text when the build carries no version.
QString ProgramFileVersion();

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  // Builds the box with its caption, title and version texts.
  explicit TAboutBox(QWidget* parent = nullptr);

  QLabel* LTitle() const { return title_; }
  QLabel* LVersion() const { return version_; }
  QPushButton* OKButton() const { return ok_; }

 private:
  QLabel* title_ = nullptr;    // "Corvane Qelt Updater"
  QLabel* version_ = nullptr;  // "Version : " and the file version
  QPushButton* ok_ = nullptr;  // default button; closes the box
};
