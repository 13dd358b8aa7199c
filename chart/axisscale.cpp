// Vertical axis scaling of the chart panes and the group views.
#include "chart/axisscale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/axis_scale.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "studies/study.h"
#include "studies/studyapi.h"
#include "platform/clock.h"

const double g_price_steps[32] = {0.000001, 0.000002, 0.000005, 0.00001, 0.000025, 0.00005, 0.0001,
                                  0.00025,  0.0005,   0.001,    0.0025,  0.005,    0.01,    0.02,
                                  0.05,     0.1,      0.25,     0.5,     1,        2.5,     5,
                                  10,       25,       100,      250,     500,      1000,    2500,
                                  5000,     10000,    50000,    100000};

group_scale_hooks g_group_scale_hooks = {0, nullptr};

namespace {

// format_price code of each price step.
const int k_price_codes[32] = {6, 6, 6, 6, 6, 6, 5, 5, 5, 4, 4, 4, 2, 2, 2, 0,
                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

const double k_group_steps[48] = {
    0.1, 0.2, 0.25, 0.5, 1,   1.5, 2,   2.5,  3,    4,    5,    10,   15,    20,    25,    30,
    35,  40,  45,   50,  55,  60,  70,  80,   90,   100,  125,  150,  175,   200,   250,   300,
    350, 400, 500,  600, 700, 800, 900, 1000, 1500, 2000, 2500, 5000, 10000, 20000, 50000, 100000};

// Study-scale divisors by leading digits 1-19 (10-19: two digits).
const int k_study_divisors[20] = {1,  5,  10, 12, 8, 10, 6, 7,  8,  9,
                                  10, 11, 6,  13, 7, 5,  8, 17, 18, 19};

const int k_volume_tick_div[10] = {10, 10, 20, 12, 16, 20, 12, 14, 16, 18};
const int k_volume_label_div[3][10] = {
    {1, 5, 4, 6, 4, 5, 6, 7, 4, 3}, {1, 2, 2, 3, 2, 2, 3, 2, 2, 2}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}};

constexpr uint32_t BAR_OPEN_INTEREST = 0x800000;
constexpr double MISSING_BELOW = -1e19;
constexpr double MIN_SPAN = 0.000001;

inline bool is_finite(double v) {
  return std::isfinite(v);
}

// Copies a label text, at most 8 characters, always terminated.
void put_label(axis_label* l, const char* text) {
  snprintf(l->text, sizeof l->text, "%s", text);
}

int study_slot(const StudyDef* s) {
  return (s->type & STUDY_SLOT_MASK) >> STUDY_SLOT_SHIFT;
}
bool hidden(const StudyDef* s) {
  return (s->state & STUDY_STATE_HIDDEN) != 0;
}

void clear_block(axis_scale* s) {
  memset(s, 0, sizeof *s);
}

// Sets minimum and pixels per unit only when both are usable.
bool store_scale(axis_scale* s, double minimum, double ppu) {
  if (!is_finite(minimum) || !is_finite(ppu) || !(ppu > 0)) return false;
  s->minimum = minimum;
  s->pixels_per_unit = ppu;
  return true;
}

enum class LabelRule { SecondWhenTight, DoubleUntilFits, Every };

// How label texts are made.
struct label_text {
  virtual void text(double value, char* out, int size) const = 0;
};

// The common label placement of the percent, price and group axes; the
// range is known to be positive and finite. 1 placed, 0 no step fits.
int place_labels(axis_scale* s, double min, double max, int H, int h, const double* steps,
                 int nsteps, double fixed_step, int* step_index, LabelRule rule, const char* err,
                 const label_text& fmt) {
  double range = max - min;
  int per = h * 3 / 2;
  int n = per > 0 ? H / per : AXIS_SCALE_MAX_LABELS;
  if (n > AXIS_SCALE_MAX_LABELS) n = AXIS_SCALE_MAX_LABELS;
  if (n < 1) return 0;
  double wanted = range / n;
  double step = fixed_step;
  if (!(step > 0)) {
    int i = 0;
    while (i < nsteps && steps[i] < wanted) i++;
    if (i == nsteps) {
      char msg[128];
      snprintf(msg, sizeof msg, err, min, max);
      statmsg(__FILE__, __LINE__, msg, nullptr, 3);
      return 0;
    }
    step = steps[i];
    if (step_index) *step_index = i;
  }
  double pps_d = H / (range / step);
  int pps = pps_d > 1e9 ? 1000000000 : (int)pps_d;
  if (pps > 3 * h && step > 5 && step < 15) {
    step = 5;
    pps /= 2;
  }
  if (pps <= 0) return 0;
  double ppu = H / range;
  if (!store_scale(s, min, ppu)) return 0;
  double rem = min - std::floor(min / step) * step;
  double first_value = min + step - rem;
  double first_off = (step - rem) * ppu;

  int every = 1;
  int spacing = h * 5 / 3;
  if (rule != LabelRule::Every && pps < spacing) {
    every = 2;
    if (rule == LabelRule::DoubleUntilFits)
      while ((long long)pps * every < spacing && every < (1 << 20)) every *= 2;
  }
  // The first labelled step: the one whose value is a multiple of
  // every x step.
  long long idx = std::llround(first_value / step);
  int start = (int)(((-idx) % every + every) % every);

  long long count = (long long)((H - first_off - 1) / pps) + 1;
  if (count < 0) count = 0;
  if (count > AXIS_SCALE_MAX_LABELS) count = AXIS_SCALE_MAX_LABELS;
  int longest = 0;
  for (int k = 0; k < count; k++) {
    double off = k * ppu * step + first_off;
    axis_label* l = &s->labels[k];
    l->offset = (int16_t)std::clamp(off, -32768.0, 32767.0);
    l->text[0] = 0;
    if ((k - start) % every == 0 && k >= start && off < H - h / 2) {
      char buf[64];
      fmt.text(first_value + k * step, buf, sizeof buf);
      put_label(l, buf);
      longest = std::max(longest, (int)strlen(l->text));
    }
  }
  s->label_count = (int16_t)count;
  s->longest_label = (int16_t)longest;
  return 1;
}

struct percent_text : label_text {
  void text(double v, char* out, int size) const override {
    if (std::fabs(v) < 0.005) v = 0;  // no "-0.00%"
    snprintf(out, size, "%0.2f%%", v);
  }
};

struct price_text : label_text {
  int code;
  explicit price_text(int c) : code(c) {}
  void text(double v, char* out, int size) const override {
    char buf[64];
    format_price(v, buf, code, 0);
    snprintf(out, size, "%s", buf);
  }
};

struct group_text : label_text {
  int money;
  explicit group_text(int m) : money(m) {}
  void text(double v, char* out, int size) const override { group_label_text(v, money, out, size); }
};

// Rounds up to a whole number of millionths.
double round_up_micro(double v) {
  return std::ceil(v * 1e6) / 1e6;
}

bool same_block(const axis_scale* s, double min, double max, int H) {
  return s->label_count > 0 && s->label_min == min && s->label_max == max && s->label_height == H;
}

void remember_range(axis_scale* s, double min, double max, int H) {
  s->label_min = min;
  s->label_max = max;
  s->label_height = (int16_t)std::clamp(H, 0, 32767);
}

// The output series of a study that are values (not bit words).
template <class F>
void each_study_value(StudyDef* st, int first, int last, F f) {
  if (!st->outputs) return;
  int n = study_output_count(st);
  int hi = std::min(last, st->output_len - 1);
  for (int k = 0; k < n; k++) {
    const float* out = st->outputs + (size_t)k * (size_t)st->output_len;
    for (int i = std::max(first, 0); i <= hi; i++) f((double)out[i]);
  }
}

// Price-pane studies' contribution to a price or percent range. Trade
// signals and order prices hold bit words, not prices: they never count.
void add_price_studies(chart_rec* chart, int first, int last, double base, bool percent,
                       double* max, double* min) {
  auto conv = [&](double v) { return percent ? (v - base) / base * 100 : v; };
  for (StudyDef* st = chart->studies; st; st = st->next) {
    if (hidden(st) || study_slot(st) != 0) continue;
    if (st->type == STUDY_TRADE_SIGNALS || st->type == STUDY_ORDER_PRICE) continue;
    if (st->type & STUDY_FAM_DAILY) {
      if (last < chart->day_stats.first_index) continue;
      double v = st->value;
      if (!is_finite(v) || v < MISSING_BELOW || (!percent && !(v > 0))) continue;
      *max = std::max(*max, conv(v));
      *min = std::min(*min, conv(v));
      continue;
    }
    if (st->type == STUDY_NET_VOLUME) continue;
    each_study_value(st, first, last, [&](double v) {
      if (!is_finite(v) || v < MISSING_BELOW) return;
      *max = std::max(*max, conv(v));
      *min = std::min(*min, conv(v));
    });
  }
}

}  // namespace

