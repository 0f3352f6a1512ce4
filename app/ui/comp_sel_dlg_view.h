// TCompSelDlgView: the window of the component selection dialog. It shows the
// TCompSelDlg model (five tabs, each with its card box and, below it, a group of
// component boxes), copies each tick into the model and calls the model's click
// handler, then redraws every box from the model. Owned by the main window; shown
// modally from "&Manual". Event-loop thread only.
#pragma once

#include <QDialog>
#include <vector>

#include "app/comp_sel_dlg.h"

class QCheckBox;
class QPushButton;
class QTabWidget;

class TCompSelDlgView : public QDialog {
  Q_OBJECT

 public:
  // Builds every control from `model`, which must outlive the view.
  explicit TCompSelDlgView(TCompSelDlg& model, QWidget* parent = nullptr);

  // Copies the model's captions, ticks and enabled states into the boxes.
  void Render();

  QTabWidget* PCCompSel() const { return pages_; }
  QPushButton* OKBtn() const { return ok_; }
  // The box drawn for one of the model's boxes, or nullptr.
  QCheckBox* BoxFor(const TCheckBox& box) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // A check box on the screen and the model box it shows.
  struct TBoxView {
    QCheckBox* widget;
    TCheckBox* box;
    void (TCompSelDlg::*click)();  // card box handler, or nullptr
  };

  void AddPage(const QString& caption, TCheckBox& card, void (TCompSelDlg::*click)(),
               const std::vector<TCheckBox*>& components);
  void BoxClicked(const TBoxView& view, bool checked);
  void OkClicked();

  TCompSelDlg& model_;
  QTabWidget* pages_ = nullptr;  // PCCompSel
  QPushButton* ok_ = nullptr;    // OKBtn, the default button
  std::vector<TBoxView> boxes_;  // every box, in tab order
};
