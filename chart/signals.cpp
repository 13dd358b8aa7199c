// Trading-system marks of a chart pane: signal bitmaps above and below the
// bars, fill marks at the filled price, order-level marks, the position
// blocks of the trade-signal study pane, and the daily reference lines.
//
// The bitmaps come from the program's resources with a white background;
// each pane keeps its own copies recoloured to its background.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "chart/axisscale.h"
#include "chart/basicchart.h"
#include "chart/linegeom.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "quotes/mqt_record.h"
#include "res/resource.h"
#include "studies/study.h"
#include "studies/studyapi.h"

namespace {

const int pane_bitmap_ids[15] = {IDB_BUY_OPEN,    IDB_SELL_OPEN,  IDB_SELL_STOP,  IDB_BUY_STOP,
                                 IDB_SELL_TARGET, IDB_BUY_TARGET, IDB_SELL_CLOSE, IDB_BUY_CLOSE,
                                 IDB_SELL_MULTI,  IDB_BUY_MULTI,  IDB_LEVEL_LOW,  IDB_LEVEL_HIGH,
                                 IDB_FILL_MARK,   IDB_HRACE_UP,   IDB_HRACE_DOWN};

enum : uint32_t {
  BUY_OPEN = 0x8000000,
  BUY_CLOSE = 0x10000000,
  BUY_STOP = 0x80000000,
  BUY_TARGET = 0x40000000,
  SELL_OPEN = 0x400000,
  SELL_CLOSE = 0x800000,
  SELL_STOP = 0x4000000,
  SELL_TARGET = 0x2000000,
  BUY_BITS = BUY_OPEN | BUY_CLOSE | BUY_STOP | BUY_TARGET,
  SELL_BITS = SELL_OPEN | SELL_CLOSE | SELL_STOP | SELL_TARGET,
};

uint32_t word_at(const StudyDef* s, int i) {
  uint32_t w = 0;
  if (s->outputs && i >= 0 && i < s->output_len) memcpy(&w, &s->outputs[i], 4);
  return w;
}

// Signed 13-bit position held in the low bits of a signal word.
int position_of(uint32_t w) {
  return int32_t(w << 19) >> 19;
}

double tick_of(const chart_rec* ch) {
  return ch->mqt && ch->mqt->tick_size > 0 ? ch->mqt->tick_size : 1.0;
}

}  // namespace

int signal_bitmap_id(uint32_t word, int buy) {
  if (buy) {
    if ((word & BUY_OPEN) && (word & (BUY_BITS & ~BUY_OPEN))) return IDB_BUY_MULTI;
    if (word & BUY_TARGET) return IDB_BUY_TARGET;
    if (word & BUY_STOP) return IDB_BUY_STOP;
    if (word & BUY_OPEN) return IDB_BUY_OPEN;
    if (word & BUY_CLOSE) return IDB_BUY_CLOSE;
    return 0;
  }
  if ((word & SELL_OPEN) && (word & (SELL_BITS & ~SELL_OPEN))) return IDB_SELL_MULTI;
  if (word & SELL_TARGET) return IDB_SELL_TARGET;
  if (word & SELL_STOP) return IDB_SELL_STOP;
  if (word & SELL_OPEN) return IDB_SELL_OPEN;
  if (word & SELL_CLOSE) return IDB_SELL_CLOSE;
  return 0;
}

const QImage* CBasicChart::PaneBitmap(int id) {
  // Recoloured from the white originals each time the background changes:
  // recolouring the copies in place would also turn marks that happen to
  // have the old background's colour.
  if (bitmaps.empty() || settings->bg_color != bitmap_bg) {
    bitmaps.clear();
    for (int b : pane_bitmap_ids) {
      bitmaps.push_back({b, kv_res_bitmap(b)});
      if (settings->bg_color != 0xFFFFFF)
        ReplaceBitmapColor(&bitmaps.back().second, 0xFFFFFF, settings->bg_color);
    }
    bitmap_bg = settings->bg_color;
  }
  for (auto& b : bitmaps)
    if (b.first == id) return b.second.isNull() ? nullptr : &b.second;
  return nullptr;
}

void CBasicChart::DrawPaneBitmap(int id, int x, int y) {
  const QImage* img = PaneBitmap(id);
  if (img) dc->BitBlt(x, y, img->width(), img->height(), *img, 0, 0);
}

int CBasicChart::PriceRow(double price) {
  chart_rec* ch = chart();
  if (settings->percent == 1) {
    double p = ch->percent_base;
    if (!std::isfinite(p) || p == 0) return INT32_MIN;
    return data_rect.bottom - axis_pixels(&own_price, (price - p) / p * 100.0);
  }
  return data_rect.bottom - axis_pixels(&own_price, price);
}