int axis_pixels(const axis_scale* s, double value) {
  double p = (value - s->minimum) * s->pixels_per_unit;
  if (!(p == p)) return 0;
  if (p >= 1e9) return 1000000000;
  if (p <= -1e9) return -1000000000;
  return (int)p;
}

void group_label_text(double v, int money, char* out, int size) {
  char buf[64];
  if (money) {
    snprintf(buf, sizeof buf, "%0.0f", v);
  } else if (v != std::floor(v)) {
    snprintf(buf, sizeof buf, "%0.2f%%", v);
    // ".50%" and "-.50%": the leading zero goes.
    char* z = buf[0] == '-' ? buf + 1 : buf;
    if (z[0] == '0' && z[1] == '.') memmove(z, z + 1, strlen(z));
  } else {
    snprintf(buf, sizeof buf, "%0.0f%%", v);
  }
  snprintf(out, size, "%s", buf);
}

namespace {

// The bar of other stamped t, trying hint first (the bar after the last
// match, when walking both charts forward), then halving.
int match_time(const chart_rec* other, int32_t t, int hint) {
  int m = other->header.bar_count;
  if (m <= 0) return -1;
  if (hint >= 0 && hint < m && other->bars[hint].time == t) return hint;
  int lo = 0, hi = m;
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (other->bars[mid].time < t)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < m && other->bars[lo].time == t ? lo : -1;
}

}  // namespace

