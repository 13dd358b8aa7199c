// The heat map's values, spectrum, sort, grid and drawing. Record values
// are copied under g_chart_lock and drawn without it.
#include "windows/heatmaplayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"
#include "data/chartload.h"
#include "platform/locks.h"
#include "platform/qt/dc.h"
#include "quotes/alerts.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"

namespace {

const COLORREF kStepColors[HEATMAP_STEPS] = {
    RGB(194, 27, 39),   RGB(214, 10, 46),   RGB(236, 10, 4),    RGB(252, 37, 37),
    RGB(253, 83, 83),   RGB(253, 108, 108), RGB(253, 128, 128), RGB(254, 148, 148),
    RGB(254, 169, 169), RGB(254, 194, 194), RGB(255, 230, 230), RGB(255, 255, 255),
    RGB(219, 248, 214), RGB(183, 240, 172), RGB(146, 233, 131), RGB(109, 225, 89),
    RGB(68, 218, 41),   RGB(60, 199, 35),   RGB(54, 179, 30),   RGB(45, 166, 23),
    RGB(40, 149, 21),   RGB(32, 136, 19),   RGB(32, 119, 17)};

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kAlertLow = RGB(253, 240, 81);   // fired bits 0 or 2
const COLORREF kAlertHigh = RGB(221, 205, 2);   // fired bits 1 or 3
const COLORREF kAlertOther = RGB(0, 255, 255);  // the heat map's own alert words
const COLORREF kMarker = RGB(128, 128, 255);

const int kSpectrumWidth = 368;
const int kStepWidth = 16;

// Steps dark enough for white text and a white mini chart.
bool dark_step(int step) {
  return (step >= 0 && step <= 3) || step >= 18;
}

// The trade price a cell shows: the latest trade with extended sessions,
// else the regular session's last.
float last_price(const mqt* r, uint32_t options) {
  return (options & HEATMAP_EXTENDED) ? r->last : r->day_close;
}

enum AlertShade { SHADE_NONE, SHADE_LOW, SHADE_HIGH, SHADE_OTHER };

AlertShade alert_shade(const alert_rec* a) {
  if (!a) return SHADE_NONE;
  if (a->fired & 0x5) return SHADE_LOW;
  if (a->fired & 0xA) return SHADE_HIGH;
  bool other = (a->fired >> 4) != 0;
  // Bytes 104 to 123 of the record: five of its extra words.
  for (int i = 10; i < 15; i++) other = other || a->extra[i] != 0;
  return other ? SHADE_OTHER : SHADE_NONE;
}

// Mean |high - low| over a chart's bars; 0 for a chart without bars.
float mean_range(const chart_rec* c) {
  int n = c ? c->header.bar_count : 0;
  if (n <= 0 || !c->bars) return 0;
  double sum = 0;
  for (int i = 0; i < n; i++) sum += std::fabs((double)c->bars[i].high - c->bars[i].low);
  return (float)(sum / n);
}

// Orders two cells for a key: empty slots last, values that are no number
// after the numbers; true when a goes first.
bool goes_before(const HeatMapCell& a, const HeatMapCell& b, int key, uint32_t options) {
  if (!a.record || !b.record) return a.record && !b.record;
  if (key == HEATMAP_KEY_NAME) return strcmp(a.record->local_symbol, b.record->local_symbol) < 0;
  float va, vb;
  if (key == HEATMAP_KEY_LAST) {
    va = last_price(a.record, options);
    vb = last_price(b.record, options);
  } else {
    int slot = heatmap_key_slot(key);
    va = a.values[slot];
    vb = b.values[slot];
  }
  if (std::isnan(va) || std::isnan(vb)) return !std::isnan(va) && std::isnan(vb);
  return va > vb;
}

}  // namespace

// What a cell draws, copied from its record under the lock.
struct heatmap_cell_copy {
  char text_symbol[32];
  char money_symbol[32];
  float last;
  float value;
  AlertShade shade;
  bool marker;
  int closes;
  float close[MQT_RECENT_BARS];
};

