// Chart loading: the one entry through which a window obtains a chart
// (get_chart_data), the loaders of intraday, seconds, tick and volume
// charts, the daily-from-intraday builder, clearing a chart's bars and the
// Heikin-Ashi transform.
//
// get_chart_data resolves the symbol, reads what is stored, works out the
// missing span, fetches it from the configured source, merges, writes the
// file back and returns a listed chart with one reference for the caller,
// who releases it with free_chart_data.  Loading never throws: a failure is
// reported through statmsg and gives null (or an empty chart where said).
//
// Request flags are the CHART_REQ_* bits of data/chart.h.  Fetching is
// considered only while one of FETCH, RELOAD, AUTO_UPDATE is set and
// NEVER_FETCH is clear.
#pragma once

#include <cstdint>

#include "data/chart.h"

struct mqt;
struct StudyDef;

// Fetch options handed to the web import.
enum : uint32_t {
  FETCH_OPT_DESCRIPTION = 0x1,  // the stored chart has no description: fetch one
  FETCH_OPT_LONG_SPAN = 0x2,    // long span
};

// Router capabilities (of the live-quote source's configuration) the
// loaders look at.
enum : uint32_t {
  ROUTER_CAP_INTRADAY_HISTORY = 0x10001,  // any bit: intraday history offered
  ROUTER_CAP_BROKER = 0x10000,            // broker-socket mode
};

// Fetch status of a fetched chart that keeps get_chart_data from logging its
// "data for" report.
enum { FETCH_STATUS_QUIET = 29 };

// ---------------------------------------------------------------------------
// Sources and services that other parts of the program provide.  Each is a
// function pointer that its module sets when it starts; a null entry means
// that source or service is not there, and the loaders go on without it
// (no live-quote record, nothing fetched from that source).
struct chart_load_hooks {
  // History import from web pages or local files by parse file
  // (unit, symbol, first, last, FETCH_OPT_* options, source, parse file)
  // -> new unlisted chart with its bars sorted, or null.  parse_web_data
  // unless replaced.
  chart_rec* (*web_import)(int unit, const char* symbol, int first, int last, uint32_t options,
                           const char* source, const char* parse_file);

  // Live-quote records: the record or null; the record created when
  // missing (one more user); linking a listed chart to its record;
  // today's daily bar from the quote; writing completed 1-minute bars.
  mqt* (*find_mqt)(const char* symbol);
  mqt* (*get_multiquote)(const char* symbol);
  void (*link_chart_to_mqt)(chart_rec* chart);
  void (*dchart_update)(chart_rec* chart, mqt* record);
  void (*write_1min_bars)(mqt* record);
  // Seeds a record's one-minute state (recent bars, minute volumes, the
  // session's volume curve) from its 1-minute chart (record, chart); called
  // after that chart's file was written while the record has MQT_1MIN_INIT.
  void (*init_mqt_from_1min)(mqt* record, chart_rec* chart);
  // Exit clean-up: saving the price alerts, then freeing every live-quote
  // record once the charts are gone.
  int (*save_alerts)(void);
  void (*free_all_mqts)(void);
  // Dropping the use of a record that a chart held (the record goes with
  // its last user); posting a stream request for a record to the quote
  // relay's request thread (1 posted).
  void (*delete_multiquote)(mqt* record);
  int (*router_post_stream)(uint32_t stream_code, mqt* record);

  // Studies: recomputing a chart's studies (restart nonzero: from the
  // first bar); a copy of a study on another chart (a compressed chart
  // takes its base chart's studies) -> the copy or null.
  void (*recalc_studies)(chart_rec* chart, int restart);
  StudyDef* (*create_study)(chart_rec* chart, const StudyDef* templ);
  // Giving every study of the chart new_len slots per output (0 when
  // memory ran out); moving the trading-system plot outputs down by n
  // slots after the chart's n oldest bars were removed.
  int (*resize_studies)(chart_rec* chart, int new_len);
  void (*shift_plot_outputs)(chart_rec* chart, int n);

