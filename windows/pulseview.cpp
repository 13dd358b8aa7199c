// The market pulse window: scans on a worker, rows from the table copy.
#include "windows/pulseview.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "platform/messages.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/services_qt.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "res/resource.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/windowdoc.h"

namespace {

const ListColumnDef kPulseColumns[] = {
    {0, "Symbol", 0, 50},  {5, "Last", 1, 50},        {7, "Change", 1, 50},
    {8, "%Chg", 1, 50},    {19, "Gap", 1, 50},        {20, "%Gap", 1, 50},
    {9, "Volume", 1, 75},  {37, "Prv Volume", 1, 75}, {38, "%Prv Volume", 1, 60},
    {3, "High", 1, 50},    {4, "Low", 1, 50},         {35, "Yr High", 1, 50},
    {36, "Yr Low", 1, 50}, {1, "News Time", 2, 60},   {-1, "", 0, 0},
};
const int kPulseDefaults[] = {0, 5, 7, 8, 9, 37, 38, 3, 4, 35, 36, 1, -1};

const ListColumnCommand kColumnMenu[] = {
    {33043, 5},  {33044, 7}, {33050, 8}, {33054, 19}, {33055, 20}, {33046, 9}, {33100, 37},
    {33101, 38}, {33048, 3}, {33047, 4}, {33063, 35}, {33064, 36}, {33057, 1},
};
enum : unsigned { ID_PULSE_UPDATE = 33103, ID_PULSE_SETTINGS = 33105 };
enum : COLORREF { BLACK = 0 };

ChartSettings* settings_of(KvView* v) {
  auto* doc = dynamic_cast<CKvWindowDoc*>(v->GetDocument());
  return doc ? &doc->Settings() : nullptr;
}

PulseSettings pulse_of(const ChartSettings* s) {
  PulseSettings p;
  p.scan_mask = uint32_t(s->pulse[0]);
  p.market_mask = uint32_t(s->pulse[1]);
  p.time_frame = s->pulse[2];
  p.min_volume = s->pulse[3];
  p.min_price = s->pulse_min_price;
  return p;
}

// One scan at a time: the relay interface's table is shared.
std::mutex& scan_mutex() {
  static std::mutex m;
  return m;
}

struct scan_job {
  kv_hwnd window;
  uint32_t scan;
  PulseSettings s;
};

int scan_worker(void* arg) {
  std::unique_ptr<scan_job> job(static_cast<scan_job*>(arg));
  auto* res = static_cast<pulse_scan_result*>(calloc(1, sizeof(pulse_scan_result)));
  if (!res) return 0;
  res->scan = job->scan;
  {
    std::lock_guard<std::mutex> hold(scan_mutex());
    int n = 0;
    const market_stat* table =
        kvqr_market_stats(job->s.market_mask, job->s.scan_mask, job->s.time_frame,
                          job->s.min_volume, job->s.min_price, &n);
    n = std::clamp(n, 0, int(MARKET_STATS_MAX));
    if (table && n) memcpy(res->entries, table, sizeof(market_stat) * size_t(n));
    res->count = n;
  }
  if (!kv_post_message(job->window, WM_MARKET_STATS_DONE, 0, (kv_lparam)res,
                       kv_release_free_lparam))
    free(res);  // the window is gone
  return 0;
}

}  // namespace

class CKvMktPulseView::PulseList : public CListViewEx {
 public:
  explicit PulseList(CKvMktPulseView* owner)
      : CListViewEx(KIND_MARKET_PULSE, kPulseColumns, PULSE_COLUMNS_MAX, owner), m_owner(owner) {}

 protected:
  void OnColumnsChanged() override { m_owner->columns_changed(); }

 private:
  CKvMktPulseView* m_owner;
};

CKvMktPulseView::CKvMktPulseView() : m_list(new PulseList(this)) {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->addWidget(m_list);
  m_list->setContextMenuPolicy(Qt::NoContextMenu);
}

