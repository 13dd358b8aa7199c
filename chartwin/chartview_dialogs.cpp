// The chart view's commands that open the chart dialogs: Setup Chart, the
// chart colours and the custom alignment point, favourites, playback setup
// and the trading dialogs, and how their results are applied to the
// document and the panes.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "broker/orddef.h"
#include "broker/orders.h"
#include "chartwin/aligndatadlg.h"
#include "chartwin/chartcolordlg.h"
#include "chartwin/chartinfodlg.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartsetupdlg.h"
#include "chartwin/editpricesdlg.h"
#include "chartwin/chartview.h"
#include "chartwin/favoritesdlg.h"
#include "chartwin/tradeview.h"
#include "chartwin/viewhooks.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "data/strategy.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "quotes/mqt_record.h"
#include "quotes/playbackdata.h"
#include "quotes/playthread.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/playbackdlg.h"
#include "studies/study.h"
#include "studies/studyapi.h"

chart_view_hooks g_chart_view_hooks;

namespace {

enum : unsigned {
  ID_CHART_PROPERTIES = 32784,
  ID_CHART_COLOR = 32786,
  ID_ALIGN_CUSTOM = 33324,
  ID_PLAYBACK_SETUP = 33254,
  ID_EDIT_PRICES = 32926,
  ID_CHART_INFO = 33251,
  ID_APPLY_FAVORITE = 33333,
  ID_ORDER_SETUP = 33216,
  ID_ATTACH_STUDY = 33323,
  ID_SELECT_STRATEGY = 33165,
};
enum : uint32_t { ALIGN_CUSTOM = 0x28 };

// The colours a favourite gives the chart it is applied to.
constexpr uint32_t ChartSettings::*kColorFields[] = {
    &ChartSettings::bg_color,          &ChartSettings::text_color,
    &ChartSettings::text_color2,       &ChartSettings::axis_color,
    &ChartSettings::grid_color,        &ChartSettings::daybreak_color,
    &ChartSettings::up_color,          &ChartSettings::down_color,
    &ChartSettings::wick_color,        &ChartSettings::outline_color,
    &ChartSettings::up_volume_color,   &ChartSettings::study_color,
    &ChartSettings::down_volume_color, &ChartSettings::oi_color,
    &ChartSettings::bidask_color,      &ChartSettings::last_mark_color,
    &ChartSettings::events_bg_color,   &ChartSettings::event_mark_color,
};

// A percent axis compares symbols: the chart shows neither graphical
// trading nor the bid/ask bar with it.
void drop_trading_for_percent(ChartSettings* s, chart_rec* chart) {
  if (!s->percent) return;
  s->display_flags &= ~(CS_SHOW_GRTRADE | CS_SHOW_BIDASK);
  if (!chart) return;
  kv_lock guard(g_chart_lock);
  chart->header.flags &= ~(CHART_BIDASK_SHOWN | CHART_GRTRADE_SHOWN);
}

// What a Setup Chart OK compares to decide on a reload, and what a failed
// reload puts back: the old chart stays, so do the values it was loaded with.
struct load_values {
  int time_unit, base_unit;
  int start_dates[3];
  int end_value, use_default_range;
  uint32_t own_dates;

  explicit load_values(const ChartSettings& s)
      : time_unit(s.time_unit),
        base_unit(s.base_unit),
        start_dates{s.start_dates[0], s.start_dates[1], s.start_dates[2]},
        end_value(s.end_value),
        use_default_range(s.use_default_range),
        own_dates(s.flags & CS_OWN_DATES) {}
  bool differ(const ChartSettings& s) const {
    return s.time_unit != time_unit || memcmp(s.start_dates, start_dates, sizeof start_dates) ||
           s.end_value != end_value || s.use_default_range != use_default_range;
  }
  void restore(ChartSettings& s) const {
    s.time_unit = time_unit;
    s.base_unit = base_unit;
    memcpy(s.start_dates, start_dates, sizeof start_dates);
    s.end_value = end_value;
    s.use_default_range = use_default_range;
    s.flags = (s.flags & ~CS_OWN_DATES) | own_dates;
  }
};

}  // namespace

