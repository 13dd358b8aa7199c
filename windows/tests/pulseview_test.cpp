// The market pulse window in a started application, its scans answered by
// a fake relay's statistics text pages over a real socket: rows, sorting,
// rescans on added columns, the settings dialog, the page layout and the
// picture.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <cstring>
#include <string>

#include "data/chartthreads.h"
#include "data/lefield.h"
#include "platform/locks.h"
#include "platform/qt/color.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/test_harness.h"
#include "platform/sync.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/relayhist.h"
#include "quotes/spigot.h"
#include "quotes/tests/fake_relay.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/marketviews.h"
#include "windows/pulseview.h"
#include "windows/pulsesettingsdlg.h"

namespace {

const char kRelayName[] = "KvRelayP";

struct Line {
  const char* symbol;
  float last, change, third;
  int volume, prev_volume;
  float high, low, year_high, year_low;
  int hour, minute;
};

// A statistics page: three header lines, then one 80-column line a symbol.
std::string stats_page(const std::vector<Line>& lines) {
  std::string page(MARKET_STATS_PAGE - 1, ' ');
  for (size_t i = 0; i < lines.size(); i++) {
    const Line& l = lines[i];
    char text[128];
    int n = snprintf(text, sizeof text,
                     "%-6s%6.2f%6.2f%6.2f %8d%8d %3d %6.2f %6.2f %6.2f%6.2f %02d:%02d", l.symbol,
                     l.last, l.change, l.third, l.volume, l.prev_volume, 999, l.high, l.low,
                     l.year_high, l.year_low, l.hour, l.minute);
    page.replace((MARKET_STATS_FIRST_LINE + i) * MARKET_STATS_LINE, size_t(n), text);
  }
  return page;
}

// The relay's answer to a text page, in blocks as the relay sends them.
FakeRelay::answer page_answer(const std::string& text) {
  FakeRelay::answer a;
  std::vector<uint8_t> first = {QR_TEXT_PAGE, 0, 0, 0};
  put_le16(&first[2], (uint16_t)text.size());
  size_t head = std::min<size_t>(text.size(), 1020);
  first.insert(first.end(), text.begin(), text.begin() + long(head));
  a.packets.push_back(first);
  for (size_t at = head; at < text.size(); at += 1024)
    a.packets.emplace_back(text.begin() + long(at),
                           text.begin() + long(std::min(text.size(), at + 1024)));
  return a;
}

class PulseWindow : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    char live[200];
    snprintf(live, sizeof live,
             "router_capabilities 0x%x\nrouter_name %s\nexchange_times 9:30 16:00\n",
             0x40 | QR_CAP_QUOTES, kRelayName);
    write_data("CONFIG/live.cfg", live);
    app_ = start();
    g_qr_hostname[0] = 0;
    relay_.respond = [this](const std::vector<uint8_t>& req) {
      if (req[0] != QR_REQ_TEXT_PAGE) return FakeRelay::answer{};
      std::string page((const char*)&req[2]);
      pages_.push_back(page);
      // NYSE "Most Active" (page 101) and "Gap Up Price" (page 110).
      if (page == "101")
        return page_answer(stats_page({
            {"IBM", 123.50f, 1.25f, 1.02f, 1234500, 900000, 124.0f, 122.0f, 150.0f, 100.0f, 10, 30},
            {"MSFT", 50.00f, -0.50f, -0.99f, 800000, 1000000, 51.0f, 49.0f, 60.0f, 40.0f, 9, 45},
            {"AAPL", 180.25f, 2.00f, 1.12f, 2000000, 1500000, 181.0f, 178.0f, 199.0f, 120.0f, 11,
             5},
            {"TINY", 0.50f, 0.01f, 2.0f, 5000000, 5000000, 0.6f, 0.4f, 1.0f, 0.1f, 9, 31},
        }));
      if (page == "110")
        return page_answer(stats_page({
            {"NVDA", 90.00f, 1.0f, 3.5f, 3000000, 1000000, 91.0f, 88.0f, 120.0f, 40.0f, 9, 30},
        }));
      return page_answer(stats_page({}));
    };
    ASSERT_TRUE(relay_.start());
  }
  void TearDown() override {
    for (CKvWindowDoc* d : kv_window_docs(KIND_MARKET_PULSE))
      if (auto* v = dynamic_cast<CKvMktPulseView*>(d->GetFirstView()))
        kv_wait_until([&] { return !v->Scanning(); });
    stop_spigot_input_thread();
    {
      kv_lock guard(g_router_lock);
      qr_close();
    }
    relay_.stop();
    stop_chart_threads();
    ShellTest::TearDown();
  }
  CKvMktPulseView* open() {
    KvDocTemplate* t = app_->DocTemplate(KIND_MARKET_PULSE);
    if (!t) return nullptr;
    g_pref_flags = (g_pref_flags & ~0x7C0u) | uint32_t(KIND_MARKET_PULSE) << 6;
    KvDocument* doc = t->OpenDocumentFile(QString());
    g_pref_flags &= ~0x7E0u;
    auto* v = doc ? dynamic_cast<CKvMktPulseView*>(doc->GetFirstView()) : nullptr;
    if (v && v->GetParentFrame()) {
      v->GetParentFrame()->showNormal();
      v->GetParentFrame()->resize(820, 220);
      kv_pump_events(10);
    }
    return v;
  }
  bool scan(CKvMktPulseView* v) {
    v->Update();
    return kv_wait_until([&] { return !v->Scanning(); });
  }
  size_t pages_asked() {
    std::lock_guard<std::mutex> g(relay_.mu);
    return pages_.size();
  }
  static QString text(CKvMktPulseView* v, int row, int id) {
    CListViewEx* l = v->ListView();
    return l->GetItemText(row, l->FindColumnPos(id));
  }
  CKvChartApp* app_ = nullptr;
  FakeRelay relay_{kRelayName};
  std::vector<std::string> pages_;  // under relay_.mu
};