int match_bar_index(const chart_rec* chart, int index, const chart_rec* other) {
  if (!chart || !other || !chart->bars || !other->bars) return -1;
  int n = chart->header.bar_count, m = other->header.bar_count;
  if (index < 0 || index >= n || m <= 0) return -1;
  return match_time(other, chart->bars[index].time, std::min(index, m - 1));
}

int price_text_decimals(double value, int code) {
  char buf[64];
  format_price(value, buf, code, 0);
  const char* dot = strrchr(buf, '.');
  return dot ? (int)strlen(dot + 1) : 0;
}

int scale_percent_axis(chart_rec* chart, chart_rec** overlays, int overlay_count, int first,
                       int last, int H, int h, int flags, int overlay_first) {
  if (!chart) return 0;
  // Lines being edited keep the scale they were placed on.
  if (chart->header.flags & CHART_ANNOT_CHANGED) return 1;
  int count = chart->header.bar_count;
  if (first < 0 || first > last || last >= count || H < h || !chart->bars) return 0;
  const chart_bar* bars = chart->bars;
  if ((flags & SCALE_SESSION_ONLY) && chart->mqt)
    while (first < last && kv_time_of_day(bars[first].time) < chart->mqt->session_start) first++;
  double base = chart->percent_base;
  if (!(base > 0) || !is_finite(base)) return 0;
  double max = -1e9, min = 1e9;
  for (int i = first; i <= last; i++) {
    max = std::max(max, (bars[i].high - base) / base * 100);
    min = std::min(min, (bars[i].low - base) / base * 100);
  }
  if (!(flags & SCALE_NO_STUDIES)) add_price_studies(chart, first, last, base, true, &max, &min);
  for (int j = 0; j < overlay_count; j++) {
    chart_rec* o = overlays[j];
    if (!o || !o->bars) return 0;
    double obase = 0;
    int hint = -1;
    // The base bar may lie right of the visible bars (a chart scrolled back
    // from a picked or stored base): the overlay's base is looked for up to
    // the chart's last bar, or no percent axis could be made.
    for (int i = std::max(overlay_first, 0); i < count; i++) {
      int k = match_time(o, bars[i].time, hint);
      if (k >= 0) {
        obase = o->bars[k].open;
        break;
      }
    }
    o->percent_base = (float)obase;
    if (!(obase > 0)) return 0;
    hint = -1;
    for (int i = first; i <= last; i++) {
      int k = match_time(o, bars[i].time, hint);
      if (k < 0) continue;
      hint = k + 1;
      max = std::max(max, (o->bars[k].high - obase) / obase * 100);
      min = std::min(min, (o->bars[k].low - obase) / obase * 100);
    }
  }
  if (min > max) min = max;
  max = round_up_micro(max);
  min = round_up_micro(min);
  if (count == 1) {
    max += 0.5;
    min -= 0.5;
  } else if (is_intraday_unit(chart->header.time_unit) && last == count - 1) {
    const chart_bar& b = bars[count - 2];
    double proj = ((b.close + 2.0 * (b.close - b.open)) - base) / base * 100;
    max = std::max(max, proj);
    min = std::min(min, proj);
  }
  double margin = std::max((max - min) * 0.04, MIN_SPAN);
  max += margin;
  min -= margin;
  if (!is_finite(max) || !is_finite(min)) return 0;
  axis_scale* s = &chart->price_scale;
  if (same_block(s, min, max, H)) return 1;
  clear_block(s);
  remember_range(s, min, max, H);
  return place_labels(s, min, max, H, h, g_price_steps, 32, 0, nullptr, LabelRule::SecondWhenTight,
                      "scaling err: minpct=%0.2f, maxpct=%0.2f", percent_text());
}