void CBasicChart::DrawSignalMarks(const StudyDef* st, int i, int left, int top, int bottom) {
  chart_rec* ch = chart();
  int centre = left + candle_centre(candle_def);
  if (st->type == STUDY_TRADE_SIGNALS) {
    uint32_t w = word_at(st, i);
    if (int id = signal_bitmap_id(w, 0)) DrawPaneBitmap(id, centre - 7, top - 5 - 15);
    if (int id = signal_bitmap_id(w, 1)) DrawPaneBitmap(id, centre - 7, bottom + 5);
  } else if (st->type == STUDY_ORDER_PRICE) {
    if (!st->outputs || i >= st->output_len || study_is_missing(st->outputs[i])) return;
    uint32_t w = word_at(st, i);
    int upper = int16_t(w >> 16), lower = int16_t(w & 0xFFFF);
    double tick = tick_of(ch);
    if (upper) DrawPaneBitmap(IDB_LEVEL_HIGH, centre - 2, PriceRow(upper * tick) - 2);
    if (lower && (upper || i == ch->header.bar_count - 1))
      DrawPaneBitmap(IDB_LEVEL_LOW, centre - 2, PriceRow(lower * tick) - 2);
  }
}

void CBasicChart::DrawFillMarks(int i, int left) {
  chart_rec* ch = chart();
  if (i < 1) return;
  for (StudyDef* st = ch->studies; st; st = st->next) {
    if ((st->state & 0x1) || st->type != STUDY_TRADE_SIGNALS) continue;
    uint32_t w = word_at(st, i);
    if (!(w & (BUY_BITS | SELL_BITS))) continue;
    int offset = int32_t(w << 10) >> 23;  // bits 13-21, signed
    int y = PriceRow(ch->bars[i].open + tick_of(ch) * offset);
    DrawPaneBitmap(IDB_FILL_MARK, left + candle_centre(candle_def) - 4, y - 4);
  }
}

void CBasicChart::DrawPositionBlock(const StudyDef* st, const axis_scale* sc, int i, int left,
                                    int right) {
  chart_rec* ch = chart();
  if (i <= settings->m_nFirst) return;
  int pitch = candle_pitch(candle_def), db = data_rect.bottom;
  auto row = [&](double v) { return db - axis_pixels(sc, v); };
  uint32_t w = word_at(st, i);
  int p = position_of(w), q = position_of(word_at(st, i - 1));
  int zero = row(0), width = std::max(st->line_width, 1);
  KvPen op = dc->SelectPen(KvPen(PS_SOLID, width, st->color));
  dc->MoveTo(left - pitch / 2, zero);
  dc->LineTo(right - pitch / 2, zero);
  dc->SelectPen(op);
  int y0, y1;
  if ((p > 0 && q > 0) || (p < 0 && q < 0)) {
    y0 = zero, y1 = row(p);
  } else if (p || q) {
    y0 = row(q), y1 = row(p);
  } else if ((w & BUY_OPEN) && (w & SELL_CLOSE)) {
    y0 = data_rect.top + 1, y1 = zero;
  } else if ((w & SELL_OPEN) && (w & BUY_CLOSE)) {
    y0 = zero, y1 = db + 1;
  } else {
    return;
  }
  COLORREF c = st->color;
  if (st->color == settings->study_color)
    c = (ch->bars[i].flags & 0x800000) ? settings->down_color : settings->up_color;
  op = dc->SelectPen(KvPen(PS_SOLID, width, c));
  KvBrush ob = dc->SelectBrush(KvBrush(c));
  dc->Rectangle(left, std::min(y0, y1), right, std::max(y0, y1) + 1);
  dc->SelectBrush(ob);
  dc->SelectPen(op);
}

void CBasicChart::DrawDailyLines() {
  chart_rec* ch = chart();
  if (!is_intraday_unit(ch->header.time_unit)) return;
  bool any = false;
  for (StudyDef* st = ch->studies; st; st = st->next) {
    uint32_t t = (uint32_t)st->type;
    bool daily = (t >= 0x8010013 && t <= 0x8010017) || (t >= 0x8010029 && t <= 0x8010030);
    if (!daily || (st->state & 0x1)) continue;
    if (!any) update_day_stats(ch, 0);
    any = true;
    int first = ch->day_stats.first_index;
    int k = first < settings->m_nFirst ? 0 : first - settings->m_nFirst;
    int x = data_rect.left + candle_pitch(candle_def) * k;
    int y = PriceRow(st->value);
    if (y == INT32_MIN) continue;
    int style = LineStylePen(st->line_style);
    int width = style == PS_SOLID && st->line_width > 1 ? st->line_width : 1;
    KvPen op = dc->SelectPen(KvPen(style, width, st->color));
    Draw2PtHor(*dc, KvPoint(x, y), KvPoint(data_rect.right, y), style, width);
    dc->SelectPen(op);
  }
}
