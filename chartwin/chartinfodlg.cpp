// The Chart Info dialog.
#include "chartwin/chartinfodlg.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "broker/orders.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartsetupdlg.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"

namespace {

QString fixed_text(const char* field, int size) {
  char buf[128];
  chart_settings_text(field, size, buf);
  return QString::fromLatin1(buf);
}

QChar yn(uint32_t flags, uint32_t bit) {
  return (flags & bit) ? QChar('y') : QChar('n');
}

QString bar_when(const chart_bar& b, bool seconds) {
  char date[32], time[16];
  int secs = (int)(((int64_t)b.time % 86400 + 86400) % 86400);
  format_date(seconds_to_date(b.time), date, g_date_style);
  return QStringLiteral("%1-%2").arg(
      QLatin1String(date),
      QLatin1String(seconds ? format_time(secs, time) : format_hhmm(secs, time)));
}

}  // namespace

CChartInfoDlg::CChartInfoDlg(const ChartSettings* settings, CKvChartDoc* doc, QWidget* parent)
    : KvDialog(IDD_CHART_INFO, parent), m_settings(settings), m_doc(doc) {
  setWindowTitle(QStringLiteral("Chart Info"));
  auto* top = new QVBoxLayout(this);
  auto* list = AddControl(IDC_CHART_INFO_LIST, new KvListBox(false, this));
  list->setMinimumSize(520, 320);
  top->addWidget(list);
  auto* buttons = new QDialogButtonBox(this);
  auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this));
  ok->setDefault(true);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(AddControl(IDHELP_BUTTON, new QPushButton(QStringLiteral("&Help"), this)),
                     QDialogButtonBox::HelpRole);
  top->addWidget(buttons);
}

QStringList CChartInfoDlg::BuildLines(const ChartSettings* s, CKvChartDoc* doc) {
  QStringList out;
  if (!s) return out;
  QString page = QFileInfo(QString::fromLocal8Bit(g_settings.Pages)).completeBaseName();
  out << QStringLiteral("Page Layout Name: %1").arg(page);
  QString name = fixed_text(s->favorite_name, sizeof s->favorite_name);
  out << QStringLiteral("Chart Name: %1").arg(name.isEmpty() ? QStringLiteral("*") : name);
  kv_lock guard(g_chart_lock);
  chart_rec* chart = doc ? doc->m_chart : nullptr;
  out << QStringLiteral("Symbol: %1, Underlying: ").arg(fixed_text(s->symbol, sizeof s->symbol));
  const mqt* q = chart ? chart->mqt : nullptr;
  if (q) {
    char tick[64];
    out << QStringLiteral("Currency: %1, Exchange: %2")
               .arg(QString::fromLatin1(q->currency, strnlen(q->currency, sizeof q->currency)),
                    QString::fromLatin1(q->exchange, strnlen(q->exchange, sizeof q->exchange)));
    out << QStringLiteral("Mintick: %1, Multiplier: %2")
               .arg(QLatin1String(format_price(q->tick_size, tick, tick_decimals(q->tick_size), 0)))
               .arg(QString::asprintf("%g", (double)q->multiplier));
  }
  out << QStringLiteral("Company Name: %1").arg(fixed_text(s->chart_name, sizeof s->chart_name));
  int unit = chart ? chart->header.time_unit : s->time_unit;
  int type = s->chart_type >= 0 && s->chart_type <= 10 ? s->chart_type : 0;
  out << QStringLiteral("Time Unit: %1, Scaling: %2, Chart Type: %3")
             .arg(QLatin1String(CKvChartDoc::GetTimeUnitName(unit)),
                  s->percent ? QStringLiteral("Percent") : QStringLiteral("Linear"),
                  QLatin1String(CChartSetupDlg::kChartTypeNames[type]));
  int bars = chart ? chart->header.bar_count : 0;
  if (bars > 0) {
    bool secs = is_tick_unit(unit) || is_volume_unit(unit);
    out << QStringLiteral("Date Range: %1 to %2")
               .arg(bar_when(chart->bars[0], secs), bar_when(chart->bars[bars - 1], secs));
  }
  int lines = 0;
  for (const chart_extension* e = chart ? chart->extensions : nullptr; e; e = e->next) lines++;
  out << QStringLiteral("# of Data Points: %1, # of Chart Extensions: %2").arg(bars).arg(lines);
  uint32_t f = s->flags;
  out << QString() << QStringLiteral("Flag Settings:");
  out << QStringLiteral(
             "Hide Price Studies: %1, Scale Price w/o Studies: %2, Show Trading Zones: %3")
             .arg(yn(f, 0x10))
             .arg(yn(f, 0x40))
             .arg(yn(f, 0x80));
  out << QStringLiteral("Show All Sessions: %1, Hide Title: %2, Hide Legend: %3")
             .arg(yn(f, 0x100))
             .arg(yn(f, 0x1000000))
             .arg(yn(f, 0x2000000));
  out << QStringLiteral("Hide Primary Scale: %1, Hide Secondary Scale: %2")
             .arg(yn(f, 0x4000000))
             .arg(yn(f, 0x8000000));
  out << QStringLiteral("Hide Volume: %1, Hide Volume Studies: %2")
             .arg(yn(f, 0x20000000))
             .arg(yn(f, 0x40000000));
  out << QString() << QStringLiteral("Limit Orders:");
  if (q) {
    int decimals = tick_decimals(q->tick_size);
    for (order_rec* o = get_mqt_orders(const_cast<mqt*>(q)); o; o = o->next) {
      if (o->record != q || o->status != ORDER_SUBMITTED || order_type(o) != ORDER_LMT ||
          (o->relay.type & ORDER_SIMULATED))
        continue;
      char price[64];
      out << QStringLiteral("%1 %2 @ %3  dpth=%4")
                 .arg(order_action(o) == ORDER_BUY ? QStringLiteral("Buy ")
                                                   : QStringLiteral("Sell"))
                 .arg(o->relay.quantity)
                 .arg(QLatin1String(format_price(o->relay.limit, price, decimals, 0)))
                 .arg(o->queue_depth);
    }
  }
  return out;
}

bool CChartInfoDlg::OnInitDialog() {
  auto* list = dynamic_cast<KvListBox*>(GetDlgItem(IDC_CHART_INFO_LIST));
  if (list)
    for (const QString& line : BuildLines(m_settings, m_doc)) list->AddString(line);
  return true;
}