int scale_price_axis(chart_rec* chart, int first, int last, int H, int h, int flags, int shift,
                     double fixed_range) {
  if (!chart) return 0;
  int count = chart->header.bar_count;
  if (first < 0 || first > last || last >= count || H < h || !chart->bars) return 0;
  const chart_bar* bars = chart->bars;
  const mqt* q = chart->mqt;
  if ((flags & SCALE_SESSION_ONLY) && q)
    while (first < last && kv_time_of_day(bars[first].time) < q->session_start) first++;
  double tick = q && q->tick_size > 0 ? q->tick_size : 0;
  double max = -1e9, min = 1e9;
  if ((chart->header.flags & CHART_BIDASK_SHOWN) && last == count - 1 && q && q->ask > q->bid &&
      (q->ask - q->bid) < 50 * (tick > 0 ? tick : 1.0) && q->bid > q->reference_price / 2 &&
      q->ask > q->reference_price / 2) {
    min = q->bid;
    max = q->ask;
  }
  bool negative_ok = q && (q->flags & MQT_NEGATIVE_OK);
  for (int i = last; i >= first; i--) {
    max = std::max(max, (double)bars[i].high);
    if (bars[i].low >= 0 || negative_ok) min = std::min(min, (double)bars[i].low);
    if (fixed_range > 0 && max - min >= fixed_range) break;
  }
  if (!(flags & SCALE_NO_STUDIES)) add_price_studies(chart, first, last, 0, false, &max, &min);
  if (min > max) min = max;
  if (max <= -1e9 || min >= 1e9) return 0;  // nothing to scale
  double range = max - min;
  if (count == 1) {
    max += 0.5;
    min -= 0.5;
  } else if (is_intraday_unit(chart->header.time_unit) && last == count - 1) {
    const chart_bar& b = bars[count - 2];
    double proj = b.close + 2.0 * ((double)b.close - b.open);
    if (proj > max)
      max = std::max(proj, max + 0.2 * range);
    else if (proj < min)
      min = std::min(proj, min - 0.2 * range);
  }
  // The margin follows the size of the prices, whatever their sign; a
  // range still empty (a flat run of bars) is widened as for one bar.
  double margin = tick > 0 ? tick : std::max(std::fabs(max) * 0.001, MIN_SPAN);
  max += margin;
  min -= margin;
  if (!(max - min > 2 * MIN_SPAN)) {
    max += 0.5;
    min -= 0.5;
  }
  if (fixed_range != 0) {
    double close = bars[last].close;
    if (close - min > max - close)
      min = max - fixed_range;
    else
      max = min + fixed_range;
  }
  range = max - min;
  if (shift > 0) {
    max += range / 2;
    min += range / 2;
  } else if (shift < 0) {
    max -= range / 2;
    min -= range / 2;
  }
  if (!is_finite(max) || !is_finite(min) || !(max > min)) return 0;
  axis_scale* s = &chart->price_scale;
  if (same_block(s, min, max, H)) return 1;
  clear_block(s);
  remember_range(s, min, max, H);
  // Symbols quoted in 32nds or 64ths label multiples of their tick.
  double fixed_step = 0;
  int code = -1;
  if (tick > 0 && (std::fabs(tick - 1.0 / 32) < 1e-9 || std::fabs(tick - 1.0 / 64) < 1e-9)) {
    fixed_step = tick;
    while ((max - min) / fixed_step > AXIS_SCALE_MAX_LABELS) fixed_step *= 2;
    code = std::fabs(tick - 1.0 / 32) < 1e-9 ? PRICE_CODE_32NDS : PRICE_CODE_64THS;
  }
  int index = 0;
  // The step is known only inside the placement; pick the code from the
  // step the same way first.
  if (code < 0) {
    int per = h * 3 / 2;
    int n = std::min(per > 0 ? H / per : AXIS_SCALE_MAX_LABELS, (int)AXIS_SCALE_MAX_LABELS);
    double wanted = n > 0 ? (max - min) / n : 0;
    while (index < 31 && g_price_steps[index] < wanted) index++;
    code = k_price_codes[index];
  }
  return place_labels(s, min, max, H, h, g_price_steps, 32, fixed_step, &index,
                      LabelRule::DoubleUntilFits, "scaling err: minprice=%0.2f, maxprice=%0.2f",
                      price_text(code));
}