void CKvChartView::map_dialog_commands() {
  MapCommand(ID_CHART_PROPERTIES, [this] { OnChartSetup(); });
  MapCommand(ID_CHART_COLOR, [this] { OnChartColor(); });
  MapCommand(ID_ALIGN_CUSTOM, [this] { OnAlignCustom(); });
  MapCommand(ID_PLAYBACK_SETUP, [this] { OnPlaybackSetup(); });
  MapUpdate(ID_PLAYBACK_SETUP, [this](KvCmdUI& ui) {
    CKvChartDoc* doc = GetDocument();
    ui.Enable(doc && doc->m_chart);
  });
  MapCommand(ID_EDIT_PRICES, [this] { OnEditPrices(); });
  MapUpdate(ID_EDIT_PRICES, [this](KvCmdUI& ui) {
    // Price files exist for tick, volume, 1-minute, daily and longer charts.
    CKvChartDoc* doc = GetDocument();
    int unit = doc && doc->m_chart ? doc->m_chart->header.time_unit : 0;
    ui.Enable(doc && doc->m_chart &&
              (is_tick_unit(unit) || is_volume_unit(unit) || unit == TU_1MIN || unit >= TU_DAILY));
  });
  MapCommand(ID_CHART_INFO, [this] { OnChartInfo(); });
  MapUpdate(ID_ALIGN_CUSTOM, [this](KvCmdUI& ui) {
    ui.Enable(m_settings && m_settings->percent);
    ui.SetCheck(m_settings &&
                (m_settings->display_flags & CS_PERCENT_BASE_MASK) == (uint32_t)ALIGN_CUSTOM);
  });

  auto has_chart = [this] {
    CKvChartDoc* doc = GetDocument();
    return doc && doc->m_chart;
  };
  MapCommand(ID_APPLY_FAVORITE, [this] { OnApplyFavorite(); });
  MapUpdate(ID_APPLY_FAVORITE, [has_chart](KvCmdUI& ui) { ui.Enable(has_chart()); });
  // The trading dialogs: enabled while their module is there.
  MapCommand(ID_ORDER_SETUP, [this] { OnOrderSetup(); });
  MapUpdate(ID_ORDER_SETUP, [this](KvCmdUI& ui) {
    CKvChartDoc* doc = GetDocument();
    kv_lock guard(g_chart_lock);
    ui.Enable(g_chart_view_hooks.order_setup && doc && doc->m_chart && doc->m_chart->mqt);
  });
  MapCommand(ID_ATTACH_STUDY, [this] { OnAttachStudy(); });
  MapUpdate(ID_ATTACH_STUDY, [this, has_chart](KvCmdUI& ui) {
    ui.Enable(g_chart_view_hooks.attach_study && has_chart() && GrTradeOn());
  });
  MapCommand(ID_SELECT_STRATEGY, [this] { OnSelectStrategy(); });
  MapUpdate(ID_SELECT_STRATEGY, [has_chart](KvCmdUI& ui) {
    ui.Enable(g_chart_view_hooks.select_strategy && has_chart());
  });
}

void CKvChartView::OnChartSetup() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings) return;
  // The dialog edits the whole expression of a joined chart; the settings'
  // symbol field keeps the main symbol that later loads compare with.
  QString expression;
  if (doc->m_chart) {
    expression = doc->JoinSymbols();
  } else {
    char symbol[sizeof m_settings->symbol + 1];
    chart_settings_text(m_settings->symbol, sizeof m_settings->symbol, symbol);
    expression = QString::fromLatin1(symbol);
  }
  const load_values before(*m_settings);
  CChartSetupDlg dlg(m_settings, expression, this);
  if (dlg.DoModal() != IDOK) return;
  drop_trading_for_percent(m_settings, doc->m_chart);
  if (m_settings->changed && (dlg.Expression() != expression || before.differ(*m_settings))) {
    QByteArray expr = dlg.Expression().toLatin1();
    if (!doc->ChangeSymbol(expr.constData(), nullptr, 0, CHANGE_SETUP) && doc->m_chart)
      before.restore(*m_settings);
  }
  m_settings->changed = 0;
  doc->UpdateTitle();
  UpdatePanes("OnChartSetup", UP_CALC | UP_SCBAR | UP_INVAL);
}

