// Spread charts: the definitions in spreads.cfg and the bars built from the
// two leg charts.
#include "data/spread.h"

#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/derived.h"
#include "data/statmsg.h"
#include "data/textutil.h"
#include "data/tokenfile.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "settings/datadirs.h"

static const char k_spreads_file[] = "spreads.cfg";
static const int k_spreads_mode = (int)SPREAD_TOKENS | (int)TOKEN_FILE_QUIET;

// Ratios are written with six decimals and stored in the chart as floats, so
// their size is bounded on both sides: smaller ones would be written as 0,
// larger ones would make prices beyond a float.
static const double k_ratio_min = 0.000001;
static const double k_ratio_max = 1e9;
enum { SPREAD_GROW = 2500 };

// The cached tokens of spreads.cfg, guarded by g_chart_lock.
static char** spread_tokens;
static int spread_count;
static int spread_loaded;

static void spreads_path(char* path, size_t size) {
  if (!data_folder_path(path, size, KV_DIR_CONFIG, k_spreads_file)) path[0] = 0;
}

static void load_spread_cache() {
  if (spread_loaded) return;
  char path[KV_MAX_PATH];
  spreads_path(path, sizeof path);
  spread_count = 0;
  spread_tokens = nullptr;
  if (path[0]) read_token_file(path, &spread_count, &spread_tokens, k_spreads_mode);
  spread_count -= spread_count % SPREAD_TOKENS;
  spread_loaded = 1;
}

void free_spread_cache() {
  kv_lock guard(g_chart_lock);
  free_tokens(spread_tokens);
  spread_tokens = nullptr;
  spread_count = 0;
  spread_loaded = 0;
}

int get_spread_definitions(char*** tokens) {
  *tokens = nullptr;
  char path[KV_MAX_PATH];
  spreads_path(path, sizeof path);
  int count = 0;
  if (!path[0] || !read_token_file(path, &count, tokens, k_spreads_mode)) return 0;
  return count - count % SPREAD_TOKENS;
}

// A name or leg becomes a chart symbol and a price-file name, and is written
// back as one blank-separated token: no blanks, quotes or comment marks.
static int usable_symbol(const char* s) {
  size_t n = strlen(s);
  return n > 0 && n < sizeof(((spread_def*)nullptr)->name) && kv_symbol_file_name_ok(s) &&
         !strpbrk(s, " \t\"#");
}

// A leg that is itself a ratio spread would be built from its own legs while
// this one is built, endlessly when the two refer to each other.
static int usable_leg(const char* leg, const char* name) {
  return usable_symbol(leg) && strncasecmp(leg, "R~", 2) != 0 && strcasecmp(leg, name) != 0;
}

static int usable_ratio(double r) {
  double a = fabs(r);
  return std::isfinite(r) && a >= k_ratio_min && a <= k_ratio_max;
}

static int parse_ratio(const char* text, double* out) {
  char* end = nullptr;
  double r = strtod(text, &end);
  if (end == text || *end) return 0;
  *out = r;
  return usable_ratio(r);
}

static int usable_definition(const spread_def* def) {
  return usable_symbol(def->name) && usable_leg(def->leg1, def->name) &&
         usable_leg(def->leg2, def->name) && usable_ratio(def->ratio1) && usable_ratio(def->ratio2);
}

int find_spread_definition(const char* name, spread_def* def) {
  if (!name) return 0;
  kv_lock guard(g_chart_lock);
  load_spread_cache();
  for (int i = 0; i < spread_count; i += SPREAD_TOKENS) {
    char** t = spread_tokens + i;
    if (strcasecmp(t[0], name) != 0) continue;
    spread_def d{};
    if (strlen(t[0]) < sizeof d.name && strlen(t[1]) < sizeof d.leg1 &&
        strlen(t[2]) < sizeof d.leg2) {
      strcpy(d.name, t[0]);
      strcpy(d.leg1, t[1]);
      strcpy(d.leg2, t[2]);
      if (parse_ratio(t[3], &d.ratio1) && parse_ratio(t[4], &d.ratio2) && usable_definition(&d)) {
        *def = d;
        return 1;
      }
    }
    statmsg(__FILE__, __LINE__, "Invalid spread definition:", t[0], STATMSG_ERROR);
    return 0;
  }
  return 0;
}

