// The trading dialogs the chart view opens, run directly on a chart, an
// order and a strategy_ctx in a started application: Order Definition
// Setup, Strategies and Attach Order to Study.
#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "broker/executions.h"
#include "broker/orddef.h"
#include "broker/orders.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartthreads.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/qt/wnd.h"
#include "platform/services.h"
#include "quotes/mqt.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/tests/shell_fixture.h"
#include "studies/study.h"
#include "studies/studyapi.h"
#include "windows/attachstudydlg.h"
#include "windows/ordersetupdlg.h"
#include "windows/strategiesdlg.h"

namespace {

std::vector<std::string> s_messages;
// Whether a quote thread could take the chart lock while each message was
// up: a message box waits for the user and must not hold the lock.
std::vector<bool> s_lock_free;
int record_box(void*, const char* text, const char*, unsigned) {
  s_messages.emplace_back(text);
  bool free_lock = false;
  std::thread other([&] {
    free_lock = g_chart_lock.try_lock();
    if (free_lock) g_chart_lock.unlock();
  });
  other.join();
  s_lock_free.push_back(free_lock);
  return IDOK;
}

void picture(QWidget* w, const char* name) {
  w->adjustSize();
  w->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(w->grab().save(QString::fromLatin1(KV_BINARY_DIR "/") + QString::fromLatin1(name)));
  w->hide();
}

class OrderDialogsTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    s_messages.clear();
    kv_services s{};
    s.message_box = record_box;
    kv_services_install(&s);
  }
  void TearDown() override {
    close_all_accounts();
    stop_chart_threads();
    kv_services_reset();
    ShellTest::TearDown();
  }
  static mqt* quote(const char* symbol) {
    kv_lock guard(g_chart_lock);
    mqt* r = create_multiquote_struct(symbol);
    snprintf(r->sec_type, sizeof r->sec_type, "STK");
    r->tick_size = 0.01;
    r->bid = 50.00f;
    r->ask = 51.00f;
    r->last = 50.50f;
    r->bid_size = r->ask_size = 500;
    return r;
  }
  static void set_text(KvDialog& d, int id, const char* text) {
    d.Item<QLineEdit>(id)->setText(QString::fromLatin1(text));
  }
};

// ---------------------------------------------------------------------------
// Order Definition Setup.

TEST_F(OrderDialogsTest, OrderSetupAccountsModeAndTimeInForce) {
  for (const char* name : {"ACCT1", "LONGNAME9", "B2"})
    write_data((std::string("ACCOUNTS/") + name + ".trades").c_str(), "");
  CKvChartApp* app = start();
  ASSERT_TRUE(app);
  OrderDef def{};
  def.version = 1;
  strcpy(def.key, "IBM");
  def.lot_size = 100;
  {
    COrderSetupDlg dlg(&def, 0.01);
    dlg.EnsureInitialized();
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Order Setup for IBM");
    // Names longer than the definition's 8 characters are not offered.
    KvComboBox* box = dlg.account_box();
    ASSERT_EQ(box->GetCount(), 2);
    EXPECT_EQ(box->GetLBText(0).toStdString(), "ACCT1");
    EXPECT_EQ(box->GetLBText(1).toStdString(), "B2");
    EXPECT_EQ(box->currentText().toStdString(), "ACCT1");
    // Real Trading with trading off in the preferences.
    g_pref_flags1 &= ~0x08u;
    dlg.Item<QRadioButton>(IDC_OS_REAL)->click();
    ASSERT_EQ(s_messages.size(), 1u);
    EXPECT_EQ(s_messages[0], "Enable trading in Preferences Dialog first");
    EXPECT_TRUE(dlg.Item<QRadioButton>(IDC_OS_PAPER)->isChecked());
    dlg.Item<QRadioButton>(IDC_OS_DTC)->setChecked(true);
    picture(&dlg, "order_setup_dialog.png");
    dlg.Item<QPushButton>(IDOK)->click();
  }
  EXPECT_STREQ(std::string(def.account, strnlen(def.account, sizeof def.account)).c_str(), "ACCT1");
  EXPECT_EQ(def.flags & ORDDEF_MODE_MASK, (uint32_t)ORDDEF_MODE_PAPER);
  EXPECT_TRUE(def.flags & ORDDEF_MODIFIED);

  // IOC and DTC come back from the file; a definition of an older file
  // with only bit 12 reads as GTC.
  for (int tif : {ORDER_DAY, ORDER_GTC, ORDER_IOC, ORDER_DTC}) {
    SCOPED_TRACE(tif);
    OrderDef d = def;
    orddef_set_tif(&d, tif);
    uint8_t bytes[ORDDEF_SIZE];
    orddef_encode(&d, bytes);
    OrderDef back{};
    ASSERT_TRUE(orddef_decode(bytes, sizeof bytes, &back));
    EXPECT_EQ(orddef_tif(&back), tif);
    COrderSetupDlg dlg(&back, 0.01);
    dlg.EnsureInitialized();
    static const int ids[] = {0, IDC_OS_DAY, IDC_OS_GTC, IDC_OS_IOC, IDC_OS_DTC};
    EXPECT_TRUE(dlg.Item<QRadioButton>(ids[tif])->isChecked());
  }
  EXPECT_EQ(orddef_tif(&def), ORDER_DTC);
  OrderDef old = def;
  old.flags = ORDDEF_GTC;
  EXPECT_EQ(orddef_tif(&old), ORDER_GTC);

  // Cancel changes nothing, the modified flag of earlier changes included.
  OrderDef before = def;
  {
    COrderSetupDlg dlg(&def, 0.01);
    dlg.EnsureInitialized();
    set_text(dlg, IDC_OS_LOT, "5");
    dlg.Item<QRadioButton>(IDC_OS_IOC)->setChecked(true);
    dlg.Item<QPushButton>(IDCANCEL)->click();
  }
  EXPECT_EQ(memcmp(&before, &def, sizeof def), 0);
}

