#include "app/tray_images.h"

#include <QPainter>
#include <QPainterPath>

namespace liron {

QImage TrayImageAt(int index, int size) {
  if (index < 0 || index >= kTrayImageCount) index = 0;
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const QRectF disc(s * 0.06, s * 0.06, s * 0.88, s * 0.88);

  // A gauge dial: grey when stopped; green with the needle swinging between two positions
  // while the control thread cycles.
  const QColor face = index == 0 ? QColor(0x9a, 0x9a, 0x9a) : QColor(0x1f, 0x9d, 0x3a);
  p.setPen(QPen(QColor(0x00, 0x00, 0x80), s * 0.06));
  p.setBrush(face);
  p.drawEllipse(disc);

  const QPointF centre = disc.center();
  p.setPen(QPen(Qt::white, s * 0.10, Qt::SolidLine, Qt::RoundCap));
  if (index == 0) {
    // A stop bar across the dial.
    p.drawLine(QPointF(s * 0.30, centre.y()), QPointF(s * 0.70, centre.y()));
  } else {
    const qreal dx = index == 1 ? -s * 0.22 : s * 0.22;
    p.drawLine(centre, QPointF(centre.x() + dx, centre.y() - s * 0.26));
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(centre, s * 0.07, s * 0.07);
  }
  p.end();
  return img;
}

QIcon TrayIconAt(int index) {
  QIcon icon;
  for (int size : {16, 22, 32, 48}) icon.addPixmap(QPixmap::fromImage(TrayImageAt(index, size)));
  return icon;
}

}  // namespace liron
