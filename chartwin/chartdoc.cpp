// The chart document: symbol expressions, installing charts, titles,
// tick and volume compression and the window descriptor.
#include "chartwin/chartdoc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "chart/basicchart.h"
#include "chart/linegeom.h"
#include "chart/linerec.h"
#include "chartwin/chartview.h"
#include "data/barlink.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/chartthreads.h"
#include "data/debugtrace.h"
#include "data/derived.h"
#include "data/importfmt.h"
#include "data/textutil.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/qt/services_qt.h"
#include "platform/services.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "shell/core/chartstore.h"
#include "shell/core/pagefile.h"
#include "studies/study.h"

namespace {

enum : uint32_t {
  DISPLAY_OWN_DAILY = 0x1,
  DISPLAY_OWN_END = 0x8,
  DISPLAY_EXT_SESSIONS = 0x100,
  LOAD_ALL_SESSIONS = 0x10000,
  PREF_NO_DESCRIPTION = 0x2,
  PREF_NEW_WINDOW = 0x20,
  PREF_KIND_MASK = 0x7C0,
};
constexpr int PREF_KIND_SHIFT = 6;

// The command that compresses a base chart by a ratio.
unsigned compress_command(int ratio) {
  switch (ratio) {
    case 2:
      return 32892;
    case 3:
      return 32900;
    case 4:
      return 32962;
    case 5:
      return 32893;
    case 10:
      return 32963;
    case 20:
      return 32894;
    case 25:
      return 32895;
    case 50:
      return 32896;
    case 100:
      return 32897;
    default:
      return 32891;
  }
}

// The count of a tick or volume code, 0 for other units.
int unit_count(int unit) {
  if (is_volume_unit(unit)) return -(unit - TU_VOLUME_BASE);
  if (is_tick_unit(unit)) return -(unit - TU_TICK_BASE);
  return 0;
}

bool tick_or_volume(int unit) {
  return is_tick_unit(unit) || is_volume_unit(unit);
}

void status(const char* text) {
  AddAppStatusMsg(0, text);
  SetStatusBarText(0, text);
}

}  // namespace

int chart_orders_attached(const chart_rec* chart) {
  if (!chart) return 0;
  kv_lock guard(g_chart_lock);
  for (const StudyDef* s = chart->studies; s; s = s->next)
    if (s->attached_order) return 1;
  return 0;
}

int chart_trading_runs(const chart_rec* chart) {
  return chart && (chart->header.flags & CHART_SYSTEM_RUNNING) ? 1 : 0;
}

CKvChartDoc::CKvChartDoc(int kind) : CKvWindowDoc(kind) {
  map_commands();
}

CKvChartDoc::~CKvChartDoc() {
  if (Kind() != KIND_CHART) return;
  free_extras();
  if (m_chart) free_chart_data(m_chart);
  if (m_base_chart) free_chart_data(m_base_chart);
  m_chart = m_base_chart = nullptr;
}

CKvChartView* CKvChartDoc::ChartView() const {
  for (KvView* v : views())
    if (auto* cv = dynamic_cast<CKvChartView*>(v)) return cv;
  return nullptr;
}

void CKvChartDoc::free_extras() {
  for (int i = 0; i < m_nextra; i++) {
    if (m_extra_charts[i]) free_chart_data(m_extra_charts[i]);
    m_extra_charts[i] = nullptr;
  }
  m_nextra = 0;
}

int CKvChartDoc::density() const {
  return density_for_pitch(
      candle_pitch(candle_def_for_size(m_settings.candle_size, g_custom_candle)));
}

kv_hwnd CKvChartDoc::view_hwnd() {
  if (!m_view_window)
    if (CKvChartView* v = ChartView()) m_view_window = v->GetSafeHwnd();
  return m_view_window;
}

void CKvChartDoc::post_to_view(unsigned id) {
  // Not through the main frame: it hands commands to the active window,
  // which need not be this one while a page opens several charts.
  if (kv_hwnd w = view_hwnd()) kv_post_message(w, WM_COMMAND, id, 0);
}

