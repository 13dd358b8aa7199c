// Starts Korvane: the Qt application object, then the shell's start-up,
// the message loop and the shut-down.
#include <cstdlib>

#include "data/cmdline.h"
#include "platform/qt/app.h"
#include "res/resource.h"
#include "shell/app.h"

int main(int argc, char** argv) {
  KvApp app(argc, argv);  // takes Qt's own options out of argv; LC_NUMERIC back to "C"
  QApplication::setApplicationName(QStringLiteral("Korvane"));
  QApplication::setDesktopFileName(QStringLiteral("korvane"));
  kv_res_install();
  app.setWindowIcon(kv_res_icon(IDR_MAINFRAME));

  char* command_line = join_command_line(argc, argv);
  int rc = 0;
  {
    CKvChartApp shell;
    bool running = shell.InitInstance(command_line);
    std::free(command_line);
    if (running) rc = app.exec();
    int exit_rc = shell.ExitInstance();
    if (!rc) rc = exit_rc;
  }
  return rc;
}
