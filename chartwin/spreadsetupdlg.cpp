// The Setup Spread Chart dialog.
#include "chartwin/spreadsetupdlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "data/spread.h"
#include "data/tokenfile.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/services.h"
#include "quotes/mqt.h"

CSpreadSetupDlg::CSpreadSetupDlg(QWidget* parent) : KvDialog(IDD_SPREAD_SETUP, parent) {
  setWindowTitle(QStringLiteral("Setup Spread Chart"));
  auto* top = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  auto* combo = AddControl(IDC_SPREAD_NAME, new KvComboBox(true, this));
  form->addRow(QStringLiteral("Spread Name"), combo);
  top->addLayout(form);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Long"), this), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Short"), this), 0, 2);
  const struct {
    const char* label;
    int long_id, short_id;
  } rows[] = {{"Symbol", IDC_SPREAD_LONG, IDC_SPREAD_SHORT},
              {"Ratio", IDC_SPREAD_LONG_RATIO, IDC_SPREAD_SHORT_RATIO},
              {"Price", IDC_SPREAD_LONG_PRICE, IDC_SPREAD_SHORT_PRICE},
              {"Multiplier", IDC_SPREAD_LONG_MULT, IDC_SPREAD_SHORT_MULT}};
  int r = 1;
  for (const auto& row : rows) {
    grid->addWidget(new QLabel(QString::fromLatin1(row.label), this), r, 0);
    grid->addWidget(AddControl(row.long_id, new QLineEdit(this)), r, 1);
    grid->addWidget(AddControl(row.short_id, new QLineEdit(this)), r, 2);
    r++;
  }
  top->addLayout(grid);
  auto* buttons = new QDialogButtonBox(this);
  auto button = [this, buttons](int id, const char* text, QDialogButtonBox::ButtonRole role) {
    auto* b = AddControl(id, new QPushButton(QString::fromLatin1(text), this));
    buttons->addButton(b, role);
    return b;
  };
  connect(button(IDC_SPREAD_CALCULATE, "Calculate", QDialogButtonBox::ActionRole),
          &QPushButton::clicked, this, [this] { on_calculate(); });
  connect(button(IDC_SPREAD_APPLY, "Apply", QDialogButtonBox::ActionRole), &QPushButton::clicked,
          this, [this] { apply(); });
  connect(button(IDC_SPREAD_DELETE, "Delete", QDialogButtonBox::ActionRole), &QPushButton::clicked,
          this, [this] { on_delete(); });
  button(IDOK, "OK", QDialogButtonBox::AcceptRole)->setDefault(true);
  button(IDCANCEL, "Cancel", QDialogButtonBox::RejectRole);
  button(IDHELP_BUTTON, "&Help", QDialogButtonBox::HelpRole);
  top->addWidget(buttons);
  connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this] { show_definition(); });
  // Dropping the list down shows the definitions as the file has them now.
  connect(combo, &KvComboBox::droppedDown, this, [this] {
    QString typed = names()->GetWindowText();
    fill_names();
    names()->SetWindowText(typed);
  });
}

KvComboBox* CSpreadSetupDlg::names() const {
  return dynamic_cast<KvComboBox*>(GetDlgItem(IDC_SPREAD_NAME));
}

bool CSpreadSetupDlg::OnInitDialog() {
  fill_names();
  if (names()->GetCount() > 0) {
    names()->SetCurSel(0);
    show_definition();
  }
  return true;
}

void CSpreadSetupDlg::fill_names() {
  KvComboBox* combo = names();
  combo->blockSignals(true);
  combo->ResetContent();
  char** tokens = nullptr;
  int n = get_spread_definitions(&tokens);
  for (int i = 0; i + SPREAD_TOKENS <= n; i += SPREAD_TOKENS)
    combo->AddString(QString::fromLatin1(tokens[i]));
  free_tokens(tokens);
  combo->blockSignals(false);
}

