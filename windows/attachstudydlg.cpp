#include "windows/attachstudydlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "broker/orders.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/services.h"
#include "studies/study.h"

CAttachStudyDlg::CAttachStudyDlg(chart_rec* chart, order_rec* order, QWidget* parent)
    : KvDialog(IDD_ATTACH_STUDY, parent), m_chart(chart) {
  setWindowTitle(QStringLiteral("Attach Order to Study"));
  {
    kv_lock guard(g_chart_lock);
    m_serial = order ? order->serial : 0;
    m_order_id = order ? order->relay.order_id : 0;
  }
  m_studies = AddControl(IDC_AT_STUDIES, new KvComboBox(false, this));
  m_studies->setMinimumContentsLength(24);
  auto* offset = AddControl(IDC_AT_OFFSET, new QLineEdit(this));
  auto* increment = AddControl(IDC_AT_INCREMENT, new QLineEdit(this));
  auto* up = AddControl(IDC_AT_UP, new QRadioButton(QStringLiteral("Up"), this));
  auto* down = AddControl(IDC_AT_DOWN, new QRadioButton(QStringLiteral("Down"), this));
  AddRadioGroup({IDC_AT_UP, IDC_AT_DOWN});
  auto* status = AddControl(IDC_AT_STATUS, new QLabel(this));
  auto* attach =
      AddControl(IDC_AT_ATTACH, new QPushButton(QIcon::fromTheme(QStringLiteral("insert-link")),
                                                QStringLiteral("Attach"), this));
  attach->setAutoDefault(false);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Studies"), m_studies);
  form->addRow(QStringLiteral("Offset (ticks)"), offset);
  form->addRow(QStringLiteral("Tick increment"), increment);
  auto* rounding = new QGroupBox(QStringLiteral("Rounding"), this);
  auto* rl = new QHBoxLayout(rounding);
  rl->addWidget(up);
  rl->addWidget(down);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(attach, QDialogButtonBox::ActionRole);
  AddControl(IDCANCEL, buttons->addButton(QDialogButtonBox::Cancel));
  auto* top = new QVBoxLayout(this);
  top->addLayout(form);
  top->addWidget(rounding);
  top->addWidget(status);
  top->addWidget(buttons);
  connect(m_studies, &KvComboBox::closedUp, this, [this] { OnStudyChosen(); });
  MapCommand(IDC_AT_ATTACH, [this] { OnAttachDetach(); });
}

void CAttachStudyDlg::DoDataExchange(KvDataExchange& dx) {
  DDX_Text(dx, IDC_AT_OFFSET, m_offset);
  DDX_Text(dx, IDC_AT_INCREMENT, m_increment);
  DDX_Radio(dx, IDC_AT_UP, m_round);
  DDX_Text(dx, IDC_AT_STATUS, m_status);
}

bool CAttachStudyDlg::OnInitDialog() {
  m_round = 1;
  m_offset = QStringLiteral("0");
  m_increment = QStringLiteral("1");
  m_status = QStringLiteral("Attached Study: None");
  QString button = QStringLiteral("Attach");
  {
    kv_lock guard(g_chart_lock);
    m_common.AddToCBAS(m_studies, m_chart ? m_chart->studies : nullptr);
    m_study = nullptr;
    if (m_chart && m_order_id)
      for (StudyDef* s = m_chart->studies; s; s = s->next)
        if (s->attached_order == m_order_id) {
          m_study = s;
          break;
        }
    if (m_study) {
      QString name = CPPCommon::makeName(m_study);
      // The list leaves out studies that carry an order: this one is
      // shown as the chosen entry.
      int i = m_studies->InsertString(0, name);
      m_studies->SetItemData(i, reinterpret_cast<std::uintptr_t>(m_study));
      m_studies->SetCurSel(i);
      uint32_t w = m_study->attach_word;
      m_round = (int)(w & 1);
      m_increment = QString::number((w >> 1) & 0x7F);
      m_offset = QString::number((int)(int8_t)((w >> 8) & 0xFF));
      m_status = QStringLiteral("Attached Study: ") + name;
      button = QStringLiteral("Detach");
    }
  }
  SetDlgItemText(IDC_AT_ATTACH, button);
  UpdateData(false);
  return true;
}

void CAttachStudyDlg::OnStudyChosen() {
  m_study = m_common.getStudyPtrCB(m_studies);
}

void CAttachStudyDlg::OnAttachDetach() {
  if (!m_study) OnStudyChosen();
  if (!m_study) return;
  if (!UpdateData(true)) return;
  // The refusals are shown before the chart lock is taken: a message box
  // waits for the user, and the quote threads must not wait with it.
  bool detach;
  {
    kv_lock guard(g_chart_lock);
    detach = m_study->attached_order != 0;
  }
  int inc = 0, off = 0;
  if (!detach) {
    // The attachment word holds 7 bits of increment and a signed byte of
    // offset: anything outside them is refused rather than wrapped (an
    // increment of 0 leaves the order no grid to follow).
    bool ok_inc = false, ok_off = false;
    inc = m_increment.trimmed().toInt(&ok_inc);
    off = m_offset.trimmed().toInt(&ok_off);
    if (!ok_inc || inc < 1 || inc > ATTACH_INCREMENT_MAX) {
      kv_message_box("Tick increment must be from 1 to 127", "Korvane", MB_OK | MB_ICONEXCLAMATION);
      return;
    }
    if (!ok_off || off < ATTACH_OFFSET_MIN || off > ATTACH_OFFSET_MAX) {
      kv_message_box("Offset must be from -128 to 127 ticks", "Korvane",
                     MB_OK | MB_ICONEXCLAMATION);
      return;
    }
  }
  bool gone = false;
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(m_serial);
    if (detach) {
      m_study->attached_order = 0;
      m_study->attach_word &= ~0xFFFFu;
      if (o) {
        o->flags &= ~ORDER_F_STUDY;
        o->study_colour = 0;
      }
      if (m_chart) m_chart->header.flags &= ~CHART_ORDER_ATTACHED;
    } else if (!o || !o->relay.order_id) {
      gone = true;
    } else {
      m_study->attached_order = o->relay.order_id;
      m_study->attach_word = (m_study->attach_word & ~0xFFFFu) | (uint32_t)(m_round == 1 ? 1 : 0) |
                             (uint32_t)inc << 1 | ((uint32_t)(uint8_t)(int8_t)off) << 8;
      o->flags |= ORDER_F_STUDY;
      o->study_colour = m_study->color;
      if (m_chart) m_chart->header.flags |= CHART_ORDER_ATTACHED;
      if (g_reprice_study_order && m_chart) g_reprice_study_order(m_chart, m_study);
    }
  }
  if (gone) {
    kv_message_box("The order is no longer working", "Korvane", MB_OK);
    EndDialog(IDCANCEL);
    return;
  }
  EndDialog(IDOK);
}