// ---------------------------------------------------------------------------
// Strategies.

TEST_F(OrderDialogsTest, StrategiesMaxLotsSystemChangeAndRefusals) {
  CKvChartApp* app = start();
  ASSERT_TRUE(app);
  chart_rec chart;
  memset(&chart, 0, sizeof chart);
  strcpy(chart.header.symbol, "IBM");
  chart.mqt = quote("IBM");
  strategy_ctx ctx;
  memset(&ctx, 0, sizeof ctx);

  struct lots_case {
    const char* text;
    int stored;
  };
  for (const lots_case& c : {lots_case{"-2", 2}, lots_case{"7", 4}, lots_case{"0", 1}}) {
    CStrategiesDlg dlg(&chart, &ctx);
    dlg.EnsureInitialized();
    set_text(dlg, IDC_ST_MAX_LOTS, c.text);
    dlg.OnClose();
    EXPECT_EQ(ctx.max_lots, c.stored) << c.text;
  }
  EXPECT_STREQ(ctx.system_name, "IMS");

  // Another system empties the numbers and keeps the account.
  {
    CStrategiesDlg dlg(&chart, &ctx);
    dlg.EnsureInitialized();
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Strategy for IBM");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_ST_MAX_LOTS).toStdString(), "1");
    set_text(dlg, IDC_ST_ACCOUNT, "SYS1");
    set_text(dlg, IDC_ST_BALANCE, "25000");
    set_text(dlg, kStrategyArgIds[0], "1.25");
    dlg.Item<QCheckBox>(IDC_ST_OPTION1)->setChecked(true);
    dlg.Item<QCheckBox>(IDC_ST_LONG)->setChecked(true);
    KvComboBox* names = dlg.name_box();
    names->SetCurSel(names->FindStringExact(-1, QStringLiteral("MAF")));
    dlg.OnCloseupStrategy();
    EXPECT_EQ(dlg.GetDlgItemText(IDC_ST_BALANCE).toStdString(), "");
    EXPECT_EQ(dlg.GetDlgItemText(kStrategyArgIds[0]).toStdString(), "");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_ST_MAX_LOTS).toStdString(), "");
    EXPECT_FALSE(dlg.Item<QCheckBox>(IDC_ST_OPTION1)->isChecked());
    EXPECT_TRUE(dlg.Item<QCheckBox>(IDC_ST_LONG)->isChecked());
    EXPECT_EQ(dlg.GetDlgItemText(IDC_ST_ACCOUNT).toStdString(), "SYS1");
    EXPECT_EQ(dlg.Item<QCheckBox>(IDC_ST_OPTION1)->text().toStdString(), "Stop on break");
    // "nan" is no number: it reads as 0.
    set_text(dlg, IDC_ST_BALANCE, "nan");
    set_text(dlg, kStrategyArgIds[1], "inf");
    set_text(dlg, kStrategyArgIds[2], "2.5");
    picture(&dlg, "strategies_dialog.png");
    dlg.OnClose();
  }
  EXPECT_STREQ(ctx.system_name, "MAF");
  EXPECT_STREQ(ctx.typed_account, "SYS1");
  EXPECT_EQ(ctx.beginning_balance, 0.0);
  EXPECT_EQ(ctx.args[1], 0.0);
  EXPECT_EQ(ctx.args[2], 2.5);
  EXPECT_TRUE(ctx.flags & STRATEGY_TRADE_LONG);

  // An account name that would leave the accounts folder is refused and
  // nothing is copied back.
  strategy_ctx before = ctx;
  for (const char* bad : {"../x", "a/b", "a\\b"}) {
    CStrategiesDlg dlg(&chart, &ctx);
    dlg.EnsureInitialized();
    set_text(dlg, IDC_ST_ACCOUNT, bad);
    set_text(dlg, IDC_ST_MAX_LOTS, "3");
    s_messages.clear();
    dlg.OnClose();
    EXPECT_EQ(s_messages.size(), 1u) << bad;
    EXPECT_EQ(memcmp(&before, &ctx, sizeof ctx), 0) << bad;
  }
  // The field takes no more than the execution record keeps.
  CStrategiesDlg dlg(&chart, &ctx);
  dlg.EnsureInitialized();
  set_text(dlg, IDC_ST_ACCOUNT, "ABCDEFGHIJKL");
  EXPECT_EQ(dlg.GetDlgItemText(IDC_ST_ACCOUNT).size(), 10);
}