// ============================================================================
// Titles and names
// ============================================================================

const char* CKvChartDoc::GetTimeUnitName(int unit) {
  static char text[64];
  if (is_tick_unit(unit)) {
    int n = unit_count(unit);
    snprintf(text, sizeof text, n == 1 ? "%d tick" : "%d ticks", n);
  } else if (is_volume_unit(unit)) {
    snprintf(text, sizeof text, "%d volume", unit_count(unit));
  } else if (unit >= 1 && unit <= TU_MAX_MINUTES) {
    snprintf(text, sizeof text, unit == 1 ? "%d minute" : "%d minutes", unit);
  } else if (is_seconds_unit(unit)) {
    snprintf(text, sizeof text, unit == -1 ? "%d second" : "%d seconds", -unit);
  } else if (unit == TU_DAILY) {
    return "daily";
  } else if (unit == TU_WEEKLY) {
    return "weekly";
  } else if (unit == TU_MONTHLY) {
    return "monthly";
  } else {
    return "unknown";
  }
  return text;
}

const char* CKvChartDoc::GetTitleText() {
  char symbols[300];
  snprintf(symbols, sizeof symbols, "%s", m_settings.symbol[0] ? m_settings.symbol : "?");
  for (int i = 0; i < m_nextra; i++) {
    size_t n = strlen(symbols);
    if (m_extra_charts[i])
      snprintf(symbols + n, sizeof symbols - n, "+%s", m_extra_charts[i]->header.symbol);
  }
  char name[CHART_DESCRIPTION_SIZE + 1] = "";
  if (!(g_pref_flags & PREF_NO_DESCRIPTION) && m_chart)
    snprintf(name, sizeof name, "%s", m_chart->header.description);
  int unit = m_chart ? m_chart->header.time_unit : m_settings.time_unit;
  const char* type = m_settings.chart_type == 9    ? "VWAP"
                     : m_settings.chart_type == 10 ? "Heikin-Ashi"
                                                   : "";
  if (is_tick_unit(unit)) {
    snprintf(m_title_text, sizeof m_title_text, "%s(%d/%d tick) %s", symbols, unit_count(unit),
             unit_count(m_settings.base_unit), name);
  } else if (is_volume_unit(unit)) {
    snprintf(m_title_text, sizeof m_title_text, "%s(%d/%d vol) %s %s", symbols, unit_count(unit),
             unit_count(m_settings.base_unit), type, name);
  } else if (unit >= 1 && unit <= TU_MAX_MINUTES) {
    snprintf(m_title_text, sizeof m_title_text, "%s(%dm) %s %s", symbols, unit, type, name);
  } else if (is_seconds_unit(unit)) {
    snprintf(m_title_text, sizeof m_title_text, "%s(%ds) %s %s", symbols, -unit, type, name);
  } else {
    const char* word = "day";
    switch (unit) {
      case TU_2DAY:
        word = "2day";
        break;
      case TU_3DAY:
        word = "3day";
        break;
      case TU_4DAY:
        word = "4day";
        break;
      case TU_5DAY:
        word = "5day";
        break;
      case TU_10DAY:
        word = "10day";
        break;
      case TU_20DAY:
        word = "20day";
        break;
      case TU_WEEKLY:
        word = "week";
        break;
      case TU_MONTHLY:
        word = "mon";
        break;
      default:
        break;
    }
    snprintf(m_title_text, sizeof m_title_text, "%s: (%s) %s %s", symbols, word, type, name);
  }
  return m_title_text;
}

void CKvChartDoc::UpdateTitle() {
  SetTitle(QString::fromLatin1(GetTitleText()));
}

int CKvChartDoc::GetBarCount() const {
  if (!m_chart) return 0;
  kv_lock guard(g_chart_lock);
  return m_chart->header.bar_count;
}

