// AppIcon: a blue tile with a white document and an orange patch over it.
#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vey::app {
namespace {

QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x4e, 0x8c));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  p.setBrush(Qt::white);
  QPainterPath page;
  page.moveTo(18, 12);
  page.lineTo(38, 12);
  page.lineTo(48, 22);
  page.lineTo(48, 52);
  page.lineTo(18, 52);
  page.closeSubpath();
  p.drawPath(page);
  p.setBrush(QColor(0xc8, 0xd6, 0xea));
  for (int y : {26, 32, 38}) p.drawRect(QRectF(23, y, 20, 2.5));
  p.setBrush(QColor(0xf0, 0x8a, 0x24));
  p.drawRoundedRect(QRectF(32, 34, 22, 22), 5, 5);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(41.5, 38, 3, 14));
  p.drawRect(QRectF(36, 43.5, 14, 3));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace vey::app