// Run: the settings are copied back, the chosen system is started on the
// chart and the record is marked running; without a system nothing runs.
TEST_F(OrderDialogsTest, StrategiesRunStartsTheSystemOnTheChart) {
  CKvChartApp* app = start();
  ASSERT_TRUE(app);
  // 80 daily bars in a chart with room for more.
  struct bars_chart {
    chart_rec rec;
    std::vector<chart_bar> bars = std::vector<chart_bar>(128);
    chart_rec* chart() { return &rec; }
    ~bars_chart() { free_study_list(rec.studies); }
  } chart;
  memset(&chart.rec, 0, sizeof chart.rec);
  chart.rec.bars = chart.bars.data();
  chart.rec.header.time_unit = TU_DAILY;
  strcpy(chart.rec.header.symbol, "IBM");
  chart.rec.mqt = quote("IBM");
  for (int i = 0; i < 80; i++) {
    float c = 50 + (float)(i % 10) - (i / 10 % 2 ? 5.0f : 0.0f);
    chart_bar& b = chart.bars[(size_t)i];
    b.open = b.close = c;
    b.high = c + 1;
    b.low = c - 1;
    b.volume = 1000;
    b.time = (1000 + i) * 86400;
  }
  chart.rec.header.bar_count = 80;
  chart.rec.spare = 128 - 80;
  strategy_ctx ctx;
  memset(&ctx, 0, sizeof ctx);

  {
    // No system chosen: Run does nothing.
    CStrategiesDlg dlg(chart.chart(), &ctx);
    dlg.EnsureInitialized();
    dlg.name_box()->SetCurSel(-1);
    set_text(dlg, IDC_ST_MAX_LOTS, "3");
    dlg.OnRun();
    EXPECT_EQ(ctx.max_lots, 0);
    EXPECT_FALSE(ctx.flags & STRATEGY_STARTED);
    EXPECT_EQ(chart.rec.strategy, nullptr);
  }

  CStrategiesDlg dlg(chart.chart(), &ctx);
  dlg.EnsureInitialized();
  KvComboBox* names = dlg.name_box();
  names->SetCurSel(names->FindStringExact(-1, QStringLiteral("IMS")));
  dlg.OnCloseupStrategy();
  set_text(dlg, IDC_ST_ACCOUNT, "RUN1");
  set_text(dlg, IDC_ST_MAX_LOTS, "2");
  dlg.Item<QRadioButton>(IDC_ST_BACKTEST)->setChecked(true);
  dlg.OnRun();
  EXPECT_EQ(dlg.result(), IDOK);
  const trading_system* ims = nullptr;
  for (const trading_system* t = g_trading_systems; t->name; t++)
    if (strcmp(t->name, "IMS") == 0) ims = t;
  ASSERT_NE(ims, nullptr);
  EXPECT_STREQ(ctx.system_name, "IMS");
  EXPECT_STREQ(ctx.typed_account, "RUN1");
  EXPECT_STREQ(ctx.account, "RUN1");
  EXPECT_EQ(ctx.max_lots, 2);
  EXPECT_EQ(ctx.mode, 0);
  EXPECT_EQ(ctx.start, ims->start);
  EXPECT_TRUE(ctx.flags & STRATEGY_STARTED);
  // A backtest runs over the chart's bars at once and lets the chart go.
  EXPECT_EQ(chart.rec.strategy, nullptr);
  EXPECT_FALSE(chart.rec.header.flags & CHART_SYSTEM_RUNNING);
}

// ---------------------------------------------------------------------------
// Attach Order to Study.