int scale_volume_axis(chart_rec* chart, int first, int last, int H, int min_tick_height) {
  if (!chart || !chart->bars || H < min_tick_height || first < 0) return 0;
  int count = chart->header.bar_count;
  last = std::min(last, count - 1);
  double max = 0;
  for (int i = first; i <= last; i++) {
    const chart_bar& b = chart->bars[i];
    max = std::max(max, (double)b.volume);
    if (b.flags & BAR_OPEN_INTEREST) max = std::max(max, (double)b.extra);
  }
  for (StudyDef* st = chart->studies; st; st = st->next) {
    if (hidden(st) || study_slot(st) != 1) continue;
    each_study_value(st, first, last, [&](double v) {
      if (is_finite(v) && v > MISSING_BELOW && v < 2e9) max = std::max(max, (double)(long long)v);
    });
  }
  if (is_intraday_unit(chart->header.time_unit)) {
    if (max == 0) {
      int avg = chart->header.avg_volume;
      max = avg < 20000 ? avg / 10 : 20000;
    }
    if (last - first + 1 < 5) max += max / 3;
  }
  max = std::floor(std::max(max, 10.0));
  axis_scale* s = &chart->volume_scale;
  if (s->label_max == max && s->label_height == H && s->pixels_per_unit > 0) return 1;
  clear_block(s);
  remember_range(s, 0, max, H);
  if (!store_scale(s, 0, H / max)) return 0;
  double ppu = s->pixels_per_unit;

  int digits = (int)std::floor(std::log10(max)) + 1;
  double power = std::pow(10.0, digits - 1);
  int d = (int)(max / power);
  d = std::clamp(d, 1, 9);
  double v = d * power;
  double tick = v / k_volume_tick_div[d];
  while (tick * ppu < min_tick_height && tick < max) tick *= 2;
  double label_step = v;
  for (int row = 0; row < 3; row++) {
    double st = v / k_volume_label_div[row][d];
    if (st * ppu >= min_tick_height * 2.0 / 3 || row == 2) {
      label_step = st;
      break;
    }
  }
  int ticks = (int)(max / tick);
  ticks = std::min(ticks, (int)AXIS_SCALE_MAX_LABELS);
  double next_label = label_step;
  int longest = 0;
  for (int k = 1; k <= ticks; k++) {
    double value = k * tick;
    axis_label* l = &s->labels[k - 1];
    l->offset = (int16_t)std::min(value * ppu, 32767.0);
    // A tick that reaches the next label value gets the label. Ticks
    // spaced wider than the labels (the tick step was doubled to make
    // room) pass label values without meeting them: such a tick is
    // labelled too, and the next label value moves past it.
    if (std::fabs(value - next_label) <= 20 || value > next_label) {
      char buf[64];
      format_volume_real(buf, value, 2);
      put_label(l, buf);
      longest = std::max(longest, (int)strlen(l->text));
      next_label += label_step;
      while (next_label < value) next_label += label_step;
    }
  }
  s->label_count = (int16_t)ticks;
  s->longest_label = (int16_t)longest;
  return 1;
}

