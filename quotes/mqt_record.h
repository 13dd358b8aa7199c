// The live-quote record alone: its layout and the records it holds, with
// nothing of the list or the modules that fill it.  Code below the quote
// modules (the chart loader and the chart files) reads and links records
// through this header; the list and the rest of the quote API are in
// quotes/mqt.h.
//
// Records are zero-filled on creation and never moved. The record is
// written whole only to the dump file, which the same program version
// reads back, so its layout is free. Flag bits: quotes/mqt_flags.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/chart.h"

struct alert_rec;
struct order_rec;
struct market_rec;

enum {
  MQT_SYMBOL_SIZE = 32,
  MQT_DESCRIPTION_SIZE = 60,
  MQT_RECENT_BARS = 30,       // recent one-minute bars
  MQT_SESSION_MINUTES = 390,  // running volume sums per session minute
  MQT_VOLUME_MINUTES = 79,    // volumes of the last minutes
  MQT_TS_ENTRIES = 128,       // time-and-sales ring
  MQT_HISTOGRAM_CELLS = 251,  // price-volume histogram
  MQT_ALERT_HITS = 16,
  MQT_ALERT_TEXT = 64,
  MQT_ACCOUNT_SLOTS = 16,
  MQT_BOOK_SLOTS = 3,   // order-book / level 2 window slots
  MQT_TS_SLOTS = 3,     // time-and-sales window slots
  MQT_BOOK_SIZE = 540,  // one order-book or level 2 buffer
  MQT_MINUTES_PER_DAY = 1440,
  MQT_DEPTH_ROWS = 10,  // market-depth rows of each side
};

// One time-and-sales entry: the first 32 bytes of the relay's trade record
// (code 4) with its code byte cleared and its error byte taken for the
// trade flags, so that the handler, the ring and the windows that read
// copies of it share one layout. Decoded field by field from the record
// (ts_entry_from_record, quotes/tssubs.h); the dump writes it field by
// field as well.
struct ts_entry {
  uint8_t zero;         // 0
  uint8_t trade_flags;  // 1: TS_* trade flags
  uint16_t symbol;      // 2: relay symbol number
  uint8_t byte4;        // 4: kept as the relay sent it
  uint8_t size_unit;    // 5: TS_SIZE_HUNDREDS, TS_SIZE_INDEX or other
  uint8_t operation;    // 6: TS_OP_*
  uint8_t kind;         // 7: TS_KIND_*
  int32_t time;         // 8: time of day in seconds
  int32_t key;          // 12: key of the entry (cancel and correct)
  float price;          // 16: trade price; TS_KIND_BID_ASK: the bid
  union {
    int32_t size;  // 20: trade size
    float ask;     //     TS_KIND_BID_ASK: the ask
  };
  union {
    int32_t volume;            // 24: cumulative volume
    uint16_t bid_ask_size[2];  // TS_KIND_BID_ASK: bid size, ask size
  };
  char condition;           // 28
  uint8_t size_multiplier;  // 29: of the bid and ask sizes (TS_KIND_BID_ASK)
  uint8_t tail[2];          // 30: kept as the relay sent them
};
static_assert(sizeof(ts_entry) == 32);
static_assert(offsetof(ts_entry, time) == 8 && offsetof(ts_entry, price) == 16 &&
              offsetof(ts_entry, size) == 20 && offsetof(ts_entry, volume) == 24 &&
              offsetof(ts_entry, condition) == 28 && offsetof(ts_entry, tail) == 30);

enum : uint8_t {
  TS_ABOVE_ASK = 0x1,  // trade flags
  TS_AT_ASK = 0x2,
  TS_BETWEEN = 0x4,
  TS_AT_BID = 0x8,
  TS_BELOW_BID = 0x10,
  TS_CANCELLED = 0x20,
  TS_CORRECTED = 0x40,
  TS_HELD_BACK = 0x80,
  TS_SIZE_INDEX = 1,     // size_unit: an index, no size
  TS_SIZE_HUNDREDS = 5,  // size_unit: the size came in hundreds
  TS_OP_NEW = 0,
  TS_OP_CANCEL = 1,
  TS_OP_CORRECT = 2,
  TS_KIND_TRADE = 0,
  TS_KIND_BID_ASK = 1,
  TS_KIND_SUMMARY = 2,
};

// A registered update listener: called with itself when its record changes.
struct mqt_listener {
  mqt_listener* next;
  uint8_t flags;  // bit 7 enables it
  void (*callback)(mqt_listener* listener);
  void* user;
};

