// The chart view's tool commands: the daily reference-line indicators,
// stepping through the symbol list and the slide show, favourites, snap
// modes, data alignment, graphical trading and its keys, playback control,
// and the data commands (export, spike deletion, extended sessions). The
// commands that open dialogs are in chartview_dialogs.cpp.
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "broker/orddef.h"
#include "broker/orders.h"
#include "broker/positions.h"
#include "chart/annotview.h"
#include "chartwin/annotlayers.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/tradeview.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "data/mainwnd.h"
#include "data/symlist.h"
#include "data/textexport.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/services.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "quotes/playbackdata.h"
#include "quotes/playthread.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/chartstore.h"
#include "studies/pages/ppcommon.h"
#include "studies/study.h"
#include "studies/studyapi.h"

namespace {

constexpr unsigned FULL = UP_CALC | UP_SCBAR | UP_INVAL | UP_UPDWIN;

// The daily reference lines, in the order Add All Indicators makes them.
struct indicator_command {
  int type;
  unsigned id;
};
const indicator_command kIndicators[13] = {
    {0x8010013, 32879}, {0x801002E, 33196}, {0x801002F, 33197}, {0x8010017, 32883},
    {0x8010014, 32878}, {0x8010016, 32877}, {0x8010015, 32882}, {0x8010030, 32881},
    {0x8010029, 33191}, {0x801002A, 33192}, {0x801002B, 33193}, {0x801002C, 33194},
    {0x801002D, 33195},
};

enum : unsigned {
  ID_ADD_ALL_INDICATORS = 32921,
  ID_DELETE_ALL_INDICATORS = 32919,
  ID_SLF_FIRST = 32840,  // ..32843: first, previous, next, last
  ID_SLIDE_SHOW = 32860,
  ID_ADD_FAVORITE = 32819,
  ID_SNAP_OFF = 33269,
  ID_SNAP_PRICE = 33270,
  ID_SNAP_TICK = 33271,
  ID_SHOW_GRTRADE = 33213,
  ID_BUY_AT_MID = 33218,
  ID_SELL_AT_MID = 33219,
  ID_CLOSE_POSITION = 33220,
  ID_REVERSE_POSITION = 33221,
  ID_CANCEL_ALL_ORDERS = 33217,
  ID_ROTATE_OPEN = 33223,
  ID_ROTATE_STOP = 33226,
  ID_ROTATE_TARGET = 33241,
  ID_REMOVE_ORDER = 33245,
  ID_REMOVE_CANCELLED = 33267,
  ID_OCA_NAME = 33332,
  ID_PLAY_INIT = 33278,
  ID_PLAY_CLOSE = 33279,
  ID_PLAY_START = 33166,
  ID_PLAY_STOP = 33168,
  ID_PLAY_REWIND = 33280,
  ID_PLAY_SKIP = 33276,
  ID_PLAY_REALTIME = 33281,
  ID_PLAY_ACCELERATE = 33282,
  ID_PLAY_MAX = 33277,
  ID_SELECT_SCALE_POINT = 33263,
  ID_CLEAR_SCALE_POINT = 33265,
  ID_EXPORT = 33001,
  ID_DELETE_SPIKE = 33017,
  ID_EXT_SESSIONS = 33020,
  ID_AVG_RANGE_BARS = 33148,
};
enum : unsigned { SLIDE_TIMER = 2, SLIDE_MS = 3000 };
enum : uint32_t { DISPLAY_EXT_SESSIONS = 0x100, BAR_EDITED = 0x80000000u };

struct align_command {
  unsigned id;
  uint32_t mode;
};
const align_command kAlignModes[] = {
    {33212, 0x00}, {33211, 0x08}, {33208, 0x10}, {33209, 0x18}, {33210, 0x20},
};

// The playback speed marks: one of real time, accelerated and maximum.
enum { SPEED_NONE = 0, SPEED_REALTIME = 0x8, SPEED_ACCELERATED = 0x10, SPEED_MAX = 0x20 };
int g_playback_speed_mode = SPEED_NONE;

// The accelerated speed: the rate Playback Setup stored in the playback
// record (a rate of 0 plays in real time).
int playback_acceleration() {
  PlaybackData d;
  playback_data_decode(g_settings.PlaybackData, &d);
  return std::clamp(d.rate, 1, (int)PBD_MAX_RATE);
}

// Default studies are made by the study pages' helper, one for all views.
CPPCommon& common() {
  static CPPCommon c;
  return c;
}

bool intraday(const ChartSettings* s) {
  return s && s->time_unit > 0 && s->time_unit < TU_DAILY;
}
bool tick_or_volume(int unit) {
  return is_tick_unit(unit) || is_volume_unit(unit);
}

// Whether bars of the chart may lie below zero (spreads, market
// indicators): their spike repair keeps the sign.
bool negative_prices(const chart_rec* c) {
  return (c->mqt && (c->mqt->flags & MQT_NEGATIVE_OK)) || c->header.leg1[0] ||
         (c->header.flags & CHART_RATIO_SPREAD);
}

}  // namespace

