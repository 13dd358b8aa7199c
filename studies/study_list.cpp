// A chart's study list: the type table that binds a type code to its
// compute function, and create, find, find-or-create, delete, copy,
// transfer, recompute and pane counting.  The list and every study record
// are guarded by g_chart_lock, which is re-entrant: a compute function run
// here may create further studies on the same chart.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "data/chart_flags.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "studies/study_internal.h"
#include "studies/study_types.h"
#include "studies/studylib_host.h"

int g_next_study_id = 1;
int (*g_reprice_study_order)(chart_rec *chart, StudyDef *study) = nullptr;
int (*g_bind_user_study)(StudyDef *study) = bind_user_study;

static void report(const char *message) {
  statmsg(__FILE__, __LINE__, message, nullptr, STATMSG_ERROR);
}

// ---- type table --------------------------------------------------------------

#define C STUDY_TYPE_CREATABLE
#define NO_ARGS \
  { ARG_END }
#define AVERAGE_ARGS \
  { ARG_PERIOD, ARG_PRICE, ARG_P2 }

// Each row: type, what, compute, series, flags, arguments, name, name
// values, default p1, colour, abbreviation, smallest period.
const study_type_entry g_study_types[] = {
    {STUDY_STOCH_K, "Stochastic %K", compute_stochastic_k, 1, C, {ARG_PERIOD, ARG_P1, ARG_PRICE}},
    {STUDY_STOCH_D,
     "Stochastic %D",
     compute_stochastic_d,
     2,
     C,
     {ARG_PERIOD, ARG_P1, ARG_P2, ARG_METHOD, ARG_PRICE}},
    {STUDY_BB_UPPER,
     "Upper Bollinger band",
     compute_bollinger,
     1,
     C,
     AVERAGE_ARGS,
     "Upper Bollinger Band(%d,%2.1f)",
     {NAME_PERIOD, NAME_P2},
     1.0,
     0,
     nullptr,
     2},
    {STUDY_BB_MID,
     "Bollinger band midline",
     compute_bollinger,
     1,
     C,
     AVERAGE_ARGS,
     "Bollinger Band Midline(%d)",
     {NAME_PERIOD},
     1.0,
     0,
     nullptr,
     2},
    {STUDY_BB_LOWER,
     "Lower Bollinger band",
     compute_bollinger,
     1,
     C,
     AVERAGE_ARGS,
     "Lower Bollinger Band(%d,%2.1f)",
     {NAME_PERIOD, NAME_P2},
     1.0,
     0,
     "BB",
     2},
    {STUDY_BB_PERCENT,
     "Bollinger %B",
     compute_percent_b,
     1,
     C,
     {ARG_PERIOD, ARG_PRICE, ARG_P2, ARG_P1_FROM_INT},
     "Bollinger Band %%B(%d,%2.1f,%d)",
     {NAME_PERIOD, NAME_P2, NAME_P1_INT},
     0,
     0,
     nullptr,
     2},
    {STUDY_BB_WIDTH,
     "Bollinger bandwidth",
     compute_bandwidth,
     1,
     C,
     AVERAGE_ARGS,
     "Bollinger Band Width(%d,%2.1f)",
     {NAME_PERIOD, NAME_P2},
     1.0,
     0,
     nullptr,
     2},
    {STUDY_SMA,
     "Simple moving average",
     compute_moving_average,
     1,
     C,
     AVERAGE_ARGS,
     "_Simple MA(%d)",
     {NAME_PERIOD}},
    {STUDY_EMA,
     "Exponential moving average",
     compute_moving_average,
     1,
     C,
     AVERAGE_ARGS,
     "_Exponental MA(%d)",
     {NAME_PERIOD}},
    {STUDY_WMA,
     "Weighted moving average",
     compute_moving_average,
     1,
     C,
     AVERAGE_ARGS,
     "_Weighted MA(%d)",
     {NAME_PERIOD}},
    {STUDY_TMA,
     "Triangular moving average",
     compute_moving_average,
     1,
     C,
     AVERAGE_ARGS,
     "_Triangular MA(%d)",
     {NAME_PERIOD}},
    {STUDY_VMA, "Variable moving average", compute_variable_ma, 2, C, NO_ARGS},
    {STUDY_STDDEV,
     "Standard deviation",
     compute_std_dev,
     1,
     C,
     AVERAGE_ARGS,
     "_StdDev(%d)",
     {NAME_PERIOD},
     0,
     0,
     nullptr,
     2},
    {STUDY_MACD,
     "MACD",
     compute_macd,
     1,
     C,
     {ARG_PERIOD, ARG_P2, ARG_PRICE},
     "_MACD(%d,%d)",
     {NAME_PERIOD, NAME_P2_INT}},
    {STUDY_MACD_SIGNAL,
     "MACD signal line",
     compute_macd_signal,
     1,
     C,
     {ARG_PERIOD, ARG_P2, ARG_PRICE, ARG_P3},
     "_MACDSL(%d,%d,%d)",
     {NAME_PERIOD, NAME_P2_INT, NAME_P3_INT}},
    {STUDY_AVG_VOLUME, "Average volume", compute_avg_volume, 1, 0, NO_ARGS},
    {STUDY_OBV, "On balance volume", compute_obv, 1, C, NO_ARGS},
    {STUDY_PVT, "Price volume trend", compute_pvt, 1, C, NO_ARGS},
    {STUDY_REL_VOLUME, "Relative volume", compute_rel_volume, 2, C, {ARG_PERIOD, ARG_P1}},
    {STUDY_INTRADAY_REL_VOLUME,
     "Intraday relative volume",
     compute_intraday_rel_volume,
     2,
     C,
     {ARG_PERIOD, ARG_P1}},
    {STUDY_INTRADAY_ACC_VOLUME,
     "Intraday accumulated volume",
     compute_intraday_acc_volume,
     3,
     C,
     {ARG_PERIOD}},
    {STUDY_NET_VOLUME_RATIO,
     "Average net volume ratio",
     compute_net_volume_ratio,
     1,
     C,
     {ARG_PERIOD}},
    {STUDY_AVG_NET_VOLUME, "Average net volume", compute_avg_net_volume, 1, C, {ARG_PERIOD}},
    {STUDY_NET_VOLUME, "Net volume", compute_nothing, 0, C,
     NO_ARGS},  // bit 16: no series of its own
    {STUDY_AD_LINE, "Accumulation/distribution line", compute_ad_line, 1, C, NO_ARGS},
    {STUDY_CHAIKIN, "Chaikin oscillator", compute_chaikin, 1, C, NO_ARGS},
    {STUDY_RSI, "RSI", compute_rsi, 1, C, {ARG_PERIOD, ARG_PRICE}},
    {STUDY_VHF, "VHF", compute_vhf, 1, C, {ARG_PERIOD, ARG_PRICE}},
    {STUDY_CCI, "CCI", compute_cci, 1, C, {ARG_PERIOD, ARG_PRICE}},
    {STUDY_PREV_CLOSE, "Previous day's close", compute_daily_line, 0, 0, NO_ARGS},
    {STUDY_DAY_HIGH, "Day's high", compute_daily_line, 0, 0, NO_ARGS},
    {STUDY_DAY_MID, "Day's midpoint", compute_daily_line, 0, 0, NO_ARGS},
    {STUDY_DAY_LOW, "Day's low", compute_daily_line, 0, 0, NO_ARGS},
    {STUDY_DAY_OPEN, "Day's open", compute_daily_line, 0, 0, NO_ARGS},
    {STUDY_PIVOT, "Central pivot", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_SUPPORT1, "Support 1", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_SUPPORT2, "Support 2", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_RESIST1, "Resistance 1", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_RESIST2, "Resistance 2", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_PREV_HIGH, "Previous day's high", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_PREV_LOW, "Previous day's low", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_DAY_VWAP, "Day's VWAP", compute_daily_line, 0, C, NO_ARGS},
    {STUDY_TRADE_SIGNALS,
     "Trade signals",
     compute_keep_previous,
     1,
     C,
     NO_ARGS,
     "_Trade signals",
     {},
     0,
     0xFFFF00},
    {STUDY_ORDER_PRICE, "Order price", compute_keep_previous, 1, C, NO_ARGS, "_Order Price"},
    {STUDY_EQUITY, "Equity", compute_keep_previous, 1, C, NO_ARGS, "_Equity", {}, 0, 0x00FF00},
    // library studies: the library binds compute function and series
    {0x80,
     "Library study",
     nullptr,
     0,
     C | STUDY_TYPE_LIBRARY,
     {ARG_LIB_NAME, ARG_LIB_INDEX, ARG_PERIOD, ARG_PRICE, ARG_METHOD, ARG_P1, ARG_P2, ARG_P3,
      ARG_P4},
     "_%s-%d(%d)",
     {NAME_LIB_NAME, NAME_LIB_INDEX, NAME_PERIOD}},
    {0x81,
     "Library study",
     nullptr,
     0,
     C | STUDY_TYPE_LIBRARY,
     {ARG_LIB_NAME, ARG_LIB_INDEX, ARG_PERIOD, ARG_PRICE, ARG_METHOD, ARG_P1, ARG_P2, ARG_P3,
      ARG_P4},
     "_%s-%d(%d)",
     {NAME_LIB_NAME, NAME_LIB_INDEX, NAME_PERIOD}},
    {0x82,
     "Library study",
     nullptr,
     0,
     C | STUDY_TYPE_LIBRARY,
     {ARG_LIB_NAME, ARG_LIB_INDEX, ARG_PERIOD, ARG_PRICE, ARG_METHOD, ARG_P1, ARG_P2, ARG_P3,
      ARG_P4},
     "_%s-%d(%d)",
     {NAME_LIB_NAME, NAME_LIB_INDEX, NAME_PERIOD}},
};
const int g_study_type_count = (int)(sizeof g_study_types / sizeof g_study_types[0]);