CKvMktPulseView::~CKvMktPulseView() {
  // Scans still running answer to no window: their wait cursors end here.
  for (; m_pending > 0; m_pending--) kv_end_wait_cursor();
}

CListViewEx* CKvMktPulseView::ListView() const {
  return m_list;
}

int CKvMktPulseView::ToggleColumn(int id) {
  return m_list->ToggleColumn(id);
}

void CKvMktPulseView::SetSettings(const PulseSettings& p) {
  m_pulse = p;
  if (ChartSettings* s = settings_of(this)) {
    s->pulse[0] = int32_t(p.scan_mask);
    s->pulse[1] = int32_t(p.market_mask);
    s->pulse[2] = p.time_frame;
    s->pulse[3] = p.min_volume;
    s->pulse_min_price = p.min_price;
  }
  // The panes of a split window scan with the window's one set.
  if (GetDocument())
    for (KvView* v : GetDocument()->views())
      if (auto* pane = dynamic_cast<CKvMktPulseView*>(v)) pane->m_pulse = p;
}

void CKvMktPulseView::OnInitialUpdate() {
  // A new pane of a split window keeps the window's title and settings.
  const bool pane = GetDocument() && GetDocument()->views().size() > 1;
  if (!pane) {
    if (ChartSettings* s = settings_of(this)) s->window_kind = KIND_MARKET_PULSE;
    if (GetDocument() && theApp)
      GetDocument()->SetTitle(QString::fromLatin1(theApp->GetNewWindowTitle(KIND_MARKET_PULSE)));
  }
  m_list->BuildColumns(true, kPulseDefaults);
  m_shown_columns = m_list->ColumnCount();
  const ChartSettings* s = settings_of(this);
  SetSettings(pane && s ? pulse_of(s) : PulseSettings{});
}

void CKvMktPulseView::Update() {
  auto* job = new scan_job{GetSafeHwnd(), ++m_scan, m_pulse};
  kv_thread* t = kv_thread_start("pulse scan", scan_worker, job);
  if (!t) {
    delete job;
    return;
  }
  kv_thread_free(t);  // it ends by itself after posting
  m_pending++;
  kv_begin_wait_cursor();
}

kv_lresult CKvMktPulseView::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  if (message == WM_MARKET_STATS_DONE) {
    auto* res = reinterpret_cast<pulse_scan_result*>(lparam);
    if (m_pending > 0) {
      m_pending--;
      kv_end_wait_cursor();
    }
    // An older scan answering after a newer was asked for is not shown.
    if (res && res->scan == m_scan) ShowEntries(res->entries, res->count);
    free(res);
    return 0;
  }
  return KvView::WindowProc(message, wparam, lparam);
}

void CKvMktPulseView::ShowEntries(const market_stat* entries, int count) {
  m_stats.assign(entries, entries + std::clamp(count, 0, int(MARKET_STATS_MAX)));
  fill_rows();
}

void CKvMktPulseView::fill_rows() {
  m_list->DeleteAllItems();
  for (size_t r = 0; r < m_stats.size(); r++) {
    ListCell* cells = m_list->NewCells(int(r));
    for (int i = 0; i < m_list->ColumnCount(); i++) cells[i].text_colour = BLACK;
    const int row = m_list->AppendRow(cells);
    for (int i = 0; i < m_list->ColumnCount(); i++) {
      QString text;
      format_cell(m_stats[r], cells[i], &text);
      m_list->SetItemText(row, i, text);
    }
  }
  m_list->viewport()->update();
}