const char* heatmap_key_text(int key) {
  static const char* const texts[] = {"",
                                      "Symbol Name",
                                      "% Chg from Prev Close",
                                      "Price Chg from Prev Close",
                                      "% Chg from Open",
                                      "Price Chg from Open",
                                      "% Gap",
                                      "$ Gap",
                                      "Last Price",
                                      "% Chg from Mark",
                                      "Price Chg from Mark",
                                      "% Chg from Close",
                                      "Price Chg from Close",
                                      "Show average daily price range"};
  return key >= 1 && key <= 13 ? texts[key] : "";
}

int heatmap_key_is_money(int key) {
  switch (key) {
    case HEATMAP_KEY_CHG_PREV_CLOSE:
    case HEATMAP_KEY_CHG_OPEN:
    case HEATMAP_KEY_GAP:
    case HEATMAP_KEY_LAST:
    case HEATMAP_KEY_CHG_MARK:
    case HEATMAP_KEY_CHG_CLOSE:
    case HEATMAP_KEY_DAILY_RANGE:
      return 1;
    default:
      return 0;
  }
}

int heatmap_key_slot(int key) {
  static const int key_slots[] = {-1,
                                  HEATMAP_SLOT_PCT_PREV_CLOSE,
                                  HEATMAP_SLOT_PCT_PREV_CLOSE,
                                  HEATMAP_SLOT_CHG_PREV_CLOSE,
                                  HEATMAP_SLOT_PCT_OPEN,
                                  HEATMAP_SLOT_CHG_OPEN,
                                  HEATMAP_SLOT_PCT_GAP,
                                  HEATMAP_SLOT_GAP,
                                  -1,
                                  HEATMAP_SLOT_PCT_MARK,
                                  HEATMAP_SLOT_CHG_MARK,
                                  HEATMAP_SLOT_PCT_CLOSE,
                                  HEATMAP_SLOT_CHG_CLOSE,
                                  HEATMAP_SLOT_DAILY_RANGE};
  return key >= 1 && key <= 13 ? key_slots[key] : -1;
}

void heatmap_grid(int n, int* columns, int* rows) {
  if (n <= 3) {
    *columns = std::max(n, 1);
    *rows = 1;
    return;
  }
  int s = (int)std::sqrt((double)n);
  while (s * s > n) s--;
  while ((s + 1) * (s + 1) <= n) s++;
  *rows = s * s < n ? s + 1 : s;
  *columns = *rows * s < n ? s + 1 : s;
}

CHeatMapLayout::CHeatMapLayout() : options(HEATMAP_EXTENDED) {
  for (int i = 0; i < HEATMAP_STEPS; i++) steps[i] = {KvRect(), kStepColors[i], 0, 0};
}

void CHeatMapLayout::SetCells(int mode, int count, HeatMapCell* cell_array) {
  if (mode == 0) {
    cell_count = shown_count = count;
  } else if (mode == 1) {
    shown_count = count;
  } else if (mode == 2) {
    cell_count++;
    shown_count = count;
  }
  cells = cell_array;
}

void CHeatMapLayout::SetConstraint(int mode, int fixed_row_count, int fixed_column_count) {
  constraint = mode;
  fixed_rows = fixed_row_count;
  fixed_columns = fixed_column_count;
}

