// Price files and chart records.
//
// A chart is the bars of one symbol at one time unit. In memory it is a
// chart_rec, shared by every window that shows it and kept on g_chart_list;
// on disk it is one price file:
//
//   chart_file_header   256 bytes
//   extension blocks    header.ext_count x 128 bytes
//   bars                32 bytes each, to the end of the file
//
// All file integers are little-endian and floats IEEE single precision.
// The records below are never written to a file as they lie in memory: the
// header, bar and extension images are encoded field by field by
// data/chartheader.h, which the console tools link too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/axis_scale.h"

struct StudyDef;  // a chart's study list (studies/)
struct mqt;       // live-quote record (quotes/mqt.h)

// ---------------------------------------------------------------------------
// Time units.
//
//   1            1-minute bars, ".1min"
//   2..389       n-minute bars, derived from the 1-minute chart (no file)
//   390          daily bars, ".dyd"; 392..410 n-day bars derived from it
//   2730         weekly, ".wyd"
//   11700        monthly, ".myd"
//   100000       the live-quote record (no file)
//   100001       annotation blocks of an intraday symbol, ".iext"
//   -1..-59      n-second bars (no file)
//   -101..-999999999       N-tick bars, code -(N + 100), ".tick<N>"
//   below -1000000000      N-volume bars, code -(N + 1000000000), ".vol<N>"
enum : int32_t {
  TU_1MIN = 1,
  TU_MAX_MINUTES = 389,
  TU_DAILY = 390,
  TU_2DAY = 392,
  TU_3DAY = 393,
  TU_4DAY = 394,
  TU_5DAY = 395,
  TU_10DAY = 400,
  TU_20DAY = 410,
  TU_WEEKLY = 2730,
  TU_MONTHLY = 11700,
  TU_MQT = 100000,
  TU_IEXT = 100001,
  TU_SECONDS_LAST = -1,               // 1-second bars
  TU_SECONDS_FIRST = -59,             // 59-second bars
  TU_TICK_BASE = -100,                // tick unit = TU_TICK_BASE - N
  TU_VOLUME_BASE = -1000000000,       // volume unit = TU_VOLUME_BASE - N
  TU_TICK_FIRST = TU_TICK_BASE - 1,   // 1-tick bars
  TU_TICK_LAST = TU_VOLUME_BASE + 1,  // the most ticks a bar can count
};

inline bool is_tick_unit(int32_t unit) {
  return unit <= TU_TICK_FIRST && unit >= TU_TICK_LAST;
}
inline bool is_volume_unit(int32_t unit) {
  return unit < TU_VOLUME_BASE;
}
inline bool is_seconds_unit(int32_t unit) {
  return unit >= TU_SECONDS_FIRST && unit <= TU_SECONDS_LAST;
}
inline bool is_intraday_unit(int32_t unit) {
  return unit < TU_DAILY;
}

// ---------------------------------------------------------------------------
// File images.

enum {
  CHART_HEADER_SIZE = 256,
  CHART_EXTENSION_SIZE = 128,
  CHART_BAR_SIZE = 32,
  CHART_FILE_VERSION = 7,
  CHART_SYMBOL_SIZE = 32,       // at most 31 characters and a zero
  CHART_DESCRIPTION_SIZE = 60,  // at most 59 characters and a zero
  CHART_PATH_SIZE = 1024,       // buffer size for chart_file_name paths
};
inline constexpr uint32_t CHART_FILE_MAGIC = 0x9AE5E1A5u;