void CKvChartView::OnChartColor() {
  CKvChartDoc* doc = GetDocument();
  if (!m_settings) return;
  CChartColorDlg dlg(m_settings, this);
  if (dlg.DoModal() != IDOK) return;
  // Studies drawn in the colour of a black or white background would vanish:
  // they take the opposite one.
  uint32_t bg = m_settings->bg_color;
  if (doc && doc->m_chart && (bg == 0 || bg == 0xFFFFFF)) {
    kv_lock guard(g_chart_lock);
    for (StudyDef* s = doc->m_chart->studies; s; s = s->next)
      if (s->color == bg) s->color = bg ^ 0xFFFFFF;
  }
  UpdatePanes("OnChartColor", UP_CALC | UP_INVAL | UP_UPDWIN);
}

void CKvChartView::OnAlignCustom() {
  if (!m_settings || !m_settings->percent) return;
  CAlignDataDlg dlg(m_settings, this);
  if (dlg.DoModal() == IDOK)
    m_settings->display_flags = (m_settings->display_flags & ~CS_PERCENT_BASE_MASK) | ALIGN_CUSTOM;
  UpdatePanes("OnAlignCustom", UP_CALC | UP_INVAL);
}

void CKvChartView::OnPlaybackSetup() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart) return;
  int unit;
  char symbol[sizeof doc->m_chart->header.symbol + 1] = {};
  {
    kv_lock guard(g_chart_lock);
    unit = doc->m_chart->header.time_unit;
    memcpy(symbol, doc->m_chart->header.symbol, sizeof doc->m_chart->header.symbol);
  }
  PlaybackData copy;
  playback_data_decode(g_settings.PlaybackData, &copy);
  CPlaybackSetupDlg dlg(&copy, unit, this);
  if (dlg.DoModal() != IDOK) return;
  // The rate is taken only when the dialog changed it; taken, the mark goes.
  playback_take_data(&copy, (copy.flags & PLAYBACK_NEW_RATE) != 0);
  copy.flags &= ~PLAYBACK_NEW_RATE;
  playback_data_encode(&copy, g_settings.PlaybackData);
  if (!strcasecmp(symbol, copy.name))
    g_playback_state |= PLAYBACK_CHART_SHOWN;
  else
    g_playback_state &= ~(uint32_t)PLAYBACK_CHART_SHOWN;
}

void CKvChartView::OnEditPrices() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart) return;
  CEditPricesDlg dlg(doc->m_chart, this);
  if (dlg.DoModal() == IDOK) OnUpdate(nullptr, 0);
}

void CKvChartView::OnChartInfo() {
  if (!m_settings) return;
  CChartInfoDlg dlg(m_settings, GetDocument(), this);
  dlg.DoModal();
}

// ============================================================================
// Favourites
// ============================================================================

void CKvChartView::OnApplyFavorite() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !m_settings) return;
  // Only "Create Chart" ends the dialog in this mode, with its pick.
  CChartFavoritesDlg dlg(true, this);
  if (dlg.DoModal() != IDOK || !dlg.Chosen()) return;
  ApplyFavorite(dlg.Chosen());
  // Favourites marked for deletion or as the default meanwhile are dealt
  // with as the Favorites commands deal with them.
  if (theApp) theApp->ApplyFavoritesDialog(nullptr);
}