// ============================================================================
// Indicators
// ============================================================================

void CKvChartView::OnIndCommon(int type, int mode) {
  CKvChartDoc* doc = GetDocument();
  chart_rec* chart = doc ? doc->m_chart : nullptr;
  if (!chart) return;
  if (mode != 1) {
    StudyDef* found;
    {
      kv_lock guard(g_chart_lock);
      found = common().findStudy(chart->studies, type);
    }
    if (found) {
      delete_study(chart, found);
      if (mode != 2) UpdatePanes("OnIndCommon", UP_INVAL | UP_UPDWIN);
      return;
    }
    if (mode == 2) return;
  } else {
    kv_lock guard(g_chart_lock);
    if (common().findStudy(chart->studies, type)) return;  // one line of each kind
  }
  StudyDef* s = common().createDefStudy(type, CPPCommon::getDefStudyGroup(type));
  QByteArray name = CPPCommon::makeName(s).toLatin1();
  snprintf(s->name, sizeof s->name, "%s", name.constData());
  s->state &= ~(uint32_t)STUDY_STATE_DEFAULT;
  create_study(chart, s);
  delete s;
  if (mode != 1) UpdatePanes("OnIndCommon", UP_INVAL | UP_UPDWIN);
}

// ============================================================================
// Symbol list and slide show
// ============================================================================

int CKvChartView::OnSymbolStep(int how) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings || symbol_list_count() <= 0) return 0;
  const char* symbol = symbol_list_step(how);
  if (!symbol) return 0;
  char copy[CHART_SYMBOL_SIZE + 1];
  snprintf(copy, sizeof copy, "%s", symbol);
  if (!doc->ChangeSymbol(copy, nullptr, 0, CHANGE_TYPED)) return 0;
  int bars = doc->GetBarCount();
  m_scroll_pos = std::max(bars - m_scroll_page - 1, 0);
  UpdatePanes("SlfCommon", FULL);
  return 1;
}

void CKvChartView::OnSlideShow() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart) return;
  if (m_slide_show) {
    KillTimer(SLIDE_TIMER);
    m_slide_show = false;
    return;
  }
  int n = symbol_list_count();
  if (n <= 0) return;
  OnSymbolStep(SYMLIST_FIRST);
  m_slide_countdown = n;
  m_slide_show = true;
  SetTimer(SLIDE_TIMER, SLIDE_MS);
}

void CKvChartView::OnTimer(unsigned id) {
  if (id != SLIDE_TIMER) {
    KvCanvasView::OnTimer(id);
    return;
  }
  if (!m_slide_show) return;
  if (m_slide_countdown-- < 2) {
    KillTimer(SLIDE_TIMER);
    m_slide_show = false;
    return;
  }
  OnSymbolStep(SYMLIST_NEXT);
}

// ============================================================================
// Favourites
// ============================================================================

void CKvChartView::OnAddFavorite() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings) return;
  char name[64];
  chart_settings_text(
      m_settings->favorite_named ? m_settings->favorite_name : m_settings->chart_name,
      sizeof m_settings->favorite_name, name);
  char dir[KV_PATH_MAX];
  data_folder_path(dir, sizeof dir, KV_DIR_FAVORITE, nullptr);
  kv_file_dialog_request req = {};
  req.save = 1;
  req.initial_dir = dir;
  req.initial_name = name;
  req.default_ext = "fav";
  req.filter = "Favorite Files (*.fav)|*.fav|All Files (*.*)|*.*||";
  char path[KV_PATH_MAX];
  if (kv_file_dialog(&req, path, sizeof path)) {
    const char* base = strrchr(path, '/');
    base = base ? base + 1 : path;
    const char* dot = strrchr(base, '.');
    int len = dot ? (int)(dot - base) : (int)strlen(base);
    len = std::min(len, (int)sizeof m_settings->favorite_name - 1);
    memset(m_settings->favorite_name, 0, sizeof m_settings->favorite_name);
    memcpy(m_settings->favorite_name, base, len);
    m_settings->favorite_named = 1;
    SaveWindowPlacement();
    if (doc->m_chart) g_chart_store.SaveFavorite(m_settings, path, doc->m_chart);
    doc->UpdateTitle();
  }
  if (theApp) theApp->RebuildFavoritesMenus();
}

