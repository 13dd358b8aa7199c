// Starts Korvane. Until the application shell exists this only shows the
// empty main frame with its menus and toolbars, and says so.
#include <cstdio>

#include "platform/qt/app.h"
#include "platform/qt/frames.h"
#include "res/resource.h"

int main(int argc, char** argv) {
  KvApp app(argc, argv);  // also puts LC_NUMERIC back to "C"
  kv_res_install();
  app.setWindowIcon(kv_res_icon(IDR_MAINFRAME));
  KvMainFrame frame;
  app.SetMainWnd(&frame);
  frame.setWindowTitle(QStringLiteral("Korvane"));
  frame.SetDefaultMenu(kv_res_menu(IDR_MAINFRAME));
  frame.SetAccelerators(kv_res_accelerators());
  frame.AddControlBar(0xE800, QStringLiteral("Main"), kv_res_toolbar(IDR_MAINFRAME));
  frame.SetStatusPanes({0, 175});
  frame.resize(1024, 700);
  frame.show();
  std::printf("Korvane: the application shell is not built yet; only the empty main frame is shown.\n");
  std::fflush(stdout);
  return app.exec();
}