// The 256-byte file header, field by field. In memory it is the first part
// of every chart_rec; data/chartheader.h converts it to and from the file
// image.
struct chart_file_header {
  uint16_t zero;                             // 0: 0; another value reads as "no bars" header-only
  uint16_t version;                          // 2: CHART_FILE_VERSION
  uint32_t magic;                            // 4: CHART_FILE_MAGIC
  char symbol[CHART_SYMBOL_SIZE];            // 8
  char description[CHART_DESCRIPTION_SIZE];  // 40
  int32_t time_unit;                         // 100
  int32_t bar_count;                         // 104: bars held (in a file: bars written)
  int32_t first_date;                        // 108: yyyymmdd of the first bar
  int32_t last_date;                         // 112: yyyymmdd of the last bar
  uint32_t flags;                            // 116: chart flags (data/chart_flags.h)
  int32_t history_date;                      // 120: yyyymmdd taken over from fetched history
  int32_t history_word;                      // 124: taken over from fetched history
  int32_t last_time;                         // 128: time of day of the last bar (seconds)
  float prev_close;                          // 132: previous close from the live-quote record
  uint32_t quote_word2;                      // 136: second quote word from the live-quote record
  int32_t avg_volume;                        // 140: average volume (intraday volume axis)
  int32_t session_start;                     // 144: seconds after midnight, 0 = none
  int32_t session_end;                       // 148: seconds after midnight, 0 = none
  int32_t ext_count;                         // 152: extension blocks that follow the header
  int32_t unit_count1;     // 156: ticks/volume counted into a tick or volume chart
  int32_t unit_count2;     // 160: second such counter
  int32_t volume_per_bar;  // 164: volume chart's volume per bar
  uint32_t word168;        // 168: carried unchanged
  uint32_t word172;        // 172: cleared when an intraday chart's bars are discarded
  char leg1[32];           // 176: spread leg 1 symbol
  char leg2[32];           // 208: spread leg 2 symbol
  float ratio1;            // 240: spread leg 1 ratio
  float ratio2;            // 244: spread leg 2 ratio
  uint32_t word248;        // 248: carried unchanged
  uint32_t checksum;       // 252: see chart_header_checksum
};
static_assert(offsetof(chart_file_header, version) == 2);
static_assert(offsetof(chart_file_header, magic) == 4);
static_assert(offsetof(chart_file_header, symbol) == 8);
static_assert(offsetof(chart_file_header, description) == 40);
static_assert(offsetof(chart_file_header, time_unit) == 100);
static_assert(offsetof(chart_file_header, bar_count) == 104);
static_assert(offsetof(chart_file_header, first_date) == 108);
static_assert(offsetof(chart_file_header, last_date) == 112);
static_assert(offsetof(chart_file_header, flags) == 116);
static_assert(offsetof(chart_file_header, history_date) == 120);
static_assert(offsetof(chart_file_header, history_word) == 124);
static_assert(offsetof(chart_file_header, last_time) == 128);
static_assert(offsetof(chart_file_header, prev_close) == 132);
static_assert(offsetof(chart_file_header, quote_word2) == 136);
static_assert(offsetof(chart_file_header, avg_volume) == 140);
static_assert(offsetof(chart_file_header, session_start) == 144);
static_assert(offsetof(chart_file_header, session_end) == 148);
static_assert(offsetof(chart_file_header, ext_count) == 152);
static_assert(offsetof(chart_file_header, unit_count1) == 156);
static_assert(offsetof(chart_file_header, unit_count2) == 160);
static_assert(offsetof(chart_file_header, volume_per_bar) == 164);
static_assert(offsetof(chart_file_header, word168) == 168);
static_assert(offsetof(chart_file_header, word172) == 172);
static_assert(offsetof(chart_file_header, leg1) == 176);
static_assert(offsetof(chart_file_header, leg2) == 208);
static_assert(offsetof(chart_file_header, ratio1) == 240);
static_assert(offsetof(chart_file_header, ratio2) == 244);
static_assert(offsetof(chart_file_header, word248) == 248);
static_assert(offsetof(chart_file_header, checksum) == 252);
static_assert(sizeof(chart_file_header) == CHART_HEADER_SIZE);

// One bar, 32 bytes in the file.
struct chart_bar {
  float open;       // 0
  float high;       // 4
  float low;        // 8
  float close;      // 12
  int32_t volume;   // 16: counted only with BAR_VOLUME_VALID
  union {           // 20: volume-weighted price with BAR_EXTRA_VWAP,
    int32_t extra;  //     a summed count with BAR_EXTRA_ADDITIVE,
    float vwap;     //     else open interest
  };
  uint32_t flags;  // 24: bar flags (data/chart_flags.h)
  int32_t time;    // 28: epoch_seconds, exchange-local calendar time
};
static_assert(offsetof(chart_bar, volume) == 16);
static_assert(offsetof(chart_bar, extra) == 20);
static_assert(offsetof(chart_bar, flags) == 24);
static_assert(offsetof(chart_bar, time) == 28);
static_assert(sizeof(chart_bar) == CHART_BAR_SIZE);

// Bar flags.
enum : uint32_t {
  BAR_KEEP = 0x100000,  // kept when it clashes with the following bar;
                        //   the daily builder takes a close only from these
  BAR_VOLUME_VALID = 0x400000,
  BAR_EXTRA_VWAP = 0x1000000,      // extra word is a volume-weighted price
  BAR_EXTRA_ADDITIVE = 0x2000000,  // extra word is a summed count
  BAR_PROVISIONAL = 0x8000000,     // never replaces a stored bar
};

// One extension block (a user-drawn annotation line). The 128 stored bytes
// are `block`; their first word is always 0 in a file, and bytes 4-127 hold
// the line. The chain link lives outside the stored block.
struct chart_extension {
  chart_extension* next;
  uint8_t block[CHART_EXTENSION_SIZE];
};

