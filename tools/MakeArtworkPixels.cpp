// Writes the C++ definitions of ArtworkPixels: the artwork as ArtworkPainter paints it,
// so the program embeds the pixels instead of painting them at every start. Run by the
// build; the file is replaced only once it is complete.
//
//   make-artwork-pixels <ArtworkPixels.cpp>

#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>

#include "platform/qt/ArtworkPainter.h"
#include "platform/qt/ArtworkPixels.h"

namespace {

constexpr int kValuesPerLine = 8;

// `image`'s pixels as the array `name`; `format` is what ArtworkPixels promises.
void WriteArray(QTextStream& out, const char* name, const QImage& painted, QImage::Format format) {
  const QImage image = painted.convertToFormat(format);
  out << "const uint32_t " << name << "[] = {";
  int column = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      out << (column++ % kValuesPerLine == 0 ? "\n    " : " ");
      out << "0x" << QString::number(row[x], 16).rightJustified(8, u'0') << "u,";
    }
  }
  out << "\n};\n\n";
}

void WriteDefinitions(QTextStream& out) {
  out << "// Made by make-artwork-pixels from ArtworkPainter while building; not to be edited.\n"
         "#include \"platform/qt/ArtworkPixels.h\"\n\n"
         "namespace qz {\nnamespace {\n\n";
  WriteArray(out, "kPicture", qz::ArtworkPainter::Picture(), QImage::Format_RGB32);
  for (int size : qz::ArtworkPixels::kEmblemSizes) {
    WriteArray(out, qPrintable(QStringLiteral("kEmblem%1").arg(size)),
               qz::ArtworkPainter::Emblem(size), QImage::Format_ARGB32_Premultiplied);
  }
  out << "}  // namespace\n\n"
         "const uint32_t* ArtworkPixels::Picture() {\n  return kPicture;\n}\n\n"
         "const uint32_t* ArtworkPixels::Emblem(int size) {\n  switch (size) {\n";
  for (int size : qz::ArtworkPixels::kEmblemSizes) {
    out << "    case " << size << ":\n      return kEmblem" << size << ";\n";
  }
  out << "  }\n  return nullptr;\n}\n\n}  // namespace qz\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-artwork-pixels <ArtworkPixels.cpp>\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  QSaveFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  QTextStream out(&file);
  WriteDefinitions(out);
  out.flush();
  if (out.status() != QTextStream::Ok || !file.commit()) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
