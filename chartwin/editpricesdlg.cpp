// The Edit Stock Prices dialog.
#include "chartwin/editpricesdlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "data/barlink.h"
#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/pricefmt.h"
#include "data/priceparse.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "settings/settings.h"
#include "studies/study.h"

namespace {

// Bar flags: which values a bar holds, and the dialog's own marks.
enum : uint32_t {
  HAS_OPEN = 0x20000,
  HAS_HIGH = 0x40000,
  HAS_LOW = 0x80000,
  HAS_CLOSE = 0x100000,
  HAS_VOLUME = 0x400000,
  HAS_OI = 0x800000,
  HAS_VWAP = 0x1000000,
  BAR_HAND_EDITED = 0x4000,
  BAR_DELETED = 0x40000000,
  BAR_CHANGED = 0x80000000,
};
constexpr int kSpareBars = 10;
enum { COL_DATE = 0 };

const QString kNotAvailable = QStringLiteral("n/a");

// The value bits come with imported bars; bars built from quotes carry
// none, and their prices are all there. A price is missing only when its
// bit is clear and nothing was stored for it.
bool has_price(const chart_bar& b, uint32_t bit, float v) {
  return (b.flags & bit) || v != 0;
}

QString price_text(const chart_bar& b, uint32_t bit, float v) {
  char buf[64];
  return has_price(b, bit, v) ? QString::fromLatin1(format_price(v, buf, 2, 0)) : kNotAvailable;
}

QString count_text(const chart_bar& b, uint32_t bit, int v) {
  char buf[64];
  return (b.flags & bit) ? QString::fromLatin1(format_volume(buf, v, 1)) : kNotAvailable;
}

// One typed value: "n/a" (none), or a number the price reader takes
// (decimal, "12 3/8", "3/8", "101'16"). Anything else is refused.
enum read_result { READ_NONE, READ_VALUE, READ_BAD };

read_result read_price(const QString& typed, double* value) {
  static const QRegularExpression kForms(QStringLiteral(
      "^-?(\\d+(\\.\\d*)?|\\.\\d+)$|^\\d+ +\\d+/\\d+$|^\\d+/\\d+$|^\\d+'\\d+(\\.\\d+)?$"));
  QString t = typed.trimmed();
  if (t.compare(kNotAvailable, Qt::CaseInsensitive) == 0) return READ_NONE;
  if (!kForms.match(t).hasMatch()) return READ_BAD;
  QByteArray bytes = t.toLatin1();
  *value = parse_price_text(bytes.constData());
  return std::isfinite(*value) ? READ_VALUE : READ_BAD;
}

read_result read_count(const QString& typed, int* value) {
  static const QRegularExpression kForms(QStringLiteral("^\\d{1,3}(,\\d{3})*$|^\\d+$"));
  QString t = typed.trimmed();
  if (t.compare(kNotAvailable, Qt::CaseInsensitive) == 0) return READ_NONE;
  if (!kForms.match(t).hasMatch()) return READ_BAD;
  QString digits = t;
  digits.remove(QChar(','));
  bool ok = false;
  long long v = digits.toLongLong(&ok);
  if (!ok || v > 0x7FFFFFFF) return READ_BAD;
  *value = (int)v;
  return READ_VALUE;
}

}  // namespace