// A cached token written back so that it reads as the same token.
static void append_token(std::string* out, const char* token) {
  if (!out->empty() && out->back() != '\n') *out += ' ';
  if (!*token || strpbrk(token, " \t")) {
    *out += '"';
    *out += token;
    *out += '"';
  } else {
    *out += token;
  }
}

// Rewrites spreads.cfg from the cache, replacing or dropping the definition
// named like `name` and adding `add` when none was replaced.  1 written
// (the cache is dropped), 0 not (the file and the cache are as they were).
static int rewrite_spreads(const char* name, const spread_def* add) {
  load_spread_cache();
  std::string text;
  int replaced = 0;
  char line[256];
  for (int i = 0; i < spread_count; i += SPREAD_TOKENS) {
    char** t = spread_tokens + i;
    if (strcasecmp(t[0], name) == 0) {
      if (add && !replaced) {
        snprintf(line, sizeof line, "%s %s %s %f %f\r\n", add->name, add->leg1, add->leg2,
                 add->ratio1, add->ratio2);
        text += line;
        replaced = 1;
      }
      continue;
    }
    for (int k = 0; k < SPREAD_TOKENS; k++) append_token(&text, t[k]);
    text += "\r\n";
  }
  if (add && !replaced) {
    snprintf(line, sizeof line, "%s %s %s %f %f\r\n", add->name, add->leg1, add->leg2, add->ratio1,
             add->ratio2);
    text += line;
  }
  char path[KV_MAX_PATH];
  spreads_path(path, sizeof path);
  if (!path[0] || !kv_write_file_atomic(path, text.data(), text.size(), nullptr)) return 0;
  free_tokens(spread_tokens);
  spread_tokens = nullptr;
  spread_count = 0;
  spread_loaded = 0;
  return 1;
}

int save_spread_definition(const spread_def* def) {
  if (!def || !memchr(def->name, 0, sizeof def->name) || !memchr(def->leg1, 0, sizeof def->leg1) ||
      !memchr(def->leg2, 0, sizeof def->leg2) || !usable_definition(def))
    return 0;
  kv_lock guard(g_chart_lock);
  return rewrite_spreads(def->name, def);
}

int delete_spread_definition(const char* name) {
  if (!name) return 0;
  kv_lock guard(g_chart_lock);
  return rewrite_spreads(name, nullptr);
}

int balance_spread_legs(double price1, double ratio1, double price2, double ratio2,
                        double* out_ratio1, double* out_ratio2) {
  if (!(price1 > 0) || !(ratio1 > 0) || !(price2 > 0) || !(ratio2 > 0)) return 0;
  double a = price1 * ratio1;
  double b = price2 * ratio2;
  double r1, r2;
  if (a > b) {
    r1 = ratio1;
    r2 = ratio2 * (-a / b);
  } else {
    r2 = -ratio2;
    r1 = ratio1 * (b / a);
  }
  if (!std::isfinite(r1) || !std::isfinite(r2)) return 0;
  *out_ratio1 = r1;
  *out_ratio2 = r2;
  return 1;
}

chart_rec* new_spread_chart(const char* symbol, int time_unit) {
  if (!symbol || !*symbol) return nullptr;
  chart_rec* chart = new_chart(symbol, 0);
  if (!chart) return nullptr;
  chart->header.time_unit = time_unit;
  if (!grow_chart_bars(chart, SPREAD_GROW)) {
    statmsg(__FILE__, __LINE__, "can't allocate memory", symbol, STATMSG_ERROR);
    free_chart_data(chart);
    return nullptr;
  }
  chart->header.flags |= CHART_MERGED2;
  if (strncasecmp(symbol, "R~", 2) == 0) {
    chart->header.flags |= CHART_RATIO_SPREAD;
    snprintf(chart->header.description, sizeof chart->header.description, "%s", symbol);
  }
  build_spread_chart(chart);
  return chart;
}

