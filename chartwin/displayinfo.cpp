// The candle-information pop-up: the lines of one bar and its studies.
#include "chartwin/displayinfo.h"

#include <QByteArray>
#include <cstdio>

#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/qt/canvas.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"
#include "studies/pages/ppcommon.h"
#include "studies/studyapi.h"

namespace {

// Which values a bar carries (the bar's flag word).
enum : uint32_t {
  HAS_OPEN = 0x20000,
  HAS_HIGH = 0x40000,
  HAS_LOW = 0x80000,
  HAS_CLOSE = 0x100000,
  HAS_VOLUME = 0x400000,
  HAS_OI = 0x800000,
  HAS_VWAP = 0x1000000,
};
constexpr uint32_t kLibraryNoValue = 0x10000;
constexpr float kMissingBelow = -1e19f;

QString fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
QString fmt(const char* format, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  return QString::fromLatin1(buf);
}

QString price_text(double v, int decimals) {
  char buf[64];
  return QString::fromLatin1(format_price(v, buf, decimals, 0));
}

QString volume_text(int v) {
  char buf[64];
  return QString::fromLatin1(format_volume(buf, v, 1));
}

bool tracing() {
  return (g_option_flags & OPT_TRACE_VIEW) != 0;
}

// The colour of a price or volume label: the chart's colour for the
// bar's direction, unless it would vanish on the background.
COLORREF direction_color(COLORREF chosen, COLORREF bg) {
  return chosen == bg ? (bg == 0 ? 0xFFFFFF : 0) : chosen;
}

}  // namespace