#undef C
#undef NO_ARGS
#undef AVERAGE_ARGS

const study_type_entry *study_type_of(int type) {
  for (int i = 0; i < g_study_type_count; i++)
    if (g_study_types[i].type == type) return &g_study_types[i];
  return nullptr;
}

// A built-in type: in the table with a compute function of its own.
static const study_type_entry *find_type(int type) {
  const study_type_entry *e = study_type_of(type);
  return e && !(e->flags & STUDY_TYPE_LIBRARY) ? e : nullptr;
}

StudyComputeFn study_compute_for_type(int type) {
  if ((type & STUDY_NUMBER_MASK) == STUDY_DATA_FILE) return compute_data_file;
  const study_type_entry *e = find_type(type);
  return e ? e->compute : nullptr;
}

int study_output_count(const StudyDef *s) {
  if (s->output_count > 0) return s->output_count;
  if (s->type & STUDY_DAILY_LINE) return 0;
  const study_type_entry *e = find_type(s->type);
  return e ? e->series : 1;
}

// Library studies carry the library's family and slot bits: the study
// number tells them.
static bool is_library_type(int type) {
  const study_type_entry *e = study_type_of(type & STUDY_NUMBER_MASK);
  return e && (e->flags & STUDY_TYPE_LIBRARY);
}