TEST_F(PulseWindow, ScanListsTheTableAndHeaderClicksSortIt) {
  CKvMktPulseView* v = open();
  ASSERT_TRUE(v);
  EXPECT_EQ(v->ListView()->GetItemCount(), 0);  // nothing until Update
  EXPECT_EQ(v->ListView()->ColumnCount(), 12);
  // No header is cut: "%Prv Volume" and "News Time" need more than their
  // table widths in the header's font.
  {
    QHeaderView* h = v->ListView()->horizontalHeader();
    for (int c = 0; c < v->ListView()->ColumnCount(); c++) {
      QString title = h->model()->headerData(c, Qt::Horizontal).toString();
      const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
      EXPECT_EQ(h->fontMetrics().elidedText(title, Qt::ElideRight, h->sectionSize(c) - 2 * margin),
                title);
      EXPECT_GE(h->sectionSize(c), v->ListView()->FindDef(v->ListView()->Column(c).id)->width);
    }
  }
  EXPECT_EQ(v->Settings().scan_mask, 1u);
  EXPECT_EQ(v->Settings().min_volume, 100000);
  ASSERT_TRUE(scan(v));
  CListViewEx* list = v->ListView();
  ASSERT_EQ(list->GetItemCount(), 3);  // the one under the price filter left out
  EXPECT_EQ(text(v, 0, 0), QStringLiteral("IBM"));
  EXPECT_EQ(text(v, 0, 5), QStringLiteral("123.50"));
  EXPECT_EQ(text(v, 0, 8), QStringLiteral("1.0"));
  EXPECT_EQ(text(v, 0, 9), QStringLiteral("1,234,500"));
  EXPECT_EQ(text(v, 0, 1), QStringLiteral("10:30:00"));
  EXPECT_EQ(text(v, 1, 7), QStringLiteral("-0.50"));
  EXPECT_EQ(list->Cells(1)[0].background, 0xC4FDD0u);  // odd rows green
  EXPECT_EQ(list->Cells(0)[0].background, 0xFFFFFFu);

  // Three clicks on "Last": ascending, descending, ascending; the row
  // colours follow the new positions.
  const int last = list->FindColumnPos(5);
  list->SortByColumn(last);
  EXPECT_EQ(text(v, 0, 0), QStringLiteral("MSFT"));
  EXPECT_EQ(text(v, 2, 0), QStringLiteral("AAPL"));
  list->SortByColumn(last);
  EXPECT_EQ(text(v, 0, 0), QStringLiteral("AAPL"));
  EXPECT_EQ(text(v, 2, 0), QStringLiteral("MSFT"));
  list->SortByColumn(last);
  EXPECT_EQ(text(v, 0, 0), QStringLiteral("MSFT"));
  EXPECT_EQ(list->Cells(1)[0].background, 0xC4FDD0u);
  EXPECT_EQ(list->Cells(2)[0].background, 0xFFFFFFu);
  // "News Time" has no order of its own.
  list->SortByColumn(list->FindColumnPos(1));
  EXPECT_EQ(text(v, 0, 0), QStringLiteral("MSFT"));
  EXPECT_EQ(text(v, 2, 0), QStringLiteral("AAPL"));

  // Adding "Gap" scans again; removing it does not.
  const size_t asked = pages_asked();
  EXPECT_EQ(v->ToggleColumn(19), 1);
  ASSERT_TRUE(kv_wait_until([&] { return !v->Scanning(); }));
  EXPECT_EQ(pages_asked(), asked + 1);
  EXPECT_FALSE(text(v, 0, 19).isEmpty());
  EXPECT_EQ(v->ToggleColumn(19), 1);
  EXPECT_FALSE(v->Scanning());
  EXPECT_EQ(pages_asked(), asked + 1);
  EXPECT_EQ(list->ColumnCount(), 12);
  EXPECT_EQ(list->GetItemCount(), 3);
}

