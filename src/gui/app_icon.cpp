#include "gui/app_icon.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace corvane::gui {

namespace {

QPixmap ProgramPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x10, 0x19, 0x2e));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x5a, 0x7b, 0xb5), 2));
  p.drawRoundedRect(QRectF(8, 8, 34, 26), 2, 2);
  p.drawRoundedRect(QRectF(13, 13, 34, 26), 2, 2);
  p.setPen(QPen(QColor(0x9d, 0xb7, 0xe6), 2));
  p.setBrush(QColor(0x1c, 0x2b, 0x4d));
  p.drawRoundedRect(QRectF(18, 18, 38, 30), 2, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xe0, 0xb0, 0x60));
  p.drawEllipse(QPointF(37, 33), 11, 11);
  QPainterPath disc;
  disc.addEllipse(QPointF(37, 33), 11, 11);
  p.setClipPath(disc);
  p.setBrush(QColor(0xb0, 0x7a, 0x35));
  p.drawRect(QRectF(26, 29.5, 22, 3));
  p.drawRect(QRectF(26, 35.5, 22, 2.5));
  p.setClipping(false);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(14, 52), 1.6, 1.6);
  p.drawEllipse(QPointF(52, 12), 1.2, 1.2);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(ProgramPixmap(size));
  return icon;
}

QIcon SettingsIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink = QApplication::palette().color(QPalette::ButtonText);
  p.setPen(QPen(ink, 1.5));
  const int knobs[] = {4, 11, 7};
  for (int i = 0; i < 3; ++i) {
    const double y = 3.5 + 4.5 * i;
    p.drawLine(QPointF(1, y), QPointF(15, y));
    p.setBrush(QApplication::palette().color(QPalette::Button));
    p.drawEllipse(QPointF(knobs[i], y), 2, 2);
  }
  return QIcon(pixmap);
}

}  // namespace corvane::gui