void CHeatMapLayout::CalcLayouts(KvDC& dc, const KvRect& r) {
  client = r;
  // The steps follow the window both ways: narrower than the nominal bar
  // they shrink, wider again they are back at their width.
  step_width = r.Width() < kSpectrumWidth ? std::max(r.Width(), 0) / HEATMAP_STEPS : kStepWidth;
  step_width2 = step_width * 3 / 4;
  int w = step_width;
  int half = r.Width() / 2;
  spectrum = KvRect(half - 11 * w - w / 2, r.bottom - 26, half + 11 * w + w / 2, r.bottom - 14);
  for (int i = 0; i < HEATMAP_STEPS; i++)
    steps[i].slot =
        KvRect(spectrum.left + i * w, spectrum.top, spectrum.left + (i + 1) * w, spectrum.bottom);
  map = r;
  map.bottom = spectrum.top - 5;

  int n = 0;
  for (int i = 0; cells && i < cell_count; i++)
    if (heatmap_cell_shown(cells[i])) n++;
  if (constraint == HEATMAP_ROWS_FIXED) {
    rows = std::max(fixed_rows, 1);
    columns = std::max((n + rows - 1) / rows, 1);
  } else if (constraint == HEATMAP_COLUMNS_FIXED) {
    columns = std::max(fixed_columns, 1);
    rows = std::max((n + columns - 1) / columns, 1);
  } else {
    heatmap_grid(n, &columns, &rows);
  }
  cell_width = map.Width() / columns;
  cell_height = map.Height() / rows;

  int text_height = 0;
  if (options & HEATMAP_MINI_CHARTS) text_height = dc.GetTextExtent("XXXX").cy;
  int k = 0;
  for (int i = 0; cells && i < cell_count; i++) {
    HeatMapCell& c = cells[i];
    if (!heatmap_cell_shown(c)) continue;
    c.column = k % columns;
    c.row = k / columns;
    k++;
    c.cell = KvRect(c.column * cell_width, c.row * cell_height, (c.column + 1) * cell_width,
                    (c.row + 1) * cell_height);
    c.text = c.cell;
    c.chart = KvRect();
    if (options & HEATMAP_MINI_CHARTS) {
      c.chart = c.cell;
      c.text.bottom = c.text.top + text_height;
      c.chart.top = c.text.bottom;
      if (!(c.text.bottom < c.chart.bottom)) c.chart = KvRect();
    }
  }
}

// The key's value of one record (the caller holds g_chart_lock). A percent
// whose divisor is 0 keeps the slot's previous value.
static void compute_cell(HeatMapCell& c, int key, uint32_t options) {
  const mqt* r = c.record;
  float last = last_price(r, options);
  float open = r->open, prev_close = r->prev_close;
  float* v = c.values;
  switch (key) {
    case HEATMAP_KEY_NAME:
    case HEATMAP_KEY_PCT_PREV_CLOSE:
      v[HEATMAP_SLOT_PCT_PREV_CLOSE] =
          (options & HEATMAP_EXTENDED) ? r->pct_last : r->pct_day_close;
      break;
    case HEATMAP_KEY_CHG_PREV_CLOSE:
      v[HEATMAP_SLOT_CHG_PREV_CLOSE] = last - prev_close;
      break;
    case HEATMAP_KEY_PCT_OPEN:
      if (open != 0) v[HEATMAP_SLOT_PCT_OPEN] = (last - open) * 100 / open;
      break;
    case HEATMAP_KEY_CHG_OPEN:
      v[HEATMAP_SLOT_CHG_OPEN] = last - open;
      break;
    case HEATMAP_KEY_PCT_GAP:
      if (prev_close != 0) v[HEATMAP_SLOT_PCT_GAP] = (open - prev_close) * 100 / prev_close;
      break;
    case HEATMAP_KEY_GAP:
      v[HEATMAP_SLOT_GAP] = open - prev_close;
      break;
    case HEATMAP_KEY_PCT_MARK:
      if (c.mark_price != 0) v[HEATMAP_SLOT_PCT_MARK] = (last - c.mark_price) * 100 / c.mark_price;
      break;
    case HEATMAP_KEY_CHG_MARK:
      v[HEATMAP_SLOT_CHG_MARK] = last - c.mark_price;
      break;
    case HEATMAP_KEY_PCT_CLOSE:
      if (r->day_close != 0)
        v[HEATMAP_SLOT_PCT_CLOSE] = (r->last - r->day_close) * 100 / r->day_close;
      break;
    case HEATMAP_KEY_CHG_CLOSE:
      v[HEATMAP_SLOT_CHG_CLOSE] = r->last - r->day_close;
      break;
    default:  // last price (colour 0) and the daily range (computed apart)
      break;
  }
}

