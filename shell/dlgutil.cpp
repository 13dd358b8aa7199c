// Pieces every modal dialog of the shell uses.
#include "shell/dlgutil.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <string>
#include <unistd.h>

#include "data/listfiles.h"
#include "data/tokenfile.h"
#include "platform/qt/dialog.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

QDialogButtonBox* kv_ok_cancel_help(KvDialog* dlg) {
  auto* box = new QDialogButtonBox(dlg);
  auto* ok = dlg->AddControl(IDOK, new QPushButton(QStringLiteral("OK"), dlg));
  ok->setDefault(true);
  box->addButton(ok, QDialogButtonBox::AcceptRole);
  box->addButton(dlg->AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), dlg)),
                 QDialogButtonBox::RejectRole);
  box->addButton(dlg->AddControl(IDHELP_BUTTON, new QPushButton(QStringLiteral("&Help"), dlg)),
                 QDialogButtonBox::HelpRole);
  return box;
}

QStringList kv_folder_file_titles(int folder, const char* pattern) {
  char dir[KV_PATH_MAX];
  QStringList out;
  if (!data_folder_path(dir, sizeof dir, folder, nullptr)) return out;
  std::string path = std::string(dir) + "/" + pattern;
  int count = 0;
  char** names = nullptr;
  if (!list_files(path.c_str(), &count, &names, LIST_FILES_NO_EXT) || !names) return out;
  for (int i = 0; i < count; i++) out << QString::fromUtf8(names[i]);
  free_tokens(names);
  return out;
}

void kv_data_root_current() {
  if (g_data_root[0] && chdir(g_data_root) != 0) {
    // The data code builds full paths; a root that went away changes
    // nothing here.
  }
}