int CKvChartDoc::GetStartDate(int unit) {
  if (unit > 0) m_settings.time_unit = unit;
  int i;
  switch (m_settings.time_unit) {
    case TU_DAILY:
      i = 0;
      break;
    case TU_WEEKLY:
      i = 1;
      break;
    case TU_MONTHLY:
      i = 2;
      break;
    default:
      return 0;
  }
  if (m_settings.flags & (DISPLAY_OWN_DAILY << i)) return m_settings.start_dates[i];
  const int32_t defaults[3] = {g_start_date_daily, g_start_date_weekly, g_start_date_monthly};
  return defaults[i];
}

QString CKvChartDoc::JoinSymbols() const {
  QString out = QString::fromLatin1(m_settings.symbol);
  for (int i = 0; i < m_nextra; i++)
    if (m_extra_charts[i])
      out += QStringLiteral(" +") + QString::fromLatin1(m_extra_charts[i]->header.symbol);
  return out;
}

int CKvChartDoc::JoinSymbolsBounded(char out[32]) {
  QByteArray joined = JoinSymbols().toLatin1();
  if (joined.size() > 31) {
    char text[400];
    snprintf(text, sizeof text, "Multiple symbol string to long, truncated: %s\n",
             joined.constData());
    status(text);
    snprintf(out, 32, "%.31s", joined.constData());
    return 0;
  }
  snprintf(out, 32, "%s", joined.constData());
  return 1;
}

// ============================================================================
// Loading
// ============================================================================

int CKvChartDoc::ChangeSymbol(const char* symbol, int mode) {
  if (Kind() != KIND_CHART) return CKvWindowDoc::ChangeSymbol(symbol, mode);
  // A window reopened from a descriptor brings its added symbols along.
  if (mode == CHANGE_PAGE && m_extra_count > 0 && !m_chart && symbol) {
    QByteArray expr = QByteArray(symbol) + m_extra.toLatin1();
    m_extra_count = 0;
    m_extra.clear();
    return ChangeSymbol(expr.constData(), nullptr, 0, mode);
  }
  return ChangeSymbol(symbol, nullptr, 0, mode);
}

chart_rec* CKvChartDoc::load_from_import_sources(const char* symbol, int unit, int start, int end,
                                                 uint32_t flags, int dens) {
  const ImportListHeader& list = g_chart_store.ImportList();
  const char* const* formats = nullptr;
  int nformats = -1;
  bool tried = false;
  for (ImportSource* e = list.head; e; e = e->next) {
    if ((e->flags & IMPORT_REMOVED) || e->time_span > 2) continue;
    chart_rec* c = nullptr;
    if (e->flags & IMPORT_WEB) {
      if (!list.web_enabled) continue;
      tried = true;
      c = get_chart_data(symbol, unit, start, end, flags | CHART_REQ_FETCH_IF_EMPTY, nullptr,
                         nullptr, dens);
    } else {
      if (!list.file_enabled) continue;
      tried = true;
      std::string pattern = e->pattern, path = e->dir;
      for (size_t p; (p = pattern.find('*')) != std::string::npos;) pattern.replace(p, 1, symbol);
      path = kv_path_join(path, pattern);
      if (nformats < 0) nformats = read_import_cfg(&formats);
      const char* fmt =
          (formats && e->format >= 0 && e->format < nformats) ? formats[e->format] : nullptr;
      c = get_chart_data(symbol, unit, start, end, flags, path.c_str(), fmt, dens);
      if (c) m_settings.time_unit = c->header.time_unit;
    }
    if (c) {
      c->header.flags |= CHART_IMPORTED;
      return c;
    }
  }
  // No source could be asked: what is stored is still shown.
  if (!tried) return get_chart_data(symbol, unit, start, end, flags, nullptr, nullptr, dens);
  return nullptr;
}

