#include "studies/pages/ppfamily.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdlib>

#include "platform/qt/controls.h"
#include "studies/pages/bitmapcombo.h"

namespace {
enum {
  IDC_NAME = 1024,
  IDC_WIDTH = 1217,
  IDC_SAMPLE = 1078,
  IDC_COLOR = 1022,
  IDC_PRICE_FIRST = 1017,
  IDC_METHOD_FIRST = 1023,
};

const struct {
  int id;
  const char* text;
} kPriceRadios[] = {{1017, "Open"},    {1019, "High"},    {1020, "Low"},        {1018, "Close"},
                    {1021, "Mid Pt."}, {1096, "Typical"}, {1097, "Wgt. Close"}, {1606, "VWap"}};

const struct {
  int id;
  const char* text;
} kMethodRadios[] = {{1023, "Simple"},
                     {1025, "Exponential"},
                     {1027, "Weighted"},
                     {1028, "Triangular"},
                     {1029, "Variable"}};

QString int_text(int v) {
  return QString::number(v);
}
// "%d" of a parameter's integer part.
QString int_part_text(double v) {
  return QString::number(std::isfinite(v) ? (long long)v : 0);
}
double text_to_double(const QString& t) {
  double v = 0;
  return kv_parse_double(t, &v) ? v : 0.0;
}
}  // namespace

CPPFamilyPage::CPPFamilyPage(unsigned id, const char* title, int family, int new_type,
                             std::vector<family_type_radio> types, const char* type_group,
                             bool price, PaneRule rule)
    : KvPropertyPage(id, QString::fromLatin1(title)),
      color(default_study_color()),
      m_types(std::move(types)),
      m_family(family),
      m_new_type(new_type),
      m_price(price),
      m_rule(rule) {
  auto* top = new QVBoxLayout(this);
  auto* name_row = new QFormLayout;
  m_name = AddControl(IDC_NAME, new KvComboBox(true));
  m_name->setMinimumWidth(300);
  name_row->addRow(QStringLiteral("Name:"), m_name);
  top->addLayout(name_row);

  auto* middle = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  if (m_types.size() > 1) {
    // Pages whose types come in two named groups give "|" in type_group.
    QString groups = QString::fromLatin1(type_group);
    QStringList names = groups.split(QLatin1Char('|'));
    std::vector<int> ids;
    QGroupBox* box = nullptr;
    QVBoxLayout* bl = nullptr;
    size_t group = 0;
    for (size_t i = 0; i < m_types.size(); i++) {
      if (!box || (m_types[i].type == STUDY_PIVOT && group + 1 < size_t(names.size()))) {
        if (box) group++;
        box = new QGroupBox(names[int(group)]);
        bl = new QVBoxLayout(box);
        left->addWidget(box);
      }
      auto* rb = AddControl(m_types[i].id, new QRadioButton(QString::fromLatin1(m_types[i].text)));
      bl->addWidget(rb);
      ids.push_back(m_types[i].id);
      int index = int(i);
      connect(rb, &QAbstractButton::clicked, this, [this, index] { on_type_clicked(index); });
    }
    AddRadioGroup(ids);
  }
  m_fields_box = new QGroupBox(QStringLiteral("Parameters"));
  m_fields = new QFormLayout(m_fields_box);
  left->addWidget(m_fields_box);
  m_extra = new QVBoxLayout;
  left->addLayout(m_extra);
  left->addStretch(1);
  middle->addLayout(left, 1);

  auto* right = new QVBoxLayout;
  if (m_price) {
    auto* box = new QGroupBox(QStringLiteral("Price"));
    auto* bl = new QVBoxLayout(box);
    std::vector<int> ids;
    for (auto& r : kPriceRadios) {
      auto* rb = AddControl(r.id, new QRadioButton(QString::fromLatin1(r.text)));
      bl->addWidget(rb);
      ids.push_back(r.id);
      connect(rb, &QAbstractButton::clicked, this, [this] { mark_modified(); });
    }
    AddRadioGroup(ids);
    right->addWidget(box);
  }
  line_attr_box line = make_line_attr_box(this, &color);
  m_sample = line.sample;
  connect(line.width, &QLineEdit::textEdited, this, [this] { mark_modified(); });
  right->addWidget(line.box);
  right->addStretch(1);
  middle->addLayout(right);
  top->addLayout(middle, 1);

  MapCommand(IDC_COLOR, [this] { on_color(); });
  connect(m_name, &KvComboBox::closedUp, this, [this] {
    UpdateData(true);
    selection = m_name->GetCurSel();
    show_record();
  });
  connect(m_name->lineEdit(), &QLineEdit::textEdited, this, [this] { mark_modified(); });
}

