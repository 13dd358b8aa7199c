// The Status Messages window and the ReadMe dialog.
#include "shell/statusmsg.h"

#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/files.h"
#include "platform/qt/controls.h"
#include "shell/app.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/core/settingsio.h"

namespace {

struct check_bit {
  int id;
  unsigned bit;
};
const check_bit kChecks[] = {
    {IDC_SHOW_WARNINGS, SHOW_WARNINGS_BIT},
    {IDC_SHOW_INFO, SHOW_INFO_BIT},
    {IDC_SHOW_ALERTS, SHOW_ALERTS_BIT},
};

QPushButton* button(const QString& text, const char* icon) {
  auto* b = new QPushButton(QIcon::fromTheme(QString::fromLatin1(icon)), text);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

// ---- Status Messages -----------------------------------------------------------

CStatusMsgList::CStatusMsgList(QWidget* parent) : QAbstractScrollArea(parent) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 4);
  update_ranges();
}

int CStatusMsgList::row_height() const {
  return fontMetrics().height() + 2;
}

int CStatusMsgList::VisibleRows() const {
  return std::max(1, viewport()->height() / row_height());
}

void CStatusMsgList::AddString(const QString& text) {
  m_lines.push_back(text);
  m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(text));
  update_ranges();
  viewport()->update();
}

QString CStatusMsgList::GetText(int index) const {
  return index >= 0 && index < GetCount() ? m_lines[size_t(index)] : QString();
}

void CStatusMsgList::ResetContent() {
  m_lines.clear();
  m_lines.shrink_to_fit();
  m_widest = 0;
  update_ranges();
  viewport()->update();
}

int CStatusMsgList::GetTopIndex() const {
  return verticalScrollBar()->value();
}

void CStatusMsgList::SetTopIndex(int index) {
  verticalScrollBar()->setValue(index);
}

void CStatusMsgList::update_ranges() {
  int rows = VisibleRows();
  verticalScrollBar()->setPageStep(rows);
  verticalScrollBar()->setRange(0, std::max(0, GetCount() - rows));
  int margin = 2 * fontMetrics().averageCharWidth();
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setRange(0, std::max(0, m_widest + margin - viewport()->width()));
}

void CStatusMsgList::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  update_ranges();
}

void CStatusMsgList::changeEvent(QEvent* e) {
  QAbstractScrollArea::changeEvent(e);
  if (e->type() == QEvent::FontChange) {
    m_widest = 0;
    for (const QString& line : m_lines)
      m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(line));
    update_ranges();
  }
}

void CStatusMsgList::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const int h = row_height(), x = fontMetrics().averageCharWidth() - horizontalScrollBar()->value();
  const int first = GetTopIndex(), last = std::min(GetCount(), first + VisibleRows() + 1);
  p.setPen(palette().color(QPalette::Text));
  for (int i = first; i < last; i++) {
    QRect row(0, (i - first) * h, viewport()->width(), h);
    if (i % 2) p.fillRect(row, palette().color(QPalette::AlternateBase));
    p.drawText(row.adjusted(x, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               m_lines[size_t(i)]);
  }
}

CStatusMsgDlg::CStatusMsgDlg(QWidget* parent) : KvDialog(IDD_STATUS_MSG, parent) {
  setWindowTitle(QStringLiteral("Status Messages"));
  m_list = AddControl(IDC_STATUS_LIST, new CStatusMsgList);

  auto* show = new QGroupBox(QStringLiteral("Show"));
  auto* checks = new QHBoxLayout(show);
  checks->addWidget(AddControl(IDC_SHOW_WARNINGS, new QCheckBox(QStringLiteral("&Warnings"))));
  checks->addWidget(AddControl(IDC_SHOW_INFO, new QCheckBox(QStringLiteral("&Info"))));
  checks->addWidget(AddControl(IDC_SHOW_ALERTS, new QCheckBox(QStringLiteral("&Alerts"))));
  checks->addStretch(1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(show, 1);
  auto* right = new QVBoxLayout;
  right->addStretch(1);
  auto* row = new QHBoxLayout;
  row->addWidget(AddControl(IDC_STATUS_CLEAR, button(QStringLiteral("C&lear"), "edit-clear")));
  row->addWidget(AddControl(IDC_STATUS_CLOSE, button(QStringLiteral("&Close"), "window-close")));
  row->addWidget(AddControl(IDHELP_BUTTON, button(QStringLiteral("&Help"), "help-browser")));
  right->addLayout(row);
  buttons->addLayout(right);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list, 1);
  layout->addLayout(buttons);
  resize(640, 300);

  MapCommand(IDC_STATUS_CLEAR, [this] { m_list->ResetContent(); });
  MapCommand(IDC_STATUS_CLOSE, [this] { toggle_window(); });
  for (const check_bit& c : kChecks) {
    int id = c.id;
    connect(Item<QCheckBox>(id), &QCheckBox::clicked, this, [this, id] { store_check(id); });
  }
}

