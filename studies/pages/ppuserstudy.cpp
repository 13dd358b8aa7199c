#include "studies/pages/ppuserstudy.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "data/listfiles.h"
#include "data/priceparse.h"
#include "data/pricefmt.h"
#include "data/tokenfile.h"
#include "platform/qt/controls.h"
#include "settings/settings.h"
#include "studies/studylib_host.h"

namespace {
enum {
  IDC_LIBRARY = 1454,
  IDC_STUDY = 1471,
  IDC_NAME = 1024,
  IDC_PERIOD_LABEL = 1456,
  IDC_PERIOD = 1015,
  IDC_WIDTH = 1217,
  IDC_COLOR = 1022,
  IDC_SAMPLE = 1078,
  IDC_PRICE_FIRST = 1017,
  IDC_METHOD_FIRST = 1023,
};
const int kParamLabels[4] = {1457, 1458, 1459, 1460};
const int kParamEdits[4] = {1447, 1448, 1449, 1446};
const int kPriceIds[8] = {1017, 1019, 1020, 1018, 1021, 1096, 1097, 1606};
const char* const kPriceTexts[8] = {"Open",    "High",    "Low",        "Close",
                                    "Mid Pt.", "Typical", "Wgt. Close", "VWap"};
const int kMethodIds[5] = {1023, 1025, 1027, 1028, 1029};
const char* const kMethodTexts[5] = {"Simple", "Exponential", "Weighted", "Triangular", "Variable"};
const QString kNone = QStringLiteral("---None Selected---");
}  // namespace

CPPUserStudy::CPPUserStudy()
    : KvPropertyPage(102, QStringLiteral("External Studies")), color(default_study_color()) {
  labels[0] = QStringLiteral("Period");
  auto* top = new QVBoxLayout(this);
  auto* names = new QFormLayout;
  m_library = AddControl(IDC_LIBRARY, new KvComboBox);
  m_study = AddControl(IDC_STUDY, new KvComboBox);
  m_name = AddControl(IDC_NAME, new KvComboBox(true));
  m_name->setMinimumWidth(300);
  names->addRow(QStringLiteral("Library:"), m_library);
  names->addRow(QStringLiteral("Study:"), m_study);
  names->addRow(QStringLiteral("Name:"), m_name);
  top->addLayout(names);

  auto* middle = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* params = new QGroupBox(QStringLiteral("Parameters"));
  auto* grid = new QFormLayout(params);
  auto* period_edit = AddControl(IDC_PERIOD, new QLineEdit);
  period_edit->setMaximumWidth(90);
  grid->addRow(AddControl(IDC_PERIOD_LABEL, new QLabel), period_edit);
  connect(period_edit, &QLineEdit::textEdited, this, [this] { mark_modified(); });
  for (int k = 0; k < 4; k++) {
    auto* e = AddControl(kParamEdits[k], new QLineEdit);
    e->setMaximumWidth(90);
    grid->addRow(AddControl(kParamLabels[k], new QLabel), e);
    connect(e, &QLineEdit::textEdited, this, [this] { mark_modified(); });
  }
  left->addWidget(params);
  auto* method = new QGroupBox(QStringLiteral("Method"));
  auto* ml = new QVBoxLayout(method);
  for (int k = 0; k < 5; k++) {
    auto* rb = AddControl(kMethodIds[k], new QRadioButton(QString::fromLatin1(kMethodTexts[k])));
    ml->addWidget(rb);
    connect(rb, &QAbstractButton::clicked, this, [this] { mark_modified(); });
  }
  AddRadioGroup(std::vector<int>(kMethodIds, kMethodIds + 5));
  left->addWidget(method);
  left->addStretch(1);
  middle->addLayout(left, 1);

  auto* right = new QVBoxLayout;
  auto* price = new QGroupBox(QStringLiteral("Price"));
  auto* pl = new QVBoxLayout(price);
  for (int k = 0; k < 8; k++) {
    auto* rb = AddControl(kPriceIds[k], new QRadioButton(QString::fromLatin1(kPriceTexts[k])));
    pl->addWidget(rb);
    connect(rb, &QAbstractButton::clicked, this, [this] { mark_modified(); });
  }
  AddRadioGroup(std::vector<int>(kPriceIds, kPriceIds + 8));
  right->addWidget(price);
  line_attr_box line = make_line_attr_box(this, &color);
  m_sample = line.sample;
  connect(line.width, &QLineEdit::textEdited, this, [this] { mark_modified(); });
  right->addWidget(line.box);
  right->addStretch(1);
  middle->addLayout(right);
  top->addLayout(middle, 1);

  connect(m_library, &KvComboBox::closedUp, this, [this] { OnCloseupLibraryName(); });
  connect(m_study, &KvComboBox::closedUp, this, [this] { OnCloseupStudyName(); });
  connect(m_name, &KvComboBox::closedUp, this, [this] { show_chart_study(); });
  MapCommand(IDC_COLOR, [this] {
    mark_modified();
    color = common.getColorCB(m_name, color, selection, this);
    m_sample->update();
  });
}