namespace {

// The range of one pane slot's studies.
void study_slot_range(chart_rec* chart, int pane_groups, int slot, int first, int last, double* max,
                      double* min) {
  bool bars_added = false;
  for (StudyDef* st = chart->studies; st; st = st->next) {
    if (hidden(st) || !(st->pane_group & (uint32_t)pane_groups) || st->type == STUDY_ORDER_PRICE)
      continue;
    if (study_slot(st) != slot) continue;
    if (slot == 0 && !bars_added) {
      for (int i = first; i <= last; i++) {
        *max = std::max(*max, (double)chart->bars[i].high);
        *min = std::min(*min, (double)chart->bars[i].low);
      }
      bars_added = true;
    }
    if (st->type == STUDY_NET_VOLUME) {
      for (int i = first; i <= last; i++) {
        *max = std::max(*max, (double)chart->bars[i].extra);
        *min = std::min(*min, (double)chart->bars[i].extra);
      }
    } else if (st->type == STUDY_TRADE_SIGNALS) {
      // Integer words in float slots: the position is the low 13 bits.
      if (!st->outputs) continue;
      for (int i = first; i <= std::min(last, st->output_len - 1); i++) {
        uint32_t w;
        memcpy(&w, &st->outputs[i], 4);
        int p = (int)(w & 0x1FFF);
        if (p & 0x1000) p -= 0x2000;
        *max = std::max(*max, (double)p);
        *min = std::min(*min, (double)p);
      }
    } else if (st->type & STUDY_FAM_DAILY) {
      if (is_finite(st->value) && st->value >= MISSING_BELOW) {
        *max = std::max(*max, (double)st->value);
        *min = std::min(*min, (double)st->value);
      }
    } else {
      each_study_value(st, first, last, [&](double v) {
        if (!is_finite(v)) return;
        *max = std::max(*max, v);
        if (v >= MISSING_BELOW) *min = std::min(*min, v);
      });
    }
  }
}

bool symmetric_type(int type) {
  return type == STUDY_TRADE_SIGNALS || type == STUDY_MACD || type == STUDY_NET_VOLUME;
}

// Labels of a study block (range, height and minimum known).
void study_labels(axis_scale* s, const StudyDef* st, int slot, double min, double max, int H,
                  int h) {
  double range = max - min;
  double ppu = s->pixels_per_unit;
  bool whole = slot == 9;
  double e = std::floor(std::log10(range));
  double lead_f = range / std::pow(10.0, e);
  int lead = (int)lead_f;
  if (lead == 1) {
    lead = (int)(lead_f * 10);
    e -= 1;
  }
  lead = std::clamp(lead, 1, 19);
  double step = lead * std::pow(10.0, e) / k_study_divisors[lead];
  if (whole) step = std::max(1.0, std::ceil(step));
  for (int guard = 0; guard < 200; guard++) {
    double px = step * ppu;
    if ((px >= h * 2.0 / 3 && range / step < 40) || px <= 0 || px > 1000) break;
    step *= 1.5;
    if (whole) step = std::ceil(step);
  }
  // The label step is a whole number of steps, so labelled values are
  // the ticks whose index is a multiple of it. Working on tick indexes
  // keeps every labelled value on a tick, and puts 0 on a label when
  // the axis crosses it.
  int per_label = 1;
  while ((double)per_label * step * ppu < h + 5 && (double)per_label * step * ppu <= 1000 &&
         per_label < 1000)
    per_label++;
  double label_step = per_label * step;
  int label_px = (int)(label_step * ppu);
  if (label_px <= 0 || label_px > 1000)
    debug_trace("Study_type: %08X  labelpixelcnt=%d\n", (unsigned)st->type, label_px);
  double first_index = std::ceil(min / step - 1e-9);
  if (!(std::fabs(first_index) < 1e15)) first_index = 0;
  long long i0 = (long long)first_index;
  double tick = i0 * step;
  int decimals = std::max(price_text_decimals(tick, 0), price_text_decimals(label_step, 0));
  decimals = std::min(decimals, 6);
  bool percent = slot == 7 || st->type == STUDY_BB_WIDTH;
  int n = 0, longest = 0;
  for (long long i = i0; n < AXIS_SCALE_MAX_LABELS; i++, n++) {
    double v = i * step;
    if (v > max + MIN_SPAN) break;
    axis_label* l = &s->labels[n];
    l->offset = (int16_t)std::clamp((v - s->minimum) * ppu, -32768.0, 32767.0);
    if (i % per_label != 0) continue;
    char buf[64];
    double shown = i == 0 ? 0 : v;
    if (percent) {
      char p[64];
      format_price(shown, p, decimals, FORMAT_PRICE_DECIMAL);
      snprintf(buf, sizeof buf, "%.60s%%", p);
    } else if (shown == std::floor(shown) || std::fabs(shown) >= 10000) {
      format_volume_real(buf, shown, 2);
    } else {
      format_price(shown, buf, decimals, FORMAT_PRICE_DECIMAL);
    }
    put_label(l, buf);
    longest = std::max(longest, (int)strlen(l->text));
  }
  s->label_count = (int16_t)n;
  s->longest_label = (int16_t)longest;
}

}  // namespace