CPPFamilyPage::~CPPFamilyPage() {
  // Closing combos signal while Qt takes the children down: nothing of
  // the page may answer then.
  for (QObject* c : findChildren<QObject*>()) QObject::disconnect(c, nullptr, this, nullptr);
  delete new_study;
}

QLineEdit* CPPFamilyPage::add_edit(int id, const char* label) {
  auto* e = AddControl(id, new QLineEdit);
  e->setMaximumWidth(90);
  m_fields->addRow(QString::fromLatin1(label), e);
  m_edits.push_back(id);
  connect(e, &QLineEdit::textEdited, this, [this] { mark_modified(); });
  return e;
}

void CPPFamilyPage::add_method_radios(const char* group, int count) {
  auto* box = new QGroupBox(QString::fromLatin1(group));
  auto* bl = new QVBoxLayout(box);
  std::vector<int> ids;
  for (int i = 0; i < count; i++) {
    auto* rb = AddControl(kMethodRadios[i].id,
                          new QRadioButton(QString::fromLatin1(kMethodRadios[i].text)));
    bl->addWidget(rb);
    ids.push_back(kMethodRadios[i].id);
    connect(rb, &QAbstractButton::clicked, this, [this] { mark_modified(); });
  }
  AddRadioGroup(ids);
  m_extra->addWidget(box);
  m_has_method = true;
}

void CPPFamilyPage::DoDataExchange(KvDataExchange& dx) {
  if (m_types.size() > 1) DDX_Radio(dx, m_types[0].id, type_index);
  if (m_price) DDX_Radio(dx, IDC_PRICE_FIRST, price_index);
  if (m_has_method) DDX_Radio(dx, IDC_METHOD_FIRST, method_index);
  for (int id : m_edits) DDX_Text(dx, id, m_text[id]);
  DDX_Text(dx, IDC_WIDTH, width_text);
  exchange_fields(dx);
}

int CPPFamilyPage::new_study_type() const {
  return m_new_type;
}

bool CPPFamilyPage::OnInitDialog() {
  if (m_traces & 1) STUDY_PAGE_TRACE("%s::OnInitDialog()\n", m_class);
  m_fields_box->setVisible(!m_edits.empty());
  if (m_new_type == 0) {
    // The page's type choice decides the new study: the menu command's
    // type, or the first.
    type_index = 0;
    for (size_t i = 0; i < m_types.size(); i++)
      if (preselect_type && m_types[i].type == preselect_type) type_index = int(i);
  }
  bool r = KvPropertyPage::OnInitDialog();
  pending_apply = 1;
  return r;
}

void CPPFamilyPage::create_study_list() {
  STUDY_PAGE_TRACE("%s::createStudyList()\n", m_class);
  delete new_study;
  int type = new_study_type();
  new_study = common.createDefStudy(type, common.getDefStudyGroup(type));
  common.AddToCB(m_name, new_study);
  if (links.list && *links.list) common.AddToCB(m_name, *links.list, 0, m_family);
}

bool CPPFamilyPage::OnSetActive() {
  create_study_list();
  selection = m_name->GetCurSel();
  show_record();
  SetModified(true);
  return KvPropertyPage::OnSetActive();
}

void CPPFamilyPage::show_record() {
  if (m_traces & (2 | 8)) STUDY_PAGE_TRACE("%s::setProp()\n", m_class);
  StudyDef* s = common.getStudyPtrCB(m_name, selection);
  if (s) {
    type_index = 0;
    for (size_t i = 0; i < m_types.size(); i++)
      if (m_types[i].type == s->type) type_index = int(i);
    if (m_price) price_index = s->price_type - 1;
    color = s->color;
    width_text = int_text(s->line_width);
    show_fields(s);
    if (m_rule == PANE_ON_SHOW) s->pane_group = (uint32_t)common.getDefStudyGroup(s->type);
  }
  UpdateData(false);
  m_sample->update();
}

