// CPSStudiesDlg: the "Studies" property sheet, where the user adds, edits,
// hides and deletes the studies of a chart.  It runs modally on the
// document's chart over a list of copies of the chart's studies; its pages
// apply their edits to the chart's live studies at Apply Now and OK.
//
// The chart document runs it from its Studies commands: construct with the
// start page, set `chart`, `doc` and `preselect_type`, DoModal.
#pragma once

#include "platform/qt/propsheet.h"
#include "studies/pages/ppcommon.h"
#include "studies/pages/ppfamily.h"
#include "studies/pages/ppstudies.h"
#include "studies/pages/ppuserstudy.h"

// Start pages of the document's Studies commands.
enum {
  STUDY_PAGE_SELECTED = 0,
  STUDY_PAGE_MOVAVG = 1,
  STUDY_PAGE_BOLBAND = 2,
  STUDY_PAGE_MACD = 3,
  STUDY_PAGE_STOCHASTIC = 4,
  STUDY_PAGE_RSI = 5,
  STUDY_PAGE_CCI = 6,
  STUDY_PAGE_VHF = 7,
  STUDY_PAGE_VOLUME = 8,
  STUDY_PAGE_INDICATORS = 9,
  STUDY_PAGE_OTHER = 10,
  STUDY_PAGE_EXTERNAL = 11,
};

class CPSStudiesDlg : public KvPropertySheet {
 public:
  explicit CPSStudiesDlg(int start_page = 0);
  ~CPSStudiesDlg() override;

  CPPStudies m_studies;
  CPPMovAvg m_movavg;
  CPPBolBand m_bolband;
  CPPMACD m_macd;
  CPPStochastic m_stochastic;
  CPPRSI m_rsi;
  CPPCCI m_cci;
  CPPVHF m_vhf;
  CPPVolume m_volume;
  CPPIndicators m_indicators;
  CPPOther m_other;
  CPPUserStudy m_userstudy;

  KvStudyDocument* doc = nullptr;
  chart_rec* chart = nullptr;
  int preselect_type = 0;
  CPPCommon common;
  StudyDef* sheet_list = nullptr;

  int DoModal();

 private:
  int m_start_page;
  // Records dropped from sheet_list during the run (deleted on the
  // Selected Studies page); a page may still show one until the run ends.
  StudyDef* m_dropped = nullptr;
};
