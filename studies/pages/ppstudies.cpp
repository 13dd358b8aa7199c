#include "studies/pages/ppstudies.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "studies/pages/bitmapcombo.h"

namespace {
enum {
  IDC_STUDY_LIST = 1068,
  IDC_DELETE = 1085,
  IDC_HIDE = 1223,
  IDC_OVER_PRICE = 1112,
  IDC_OVER_VOLUME = 1113,
  IDC_OVER_GROUP1 = 1109,
  IDC_OVER_GROUP2 = 1110,
  IDC_OVER_GROUP3 = 1111,
  IDC_WIDTH = 1217,
  IDC_SAMPLE = 1078,
  IDC_COLOR = 1022,
  IDC_STYLE = 1026,
};

}  // namespace

CPPStudies::CPPStudies()
    : KvPropertyPage(219, QStringLiteral("Selected Studies")), color(default_study_color()) {
  auto* top = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  m_list = AddControl(IDC_STUDY_LIST, new KvListBox);
  m_list->setMinimumWidth(260);
  left->addWidget(m_list, 1);
  auto* buttons = new QHBoxLayout;
  auto* del = AddControl(IDC_DELETE, new QPushButton(QStringLiteral("Delete")));
  del->setIcon(QIcon::fromTheme(QStringLiteral("edit-delete")));
  buttons->addWidget(del);
  buttons->addWidget(AddControl(IDC_HIDE, new QPushButton(QStringLiteral("Hide Study"))));
  buttons->addStretch(1);
  left->addLayout(buttons);
  top->addLayout(left, 1);

  auto* right = new QVBoxLayout;
  auto* over = new QGroupBox(QStringLiteral("Overlay With"));
  auto* ol = new QVBoxLayout(over);
  const struct {
    int id;
    const char* text;
  } radios[] = {{IDC_OVER_PRICE, "Price"},
                {IDC_OVER_VOLUME, "Volume"},
                {IDC_OVER_GROUP1, "Study Group 1"},
                {IDC_OVER_GROUP2, "Study Group 2"},
                {IDC_OVER_GROUP3, "Study Group 3"}};
  for (auto& r : radios)
    ol->addWidget(AddControl(r.id, new QRadioButton(QString::fromLatin1(r.text))));
  AddRadioGroup(
      {IDC_OVER_PRICE, IDC_OVER_VOLUME, IDC_OVER_GROUP1, IDC_OVER_GROUP2, IDC_OVER_GROUP3});
  right->addWidget(over);

  line_attr_box line = make_line_attr_box(this, &color);
  QGroupBox* attrs = line.box;
  QFormLayout* form = line.form;
  m_sample = line.sample;
  m_style = AddControl(IDC_STYLE, new CBitmapComboBox);
  form->addRow(QStringLiteral("Style:"), m_style);
  right->addWidget(attrs);
  right->addStretch(1);
  top->addLayout(right);

  connect(m_list, &QListWidget::currentRowChanged, this, [this] {
    if (!m_filling) show_selection();
  });
  MapCommand(IDC_DELETE, [this] { on_delete(); });
  MapCommand(IDC_HIDE, [this] { on_hide(); });
  MapCommand(IDC_COLOR, [this] { on_color(); });
  connect(m_style, &KvComboBox::closedUp, this, [this] { on_style_changed(); });
  connect(line.width, &QLineEdit::textEdited, this, [this] { on_width_changed(); });
}

CPPStudies::~CPPStudies() {
  for (QObject* c : findChildren<QObject*>()) QObject::disconnect(c, nullptr, this, nullptr);
}

void CPPStudies::DoDataExchange(KvDataExchange& dx) {
  DDX_Radio(dx, IDC_OVER_PRICE, overlay);
  DDX_CBIndex(dx, IDC_STYLE, style);
  DDX_Text(dx, IDC_WIDTH, width_text);
}

bool CPPStudies::OnInitDialog() {
  m_style->LoadLineStyles(m_bitmaps);
  fill_list();
  show_selection();
  UpdateData(false);
  return true;
}

bool CPPStudies::OnSetActive() {
  fill_list();
  show_selection();
  UpdateData(false);
  modified = 0;
  SetModified(false);
  return KvPropertyPage::OnSetActive();
}

bool CPPStudies::OnApply() {
  if (modified) {
    if (!UpdateData(true)) return false;
    read_selected();
    common.UpdateStudies(links.chart, links.list, links.dropped);
    if (links.doc) links.doc->UpdateAllViews();
    fill_list();
    show_selection();
    UpdateData(false);
  }
  modified = 0;
  SetModified(false);
  return KvPropertyPage::OnApply();
}

void CPPStudies::fill_list() {
  if (!links.chart || !links.list) return;
  bool any;
  uint32_t flags;
  {
    kv_lock guard(g_chart_lock);
    any = links.chart->studies != nullptr;
    flags = links.chart->header.flags;
  }
  if (any) {
    m_filling = true;
    common.AddToLB(m_list, *links.list, 1);
    m_filling = false;
  }
  EnableDlgItem(IDC_DELETE, !(flags & CHART_SYSTEM_RUNNING));
}

void CPPStudies::set_hide_text(const StudyDef* s) {
  SetDlgItemText(IDC_HIDE, (s->state & STUDY_STATE_HIDDEN) ? QStringLiteral("Show Study")
                                                           : QStringLiteral("Hide Study"));
}

