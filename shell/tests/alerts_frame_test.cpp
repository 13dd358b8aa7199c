// The Alerts window with a started main frame, opened as the heat map
// opens it: the frame keeps it, copies Keep Messages when told, refreshes
// it on a fired alert of its symbol and forgets it when it is destroyed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <cstdio>

#include "data/mainwnd.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/controls.h"
#include "platform/qt/test_harness.h"
#include "platform/sync.h"
#include "quotes/alerts.h"
#include "quotes/mqt.h"
#include "shell/alertsdlg.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"

namespace {

class AlertsFrame : public ShellTest {
 protected:
  void TearDown() override {
    free_all_mqts();
    ShellTest::TearDown();
  }
  static int lines(CAlertsDlg* d) {
    return static_cast<KvListBox*>(d->GetDlgItem(IDC_ALERTS_LIST))->GetCount();
  }
  // A record with one fired-alert message; its alert's id.
  static int with_hit(const char* symbol, int32_t time, const char* text) {
    mqt* rec = create_multiquote_struct(symbol);
    kv_lock guard(g_chart_lock);
    if (!rec->alert) rec->alert = find_or_add_alert(symbol);
    int i = rec->alert_hit_count++;
    rec->alert_hits[i].time = time;
    snprintf(rec->alert_hits[i].text, sizeof rec->alert_hits[i].text, "%s", text);
    return alert_id(rec->alert);
  }
};

TEST_F(AlertsFrame, FrameKeepsRefreshesAndForgetsTheWindow) {
  write_quote_config(0);
  CKvChartApp* app = start();
  CKvMainFrame* frame = app->MainFrame();
  int ibm = with_hit("IBM", 9 * 3600 + 31 * 60, "IBM high 101");
  int aapl = with_hit("AAPL", 10 * 3600, "AAPL low 90");

  QPointer<CAlertsDlg> d = open_alerts_dlg("IBM");
  ASSERT_TRUE(d);
  EXPECT_EQ(frame->AlertsDlg(), d.data());
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Alerts for IBM"));
  EXPECT_EQ(lines(d), 1);

  // Keep Messages runs the OK step: the frame copies the value.
  EXPECT_EQ(frame->AlertsKeep(), 0);
  kv_click(d, IDC_ALERTS_KEEP);
  EXPECT_EQ(frame->AlertsKeep(), 1);

  // A fired alert of another symbol leaves the list; one of IBM refills it.
  with_hit("IBM", 14 * 3600 + 45 * 60, "IBM high 102");
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_ALERT_TRIGGERED, 0, aapl, nullptr));
  kv_flush_posted();
  EXPECT_EQ(lines(d), 1);
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_ALERT_TRIGGERED, 0, ibm, nullptr));
  kv_flush_posted();
  EXPECT_EQ(lines(d), 2);

  // A second double click shows its symbol in the same window.
  EXPECT_EQ(open_alerts_dlg("aapl"), d.data());
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Alerts for aapl"));

  // Escape ends the window; the frame forgets it, and the next one starts
  // with the Keep Messages value the frame copied.
  d->close();
  ASSERT_TRUE(kv_wait_until([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return d.isNull();
  }));
  EXPECT_EQ(frame->AlertsDlg(), nullptr);
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_ALERT_TRIGGERED, 0, ibm, nullptr));
  kv_flush_posted();  // nothing to refresh, nothing goes wrong
  CAlertsDlg* again = open_alerts_dlg("IBM");
  EXPECT_EQ(again->KeepMessages(), 1);
  close_and_exit(app);  // the frame's window goes with the frame
}

}  // namespace