bool CDisplayInfo::StudyLine(const StudyDef* s, int index, QString* label, QString* value) {
  float v;
  if (s->outputs) {
    if (index < 0 || index >= s->output_len) return false;
    v = s->outputs[index];
  } else if (s->type & STUDY_DAILY_LINE) {
    v = s->value;
  } else {
    return false;
  }
  if (!(v >= kMissingBelow)) return false;
  int per = s->period;
  int t = s->type;
  if (t & STUDY_FAM_LIBRARY) {
    if (s->name[0] != '*') {
      *label = QString::fromLatin1(s->name) + QStringLiteral(": ");
      *value = (s->param_flags & kLibraryNoValue) ? QString() : fmt("%.2f", v);
      return true;
    }
    char abbrev[9];
    snprintf(abbrev, sizeof abbrev, "%.8s", s->abbrev);
    QString l = fmt("%s(%d", abbrev, per);
    const double params[4] = {s->p1, s->p2, s->p3, s->p4};
    for (int k = 0; k < 4; k++) {
      if (!(s->param_flags & (STUDY_SHOW_P1 << k))) continue;
      // Bits 0-3 pick each parameter's style: a decimal number or a count.
      l += (s->param_flags & (1u << k)) ? fmt(",%.2f", params[k]) : fmt(",%d", (int)params[k]);
    }
    *label = l + QStringLiteral("): ");
    *value = (s->param_flags & kLibraryNoValue) ? QString() : fmt("%.2f", v);
    return true;
  }
  if (s->name[0] != '*') {
    *label = CPPCommon::makeName(s) + QStringLiteral(": ");
    *value = price_text(v, 2);
    return true;
  }
  int i1 = (int)s->p1, i2 = (int)s->p2;
  switch (t) {
    case STUDY_RSI:
      *label = fmt("RSI(%d): ", per), *value = fmt(" %.2f", v);
      return true;
    case STUDY_CCI:
      *label = fmt("CCI(%d): ", per), *value = fmt(" %.2f", v);
      return true;
    case STUDY_VHF:
      *label = fmt("VHF(%d): ", per), *value = fmt(" %.2f", v);
      return true;
    case STUDY_STOCH_K:
      *label = fmt("%%K(%d,%d): ", per, i1), *value = fmt("%.2f", v);
      return true;
    case STUDY_STOCH_D:
      *label = fmt("%%D(%d,%d,%d): ", per, i1, i2), *value = fmt("%.2f", v);
      return true;
    case STUDY_BB_PERCENT:
      *label = fmt("%%B(%d,%.1f,%d): ", per, s->p2, (int)s->p3), *value = fmt("%.2f", v);
      return true;
    case STUDY_BB_WIDTH:
      *label = fmt("BBWID(%d): ", per), *value = fmt("%.3f", v);
      return true;
    case STUDY_NET_VOLUME:
      *label = QStringLiteral("NETVOL: "), *value = fmt("%4.0f", v);
      return true;
    case STUDY_OBV:
      *label = QStringLiteral("OBV: "), *value = fmt("%9.0f", v);
      return true;
    case STUDY_AD_LINE:
      *label = QStringLiteral("ACCDL: "), *value = fmt("%9.0f", v);
      return true;
    case STUDY_CHAIKIN:
      *label = QStringLiteral("CHAI: "), *value = fmt("%9.0f", v);
      return true;
    case STUDY_PVT:
      *label = QStringLiteral("PVT: "), *value = fmt(" %9.0f", v);
      return true;
    case STUDY_REL_VOLUME:
      *label = fmt("RVOL(%d): ", per), *value = fmt("%d%%", (int)v);
      return true;
    case STUDY_INTRADAY_REL_VOLUME:
      *label = fmt("IRVOL(%d): ", per), *value = fmt("%d%%", (int)v);
      return true;
    case STUDY_INTRADAY_ACC_VOLUME:
      *label = fmt("IACCVOL(%d): ", per), *value = fmt("%d%%", (int)v);
      return true;
    case STUDY_AVG_VOLUME:
      *label = fmt("AVGVOL(%d): ", per), *value = volume_text((int)v);
      return true;
    case STUDY_NET_VOLUME_RATIO:
      *label = fmt("AVGNVOLRAT(%d): ", per), *value = volume_text((int)v);
      return true;
    case STUDY_AVG_NET_VOLUME:
      *label = fmt("AVGNETVOL(%d): ", per), *value = volume_text((int)v);
      return true;
    case STUDY_TRADE_SIGNALS: {
      // The output word carries the signal letters in its bits.
      uint32_t w;
      memcpy(&w, &v, sizeof w);
      int n = (int)(w & 0x1FFF);
      if (n & 0x1000) n -= 0x2000;
      auto c = [w](uint32_t bit, char letter) { return (w & bit) ? letter : '_'; };
      *label = fmt("Trade(%d): ", n);
      *value = fmt("B:%c%c%c%c S:%c%c%c%c", c(0x10000000, 'C'), c(0x8000000, 'O'),
                   c(0x80000000, 'S'), c(0x40000000, 'T'), c(0x800000, 'C'), c(0x400000, 'O'),
                   c(0x4000000, 'S'), c(0x2000000, 'T'));
      return true;
    }
    case STUDY_SMA:
    case STUDY_EMA:
    case STUDY_WMA:
    case STUDY_TMA:
    case STUDY_VMA: {
      static const char kLetters[] = "SEWTV";
      char letter = kLetters[(t & STUDY_NUMBER_MASK) - 1];
      if (s->price_type == PRICE_VWAP)
        *label = letter == 'S' ? fmt("VWAP(%d): ", per) : fmt("%cVWAP(%d): ", letter, per);
      else
        *label = fmt("%cMA(%d): ", letter, per);
      *value = price_text(v, 2);
      return true;
    }
    case STUDY_BB_UPPER:
    case STUDY_BB_MID:
    case STUDY_BB_LOWER:
      *label = fmt("BB(%d,%.2f): ", per, s->p2);
      break;
    case STUDY_STDDEV:
      *label = fmt("SDV(%d): ", per);
      break;
    case STUDY_MACD:
      *label = fmt("MACD(%d,%d,%d): ", per, i1, i2);
      break;
    case STUDY_MACD_SIGNAL:
      *label = fmt("MDSL(%d,%d,%d): ", per, i1, i2);
      break;
    case STUDY_EQUITY:
      *label = QStringLiteral("Equity(): ");
      break;
    case STUDY_SUPPORT1:
      *label = QStringLiteral("S1: ");
      break;
    case STUDY_SUPPORT2:
      *label = QStringLiteral("S2: ");
      break;
    case STUDY_RESIST1:
      *label = QStringLiteral("R1: ");
      break;
    case STUDY_RESIST2:
      *label = QStringLiteral("R2: ");
      break;
    default: {
      QString name = CPPCommon::makeName(s);
      if (name.startsWith(QChar('*'))) name.remove(0, 1);
      *label = name + QStringLiteral(": ");
      break;
    }
  }
  *value = price_text(v, 2);
  return true;
}

