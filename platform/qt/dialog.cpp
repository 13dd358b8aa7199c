#include "platform/qt/dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QButtonGroup>
#include <QSlider>
#include <QTextEdit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/qt/controls.h"
#include "platform/qt/services_qt.h"

QString kv_control_name(int id) {
  return QStringLiteral("id%1").arg(id);
}

QWidget* kv_find_control(const QWidget* root, int id) {
  if (!root) return nullptr;
  return root->findChild<QWidget*>(kv_control_name(id));
}

int kv_control_id(const QWidget* w) {
  QString n = w ? w->objectName() : QString();
  if (!n.startsWith(QLatin1String("id"))) return 0;
  return n.mid(2).toInt();
}

// ---- KvDialog --------------------------------------------------------------------

KvDialog::KvDialog(unsigned resource_id, QWidget* parent)
    : QDialog(parent), m_resource_id(resource_id) {}

void KvControlHost::register_control(int id, QWidget* w) {
  QWidget* h = host_widget();
  if (w->parent() != h && !h->isAncestorOf(w)) w->setParent(h);
  w->setObjectName(kv_control_name(id));
}

void KvDialog::add_control(int id, QWidget* w) {
  register_control(id, w);
  if (auto* b = qobject_cast<QPushButton*>(w)) {
    if (id == IDOK) b->setDefault(true);
    connect(b, &QPushButton::clicked, this, [this, id] {
      if (id == IDOK)
        OnOK();
      else if (id == IDCANCEL)
        OnCancel();
      else if (id == IDHELP_BUTTON && !HasCommand(unsigned(id)))
        OnHelp();
      else
        OnCmdMsg(unsigned(id));
    });
  }
}

void KvControlHost::AddRadioGroup(const std::vector<int>& ids) {
  m_radio_groups.push_back(ids);
  // The buttons of one group exclude each other, and only each other.
  QButtonGroup* g = new QButtonGroup(host_widget());
  for (int id : ids)
    if (auto* r = qobject_cast<QAbstractButton*>(GetDlgItem(id))) {
      r->setAutoExclusive(false);
      g->addButton(r);
    }
  g->setExclusive(true);
}

const std::vector<int>* KvControlHost::RadioGroup(int first_id) const {
  for (const auto& g : m_radio_groups)
    if (!g.empty() && g.front() == first_id) return &g;
  return nullptr;
}

void KvControlHost::SetDlgItemText(int id, const QString& text) {
  QWidget* w = GetDlgItem(id);
  if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(text);
  else if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setText(text);
  else if (auto* c = qobject_cast<QComboBox*>(w)) {
    if (c->isEditable())
      c->setEditText(text);
    else
      c->setCurrentIndex(c->findText(text));
  } else if (auto* t = qobject_cast<QTextEdit*>(w))
    t->setPlainText(text);
  else if (w)
    w->setWindowTitle(text);
}

QString KvControlHost::GetDlgItemText(int id) const {
  QWidget* w = GetDlgItem(id);
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* t = qobject_cast<QTextEdit*>(w)) return t->toPlainText();
  return QString();
}

void KvControlHost::EnableDlgItem(int id, bool enable) {
  if (QWidget* w = GetDlgItem(id)) w->setEnabled(enable);
}

int KvDialog::DoModal() {
  EnsureInitialized();
  return exec();
}

bool KvDialog::Create(QWidget* parent) {
  if (parent) setParent(parent, windowFlags() | Qt::Dialog);
  EnsureInitialized();
  setModal(false);
  show();
  return true;
}

void KvDialog::EndDialog(int code) {
  done(code);
}

void KvDialog::EnsureInitialized() {
  if (m_initialized) return;
  m_initialized = true;
  OnInitDialog();
}

void KvDialog::showEvent(QShowEvent* e) {
  EnsureInitialized();
  QDialog::showEvent(e);
}

bool KvDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

bool KvControlHost::UpdateData(bool save_and_validate) {
  KvDataExchange dx(this, save_and_validate);
  DoDataExchange(dx);
  return !dx.failed();
}

void KvDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void KvDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

void KvDialog::OnHelp() {
  kv_win_help(m_resource_id);
}

