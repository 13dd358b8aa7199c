// The events list and which events fall on a bar.
#include "chartwin/chartevents.h"

#include <algorithm>

#include "chart/chart_hooks.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "platform/locks.h"
#include "settings/settings.h"

event_list CEvents::s_list = {nullptr, 0};

namespace {

constexpr int kDaily = 390, kWeekly = 2730, kMonthly = 11700;

// Seconds one intraday bar spans: minutes x 60, or |unit| seconds on a
// seconds chart; 0 for tick and volume charts, whose bars span to the next.
int64_t bar_span(int unit) {
  if (unit >= 1 && unit < kDaily) return (int64_t)unit * 60;
  if (unit < 0 && unit > -100) return -(int64_t)unit;
  return 0;
}

int64_t day_seconds(int64_t t) {
  return ((t % 86400) + 86400) % 86400;
}

}  // namespace

int CEvents::LoadEventsFile() {
  int n = read_events_file(&s_list);
  g_chart_hooks.count_bar_events = CountBarEvents;
  return n;
}

void CEvents::FreeEvents() {
  g_chart_hooks.count_bar_events = nullptr;
  free_events_list(&s_list);
}

int CEvents::EventOnBar(const chart_rec* c, int index, const event_rec* ev, int today) {
  int n = c->header.bar_count;
  if (index < 0 || index > n || n <= 0) return 0;
  int unit = c->header.time_unit;
  int ev_date = seconds_to_date(ev->time);
  if (index == n) {
    const chart_bar& last = c->bars[n - 1];
    int d = seconds_to_date(last.time);
    if (unit == kMonthly || unit == kWeekly)
      return ev_date >= std::min(add_days(d, unit == kMonthly ? 30 : 7), today);
    if (unit >= kDaily) return ev_date > d;
    int64_t span = bar_span(unit);
    if (ev_date == d) return ev->time >= (int64_t)last.time + span && ev->time > last.time;
    return ev_date == add_days(d, 1);
  }
  const chart_bar& b = c->bars[index];
  int d = seconds_to_date(b.time);
  if (unit == kMonthly || unit == kWeekly) {
    int end = std::min(add_days(d, unit == kMonthly ? 30 : 7), today);
    return ev_date >= d && ev_date < end;
  }
  if (unit >= kDaily) return ev_date == d;
  if (ev_date != d) return 0;
  if (day_seconds(ev->time) == 0)
    return index == 0 || seconds_to_date(c->bars[index - 1].time) != d;
  int64_t span = bar_span(unit);
  int64_t end = (int64_t)b.time + span;
  if (span == 0) end = index + 1 < n ? (int64_t)c->bars[index + 1].time : (int64_t)b.time + 1;
  return ev->time >= b.time && ev->time < end;
}

int CEvents::CountBarEvents(chart_rec* chart, int index) {
  if (!chart) return 0;
  int today = today_date(1);
  int count = 0;
  for (const event_rec* e = s_list.head; e; e = e->next)
    if (EventOnBar(chart, index, e, today)) count++;
  if (index >= chart->header.bar_count) count = std::min(count, 5);
  return count;
}

CEvents& CEvents::Popup() {
  static CEvents popup;
  return popup;
}

void CEvents::SetUpData(KvCanvasView* view, const ChartSettings* settings, chart_rec* chart,
                        int index, int, int) {
  if (g_option_flags & OPT_TRACE_VIEW) debug_trace("CEvents::SetUpData()\n");
  clear_lines();
  m_index = index;
  if (!view || !settings || !chart) return;
  m_bg = settings->bg_color;
  kv_lock guard(g_chart_lock);
  int n = chart->header.bar_count;
  if (index < 0 || index > n) return;
  int today = today_date(1);
  int limit = index == n ? CountBarEvents(chart, index) : 1 << 30;
  char date[32], hhmm[16];
  for (const event_rec* e = s_list.head; e && (int)Lines().size() < limit; e = e->next) {
    if (!EventOnBar(chart, index, e, today)) continue;
    format_date(seconds_to_date(e->time), date, g_date_style);
    int secs = (int)day_seconds(e->time);
    QString label =
        secs == 0
            ? QStringLiteral("%1 %2 ").arg(QString::fromLatin1(date), QString::fromLatin1(e->label))
            : QStringLiteral("%1 %2 %3 ")
                  .arg(QString::fromLatin1(date), QString::fromLatin1(format_hhmm(secs, hhmm)),
                       QString::fromLatin1(e->label));
    add_line(label, QString::fromLatin1(e->text), text_color());
  }
  int visible = settings->m_nNum > 0 ? settings->m_nNum : 1;
  SizeWindow(view, std::min(index, n - 1) - settings->m_nFirst, visible);
}