// A leg at the chart's unit: intraday legs come from the 1-minute chart,
// compressed for n-minute units so that the spread's bars are of its unit.
static chart_rec* load_spread_leg(const char* leg, int unit) {
  if (unit >= TU_1MIN && unit <= TU_MAX_MINUTES) {
    chart_rec* minutes = get_1min_chart(leg, 0);
    if (!minutes || unit == TU_1MIN) return minutes;
    chart_rec* bars = compress_minute_chart(minutes, unit);
    free_chart_data(minutes);
    if (bars) bars->header.flags &= ~CHART_BARS_CHANGED;  // derived: nothing to write
    return bars;
  }
  if (unit == TU_DAILY || unit == TU_WEEKLY || unit == TU_MONTHLY)
    return load_and_merge_chart(leg, nullptr, unit, 0);
  return nullptr;
}

// One price of the spread from the legs' prices, or NAN when it has none.
static double combine(int ratio, double r1, double p1, double r2, double p2) {
  if (ratio) {
    double d = r2 * p2;
    return d != 0 ? r1 * p1 / d : NAN;
  }
  return r1 * p1 + r2 * p2;
}

static int finite_float(double v) {
  return std::isfinite(v) && fabs(v) <= 3.0e38;
}

void build_spread_chart(chart_rec* chart) {
  if (!chart) return;
  spread_def def;
  if (!find_spread_definition(chart->header.symbol, &def)) return;
  int unit = chart->header.time_unit;
  chart_rec* leg1 = load_spread_leg(def.leg1, unit);
  chart_rec* leg2 = leg1 ? load_spread_leg(def.leg2, unit) : nullptr;
  if (!leg1 || !leg2) {
    statmsg(__FILE__, __LINE__, "No data for: ", leg1 ? def.leg2 : def.leg1, STATMSG_ERROR);
    free_chart_data(leg1);
    return;
  }

  kv_lock guard(g_chart_lock);  // the chart and the legs may be listed
  int ratio = (chart->header.flags & CHART_RATIO_SPREAD) || strncasecmp(def.name, "R~", 2) == 0;
  chart_file_header* h = &chart->header;
  snprintf(h->leg1, sizeof h->leg1, "%s", def.leg1);
  snprintf(h->leg2, sizeof h->leg2, "%s", def.leg2);
  h->ratio1 = (float)def.ratio1;
  h->ratio2 = (float)def.ratio2;
  // Two legs of 31 characters may not fit the description: it is cut.
  char text[sizeof def.leg1 + sizeof def.leg2 + 4];
  snprintf(text, sizeof text, "%s %c %s", def.leg1, ratio ? '/' : '-', def.leg2);
  copy_string_n(h->description, text, (int)sizeof h->description - 1);

  // Every bar becomes a spare slot.
  int n = h->bar_count;
  if (n > 0) memset(chart->bars, 0, sizeof(chart_bar) * (size_t)n);
  chart->spare += n;
  h->bar_count = 0;
  chart->ha_valid = 0;

  double r1 = def.ratio1, r2 = def.ratio2;
  int i = 0, j = 0;
  int n1 = leg1->header.bar_count, n2 = leg2->header.bar_count;
  while (i < n1 && j < n2) {
    const chart_bar& a = leg1->bars[i];
    const chart_bar& b = leg2->bars[j];
    if (a.time < b.time) {
      i++;
      continue;
    }
    if (b.time < a.time) {
      j++;
      continue;
    }
    i++;
    j++;
    double v[4] = {combine(ratio, r1, a.open, r2, b.open), combine(ratio, r1, a.high, r2, b.high),
                   combine(ratio, r1, a.low, r2, b.low), combine(ratio, r1, a.close, r2, b.close)};
    double extra = (double)a.close * r1;
    int ok = finite_float(extra);
    double hi = v[0], lo = v[0];
    for (double x : v) {
      ok = ok && finite_float(x);
      hi = x > hi ? x : hi;
      lo = x < lo ? x : lo;
    }
    if (!ok) continue;  // a leg price of 0 under a ratio, or beyond a float
    if (chart->spare <= 0 && !grow_chart_bars(chart, SPREAD_GROW)) break;
    chart_bar* bar = &chart->bars[h->bar_count];
    *bar = a;
    bar->open = (float)v[0];
    bar->high = (float)hi;
    bar->low = (float)lo;
    bar->close = (float)v[3];
    // The extra word holds leg 1's money value; the flags stay leg 1's.
    bar->vwap = (float)extra;
    h->bar_count++;
    chart->spare--;
  }
  set_chart_dates(chart);
  h->flags |= CHART_BARS_CHANGED;
  free_chart_data(leg1);
  free_chart_data(leg2);
}
