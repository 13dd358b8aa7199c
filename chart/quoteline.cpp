// The live-quote parts of a chart pane: the quote line above the data, the
// bid/ask bar at the right of the price area, the square that shows how
// fresh the quotes are, and the frame lines of the bid/ask and
// graphical-trade strips.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "chart/axisscale.h"
#include "chart/basicchart.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/exchclock.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "quotes/mqt_record.h"
#include "res/resource.h"

namespace {

const COLORREF QUOTE_DOWN = 0x040AEC, QUOTE_UP = 0x23C73C;

}  // namespace

void CBasicChart::DrawQuoteLine(KvDC* d, const mqt* q) {
  if (!d || !settings || quotes_rect.IsRectEmpty()) return;
  kv_lock guard(g_chart_lock);
  dc = d;
  char last[64] = "n/a ", bid[64] = "n/a ", ask[64] = "n/a ", count[16] = "";
  const char* count_label = "";
  COLORREF c_last = settings->text_color, c_bid = c_last, c_ask = c_last;
  if (q) {
    format_price(q->last, last, q->price_decimals, 0);
    format_price(q->bid, bid, q->price_decimals, 0);
    format_price(q->ask, ask, q->price_decimals, 0);
    c_last = q->last_change < 0 ? QUOTE_DOWN : QUOTE_UP;
    c_bid = q->bid_change < 0 ? QUOTE_DOWN : QUOTE_UP;
    c_ask = q->ask_change < 0 ? QUOTE_DOWN : QUOTE_UP;
    // What is left of the current bar on intraday charts: shares of a
    // volume bar, ticks of a tick bar, seconds of a time bar.
    chart_rec* ch = chart();
    if (ch && is_intraday_unit(ch->header.time_unit)) {
      int unit = ch->header.time_unit;
      count_label = is_volume_unit(unit) ? " VR: " : is_tick_unit(unit) ? " TR: " : " SR: ";
      snprintf(count, sizeof count, "%d",
               is_volume_unit(unit) ? ch->header.unit_count2 : ch->header.unit_count1);
    }
  }
  if (!printing()) d->SelectClipRect(quotes_rect);
  d->FillSolidRect(quotes_rect, settings->bg_color);
  // The arrow column: the rising mark unless the last price fell.
  if (const QImage* arrow = PaneBitmap(q && q->last_change < 0 ? IDB_SELL_OPEN : IDB_BUY_OPEN))
    d->BitBlt(quotes_rect.left, quotes_rect.top, std::min(15, arrow->width()),
              std::min(quotes_rect.Height(), arrow->height()), *arrow, 0, 0);
  d->SelectFont(KvFont::StockVariable());
  d->SetBkColor(settings->bg_color);
  d->SetBkMode(OPAQUE);
  int x = quotes_rect.left + 15;
  auto put = [&](const char* text, COLORREF c) {
    d->SetTextColor(c);
    d->TextOut(x, quotes_rect.top, text);
    x += d->GetTextExtent(text).cx;
  };
  put(" Last: ", settings->text_color);
  put(last, c_last);
  put(" Bid: ", settings->text_color);
  put(bid, c_bid);
  put(" Ask: ", settings->text_color);
  put(ask, c_ask);
  if (*count_label) {
    put(count_label, settings->text_color);
    put(count, settings->text_color);
  }
  if (settings->display_flags & CS_SHOW_UPDATING) put(" Updating...", settings->text_color);
  ClipTo(data_rect);
}

void CBasicChart::DrawBidAskBar(KvDC* d, const mqt* q) {
  if (!d || !settings || !q || bidask_rect.IsRectEmpty()) return;
  kv_lock guard(g_chart_lock);
  dc = d;
  if (!printing()) d->SelectClipRect(bidask_rect);
  d->FillSolidRect(bidask_rect, settings->bg_color);
  int b = bidask_rect.bottom;
  auto row = [&](double price) { return b - axis_pixels(&own_price, price); };
  if (q->bid <= q->ask && own_price.pixels_per_unit > 0 && settings->percent != 1) {
    int ya = row(q->ask), yb = row(q->bid), yl = row(q->last);
    d->FillSolidRect(KvRect(bidask_rect.left, ya, bidask_rect.right, yb + 1),
                     settings->bidask_color);
    int t = q->last == q->ask ? yl : q->last == q->bid ? yl - 2 : yl - 1;
    d->FillSolidRect(KvRect(bidask_rect.left, t, bidask_rect.right, t + 2),
                     settings->last_mark_color);
  }
  ClipTo(data_rect);
}

void CBasicChart::DrawFreshness(const mqt* q) {
  if (!time_axis_on || !q || !dc) return;
  int now = (int)(((g_exchange_seconds % 86400) + 86400) % 86400);
  int age = std::abs(now - q->quote_time);
  COLORREF c = age <= 10 ? 0x00FF00 : age <= 60 ? 0x00FFFF : 0x0000FF;
  KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
  KvBrush ob = dc->SelectBrush(KvBrush(c));
  dc->Rectangle(pane_rect.left, pane_rect.bottom - 6, pane_rect.left + 6, pane_rect.bottom);
  dc->SelectBrush(ob);
  dc->SelectPen(op);
}

void CBasicChart::DrawStripFrames(int time_axis_pass) {
  KvPen old = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
  if (time_axis_pass && (settings->display_flags & CS_SHOW_BIDASK) && !bidask_rect.IsRectEmpty()) {
    dc->MoveTo(bidask_rect.left, bidask_rect.bottom);
    dc->LineTo(bidask_rect.right + 1, bidask_rect.bottom);
  }
  if ((settings->display_flags & CS_SHOW_GRTRADE) && !grtrade_rect.IsRectEmpty()) {
    if (time_axis_pass) {
      dc->MoveTo(grtrade_rect.left, grtrade_rect.bottom);
      dc->LineTo(grtrade_rect.right, grtrade_rect.bottom);
    } else {
      dc->MoveTo(grtrade_rect.left, grtrade_rect.top);
      dc->LineTo(grtrade_rect.left, grtrade_rect.bottom + 1);
    }
  }
  dc->SelectPen(old);
}