// ============================================================================
// Spikes, extended sessions, range statistics
// ============================================================================

void CKvChartView::OnDeleteSpike() {
  CKvChartDoc* doc = GetDocument();
  chart_rec* c = doc ? doc->m_chart : nullptr;
  if (!c) return;
  {
    kv_lock guard(g_chart_lock);
    int n = c->header.bar_count, i = m_right_click_bar;
    if (i < 0 || i >= n) return;
    if (n >= 3) {
      int a = i - 1, b = i + 1;
      if (i == 0) a = 1, b = 2;
      if (i == n - 1) a = n - 3, b = n - 2;
      chart_bar& bar = c->bars[i];
      double high = (c->bars[a].high + c->bars[b].high) / 2.0;
      double low = (c->bars[a].low + c->bars[b].low) / 2.0;
      // Spreads and indicators may lie below zero: no sign is dropped.
      if (!negative_prices(c)) high = std::fabs(high), low = std::fabs(low);
      if (low > high) std::swap(low, high);
      bar.high = (float)high;
      bar.low = (float)low;
      // The bar stays a bar: open and close inside its new range.
      bar.open = std::clamp(bar.open, bar.low, bar.high);
      bar.close = std::clamp(bar.close, bar.low, bar.high);
      bar.flags |= BAR_EDITED;
      c->header.flags |= CHART_BARS_CHANGED | CHART_RECALC | CHART_MERGED;
    }
  }
  if (c->header.bar_count >= 3) write_chart_file(c);
  UpdatePanes("OnSpikeDelete", UP_SCBAR | UP_INVAL);
}

void CKvChartView::OnScalePoint(bool select) {
  CKvChartDoc* doc = GetDocument();
  chart_rec* c = doc ? doc->m_chart : nullptr;
  {
    kv_lock guard(g_chart_lock);
    if (!c || !c->mqt) return;
    int i = m_right_click_bar;
    if (select && (i < 0 || i >= c->header.bar_count)) return;
    c->mqt->scale_point = select ? c->bars[i].time : 0;
  }
  if (m_settings && m_settings->scale_recent) UpdatePanes("OnScalePoint", UP_SCBAR | UP_INVAL);
}

void CKvChartView::OnExtendedSessions() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !intraday(m_settings)) return;
  if (chart_orders_attached(doc->m_chart)) {
    kv_message_box("Can't change the extended sessions while orders are attached to studies\n",
                   "Korvane", MB_OK);
    return;
  }
  m_settings->flags ^= DISPLAY_EXT_SESSIONS;
  if (!doc->m_chart) return;
  if (tick_or_volume(m_settings->time_unit) && m_settings->base_unit) {
    doc->RestoreTicks();
    m_settings->time_unit = m_settings->base_unit;
  }
  QByteArray joined = doc->JoinSymbols().toLatin1();
  doc->ChangeSymbol(joined.constData(), nullptr, 0, CHANGE_TYPED);
  UpdatePanes("OnShowAllSessions", UP_CALC | UP_SCBAR | UP_INVAL);
}

void CKvChartView::OnAvgRangeBars() {
  CKvChartDoc* doc = GetDocument();
  chart_rec* c = doc ? doc->m_chart : nullptr;
  if (!c) return;
  std::map<float, int> ranges;
  bool full = false;
  {
    kv_lock guard(g_chart_lock);
    for (int i = 0; i < c->header.bar_count; i++) {
      const chart_bar& b = c->bars[i];
      if ((b.flags & 0xC0000) != 0xC0000) continue;
      float r = b.high - b.low;
      if (!ranges.count(r) && ranges.size() >= 1000) {
        full = true;
        break;
      }
      ranges[r]++;
    }
  }
  if (full) kv_message_box("AvgRange array is full", "Korvane", MB_OK);
  for (const auto& e : ranges) debug_trace("%.2f; %d\n", e.first, e.second);
}

// ============================================================================
// Graphical trading
// ============================================================================