// ---- the list ----------------------------------------------------------------

static size_t study_block_size(int slots, int series) {
  return sizeof(StudyDef) + (size_t)slots * (size_t)series * sizeof(float);
}

// New series slots: missing, except the trade-signal words, which are bit
// fields read as integers.
static void clear_slots(StudyDef *s, int from, int to) {
  int series = study_output_count(s);
  for (int k = 0; k < series; k++) {
    float *out = study_series(s, k);
    if ((s->type & 0xFFFF) == STUDY_TRADE_SIGNALS)
      memset(out + from, 0, (size_t)(to - from) * sizeof(float));
    else
      study_fill_missing(out, from, to);
  }
}

static void copy_text(char *dst, const char *src, size_t size) {
  memcpy(dst, src, size);
  dst[size - 1] = 0;
}

StudyDef *find_equal_study(chart_rec *chart, const StudyDef *t) {
  if (!chart || !t || (t->state & STUDY_STATE_UNIQUE)) return nullptr;
  kv_lock guard(g_chart_lock);
  for (StudyDef *s = chart->studies; s; s = s->next) {
    if ((s->type & STUDY_NUMBER_MASK) != (t->type & STUDY_NUMBER_MASK)) continue;
    if (t->type & STUDY_DAILY_LINE) return s;
    if (s->period == t->period && s->method == t->method && s->price_type == t->price_type &&
        s->p1 == t->p1 && s->p2 == t->p2 && s->p3 == t->p3 && s->p4 == t->p4 &&
        s->lib_index == t->lib_index && strncmp(s->lib_name, t->lib_name, sizeof s->lib_name) == 0)
      return s;
  }
  return nullptr;
}