int CPPStudies::overlay_index(int type, uint32_t pane_group) {
  switch (type) {
    case STUDY_SMA:
    case STUDY_EMA:
    case STUDY_WMA:
    case STUDY_TMA:
    case STUDY_VMA:
    case STUDY_STDDEV:
    case STUDY_BB_UPPER:
    case STUDY_BB_MID:
    case STUDY_BB_LOWER:
    case STUDY_BB_PERCENT:
    case STUDY_BB_WIDTH:
      return 0;
    case STUDY_OBV:
    case STUDY_PVT:
    case STUDY_REL_VOLUME:
    case STUDY_AVG_VOLUME:
    case STUDY_INTRADAY_REL_VOLUME:
    case STUDY_INTRADAY_ACC_VOLUME:
    case STUDY_EXTERNAL_A:
    case STUDY_EXTERNAL_B:
    case STUDY_NET_VOLUME:
    case STUDY_AVG_NET_VOLUME:
    case STUDY_NET_VOLUME_RATIO:
      return 1;
    case STUDY_MACD:
    case STUDY_MACD_SIGNAL:
    case STUDY_VHF:
    case STUDY_TRADE_SIGNALS:
      return 2;
    case STUDY_STOCH_K:
    case STUDY_STOCH_D:
    case STUDY_RSI:
    case STUDY_CCI:
      return 3;
    case STUDY_AD_LINE:
    case STUDY_CHAIKIN:
      return 4;
    default:
      break;
  }
  if ((type >= STUDY_PREV_CLOSE && type <= STUDY_DAY_OPEN) ||
      (type >= STUDY_PIVOT && type <= STUDY_DAY_VWAP))
    return 0;
  if (type & STUDY_NUMBER_MASK) {
    switch (pane_group) {
      case 1:
        return 0;
      case 2:
        return 1;
      case 4:
        return 2;
      case 8:
        return 3;
      case 16:
        return 4;
      default:
        break;
    }
  }
  return 0;
}

void CPPStudies::show_selection() {
  selection = m_list->GetCurSel();
  current = nullptr;
  if (selection < 0) return;
  StudyDef* s = common.getStudyPtrLB(m_list);
  if (!s) return;
  set_hide_text(s);
  current = s;
  style = s->line_style;
  width_text = QString::number(s->line_width);
  color = s->color;
  // The Overlay With radios show where the study is drawn; a change of
  // them is not stored.
  overlay = overlay_index(s->type, s->pane_group);
  UpdateData(false);
  m_sample->update();
}

void CPPStudies::read_selected() {
  if (m_list->GetCount() == 0) return;
  selection = -1;
  StudyDef* s = common.getStudyPtrLB(m_list);
  if (!s) return;
  int width = CPPCommon::normaliseWidth(style, CPPCommon::textToInt(width_text));
  width_text = QString::number(width);
  s->line_style = style;
  s->line_width = width;
  s->color = color;
  s->state |= STUDY_STATE_MODIFIED;
}

void CPPStudies::mark_modified() {
  UpdateData(true);
  modified = 1;
  SetModified(true);
}

void CPPStudies::on_delete() {
  int count = m_list->GetCount();
  if (count == 0) {
    color = default_study_color();
    return;
  }
  int sel = m_list->GetCurSel();
  StudyDef* s = common.getStudyPtrLB(m_list);
  if (sel < 0 || !s) return;
  if (s->attached_order) {
    kv_message_box("Can't delete study attached to an order\n", "Korvane", MB_OK);
    return;
  }
  m_filling = true;
  m_list->DeleteString(sel);
  m_filling = false;
  for (StudyDef* r = links.list ? *links.list : nullptr; r; r = r->next)
    if (r == s) r->state |= STUDY_STATE_DELETED;
  mark_modified();
  if (count >= 2) {
    m_list->SetCurSel(sel > 0 ? sel - 1 : 0);
    show_selection();
  } else {
    selection = -1;
    current = nullptr;
  }
}

void CPPStudies::on_hide() {
  UpdateData(true);
  int sel = m_list->GetCurSel();
  StudyDef* s = common.getStudyPtrLB(m_list);
  if (sel < 0 || !s) return;
  modified = 1;
  SetModified(true);
  if (s->attached_order && !(s->state & STUDY_STATE_HIDDEN)) {
    kv_message_box("Can't hide study attached to an order\n", "Korvane", MB_OK);
    return;
  }
  s->state ^= STUDY_STATE_HIDDEN;
  s->state |= STUDY_STATE_MODIFIED;
  m_filling = true;
  m_list->DeleteString(sel);
  m_list->InsertString(sel, CPPCommon::makeHiddenName(s, CPPCommon::makeName(s)));
  m_list->SetItemData(sel, reinterpret_cast<std::uintptr_t>(s));
  m_list->SetCurSel(sel);
  m_filling = false;
  set_hide_text(s);
}

void CPPStudies::on_color() {
  mark_modified();
  if (m_list->GetCurSel() >= 0) color = common.getColorLB(m_list, color, this);
  m_sample->update();
}

void CPPStudies::on_style_changed() {
  mark_modified();
  width_text = QString::number(CPPCommon::normaliseWidth(style, CPPCommon::textToInt(width_text)));
  UpdateData(false);
}

void CPPStudies::on_width_changed() {
  mark_modified();
  // An emptied field is a width still being typed; the apply reads it.
  if (width_text.trimmed().isEmpty()) return;
  int width = CPPCommon::textToInt(width_text);
  CPPCommon::styleForWidth(&style, &width);
  width_text = QString::number(width);
  UpdateData(false);
}
