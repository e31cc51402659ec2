// The yardsticks of bench/startup_bench.sh: the least a Qt 6 program does to show a window
// of the dialogs' size, and with --label the same window with one line of text, which adds
// what any text costs (the font configuration and a font).
//
//   minimal_qt_window [--label]
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
  const bool label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
  QApplication application(argc, argv);
  QWidget window;
  window.resize(494, 362);
  if (label) (new QLabel(QStringLiteral("Checking for Online Updates"), &window))->move(180, 20);
  window.show();
  return application.exec();
}
