// The chart document's Data and Studies commands.
#include "chartwin/chartdoc.h"

#include <cstdio>

#include "data/chart.h"
#include "data/chartload.h"
#include "platform/services.h"
#include "studies/pages/psstudiesdlg.h"

namespace {

struct studies_command {
  unsigned id;
  int page;
  int type;
};
const studies_command kStudiesCommands[] = {
    {32812, STUDY_PAGE_SELECTED, 0},         {32783, STUDY_PAGE_MOVAVG, 0x80001},
    {32789, STUDY_PAGE_BOLBAND, 0x4001D},    {32808, STUDY_PAGE_MACD, 0x100209},
    {32810, STUDY_PAGE_STOCHASTIC, 0x2030B}, {32815, STUDY_PAGE_RSI, 0x80030F},
    {33109, STUDY_PAGE_CCI, 0x2000721},      {32901, STUDY_PAGE_VHF, 0x1000612},
    {32905, STUDY_PAGE_VOLUME, 0x20040D},    {32880, STUDY_PAGE_INDICATORS, 0x8010013},
    {32816, STUDY_PAGE_OTHER, 0x400410},     {32817, STUDY_PAGE_OTHER, 0x400511},
    {33125, STUDY_PAGE_EXTERNAL, 0x80},
};

}  // namespace

void CKvChartDoc::map_commands() {
  MapCommand(ID_DATA_UPDATE, [this] {
    ChangeSymbol(JoinSymbols().toLatin1().constData(), nullptr, 0, CHANGE_UPDATE);
    KvDocument::UpdateAllViews(nullptr, 0);
  });
  MapUpdate(ID_DATA_UPDATE, [this](KvCmdUI& ui) { ui.Enable(m_chart != nullptr); });
  MapCommand(ID_DATA_RELOAD, [this] {
    const char* symbol = m_chart ? m_chart->header.symbol : m_settings.symbol;
    char copy[CHART_SYMBOL_SIZE];
    snprintf(copy, sizeof copy, "%s", symbol);
    ChangeSymbol(copy, nullptr, 0, CHANGE_RELOAD);
    KvDocument::UpdateAllViews(nullptr, 0);
  });
  MapUpdate(ID_DATA_RELOAD, [this](KvCmdUI& ui) {
    ui.Enable((m_chart && m_chart->header.symbol[0]) || m_settings.symbol[0]);
  });
  MapCommand(ID_DATA_UPDATE_FROM_INTRADAY, [this] {
    if (m_chart && m_chart->header.time_unit == TU_DAILY) update_daily_from_intraday(m_chart);
  });
  MapUpdate(ID_DATA_UPDATE_FROM_INTRADAY,
            [this](KvCmdUI& ui) { ui.Enable(m_chart && m_chart->header.time_unit == TU_DAILY); });
  for (auto [id, mode] : {std::pair{ID_PURGE_TODAY, 0}, {ID_PURGE_PRIOR, 1}, {ID_PURGE_ALL, 2}}) {
    MapCommand(id, [this, mode = mode] { purge(mode); });
    MapUpdate(id, [this, mode = mode](KvCmdUI& ui) {
      ui.Enable(m_chart && (mode == 2 || is_intraday_unit(m_chart->header.time_unit)));
    });
  }
  for (const studies_command& c : kStudiesCommands) {
    MapCommand(c.id, [this, c] { run_studies_sheet(c.page, c.type); });
    MapUpdate(c.id, [this](KvCmdUI& ui) { ui.Enable(m_chart != nullptr); });
  }
  // Present while a document window is active; it does nothing.
  MapCommand(ID_UPDATE_SLF_SYMBOLS, [] {});
  MapUpdate(ID_UPDATE_SLF_SYMBOLS, [](KvCmdUI& ui) { ui.Enable(true); });
}

int CKvChartDoc::purge(int mode) {
  if (!m_chart) return 0;
  if (!clear_chart_data(m_chart, mode)) {
    kv_message_box("Unable to purge data", "Korvane", MB_OK | MB_ICONEXCLAMATION);
    return 0;
  }
  KvDocument::UpdateAllViews(nullptr, 0);
  return 1;
}

void CKvChartDoc::run_studies_sheet(int page, int type) {
  if (!m_chart) return;
  CPSStudiesDlg sheet(page);
  sheet.chart = m_chart;
  sheet.doc = this;
  sheet.preselect_type = type;
  sheet.DoModal();
  KvDocument::UpdateAllViews(nullptr, 0);
}