int calc_study_scale(chart_rec* chart, int pane_groups, int first, int last, int H, int h,
                     StudyDef** first_study, StudyDef** second_study) {
  kv_lock guard(g_chart_lock);
  if (first_study) *first_study = nullptr;
  if (second_study) *second_study = nullptr;
  if (!chart || !chart->bars || H < h) return 0;
  last = std::min(last, chart->header.bar_count - 1);
  if (first < 0 || first > last) return 0;
  int slots[64];
  StudyDef* slot_first[64];
  int nslots = 0;
  for (StudyDef* st = chart->studies; st; st = st->next) {
    if (hidden(st) || !(st->pane_group & (uint32_t)pane_groups) || st->type == STUDY_ORDER_PRICE)
      continue;
    int slot = study_slot(st);
    if (slot == 1) {
      st->scale.minimum = chart->volume_scale.minimum;
      st->scale.pixels_per_unit = chart->volume_scale.pixels_per_unit;
      st->scale.label_count = 0;
      st->scale.longest_label = 3;
      continue;
    }
    int k = 0;
    while (k < nslots && slots[k] != slot) k++;
    if (k < nslots) {
      memcpy(&st->scale, &slot_first[k]->scale, sizeof st->scale);
      continue;
    }
    if (nslots == 64) continue;
    slots[nslots] = slot;
    slot_first[nslots] = st;
    nslots++;
    if (nslots == 1 && first_study) *first_study = st;
    if (nslots == 2 && second_study) *second_study = st;

    double max = -9e19, min = 1e19;
    study_slot_range(chart, pane_groups, slot, first, last, &max, &min);
    if (slot == 3 || slot == 5 || slot == 7) {
      max = std::max(max, 100.0);
      min = std::min(min, 0.0);
    } else if (slot == 9) {
      max = std::max(max, 1.0);
      min = std::min(min, -1.0);
    } else if (slot == 10) {
      max = std::max(max, 0.0);
      min = std::min(min, 0.0);
    }
    if (symmetric_type(st->type)) {
      double m = std::max(max, std::fabs(min));
      max = 1.1 * m;
      min = -1.1 * m;
    } else if (st->type == STUDY_CCI) {
      double c = max > 100 ? max : 100;
      c = std::ceil(49.5 - std::fmod(c, 50) + c);
      max = c;
      min = -c;
    }
    double range = max - min;
    if (!(range > 0) || range > 1e19) {
      min = 0;
      max = 1;
      range = 1;
    }
    axis_scale* s = &st->scale;
    if (s->label_min == min && s->label_max == max && s->label_height == H &&
        s->pixels_per_unit > 0)
      continue;
    clear_block(s);
    remember_range(s, min, max, H);
    double ppu = (H - h) / range;
    if (!(ppu > 0)) ppu = 1.0 / range;  // a pane no taller than its labels
    store_scale(s, min - (h / 2.0) / ppu, ppu);
    study_labels(s, st, slot, min, max, H, h);
  }
  return nslots;
}