CEditPricesDlg::CEditPricesDlg(chart_rec* chart, QWidget* parent)
    : KvDialog(IDD_EDIT_PRICES, parent), m_chart(chart) {
  setWindowTitle(QStringLiteral("Edit Stock Prices"));
  auto* top = new QVBoxLayout(this);
  m_list = AddControl(IDC_PRICES_LIST, new QTreeWidget(this));
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setMinimumSize(560, 260);
  top->addWidget(m_list);
  auto* fields = new QGridLayout;
  auto edit = [this](int id) { return AddControl(id, new QLineEdit(this)); };
  fields->addWidget(new QLabel(QStringLiteral("Date"), this), 0, 0);
  fields->addWidget(edit(IDC_PRICES_DATE), 1, 0);
  fields->addWidget(AddControl(IDC_PRICES_TIME_LABEL, new QLabel(QStringLiteral("Time"), this)), 0,
                    1);
  fields->addWidget(edit(IDC_PRICES_TIME), 1, 1);
  const struct {
    int id;
    const char* label;
  } values[] = {{IDC_PRICES_OPEN, "Open"},     {IDC_PRICES_HIGH, "High"},
                {IDC_PRICES_LOW, "Low"},       {IDC_PRICES_CLOSE, "Close"},
                {IDC_PRICES_VOLUME, "Volume"}, {IDC_PRICES_OI, "Open Interest"}};
  int col = 2;
  for (const auto& v : values) {
    fields->addWidget(new QLabel(QString::fromLatin1(v.label), this), 0, col);
    fields->addWidget(edit(v.id), 1, col++);
  }
  top->addLayout(fields);
  auto* buttons = new QDialogButtonBox(this);
  auto button = [this, buttons](int id, const char* text, QDialogButtonBox::ButtonRole role) {
    auto* b = AddControl(id, new QPushButton(QString::fromLatin1(text), this));
    buttons->addButton(b, role);
    return b;
  };
  connect(button(IDC_PRICES_ADD, "Add", QDialogButtonBox::ActionRole), &QPushButton::clicked, this,
          [] {});
  connect(button(IDC_PRICES_MODIFY, "Modify", QDialogButtonBox::ActionRole), &QPushButton::clicked,
          this, [this] { on_modify(); });
  connect(button(IDC_PRICES_DELETE, "Delete ", QDialogButtonBox::ActionRole), &QPushButton::clicked,
          this, [this] { on_delete(); });
  button(IDOK, "OK", QDialogButtonBox::AcceptRole)->setDefault(true);
  button(IDCANCEL, "Cancel", QDialogButtonBox::RejectRole);
  button(IDHELP_BUTTON, "&Help", QDialogButtonBox::HelpRole);
  top->addWidget(buttons);
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] { on_selection(); });
}

CEditPricesDlg::~CEditPricesDlg() {
  if (m_chart && m_editing_set) {
    kv_lock guard(g_chart_lock);
    m_chart->header.flags &= ~CHART_EDITING;
  }
}

bool CEditPricesDlg::intraday() const {
  return m_chart && m_chart->header.time_unit < TU_DAILY;
}

bool CEditPricesDlg::OnInitDialog() {
  if (!m_chart) return true;
  {
    kv_lock guard(g_chart_lock);
    if (!(m_chart->header.flags & CHART_EDITING)) {
      m_chart->header.flags |= CHART_EDITING;
      m_editing_set = true;
    }
    m_count = std::max(m_chart->header.bar_count, 0);
    m_work.assign(m_chart->bars, m_chart->bars + m_count);
    m_work.resize(m_count + kSpareBars, chart_bar{});
  }
  setWindowTitle(QStringLiteral("Edit Prices for %1 [%2 pts]")
                     .arg(QString::fromLatin1(m_chart->header.symbol))
                     .arg(m_count));
  QStringList heads;
  std::vector<int> widths;
  if (intraday()) {
    heads = {QStringLiteral("Date"),   QStringLiteral("Time"),    QStringLiteral("Open"),
             QStringLiteral("High"),   QStringLiteral("Low"),     QStringLiteral("Close"),
             QStringLiteral("Volume"), QStringLiteral("Open Int")};
    widths = {75, 50, 60, 60, 60, 60, 70, 65};
  } else {
    heads = {QStringLiteral("Date"),    QStringLiteral("Open"),  QStringLiteral("High"),
             QStringLiteral("Low"),     QStringLiteral("Close"), QStringLiteral("Volume"),
             QStringLiteral("Open Int")};
    widths = {75, 60, 60, 60, 60, 70, 65};
  }
  m_list->setColumnCount((int)heads.size());
  m_list->setHeaderLabels(heads);
  for (int c = 0; c < (int)widths.size(); c++) m_list->setColumnWidth(c, widths[c] + 10);
  for (int i = m_count - 1; i >= 0; i--) {
    auto* item = new QTreeWidgetItem(m_list);
    item->setData(COL_DATE, Qt::UserRole, i);
    fill_row(m_list->indexOfTopLevelItem(item), i);
  }
  EnableDlgItem(IDC_PRICES_DELETE, false);
  EnableDlgItem(IDC_PRICES_MODIFY, false);
  EnableDlgItem(IDC_PRICES_ADD, false);
  if (!intraday()) {
    EnableDlgItem(IDC_PRICES_TIME, false);
    EnableDlgItem(IDC_PRICES_TIME_LABEL, false);
  }
  return true;
}