int CKvChartDoc::load_word(const char* word, int mode, uint32_t flags, int start, int end,
                           int added, const char* path) {
  view_hwnd();
  int unit = m_settings.time_unit ? m_settings.time_unit : TU_DAILY;
  int dens = density();
  chart_rec* c = nullptr;
  if (mode == 2 || mode == 3) {
    queue_chart_request(view_hwnd(), word, unit, start, end, flags, nullptr, nullptr, dens);
    m_settings.display_flags |= CS_SHOW_UPDATING;
    return 1;
  }
  if (mode == 7 && unit >= TU_DAILY) {
    c = load_from_import_sources(word, unit, start, end, flags, dens);
  } else if (tick_or_volume(unit)) {
    if (!m_settings.base_unit) m_settings.base_unit = unit;
    c = get_chart_data(word, m_settings.base_unit, start, end, flags, path, nullptr, dens);
    if (c && c->header.time_unit != unit && !added) {
      int ratio = timeunit_ratio(c->header.time_unit, unit);
      post_to_view(compress_command(ratio));
    }
  } else {
    c = get_chart_data(word, unit, start, end, flags, path, nullptr, dens);
    if (c && path) m_settings.time_unit = c->header.time_unit;
  }
  if (!c) {
    char text[200];
    snprintf(text, sizeof text, "Unable to get data for symbol=%s, timeunits=%s", word,
             GetTimeUnitName(unit));
    status(text);
    return 0;
  }
  if (added) {
    bool present = !strcasecmp(c->header.symbol, m_settings.symbol);
    for (int i = 0; i < m_nextra && !present; i++)
      present =
          m_extra_charts[i] == c || !strcasecmp(m_extra_charts[i]->header.symbol, c->header.symbol);
    if (present) {
      free_chart_data(c);
    } else if (m_nextra >= CHART_EXTRA_MAX) {
      // The slots are full: the comparison symbol is refused, not written
      // past the array.
      char text[120];
      snprintf(text, sizeof text, "No room for another symbol in the chart: %s", word);
      status(text);
      free_chart_data(c);
      return 0;
    } else {
      if (g_option_flags & OPT_TRACE_VIEW)
        debug_trace("adding %d %s\n", m_nextra, c->header.symbol);
      c->owner_window = m_view_window;
      m_extra_charts[m_nextra++] = c;
    }
    return 1;
  }
  SetChartData(word, c);
  free_extras();
  return 1;
}

void CKvChartDoc::remove_symbol(const char* word) {
  if (!strcasecmp(word, m_settings.symbol) && m_nextra > 0) {
    chart_rec* next = m_extra_charts[0];
    memmove(m_extra_charts, m_extra_charts + 1, sizeof(chart_rec*) * (size_t)(m_nextra - 1));
    m_extra_charts[--m_nextra] = nullptr;
    if (m_chart) transfer_studies(next, m_chart);  // releases the old main chart
    m_chart = next;
    snprintf(m_settings.symbol, sizeof m_settings.symbol, "%s", next->header.symbol);
    snprintf(m_settings.chart_name, sizeof m_settings.chart_name, "%s", next->header.description);
    next->owner_window = m_view_window;
    return;
  }
  for (int i = 0; i < m_nextra; i++) {
    if (strcasecmp(word, m_extra_charts[i]->header.symbol)) continue;
    free_chart_data(m_extra_charts[i]);
    memmove(m_extra_charts + i, m_extra_charts + i + 1,
            sizeof(chart_rec*) * (size_t)(m_nextra - i - 1));
    m_extra_charts[--m_nextra] = nullptr;
    return;
  }
  char text[100];
  snprintf(text, sizeof text, "Symbol %s not in chart", word);
  status(text);
}

