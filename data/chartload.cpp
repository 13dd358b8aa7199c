// get_chart_data: resolving the symbol, the stored header, the missing span
// of daily, weekly and monthly charts, fetching it, merging and saving, and
// listing the loaded chart.
#include "data/chartload.h"

#include <cstdio>
#include <cstring>

#include "data/alias.h"
#include "data/chart_flags.h"
#include "data/derived.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/exchclock.h"
#include "data/quotecfg.h"
#include "data/spread.h"
#include "data/statmsg.h"
#include "data/textutil.h"
#include "data/timemarks.h"
#include "data/webimport.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"

static chart_load_hooks default_hooks() {
  chart_load_hooks hooks = {};
  hooks.web_import = parse_web_data;
  return hooks;
}

chart_load_hooks g_chart_load_hooks = default_hooks();

// Days a daily start date is raised to for a broker-fed symbol holding "_".
enum { BROKER_DAILY_DAYS = 173 };

void discard_fetched_chart(chart_rec* chart) {
  if (!chart) return;
  chart->header.flags &= ~(CHART_BARS_CHANGED | CHART_EXT_CHANGED | CHART_MERGED | CHART_MERGED2);
  free_chart_data(chart);
}

int chart_fetch_considered(uint32_t flags) {
  return (flags & (CHART_REQ_FETCH | CHART_REQ_RELOAD | CHART_REQ_AUTO_UPDATE)) &&
         !(flags & CHART_REQ_NEVER_FETCH);
}

uint32_t router_capabilities(void) {
  kv_lock guard(g_chart_lock);
  quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  return cfg ? cfg->router_capabilities : 0;
}

int broker_connected(void) {
  return g_chart_load_hooks.broker_connected && g_chart_load_hooks.broker_connected();
}

static int is_daily_class(int unit) {
  return unit >= TU_DAILY && unit < TU_WEEKLY;
}

// The unit whose file holds a unit's bars: n-day charts are built from the
// daily file.
static int stored_unit(int unit) {
  return is_daily_class(unit) ? TU_DAILY : unit;
}

// The first date of the span to fetch when none was asked for.
static int default_start_date(const char* symbol, int unit) {
  if (is_daily_class(unit)) {
    int first = g_settings.StartDateDaily;
    if ((router_capabilities() & ROUTER_CAP_BROKER) && broker_connected() &&
        g_settings.ContUpdate && strchr(symbol, '_')) {
      int floor = add_days(today_date(0), -BROKER_DAILY_DAYS);
      if (first < floor) first = floor;
    }
    return first;
  }
  if (unit == TU_WEEKLY) return g_settings.StartDateWeekly;
  if (unit == TU_MONTHLY) return g_settings.StartDateMonthly;
  return 0;
}

// Fetches the span [first, last] of a daily, weekly or monthly chart from
// its source; null when nothing came.
static chart_rec* fetch_history(const char* symbol, int unit, int* first, int last,
                                const chart_rec* stored, const char* source,
                                const char* parse_file) {
  uint32_t options = 0;
  if (!stored->header.description[0]) options |= FETCH_OPT_DESCRIPTION;
  int d = days_between(*first, last);
  if (unit == TU_WEEKLY) {
    if (d <= 20) *first = add_days(*first, -21);
    if (d > 150) options |= FETCH_OPT_LONG_SPAN;
  } else if (unit == TU_MONTHLY) {
    if (d < 90) *first = add_days(*first, -90);
    if (d > 600) options |= FETCH_OPT_LONG_SPAN;
  } else {
    if (d < 7) *first = add_days(*first, -7);
    if (d > 30) options |= FETCH_OPT_LONG_SPAN;
  }
  if (strncmp(symbol, "R~", 2) == 0) {
    return new_spread_chart(symbol, unit);
  }
  if (strchr(symbol, '~') && symbol[0] != 'M') return nullptr;
  if (!g_chart_load_hooks.web_import) return nullptr;
  return g_chart_load_hooks.web_import(unit, symbol, *first, last, options, source, parse_file);
}

static void report_fetch(const chart_rec* fetched, uint32_t flags, const char* source, int first,
                         int last) {
  if (fetched->fetch_status == FETCH_STATUS_QUIET) return;
  char from[16], to[16], text[256];
  format_date(first, from, g_settings.DateStyle);
  format_date(last, to, g_settings.DateStyle);
  snprintf(text, sizeof text, "%s data for %s from %s (%s to %s)",
           (flags & CHART_REQ_RELOAD) ? "Reloaded" : "Updated", fetched->header.symbol,
           source ? source : "Internet", from, to);
  statmsg(nullptr, 0, text, nullptr, STATMSG_DATA_FOR);
}

// Links a listed chart to its live-quote record unless asked not to.
static void link_listed_chart(chart_rec* chart, const char* symbol, uint32_t flags) {
  if (flags & CHART_REQ_NO_MQT_LINK) return;
  const char* linked = lookup_alias(symbol, 1);
  if (!linked || !g_chart_load_hooks.link_chart_to_mqt) return;
  kv_lock guard(g_chart_lock);
  g_chart_load_hooks.link_chart_to_mqt(chart);
  if (chart->mqt && (chart->mqt->flags & MQT_ACCOUNT))
    snprintf(chart->header.description, CHART_DESCRIPTION_SIZE, "%s", chart->mqt->description);
}