  // Quote relay history: (fetch chart, days, first missing time of day,
  // flags) -> 0 with the bars put into the fetch chart, else an error code
  // reported through kvqr_error_text (code, symbol).
  int (*kvqr_intraday_data)(chart_rec* fetch, int days, int first_missing, int flags);
  void (*kvqr_error_text)(int code, const char* symbol);

  // Broker history service.  broker_connected -> nonzero while connected;
  // hmds_pacing_wait (background) -> nonzero when a request may go now;
  // req_intraday_data (chart to fill, record, duration, end text
  // "yyyymmdd hh:mm:ss UTC") -> 1 sent, 0 refused; the reply fills the
  // chart and sets g_hmds_event.  hist_data_error -> the error of the last
  // history reply (0 none); clear_hmds_target forgets the chart being
  // filled; cancel_historical_data cancels the outstanding request.
  int (*broker_connected)(void);
  int (*hmds_pacing_wait)(int background);
  int (*req_intraday_data)(chart_rec* chart, mqt* record, int duration, const char* end_text);
  int (*hist_data_error)(void);
  void (*clear_hmds_target)(void);
  void (*cancel_historical_data)(void);
};
extern chart_load_hooks g_chart_load_hooks;

// Whether the flags let a load fetch: one of FETCH, RELOAD, AUTO_UPDATE and
// not NEVER_FETCH.
int chart_fetch_considered(uint32_t flags);
// router_capabilities of the live-quote source's configuration (0 without).
uint32_t router_capabilities(void);
// Nonzero while the broker link is connected (0 without a broker link).
int broker_connected(void);
// Frees an unlisted record of fetched bars without writing it to a file.
void discard_fetched_chart(chart_rec* chart);

// ---------------------------------------------------------------------------
// Loading.

// (symbol, time unit, first date, last date, CHART_REQ_* flags, data-source
// or price-file name or null, parse file or null, time-axis density)
// -> listed chart with one reference for the caller, or null.  With
// CHART_REQ_HEADER_ONLY: a header-only record (CHART_HEADER_ONLY).
chart_rec* get_chart_data(const char* symbol, int time_unit, int first_date, int last_date,
                          uint32_t flags, const char* source, const char* parse_file, int density);

// Units 1-389: the 1-minute chart, or n-minute bars compressed from it.
chart_rec* create_intraday_chart(const char* symbol, int time_unit, uint32_t flags);
// The symbol's listed 1-minute chart after fetching what is missing.
chart_rec* load_1min_chart(const char* symbol, uint32_t flags);
// The listed 1-minute chart with one more reference when its extended-hours
// mark matches (set exactly when flags is nonzero), else load_1min_chart.
chart_rec* get_1min_chart(const char* symbol, uint32_t flags);
// Units -59..-1.
chart_rec* create_seconds_chart(const char* symbol, int time_unit, uint32_t flags);
// Tick and volume units.
chart_rec* create_tick_chart(const char* symbol, int time_unit, uint32_t flags);

// Days of 1-minute history to fetch for a stored chart, and the time of day
// of the first missing minute of the first of those days.
int intraday_days_to_get(const chart_rec* chart, mqt* record, int* first_missing, uint32_t flags);

// Daily bars from the broker, in chunks of at most 365 days, into chart.
void request_daily_history(chart_rec* chart, int first_date, int last_date);

// Daily bars of a daily chart (unit 390) rebuilt from the symbol's 1-minute
// chart, merged into the daily file and copied into the chart.
void update_daily_from_intraday(chart_rec* chart);

// ---------------------------------------------------------------------------
// Clearing and derived bars.

// Mode 0: the bars of the last day; 1: every bar before the last day;
// 2: all bars.  Returns 1.  Takes g_chart_lock.
int clear_chart_data(chart_rec* chart, int mode);
// The bars of one chart as clear_chart_data's modes: 0, or mode - 2 for an
// unknown mode.
int clear_chart_bars(chart_rec* chart, int mode);

// The Heikin-Ashi bars of the chart (made on first use behind the bars);
// only the last one recomputed when last_only.  The plain bars when the
// array cannot be made.
chart_bar* calc_heikin_ashi(chart_rec* chart, int last_only);