axis_scale* calc_group_scale(uint32_t view_bit, int kind, int H, int h) {
  if (kind < 0 || kind > 2) return nullptr;
  auto* s = static_cast<axis_scale*>(view_scale_slot(view_bit, (uint32_t)kind));
  if (!s) return nullptr;
  bool pl = view_bit != 0 && view_bit == g_group_scale_hooks.pl_group;
  double max = -1e30, min = 1e30;
  {
    kv_lock guard(g_chart_lock);
    for (mqt* q = g_mqt_list; q; q = q->next) {
      if (!(q->view_mask & view_bit)) continue;
      double hi = pl ? q->pl_view_high[kind] : q->view_high[kind];
      double lo = pl ? q->pl_view_low[kind] : q->view_low[kind];
      if (is_finite(hi)) max = std::max(max, hi);
      if (is_finite(lo)) min = std::min(min, lo);
    }
  }
  if (max < -1e29) max = 0;
  if (min > 1e29) min = 0;
  if (pl) {
    if (kind == 2) {
      if (max < 0) max = 0;
      if (max >= 2000000) max = 2000000;
      min = 0;
    }
  } else if (kind == 0) {
    max = std::clamp(max, 1.0, 30.0);
    min = std::clamp(min, -30.0, -1.0);
    if (max > 3)
      max = std::ceil(max);
    else if (max > 2)
      max = std::ceil(max * 2) / 2;
    else if (max > 1)
      max = std::ceil(max * 4) / 4;
    else
      max = std::ceil(max * 10) / 10;
    min = std::floor(min);
  } else if (kind == 1) {
    max = std::round(std::clamp(max, 0.1, 2.5) * 10) / 10;
    min = std::round(std::clamp(min, -2.5, -0.1) * 10) / 10;
  } else {
    max = std::ceil(std::max(max, 200.0) / 100) * 100;
    min = 0;
  }
  if (!(max > min)) max = min + 1;  // a profit-and-loss view with nothing to show
  if (same_block(s, min, max, H)) return s;
  clear_block(s);
  remember_range(s, min, max, H);
  s->kind = (int16_t)kind;
  int mode = g_group_scale_hooks.get_pl_mode ? g_group_scale_hooks.get_pl_mode() : 0;
  int money = pl && (mode == 0 || (kind == 2 && mode != 2));
  if (!place_labels(s, min, max, H, h, k_group_steps, 48, 0, nullptr,
                    kind == 0 ? LabelRule::Every : LabelRule::SecondWhenTight,
                    "scaling err: minpct=%0.2f, maxpct=%0.2f", group_text(money)))
    return nullptr;
  s->kind = (int16_t)kind;
  return s;
}