void CEditPricesDlg::fill_row(int row, int index) {
  QTreeWidgetItem* item = m_list->topLevelItem(row);
  if (!item) return;
  const chart_bar& b = m_work[index];
  char buf[64];
  QStringList t;
  t << QString::fromLatin1(format_date(seconds_to_date(b.time), buf, g_date_style));
  if (intraday()) {
    int secs = (int)(((int64_t)b.time % 86400 + 86400) % 86400);
    t << QString::asprintf("%02d:%02d", secs / 3600, secs / 60 % 60);
  }
  t << price_text(b, HAS_OPEN, b.open) << price_text(b, HAS_HIGH, b.high)
    << price_text(b, HAS_LOW, b.low) << price_text(b, HAS_CLOSE, b.close)
    << count_text(b, HAS_VOLUME, b.volume)
    << count_text(b, (b.flags & HAS_VWAP) ? 0u : (uint32_t)HAS_OI, b.extra);
  for (int c = 0; c < t.size(); c++) {
    item->setText(c, t[c]);
    if (c >= (intraday() ? 2 : 1)) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  }
}

int CEditPricesDlg::RowOfBar(int index) const {
  for (int r = 0; r < m_list->topLevelItemCount(); r++)
    if (m_list->topLevelItem(r)->data(COL_DATE, Qt::UserRole).toInt() == index) return r;
  return -1;
}

void CEditPricesDlg::on_selection() {
  QList<QTreeWidgetItem*> sel = m_list->selectedItems();
  EnableDlgItem(IDC_PRICES_DELETE, !sel.isEmpty());
  EnableDlgItem(IDC_PRICES_MODIFY, sel.size() == 1);
  const int edits[] = {IDC_PRICES_DATE, IDC_PRICES_TIME,  IDC_PRICES_OPEN,   IDC_PRICES_HIGH,
                       IDC_PRICES_LOW,  IDC_PRICES_CLOSE, IDC_PRICES_VOLUME, IDC_PRICES_OI};
  if (sel.size() != 1) {
    for (int id : edits) SetDlgItemText(id, QString());
    return;
  }
  QTreeWidgetItem* item = sel.front();
  int c = 0;
  SetDlgItemText(IDC_PRICES_DATE, item->text(c++));
  SetDlgItemText(IDC_PRICES_TIME, intraday() ? item->text(c++) : QString());
  for (int id : {IDC_PRICES_OPEN, IDC_PRICES_HIGH, IDC_PRICES_LOW, IDC_PRICES_CLOSE,
                 IDC_PRICES_VOLUME, IDC_PRICES_OI})
    SetDlgItemText(id, item->text(c++));
}