chart_rec* get_chart_data(const char* symbol_in, int unit, int first, int last, uint32_t flags,
                          const char* source, const char* parse_file, int density) {
  debug_trace("E get_chart_data(%s,%d)\n", symbol_in ? symbol_in : "", unit);
  char symbol[CHART_SYMBOL_SIZE];
  {
    // A symbol in double quotes is the text between them.
    char text[CHART_PATH_SIZE];
    snprintf(text, sizeof text, "%s", symbol_in ? symbol_in : "");
    char* s = text;
    if (char* open = strchr(text, '"')) {
      s = open + 1;
      if (char* close = strchr(s, '"')) *close = 0;
    }
    int direction = (unit < TU_DAILY || unit > TU_MONTHLY) ? 1 : 0;
    const char* resolved = lookup_alias(s, direction);
    if (!resolved) return nullptr;
    copy_string_n(symbol, resolved, CHART_SYMBOL_SIZE - 1);
  }

  if (g_settings.AutoUpdate) flags |= CHART_REQ_AUTO_UPDATE;
  if (flags & CHART_REQ_SOURCE_FILE) {
    if (!source) return nullptr;
    chart_rec* named = read_chart_file_header(source, 0);
    if (!named) return nullptr;
    if (flags & CHART_REQ_HEADER_ONLY) return named;
    snprintf(symbol, sizeof symbol, "%s", named->header.symbol);
    unit = named->header.time_unit;
    free_chart_data(named);
    source = nullptr;
  } else if (source) {
    flags |= CHART_REQ_FETCH;
  }
  if (!symbol[0]) {
    statmsg(__FILE__, __LINE__, "Invalid symbol", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  if (last == 0) {
    last = update_exchange_clock();
    if (!last) last = today_date(1);
  }

  chart_rec* stored = get_chart_header(symbol, unit, 1);
  if (!stored) return nullptr;
  snprintf(stored->header.symbol, CHART_SYMBOL_SIZE, "%s", symbol);
  if (flags & CHART_REQ_HEADER_ONLY) return stored;

  chart_rec* fetched = nullptr;
  int stored_first = stored->header.first_date;
  if (stored_first == 0 && (flags & CHART_REQ_FETCH_IF_EMPTY)) {
    if (!strchr(symbol, '_') && strncmp(symbol, "R~", 2) != 0) {
      flags |= CHART_REQ_FETCH;
    } else if (unit == TU_DAILY) {
      fetched = new_chart(symbol, TU_DAILY);
      if (fetched) update_daily_from_intraday(fetched);
      if (fetched && fetched->header.bar_count <= 0) {
        discard_fetched_chart(fetched);
        fetched = nullptr;
      }
    }
  }

  int fetching = chart_fetch_considered(flags);
  if (!(flags & CHART_REQ_RELOAD) && fetching && stored_first && !source) {
    // An update without a first date goes on from what is stored.
    if (first == 0 || first >= stored_first || unit < TU_DAILY) first = stored->header.last_date;
  }
  if (first == 0) first = default_start_date(symbol, unit);

  if (unit >= TU_DAILY && unit <= TU_MONTHLY && fetching && last >= first) {
    chart_rec* got = fetch_history(symbol, unit, &first, last, stored, source, parse_file);
    if (got) {
      // Bars of an earlier step give way to what was fetched now.
      if (fetched) discard_fetched_chart(fetched);
      fetched = got;
    }
  }
  if (fetched) {
    report_fetch(fetched, flags, source, first, last);
    // n-day bars are fetched as daily bars into the daily file.
    fetched->header.time_unit = stored_unit(unit);
    set_chart_dates(fetched);  // the file's header dates come from the bars
    if (!fetched->header.description[0])
      memcpy(fetched->header.description, stored->header.description, CHART_DESCRIPTION_SIZE);
  }
  free_chart_data(stored);

  if (unit >= 1 && unit <= TU_MAX_MINUTES) {
    discard_fetched_chart(fetched);
    return create_intraday_chart(symbol, unit, flags);
  }
  if (unit < TU_TICK_BASE) {
    discard_fetched_chart(fetched);
    return create_tick_chart(symbol, unit, flags);
  }
  if (is_seconds_unit(unit)) {
    discard_fetched_chart(fetched);
    return create_seconds_chart(symbol, unit, flags);
  }

  int file_unit = stored_unit(unit);
  chart_rec* chart = load_and_merge_chart(symbol, fetched, file_unit, flags);
  if (chart && file_unit != unit) {
    chart_rec* days = compress_minute_chart(chart, unit);
    free_chart_data(chart);
    chart = days;
  }
  if (!chart) return nullptr;
  if (chart->header.bar_count <= 0) {
    free_chart_data(chart);
    return nullptr;
  }

  // A chart found on the list is linked already.
  int was_listed = (chart->header.flags & CHART_LISTED) != 0;
  list_chart(chart);
  if (!was_listed) link_listed_chart(chart, symbol, flags);
  set_time_axis_density(chart, density);
  if (unit == TU_DAILY && g_settings.ContUpdate && g_chart_load_hooks.dchart_update) {
    kv_lock guard(g_chart_lock);
    if (chart->mqt && exchange_is_open(chart->mqt))
      g_chart_load_hooks.dchart_update(chart, chart->mqt);
  }
  dump_chart_list("L get_chart_data", chart);
  return chart;
}
