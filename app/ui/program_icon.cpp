#include "app/ui/program_icon.h"

#include <QColor>
#include <QFont>
#include <QPainter>

QImage ProgramImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // A dark blue rounded tile carrying three stacked "cards" and an arrow upward,
  // the picture of firmware going into a modular device.
  const qreal unit = size / 16.0;
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x3a, 0x68));
  painter.drawRoundedRect(QRectF(0, 0, size, size), 3 * unit, 3 * unit);
  painter.setBrush(QColor(0x9f, 0xc4, 0xe8));
  for (int i = 0; i < 3; ++i) {
    painter.drawRect(QRectF(2 * unit, (9 + 2 * i) * unit, 8 * unit, 1.2 * unit));
  }
  painter.setBrush(QColor(0xf2, 0xb1, 0x34));
  const QPointF arrow[] = {{12 * unit, 2.5 * unit}, {15 * unit, 6.5 * unit},
                           {13 * unit, 6.5 * unit}, {13 * unit, 14 * unit},
                           {11 * unit, 14 * unit},  {11 * unit, 6.5 * unit},
                           {9 * unit, 6.5 * unit}};
  painter.drawPolygon(arrow, 7);
  painter.end();
  return image;
}

QPixmap ProgramPixmap(int size) { return QPixmap::fromImage(ProgramImage(size)); }

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    icon.addPixmap(ProgramPixmap(size));
  }
  return icon;
}