bool CStatusMsgDlg::OnInitDialog() {
  checks_from_flags();
  return true;
}

void CStatusMsgDlg::AddLine(const QString& text) {
  m_list->AddString(text);
  // From the sixth line on, the newest five lines are in view.
  int count = m_list->GetCount();
  if (count > 5) m_list->SetTopIndex(count - 5);
}

void CStatusMsgDlg::showEvent(QShowEvent* e) {
  KvDialog::showEvent(e);
  checks_from_flags();
}

void CStatusMsgDlg::checks_from_flags() {
  for (const check_bit& c : kChecks) Item<QCheckBox>(c.id)->setChecked((g_pref_flags >> c.bit) & 1);
}

void CStatusMsgDlg::store_check(int id) {
  for (const check_bit& c : kChecks) {
    if (c.id != id) continue;
    if (Item<QCheckBox>(id)->isChecked())
      g_pref_flags |= 1u << c.bit;
    else
      g_pref_flags &= ~(1u << c.bit);
  }
}

void CStatusMsgDlg::OnOK() {
  for (const check_bit& c : kChecks) store_check(c.id);
  toggle_window();
}

// Escape and the close box act as Close, so the application's flag of the
// window follows.
void CStatusMsgDlg::OnCancel() {
  toggle_window();
}

void CStatusMsgDlg::toggle_window() {
  if (theApp)
    theApp->OnViewStatusMsg();
  else
    hide();
}

// ---- ReadMe --------------------------------------------------------------------

CReadMeDlg::CReadMeDlg(const QString& file, QWidget* parent)
    : KvDialog(IDD_README, parent), m_file(file) {
  setWindowTitle(QStringLiteral("ReadMe"));
  m_list = AddControl(IDC_README_LIST, new KvListBox(true));
  m_list->setUniformItemSizes(true);
  m_list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* ok = AddControl(
      IDOK, new QPushButton(QIcon::fromTheme(QStringLiteral("dialog-ok")), QStringLiteral("OK")));
  ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list, 1);
  layout->addLayout(row);
  resize(680, 480);
}

bool CReadMeDlg::OnInitDialog() {
  m_list->ResetContent();
  char path[KV_MAX_PATH];
  QByteArray name = m_file.toUtf8();
  if (!data_folder_path(path, sizeof path, KV_DIR_HELP, name.constData()))
    snprintf(path, sizeof path, "%s", name.constData());
  kv_file_error err{};
  FILE* f = fopen(path, "rb");
  if (!f) {
    kv_file_error_set(&err, errno, path);
  } else {
    // Lines as read, without their line ends; a read error keeps what came.
    std::string line;
    int ch;
    while ((ch = fgetc(f)) != EOF) {
      if (ch == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        m_list->AddString(QString::fromUtf8(line.data(), int(line.size())));
        line.clear();
      } else {
        line.push_back(char(ch));
      }
    }
    if (ferror(f)) kv_file_error_set(&err, errno, path);
    if (!line.empty()) m_list->AddString(QString::fromUtf8(line.data(), int(line.size())));
    fclose(f);
  }
  if (err.cause) {
    char text[KV_MAX_PATH + 80];
    kv_format_file_error(text, sizeof text, &err);
    AddAppStatusMsg(0, text);
  }
  if (m_list->GetCount()) m_list->SelItemRange(true, 0, m_list->GetCount() - 1);
  return true;
}