void CKvMktPulseView::format_cell(const market_stat& m, ListCell& c, QString* text) const {
  char buf[64];
  auto price = [&](float v, int flags) {
    c.sort_type = LIST_SORT_FLOAT;
    c.value.f = v;
    *text = QString::fromLatin1(format_price(v, buf, 2, flags));
  };
  auto pct = [&](float v) {
    c.sort_type = LIST_SORT_FLOAT;
    c.value.f = v;
    snprintf(buf, sizeof buf, "%0.1f", v);
    *text = QString::fromLatin1(buf);
  };
  auto volume = [&](int32_t v) {
    c.sort_type = LIST_SORT_INT;
    c.value.i = v;
    *text = QString::fromLatin1(format_volume(buf, v, 1));
  };
  switch (c.column_id) {
    case 0:
      c.sort_type = LIST_SORT_TEXT;
      snprintf(c.value.text, sizeof c.value.text, "%.15s", m.symbol);
      *text = QString::fromLatin1(m.symbol, int(strnlen(m.symbol, sizeof m.symbol)));
      break;
    case 5:
      price(m.last, 0);
      break;
    case 3:
      price(m.high, 0);
      break;
    case 4:
      price(m.low, 0);
      break;
    case 35:
      price(m.year_high, 0);
      break;
    case 36:
      price(m.year_low, 0);
      break;
    case 7:
      price(m.change, FORMAT_PRICE_DECIMAL);
      break;
    case 19:
      price(m.gap, FORMAT_PRICE_DECIMAL);
      break;
    case 8:
      pct(m.pct_change);
      break;
    case 20:
      pct(m.pct_gap);
      break;
    case 38:
      pct(m.pct_prev_volume);
      break;
    case 9:
      volume(m.volume);
      break;
    case 37:
      volume(m.prev_volume);
      break;
    case 1: {
      // No sort type: the column does not reorder rows.
      int t = std::clamp(int(m.news_time), 0, 86399);
      snprintf(buf, sizeof buf, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
      *text = QString::fromLatin1(buf);
      break;
    }
  }
}

void CKvMktPulseView::columns_changed() {
  // A column added scans again; a removal or a restore does not.
  const bool added = m_list->ColumnCount() > m_shown_columns;
  m_shown_columns = m_list->ColumnCount();
  fill_rows();
  if (added && !m_restoring) Update();
}

void CKvMktPulseView::OnSettings() {
  CMktPulseSettingsDlg dlg(m_pulse, this);
  if (dlg.DoModal() != IDOK) return;
  SetSettings(dlg.Settings());
  Update();
}

QMenu* CKvMktPulseView::BuildPopupMenu(QWidget* parent) {
  QMenu* menu = m_list->NewPopupMenu(IDR_MARKET_PULSE_POPUP, kColumnMenu,
                                     int(std::size(kColumnMenu)), parent);
  if (!menu) return nullptr;
  if (QAction* a = kv_find_action(menu, ID_PULSE_UPDATE)) {
    a->setIcon(QIcon::fromTheme(QStringLiteral("view-refresh")));
    connect(a, &QAction::triggered, this, [this] { Update(); });
  }
  if (QAction* a = kv_find_action(menu, ID_PULSE_SETTINGS)) {
    a->setIcon(QIcon::fromTheme(QStringLiteral("configure")));
    connect(a, &QAction::triggered, this, [this] { OnSettings(); });
  }
  return menu;
}

void CKvMktPulseView::contextMenuEvent(QContextMenuEvent* e) {
  if (QMenu* menu = BuildPopupMenu(this)) menu->popup(e->globalPos());
}

void CKvMktPulseView::SaveWindowState(WindowDescriptor* d) {
  m_list->SaveColumns(&d->settings);
  d->settings.pulse[0] = int32_t(m_pulse.scan_mask);
  d->settings.pulse[1] = int32_t(m_pulse.market_mask);
  d->settings.pulse[2] = m_pulse.time_frame;
  d->settings.pulse[3] = m_pulse.min_volume;
  d->settings.pulse_min_price = m_pulse.min_price;
}

void CKvMktPulseView::RestoreWindowState(const WindowDescriptor*) {
  ChartSettings* s = settings_of(this);
  if (!s) return;
  if (KvChildFrame* f = GetParentFrame()) f->RestorePlacement(s->normal_rect, s->show_cmd);
  m_restoring = true;
  if (s->item_count) m_list->RestoreColumns(s, kPulseDefaults);
  m_restoring = false;
  SetSettings(pulse_of(s));
}
