// The ten study family pages of the "Studies" sheet.  Each shows a Name
// combo whose first item is a new study of its family with default values
// and whose further items are the chart's studies of that family (hidden
// ones left out); the user picks one, edits it, and the page applies the
// edit when the sheet applies.  CPPFamilyPage holds the pattern they share;
// each page adds its type radios and its own fields.
#pragma once

#include <QImage>
#include <map>
#include <vector>

#include "platform/qt/propsheet.h"
#include "studies/pages/ppcommon.h"

class CBitmapComboBox;
class KvComboBox;
class KvOwnerDrawButton;
class QFormLayout;
class QGroupBox;
class QLineEdit;
class QVBoxLayout;

struct family_type_radio {
  int id;
  const char* text;
  int type;
  bool redefault;  // a click re-initialises the new-study record
};

class CPPFamilyPage : public KvPropertyPage {
 public:
  StudySheetLinks links;
  int modified = 0;
  CPPCommon common;
  StudyDef* new_study = nullptr;
  uint32_t color;
  int selection = -1;
  int pending_apply = 0;
  int type_index = 0;
  int price_index = -1;
  int method_index = 0;
  QString width_text;
  // The menu command's type; used by pages with a type choice that decides
  // their new-study record.
  int preselect_type = 0;

  ~CPPFamilyPage() override;

  bool OnInitDialog() override;
  bool OnSetActive() override;
  bool OnApply() override;

  KvComboBox* NameCombo() const { return m_name; }

 protected:
  enum PaneRule { PANE_ON_SHOW, PANE_ON_READ };
  CPPFamilyPage(unsigned id, const char* title, int family, int new_type,
                std::vector<family_type_radio> types, const char* type_group, bool price,
                PaneRule rule);

  void DoDataExchange(KvDataExchange& dx) override;

  // Page-specific parts.
  virtual int new_study_type() const;
  virtual void show_fields(StudyDef* s) {}
  virtual void read_fields(StudyDef* s) {}
  virtual void exchange_fields(KvDataExchange& dx) {}
  virtual void after_read(StudyDef* s) {}
  // The group a re-default on a type radio click gives.
  virtual int redefault_group(int type) const { return common.getDefStudyGroup(type); }

  // The class name in trace lines, and which methods trace besides the
  // list and the apply: 1 OnInitDialog, 2 setProp, 4 getProp, 8 both
  // setProp lines (show and read print "setProp").
  const char* m_class = "";
  int m_traces = 0;

  // Building blocks for the pages' own controls.
  QLineEdit* add_edit(int id, const char* label);
  void add_method_radios(const char* group, int count);
  QVBoxLayout* extra() const { return m_extra; }
  void set_text(int id, const QString& t) { m_text[id] = t; }
  QString text(int id) { return m_text[id]; }
  void mark_modified();
  void show_record();

  std::vector<family_type_radio> m_types;
  bool m_has_method = false;

 private:
  void create_study_list();
  void read_record();
  void apply_page();
  void on_type_clicked(int index);
  void on_color();

  int m_family, m_new_type;
  bool m_price;
  PaneRule m_rule;
  KvComboBox* m_name;
  KvOwnerDrawButton* m_sample;
  QFormLayout* m_fields;
  QGroupBox* m_fields_box;
  QVBoxLayout* m_extra;
  std::map<int, QString> m_text;
  std::vector<int> m_edits;
};

class CPPMovAvg : public CPPFamilyPage {
 public:
  CPPMovAvg();

 protected:
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
  void after_read(StudyDef* s) override;
};

class CPPBolBand : public CPPFamilyPage {
 public:
  CPPBolBand();

 protected:
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
};

class CPPMACD : public CPPFamilyPage {
 public:
  CPPMACD();

 protected:
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
  int redefault_group(int type) const override;
};

class CPPStochastic : public CPPFamilyPage {
 public:
  CPPStochastic();

 protected:
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
};

class CPPRSI : public CPPFamilyPage {
 public:
  CPPRSI();
  int period = 0;
  int width = 1;

 protected:
  void exchange_fields(KvDataExchange& dx) override;
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
};

// CCI and VHF: a period and the price.
class CPPCCI : public CPPFamilyPage {
 public:
  CPPCCI();

 protected:
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
};

class CPPVHF : public CPPFamilyPage {
 public:
  CPPVHF();

 protected:
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
};

class CPPVolume : public CPPFamilyPage {
 public:
  CPPVolume();

 protected:
  int new_study_type() const override;
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;
};

class CPPIndicators : public CPPFamilyPage {
 public:
  CPPIndicators();
  int style = 0;

  bool OnInitDialog() override;

 protected:
  int new_study_type() const override;
  void exchange_fields(KvDataExchange& dx) override;
  void show_fields(StudyDef* s) override;
  void read_fields(StudyDef* s) override;

 private:
  CBitmapComboBox* m_style;
  QImage m_bitmaps[10];
};

class CPPOther : public CPPFamilyPage {
 public:
  CPPOther();

 protected:
  int new_study_type() const override;
};
