// The chart view's commands that change what is shown: time units, view
// units of tick and volume charts, chart types, candle sizes, panes and the
// layout switches.
#include <QPrinter>
#include <algorithm>

#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/chartsettings.h"
#include "platform/services.h"
#include "quotes/qrclient.h"
#include "shell/app.h"

namespace {

enum : uint32_t {
  DISPLAY_TRADING_ZONES = 0x80,
  VIEW_EVENTS = 0x100000,
  ROUTER_CAP_QUOTES = 0x2,
};

struct time_span_command {
  unsigned id;
  int unit;
  int view_unit;  // index into g_view_units in a tick or volume chart, -1 none
};
const time_span_command kTimeSpans[] = {
    {33259, -5, 0},   {33261, -15, 0},   {33262, -30, 0},    {32891, 1, 0},
    {32892, 2, 1},    {32900, 3, 2},     {32962, 4, 3},      {32893, 5, 4},
    {32963, 10, 5},   {32894, 15, 6},    {32895, 30, 7},     {32896, 60, 8},
    {32897, 390, 9},  {32898, 2730, -1}, {32899, 11700, -1}, {32979, 6, -1},
    {32980, 13, -1},  {32981, 26, -1},   {32982, 39, -1},    {32983, 78, -1},
    {33326, 392, -1}, {33330, 393, -1},  {33331, 394, -1},   {33327, 395, -1},
    {33328, 400, -1}, {33329, 410, -1},  {33121, -600, -1},  {33147, -1000001000, -1},
};

const unsigned kChartTypeIds[11] = {33310, 33318, 33311, 33312, 33319, 33313,
                                    33320, 33321, 33322, 33314, 33315};
const unsigned kCandleIds[4] = {32861, 32862, 32863, 33000};
const unsigned kPaneIds[4] = {32771, 32773, 32772, 33120};
enum : unsigned {
  ID_VIEW_UNIT_FIRST = 33137,
  ID_NEXT_CHART_TYPE = 33316,
  ID_PERCENT_SCALE = 33317,
  ID_SHIFT_UP = 33214,
  ID_SHIFT_DOWN = 33215,
  ID_TRADING_ZONES = 32922,
  ID_BIDASK_BAR = 33252,
  ID_SHOW_EVENTS = 33303,
  ID_SCALE_PRICE_ONLY = 32847,
  ID_SCALE_RECENT = 32851,
  ID_EXTEND_CHART = 33010,
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_DIRECT = 57608,
  ID_FILE_PRINT_PREVIEW = 57609,
};

constexpr unsigned FULL = UP_CALC | UP_SCBAR | UP_INVAL | UP_UPDWIN;

// Bits of the settings' flag word (offset 212) toggled by the layout switches.
struct layout_switch {
  unsigned id;
  uint32_t bit;
  unsigned flags;
};
const layout_switch kLayoutSwitches[] = {
    {32854, CS_FLAG_NO_PRICE_STUDIES, UP_SCBAR | UP_INVAL},
    {33184, CS_FLAG_NO_PRICE, FULL},
    {33183, CS_FLAG_HIDE_OTHER_SIDE, FULL},
    {33186, CS_FLAG_NO_TITLE, FULL},
    {33150, CS_FLAG_NO_TIME_TEXT, FULL},
    {33188, CS_FLAG_NO_VOLUME, FULL},
    {33190, CS_FLAG_NO_VOLUME_STUDIES, FULL},
    {ID_SCALE_PRICE_ONLY, CS_FLAG_SCALE_PRICE_ONLY, UP_SCBAR | UP_INVAL},
};

bool tick_or_volume(int unit) {
  return is_tick_unit(unit) || is_volume_unit(unit);
}

// The tick or volume code of count units in the kind of base.
int same_kind_unit(int base, int count) {
  return is_volume_unit(base) ? TU_VOLUME_BASE - count : TU_TICK_BASE - count;
}

}  // namespace

int time_unit_count(int unit) {
  if (is_volume_unit(unit)) return -(unit - TU_VOLUME_BASE);
  if (is_tick_unit(unit)) return -(unit - TU_TICK_BASE);
  return 0;
}