struct mqt_alert_hit {
  int32_t time;  // seconds
  char text[MQT_ALERT_TEXT];
};

// One market-depth row of a side.
struct mqt_depth_row {
  double price;
  int32_t size;
};

struct mqt_position {
  double quantity;
  double avg_price;
  double last_price;
  double profit;
  // As the broker's portfolio reports them.
  double market_value;
  double unrealized;
  double realized;
  double pl_high, pl_low;  // of the day's profit
  int32_t update_count;
  int32_t update_time;  // UTC seconds
};

// Horse-race and group-view values of one record.
// A spread record's place in the chain of spreads built on one leg. Each
// leg has its own chain of these nodes, so one spread can sit in the
// chains of both its legs.
struct mqt_spread_link {
  mqt_spread_link* next;
  struct mqt* spread;
};

// The price fields as the last stored quote left them. A source writes the
// incoming quote over the record's price fields; these copies keep the
// session values to compare against and put back a rejected quote.
struct mqt_price_copy {
  float last, bid, ask;
  float open, high, low;
  float close, prev_close, change;
};

struct mqt_race_values {
  float change_open, change_low, change_high, change_last;
  float volume;
  float study[4];
  float race;
  float change;
  float pl_low, pl_high, pl_now, pl_volume, pl_study_low, pl_study_high, pl_study_now;
};

struct mqt {
  // 1. Identity.
  char symbol[MQT_SYMBOL_SIZE];  // at most 31 characters, compared without case
  char description[MQT_DESCRIPTION_SIZE];

  // 2. Contract.
  char local_symbol[32];
  char sec_type[5];
  char exchange[9];
  char expiry[9];
  char right[8];
  char currency[4];
  char contract_root[32];
  double strike;
  char broker_local_symbol[32];
  char market_name[8];
  int32_t expiry_number;
  double tick_size;        // 1.0 is used when a chart has no record
  int32_t price_decimals;  // decimals used by format_price
  int32_t multiplier;
  int32_t lot_size;
  uint32_t sec_code;
  market_rec* market;  // market entry of the live-quote configuration; its
                       //   minute table is the record's session map

  // 3. List and spread links.
  mqt* next;
  mqt* leg1;
  mqt* leg2;
  double leg_ratio[2];
  double leg_multiplier[2];
  mqt_spread_link* spread_users;  // spreads that use this record as a leg

  // 4. Chart links (charts chained through chart_rec::sibling).
  chart_rec* intraday_charts;
  chart_rec* daily_charts;
  int32_t scale_point;  // epoch time of the bar a chart picked as its scale point, 0 none

  // 5. State.
  uint32_t flags;  // MQT_* bits, quotes/mqt_flags.h
  int32_t users;
  uint32_t phase_bit;
  uint32_t view_bits;
  uint32_t streams_held;    // stream kinds subscribed (stream_code bits)
  int32_t pending_streams;  // changed with interlocked operations only
  int32_t symbol_slot;      // 1..300, 0 none
  uint32_t feed_flags;
  int32_t session_start;  // seconds of day
  int32_t session_end;
  int32_t quote_fail_count;
  int32_t quote_skip_cycles;
  uint32_t stream_code;
  int32_t tick_word;  // copied into tick charts

  // 6. Quote.
  int32_t quote_date;  // yyyymmdd
  int32_t quote_time;  // seconds of day
  int32_t quote_epoch;
  int32_t stored_date;
  int32_t stored_time;
  int32_t stored_epoch;
  int32_t trade_time;
  int32_t trade_epoch;
  float last;
  int32_t last_size;
  int32_t volume;
  float bid;
  float ask;
  int32_t bid_size;
  int32_t ask_size;
  int32_t open_interest;
  float open;
  float high;
  float low;
  float prev_close;
  float close;           // a current or official closing price (FEED_CLOSE)
  uint32_t quote_word2;  // valid with MQT_QUOTE_WORD2
  float change;
  float session_high;
  float session_low;
  float session_start_price;
  double vwap_sum;
  double vwap_volume;
  float vwap;
  float pct_open, pct_high, pct_low, pct_day_close, pct_last;
  double valuation_price;  // price that positions are valued at
  mqt_price_copy stored;   // price fields after the last stored quote
  double histogram_base;
  double histogram_step;
  int32_t histogram[MQT_HISTOGRAM_CELLS];
  float prev_last, prev_bid, prev_ask;
  float last_change, bid_change, ask_change;
  float reference_price;
  // The day's values, in two copies that sync_bar_to_link overwrites.
  int32_t day_date;
  float day_open, day_high, day_low, day_close;
  int32_t day_date2;
  float day_open2, day_high2, day_low2, day_close2;
  // Quote fields the relay sends without a named use, kept as they came:
  // stock form the prices at 56 and 60, the thousandths at 72 and 76, the
  // bytes 67 and 68 and the word at 100; option form the price at 48, the
  // i16 at 52, the byte at 56 and the word at 72.
  float relay_price[2];
  float relay_thousandths[2];
  uint8_t relay_byte[2];
  int16_t relay_short;
  uint32_t relay_word;

