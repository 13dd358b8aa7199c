// The application's chart dialogs.
#include "chartwin/dialoghooks.h"

#include "chartwin/favoritesdlg.h"
#include "chartwin/spreadsetupdlg.h"
#include "shell/app.h"
#include "shell/mainfrm.h"

namespace {

enum : unsigned { ID_SPREAD_SETUP = 33325 };

}  // namespace

void install_chart_dialog_hooks(CKvChartApp* app) {
  if (!app) return;
  if (!app->m_favorites_dialog) app->m_favorites_dialog = CChartFavoritesDlg::Run;
  app->MapCommand(ID_SPREAD_SETUP, [app] {
    CSpreadSetupDlg dlg((QWidget*)app->MainFrame());
    dlg.DoModal();
  });
}
