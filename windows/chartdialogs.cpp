// The chart view's trading dialogs (windows/chartdialogs.h).
#include "windows/chartdialogs.h"

#include <cstring>
#include <memory>

#include "broker/orddef.h"
#include "broker/orders.h"
#include "chartwin/viewhooks.h"
#include "platform/locks.h"
#include "windows/attachstudydlg.h"
#include "windows/ordersetupdlg.h"
#include "windows/strategiesdlg.h"

namespace {

int order_setup(OrderDef* def, double tick, QWidget* parent) {
  // The dialog edits a copy: the orders read the definition under the
  // chart lock, and it changes there once, after OK.
  OrderDef work;
  {
    kv_lock guard(g_chart_lock);
    work = *def;
  }
  COrderSetupDlg dlg(&work, tick, parent);
  if (dlg.DoModal() != IDOK) return 0;
  kv_lock guard(g_chart_lock);
  // The store's link and path are as they are now: the list may have
  // grown while the dialog was open.
  OrderDef* next = def->next;
  memcpy(work.path, def->path, sizeof work.path);
  *def = work;
  def->next = next;
  return 1;
}

void attach_study(chart_rec* chart, uint32_t serial, QWidget* parent) {
  std::unique_ptr<CAttachStudyDlg> dlg;
  {
    // The dialog keeps the order's serial; the record is read while held.
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(serial);
    if (!o) return;
    dlg = std::make_unique<CAttachStudyDlg>(chart, o, parent);
  }
  dlg->DoModal();
}

void select_strategy(chart_rec* chart, strategy_ctx* run, QWidget* parent) {
  CStrategiesDlg dlg(chart, run, parent);
  dlg.DoModal();
}

}  // namespace

void install_chart_view_dialogs() {
  g_chart_view_hooks.order_setup = order_setup;
  g_chart_view_hooks.attach_study = attach_study;
  g_chart_view_hooks.select_strategy = select_strategy;
}