CPPUserStudy::~CPPUserStudy() {
  // Closing combos signal while Qt takes the children down: nothing of
  // the page may answer then.
  for (QObject* c : findChildren<QObject*>()) QObject::disconnect(c, nullptr, this, nullptr);
  delete new_study;
}

void CPPUserStudy::DoDataExchange(KvDataExchange& dx) {
  DDX_Text(dx, IDC_PERIOD, period);
  DDX_Radio(dx, IDC_PRICE_FIRST, price_index);
  DDX_Radio(dx, IDC_METHOD_FIRST, method_index);
  DDX_Text(dx, IDC_PERIOD_LABEL, labels[0]);
  for (int k = 0; k < 4; k++) DDX_Text(dx, kParamLabels[k], labels[k + 1]);
  for (int k = 0; k < 4; k++) DDX_Text(dx, kParamEdits[k], values[k]);
  DDX_Text(dx, IDC_WIDTH, width_text);
}

bool CPPUserStudy::OnInitDialog() {
  STUDY_PAGE_TRACE("CPPUserStudy::OnInitDialog()\n");
  AddLibraryNames();
  setPriceMethodButtonState();
  UpdateData(false);
  return true;
}

bool CPPUserStudy::OnSetActive() {
  createStudyList();
  // The fresh new-study record takes the library study still chosen in
  // the combos: applied without it, the study would have no library and
  // could not be made.  The fields keep what the user typed.
  if (!m_bound.empty() && study_index > 0 && m_study->GetCurSel() == study_index)
    AddStudyData(study_index - 1);
  return KvPropertyPage::OnSetActive();
}

bool CPPUserStudy::OnApply() {
  if (modified) {
    if (!UpdateData(true)) return false;
    UpdateStudy();
    UpdateData(false);
  }
  modified = 0;
  SetModified(false);
  return KvPropertyPage::OnApply();
}

void CPPUserStudy::mark_modified() {
  UpdateData(true);
  modified = 1;
  SetModified(true);
}

// ---- libraries and their studies ---------------------------------------------------

void CPPUserStudy::AddLibraryNames() {
  STUDY_PAGE_TRACE("CPPUserStudy::AddLibraryNames()\n");
  m_library->ResetContent();
  m_libraries.clear();
  char pattern[KV_PATH_MAX + 8];
  snprintf(pattern, sizeof pattern, "%s/*.so", g_study_lib_dir);
  int count = 0;
  char** names = nullptr;
  if (g_study_lib_dir[0] && list_files(pattern, &count, &names, LIST_FILES_NO_EXT) && names) {
    for (int i = 0; i < count; i++) {
      m_libraries.emplace_back(names[i]);
      m_library->AddString(QString::fromUtf8(names[i]));
    }
    free_tokens(names);
  }
  library_index = 0;
  m_library->InsertString(0, kNone);
  m_library->SetCurSel(0);
}

void CPPUserStudy::OnCloseupLibraryName() {
  STUDY_PAGE_TRACE("CPPUserStudy::OnCloseupLibraryName()\n");
  library_index = m_library->GetCurSel();
  if (library_index < 0) return;
  if (library_index == 0) {
    m_study->ResetContent();
    m_bound.clear();
    clearProp();
    return;
  }
  AddUserStudy();
}

int CPPUserStudy::getStudyDllFunctions() {
  STUDY_PAGE_TRACE("CPPUserStudy::getStudyDllFunctions()\n");
  if (library_index < 1 || library_index > int(m_libraries.size())) return 0;
  UpdateData(true);
  const std::string& lib = m_libraries[size_t(library_index - 1)];
  m_bound.clear();
  if (!study_lib_check_report(lib.c_str())) return 0;
  m_bound = lib;
  return 1;
}