void CKvChartView::OnShowGrTrade() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings) return;
  m_settings->display_flags ^= CS_SHOW_GRTRADE;
  bool on = (m_settings->display_flags & CS_SHOW_GRTRADE) != 0;
  if (chart_rec* c = doc->m_chart) {
    mqt* record;
    {
      kv_lock guard(g_chart_lock);
      if (on)
        c->header.flags |= CHART_GRTRADE_SHOWN;
      else
        c->header.flags &= ~CHART_GRTRADE_SHOWN;
      record = on ? c->mqt : nullptr;
    }
    if (record) {
      // A new definition is written at once and a failed write is shown:
      // no lock is held while the message waits.
      OrderDef* def = g_orddef_store.GetForSymbol(record);
      {
        kv_lock guard(g_chart_lock);
        if (def && !(def->flags & ORDDEF_MODE_MASK)) g_position_summary.LoadSymbol(record, def);
      }
      m_trade->SetQuote(record);
      m_trade->SetOrderDef(def);
    }
  }
  if (!on) m_trade->ResetState();
  UpdatePanes("OnShowGrTrade", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
}

void CKvChartView::OnRemoveOrder() {
  if (!GrTradeOn()) return;
  int cancelled = 0;
  if (!m_trade->IsSelectedOrderRemovable(&cancelled)) return;
  if (!cancelled &&
      kv_message_box("This operation removes the order from Korvane only\nand does not cancel "
                     "the order in TWS.\nDo you want to remove the order?",
                     "Korvane", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
    return;
  m_trade->RemoveSelectedOrder(0);
  Invalidate(true);
  post_draw_named_chart();
}

void CKvChartView::OnRemoveAllCancelled() {
  if (!GrTradeOn() || !m_trade->Quote()) return;
  {
    kv_lock guard(g_chart_lock);
    for (order_rec* o = get_mqt_orders(m_trade->Quote()); o; o = o->next)
      if (o->status == ORDER_PENDING_CANCEL || o->status == ORDER_CANCELLED)
        o->flags |= ORDER_F_FINISHED | ORDER_F_STALE;
  }
  m_trade->ResetState();
  Invalidate(true);
}

// ============================================================================
// Playback
// ============================================================================

bool CKvChartView::ShowsPlaybackSymbol() const {
  return m_settings && g_playback.symbol[0] &&
         !strncmp(m_settings->symbol, g_playback.symbol, sizeof g_playback.symbol);
}

int playback_speed_mode() {
  return g_playback_speed_mode;
}

void CKvChartView::OnPlayback(unsigned id) {
  CKvChartDoc* doc = GetDocument();
  chart_rec* chart = doc ? doc->m_chart : nullptr;
  mqt* record = chart ? chart->mqt : nullptr;
  bool initialised = (g_playback_state & PLAYBACK_INITIALISED) != 0;
  switch (id) {
    case ID_PLAY_INIT:
      if (!initialised) init_playback();
      break;
    case ID_PLAY_CLOSE:
      if (initialised) close_playback();
      break;
    case ID_PLAY_START:
      if (g_playback_running) break;
      if (!initialised && !init_playback()) break;
      start_playback(record);
      break;
    case ID_PLAY_STOP:
      if (g_playback_running) stop_playback();
      break;
    case ID_PLAY_REWIND: {
      stop_playback();
      close_playback();
      if (!record) break;
      std::vector<chart_rec*> charts;
      {
        kv_lock guard(g_chart_lock);
        for (chart_rec* c = record->intraday_charts; c; c = c->sibling) charts.push_back(c);
        for (chart_rec* c = record->daily_charts; c; c = c->sibling) charts.push_back(c);
      }
      for (chart_rec* c : charts) clear_chart_data(c, 2);
      if (theApp) theApp->UpdateChartViews(0);
      break;
    }
    case ID_PLAY_SKIP:
      g_playback_state |= PLAYBACK_SKIP;
      break;
    case ID_PLAY_REALTIME:
      set_playback_speed(1);
      g_playback_state &= ~(uint32_t)PLAYBACK_FAST;
      g_playback_speed_mode = SPEED_REALTIME;
      break;
    case ID_PLAY_ACCELERATE:
      set_playback_speed(playback_acceleration());
      g_playback_state &= ~(uint32_t)PLAYBACK_FAST;
      g_playback_speed_mode = SPEED_ACCELERATED;
      break;
    case ID_PLAY_MAX:
      set_playback_speed(100);
      g_playback_state |= PLAYBACK_FAST;
      g_playback_speed_mode = SPEED_MAX;
      break;
    default:
      break;
  }
}

// ============================================================================
// The command map
// ============================================================================

void CKvChartView::map_tool_commands() {
  for (const indicator_command& ind : kIndicators) {
    MapCommand(ind.id, [this, ind] { OnIndCommon(ind.type, 0); });
    MapUpdate(ind.id, [this, ind](KvCmdUI& ui) {
      CKvChartDoc* doc = GetDocument();
      ui.Enable(intraday(m_settings));
      kv_lock guard(g_chart_lock);
      ui.SetCheck(doc && doc->m_chart && common().findStudy(doc->m_chart->studies, ind.type));
    });
  }
  MapCommand(ID_ADD_ALL_INDICATORS, [this] {
    for (const indicator_command& ind : kIndicators) OnIndCommon(ind.type, 1);
    UpdatePanes("OnIndCommon", UP_INVAL | UP_UPDWIN);
  });
  MapCommand(ID_DELETE_ALL_INDICATORS, [this] {
    for (const indicator_command& ind : kIndicators) OnIndCommon(ind.type, 2);
    UpdatePanes("OnIndCommon", UP_INVAL | UP_UPDWIN);
  });
  for (unsigned id : {ID_ADD_ALL_INDICATORS, ID_DELETE_ALL_INDICATORS})
    MapUpdate(id, [this](KvCmdUI& ui) { ui.Enable(intraday(m_settings)); });

  for (int how = SYMLIST_FIRST; how <= SYMLIST_LAST; how++) {
    unsigned id = ID_SLF_FIRST + how - 1;
    MapCommand(id, [this, how] { OnSymbolStep(how); });
    MapUpdate(id, [this](KvCmdUI& ui) {
      ui.Enable(symbol_list_count() > 0 && m_settings && !tick_or_volume(m_settings->time_unit));
    });
  }
  MapCommand(ID_SLIDE_SHOW, [this] { OnSlideShow(); });
  MapUpdate(ID_SLIDE_SHOW, [this](KvCmdUI& ui) {
    CKvChartDoc* doc = GetDocument();
    bool ok = symbol_list_count() > 0 && doc && doc->m_chart && m_settings &&
              !is_tick_unit(m_settings->time_unit);
    if (!ok && m_slide_show) {
      KillTimer(SLIDE_TIMER);
      m_slide_show = false;
    }
    ui.Enable(ok);
    ui.SetCheck(m_slide_show);
  });

  MapCommand(ID_ADD_FAVORITE, [this] { OnAddFavorite(); });
  MapUpdate(ID_ADD_FAVORITE, [this](KvCmdUI& ui) {
    CKvChartDoc* doc = GetDocument();
    ui.Enable(doc && doc->m_chart);
  });

  const std::pair<unsigned, uint32_t> snaps[] = {
      {ID_SNAP_OFF, SNAP_OFF}, {ID_SNAP_PRICE, SNAP_PRICE}, {ID_SNAP_TICK, SNAP_TICK}};
  for (auto [id, mode] : snaps) {
    MapCommand(id, [mode] {
      g_annot_draw.snap =
          (g_annot_draw.snap & ~(uint32_t)(SNAP_OFF | SNAP_PRICE | SNAP_TICK)) | mode;
    });
    MapUpdate(id, [mode](KvCmdUI& ui) { ui.SetCheck((g_annot_draw.snap & mode) != 0); });
  }

  for (const align_command& a : kAlignModes) {
    MapCommand(a.id, [this, a] {
      if (!m_settings || !m_settings->percent) return;
      m_settings->display_flags = (m_settings->display_flags & ~CS_PERCENT_BASE_MASK) | a.mode;
      UpdatePanes("OnAlignData", UP_CALC | UP_INVAL);
    });
    MapUpdate(a.id, [this, a](KvCmdUI& ui) {
      ui.Enable(m_settings && m_settings->percent);
      ui.SetCheck(m_settings && (m_settings->display_flags & CS_PERCENT_BASE_MASK) == a.mode);
    });
  }

  MapCommand(ID_SHOW_GRTRADE, [this] { OnShowGrTrade(); });
  MapUpdate(ID_SHOW_GRTRADE, [this](KvCmdUI& ui) {
    CKvChartDoc* doc = GetDocument();
    ui.Enable(m_settings && !m_settings->percent && doc && doc->m_chart && doc->m_chart->mqt);
    ui.SetCheck(m_settings && (m_settings->display_flags & CS_SHOW_GRTRADE));
  });
  struct trade_key {
    unsigned id;
    void (CKvGrTradeView::*fn)();
    bool redraw;
  };
  const trade_key keys[] = {
      {ID_BUY_AT_MID, &CKvGrTradeView::BuyAtMid, false},
      {ID_SELL_AT_MID, &CKvGrTradeView::SellAtMid, false},
      {ID_CLOSE_POSITION, &CKvGrTradeView::ClosePosition, false},
      {ID_REVERSE_POSITION, &CKvGrTradeView::ReversePosition, false},
      {ID_CANCEL_ALL_ORDERS, &CKvGrTradeView::CancelAllOrders, false},
      {ID_ROTATE_OPEN, &CKvGrTradeView::RotateOrderOpen, true},
      {ID_ROTATE_STOP, &CKvGrTradeView::RotateOrderStop, true},
      {ID_ROTATE_TARGET, &CKvGrTradeView::RotateOrderTarget, true},
  };
  for (const trade_key& k : keys) {
    MapCommand(k.id, [this, k] {
      if (!GrTradeOn()) return;
      (m_trade.get()->*k.fn)();
      if (k.redraw) UpdatePanes("OnGrTradeKey", UP_INVAL);
    });
    MapUpdate(k.id, [this](KvCmdUI& ui) { ui.Enable(GrTradeOn()); });
  }
  MapCommand(ID_REMOVE_ORDER, [this] { OnRemoveOrder(); });
  MapCommand(ID_REMOVE_CANCELLED, [this] { OnRemoveAllCancelled(); });

  const unsigned playback_ids[] = {ID_PLAY_INIT,     ID_PLAY_CLOSE,      ID_PLAY_START,
                                   ID_PLAY_STOP,     ID_PLAY_REWIND,     ID_PLAY_SKIP,
                                   ID_PLAY_REALTIME, ID_PLAY_ACCELERATE, ID_PLAY_MAX};
  for (unsigned id : playback_ids) {
    MapCommand(id, [this, id] { OnPlayback(id); });
    if (id == ID_PLAY_INIT || id == ID_PLAY_CLOSE) continue;
    MapUpdate(id, [this, id](KvCmdUI& ui) {
      ui.Enable(ShowsPlaybackSymbol());
      switch (id) {
        case ID_PLAY_START:
          ui.SetCheck(g_playback_running != 0);
          break;
        case ID_PLAY_SKIP:
          ui.SetCheck(g_playback_running && (g_playback_state & PLAYBACK_SKIP));
          break;
        case ID_PLAY_REALTIME:
          ui.SetCheck(g_playback_speed_mode == SPEED_REALTIME);
          break;
        case ID_PLAY_ACCELERATE:
          ui.SetCheck(g_playback_speed_mode == SPEED_ACCELERATED);
          break;
        case ID_PLAY_MAX:
          ui.SetCheck(g_playback_speed_mode == SPEED_MAX);
          break;
        default:
          break;
      }
    });
  }

  MapCommand(ID_EXPORT, [this] {
    CKvChartDoc* doc = GetDocument();
    if (doc && doc->m_chart) export_chart_data(doc->m_chart);
  });
  MapCommand(ID_SELECT_SCALE_POINT, [this] { OnScalePoint(true); });
  MapCommand(ID_CLEAR_SCALE_POINT, [this] { OnScalePoint(false); });
  MapUpdate(ID_SELECT_SCALE_POINT, [this](KvCmdUI& ui) {
    CKvChartDoc* doc = GetDocument();
    kv_lock guard(g_chart_lock);
    ui.SetCheck(doc && doc->m_chart && doc->m_chart->mqt && doc->m_chart->mqt->scale_point);
  });
  MapCommand(ID_DELETE_SPIKE, [this] { OnDeleteSpike(); });
  MapCommand(ID_EXT_SESSIONS, [this] { OnExtendedSessions(); });
  MapUpdate(ID_EXT_SESSIONS, [this](KvCmdUI& ui) {
    ui.Enable(intraday(m_settings) && !tick_or_volume(m_settings->time_unit));
    ui.SetCheck(m_settings && (m_settings->flags & DISPLAY_EXT_SESSIONS));
  });
  MapCommand(ID_AVG_RANGE_BARS, [this] { OnAvgRangeBars(); });
}