TEST_F(PulseWindow, SettingsDialogKeepsOtherBitsAndTakesTextAsNumbers) {
  PulseSettings s;
  s.scan_mask = 0x1 | 0x200 | 0x80000000u;  // a bit past the boxes stays
  s.market_mask = 0x1 | 0x100;
  s.time_frame = 1;
  CMktPulseSettingsDlg dlg(s);
  dlg.EnsureInitialized();
  EXPECT_TRUE(dlg.Item<QRadioButton>(IDC_PULSE_YESTERDAY)->isChecked());
  EXPECT_EQ(dlg.GetDlgItemText(IDC_PULSE_MIN_PRICE), QStringLiteral("1.00"));
  EXPECT_EQ(dlg.GetDlgItemText(IDC_PULSE_MIN_VOLUME), QStringLiteral("100000"));
  EXPECT_TRUE(dlg.Item<QCheckBox>(IDC_PULSE_SCAN_FIRST + 9)->isChecked());
  dlg.Item<QCheckBox>(IDC_PULSE_SCAN_FIRST + 19)->setChecked(true);  // "Gap Down %"
  EXPECT_EQ(dlg.Item<QCheckBox>(IDC_PULSE_SCAN_FIRST + 19)->text(), QStringLiteral("Gap Down %"));
  dlg.Item<QCheckBox>(IDC_PULSE_MARKET_FIRST + 2)->setChecked(true);  // NASDAQ
  dlg.Item<QRadioButton>(IDC_PULSE_AFTER_MARKET)->setChecked(true);
  dlg.SetDlgItemText(IDC_PULSE_MIN_PRICE, QStringLiteral("abc"));
  dlg.SetDlgItemText(IDC_PULSE_MIN_VOLUME, QStringLiteral("250,000"));
  dlg.Item<QPushButton>(IDOK)->click();
  EXPECT_EQ(dlg.Settings().scan_mask, s.scan_mask | 0x80000);
  EXPECT_EQ(dlg.Settings().market_mask, 0x1u | 0x4 | 0x100);
  EXPECT_EQ(dlg.Settings().time_frame, 2);
  EXPECT_EQ(dlg.Settings().min_price, 0.0f);
  EXPECT_EQ(dlg.Settings().min_volume, 250000);
}

TEST_F(PulseWindow, ColumnsAndSettingsComeBackWithThePageLayoutWithoutAScan) {
  CKvMktPulseView* v = open();
  ASSERT_TRUE(v);
  PulseSettings p;
  p.scan_mask = 0x1 | 0x200;
  p.market_mask = 0x5;
  p.time_frame = 2;
  p.min_volume = 5000;
  p.min_price = 2.5f;
  v->SetSettings(p);
  CListViewEx* list = v->ListView();
  EXPECT_EQ(v->ToggleColumn(20), 1);  // "%Gap" on: a scan
  ASSERT_TRUE(kv_wait_until([&] { return !v->Scanning(); }));
  EXPECT_EQ(v->ToggleColumn(37), 1);  // "Prv Volume" off
  list->horizontalHeader()->moveSection(list->horizontalHeader()->visualIndex(list->ColumnIndex(9)),
                                        0);
  list->setColumnWidth(list->ColumnIndex(5), 91);
  std::vector<int> ids;
  for (int i : list->GetColumnOrder()) ids.push_back(list->ColumnId(i));

  page_list back{};
  ASSERT_TRUE(window_through_page(static_cast<CKvWindowDoc*>(v->GetDocument()), &back));
  v->GetParentFrame()->close();
  kv_pump_events(10);
  const size_t asked = pages_asked();
  ASSERT_TRUE(app_->OpenDescriptorWindow(back.head, 1, nullptr));
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_MARKET_PULSE);
  ASSERT_EQ(docs.size(), 1u);
  auto* w = dynamic_cast<CKvMktPulseView*>(docs[0]->GetFirstView());
  ASSERT_TRUE(w);
  EXPECT_FALSE(w->Scanning());
  EXPECT_EQ(pages_asked(), asked);
  EXPECT_EQ(w->ListView()->GetItemCount(), 0);
  std::vector<int> ids_back;
  for (int i : w->ListView()->GetColumnOrder()) ids_back.push_back(w->ListView()->ColumnId(i));
  EXPECT_EQ(ids_back, ids);
  EXPECT_EQ(w->ListView()->GetColumnWidth(w->ListView()->ColumnIndex(5)), 91);
  EXPECT_EQ(w->Settings().scan_mask, p.scan_mask);
  EXPECT_EQ(w->Settings().market_mask, p.market_mask);
  EXPECT_EQ(w->Settings().time_frame, 2);
  EXPECT_EQ(w->Settings().min_volume, 5000);
  EXPECT_FLOAT_EQ(w->Settings().min_price, 2.5f);
  page_list_free(&back);
}