void CKvChartView::map_commands() {
  for (const time_span_command& t : kTimeSpans) {
    MapCommand(t.id, [this, t] {
      if (!m_settings) return;
      if (tick_or_volume(m_settings->time_unit) && t.view_unit >= 0) {
        OnViewUnit(t.view_unit);
        return;
      }
      if (t.unit == TU_WEEKLY || t.unit == TU_MONTHLY)
        m_settings->display_flags &= ~(CS_SHOW_GRTRADE | CS_SHOW_BIDASK);
      OnTimeSpanAll(t.unit);
    });
    MapUpdate(t.id, [this, t](KvCmdUI& ui) {
      int unit = m_settings ? m_settings->time_unit : 0;
      if (t.id == 33121 || t.id == 33147) {
        ui.Enable(has_router_capability(ROUTER_CAP_QUOTES) != 0);
        ui.SetCheck(t.id == 33121 ? is_tick_unit(unit) : is_volume_unit(unit));
        return;
      }
      ui.SetCheck(unit == t.unit);
    });
  }
  for (int i = 0; i < 10; i++) {
    MapCommand(ID_VIEW_UNIT_FIRST + i, [this, i] { OnViewUnit(i); });
    MapUpdate(ID_VIEW_UNIT_FIRST + i, [this, i](KvCmdUI& ui) {
      bool on = m_settings && tick_or_volume(m_settings->time_unit) && m_settings->base_unit;
      ui.Enable(on);
      ui.SetCheck(on &&
                  m_settings->time_unit ==
                      same_kind_unit(m_settings->base_unit,
                                     time_unit_count(m_settings->base_unit) * g_view_units[i]));
    });
  }
  for (int type = 0; type < 11; type++) {
    MapCommand(kChartTypeIds[type], [this, type] { SetChartType(type); });
    MapUpdate(kChartTypeIds[type], [this, type](KvCmdUI& ui) {
      ui.SetCheck(m_settings && m_settings->chart_type == type);
    });
  }
  MapCommand(ID_NEXT_CHART_TYPE, [this] {
    if (m_settings) SetChartType(m_settings->chart_type >= 10 ? 0 : m_settings->chart_type + 1);
  });
  MapCommand(ID_PERCENT_SCALE, [this] {
    if (!m_settings) return;
    m_settings->percent = !m_settings->percent;
    UpdatePanes("OnPercentScale", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
  });
  for (int size = 0; size < 4; size++) {
    MapCommand(kCandleIds[size], [this, size] { SetCandleSize(size); });
    MapUpdate(kCandleIds[size], [this, size](KvCmdUI& ui) {
      ui.SetCheck(m_settings && m_settings->candle_size == size);
    });
  }
  for (const layout_switch& l : kLayoutSwitches) {
    MapCommand(l.id, [this, l] {
      if (!m_settings) return;
      m_settings->flags ^= l.bit;
      UpdatePanes("OnLayoutSwitch", l.flags);
    });
    MapUpdate(l.id,
              [this, l](KvCmdUI& ui) { ui.SetCheck(m_settings && (m_settings->flags & l.bit)); });
  }
  // Both scales go together: the secondary follows the first.
  MapCommand(33182, [this] {
    if (!m_settings) return;
    m_settings->flags ^= CS_FLAG_HIDE_PRICE_SIDE;
    if (m_settings->flags & CS_FLAG_HIDE_PRICE_SIDE)
      m_settings->flags |= CS_FLAG_HIDE_OTHER_SIDE;
    else
      m_settings->flags &= ~CS_FLAG_HIDE_OTHER_SIDE;
    UpdatePanes("OnHideBothScale", FULL);
  });
  MapUpdate(33182, [this](KvCmdUI& ui) {
    ui.SetCheck(m_settings && (m_settings->flags & CS_FLAG_HIDE_PRICE_SIDE));
  });
  MapCommand(33248, [this] {
    if (!m_settings) return;
    m_settings->display_flags ^= CS_HIDE_ANNOTATIONS;
    UpdatePanes("OnHideAnnotations", FULL);
  });
  MapUpdate(33248, [this](KvCmdUI& ui) {
    ui.SetCheck(m_settings && (m_settings->display_flags & CS_HIDE_ANNOTATIONS));
  });
  MapCommand(ID_TRADING_ZONES, [this] {
    if (!m_settings || !is_intraday_unit(m_settings->time_unit)) return;
    m_settings->flags ^= DISPLAY_TRADING_ZONES;
    UpdatePanes("OnShowTradingZones", UP_INVAL | UP_UPDWIN);
  });
  MapUpdate(ID_TRADING_ZONES, [this](KvCmdUI& ui) {
    ui.Enable(m_settings && is_intraday_unit(m_settings->time_unit));
    ui.SetCheck(m_settings && (m_settings->flags & DISPLAY_TRADING_ZONES));
  });
  MapCommand(ID_BIDASK_BAR, [this] {
    CKvChartDoc* doc = GetDocument();
    if (!m_settings || !doc) return;
    m_settings->display_flags ^= CS_SHOW_BIDASK;
    if (chart_rec* c = doc->m_chart) {
      if (m_settings->display_flags & CS_SHOW_BIDASK)
        c->header.flags |= CHART_BIDASK_SHOWN;
      else
        c->header.flags &= ~CHART_BIDASK_SHOWN;
    }
    UpdatePanes("OnShowBidAskBar", FULL | UP_CLEAR);
  });
  MapUpdate(ID_BIDASK_BAR, [this](KvCmdUI& ui) {
    CKvChartDoc* doc = GetDocument();
    ui.Enable(doc && doc->m_chart);
    ui.SetCheck(m_settings && (m_settings->display_flags & CS_SHOW_BIDASK));
  });
  MapCommand(ID_SHOW_EVENTS, [this] {
    if (!m_settings) return;
    m_settings->display_flags ^= VIEW_EVENTS;
    UpdatePanes("OnShowEvents", FULL);
  });
  MapUpdate(ID_SHOW_EVENTS, [this](KvCmdUI& ui) {
    ui.SetCheck(m_settings && (m_settings->display_flags & VIEW_EVENTS));
  });
  MapCommand(ID_SCALE_RECENT, [this] {
    CKvChartDoc* doc = GetDocument();
    if (!m_settings) return;
    m_settings->scale_recent = !m_settings->scale_recent;
    if (doc && doc->m_chart && doc->m_chart->mqt)
      UpdatePanes("OnScaleMostRecent", UP_SCBAR | UP_INVAL);
  });
  MapUpdate(ID_SCALE_RECENT,
            [this](KvCmdUI& ui) { ui.SetCheck(m_settings && m_settings->scale_recent); });
  MapCommand(ID_EXTEND_CHART, [this] {
    m_view_flags ^= VF_EXTEND;
    UpdatePanes("OnExtendChart", FULL);
  });
  for (int i = 0; i < 4; i++) {
    MapCommand(kPaneIds[i], [this, i] { TogglePane(i); });
    MapUpdate(kPaneIds[i],
              [this, i](KvCmdUI& ui) { ui.SetCheck(m_settings && m_settings->pane_shown[i]); });
  }
  MapCommand(ID_SHIFT_UP, [this] {
    m_pane_shift = std::min(m_pane_shift + 1, 1);
    UpdatePanes("OnShiftUp", UP_CALC | UP_INVAL);
  });
  MapCommand(ID_SHIFT_DOWN, [this] {
    m_pane_shift = std::max(m_pane_shift - 1, -1);
    UpdatePanes("OnShiftDown", UP_CALC | UP_INVAL);
  });
  MapCommand(ID_FILE_PRINT, [this] { OnFilePrint(true); });
  MapCommand(ID_FILE_PRINT_DIRECT, [this] { OnFilePrint(false); });
  MapCommand(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
  map_dialog_commands();
}

void CKvChartView::OnTimeSpanAll(int unit) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings) return;
  if (chart_orders_attached(doc->m_chart)) {
    kv_message_box("Can't change the time unit while orders are attached to studies\n", "Korvane",
                   MB_OK);
    return;
  }
  if (!doc->m_chart) {
    m_settings->time_unit = unit ? unit : TU_DAILY;
    if (theApp)
      doc->SetTitle(QString::fromUtf8(
          theApp->GetChartTitle(KIND_CHART, m_settings->time_unit, m_settings->chart_type, 0)));
    return;
  }
  int old_unit = m_settings->time_unit, old_base = m_settings->base_unit;
  m_settings->time_unit = unit;
  if (tick_or_volume(unit)) m_settings->base_unit = 0;  // the new unit is loaded as it is
  QByteArray joined = doc->JoinSymbols().toLatin1();
  if (!doc->ChangeSymbol(joined.constData(), nullptr, 0, CHANGE_TYPED)) {
    // The old chart stays, so does its unit.
    m_settings->time_unit = old_unit;
    m_settings->base_unit = old_base;
    doc->UpdateTitle();
  }
  if (theApp) theApp->UpdateViewUnitsMenu(time_unit_count(m_settings->base_unit));
  UpdatePanes("OnTimeSpanAll", UP_SCBAR | UP_INVAL | UP_UPDWIN);
}

