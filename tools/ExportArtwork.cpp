// Writes the dialogs' artwork as the Windows build's resources: the picture as a 24-bit
// bitmap and the icon as an .ico file with 16, 32 and 48 pixel images. The Windows build
// has no Qt to paint them, so it takes these files, made from the same code that paints
// them on Linux.
//
//   export-artwork <picture.bmp> <icon.ico>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <cstdio>
#include <vector>

#include "platform/qt/Artwork.h"

namespace {

void Append16(QByteArray& out, quint16 value) {
  value = qToLittleEndian(value);
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void Append32(QByteArray& out, quint32 value) {
  value = qToLittleEndian(value);
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// An icon file whose images are PNG-compressed, which every current Windows reads.
QByteArray IconFile(const std::vector<int>& sizes) {
  std::vector<QByteArray> images;
  for (int size : sizes) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    qz::Artwork::Emblem(size).save(&buffer, "PNG");
    images.push_back(png);
  }
  QByteArray out;
  Append16(out, 0);  // reserved
  Append16(out, 1);  // an icon
  Append16(out, static_cast<quint16>(images.size()));
  quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out.append(static_cast<char>(sizes[i] % 256));  // 256 is written as 0
    out.append(static_cast<char>(sizes[i] % 256));
    out.append('\0');  // no palette
    out.append('\0');
    Append16(out, 1);   // planes
    Append16(out, 32);  // bits per pixel
    Append32(out, static_cast<quint32>(images[i].size()));
    Append32(out, offset);
    offset += static_cast<quint32>(images[i].size());
  }
  for (const QByteArray& image : images) out.append(image);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: export-artwork <picture.bmp> <icon.ico>\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QImage picture = qz::Artwork::Picture().convertToFormat(QImage::Format_RGB888);
  if (!picture.save(QString::fromLocal8Bit(argv[1]), "BMP")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  QFile icon(QString::fromLocal8Bit(argv[2]));
  if (!icon.open(QIODevice::WriteOnly) || icon.write(IconFile({16, 32, 48})) < 0) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