void CKvChartView::ApplyFavorite(const WindowDescriptor* f) {
  CKvChartDoc* doc = GetDocument();
  chart_rec* chart = doc ? doc->m_chart : nullptr;
  if (!chart || !m_settings || !f) return;
  // The chart's studies all go: none may carry an order or the plots of a
  // running system.
  if (chart_trading_runs(chart)) {
    kv_message_box("Stop Live or simulated trading before applying a favorite\n", "Korvane", MB_OK);
    return;
  }
  if (chart_orders_attached(chart)) {
    kv_message_box("Can't apply a favorite while orders are attached to studies\n", "Korvane",
                   MB_OK);
    return;
  }
  const ChartSettings& from = f->settings;
  ChartSettings& to = *m_settings;
  for (auto field : kColorFields) to.*field = from.*field;
  std::copy(std::begin(from.alert_colors), std::end(from.alert_colors), to.alert_colors);
  std::copy(std::begin(from.position_colors), std::end(from.position_colors), to.position_colors);
  to.chart_type = from.chart_type;
  memcpy(to.favorite_name, from.favorite_name, sizeof to.favorite_name);
  to.favorite_name[sizeof to.favorite_name - 1] = 0;
  to.favorite_named = from.favorite_named;
  to.percent = from.percent;
  to.line_width = from.line_width;
  to.pane_count = from.pane_count;
  memcpy(to.splits, from.splits, sizeof to.splits);
  memcpy(to.pane_shown, from.pane_shown, sizeof to.pane_shown);
  memcpy(to.pane_content, from.pane_content, sizeof to.pane_content);
  drop_trading_for_percent(m_settings, chart);
  if (!GrTradeOn()) m_trade->ResetState();
  doc->m_favorite_name = QString::fromUtf8(to.favorite_name);

  {
    kv_lock guard(g_chart_lock);
    while (chart->studies) delete_study(chart, chart->studies);
  }
  for (const StudyDef* s = f->studies; s; s = s->next) create_study(chart, s);
  doc->UpdateTitle();
  UpdatePanes("OnApplyFavorite", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
}

// ============================================================================
// Trading dialogs
// ============================================================================

void CKvChartView::OnOrderSetup() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !g_chart_view_hooks.order_setup) return;
  mqt* record;
  double tick;
  {
    kv_lock guard(g_chart_lock);
    record = doc->m_chart->mqt;
    tick = record ? record->tick_size : 0;
  }
  // The store may write a new definition and show its file errors: no
  // lock is held.
  OrderDef* def = record ? g_orddef_store.GetForSymbol(record) : nullptr;
  if (!def || !g_chart_view_hooks.order_setup(def, tick, this)) return;
  if (def->path[0]) g_orddef_store.Write(def, def->path);
  UpdatePanes("OnOrderSetup", UP_INVAL);
}

void CKvChartView::OnAttachStudy() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !g_chart_view_hooks.attach_study || !GrTradeOn()) return;
  uint32_t serial;
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = m_trade->FindSelectedOrder();
    serial = o ? o->serial : 0;
  }
  if (!serial) return;
  g_chart_view_hooks.attach_study(doc->m_chart, serial, this);
  UpdatePanes("OnAttachStudy", UP_INVAL);
}

void CKvChartView::OnSelectStrategy() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !g_chart_view_hooks.select_strategy) return;
  strategy_ctx* run = m_strategy.get();
  bool running;
  {
    kv_lock guard(g_chart_lock);
    running = doc->m_chart->strategy == run;
  }
  // The dialog copies its record back over the view's: a run still
  // trading from it ends first, or the dialog stays shut.
  if (running) {
    if (kv_message_box("A strategy is running on this chart.\nDo you want to stop it?", "Korvane",
                       MB_YESNO | MB_ICONQUESTION) != IDYES)
      return;
    if (!run->term) return;
    run->term(run);
  }
  g_chart_view_hooks.select_strategy(doc->m_chart, run, this);
  bool live;
  const char* name;
  int mode;
  {
    kv_lock guard(g_chart_lock);
    live = (doc->m_chart->header.flags & CHART_SYSTEM_RUNNING) && doc->m_chart->strategy == run;
    name = run->system_name;
    mode = run->mode;
  }
  if (live)
    m_view_flags |= VF_STRATEGY_LIVE;
  else
    m_view_flags &= ~(uint32_t)VF_STRATEGY_LIVE;
  if (!name) return;  // no system chosen yet
  const char* word = mode >= 0 && mode < 6 ? g_strategy_mode_names[mode] : "";
  doc->SetTitle(QStringLiteral("%1 %2 %3")
                    .arg(QString::fromLatin1(doc->GetTitleText()), QString::fromLatin1(name),
                         QString::fromLatin1(word)));
}