  // 7. One-minute state.
  chart_bar recent_bars[MQT_RECENT_BARS];
  int32_t recent_count;
  int32_t unwritten_count;
  int32_t written_count;
  int32_t pending_minute[3];  // cleared by clear_chart_bars
  int32_t session_volume[MQT_SESSION_MINUTES];
  int32_t minute_volume[MQT_VOLUME_MINUTES];      // oldest first, newest last
  int32_t minute_cum_volume[MQT_VOLUME_MINUTES];  // cumulative volume at each minute
  int32_t newest_minute;
  int32_t ring_date;  // yyyymmdd and time of day of the newest ring bar
  int32_t ring_time;
  int32_t seen_volume;      // cumulative volume when the ring last took volume
  int32_t relative_volume;  // percent of the previous session at the same minute
  int32_t histogram_date;   // yyyymmdd the price-volume histogram belongs to
  // Summary of the last six one-minute bars of the market date.
  chart_bar six_bar;
  float six_high, six_low, six_close;
  float six_pct_close, six_pct_high, six_pct_low;

  // 8. Time and sales.
  ts_entry ts_ring[MQT_TS_ENTRIES];
  int32_t ts_next;
  int32_t ts_wrapped;
  int16_t ts_held[4];  // ring index + 1 of trades held outside the band, newest first; 0 none
  float ts_smoothed;   // smoothed trade price of the band test

  // 9. Alerts.
  alert_rec* alert;
  int32_t alert_hit_count;  // newest last; the alerts dialog sets it to 0
  mqt_alert_hit alert_hits[MQT_ALERT_HITS];

  // 10. Lists of other modules.
  order_rec* orders;
  uint32_t order_letters;                    // group letters in use ('A' bit 0)
  int32_t order_letters_time;                // when the letter mask was last stamped (UTC seconds)
  mqt_depth_row depth_bids[MQT_DEPTH_ROWS];  // market depth, best row first
  mqt_depth_row depth_asks[MQT_DEPTH_ROWS];
  mqt_listener* update_callbacks;
  uintptr_t book_windows[MQT_BOOK_SLOTS];
  uint8_t* book_buffers[MQT_BOOK_SLOTS];
  uint32_t ts_windows[MQT_TS_SLOTS];  // time-and-sales windows (kv_hwnd), 0 free
  uint8_t ts_kinds[MQT_TS_SLOTS];     // their kind masks: TS_WANT_*
  uint32_t ts_tokens[MQT_TS_SLOTS];   // their subscriptions' tokens, posted as wparam
  int32_t ts_subscribers;
  chart_extension* iext_chain;  // annotation blocks of the intraday charts (.iext)
  int32_t iext_count;

  // 11. Positions.
  mqt_position account_positions[MQT_ACCOUNT_SLOTS];
  double paper_quantity;
  double paper_avg_price;
  double paper_profit;
  double paper_quantity_posted;  // paper quantity at the last portfolio notice

  // Broker account figures: account values of an account record, margin
  // and profit of a position for the horse race.
  double nlv_base;  // first net liquidation value seen
  double init_margin, available_funds, available_pct, unrealized_pnl, equity_with_loan,
      gross_position_value;
  double pl_margin, pl_profit, pl_unrealized, pl_realized;
  uint8_t pl_listed;  // listed in the horse race
  // Broker ticks without a place of their own in the quote.
  float week52_low, week52_high;
  double hist_volatility, implied_volatility, index_future_premium;
  int32_t call_open_interest, put_open_interest, call_volume, put_volume;

  // Group views (market windows).
  uint32_t view_mask;  // one bit per group view showing the record
  mqt_race_values race;
  float view_high[3];
  float view_low[3];
  float pl_view_high[3];
  float pl_view_low[3];
};