void CSpreadSetupDlg::show_definition() {
  spread_def def;
  QByteArray name = names()->GetWindowText().trimmed().toLatin1();
  if (!find_spread_definition(name.constData(), &def)) return;
  SetDlgItemText(IDC_SPREAD_LONG, QString::fromLatin1(def.leg1));
  SetDlgItemText(IDC_SPREAD_SHORT, QString::fromLatin1(def.leg2));
  SetDlgItemText(IDC_SPREAD_LONG_RATIO, QString::asprintf("%.4f", def.ratio1));
  SetDlgItemText(IDC_SPREAD_SHORT_RATIO, QString::asprintf("%.4f", def.ratio2));
}

void CSpreadSetupDlg::on_calculate() {
  KvDataExchange dx(this, true);
  double long_price = 0, long_mult = 0, short_price = 0, short_mult = 0;
  DDX_Text(dx, IDC_SPREAD_LONG_PRICE, long_price);
  DDX_Text(dx, IDC_SPREAD_LONG_MULT, long_mult);
  DDX_Text(dx, IDC_SPREAD_SHORT_PRICE, short_price);
  DDX_Text(dx, IDC_SPREAD_SHORT_MULT, short_mult);
  if (dx.failed()) return;
  double r1 = 0, r2 = 0;
  if (!balance_spread_legs(long_price, long_mult, short_price, short_mult, &r1, &r2)) {
    kv_message_box("Prices and multipliers must be above 0.", "Korvane",
                   MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  SetDlgItemText(IDC_SPREAD_LONG_RATIO, QString::asprintf("%.4f", r1));
  SetDlgItemText(IDC_SPREAD_SHORT_RATIO, QString::asprintf("%.4f", r2));
}

bool CSpreadSetupDlg::apply() {
  KvDataExchange dx(this, true);
  double r1 = 0, r2 = 0;
  DDX_Text(dx, IDC_SPREAD_LONG_RATIO, r1);
  DDX_Text(dx, IDC_SPREAD_SHORT_RATIO, r2);
  if (dx.failed()) return false;
  spread_def def = {};
  QByteArray name = names()->GetWindowText().trimmed().toUpper().toLatin1();
  QByteArray leg1 = GetDlgItemText(IDC_SPREAD_LONG).trimmed().toUpper().toLatin1();
  QByteArray leg2 = GetDlgItemText(IDC_SPREAD_SHORT).trimmed().toUpper().toLatin1();
  if (name.isEmpty() || name.size() >= (int)sizeof def.name ||
      leg1.size() >= (int)sizeof def.leg1 || leg2.size() >= (int)sizeof def.leg2) {
    kv_message_box("Please enter a spread name and two symbols of fewer than 32 characters.",
                   "Korvane", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  memcpy(def.name, name.constData(), name.size());
  memcpy(def.leg1, leg1.constData(), leg1.size());
  memcpy(def.leg2, leg2.constData(), leg2.size());
  def.ratio1 = r1;
  def.ratio2 = r2;
  if (!save_spread_definition(&def)) {
    kv_message_box("The spread definition could not be saved.", "Korvane",
                   MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  QString shown = QString::fromLatin1(name);
  fill_names();
  names()->SetCurSel(names()->FindStringExact(0, shown));
  return true;
}

void CSpreadSetupDlg::OnOK() {
  if (apply()) EndDialog(IDOK);
}

void CSpreadSetupDlg::on_delete() {
  KvComboBox* combo = names();
  int sel = combo->GetCurSel();
  if (sel < 0) return;
  QByteArray name = combo->GetLBText(sel).toLatin1();
  bool in_use;
  {
    kv_lock guard(g_chart_lock);
    in_use = find_mqt(name.constData()) != nullptr;
  }
  if (in_use) {
    kv_message_box("Spread symbol currently in use, remove before deleting", "Korvane", MB_OK);
    return;
  }
  if (!delete_spread_definition(name.constData())) {
    kv_message_box("The spread definition could not be deleted.", "Korvane",
                   MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  fill_names();
  if (combo->GetCount() > 0) {
    combo->SetCurSel(0);
    show_definition();
  }
}
