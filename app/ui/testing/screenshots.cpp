#include "app/ui/testing/screenshots.h"

#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

QString SaveScreenshot(QWidget& widget, const QString& name) {
  const QString folder = QStringLiteral(QELT_SCREENSHOT_DIR);
  if (!QDir().mkpath(folder)) return {};
  const QPixmap client = widget.grab();
  const int kTitleHeight = widget.windowTitle().isEmpty() ? 0 : 24;  // menus have none
  QPixmap picture(client.width(), client.height() + kTitleHeight);
  picture.fill(QColor(0x1f, 0x3a, 0x68));
  QPainter painter(&picture);
  painter.setPen(Qt::white);
  QFont font = widget.font();
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(8, 0, client.width() - 16, kTitleHeight), Qt::AlignVCenter,
                   widget.windowTitle());
  painter.drawPixmap(0, kTitleHeight, client);
  painter.end();
  const QString path = folder + QStringLiteral("/") + name + QStringLiteral(".png");
  return picture.save(path) ? path : QString();
}
