// The chart view's commands that open the chart dialogs: Setup Chart, the
// chart colours and the custom alignment point, and how their results are
// applied to the document and the panes.
#include <cstring>
#include <strings.h>

#include "chartwin/aligndatadlg.h"
#include "chartwin/chartcolordlg.h"
#include "chartwin/chartinfodlg.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartsetupdlg.h"
#include "chartwin/editpricesdlg.h"
#include "chartwin/chartview.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "platform/locks.h"
#include "quotes/playbackdata.h"
#include "quotes/playthread.h"
#include "settings/settings.h"
#include "shell/playbackdlg.h"
#include "studies/studyapi.h"

namespace {

enum : unsigned {
  ID_CHART_PROPERTIES = 32784,
  ID_CHART_COLOR = 32786,
  ID_ALIGN_CUSTOM = 33324,
  ID_PLAYBACK_SETUP = 33254,
  ID_EDIT_PRICES = 32926,
  ID_CHART_INFO = 33251,
};
enum : uint32_t { ALIGN_CUSTOM = 0x28 };

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
  if (m_settings->percent) {
    m_settings->display_flags &= ~(CS_SHOW_GRTRADE | CS_SHOW_BIDASK);
    if (doc->m_chart) {
      kv_lock guard(g_chart_lock);
      doc->m_chart->header.flags &= ~(CHART_BIDASK_SHOWN | CHART_GRTRADE_SHOWN);
    }
  }
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
  {
    // The playback thread reads its settings under the chart lock.
    kv_lock guard(g_chart_lock);
    int speed = g_playback.speed;
    playback_settings_from_data(&copy, &g_playback);
    // The rate is taken only when the dialog changed it; taken, the mark goes.
    if (!(copy.flags & PLAYBACK_NEW_RATE)) g_playback.speed = speed;
    copy.flags &= ~PLAYBACK_NEW_RATE;
  }
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
