// The Alerts window opened as the heat map opens it, driven by control id.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/qt/test_harness.h"
#include "platform/sync.h"
#include "platform/testing/fixture.h"
#include "quotes/alerts.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/alertsdlg.h"

namespace {

class AlertsDlg : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    kv_make_dirs(root_.file("CONFIG").c_str(), nullptr);
    free_alerts();
    ASSERT_EQ(load_alerts(), 1);
    g_alerts_changed = 0;
  }
  void TearDown() override {
    free_all_mqts();
    free_alerts();
    TempRootTest::TearDown();
  }
  // IBM's live record with an alert that fired at 09:31, 10:02 and 14:45.
  mqt* ibm_with_hits() {
    mqt* rec = create_multiquote_struct("IBM");
    EXPECT_NE(rec, nullptr);
    kv_lock guard(g_chart_lock);
    if (!rec->alert) rec->alert = find_or_add_alert("IBM");
    alert_rec* a = rec->alert;
    a->enabled = ALERT_HIGH | ALERT_LOW | 0x30;
    a->armed = 0x0C;
    a->fired = ALERT_HIGH | 0x40;
    for (int i = 0; i < 15; i++) a->extra[i] = 100 + i;
    const struct {
      int32_t time;
      const char* text;
    } hits[] = {{86400 * 3 + 9 * 3600 + 31 * 60, "IBM high 101"},
                {86400 * 3 + 10 * 3600 + 2 * 60, "IBM low 99"},
                {86400 * 3 + 14 * 3600 + 45 * 60 + 30, "IBM high 102"}};
    rec->alert_hit_count = 3;
    for (int i = 0; i < 3; i++) {
      rec->alert_hits[i].time = hits[i].time;
      snprintf(rec->alert_hits[i].text, sizeof rec->alert_hits[i].text, "%s", hits[i].text);
    }
    return rec;
  }
  static QStringList lines(CAlertsDlg* d) {
    QStringList out;
    auto* list = static_cast<KvListBox*>(d->GetDlgItem(IDC_ALERTS_LIST));
    for (int i = 0; i < list->GetCount(); i++) out << list->GetText(i);
    return out;
  }
  // Opened as the heat map opens it: created, shown, modeless.
  static CAlertsDlg* open(const char* symbol, int keep) {
    auto* d = new CAlertsDlg(QString::fromLatin1(symbol), keep);
    d->Create();
    d->show();
    return d;
  }
};

TEST_F(AlertsDlg, ListsMessagesNewestFirstUnderTheCaption) {
  ibm_with_hits();
  QPointer<CAlertsDlg> d = open("ibm", 0);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Alerts for ibm"));
  EXPECT_EQ(lines(d),
            (QStringList{"14:45 IBM high 102", "10:02 IBM low 99", "09:31 IBM high 101"}));
  EXPECT_TRUE(kv_grab_png(d, QStringLiteral(KV_BINARY_DIR "/alerts_dlg.png")));
  d->close();
  ASSERT_TRUE(kv_wait_until([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return d.isNull();
  }));
}

TEST_F(AlertsDlg, SymbolWithoutRecordShowsCaptionAndButtonsDoNothing) {
  CAlertsDlg* d = open("MSFT", 0);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Alerts for MSFT"));
  EXPECT_TRUE(lines(d).isEmpty());
  for (int id : {IDC_ALERTS_REARM, IDC_ALERTS_CLEAR, IDC_ALERTS_DISABLE}) kv_click(d, id);
  EXPECT_EQ(g_alerts_changed.load(), 0);
  delete d;
}

TEST_F(AlertsDlg, ButtonsChangeTheAlertUnderTheLock) {
  struct expected {
    int button;
    uint32_t enabled, armed;
    uint32_t set0, armed0;  // words 16 and 21
  };
  const expected cases[] = {
      {IDC_ALERTS_REARM, 0x33, 0x0C | 0x30, 100, 100},
      {IDC_ALERTS_CLEAR, 0x33, 0x0C, 100, 105},
      {IDC_ALERTS_DISABLE, 0x33 | 0x0C, 0x0C, 105, 105},
  };
  for (const expected& c : cases) {
    SCOPED_TRACE(c.button);
    mqt* rec = ibm_with_hits();
    g_alerts_changed = 0;
    CAlertsDlg* d = open("IBM", 0);
    kv_click(d, c.button);
    {
      kv_lock guard(g_chart_lock);
      const alert_rec* a = rec->alert;
      EXPECT_EQ(a->fired, uint32_t(ALERT_HIGH));
      EXPECT_EQ(a->enabled, c.enabled);
      EXPECT_EQ(a->armed, c.armed);
      EXPECT_EQ(a->extra[0], c.set0);
      EXPECT_EQ(a->extra[5], c.armed0);
      for (int i = 10; i < 15; i++) EXPECT_EQ(a->extra[i], 0u);
      EXPECT_EQ(rec->alert_hit_count, 0);
    }
    EXPECT_EQ(g_alerts_changed.load(), 1);
    EXPECT_TRUE(lines(d).isEmpty());
    delete d;
  }
}

TEST_F(AlertsDlg, KeepMessagesKeepsTheListOnClear) {
  mqt* rec = ibm_with_hits();
  CAlertsDlg* d = open("IBM", 0);
  kv_click(d, IDC_ALERTS_KEEP);  // ticks it and runs the OK step
  EXPECT_EQ(d->KeepMessages(), 1);
  kv_click(d, IDC_ALERTS_CLEAR);
  EXPECT_EQ(lines(d).size(), 3);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(rec->alert_hit_count, 3);
  }
  delete d;
}

TEST_F(AlertsDlg, OnlyAnAlertOfTheShownSymbolRefreshes) {
  mqt* rec = ibm_with_hits();
  mqt* other = create_multiquote_struct("AAPL");
  alert_rec* aapl;
  {
    kv_lock guard(g_chart_lock);
    aapl = other->alert ? other->alert : find_or_add_alert("AAPL");
  }
  CAlertsDlg* d = open("IBM", 0);
  kv_click(d, IDC_ALERTS_KEEP);
  {
    kv_lock guard(g_chart_lock);
    rec->alert_hit_count = 4;
    rec->alert_hits[3].time = 15 * 3600;
    snprintf(rec->alert_hits[3].text, sizeof rec->alert_hits[3].text, "IBM low 98");
  }
  alerts_dlg_alert_fired(d, alert_id(aapl));
  EXPECT_EQ(lines(d).size(), 3);
  alerts_dlg_alert_fired(d, alert_id(rec->alert));
  EXPECT_EQ(lines(d).value(0), QStringLiteral("15:00 IBM low 98"));
  delete d;
}

}  // namespace