int CKvChartDoc::ChangeSymbol(const char* expr, const char* path, int start, int reason) {
  if (!expr || !expr[0]) {
    if (!path) return 0;
    expr = kv_path_base_name(path);
  }
  if (m_chart && chart_trading_runs(m_chart)) {
    kv_message_box("Stop Live or simulated trading before changing the symbol\n", "Korvane", MB_OK);
    return 0;
  }
  if (chart_orders_attached(m_chart)) {
    kv_message_box("Can't change the symbol while orders are attached to studies\n", "Korvane",
                   MB_OK);
    return 0;
  }
  char loading[300];
  snprintf(loading, sizeof loading, "Loading Data for %s", expr);
  SetStatusBarText(0, loading);
  const ImportListHeader& imports = g_chart_store.ImportList();
  if ((reason == 2 || reason == 3 || reason == 6 || reason == 8) && !imports.web_enabled) return 0;
  int unit = m_settings.time_unit ? m_settings.time_unit : TU_DAILY;
  if (!m_settings.time_unit) m_settings.time_unit = unit;
  if (!start) start = GetStartDate(0);
  int end = (m_settings.flags & DISPLAY_OWN_END) ? m_settings.end_value : 0;
  int mode = 0;
  uint32_t flags = 0;
  switch (reason) {
    case 2:
      mode = 2, flags = CHART_REQ_RELOAD;
      if (m_chart && m_chart->header.first_date) start = m_chart->header.first_date;
      break;
    case 3:
      mode = 3, flags = CHART_REQ_FETCH;
      if (m_chart) start = m_chart->header.first_date;
      break;
    case 4:
      flags = CHART_REQ_SOURCE_FILE | CHART_REQ_NEVER_FETCH;
      break;
    case 5:
      flags = imports.web_enabled ? (uint32_t)CHART_REQ_FETCH_IF_EMPTY : 0u;
      break;
    case 6:
    case 8:
      break;
    case 7:
      flags = CHART_REQ_FETCH_IF_EMPTY;
      break;
    default:
      mode = unit >= TU_DAILY ? 7 : 0;
      break;
  }
  if (tick_or_volume(unit)) m_settings.flags |= DISPLAY_EXT_SESSIONS;
  if (m_settings.flags & DISPLAY_EXT_SESSIONS) flags |= LOAD_ALL_SESSIONS;

  char* words[CHART_EXPR_WORDS + 1];
  int n = split_words(expr, words, CHART_EXPR_WORDS - 1);
  // Every word becomes a symbol in a 32-byte field: one that does not fit
  // is refused, never cut down to another symbol.
  for (int i = 0; i < n; i++)
    if (strlen(words[i]) >= CHART_SYMBOL_SIZE) {
      kv_message_box("Invalid Symbol", "Korvane", MB_OK);
      return 0;
    }
  std::vector<std::string> list(words, words + n);  // the split buffer is shared
  kv_begin_wait_cursor();
  int ok = 1;
  int next_kind = 0;  // 1 added, 2 removed
  for (const std::string& w : list) {
    if (w == "+") {
      next_kind = 1;
      continue;
    }
    if (w == "-") {
      next_kind = 2;
      continue;
    }
    if (next_kind == 2) {
      remove_symbol(w.c_str());
    } else if (!load_word(w.c_str(), mode, flags, start, end, next_kind == 1, path)) {
      ok = 0;
      break;
    }
    next_kind = 0;
  }
  kv_end_wait_cursor();
  if (ok) {
    UpdateTitle();
    // The load is done (a queued one reports when it completes).
    if (!(m_settings.display_flags & CS_SHOW_UPDATING) && theApp && theApp->MainFrame() &&
        theApp->MainFrame()->GetPaneText(0) == QString::fromUtf8(loading))
      SetStatusBarText(0, "");
  }
  return ok;
}

