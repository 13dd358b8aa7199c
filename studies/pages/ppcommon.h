// What every page of the "Studies" sheet shares: default study records and
// their display names, filling combo and list boxes with study records,
// the colour dialog, and applying a page's edits to the chart's live
// studies.
//
// A page works on records of the sheet's own list (copies of the chart's
// studies, no outputs) and on its new-study record; combo and list items
// carry the record's address as item data.  Live studies are found by id,
// never by place: the sheet's list and the chart's list part as soon as a
// study could not be created or a study made others.
#pragma once

#include <QString>
#include <cstdint>

#include "data/debugtrace.h"
#include "studies/studyapi.h"

// Method trace lines of the study pages (switch s).
#define STUDY_PAGE_TRACE(...)                                       \
  do {                                                              \
    if (g_option_flags & OPT_TRACE_STUDY) debug_trace(__VA_ARGS__); \
  } while (0)

class KvComboBox;
class KvDialog;
class KvListBox;
class KvOwnerDrawButton;
class QFormLayout;
class QGroupBox;
class QLineEdit;
class QWidget;
struct chart_rec;

// The default study colour: the default chart template's, installed by the
// chart store at start-up; until then the colour of a fresh chart template.
extern uint32_t (*g_default_study_color_fn)(void);
uint32_t default_study_color(void);

// The chart document as the sheet needs it; the chart window fills it in.
class KvStudyDocument {
 public:
  virtual ~KvStudyDocument() = default;
  // Redraws every view of the document (hint 0).
  virtual void UpdateAllViews() = 0;
  // The chart from which the shown tick or volume chart is built, or null.
  virtual chart_rec* GetBaseChart() { return nullptr; }
};

// The links the sheet gives each page.  `dropped` collects records taken
// out of the list during the run; the sheet frees them when it ends, since
// another page's Name combo may still show them until then.
struct StudySheetLinks {
  KvStudyDocument* doc = nullptr;
  chart_rec* chart = nullptr;
  StudyDef** list = nullptr;
  StudyDef** dropped = nullptr;
};

class CPPCommon {
 public:
  StudyDef* createDefStudy(int type, int pane_group);
  void initDefStudy(KvComboBox* combo, int type, int pane_group);
  void setDefStudyValues(StudyDef* s, int type, int pane_group);
  static int getDefStudyGroup(int type);
  StudyDef* findStudy(StudyDef* list, int type);

  StudyDef* getStudyPtrCB(KvComboBox* combo);
  StudyDef* getStudyPtrCB(KvComboBox* combo, int index);
  StudyDef* getStudyPtrLB(KvListBox* list);
  void selectStudyCB(KvComboBox* combo, const StudyDef* s);

  static QString makeName(const StudyDef* s);
  static QString makeHiddenName(const StudyDef* s, const QString& text);
  // The text an item of a record shows.
  static QString itemText(const StudyDef* s);

  uint32_t getColorCB(KvComboBox* combo, uint32_t initial, int index, QWidget* parent = nullptr);
  uint32_t getColorLB(KvListBox* list, uint32_t initial, QWidget* parent = nullptr);

  void AddToCB(KvComboBox* combo, StudyDef* list);
  void AddToCB(KvComboBox* combo, StudyDef* list, int reset, int type_mask);
  void AddToLB(KvListBox* lb, StudyDef* list, int reset);
  void AddToCBAS(KvComboBox* combo, StudyDef* list);

  // The line style and width rule of the Selected Studies and Indicators
  // pages: thin styles 0-4 are one pixel wide, wide styles 5-9 at least
  // two.  normaliseWidth gives the width a chosen style allows;
  // styleForWidth changes the style to suit a typed width (0 or less gives
  // style 0, width 1).
  static int normaliseWidth(int style, int width);
  static void styleForWidth(int* style, int* width);
  static int textToInt(const QString& text);

  void UpdateStudyData(StudyDef* live, const StudyDef* edited);
  // Applies the combo's selected record: the new-study record is created
  // on the chart and appended to the list (1); an edited record goes into
  // its live study (0).
  int UpdateStudy(KvComboBox* combo, chart_rec* chart, StudyDef** page_list, StudyDef* default_rec);
  // Applies the Selected Studies page: modified records into their live
  // studies, deleted ones delete theirs and move to *dropped.
  void UpdateStudies(chart_rec* chart, StudyDef** page_list, StudyDef** dropped);

 private:
  // Puts an edited record into its live study; a changed type makes a new
  // live study in the old one's place.  Under g_chart_lock.
  void apply_edit(chart_rec* chart, StudyDef* rec);
};

// The "Line Attributes" box of the study pages: the width field (1217) and
// the colour sample (1078, painted with *color) beside its Color button
// (1022), made controls of the page.  The caller adds its own rows (a
// style combo) to form.
struct line_attr_box {
  QGroupBox* box;
  QFormLayout* form;
  QLineEdit* width;
  KvOwnerDrawButton* sample;
};
line_attr_box make_line_attr_box(KvDialog* page, const uint32_t* color);

// The chart's live study with that id, or null.  Under g_chart_lock.
StudyDef* find_live_study(chart_rec* chart, int id);
// A sheet record: a copy of a live study without its series.
StudyDef* copy_study_record(const StudyDef* s);
void free_study_records(StudyDef* head);
