// The live-quote list: one record per symbol that the program watches live,
// in one list (g_mqt_list) guarded by g_chart_lock. Quote sources write into
// it; charts, windows, alerts, orders and trading systems read it.
//
// The record itself is in quotes/mqt_record.h; flag bits in
// quotes/mqt_flags.h.
#pragma once

#include <cstdint>

#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"

// ---------------------------------------------------------------------------
// The list (quotes/mqtlist.cpp). Functions that walk or change it take
// g_chart_lock themselves unless said otherwise.

extern mqt* g_mqt_list;

// Stream sets requested for a record without charts and for one with
// intraday charts (MQT_STREAMS_UNCHARTED and MQT_STREAMS_CHARTED); start-up
// may add a stream kind to both before the quote threads start.
extern uint32_t g_mqt_streams_uncharted;
extern uint32_t g_mqt_streams_charted;

enum { MQT_LIST_WALK_MAX = 999 };

// Head of the list; the caller holds g_chart_lock while it walks.
mqt* mqt_list_head();
// The live record of the symbol (case-insensitive) or null; no lock taken.
mqt* find_mqt(const char* symbol);
// The first record at or after start, within n records, of that symbol.
mqt* find_mqt_from(const char* symbol, mqt* start, int n);
// The symbol's record with one more user, created when missing; null when
// no memory.
mqt* create_multiquote_struct(const char* symbol);
// As create_multiquote_struct, but an "R~" symbol is built as a spread of
// its two legs from its definition; null for an undefined spread.
mqt* get_multiquote(const char* symbol);
// A market window's use and release of a record under its view bit.
mqt* use_multiquote(const char* symbol, uint32_t view_bit);
void release_multiquote(mqt* record, uint32_t view_bit);
// Drops one user; at zero the record is freed (or, while the relay still
// holds streams for it, left for the relay to release).
void delete_multiquote(mqt* record);
void delete_multiquote_struct(const char* symbol);
// Frees a record without users; *link is the predecessor's next field (or
// the list head) when the caller knows it, else null.
void free_mqt_struct(mqt* record, mqt** link);
// Writes back its extension blocks, zero-fills the record and keeps it in
// the list as a free slot.
void mark_mqt_free(mqt* record);
void free_all_mqts();
// Links a listed chart to its symbol's record; null when it is not linked.
mqt* link_chart_to_mqt(chart_rec* chart);
// Appends a chart to an intraday or daily chain unless it is in it.
void append_chart_link(chart_rec** head, chart_rec* chart);
// Records holding a position in account slot 0..3: a static list ended by
// null (valid until the next call).
mqt** get_portfolio_mqts(int slot);
// Time of day of the newest stored trade.
int get_last_quote_time();
void dump_mqt_list(const char* title);

// Gives the chart loader (data/chartload.h) the lookup, creation, linking
// and release of records and their stream requests (quotes/chart_hooks.cpp).
void install_mqt_chart_hooks();

// Contract fields, flags and market of a record from its symbol text
// (quotes/contract.cpp).
void parse_contract_symbol(mqt* record);

// ---------------------------------------------------------------------------
// View bits of the market windows (quotes/viewbits.cpp).

enum { VIEW_SCALE_SLOT_SIZE = 512, VIEW_SCALE_SLOTS = 3 };

extern uint32_t g_view_bits;
// The lowest free bit, now taken; 0 when all 32 are taken.
uint32_t alloc_view_bit();
// 1 released (with its scale slots), 0 when bit is 0 or not taken.
int free_view_bit(uint32_t bit);
// Scale slot n (low 24 bits) of the bit's block, allocated on first use.
void* view_scale_slot(uint32_t bit, uint32_t n);

// ---------------------------------------------------------------------------
// Storing a quote (quotes/savequote.cpp).

enum {
  SAVE_MQT_CHARTS = 1,  // also the one-minute data and the linked charts
  SAVE_MQT_FULL = 2,    // times, notices, orders, positions, alerts, volumes
  SAVE_MQT_DEPTH_MAX = 8,
  FEED_KIND_OFFICIAL_CLOSE = 28,  // record kind whose net change is against "close"
};

extern int32_t g_newest_quote_time;
extern int32_t g_newest_quote_date;
extern float g_max_high_pct;
extern float g_min_low_pct;
extern int32_t g_open_close_day[2];  // exchange day of the last open [0] and close [1] notice
extern int g_save_depth;

// Stores the quote a source wrote into the record (fields and feed_flags).
// Takes g_chart_lock. Returns 1 stored, 0 dropped.
int save_mqt_data(mqt* record, int mode);
// Posts to every window of the record's charts that wants record notices.
void post_to_mqt_charts(mqt* record, unsigned message, uintptr_t wparam, intptr_t lparam);