int CKvChartDoc::SetChartData(const char* symbol, chart_rec* chart) {
  view_hwnd();
  if (!chart) {
    char text[120];
    snprintf(text, sizeof text, "Unable to get data for symbol %s",
             symbol && symbol[0] ? symbol : "UNKNOWN");
    SetStatusBarText(0, text);
    UpdateTitle();
    return 0;
  }
  if (m_pending) {
    for (StudyDef* s = m_pending; s; s = s->next) create_study(chart, s);
    free_study_list(m_pending);
    m_pending = nullptr;
  }
  if (m_chart && m_chart != chart) {
    transfer_studies(chart, m_chart);  // also releases the old chart
  } else if (m_chart == chart) {
    free_chart_data(chart);  // the same record again: keep one reference
  }
  m_chart = chart;
  {
    kv_lock guard(g_chart_lock);
    snprintf(m_settings.symbol, sizeof m_settings.symbol, "%s", chart->header.symbol);
    snprintf(m_settings.chart_name, sizeof m_settings.chart_name, "%s", chart->header.description);
    if (tick_or_volume(chart->header.time_unit)) m_settings.base_unit = chart->header.time_unit;
    if (m_base_chart) {
      free_chart_data(m_base_chart);
      m_base_chart = nullptr;
    }
    if (m_settings.chart_type == 10) calc_heikin_ashi(chart, 0);
    for (chart_extension* e = chart->extensions; e; e = e->next) {
      line_record line;
      line_record_decode(e->block, &line);
      line.seq = (uint32_t)NextLineSeq();
      line.flags &= (uint8_t)~0x3;
      line_record_encode(&line, e->block);
    }
    if (m_settings.percent || !chart->mqt)
      m_settings.display_flags &= ~(CS_SHOW_GRTRADE | CS_SHOW_BIDASK);
    chart->header.flags =
        (chart->header.flags & ~(CHART_BIDASK_SHOWN | CHART_GRTRADE_SHOWN)) |
        ((m_settings.display_flags & CS_SHOW_BIDASK) ? (uint32_t)CHART_BIDASK_SHOWN : 0u) |
        ((m_settings.display_flags & CS_SHOW_GRTRADE) ? (uint32_t)CHART_GRTRADE_SHOWN : 0u);
    chart->owner_window = m_view_window;
  }
  UpdateTitle();
  return 1;
}

// ============================================================================
// Tick and volume compression
// ============================================================================

int CKvChartDoc::CompressTicks(int factor) {
  if (!m_chart || factor < 2) return 0;
  if (!m_base_chart) {
    m_base_chart = m_chart;
  } else if (m_chart != m_base_chart) {
    free_chart_data(m_chart);
    m_base_chart->owner_window = m_view_window;
  }
  m_chart = m_base_chart;
  chart_rec* c = compress_tick_chart(m_base_chart, factor, 0);
  if (!c) {
    UpdateTitle();
    return 0;
  }
  copy_studies(c, m_base_chart);
  m_chart = c;
  m_settings.time_unit = c->header.time_unit;
  {
    kv_lock guard(g_chart_lock);
    m_base_chart->owner_window = 0;  // only the shown chart receives updates
    c->owner_window = m_view_window;
  }
  UpdateTitle();
  return c->header.time_unit;
}

void CKvChartDoc::RestoreTicks() {
  if (!m_base_chart) return;
  if (m_chart && m_chart != m_base_chart) free_chart_data(m_chart);
  m_chart = m_base_chart;
  m_base_chart = nullptr;
  m_settings.time_unit = m_settings.base_unit ? m_settings.base_unit : m_chart->header.time_unit;
  kv_lock guard(g_chart_lock);
  m_chart->owner_window = m_view_window;
}

// ============================================================================
// Descriptors
// ============================================================================

void CKvChartDoc::FillWindowDescriptor(WindowDescriptor* d) {
  if (Kind() != KIND_CHART) {
    CKvWindowDoc::FillWindowDescriptor(d);
    if (auto* v = dynamic_cast<CKvWindowStateView*>(GetFirstView())) {
      v->SaveWindowState(d);
      d->settings.window_kind = Kind();
    }
    return;
  }
  // The page keeps the uncompressed chart; the view comes back compressed
  // from the base unit it stores.
  chart_rec* shown = m_chart;
  if (m_base_chart) m_chart = m_base_chart;
  m_extra_count = m_nextra;
  m_extra.clear();
  for (int i = 0; i < m_nextra; i++)
    m_extra += QStringLiteral(" +") + QString::fromLatin1(m_extra_charts[i]->header.symbol);
  CKvWindowDoc::FillWindowDescriptor(d);
  m_extra_count = 0;
  m_extra.clear();
  m_chart = shown;
}