// ---------------------------------------------------------------------------
// The in-memory chart.

// Time-axis mark of one bar slot.
struct time_axis_mark {
  uint8_t level;  // 0 no mark .. 4 strongest
  char label[7];  // at most 6 characters, zero-terminated
};
static_assert(sizeof(time_axis_mark) == 8);

// Day statistics cached on the chart by the daily reference lines.
struct chart_day_stats {
  float day_high;
  float day_low;
  float day_mid;
  float day_open;
  float prev_close;
  float prev_high;
  float prev_low;
  int32_t first_index;  // first bar of the last day
  int32_t day;          // day number the cache was computed for
  int32_t computed_at;  // g_exchange_seconds at the computation
};

struct chart_rec {
  chart_file_header header;     // bar count, unit, flags ... as in the file
  chart_bar* bars;              // bar_count bars, then `spare` free slots;
                                // Heikin-Ashi bars follow at bars + ha_capacity
  StudyDef* studies;            // head of the study list
  chart_rec* next;              // link in g_chart_list
  struct mqt* mqt;              // the symbol's live-quote record or null
  chart_rec* sibling;           // next chart in the live-quote record's chain
  chart_rec* base;              // base tick/volume chart (itself when loaded directly)
  time_axis_mark* axis_marks;   // one per bar slot, or null
  uintptr_t owner_window;       // window id to notify with WM_UPDATE_FROM_THREAD
  chart_extension* extensions;  // head of the chart's own extension chain
  double vwap_sum;              // running volume-weighted sum while compressing
  int32_t spare;                // unused bar slots after the last bar
  int16_t references;           // reference count
  int16_t counter2;             // second counter, shown in the chart-list dump
  int16_t axis_density;         // time-axis label density 0, 1 or 2
  int16_t carried_word;         // carried to compressed charts
  int32_t session_offset;       // alignment of n-minute bars (0 or 34200)
  int32_t ticks_per_bar;        // tick chart: ticks per bar
  int32_t mqt_word;             // copied from the live-quote record (tick word)
  uint8_t extended_hours;       // loaded with CHART_REQ_EXTENDED_HOURS
  int16_t fetch_status;         // 29 suppresses the fetch report
  int32_t ha_capacity;          // slots of the Heikin-Ashi array, 0 until made
  int32_t ha_valid;             // leading Heikin-Ashi bars that match the plain bars
  chart_day_stats day_stats;    // daily reference lines' cache
  axis_scale price_scale;       // price or percent scale block
  axis_scale volume_scale;      // volume scale block
  float percent_base;           // percent-axis base price
  // Live updates from the symbol's quotes.
  float day_open;             // the day's open from the live-quote record
  double value_sum;           // price x volume of the current bar (volume-weighted price)
  int32_t units_left;         // ticks, shares or seconds left in the current bar
  uint8_t post_count;         // updates posted since the window last handled one
  uint8_t bidask_post_count;  // bid/ask posts not yet acknowledged
  uint8_t pruned_today;       // old bars pruned since the day began
  // The trading-system run attached to this chart, or null.
  struct strategy_ctx* strategy;
};

// Request flags of get_chart_data, also carried in chart_request.
enum : uint32_t {
  CHART_REQ_FETCH = 0x1,
  CHART_REQ_RELOAD = 0x2,  // drop the stored bars when merging
  CHART_REQ_SOURCE_FILE = 0x4,
  CHART_REQ_FETCH_IF_EMPTY = 0x8,
  CHART_REQ_HEADER_ONLY = 0x10,
  CHART_REQ_NEVER_FETCH = 0x20,
  CHART_REQ_AUTO_UPDATE = 0x40,
  CHART_REQ_LISTED_ONLY = 0x80,  // load_and_merge_chart: only a listed chart
  CHART_REQ_NO_MQT_LINK = 0x200,
  CHART_REQ_BACKGROUND = 0x8000,
  CHART_REQ_EXTENDED_HOURS = 0x10000,  // keep bars outside the session in memory
};

// One queued chart load (a slot of a loading thread's ring).
struct chart_request {
  uintptr_t window;    // window id to answer, 0 for none
  const char* symbol;  // not copied: valid until served
  int32_t time_unit;
  int32_t first_date;      // yyyymmdd, 0 = default
  int32_t last_date;       // yyyymmdd, 0 = today
  uint32_t flags;          // CHART_REQ_*
  const char* source;      // data-source or price-file name, or null
  const char* parse_file;  // parse file of a web import, or null
  int32_t density;         // time-axis label density 0, 1 or 2
};

// Up to three records that one load creates, so that one error path frees
// them all.
enum { CHART_ALLOC_LOG_SLOTS = 3 };
struct chart_alloc_log {
  chart_rec* slot[CHART_ALLOC_LOG_SLOTS];
};

