#include "studies/pages/psstudiesdlg.h"

#include "data/chart.h"
#include "platform/locks.h"
#include "studies/study.h"

CPSStudiesDlg::CPSStudiesDlg(int start_page)
    : KvPropertySheet(QStringLiteral("Studies"), nullptr, start_page), m_start_page(start_page) {
  KvPropertyPage* pages[] = {&m_studies,    &m_movavg,     &m_bolband, &m_macd,
                             &m_stochastic, &m_rsi,        &m_cci,     &m_vhf,
                             &m_volume,     &m_indicators, &m_other,   &m_userstudy};
  for (KvPropertyPage* p : pages) AddPage(p);
  // Applied changes are not undone: after Apply Now, Cancel reads Close.
  MapCommand(ID_APPLY_NOW, [this] {
    PressButton(ID_APPLY_NOW);
    CancelToClose();
  });
}

CPSStudiesDlg::~CPSStudiesDlg() {
  free_study_records(sheet_list);
  free_study_records(m_dropped);
}

int CPSStudiesDlg::DoModal() {
  if (!chart) return KvPropertySheet::DoModal();
  // The chart stays ours for the run, whatever posted messages do to the
  // document meanwhile.
  {
    kv_lock guard(g_chart_lock);
    chart->references++;
    StudyDef** tail = &sheet_list;
    for (StudyDef* s = chart->studies; s; s = s->next) {
      *tail = copy_study_record(s);
      tail = &(*tail)->next;
    }
  }
  bool had_records = sheet_list != nullptr;
  StudySheetLinks links{doc, chart, &sheet_list, &m_dropped};
  m_studies.links = links;
  CPPFamilyPage* families[] = {&m_movavg, &m_bolband, &m_macd,   &m_stochastic, &m_rsi,
                               &m_cci,    &m_vhf,     &m_volume, &m_indicators, &m_other};
  for (CPPFamilyPage* p : families) p->links = links;
  m_userstudy.links = links;
  if (m_start_page == STUDY_PAGE_VOLUME) m_volume.preselect_type = preselect_type;
  if (m_start_page == STUDY_PAGE_INDICATORS) m_indicators.preselect_type = preselect_type;
  if (m_start_page == STUDY_PAGE_OTHER) m_other.preselect_type = preselect_type;

  int result = KvPropertySheet::DoModal();

  // The base chart of a tick or volume chart takes the sheet's list, a
  // list the user emptied included: studies deleted here must not come
  // back from the base.  A chart that never had a study leaves it alone.
  chart_rec* base = doc ? doc->GetBaseChart() : nullptr;
  if (base && (sheet_list || had_records)) {
    kv_lock guard(g_chart_lock);
    while (base->studies) delete_study(base, base->studies);
    for (StudyDef* r = sheet_list; r; r = r->next) {
      StudyDef t = *r;
      t.next = nullptr;
      t.outputs = nullptr;
      create_study(base, &t);
    }
  }
  free_study_records(sheet_list);
  sheet_list = nullptr;
  free_study_records(m_dropped);
  m_dropped = nullptr;
  free_chart_data(chart);
  return result;
}