// The Keltner channel of the shipped library draws on a moving average
// and the library's average true range of the same chart.
static bool create_keltner_sources(chart_rec *chart, const StudyDef *s) {
  static const int ma_types[4] = {STUDY_SMA, STUDY_EMA, STUDY_WMA, STUDY_TMA};
  int ma = s->method >= 0 && s->method <= 3 ? ma_types[s->method] : STUDY_SMA;
  if (!find_or_create_study(chart, ma, s->period, s->price_type, 1.0)) {
    report("Can't create MA for Keltner Channel");
    return false;
  }
  if (!find_or_create_study(chart, STUDY_LIBRARY, "ferlume1", 2, s->period, 0, s->method, 0.0, 0.0,
                            0.0, 0.0)) {
    report("Can't create ATR for Keltner Channel");
    return false;
  }
  return true;
}

StudyDef *create_study(chart_rec *chart, const StudyDef *t) {
  if (!chart || !t) {
    report("null ptr argument");
    return nullptr;
  }
  kv_lock guard(g_chart_lock);
  if (find_equal_study(chart, t)) return nullptr;
  int slots = chart->header.bar_count + chart->spare;
  if (slots < 0) slots = 0;
  // A built-in type writes the series of its type, whatever output count a
  // stored template carries.
  StudyDef head = *t;
  if (find_type(head.type)) head.output_count = 0;
  int series = study_output_count(&head);
  StudyDef *s = (StudyDef *)calloc(1, study_block_size(slots, series));
  if (!s) {
    report("could not allocate memory");
    return nullptr;
  }
  memcpy(s, &head, sizeof *s);
  copy_text(s->lib_name, t->lib_name, sizeof s->lib_name);
  copy_text(s->name, t->name, sizeof s->name);
  memset(s->work, 0, sizeof s->work);
  s->output_len = slots;
  study_bind_outputs(s);
  s->next = nullptr;
  s->id = g_next_study_id++;
  clear_slots(s, 0, slots);

  int type = s->type, num = type & STUDY_NUMBER_MASK;
  bool run = false;
  if (type == STUDY_TRADE_SIGNALS || type == STUDY_ORDER_PRICE) {
    s->compute = compute_keep_previous;
    s->pane_group = 4;
  } else if (type == STUDY_EQUITY) {
    s->compute = compute_keep_previous;
    s->pane_group = 32;
  } else if (type == STUDY_NET_VOLUME) {
    s->compute = compute_nothing;
  } else if (type == STUDY_EXTERNAL_A || type == STUDY_EXTERNAL_B) {
    // their creator supplies the function and the values
  } else if (num == STUDY_DATA_FILE) {
    s->compute = compute_data_file;
    s->pane_group = 4;
    run = true;
  } else if (num == STUDY_FILLED_OUTSIDE) {
    s->pane_group = 4;
  } else if (StudyComputeFn fn = study_compute_for_type(type)) {
    s->compute = fn;
    run = true;
  } else {
    if (!s->compute) {
      free(s);
      report("No calculate function for study");
      return nullptr;
    }
    if (is_library_type(type) && strcasecmp(s->lib_name, "ferlume1") == 0 && s->lib_index == 9 &&
        !create_keltner_sources(chart, s)) {
      free(s);
      return nullptr;
    }
    run = true;
  }
  if (run) s->compute(chart, s, 1);

  StudyDef **tail = &chart->studies;
  while (*tail) tail = &(*tail)->next;
  *tail = s;
  return s;
}

