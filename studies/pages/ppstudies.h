// CPPStudies: the Selected Studies page of the "Studies" sheet.  It lists
// every study of the sheet's list and changes colour, line style and width,
// hides and deletes; the chart's live studies change when the page applies.
#pragma once

#include <QImage>

#include "platform/qt/propsheet.h"
#include "studies/pages/ppcommon.h"

class CBitmapComboBox;
class KvListBox;
class KvOwnerDrawButton;

class CPPStudies : public KvPropertyPage {
 public:
  CPPStudies();
  ~CPPStudies() override;

  StudySheetLinks links;
  StudyDef* current = nullptr;
  int modified = 0;
  CPPCommon common;
  uint32_t color;
  int selection = -1;
  int overlay = -1;
  int style = -1;
  QString width_text;

  bool OnInitDialog() override;
  bool OnSetActive() override;
  bool OnApply() override;

  // The radio of the "Overlay With" group a study type belongs to.
  static int overlay_index(int type, uint32_t pane_group);

 protected:
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  void fill_list();
  void show_selection();
  void read_selected();
  void mark_modified();
  void on_delete();
  void on_hide();
  void on_color();
  void on_style_changed();
  void on_width_changed();
  void set_hide_text(const StudyDef* s);

  KvListBox* m_list;
  CBitmapComboBox* m_style;
  KvOwnerDrawButton* m_sample;
  QImage m_bitmaps[10];
  bool m_filling = false;
};