void KvDialog::reject() {
  OnCancel();
}

void KvDialog::accept() {
  OnOK();
}

// ---- data exchange -------------------------------------------------------------

QWidget* KvDataExchange::PrepareControl(int id) {
  m_last = m_host->GetDlgItem(id);
  return m_last;
}

void KvDataExchange::Fail(const QString& message) {
  if (m_failed) return;
  m_failed = true;
  kv_message_box(message.toLatin1().constData(), nullptr, MB_OK | MB_ICONEXCLAMATION);
  if (m_last) {
    m_last->setFocus();
    if (auto* e = qobject_cast<QLineEdit*>(m_last)) e->selectAll();
  }
}

static QString control_text(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* t = qobject_cast<QTextEdit*>(w)) return t->toPlainText();
  return QString();
}

static void set_control_text(QWidget* w, const QString& s) {
  if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(s);
  else if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(s);
  else if (auto* c = qobject_cast<QComboBox*>(w)) {
    if (c->isEditable())
      c->setEditText(s);
    else
      c->setCurrentIndex(c->findText(s));
  } else if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setText(s);
  else if (auto* t = qobject_cast<QTextEdit*>(w))
    t->setPlainText(s);
}

void DDX_Text(KvDataExchange& dx, int id, QString& value) {
  if (dx.failed()) return;
  QWidget* w = dx.PrepareControl(id);
  if (!w) return;
  if (dx.save())
    value = control_text(w);
  else
    set_control_text(w, value);
}

void DDX_Text(KvDataExchange& dx, int id, std::string& value) {
  QString q = QString::fromLatin1(value.c_str());
  DDX_Text(dx, id, q);
  if (dx.save() && !dx.failed()) value = q.toLatin1().toStdString();
}

void DDX_Text(KvDataExchange& dx, int id, char* buf, size_t size) {
  if (size == 0) return;
  QString q = QString::fromLatin1(buf);
  DDX_Text(dx, id, q);
  if (dx.save() && !dx.failed()) {
    QByteArray b = q.toLatin1();
    size_t n = std::min(size - 1, size_t(b.size()));
    std::memcpy(buf, b.constData(), n);
    buf[n] = 0;
  }
}