void CPPFamilyPage::read_record() {
  if (m_traces & 4) STUDY_PAGE_TRACE("%s::getProp()\n", m_class);
  if (m_traces & 8) STUDY_PAGE_TRACE("%s::setProp()\n", m_class);
  StudyDef* s = common.getStudyPtrCB(m_name, selection);
  if (!s) return;
  if (!m_types.empty()) {
    int i = type_index >= 0 && type_index < int(m_types.size()) ? type_index : 0;
    s->type = m_types[size_t(i)].type;
  }
  s->line_width = CPPCommon::textToInt(width_text);
  s->color = color;
  if (m_price) s->price_type = price_index + 1;
  read_fields(s);
  if (m_rule == PANE_ON_READ) s->pane_group = (uint32_t)common.getDefStudyGroup(s->type);
  s->state |= STUDY_STATE_MODIFIED;
}

void CPPFamilyPage::mark_modified() {
  UpdateData(true);
  modified = 1;
  SetModified(true);
}

void CPPFamilyPage::apply_page() {
  STUDY_PAGE_TRACE("%s::UpdateStudy()\n", m_class);
  read_record();
  if (new_study) after_read(new_study);
  StudyDef* applied = common.getStudyPtrCB(m_name);
  StudyDef* created = new_study;
  int taken = common.UpdateStudy(m_name, links.chart, links.list, new_study);
  if (!taken) {
    delete new_study;
    if (applied == created) applied = nullptr;
  }
  new_study = nullptr;
  // The combo must not hand out a released record: build the list again,
  // showing the study just applied.
  create_study_list();
  if (applied && !(applied->state & STUDY_STATE_DELETED)) common.selectStudyCB(m_name, applied);
  selection = m_name->GetCurSel();
  show_record();
  if (links.doc) links.doc->UpdateAllViews();
}

bool CPPFamilyPage::OnApply() {
  if (modified || pending_apply) {
    if (!UpdateData(true)) return false;
    apply_page();
    UpdateData(false);
  }
  pending_apply = 0;
  modified = 0;
  SetModified(false);
  return KvPropertyPage::OnApply();
}

void CPPFamilyPage::on_type_clicked(int index) {
  mark_modified();
  if (!m_types[size_t(index)].redefault) return;
  int type = m_types[size_t(index)].type;
  common.initDefStudy(m_name, type, redefault_group(type));
  show_record();
}

void CPPFamilyPage::on_color() {
  mark_modified();
  color = common.getColorCB(m_name, color, selection, this);
  m_sample->update();
}

// ---- the pages ---------------------------------------------------------------------

CPPMovAvg::CPPMovAvg()
    : CPPFamilyPage(145, "Moving Average", STUDY_FAM_AVERAGE, STUDY_SMA,
                    {{1023, "Simple", STUDY_SMA, false},
                     {1025, "Exponential", STUDY_EMA, false},
                     {1027, "Weighted", STUDY_WMA, false},
                     {1028, "Triangular", STUDY_TMA, false},
                     {1029, "Variable", STUDY_VMA, false},
                     {1538, "Std. Dev", STUDY_STDDEV, false}},
                    "Method", true, PANE_ON_SHOW) {
  m_class = "CPPMovAvg";
  m_traces = 1 | 2 | 4;
  add_edit(1015, "Time Period:");
  add_edit(1016, "Offset from MA:");
}

void CPPMovAvg::show_fields(StudyDef* s) {
  set_text(1015, int_text(s->period));
  set_text(1016, QString::asprintf("%.2f", s->p2));
}

void CPPMovAvg::read_fields(StudyDef* s) {
  s->period = CPPCommon::textToInt(text(1015));
  s->p2 = text_to_double(text(1016));
}

// A new standard-deviation average goes to the oscillator pane.
void CPPMovAvg::after_read(StudyDef* s) {
  if (s->type == STUDY_STDDEV) s->pane_group = (uint32_t)common.getDefStudyGroup(STUDY_STDDEV);
}