void CPPUserStudy::AddUserStudy() {
  STUDY_PAGE_TRACE("CPPUserStudy::AddUserStudy()\n");
  if (!getStudyDllFunctions()) {
    m_study->ResetContent();
    clearProp();
    return;
  }
  int n = study_lib_count(m_bound.c_str());
  m_study->ResetContent();
  for (int i = 0; i < n; i++) {
    study_lib_info info;
    if (!study_lib_study(m_bound.c_str(), i, &info)) info.name[0] = 0;
    m_study->AddString(QString::fromUtf8(info.name));
  }
  study_index = 0;
  m_study->InsertString(0, kNone);
  m_study->SetCurSel(0);
}

void CPPUserStudy::OnCloseupStudyName() {
  STUDY_PAGE_TRACE("CPPUserStudy::OnCloseupStudyName()\n");
  study_index = m_study->GetCurSel();
  if (study_index < 0) return;
  if (study_index == 0) {
    clearProp();
    return;
  }
  AddStudyData(study_index - 1);
  setProp();
  mark_modified();
  setProp();
}

void CPPUserStudy::set_labels(const char* lib, int index) {
  study_lib_info info;
  bool ok = lib && lib[0] && study_lib_study(lib, index, &info);
  labels[0] = ok ? QString::fromUtf8(info.labels[0]) : QStringLiteral("Period");
  for (int k = 0; k < 4; k++)
    labels[k + 1] = ok ? QString::fromUtf8(info.labels[3 + k]) : QString();
}

void CPPUserStudy::AddStudyData(int i) {
  STUDY_PAGE_TRACE("CPPUserStudy::AddStudyData()\n");
  if (!new_study || m_bound.empty()) return;
  study_lib_info info;
  if (!study_lib_study(m_bound.c_str(), i, &info)) {
    clearProp();
    return;
  }
  set_labels(m_bound.c_str(), i);
  const StudyDef& d = info.defaults;
  new_study->type = d.type;
  new_study->output_count = d.output_count;
  new_study->pane_group = d.pane_group;
  new_study->param_flags = d.param_flags;
  new_study->period = d.period;
  new_study->price_type = d.price_type;
  new_study->method = d.method;
  new_study->p1 = d.p1;
  new_study->p2 = d.p2;
  new_study->p3 = d.p3;
  new_study->p4 = d.p4;
  new_study->lib_index = (int16_t)i;
  snprintf(new_study->lib_name, sizeof new_study->lib_name, "%s", m_bound.c_str());
  price_index = (new_study->param_flags & 0x200) ? new_study->price_type - 1 : -1;
  method_index = (new_study->param_flags & 0x400) ? new_study->method : -1;
  setPriceMethodButtonState();
  // Gives the record the library's function and the library the engine's
  // table.
  bind_user_study_report(new_study, 1);
  snprintf(new_study->name, sizeof new_study->name, "*%.62s", info.name);
  if (m_name->GetCount() > 0) {
    m_name->SetItemData(0, reinterpret_cast<std::uintptr_t>(new_study));
    m_name->SetCurSel(0);
  }
  selection = 0;
}

void CPPUserStudy::setPriceMethodButtonState() {
  STUDY_PAGE_TRACE("CPPUserStudy::setPriceMethodButtonState()\n");
  for (int id : kMethodIds) EnableDlgItem(id, method_index != -1);
  for (int id : kPriceIds) EnableDlgItem(id, price_index != -1);
}

void CPPUserStudy::setProp() {
  STUDY_PAGE_TRACE("CPPUserStudy::setProp()\n");
  StudyDef* s = common.getStudyPtrCB(m_name, selection);
  if (s) {
    width_text = QString::number(s->line_width);
    color = s->color;
    period = s->period;
    const double p[4] = {s->p1, s->p2, s->p3, s->p4};
    for (int k = 0; k < 4; k++) {
      char buf[64];
      values[k] = (s->param_flags & (0x10u << k))
                      ? QString::fromLatin1(
                            format_price(p[k], buf, (s->param_flags & (1u << k)) ? 0 : 2, 0))
                      : QString();
    }
  }
  UpdateData(false);
  m_sample->update();
}