void CHeatMapLayout::ComputeValues() {
  float m = 0;
  {
    kv_lock lock(g_chart_lock);
    int slot = heatmap_key_slot(sort_key);
    for (int i = 0; cells && i < cell_count; i++) {
      HeatMapCell& c = cells[i];
      if (!c.record || !heatmap_cell_shown(c) || (c.flags & HEATMAP_EXCLUDED)) continue;
      compute_cell(c, sort_key, options);
      float v = slot >= 0 ? c.values[slot] : 0;
      if (std::fabs(v) > m) m = std::fabs(v);
    }
  }
  float d = 2 * m / HEATMAP_STEPS;
  float c = m;
  for (int i = 0; i <= 10; i++) {
    steps[i].lower = -c;
    c -= d;
    steps[i].upper = -c;
  }
  steps[11].lower = -d / 2;
  steps[11].upper = d / 2;
  c = d / 2;
  for (int i = 12; i < HEATMAP_STEPS; i++) {
    steps[i].lower = c;
    c += d;
    steps[i].upper = c;
  }
  steps[0].lower = -m - 0.0023f;
  steps[HEATMAP_STEPS - 1].upper = m + 0.0001f;
}

void CHeatMapLayout::ComputeDailyRange(HeatMapCell& c) {
  if (!c.record) return;
  char symbol[MQT_SYMBOL_SIZE];
  {
    kv_lock lock(g_chart_lock);
    snprintf(symbol, sizeof symbol, "%s", c.record->symbol);
    for (chart_rec* ch = c.record->daily_charts; ch; ch = ch->sibling) {
      if (ch->header.time_unit != TU_DAILY) continue;
      c.values[HEATMAP_SLOT_DAILY_RANGE] = mean_range(ch);
      return;
    }
  }
  chart_rec* ch = get_chart_data(symbol, TU_DAILY, 0, 0, 0, nullptr, nullptr, 0);
  {
    kv_lock lock(g_chart_lock);
    c.values[HEATMAP_SLOT_DAILY_RANGE] = mean_range(ch);
  }
  if (ch) free_chart_data(ch);
}

void CHeatMapLayout::ComputeDailyRanges() {
  for (int i = 0; cells && i < cell_count; i++) ComputeDailyRange(cells[i]);
}

void CHeatMapLayout::Sort(int key) {
  if (key != -1) sort_key = key;
  if (sort_key < 1 || sort_key > 13 || !cells) return;
  // Even a map of one cell shows its range once the key is chosen.
  if (sort_key == HEATMAP_KEY_DAILY_RANGE) ComputeDailyRanges();
  if (cell_count <= 1) return;
  kv_lock lock(g_chart_lock);
  int k = sort_key;
  uint32_t o = options;
  std::stable_sort(cells, cells + cell_count, [k, o](const HeatMapCell& a, const HeatMapCell& b) {
    return goes_before(a, b, k, o);
  });
}

void CHeatMapLayout::SetMark(int type, int32_t time) {
  bool known = type == 1 || type == 2 || type == 3 || type == 4 || type == 5 || type == 8;
  options &= ~(uint32_t)HEATMAP_SPARE;
  if (!known) {
    for (int i = 0; cells && i < cell_count; i++) {
      if (!heatmap_cell_shown(cells[i])) continue;
      cells[i].mark_type = 0;
      break;
    }
    return;
  }
  for (int i = 0; cells && i < cell_count; i++) {
    HeatMapCell& c = cells[i];
    if (!heatmap_cell_shown(c)) continue;
    if (c.record) {
      if (type == HEATMAP_MARK_CANDLE) {
        char symbol[MQT_SYMBOL_SIZE];
        float last;
        {
          kv_lock lock(g_chart_lock);
          snprintf(symbol, sizeof symbol, "%s", c.record->symbol);
          last = last_price(c.record, options);
        }
        c.mark_price = c.mark_change = 0;
        chart_rec* ch = get_chart_data(symbol, 1, 0, 0, 0, nullptr, nullptr, 0);
        if (ch) {
          kv_lock lock(g_chart_lock);
          for (int b = ch->header.bar_count - 1; b >= 0; b--) {
            if (ch->bars[b].time != time) continue;
            float close = ch->bars[b].close;
            c.mark_price = close;
            if (close != 0) c.mark_change = (last - close) * 100 / close;
            break;
          }
        }
        if (ch) free_chart_data(ch);
      } else {
        kv_lock lock(g_chart_lock);
        if (type == HEATMAP_MARK_PREV_CLOSE) {
          c.mark_price = c.record->prev_close;
        } else if (type == HEATMAP_MARK_OPEN) {
          c.mark_price = c.record->open;
          c.mark_change = 0;
        } else if (type == HEATMAP_MARK_NOW) {
          c.mark_price = last_price(c.record, options);
          c.mark_change = 0;
        }
      }
    }
    c.mark_type = type;
  }
}