CPPBolBand::CPPBolBand()
    : CPPFamilyPage(138, "Bollinger Band", STUDY_FAM_BOLLINGER, STUDY_BB_UPPER,
                    {{1080, "Upper", STUDY_BB_UPPER, true},
                     {1081, "Lower", STUDY_BB_LOWER, true},
                     {1108, "MidLine", STUDY_BB_MID, true},
                     {1218, "% B", STUDY_BB_PERCENT, true},
                     {1219, "Bandwidth", STUDY_BB_WIDTH, true}},
                    "Study Type", true, PANE_ON_READ) {
  m_class = "CPPBolBand";
  m_traces = 0;
  add_edit(1015, "Time Period:");
  add_edit(1016, "No.of Std. Deviations:");
  add_edit(1757, "% B Avg Period:");
}

void CPPBolBand::show_fields(StudyDef* s) {
  set_text(1015, int_text(s->period));
  set_text(1016, QString::asprintf("%.2f", s->p2));
  set_text(1757, int_part_text(s->p1));
}

void CPPBolBand::read_fields(StudyDef* s) {
  s->period = CPPCommon::textToInt(text(1015));
  s->p2 = text_to_double(text(1016));
  // The average period takes C's prefixes: 0x hexadecimal, 0 octal.
  QByteArray p1 = text(1757).toLatin1();
  s->p1 = (double)strtol(p1.constData(), nullptr, 0);
}

CPPMACD::CPPMACD()
    : CPPFamilyPage(
          144, "MACD", STUDY_FAM_MACD, STUDY_MACD,
          {{1114, "Histogram", STUDY_MACD, true}, {1115, "Signal Line", STUDY_MACD_SIGNAL, true}},
          "Study Type", true, PANE_ON_SHOW) {
  m_class = "CPPMACD";
  m_traces = 1;
  add_edit(1098, "Short Period:");
  add_edit(1099, "Long Period:");
  add_edit(1100, "Signal Line Avg. Period:");
}

int CPPMACD::redefault_group(int) const {
  return common.getDefStudyGroup(STUDY_MACD);
}

void CPPMACD::show_fields(StudyDef* s) {
  set_text(1098, int_text(s->period));
  set_text(1099, int_part_text(s->p2));
  if (s->type == STUDY_MACD_SIGNAL) set_text(1100, int_part_text(s->p3));
}

void CPPMACD::read_fields(StudyDef* s) {
  s->period = CPPCommon::textToInt(text(1098));
  s->p2 = text_to_double(text(1099));
  if (s->type == STUDY_MACD_SIGNAL) s->p3 = text_to_double(text(1100));
}

CPPStochastic::CPPStochastic()
    : CPPFamilyPage(146, "Stochastic", STUDY_FAM_STOCHASTIC, STUDY_STOCH_K,
                    {{1106, "%K", STUDY_STOCH_K, true}, {1107, "%D", STUDY_STOCH_D, true}},
                    "Study Type", true, PANE_ON_SHOW) {
  m_class = "CPPStochastic";
  m_traces = 0;
  add_edit(1101, "Period:");
  add_edit(1093, "Slowing Period:");
  add_edit(1095, "%D Avg. Period:");
  add_method_radios("%D Values", 4);
}

void CPPStochastic::show_fields(StudyDef* s) {
  set_text(1101, int_text(s->period));
  set_text(1093, int_part_text(s->p1));
  if (s->type == STUDY_STOCH_D) {
    set_text(1095, int_part_text(s->p2));
    method_index = s->method;
  }
}

void CPPStochastic::read_fields(StudyDef* s) {
  s->period = CPPCommon::textToInt(text(1101));
  s->p1 = text_to_double(text(1093));
  if (s->type == STUDY_STOCH_D) {
    s->p2 = text_to_double(text(1095));
    s->method = method_index;
  }
}

CPPRSI::CPPRSI()
    : CPPFamilyPage(151, "RSI", STUDY_FAM_RSI, STUDY_RSI, {{0, "", STUDY_RSI, false}}, "", true,
                    PANE_ON_SHOW) {
  m_class = "CPPRSI";
  m_traces = 0;
  add_edit(1015, "Time Period:");
}