// A run of bars chosen for writing.
struct chart_bar_run {
  int32_t first;
  int32_t count;
};
enum { CHART_MAX_RUNS = 32 };

// ---------------------------------------------------------------------------
// Chart list (data/chartlist.cpp). g_chart_lock guards the list and every
// listed record.

extern chart_rec* g_chart_list;

chart_rec* alloc_chart_rec();
chart_rec* new_chart(const char* symbol, int time_unit);
// An empty record of the unit with room for slots bars (new_chart takes
// initial_bar_capacity).
chart_rec* new_chart_with_slots(const char* symbol, int time_unit, int slots);
int initial_bar_capacity(int time_unit);
void list_chart(chart_rec* chart);
void unlist_chart(chart_rec* chart);
void unlink_sibling_chart(chart_rec** head, chart_rec* chart);
chart_rec* find_listed_chart(const char* symbol, int time_unit);
void free_chart_data(chart_rec* chart);
// Frees an unlisted record and everything it owns, whatever its references.
void destroy_chart(chart_rec* chart);
void free_linked_blocks(void* head);
void dump_chart_list(const char* label, chart_rec* chart);

// Allocation log.
chart_rec* chart_log_alloc(chart_alloc_log* log);
void chart_log_forget(chart_alloc_log* log, chart_rec* chart);
void chart_log_release(chart_alloc_log* log, chart_rec* chart);
void chart_log_fail(chart_alloc_log* log, const char* source, int line, const char* message,
                    const char* argument);

// Bars of a record.
int grow_chart_bars(chart_rec* chart, int slots);
// Removes one bar, its slot becoming spare; under g_chart_lock, and marks
// the chart to be written and redrawn.
void delete_bar(chart_rec* chart, int index);
// Removes bars [from, to) as delete_bar does for each, in one move.
void delete_bars(chart_rec* chart, int from, int to);
int compare_bar_time(const void* a, const void* b);
void sort_chart_bars(chart_rec* chart);
void set_chart_dates(chart_rec* chart);

// Copies sharing the extension chain (the trimmed copy a writer saves).
chart_rec* copy_chart(const chart_rec* chart);
void free_chart_copy(chart_rec* chart);

// ---------------------------------------------------------------------------
// Price files (data/chartfile.cpp).

// "<root>/<DATA folder>/<SYMBOL><ext>" into buf (at least 1024 bytes), or,
// with buf null, "<SYMBOL><ext>" in a static buffer. Null for units without
// a file and for symbols that cannot name a file.
char* chart_file_name(char* buf, const char* symbol, int time_unit);
// "<root>/HDATA/<SYMBOL>.1min|tick<N>|vol<N>".
char* hdata_file_name(char* buf, const char* symbol, int time_unit);

// fd-based readers; both close the file on failure (the body reader always).
int read_chart_header(chart_rec* chart, int fd);
const char* read_chart_body(chart_rec* chart, int fd, int time_unit, const char* path);

chart_rec* read_chart_file_header(const char* path, int delete_old);
chart_rec* get_chart_header(const char* symbol, int time_unit, int delete_old);
chart_rec* read_hdata_file(const char* symbol, int time_unit);

// 0 written or skipped, 1 file not created, 2 write error.
int write_chart_file(chart_rec* chart);
// The bars a write keeps: the kept days and, unless extended hours are
// kept, only the session's bars, as runs of consecutive bars. Considers the
// kept bars at index `from` and after; a full table (CHART_MAX_RUNS) means
// more may follow from the end of the last run.
int select_bars_to_save(const chart_rec* chart, chart_bar_run runs[CHART_MAX_RUNS], int from);

// Both take over the charts they are given: the fetched chart, and an
// unlisted stored chart, are freed; a listed stored chart loses the one
// reference its finder took.
chart_rec* merge_bars(chart_rec* stored, chart_rec* fetched, chart_alloc_log* log, int flags);
chart_rec* load_and_merge_chart(const char* symbol, chart_rec* fetched, int time_unit, int flags);
void remove_duplicate_bars(chart_rec* chart);
int trim_to_market_hours(chart_rec* chart);

// ---------------------------------------------------------------------------
// Extension blocks (data/chartext.cpp).

chart_extension* add_chart_extension(chart_rec* chart);
chart_extension* first_chart_extension(chart_rec* chart);
int chart_extension_count(chart_rec* chart);
void mark_extensions_modified(chart_rec* chart);
int delete_chart_extension(chart_rec* chart, chart_extension* ext);
int read_iext_file(struct mqt* record);
int write_iext_file(struct mqt* record);