bool kv_parse_int(const QString& text, int* value) {
  QByteArray b = text.trimmed().toLatin1();
  if (b.isEmpty()) return false;
  const char* s = b.constData();
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (end == s || *end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  *value = int(v);
  return true;
}

bool kv_parse_double(const QString& text, double* value) {
  QByteArray b = text.trimmed().toLatin1();
  if (b.isEmpty()) return false;
  // Plain decimal forms only: strtod would also take "nan", "inf" and hex.
  for (char ch : b)
    if (!(ch >= '0' && ch <= '9') && !std::strchr("+-.eE", ch)) return false;
  const char* s = b.constData();
  char* end = nullptr;
  double v = std::strtod(s, &end);
  if (end == s || *end || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

void DDX_Text(KvDataExchange& dx, int id, int& value) {
  if (dx.failed()) return;
  QWidget* w = dx.PrepareControl(id);
  if (!w) return;
  if (!dx.save()) {
    set_control_text(w, QString::number(value));
    return;
  }
  int v;
  if (!kv_parse_int(control_text(w), &v)) {
    dx.Fail(QStringLiteral("Please enter an integer."));
    return;
  }
  value = v;
}

void DDX_Text(KvDataExchange& dx, int id, double& value) {
  if (dx.failed()) return;
  QWidget* w = dx.PrepareControl(id);
  if (!w) return;
  if (!dx.save()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    set_control_text(w, QString::fromLatin1(buf));
    return;
  }
  double v;
  if (!kv_parse_double(control_text(w), &v)) {
    dx.Fail(QStringLiteral("Please enter a number."));
    return;
  }
  value = v;
}

void DDX_Text(KvDataExchange& dx, int id, float& value) {
  double d = value;
  if (!dx.save()) {
    if (dx.failed()) return;
    QWidget* w = dx.PrepareControl(id);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7g", d);
    if (w) set_control_text(w, QString::fromLatin1(buf));
    return;
  }
  DDX_Text(dx, id, d);
  if (!dx.failed()) value = float(d);
}

void DDV_MinMaxInt(KvDataExchange& dx, int value, int min, int max) {
  if (dx.failed() || !dx.save()) return;
  if (value < min || value > max)
    dx.Fail(QStringLiteral("Please enter an integer between %1 and %2.").arg(min).arg(max));
}

void DDV_MinMaxDouble(KvDataExchange& dx, double value, double min, double max) {
  if (dx.failed() || !dx.save()) return;
  if (value < min || value > max) {
    char a[64], b[64];
    std::snprintf(a, sizeof a, "%g", min);
    std::snprintf(b, sizeof b, "%g", max);
    dx.Fail(QStringLiteral("Please enter a number between %1 and %2.")
                .arg(QString::fromLatin1(a), QString::fromLatin1(b)));
  }
}

void DDV_MaxChars(KvDataExchange& dx, const QString& value, int max) {
  if (dx.failed() || !dx.save()) return;
  if (value.size() > max)
    dx.Fail(QStringLiteral("Please enter no more than %1 characters.").arg(max));
}

void DDX_Check(KvDataExchange& dx, int id, int& value) {
  if (dx.failed()) return;
  auto* b = qobject_cast<QAbstractButton*>(dx.PrepareControl(id));
  if (!b) return;
  auto* cb = qobject_cast<QCheckBox*>(b);
  if (dx.save()) {
    value = cb ? int(cb->checkState() == Qt::Checked            ? 1
                     : cb->checkState() == Qt::PartiallyChecked ? 2
                                                                : 0)
               : (b->isChecked() ? 1 : 0);
  } else if (cb) {
    cb->setCheckState(value == 2 ? Qt::PartiallyChecked : value ? Qt::Checked : Qt::Unchecked);
  } else {
    b->setChecked(value != 0);
  }
}

void DDX_Radio(KvDataExchange& dx, int first_id, int& value) {
  if (dx.failed()) return;
  dx.PrepareControl(first_id);
  const std::vector<int>* g = dx.host()->RadioGroup(first_id);
  if (!g) return;
  if (dx.save()) {
    value = -1;
    for (size_t i = 0; i < g->size(); i++)
      if (auto* b = qobject_cast<QAbstractButton*>(dx.host()->GetDlgItem((*g)[i]));
          b && b->isChecked()) {
        value = int(i);
        break;
      }
    return;
  }
  for (size_t i = 0; i < g->size(); i++)
    if (auto* b = qobject_cast<QAbstractButton*>(dx.host()->GetDlgItem((*g)[i]))) {
      QButtonGroup* bg = b->group();
      bool excl = bg && bg->exclusive();
      if (bg) bg->setExclusive(false);  // lets every button be cleared
      b->setChecked(int(i) == value);
      if (bg) bg->setExclusive(excl);
    }
}

void DDX_CBIndex(KvDataExchange& dx, int id, int& value) {
  if (dx.failed()) return;
  QWidget* w = dx.PrepareControl(id);
  if (auto* c = dynamic_cast<KvComboBox*>(w)) {
    if (dx.save())
      value = c->GetCurSel();
    else
      c->SetCurSel(value);
  } else if (auto* q = qobject_cast<QComboBox*>(w)) {
    if (dx.save())
      value = q->currentIndex();
    else
      q->setCurrentIndex(value);
  }
}

void DDX_LBIndex(KvDataExchange& dx, int id, int& value) {
  if (dx.failed()) return;
  auto* l = qobject_cast<QListWidget*>(dx.PrepareControl(id));
  if (!l) return;
  if (dx.save())
    value = l->currentItem() && l->currentItem()->isSelected() ? l->currentRow() : -1;
  else
    l->setCurrentRow(value);
}

void DDX_Slider(KvDataExchange& dx, int id, int& value) {
  if (dx.failed()) return;
  auto* s = qobject_cast<QAbstractSlider*>(dx.PrepareControl(id));
  if (!s) return;
  if (dx.save())
    value = s->value();
  else
    s->setValue(value);
}