// The study's name from its row's format, one conversion at a time with
// the value the row gives for it.
static void format_name(StudyDef *t, const study_type_entry &e) {
  char piece[64];
  size_t at = 0;
  const char *f = e.name;
  for (int v = 0; *f && at + 1 < sizeof t->name; v++) {
    // the text up to and including the next conversion ("%%" is text)
    const char *end = f;
    bool conv = false;
    while (*end && !conv) {
      if (end[0] == '%' && end[1] == '%') {
        end += 2;
        continue;
      }
      if (*end++ == '%') {
        while (*end && !strchr("dfs", *end)) end++;
        if (*end) end++;
        conv = true;
      }
    }
    size_t len = (size_t)(end - f) < sizeof piece - 1 ? (size_t)(end - f) : sizeof piece - 1;
    memcpy(piece, f, len);
    piece[len] = 0;
    f = end;
    char *out = t->name + at;
    size_t room = sizeof t->name - at;
    if (!conv || v >= 3) {
      snprintf(out, room, piece, 0);
    } else {
      switch (e.name_args[v]) {
        case NAME_PERIOD:
          snprintf(out, room, piece, t->period);
          break;
        case NAME_P2:
          snprintf(out, room, piece, t->p2);
          break;
        case NAME_P1_INT:
          snprintf(out, room, piece, study_param_int(t->p1));
          break;
        case NAME_P2_INT:
          snprintf(out, room, piece, study_param_int(t->p2));
          break;
        case NAME_P3_INT:
          snprintf(out, room, piece, study_param_int(t->p3));
          break;
        case NAME_LIB_NAME:
          snprintf(out, room, piece, t->lib_name);
          break;
        case NAME_LIB_INDEX:
          snprintf(out, room, piece, (int)t->lib_index);
          break;
      }
    }
    at += strnlen(out, room);
  }
}

// Reads the parameters the row names from the argument list.
static void read_args(StudyDef *t, const study_type_entry &e, va_list ap) {
  for (int k = 0; k < (int)sizeof e.args && e.args[k] != ARG_END; k++) {
    switch (e.args[k]) {
      case ARG_PERIOD:
        t->period = va_arg(ap, int);
        break;
      case ARG_PRICE:
        t->price_type = va_arg(ap, int);
        break;
      case ARG_METHOD:
        t->method = va_arg(ap, int);
        break;
      case ARG_P1:
        t->p1 = va_arg(ap, double);
        break;
      case ARG_P2:
        t->p2 = va_arg(ap, double);
        break;
      case ARG_P3:
        t->p3 = va_arg(ap, double);
        break;
      case ARG_P4:
        t->p4 = va_arg(ap, double);
        break;
      case ARG_P1_FROM_INT:
        t->p1 = va_arg(ap, int);
        break;
      case ARG_LIB_NAME: {
        const char *lib = va_arg(ap, const char *);
        snprintf(t->lib_name, sizeof t->lib_name, "%s", lib ? lib : "");
        break;
      }
      case ARG_LIB_INDEX:
        t->lib_index = (int16_t)va_arg(ap, int);
        break;
    }
  }
}

StudyDef *find_or_create_study(chart_rec *chart, int type, ...) {
  if (!chart) {
    report("null ptr argument");
    return nullptr;
  }
  StudyDef t;
  memset(&t, 0, sizeof t);
  t.color = 0x808080;
  t.line_width = 1;
  if (type & STUDY_CREATE_HIDDEN) {
    t.state |= STUDY_STATE_HIDDEN;
    type &= ~STUDY_CREATE_HIDDEN;
  }
  t.type = type;

  va_list ap;
  va_start(ap, type);
  bool known = true;
  const study_type_entry *e = study_type_of(type);
  if (e && (e->flags & STUDY_TYPE_CREATABLE)) {
    t.p1 = e->p1;
    if (e->color) t.color = e->color;
    t.compute = e->compute;
    read_args(&t, *e, ap);
    if (e->name) format_name(&t, *e);
    if (e->abbrev) snprintf(t.abbrev, sizeof t.abbrev, "%s", e->abbrev);
  } else if (type == STUDY_DATA_FILE) {
    const char *file = va_arg(ap, const char *);
    const char *label = va_arg(ap, const char *);
    int extra = va_arg(ap, int);
    snprintf(t.name, sizeof t.name, "%s", file ? file : "");
    if (label) strncpy(t.abbrev, label, sizeof t.abbrev);
    t.type |= extra;
    t.compute = compute_data_file;
  } else if (type != STUDY_EXTERNAL_A && type != STUDY_EXTERNAL_B) {
    // (an external study's creator supplies its function and values)
    known = false;
  }
  va_end(ap);

  if (!known) {
    report("Unknown study type");
    return nullptr;
  }
  if (e && e->min_period && t.period < e->min_period) {
    report("can't compute std. deviation for period < 2");
    return nullptr;
  }
  if (is_library_type(type) && !(g_bind_user_study && g_bind_user_study(&t))) {
    report("Unknown external study");
    return nullptr;
  }
  kv_lock guard(g_chart_lock);
  if (StudyDef *s = find_equal_study(chart, &t)) return s;
  return create_study(chart, &t);
}

