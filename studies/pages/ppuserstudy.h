// CPPUserStudy: the External Studies page of the "Studies" sheet.  The user
// picks a study library of the FERLUMES folder and one of its studies; the
// page fills a new-study record from the library's defaults, shows the
// library's parameter labels beside up to four parameters and enables the
// price and method choices the study uses.  A chart's library study is
// edited the same way.  Everything the page learns of a library comes
// through the study-library host, bounded and copied.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "platform/qt/propsheet.h"
#include "studies/pages/ppcommon.h"

class KvComboBox;
class KvOwnerDrawButton;

class CPPUserStudy : public KvPropertyPage {
 public:
  CPPUserStudy();
  ~CPPUserStudy() override;

  StudySheetLinks links;
  int modified = 0;
  CPPCommon common;
  StudyDef* new_study = nullptr;
  uint32_t color;
  int library_index = -1;
  int study_index = -1;
  int selection = -1;
  int period = 0;
  int price_index = -1;
  int method_index = -1;
  QString labels[5];  // period, parameters 1-4
  QString values[4];
  QString width_text;

  bool OnInitDialog() override;
  bool OnSetActive() override;
  bool OnApply() override;

  void AddLibraryNames();
  void OnCloseupLibraryName();
  void OnCloseupStudyName();
  void AddUserStudy();
  void AddStudyData(int i);
  int getStudyDllFunctions();
  void setPriceMethodButtonState();
  void setProp();
  void getProp();
  void clearProp();
  void createStudyList();
  void UpdateStudy();

  // The names of the listed libraries, in list order.
  const std::vector<std::string>& libraries() const { return m_libraries; }

 protected:
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  void show_chart_study();
  void set_labels(const char* lib, int index);
  void mark_modified();

  KvComboBox* m_library;
  KvComboBox* m_study;
  KvComboBox* m_name;
  KvOwnerDrawButton* m_sample;
  std::vector<std::string> m_libraries;
  // The library whose studies the Study combo lists ("" none): the only
  // one whose exports the page uses.
  std::string m_bound;
};