// The period and the width are whole numbers; the width 1 to 10.
void CPPRSI::exchange_fields(KvDataExchange& dx) {
  if (!dx.save()) {
    period = CPPCommon::textToInt(text(1015));
    width = CPPCommon::textToInt(width_text);
  }
  DDX_Text(dx, 1015, period);
  DDX_Text(dx, 1217, width);
  DDV_MinMaxInt(dx, width, 1, 10);
  if (dx.save() && !dx.failed()) {
    set_text(1015, int_text(period));
    width_text = int_text(width);
  }
}

void CPPRSI::show_fields(StudyDef* s) {
  set_text(1015, int_text(s->period));
}

void CPPRSI::read_fields(StudyDef* s) {
  s->period = CPPCommon::textToInt(text(1015));
}

CPPCCI::CPPCCI()
    : CPPFamilyPage(231, "CCI", STUDY_FAM_CCI, STUDY_CCI, {{0, "", STUDY_CCI, false}}, "", true,
                    PANE_ON_SHOW) {
  m_class = "CPPCCI";
  m_traces = 0;
  add_edit(1015, "Time Period:");
}

void CPPCCI::show_fields(StudyDef* s) {
  set_text(1015, int_text(s->period));
}

void CPPCCI::read_fields(StudyDef* s) {
  s->period = CPPCommon::textToInt(text(1015));
}

CPPVHF::CPPVHF()
    : CPPFamilyPage(181, "VHF", STUDY_FAM_VHF, STUDY_VHF, {{0, "", STUDY_VHF, false}}, "", true,
                    PANE_ON_READ) {
  m_class = "CPPVHF";
  m_traces = 1 | 8;
  add_edit(1015, "Time Period:");
}

void CPPVHF::show_fields(StudyDef* s) {
  set_text(1015, int_text(s->period));
}

void CPPVHF::read_fields(StudyDef* s) {
  s->period = CPPCommon::textToInt(text(1015));
}

CPPVolume::CPPVolume()
    : CPPFamilyPage(182, "Volume", STUDY_FAM_VOLUME, 0,
                    {{1116, "On Balance Volume", STUDY_OBV, true},
                     {1117, "Price Volume Trend", STUDY_PVT, true},
                     {1225, "Avg Volume", STUDY_AVG_VOLUME, true},
                     {1475, "Net Volume", STUDY_NET_VOLUME, true},
                     {1477, "Avg Net Volume", STUDY_AVG_NET_VOLUME, true},
                     {1220, "Relative Volume (%)", STUDY_REL_VOLUME, true},
                     {1221, "Intraday Relative Volume (%)", STUDY_INTRADAY_REL_VOLUME, true},
                     {1222, "Intraday Accum. Volume (%)", STUDY_INTRADAY_ACC_VOLUME, true},
                     {1476, "Net Volume Ratio", STUDY_NET_VOLUME_RATIO, true}},
                    "Study Type", false, PANE_ON_READ) {
  m_class = "CPPVolume";
  m_traces = 1 | 8;
  add_edit(1226, "Period:");
  add_edit(1035, "Slowing Period:");
  add_method_radios("Avg Method", 4);
}

int CPPVolume::new_study_type() const {
  return m_types[size_t(type_index >= 0 && type_index < int(m_types.size()) ? type_index : 0)].type;
}

void CPPVolume::show_fields(StudyDef* s) {
  switch (s->type) {
    case STUDY_AVG_VOLUME:
    case STUDY_REL_VOLUME:
    case STUDY_INTRADAY_REL_VOLUME:
    case STUDY_INTRADAY_ACC_VOLUME:
      set_text(1035, int_part_text(s->p1));
      set_text(1226, int_text(s->period));
      method_index = s->method;
      break;
    case STUDY_NET_VOLUME:
      set_text(1226, QString());
      set_text(1035, QString());
      method_index = 0;
      break;
    default:
      set_text(1226, int_text(s->period));
      method_index = s->method;
      break;
  }
}