void CEditPricesDlg::on_modify() {
  QList<QTreeWidgetItem*> sel = m_list->selectedItems();
  if (sel.size() != 1) return;
  int index = sel.front()->data(COL_DATE, Qt::UserRole).toInt();
  if (index < 0 || index >= m_count) return;
  // Every entry is read before anything changes: one bad entry refuses
  // the whole Modify.
  double open = 0, high = 0, low = 0, close = 0;
  int volume = 0, oi = 0;
  read_result r_open, r_high, r_low, r_close, r_vol, r_oi;
  struct check {
    int id;
    read_result* r;
  } checks[] = {{IDC_PRICES_OPEN, &r_open},   {IDC_PRICES_HIGH, &r_high},  {IDC_PRICES_LOW, &r_low},
                {IDC_PRICES_CLOSE, &r_close}, {IDC_PRICES_VOLUME, &r_vol}, {IDC_PRICES_OI, &r_oi}};
  r_open = read_price(GetDlgItemText(IDC_PRICES_OPEN), &open);
  r_high = read_price(GetDlgItemText(IDC_PRICES_HIGH), &high);
  r_low = read_price(GetDlgItemText(IDC_PRICES_LOW), &low);
  r_close = read_price(GetDlgItemText(IDC_PRICES_CLOSE), &close);
  r_vol = read_count(GetDlgItemText(IDC_PRICES_VOLUME), &volume);
  r_oi = read_count(GetDlgItemText(IDC_PRICES_OI), &oi);
  for (const check& c : checks)
    if (*c.r == READ_BAD) {
      kv_message_box(c.id == IDC_PRICES_VOLUME || c.id == IDC_PRICES_OI ? "Please enter an integer."
                                                                        : "Please enter a number.",
                     "Korvane", MB_OK | MB_ICONEXCLAMATION);
      if (QWidget* w = GetDlgItem(c.id)) w->setFocus();
      return;
    }
  chart_bar& b = m_work[index];
  // A price left as shown keeps its stored value: the list shows prices
  // rounded, and a Modify of one field must not round the others.
  auto as_shown = [&](int id, read_result r, uint32_t bit, float stored, double* v) {
    if (r == READ_VALUE && GetDlgItemText(id).trimmed() == price_text(b, bit, stored)) *v = stored;
  };
  as_shown(IDC_PRICES_OPEN, r_open, HAS_OPEN, b.open, &open);
  as_shown(IDC_PRICES_HIGH, r_high, HAS_HIGH, b.high, &high);
  as_shown(IDC_PRICES_LOW, r_low, HAS_LOW, b.low, &low);
  as_shown(IDC_PRICES_CLOSE, r_close, HAS_CLOSE, b.close, &close);
  auto store = [&b](float* field, uint32_t bit, double v) {
    if (has_price(b, bit, *field) && *field == (float)v) return;
    *field = (float)v;
    b.flags |= bit | BAR_CHANGED;
  };
  if (r_open == READ_VALUE) store(&b.open, HAS_OPEN, open);
  if (r_close == READ_VALUE) store(&b.close, HAS_CLOSE, close);
  bool have_o = has_price(b, HAS_OPEN, b.open), have_c = has_price(b, HAS_CLOSE, b.close);
  float top = have_o && have_c ? std::max(b.open, b.close) : have_o ? b.open : b.close;
  float bottom = have_o && have_c ? std::min(b.open, b.close) : have_o ? b.open : b.close;
  bool ends = have_o || have_c;
  if (r_high == READ_VALUE) {
    // A high below the body becomes the body's top.
    if (ends && high < top) high = top;
    if (high != b.high || !has_price(b, HAS_HIGH, b.high) || (ends && b.high < top))
      b.high = (float)high, b.flags |= HAS_HIGH | BAR_CHANGED;
  }
  if (r_low == READ_VALUE) {
    if (ends && low > bottom) low = bottom;
    if (low != b.low || !has_price(b, HAS_LOW, b.low) || (ends && b.low > bottom))
      b.low = (float)low, b.flags |= HAS_LOW | BAR_CHANGED;
  }
  if (r_vol == READ_VALUE && (volume != b.volume || !(b.flags & HAS_VOLUME)))
    b.volume = volume, b.flags |= HAS_VOLUME | BAR_CHANGED;
  if (r_oi == READ_VALUE && !(b.flags & HAS_VWAP) && (oi != b.extra || !(b.flags & HAS_OI)))
    b.extra = oi, b.flags |= HAS_OI | BAR_CHANGED;
  fill_row(m_list->indexOfTopLevelItem(sel.front()), index);
}

void CEditPricesDlg::on_delete() {
  QList<QTreeWidgetItem*> sel = m_list->selectedItems();
  for (QTreeWidgetItem* item : sel) {
    int index = item->data(COL_DATE, Qt::UserRole).toInt();
    if (index >= 0 && index < m_count) m_work[index].flags |= BAR_DELETED;
    delete item;
  }
  on_selection();
}

void CEditPricesDlg::OnOK() {
  if (!m_chart) {
    EndDialog(IDOK);
    return;
  }
  int write = 0;
  {
    kv_lock guard(g_chart_lock);
    bool changed = false;
    // Last to first, so that a removed bar leaves the indexes below it.
    for (int i = std::min(m_count, m_chart->header.bar_count) - 1; i >= 0; i--) {
      chart_bar& b = m_work[i];
      if (b.flags & BAR_DELETED) {
        delete_bar(m_chart, i);
        changed = true;
      } else if (b.flags & BAR_CHANGED) {
        b.flags = (b.flags | BAR_HAND_EDITED) & ~BAR_CHANGED;
        m_chart->bars[i] = b;
        sync_bar_to_link(m_chart, i);
        changed = true;
      }
    }
    if (changed) {
      m_chart->header.flags |= CHART_BARS_CHANGED | CHART_RECALC | CHART_MERGED;
      write = write_chart_file(m_chart) ? -1 : 1;
    }
  }
  if (write) recalc_studies(m_chart, 1);
  if (write < 0) {
    char text[128];
    snprintf(text, sizeof text, "Unable to write the price file of %s", m_chart->header.symbol);
    kv_message_box(text, "Korvane", MB_OK | MB_ICONEXCLAMATION);
  }
  EndDialog(IDOK);
}