void recalc_studies(chart_rec *chart, int restart) {
  if (!chart) return;
  kv_lock guard(g_chart_lock);
  int moved = 0;
  for (StudyDef *s = chart->studies; s; s = s->next) {
    if (!s->compute) continue;
    s->compute(chart, s, restart);
    if (s->attached_order && g_reprice_study_order) moved += g_reprice_study_order(chart, s);
  }
  if (moved == 0) chart->header.flags &= ~CHART_STUDIES_STALE;
}

int delete_study(chart_rec *chart, StudyDef *study) {
  if (!chart || !study) return 0;
  kv_lock guard(g_chart_lock);
  for (StudyDef **p = &chart->studies; *p; p = &(*p)->next) {
    if (*p == study) {
      *p = study->next;
      free(study);
      return 1;
    }
  }
  return 0;
}

// A study already present on dst counts as copied; a study that cannot be
// created does not stop the others, but makes the result 0.
int copy_studies(chart_rec *dst, chart_rec *src) {
  if (!dst || !src) return 0;
  if (dst == src) return 1;
  kv_lock guard(g_chart_lock);
  int ok = 1;
  for (StudyDef *s = src->studies; s; s = s->next) {
    if (find_equal_study(dst, s)) continue;
    if (!create_study(dst, s)) ok = 0;
  }
  return ok;
}

int transfer_studies(chart_rec *new_chart, chart_rec *old_chart) {
  if (!new_chart || !old_chart) return 0;
  if (new_chart == old_chart) return 1;
  kv_lock guard(g_chart_lock);
  old_chart->header.flags |= CHART_STUDIES_GIVEN | CHART_STUDIES_GIVEN2;
  old_chart->owner_window = 0;
  if (!copy_studies(new_chart, old_chart)) return 0;
  free_chart_data(old_chart);
  return 1;
}

int count_study_panes(chart_rec *chart, int pane_groups) {
  bool marked[13] = {};
  if (pane_groups & 1) marked[0] = true;
  if (pane_groups & 2) marked[1] = true;
  if (chart) {
    kv_lock guard(g_chart_lock);
    for (StudyDef *s = chart->studies; s; s = s->next) {
      if (s->state & STUDY_STATE_HIDDEN) continue;
      if (!(s->pane_group & (uint32_t)pane_groups)) continue;
      int slot = (s->type >> STUDY_SLOT_SHIFT) & 0xFF;
      if (slot <= 12) marked[slot] = true;
    }
  }
  int n = 0;
  for (bool m : marked) n += m;
  return n;
}

void free_study_list(StudyDef *head) {
  while (head) {
    StudyDef *next = head->next;
    free(head);
    head = next;
  }
}

int resize_chart_studies(chart_rec *chart, int new_len) {
  if (!chart || new_len < 0) return 0;
  kv_lock guard(g_chart_lock);
  int ok = 1;
  for (StudyDef **p = &chart->studies; *p; p = &(*p)->next) {
    StudyDef *s = *p;
    int series = study_output_count(s), old_len = s->output_len;
    if (series == 0 || old_len == new_len) {
      s->output_len = new_len;
      continue;
    }
    if (new_len < old_len) {
      float *base = reinterpret_cast<float *>(s + 1);
      for (int k = 1; k < series; k++)
        memmove(base + (size_t)k * new_len, base + (size_t)k * old_len,
                (size_t)new_len * sizeof(float));
    }
    StudyDef *g = (StudyDef *)realloc(s, study_block_size(new_len, series));
    if (!g) {
      ok = 0;
      if (new_len < old_len) s->output_len = new_len;
      continue;
    }
    study_bind_outputs(g);
    if (new_len > old_len) {
      for (int k = series - 1; k >= 1; k--)
        memmove(g->outputs + (size_t)k * new_len, g->outputs + (size_t)k * old_len,
                (size_t)old_len * sizeof(float));
      g->output_len = new_len;
      clear_slots(g, old_len, new_len);
    } else {
      g->output_len = new_len;
    }
    *p = g;
  }
  return ok;
}
