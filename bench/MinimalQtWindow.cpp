// The yardstick of bench/startup_bench.sh: the least a Qt 6 program does to show a window
// of the dialogs' size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.resize(494, 362);
  window.show();
  return application.exec();
}