void CKvChartView::OnViewUnit(int index) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings || index < 0 || index >= 10) return;
  if (!tick_or_volume(m_settings->time_unit) || !m_settings->base_unit) return;
  if (index == 0) {
    doc->RestoreTicks();
    doc->UpdateTitle();
    UpdatePanes("OnTSTickV1", FULL);
    return;
  }
  if (int unit = doc->CompressTicks(g_view_units[index])) m_settings->time_unit = unit;
  UpdatePanes("OnTSTickV_Common", FULL);
}

void CKvChartView::SetChartType(int type) {
  CKvChartDoc* doc = GetDocument();
  if (!m_settings || !doc) return;
  m_settings->chart_type = type;
  if (type == 10 && doc->m_chart) calc_heikin_ashi(doc->m_chart, 0);
  doc->UpdateTitle();
  UpdatePanes("OnChartType", UP_SCBAR | UP_INVAL);
}

void CKvChartView::SetCandleSize(int size) {
  if (!m_settings) return;
  m_settings->candle_size = size;
  UpdatePanes("OnCandleSize", FULL);
}

void CKvChartView::TogglePane(int index) {
  if (!m_settings) return;
  int shown = 0;
  for (int i = 0; i < 4; i++) shown += m_settings->pane_shown[i] != 0;
  // The last pane shown stays.
  if (m_settings->pane_shown[index] && shown <= 1) return;
  m_settings->pane_shown[index] = !m_settings->pane_shown[index];
  UpdatePanes("OnPane", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
}