void CPPUserStudy::getProp() {
  STUDY_PAGE_TRACE("CPPUserStudy::getProp()\n");
  StudyDef* s = common.getStudyPtrCB(m_name, selection);
  if (s) {
    s->line_width = CPPCommon::textToInt(width_text);
    s->color = color;
    s->period = period;
    s->price_type = price_index + 1;
    s->method = method_index;
    double* p[4] = {&s->p1, &s->p2, &s->p3, &s->p4};
    for (int k = 0; k < 4; k++) {
      QByteArray t = values[k].toLatin1();
      *p[k] = (s->param_flags & (0x10u << k)) ? parse_price_text(t.constData()) : 0.0;
    }
    s->state |= STUDY_STATE_MODIFIED;
  }
  selection = -1;
}

void CPPUserStudy::clearProp() {
  STUDY_PAGE_TRACE("CPPUserStudy::clearProp()\n");
  width_text = QStringLiteral("1");
  color = default_study_color();
  price_index = -1;
  method_index = -1;
  if (new_study) {
    new_study->price_type = 0;
    new_study->period = 0;
  }
  period = 0;
  for (int k = 0; k < 4; k++) {
    labels[k + 1].clear();
    values[k].clear();
  }
  UpdateData(false);
  m_sample->update();
}

void CPPUserStudy::createStudyList() {
  STUDY_PAGE_TRACE("CPPUserStudy::createStudyList()\n");
  delete new_study;
  new_study = common.createDefStudy(STUDY_LIBRARY, common.getDefStudyGroup(STUDY_LIBRARY));
  common.AddToCB(m_name, new_study);
  if (links.list && *links.list) common.AddToCB(m_name, *links.list, 0, STUDY_FAM_LIBRARY);
}

void CPPUserStudy::UpdateStudy() {
  STUDY_PAGE_TRACE("CPPUserStudy::UpdateStudy()\n");
  getProp();
  StudyDef* applied = common.getStudyPtrCB(m_name);
  StudyDef* created = new_study;
  int taken = common.UpdateStudy(m_name, links.chart, links.list, new_study);
  if (!taken) {
    delete new_study;
    if (applied == created) applied = nullptr;
  }
  new_study = nullptr;
  // Built again so that the combo never hands out a released record.
  createStudyList();
  if (applied && !(applied->state & STUDY_STATE_DELETED)) common.selectStudyCB(m_name, applied);
  selection = m_name->GetCurSel();
  if (links.doc) links.doc->UpdateAllViews();
}

// A study of the chart chosen in the Name combo: its library and study are
// selected and its labels shown.  A study whose library is not listed or
// cannot be used shows its stored name without labels, and no export of
// another library is called.
void CPPUserStudy::show_chart_study() {
  selection = m_name->GetCurSel();
  StudyDef* s = selection >= 0 ? common.getStudyPtrCB(m_name, selection) : nullptr;
  if (!s) {
    setProp();
    return;
  }
  price_index = (s->param_flags & 0x200) ? s->price_type - 1 : -1;
  method_index = (s->param_flags & 0x400) ? s->method : -1;
  setPriceMethodButtonState();
  if (s == new_study) {
    setProp();
    return;
  }
  int pos = -1;
  for (size_t i = 0; i < m_libraries.size(); i++)
    if (strncmp(m_libraries[i].c_str(), s->lib_name, sizeof s->lib_name) == 0) {
      pos = int(i);
      break;
    }
  m_bound.clear();
  if (pos >= 0) {
    m_library->SetCurSel(pos + 1);
    OnCloseupLibraryName();
  } else {
    m_library->SetCurSel(0);
    m_study->ResetContent();
  }
  if (!m_bound.empty() && s->lib_index + 1 < m_study->GetCount()) {
    m_study->SetCurSel(s->lib_index + 1);
    set_labels(m_bound.c_str(), s->lib_index);
  } else {
    set_labels(nullptr, 0);
    labels[0] = QString();
  }
  // OnCloseupLibraryName may have cleared the fields; the radios show the
  // study's choices again.
  price_index = (s->param_flags & 0x200) ? s->price_type - 1 : -1;
  method_index = (s->param_flags & 0x400) ? s->method : -1;
  setPriceMethodButtonState();
  setProp();
}