int CHeatMapLayout::StepOf(float v) const {
  for (int i = v == 0 ? 11 : 0; i < HEATMAP_STEPS; i++)
    if (steps[i].lower <= v && v <= steps[i].upper) return i;
  return -1;
}

static void format_bound(char* out, size_t size, int key, float v) {
  snprintf(out, size, heatmap_key_is_money(key) ? "$%6.2f" : "%6.2f%%", v);
}

void CHeatMapLayout::DrawSpectrum(KvDC& dc, int bar_only) {
  dc.FillSolidRect(KvRect(0, spectrum.top, client.right, spectrum.bottom), kWhite);
  for (int slot = 0; slot < HEATMAP_STEPS; slot++)
    dc.FillSolidRect(steps[slot].slot, steps[StepInSlot(slot)].color);
  if (bar_only) return;
  KvFont old_font = dc.SelectFont(KvFont(QStringLiteral("Arial"), 7));
  COLORREF old_text = dc.SetTextColor(kBlack);
  int old_mode = dc.SetBkMode(TRANSPARENT);
  char hi[32], lo[32];
  format_bound(hi, sizeof hi, sort_key, steps[HEATMAP_STEPS - 1].upper);
  format_bound(lo, sizeof lo, sort_key, steps[0].lower);
  int h = dc.GetTextExtent("X").cy;
  KvRect line(spectrum.left, spectrum.bottom, spectrum.right, spectrum.bottom + h);
  dc.DrawText(QString::fromLatin1(hi), line, DT_LEFT | DT_SINGLELINE | DT_NOCLIP);
  dc.DrawText(QString::fromLatin1(lo), line, DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
  dc.DrawText(QStringLiteral("% Change"), line, DT_CENTER | DT_SINGLELINE | DT_NOCLIP);
  dc.SetBkMode(old_mode);
  dc.SetTextColor(old_text);
  dc.SelectFont(old_font);
}

void CHeatMapLayout::DrawStepLabel(KvDC& dc, int slot) {
  if (slot < 0 || slot >= HEATMAP_STEPS) return;
  const SpectrumStep& s = steps[StepInSlot(slot)];
  char text[64];
  if (heatmap_key_is_money(sort_key))
    snprintf(text, sizeof text, "$%6.2f to $%6.2f", s.lower, s.upper);
  else
    snprintf(text, sizeof text, "%6.2f%% to %6.2f%%", s.lower, s.upper);
  KvFont old_font = dc.SelectFont(KvFont(QStringLiteral("Arial"), 7));
  COLORREF old_text = dc.SetTextColor(kBlack);
  KvSize size = dc.GetTextExtent(text);
  const KvRect& at = steps[slot].slot;
  int x = (at.left + at.right) / 2 - size.cx / 2;
  int y = (at.top + at.bottom) / 2 - size.cy / 2;
  KvRect box(x - 1, y - 1, x + size.cx + 1, y + size.cy + 1);
  KvPen old_pen = dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
  KvBrush old_brush = dc.SelectBrush(KvBrush(kWhite));
  dc.Rectangle(box);
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
  dc.SelectClipRect(spectrum);
  int old_mode = dc.SetBkMode(TRANSPARENT);
  dc.TextOut(x, y, text);
  dc.SetBkMode(old_mode);
  dc.SelectClipNone();
  dc.SetTextColor(old_text);
  dc.SelectFont(old_font);
}

void CHeatMapLayout::DrawAll(KvDC& dc) {
  ComputeValues();
  std::vector<heatmap_cell_copy> copies(cells ? cell_count : 0);
  {
    kv_lock lock(g_chart_lock);
    int slot = heatmap_key_slot(sort_key);
    for (int i = 0; cells && i < cell_count; i++) {
      const HeatMapCell& c = cells[i];
      heatmap_cell_copy& k = copies[i];
      k = heatmap_cell_copy();
      if (!c.record || !heatmap_cell_shown(c)) continue;
      const mqt* r = c.record;
      const char* plain = r->local_symbol[0] ? r->local_symbol : r->symbol;
      const char* option =
          r->sec_type[0] == 'O' && r->broker_local_symbol[0] ? r->broker_local_symbol : plain;
      snprintf(k.text_symbol, sizeof k.text_symbol, "%s", option);
      snprintf(k.money_symbol, sizeof k.money_symbol, "%s", plain);
      k.last = last_price(r, options);
      k.value = slot >= 0 && sort_key != HEATMAP_KEY_LAST ? c.values[slot] : 0;
      k.shade = alert_shade(r->alert);
      k.marker = (r->flags & MQT_CHART_LOAD_PENDING) != 0;
      k.closes = std::clamp(r->recent_count, 0, (int)MQT_RECENT_BARS);
      for (int b = 0; b < k.closes; b++) k.close[b] = r->recent_bars[b].close;
    }
  }
  DrawSpectrum(dc, 0);
  balance = 0;
  for (int i = 0; cells && i < cell_count; i++)
    if (cells[i].record && heatmap_cell_shown(cells[i])) DrawCell(dc, cells[i], copies[i]);
}

void CHeatMapLayout::DrawCell(KvDC& dc, const HeatMapCell& c, const heatmap_cell_copy& k) {
  bool excluded = (c.flags & HEATMAP_EXCLUDED) != 0;
  float v = k.value;
  int step = excluded ? (v == 0 ? 11 : 0) : StepOf(v);

  // Fill and text background.
  bool filled = true;
  COLORREF fill = 0, background = 0, text = kBlack;
  if (excluded && (k.shade == SHADE_NONE || k.shade == SHADE_OTHER)) {
    fill = background = kWhite;
  } else if (k.shade == SHADE_LOW) {
    fill = background = kAlertLow;
  } else if (k.shade == SHADE_HIGH) {
    fill = background = kAlertHigh;
  } else if (k.shade == SHADE_OTHER) {
    fill = background = kAlertOther;
  } else if (step >= 0) {
    fill = background = steps[step].color;
    if (dark_step(step)) text = kWhite;
  } else {
    filled = false;  // a value that is no number matches no step
    background = kWhite;
  }
  if (filled) {
    KvPen old_pen = dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
    KvBrush old_brush = dc.SelectBrush(KvBrush(fill));
    dc.Rectangle(c.cell);
    dc.SelectBrush(old_brush);
    dc.SelectPen(old_pen);
  }

  // Font and lines that fit.
  KvFont old_font = dc.SelectFont(KvFont::StockVariable());
  KvSize x5 = dc.GetTextExtent("XXXXX");
  int tw = c.text.Width(), th = c.text.Height();
  bool two_lines;
  if (tw >= x5.cx && th >= 2 * x5.cy) {
    two_lines = true;
  } else if (tw >= 2 * x5.cx && th >= x5.cy) {
    two_lines = false;
  } else {
    dc.SelectFont(KvFont(QStringLiteral("Arial"), 7));
    x5 = dc.GetTextExtent("XXXXX");
    two_lines = !(tw >= 2 * x5.cx && th >= x5.cy) || (tw >= x5.cx && th >= 2 * x5.cy);
  }

  if (v >= 0)
    balance++;
  else if (v < 0)
    balance--;

  bool money = heatmap_key_is_money(sort_key) != 0;
  float shown = sort_key == HEATMAP_KEY_LAST ? k.last : v;
  char value_text[32];
  snprintf(value_text, sizeof value_text, money ? "$%6.2f" : "%6.2f%%", shown);
  const char* symbol = money ? k.money_symbol : k.text_symbol;
  COLORREF old_text = dc.SetTextColor(text);
  COLORREF old_bk = dc.SetBkColor(background);
  int old_mode = dc.SetBkMode(filled ? OPAQUE : TRANSPARENT);
  KvRect area = c.text;
  area.DeflateRect(1, 0);
  int top = std::max((area.top + area.bottom) / 2 - x5.cy, area.top + 1);
  if (two_lines) {
    KvRect line1(area.left, top, area.right, top + x5.cy);
    KvRect line2(area.left, top + x5.cy, area.right, top + 2 * x5.cy);
    dc.DrawText(QString::fromLatin1(symbol), line1, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
    dc.DrawText(QString::fromLatin1(value_text), line2, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  } else {
    std::string one = std::string(symbol) + " " + value_text;
    KvRect line(area.left, top, area.right, top + x5.cy);
    dc.DrawText(QString::fromLatin1(one.c_str()), line, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  dc.SetBkMode(old_mode);
  dc.SetBkColor(old_bk);
  dc.SetTextColor(old_text);
  dc.SelectFont(old_font);

  if (k.marker) {
    KvPen old_pen = dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
    KvBrush old_brush = dc.SelectBrush(KvBrush(kMarker));
    dc.Rectangle(c.text.left, c.text.bottom - 6, c.text.left + 6, c.text.bottom);
    dc.SelectBrush(old_brush);
    dc.SelectPen(old_pen);
  }
  if (excluded) {
    KvPen old_pen = dc.SelectPen(KvPen(PS_SOLID, 2, kBlack));
    dc.MoveTo(c.text.left, c.text.bottom);
    dc.LineTo(c.text.right, c.text.top);
    dc.SelectPen(old_pen);
  }

  // Mini chart of the recent one-minute closes.
  if ((options & HEATMAP_MINI_CHARTS) && k.closes > 0 && !c.chart.IsRectEmpty()) {
    int n = k.closes;
    float lo = k.close[0], hi = k.close[0];
    for (int b = 1; b < n; b++) {
      lo = std::min(lo, k.close[b]);
      hi = std::max(hi, k.close[b]);
    }
    int width = c.chart.Width(), height = c.chart.Height();
    int step_x = (width + n - 1) / n;
    int dropped = 0;
    if (n * step_x > width && step_x > 0) dropped = (n * step_x - width + step_x - 1) / step_x;
    double scale = hi > lo ? height / ((double)hi - lo) : 0;
    // The line takes the text's colour: white only on a dark step's own
    // colour, so an excluded or alert-coloured cell keeps a visible chart.
    KvPen old_pen = dc.SelectPen(KvPen(PS_SOLID, 1, text));
    for (int b = dropped; b < n; b++) {
      int x = c.cell.left + (b - dropped) * step_x;
      int y = hi > lo ? c.chart.bottom - (int)((k.close[b] - lo) * scale) - 1 : c.chart.bottom - 1;
      if (b == dropped)
        dc.MoveTo(x, y);
      else
        dc.LineTo(x, y);
    }
    dc.SelectPen(old_pen);
  }
}

int CHeatMapLayout::CellAt(int x, int y) const {
  for (int i = 0; cells && i < cell_count; i++)
    if (heatmap_cell_shown(cells[i]) && cells[i].cell.PtInRect(x, y)) return i;
  return -1;
}

const char* CHeatMapLayout::SymbolAt(int x, int y, int quoted) const {
  int i = CellAt(x, y);
  if (i < 0 || !cells[i].record) return nullptr;
  if (!quoted) return cells[i].record->symbol;
  static char text[MQT_SYMBOL_SIZE + 2];
  snprintf(text, sizeof text, "\"%s\"", cells[i].record->symbol);
  return text;
}

int CHeatMapLayout::StepAt(int x, int y) const {
  for (int i = 0; i < HEATMAP_STEPS; i++)
    if (steps[i].slot.PtInRect(x, y)) return i;
  return -1;
}

KvSize CHeatMapLayout::PreferredSize(KvDC& dc) const {
  int n = 0;
  for (int i = 0; cells && i < cell_count; i++)
    if (heatmap_cell_shown(cells[i])) n++;
  int cols, rws;
  heatmap_grid(n, &cols, &rws);
  int a = (int)(1.5 * dc.GetTextExtent("XXXX").cx);
  return {cols * a, 42 + rws * a};
}