TEST_F(OrderDialogsTest, AttachRefusesBadNumbersAttachesAndDetaches) {
  write_data("ACCOUNTS/PAPER1.trades", "");
  CKvChartApp* app = start();
  ASSERT_TRUE(app);
  mqt* r = quote("IBM");
  chart_rec chart;
  memset(&chart, 0, sizeof chart);
  strcpy(chart.header.symbol, "IBM");
  chart.header.bar_count = 1;
  chart.mqt = r;
  float line[1] = {48.004f};
  StudyDef study;
  memset(&study, 0, sizeof study);
  study.type = STUDY_SMA;
  study.color = 0x0000FF;
  study.period = 10;
  strcpy(study.name, "SMA 10");
  study.outputs = line;
  study.output_len = 1;
  chart.studies = &study;

  order_rec* o = create_order(r);
  ASSERT_TRUE(o);
  {
    kv_lock guard(g_chart_lock);
    o->relay.type =
        order_type_word(ORDER_BUY, ORDER_DAY, ORDER_LMT) | ORDER_SIMULATED | ORDER_TRANSMIT;
    o->relay.quantity = 100;
    o->relay.limit = 45.00;
    strcpy(o->relay.account, "PAPER1");
  }
  ASSERT_TRUE(place_order(o));
  uint32_t serial = o->serial;

  // Out-of-range numbers are refused with a message and change nothing.
  struct bad {
    const char *increment, *offset;
  };
  for (const bad& b : {bad{"0", "0"}, bad{"128", "0"}, bad{"1", "200"}, bad{"1", "-129"}}) {
    CAttachStudyDlg dlg(&chart, o);
    dlg.EnsureInitialized();
    EXPECT_EQ(dlg.GetDlgItemText(IDC_AT_ATTACH).toStdString(), "Attach");
    ASSERT_EQ(dlg.study_box()->GetCount(), 1);
    dlg.OnStudyChosen();
    set_text(dlg, IDC_AT_INCREMENT, b.increment);
    set_text(dlg, IDC_AT_OFFSET, b.offset);
    s_messages.clear();
    s_lock_free.clear();
    dlg.OnAttachDetach();
    EXPECT_EQ(s_messages.size(), 1u) << b.increment << " " << b.offset;
    EXPECT_EQ(s_lock_free, std::vector<bool>{true}) << b.increment << " " << b.offset;
    EXPECT_EQ(study.attached_order, 0);
    EXPECT_EQ(study.attach_word, 0u);
  }

  {
    CAttachStudyDlg dlg(&chart, o);
    dlg.EnsureInitialized();
    EXPECT_EQ(dlg.GetDlgItemText(IDC_AT_STATUS).toStdString(), "Attached Study: None");
    dlg.OnStudyChosen();
    set_text(dlg, IDC_AT_INCREMENT, "5");
    set_text(dlg, IDC_AT_OFFSET, "-3");
    dlg.Item<QRadioButton>(IDC_AT_UP)->setChecked(true);
    picture(&dlg, "attach_study_dialog.png");
    dlg.OnAttachDetach();
  }
  {
    kv_lock guard(g_chart_lock);
    ASSERT_EQ(find_order_by_serial(serial), o);
    EXPECT_EQ(study.attached_order, o->relay.order_id);
    EXPECT_EQ(study.attach_word & 0xFFFFu, 0u | 5u << 1 | 0xFDu << 8);
    EXPECT_TRUE(o->flags & ORDER_F_STUDY);
    EXPECT_EQ(o->study_colour, 0x0000FFu);
    EXPECT_TRUE(chart.header.flags & CHART_ORDER_ATTACHED);
    // 48.004 less 3 ticks, up to a multiple of 5 ticks: 48.00.
    EXPECT_NEAR(o->relay.limit, 48.00, 1e-9);
  }

  // Opened again: "Detach" with the stored values; Detach unties it.
  {
    CAttachStudyDlg dlg(&chart, o);
    dlg.EnsureInitialized();
    EXPECT_EQ(dlg.GetDlgItemText(IDC_AT_ATTACH).toStdString(), "Detach");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_AT_INCREMENT).toStdString(), "5");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_AT_OFFSET).toStdString(), "-3");
    EXPECT_TRUE(dlg.Item<QRadioButton>(IDC_AT_UP)->isChecked());
    EXPECT_EQ(dlg.GetDlgItemText(IDC_AT_STATUS).toStdString().rfind("Attached Study: ", 0), 0u);
    dlg.OnAttachDetach();
  }
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(study.attached_order, 0);
  EXPECT_EQ(study.attach_word & 0xFFFFu, 0u);
  EXPECT_FALSE(o->flags & ORDER_F_STUDY);
  EXPECT_FALSE(chart.header.flags & CHART_ORDER_ATTACHED);
}

}  // namespace
