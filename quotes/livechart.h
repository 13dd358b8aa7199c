// Live chart updates from stored quotes: the bars of the symbol's linked
// intraday and daily charts follow each quote (the newest bar updated,
// new bars appended, gaps back-filled with flat bars, old bars pruned),
// and every record keeps its last 30 one-minute bars and writes them to
// the symbol's ".1min" price file.
//
// All run on the thread that stores the quote, under g_chart_lock (taken
// here as well; the lock is re-entrant).  Windows are told with
// WM_UPDATE_FROM_THREAD, throttled by the chart's post counter, which the
// chart view sets back to 0 when it handles the message; the message
// carries the chart flags and no pointer.
#pragma once

#include <cstdint>

struct chart_rec;
struct chart_bar;
struct mqt;

// Bar flags set by live updates.
enum : uint32_t {
  BAR_BACKFILLED = 0x31000000,  // a flat bar made to fill a gap
  BAR_FLAT = 0x20000000,        // flat bar not yet traded in
  BAR_PRICES_SET = 0x1e0000,    // open, high, low and close set
  BAR_CLOSE_TRADE = 0x100000,   // close from a trade
};

// Sets the quote hooks and the chart loader's daily and one-minute hooks.
void install_live_chart_hooks(void);

void update_mqt_charts(mqt* record);
void ichart_update(chart_rec* chart, mqt* record);
void dchart_update(chart_rec* chart, mqt* record);
// Appends flat bars for the slots after `from` up to the one of `to`
// (bar_seconds long). Returns the chart's last bar, or null when no room
// could be made.
chart_bar* mqt_ibackfill(chart_rec* chart, mqt* record, int bar_seconds, int from, int to);
void update_bar_with_quote(chart_bar* bar, mqt* record, int unit);
void update_bar_with_last(chart_bar* bar, mqt* record);
void prune_old_bars(chart_rec* chart, mqt* record);
// More free slots for the chart (second charts drop their oldest tenth
// instead). Returns the chart, or null when memory ran out.
chart_rec* add_spare_points(chart_rec* chart);
// Rebuilds the bars of the linked minute charts from the one-minute ring
// (after the relay sent one-minute bars into it).
void rebuild_minute_charts(mqt* record);
// The chart view's acknowledgement of a bid/ask post.
void mqt_ack_bidask(chart_rec* chart, mqt* record);

// One-minute ring (quotes/onemin.cpp).
void update_1min_data(mqt* record);
// Appends flat ring bars for the minutes after `from` up to `to`; returns
// the newest ring bar before the fill (null when the ring was empty).
chart_bar* mqt_backfill(mqt* record, int from, int to);
void write_1min_bars(mqt* record);
// Seeds the record's ring, minute volumes (with a given chart), today's
// open and the last session's volume curve from its one-minute chart: the
// given one (just written), else the symbol's, loaded and pruned.
void init_mqt_from_1min(mqt* record, chart_rec* chart);
// Adds a trade to the record's price-volume histogram of the quote date.
void mqt_histogram_add(mqt* record, double price, int32_t size);
// Time of the quote in seconds of the day: the trade time, else the quote
// time; -1 when neither is there.
int mqt_quote_seconds(const mqt* record);
// The session-map bits of a minute of the day for the record's market
// (every minute is a main-session minute without a market).
int mqt_minute_bits(const mqt* record, int minute);

// The write phase of the current quote cycle: a record's one-minute bars
// are written when its phase_bit equals it.
extern uint32_t g_cycle_phase;