void CDisplayInfo::SetUpData(KvCanvasView* view, const ChartSettings* settings, chart_rec* chart,
                             int index, float price, int, int, const char*) {
  if (tracing()) debug_trace("CDisplayInfo::SetUpData()\n");
  clear_lines();
  m_index = index;
  if (!view || !settings || !chart) return;
  m_bg = settings->bg_color;
  COLORREF text = text_color();
  kv_lock guard(g_chart_lock);
  if (index < 0 || index >= chart->header.bar_count) return;
  const chart_bar& b = chart->bars[index];
  const mqt* q = chart->mqt;
  int decimals = q ? tick_decimals(q->tick_size) : 2;
  bool account = q && (q->flags & MQT_ACCOUNT);
  int unit = chart->header.time_unit;
  char buf[64];
  QString na = QStringLiteral("n/a");

  add_line(
      QStringLiteral("Date: "),
      fmt("%s %s", format_date(seconds_to_date(b.time), buf, g_date_style), weekday_name(b.time)),
      text);
  if (unit < TU_DAILY) {
    int secs = (int)(((int64_t)b.time % 86400 + 86400) % 86400);
    add_line(QStringLiteral("Time: "),
             QString::fromLatin1(unit > 1 ? format_hhmm(secs, buf) : format_time(secs, buf)), text);
  }
  // The value bits come with imported bars; bars built from quotes carry
  // none, and their prices are all there. A price is missing only when its
  // bit is clear and nothing was stored for it.
  auto has = [&](uint32_t bit, float v) { return (b.flags & bit) || v != 0; };
  bool up = !(has(HAS_OPEN, b.open) && has(HAS_CLOSE, b.close) && b.close < b.open);
  COLORREF price_color =
      direction_color(up ? settings->up_color : settings->down_color, settings->bg_color);
  auto value = [&](uint32_t bit, float v) { return has(bit, v) ? price_text(v, decimals) : na; };
  add_line(QStringLiteral("Open: "), value(HAS_OPEN, b.open), price_color);
  add_line(QStringLiteral("Close: "), value(HAS_CLOSE, b.close), price_color);
  add_line(QStringLiteral("High: "), value(HAS_HIGH, b.high), price_color);
  add_line(QStringLiteral("Low: "), value(HAS_LOW, b.low), price_color);
  if (b.flags & HAS_VWAP)
    add_line(QStringLiteral("VWAP: "), price_text(b.vwap, decimals), price_color);
  add_line(QStringLiteral("Price@Cur: "), price != 0 ? fmt("%.2f", price) : na, text);
  add_line(QStringLiteral("Price Range: "),
           has(HAS_HIGH, b.high) && has(HAS_LOW, b.low) ? price_text(b.high - b.low, decimals) : na,
           text);
  COLORREF volume_color = direction_color(
      up ? settings->up_volume_color : settings->down_volume_color, settings->bg_color);
  QString vol_label = is_volume_unit(unit) ? QStringLiteral("Trades: ")
                      : account            ? QStringLiteral("EQwLN: ")
                                           : QStringLiteral("VOL: ");
  add_line(vol_label, (b.flags & HAS_VOLUME) ? volume_text(b.volume) : na, volume_color);
  if ((b.flags & HAS_OI) && !(b.flags & HAS_VWAP))
    add_line(account ? QStringLiteral("GPV: ") : QStringLiteral("OI: "), volume_text(b.extra),
             account ? direction_color(settings->oi_color, settings->bg_color) : text);
  for (const StudyDef* s = chart->studies; s; s = s->next) {
    QString label, v;
    if (StudyLine(s, index, &label, &v))
      add_line(label, v, direction_color(s->color, settings->bg_color));
  }
  int visible = settings->m_nNum > 0 ? settings->m_nNum : 1;
  SizeWindow(view, index - settings->m_nFirst, visible);
}
