// The Constrain SLFMap Layout dialog.
#include "windows/constrainmapdlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/services.h"
#include "windows/heatmapview.h"

CConstrainMapDlg::CConstrainMapDlg(QWidget* parent) : KvDialog(IDD_CONSTRAIN_MAP, parent) {
  setWindowTitle(QStringLiteral("Constrain SLFMap Layout"));
  auto* top = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  grid->addWidget(
      AddControl(IDC_MAP_ADJUST,
                 new QRadioButton(QStringLiteral("Adjust Layout to Window Size"), this)),
      0, 0, 1, 2);
  grid->addWidget(
      AddControl(IDC_MAP_ROWS_RADIO, new QRadioButton(QStringLiteral("Constrain # Rows to"), this)),
      1, 0);
  grid->addWidget(AddControl(IDC_MAP_ROWS, new QLineEdit(this)), 1, 1);
  grid->addWidget(AddControl(IDC_MAP_COLUMNS_RADIO,
                             new QRadioButton(QStringLiteral("Constrain # Columns to"), this)),
                  2, 0);
  grid->addWidget(AddControl(IDC_MAP_COLUMNS, new QLineEdit(this)), 2, 1);
  AddRadioGroup({IDC_MAP_ADJUST, IDC_MAP_ROWS_RADIO, IDC_MAP_COLUMNS_RADIO});
  top->addLayout(grid);
  auto* buttons = new QDialogButtonBox(this);
  auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this));
  ok->setDefault(true);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this)),
                     QDialogButtonBox::RejectRole);
  top->addWidget(buttons);
}

bool CConstrainMapDlg::OnInitDialog() {
  SetDlgItemText(IDC_MAP_ROWS, QString::asprintf("%d", m_rows));
  SetDlgItemText(IDC_MAP_COLUMNS, QString::asprintf("%d", m_columns));
  KvDataExchange dx(this, false);
  DDX_Radio(dx, IDC_MAP_ADJUST, m_mode);
  return true;
}

void CConstrainMapDlg::OnOK() {
  KvDataExchange dx(this, true);
  int mode = 0, rows = 0, columns = 0;
  DDX_Radio(dx, IDC_MAP_ADJUST, mode);
  DDX_Text(dx, IDC_MAP_ROWS, rows);
  DDX_Text(dx, IDC_MAP_COLUMNS, columns);
  if (dx.failed()) return;
  char text[64];
  if (rows > MAP_FIXED_MAX || columns > MAP_FIXED_MAX) {
    snprintf(text, sizeof text, "Row or Column # too large (max %d)", (int)MAP_FIXED_MAX);
    kv_message_box(text, "Korvane", MB_OK);
    return;
  }
  // The layout needs at least one row and one column.
  if ((mode == 1 && rows < 1) || (mode == 2 && columns < 1)) {
    kv_message_box(mode == 1 ? "The number of rows must be at least 1"
                             : "The number of columns must be at least 1",
                   "Korvane", MB_OK);
    return;
  }
  m_mode = mode, m_rows = rows, m_columns = columns;
  KvDialog::OnOK();
}