void CPPVolume::read_fields(StudyDef* s) {
  switch (s->type) {
    case STUDY_AVG_VOLUME:
    case STUDY_REL_VOLUME:
    case STUDY_INTRADAY_REL_VOLUME:
    case STUDY_INTRADAY_ACC_VOLUME:
      s->method = method_index;
      s->p1 = text_to_double(text(1035));
      s->period = CPPCommon::textToInt(text(1226));
      break;
    case STUDY_NET_VOLUME:
      s->p1 = 0;
      s->p2 = 0;
      s->period = 0;
      break;
    default:
      s->p1 = text_to_double(text(1035));
      s->period = CPPCommon::textToInt(text(1226));
      break;
  }
}

CPPIndicators::CPPIndicators()
    : CPPFamilyPage(170, "Indicators", STUDY_FAM_DAILY, 0,
                    {{1210, "Previous Day Close ", STUDY_PREV_CLOSE, true},
                     {1592, "Previous Day High", STUDY_PREV_HIGH, false},
                     {1593, "Previous Day Low", STUDY_PREV_LOW, false},
                     {1214, "Day's Midpoint", STUDY_DAY_MID, true},
                     {1215, "Day's Open", STUDY_DAY_OPEN, true},
                     {1211, "Day's High", STUDY_DAY_HIGH, true},
                     {1212, "Day's Low", STUDY_DAY_LOW, true},
                     {1665, "Day's VWAP", STUDY_DAY_VWAP, false},
                     {1579, "Central Pivot Pt", STUDY_PIVOT, true},
                     {1580, "Support 1", STUDY_SUPPORT1, true},
                     {1581, "Support 2", STUDY_SUPPORT2, true},
                     {1582, "Resistance 1", STUDY_RESIST1, true},
                     {1583, "Resistance 2", STUDY_RESIST2, true}},
                    "Price Points|Floor Trader Pivots", false, PANE_ON_READ) {
  m_class = "CPPIndicators";
  m_traces = 0;
  auto* box = new QGroupBox(QStringLiteral("Line Style"));
  auto* bl = new QVBoxLayout(box);
  m_style = AddControl(1026, new CBitmapComboBox);
  bl->addWidget(m_style);
  extra()->addWidget(box);
  connect(m_style, &KvComboBox::closedUp, this, [this] {
    mark_modified();
    width_text = int_text(CPPCommon::normaliseWidth(style, CPPCommon::textToInt(width_text)));
    UpdateData(false);
  });
  // Typing a width chooses the style that suits it.
  connect(Item<QLineEdit>(1217), &QLineEdit::textEdited, this, [this] {
    if (width_text.trimmed().isEmpty()) return;  // still being typed
    int w = CPPCommon::textToInt(width_text);
    CPPCommon::styleForWidth(&style, &w);
    width_text = int_text(w);
    UpdateData(false);
  });
}

bool CPPIndicators::OnInitDialog() {
  m_style->LoadLineStyles(m_bitmaps);
  return CPPFamilyPage::OnInitDialog();
}

int CPPIndicators::new_study_type() const {
  return m_types[size_t(type_index >= 0 && type_index < int(m_types.size()) ? type_index : 0)].type;
}

void CPPIndicators::exchange_fields(KvDataExchange& dx) {
  DDX_CBIndex(dx, 1026, style);
}

void CPPIndicators::show_fields(StudyDef* s) {
  style = s->line_style;
}

void CPPIndicators::read_fields(StudyDef* s) {
  int w = CPPCommon::normaliseWidth(style, s->line_width);
  width_text = int_text(w);
  s->line_width = w;
  s->line_style = style;
}

CPPOther::CPPOther()
    : CPPFamilyPage(147, "Other", STUDY_FAM_OTHER, 0,
                    {{1123, "Accum. Distrib. Line", STUDY_AD_LINE, true},
                     {1124, "Chaikin Oscillator", STUDY_CHAIKIN, true}},
                    "Study Type", false, PANE_ON_SHOW) {
  m_class = "CPPOther";
  m_traces = 0;
}

int CPPOther::new_study_type() const {
  return m_types[size_t(type_index >= 0 && type_index < int(m_types.size()) ? type_index : 0)].type;
}
