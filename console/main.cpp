// VexaArp: the console window in which an operator edits the collector's
// settings and installs, starts and stops the service "Vexa ARP".
#include <QApplication>

#include "main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Every file is named from the folder of the program file, never from the
  // current directory.
  vexa::console::MainForm window({.program_folder = QCoreApplication::applicationDirPath()});
  if (!window.Load()) return 1;
  window.show();
  return QApplication::exec();
}