void CKvChartDoc::RestoreWindowDescriptor(const WindowDescriptor* d) {
  CKvWindowDoc::RestoreWindowDescriptor(d);
  if (Kind() == KIND_CHART) {
    if (CKvChartView* v = ChartView()) v->RestoreWindowPlacement();
  } else if (auto* v = dynamic_cast<CKvWindowStateView*>(GetFirstView())) {
    v->RestoreWindowState(d);
  }
}

bool CKvChartDoc::OnNewDocument() {
  g_pref_flags |= PREF_NEW_WINDOW;
  // The optional kinds open only when the live-quote source serves them.
  struct optional_enable {
    int kind;
    uint32_t bit;
  };
  static const optional_enable enables[] = {{KIND_TIME_SALES, 0x02},
                                            {KIND_ORDER_BOOK, 0x10},
                                            {KIND_LEVEL2, 0x20},
                                            {KIND_MARKET_PULSE, 0x40}};
  int kind = (int)((g_pref_flags & PREF_KIND_MASK) >> PREF_KIND_SHIFT);
  uint32_t have = router_capabilities() & 0xFF;
  for (const optional_enable& e : enables)
    if (kind == e.kind && !(have & e.bit)) return false;
  return true;
}

bool CKvChartDoc::OnOpenDocument(const QString& qpath) {
  // The symbol-list kinds are opened by the application's own steps.
  if (Kind() != KIND_CHART) return true;
  QByteArray path = qpath.toUtf8();
  int unit = 0;
  if (theApp) theApp->GetDocKind(path.constData(), &unit);
  std::string base = kv_path_base_name(path.constData());
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.resize(dot);
  if (base.size() >= CHART_SYMBOL_SIZE || !kv_symbol_file_name_ok(base.c_str())) {
    kv_message_box("Invalid Symbol", "Korvane", MB_OK);
    return false;
  }
  bool auto_update = g_chart_store.GetAutoUpdate();
  if (auto_update) g_chart_store.ToggleAutoUpdate();
  m_settings.time_unit = unit ? unit : TU_DAILY;
  // A file that does not load still opens its window (the failure is in
  // the status bar), so that another symbol can be typed into it.
  ChangeSymbol(base.c_str(), path.constData(), 0, CHANGE_OPEN_FILE);
  if (auto_update) {
    g_chart_store.ToggleAutoUpdate();
    post_to_view(ID_DATA_UPDATE);
  }
  m_unnamed = 0;
  return true;
}

// The symbol map's cells as a symbol list file, one "SYMBOL description"
// line each, sorted by name while written; deleted cells are left out and
// hidden ones kept. The file is replaced whole or not at all.
bool CKvChartDoc::SaveSymbolList(const QString& qpath) {
  auto* view = dynamic_cast<CKvSymbolCellsView*>(GetFirstView());
  if (Kind() != KIND_SLFMAP || !view) return false;
  QByteArray path = qpath.toUtf8();
  kv_file_error err{};
  kv_atomic_file* f = kv_atomic_begin(path.constData(), &err);
  if (!f) return false;
  view->SortForSave(1);
  FILE* out = kv_atomic_stream(f);
  uint32_t flags = 0;
  const char *symbol = nullptr, *description = nullptr;
  for (int i = 0; view->GetCellInfo(i, &flags, &symbol, &description) == 0; i++) {
    if (!symbol || (flags & 0x4)) continue;
    fprintf(out, "%s %s\r\n", symbol, description ? description : "");
  }
  view->SortForSave(0);
  return kv_atomic_commit(f, &err) != 0;
}

bool CKvChartDoc::SaveModified() {
  if (Kind() == KIND_SLFMAP && IsModified() && theApp && theApp->MainFrame())
    theApp->MainFrame()->PostCommand(m_unnamed ? 33123 : 33122);
  return true;
}
