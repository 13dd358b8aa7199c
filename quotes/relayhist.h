// One-shot requests to the quote relay: one-minute bars of past days,
// daily, weekly and monthly bars, numbered text pages (and the market
// statistics read from them), and a refresh of the open orders and
// executions.  Each is one transaction on the caller's thread under
// g_router_lock; a reply may span several 1,024-byte blocks.
#pragma once

#include <cstdint>

struct chart_rec;

enum {
  RELAY_MAX_DAYS = 15,          // one-minute days asked for at most
  RELAY_BLOCK_BARS = 255,       // bars of one history request
  RELAY_BAR_FLAGS = 0x5F9000,   // flag word of bars the relay delivers
  RELAY_ALL_DAY = 0x10000,      // kvqr_intraday_data: the whole day, not the session
  RELAY_NOT_CONNECTED = 103,    // kvqr_intraday_data: no relay
  RELAY_SECOND_DAY_FAILED = 7,  // kvqr_intraday_data: a second day failed
  MARKET_STATS_MAX = 200,
  MARKET_STATS_PAGE = 2000,  // text of one statistics page
  MARKET_STATS_LINE = 80,
  MARKET_STATS_FIRST_LINE = 3,  // lines 4 to 24
  MARKET_STATS_LINES = 21,
};

struct market_stat {
  char symbol[32];  // empty ends the table
  float last;
  float change;
  float pct_change;
  float gap;
  float pct_gap;
  int32_t volume;
  int32_t prev_volume;
  float pct_prev_volume;
  float high;
  float low;
  float year_high;
  float year_low;
  int32_t news_time;  // seconds of the day
};

// The flag word of bars the relay delivers: the live-quote configuration's
// code byte and flags (its source_codes) with 0x5F8000.
uint32_t relay_bar_flags();

int kvqr_intraday_data(chart_rec* chart, int days, int first_second, int flags);
int kvqr_day_bars(chart_rec* chart, int day_back, int start_second, int end_second,
                  uint32_t bar_flags);
int kvqr_hist_data(chart_rec* chart, int first_date, int last_date);
int kvqr_bar_block(chart_rec* chart, int count, int last_date, int kind, uint32_t bar_flags);
// The page's text into buffer (at most size - 1 bytes kept, always
// terminated; the rest of a longer page is read and dropped).  1 or 0.
int kvqr_text_page(char* buffer, int size, int page, int sub_page);
// The statistics table (MARKET_STATS_MAX entries, valid until the next
// call) and its number of entries through count.
market_stat* kvqr_market_stats(uint32_t market_mask, uint32_t scan_mask, int time_frame,
                               int min_volume, double min_price, int* count);
// Reads one statistics page (MARKET_STATS_PAGE bytes, changed in place:
// "--" becomes "00") of a scan into the table; the number stored so far
// goes in and out through stored.
void parse_market_stats_page(char* page, int scan, int min_volume, double min_price,
                             market_stat* table, int* stored);
int kvqr_refresh_orders();

// The chart loader's and the web import's relay entries, and the order
// refresh of the request thread.
void install_relay_history_hooks();