TEST_F(PulseWindow, PictureShowsTheScan) {
  CKvMktPulseView* v = open();
  ASSERT_TRUE(v);
  PulseSettings p;
  p.scan_mask = 0x1 | 0x200;  // active and gap up
  v->SetSettings(p);
  ASSERT_TRUE(scan(v));
  CListViewEx* list = v->ListView();
  ASSERT_EQ(list->GetItemCount(), 4);
  EXPECT_EQ(text(v, 3, 0), QStringLiteral("NVDA"));
  kv_pump_events(20);
  QImage shot = list->viewport()->grab().toImage();
  kv_save_png(v->GetParentFrame()->grab().toImage(),
              QStringLiteral(KV_BINARY_DIR "/market_pulse_window.png"));
  int x = list->columnViewportPosition(list->ColumnIndex(5)) + 2;
  for (int r = 0; r < 4; r++)
    EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(x, list->rowViewportPosition(r) + 2)),
              r % 2 ? 0xC4FDD0u : 0xFFFFFFu)
        << r;
}

TEST_F(PulseWindow, FrameSplitsIntoPanesThatScanWithTheWindowsSettings) {
  CKvMktPulseView* v = open();
  ASSERT_TRUE(v);
  auto* f = dynamic_cast<CKvMktPulseFrame*>(v->GetParentFrame());
  ASSERT_TRUE(f);
  const QString title = v->GetDocument()->GetTitle();
  PulseSettings p;
  p.scan_mask = 0x1 | 0x200;  // active and gap up
  v->SetSettings(p);
  ASSERT_TRUE(scan(v));
  ASSERT_EQ(v->ListView()->GetItemCount(), 4);

  // A new pane keeps the window's title and settings and, like a new
  // window, lists nothing until it scans.
  ASSERT_TRUE(f->SplitRow(90));
  auto* lower = dynamic_cast<CKvMktPulseView*>(f->GetPane(1, 0));
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->GetDocument(), v->GetDocument());
  EXPECT_EQ(v->GetDocument()->GetTitle(), title);
  EXPECT_EQ(lower->Settings().scan_mask, p.scan_mask);
  EXPECT_EQ(lower->ListView()->GetItemCount(), 0);
  ASSERT_TRUE(scan(lower));
  EXPECT_EQ(lower->ListView()->GetItemCount(), 4);
  // Settings changed in one pane are the window's: every pane scans with
  // them, and the page keeps them.
  p.scan_mask = 0x200;
  lower->SetSettings(p);
  EXPECT_EQ(v->Settings().scan_mask, 0x200u);
  ASSERT_TRUE(scan(v));
  EXPECT_EQ(v->ListView()->GetItemCount(), 1);
  WindowDescriptor* d = new_descriptor();
  static_cast<CKvWindowDoc*>(v->GetDocument())->FillWindowDescriptor(d);
  EXPECT_EQ(d->settings.pulse[0], 0x200);
  free_descriptor(d);

  // A pane closed while its scan runs, and then the frame with another
  // scan running: the answers find no window and are freed (ASan).
  const size_t asked = pages_asked();
  lower->Update();
  ASSERT_TRUE(f->DeleteRow(1));
  EXPECT_EQ(f->GetViews().size(), 1u);
  v->Update();
  f->close();
  kv_pump_events(10);
  EXPECT_TRUE(kv_window_docs(KIND_MARKET_PULSE).empty());
  EXPECT_TRUE(kv_wait_until([&] { return pages_asked() == asked + 2; }));
}

}  // namespace
