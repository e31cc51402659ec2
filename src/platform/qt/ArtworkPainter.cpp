#include "platform/qt/ArtworkPainter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <numbers>

namespace qz {
namespace {

// The emblem is drawn on a 100 × 100 grid and scaled to the size asked for.
constexpr double kGrid = 100;

QPointF OnCircle(QPointF centre, double radius, double degrees) {
  double radians = degrees * std::numbers::pi / 180;
  return centre + QPointF(radius * std::cos(radians), -radius * std::sin(radians));
}

// An arc of the circle around `centre`, running anticlockwise from `startDegrees` over
// `spanDegrees`, with an arrowhead at its end pointing the way it runs.
void PaintArrowArc(QPainter& painter, QPointF centre, double radius, double startDegrees,
                   double spanDegrees) {
  QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  painter.setPen(QPen(Qt::white, 9, Qt::SolidLine, Qt::FlatCap));
  painter.setBrush(Qt::NoBrush);
  painter.drawArc(box, static_cast<int>(startDegrees * 16), static_cast<int>(spanDegrees * 16));

  double end = (startDegrees + spanDegrees) * std::numbers::pi / 180;
  QPointF tip = OnCircle(centre, radius, startDegrees + spanDegrees);
  QPointF forward(-std::sin(end), -std::cos(end));
  QPointF outward(std::cos(end), -std::sin(end));
  QPolygonF head{tip + outward * 11, tip + forward * 14, tip - outward * 11};
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPolygon(head);
}

void PaintEmblem(QPainter& painter) {
  const QPointF centre(kGrid / 2, kGrid / 2);
  QRadialGradient disk(QPointF(38, 32), 62);
  disk.setColorAt(0, QColor(0x7C, 0xC4, 0xF4));
  disk.setColorAt(0.55, QColor(0x2E, 0x7B, 0xC8));
  disk.setColorAt(1, QColor(0x15, 0x44, 0x8C));
  painter.setPen(QPen(QColor(0x10, 0x33, 0x6B), 2.5));
  painter.setBrush(disk);
  painter.drawEllipse(centre, 46, 46);

  PaintArrowArc(painter, centre, 27, 105, 130);
  PaintArrowArc(painter, centre, 27, 285, 130);
}

void PaintBackground(QPainter& painter, QRectF area) {
  QLinearGradient sky(area.topLeft(), area.bottomRight());
  sky.setColorAt(0, QColor(0x14, 0x3E, 0x74));
  sky.setColorAt(0.6, QColor(0x2B, 0x6C, 0xAE));
  sky.setColorAt(1, QColor(0x6F, 0xB0, 0xDC));
  painter.fillRect(area, sky);

  // Soft overlapping circles, light enough to leave the picture calm.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 18));
  painter.drawEllipse(QPointF(-40, 360), 250, 250);
  painter.drawEllipse(QPointF(120, 420), 210, 210);
  painter.setBrush(QColor(255, 255, 255, 12));
  painter.drawEllipse(QPointF(330, -60), 230, 230);
}

void PaintRings(QPainter& painter, QPointF centre) {
  painter.setBrush(Qt::NoBrush);
  for (int ring = 0; ring < 3; ++ring) {
    painter.setPen(QPen(QColor(255, 255, 255, 46 - ring * 12), 1.5));
    double radius = 72 + ring * 16;
    painter.drawEllipse(centre, radius, radius);
  }
}

void PaintTitle(QPainter& painter, QRectF box) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(19);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(0, 0, 0, 70));
  painter.drawText(box.translated(1, 1), Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("Online Update"));
  painter.setPen(Qt::white);
  painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Online Update"));
}

}  // namespace

QImage ArtworkPainter::Emblem(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kGrid, size / kGrid);
  PaintEmblem(painter);
  return image;
}

QImage ArtworkPainter::Picture() {
  QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  PaintBackground(painter, QRectF(image.rect()));

  // The part left of the white panel (about 180 pixels) carries the emblem and title.
  const QPointF emblemCentre(90, 128);
  PaintRings(painter, emblemCentre);
  painter.save();
  painter.translate(emblemCentre - QPointF(55, 55));
  painter.scale(110 / kGrid, 110 / kGrid);
  PaintEmblem(painter);
  painter.restore();
  PaintTitle(painter, QRectF(0, 236, 180, 30));
  return image;
}

}  // namespace qz
