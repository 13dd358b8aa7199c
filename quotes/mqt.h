// The live-quote record: one per symbol that the program watches live, in
// one list (g_mqt_list) guarded by g_chart_lock. Quote sources write into
// it; charts, windows, alerts, orders and trading systems read it.
//
// Records are zero-filled on creation and never moved. The record is
// written whole only to the dump file, which the same program version
// reads back, so its layout is free. Flag bits: quotes/mqt_flags.h.
#pragma once

#include <cstdint>

#include "data/chart.h"

struct alert_rec;
struct order_rec;
struct market_rec;

enum {
    MQT_SYMBOL_SIZE = 32,
    MQT_DESCRIPTION_SIZE = 60,
    MQT_RECENT_BARS = 30,        // recent one-minute bars
    MQT_SESSION_MINUTES = 390,   // running volume sums per session minute
    MQT_VOLUME_MINUTES = 79,     // volumes of the last minutes
    MQT_TS_ENTRIES = 128,        // time-and-sales ring
    MQT_HISTOGRAM_CELLS = 251,   // price-volume histogram
    MQT_ALERT_HITS = 16,
    MQT_ALERT_TEXT = 64,
    MQT_ACCOUNT_SLOTS = 16,
    MQT_BOOK_SLOTS = 3,          // order-book / level 2 / time-and-sales window slots
    MQT_BOOK_SIZE = 540,         // one order-book or level 2 buffer
    MQT_MINUTES_PER_DAY = 1440,
    MQT_DEPTH_ROWS = 10,         // market-depth rows of each side
};

// One time-and-sales entry (32 bytes).
struct ts_entry {
    int32_t time;       // epoch_seconds
    float price;
    int32_t size;
    float bid;
    float ask;
    uint32_t flags;
    int32_t volume;
    int32_t reserved;
};
static_assert(sizeof(ts_entry) == 32);

// A registered update listener: called with itself when its record changes.
struct mqt_listener {
    mqt_listener* next;
    uint8_t flags;   // bit 7 enables it
    void (*callback)(mqt_listener* listener);
    void* user;
};

struct mqt_alert_hit {
    int32_t time;    // seconds
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
    char symbol[MQT_SYMBOL_SIZE];            // at most 31 characters, compared without case
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
    double tick_size;           // 1.0 is used when a chart has no record
    int32_t price_decimals;     // decimals used by format_price
    int32_t multiplier;
    int32_t lot_size;
    uint32_t sec_code;
    market_rec* market;         // market entry of the live-quote configuration; its
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

    // 5. State.
    uint32_t flags;             // MQT_* bits, quotes/mqt_flags.h
    int32_t users;
    uint32_t phase_bit;
    uint32_t view_bits;
    uint32_t streams_held;      // stream kinds subscribed (stream_code bits)
    int32_t pending_streams;    // changed with interlocked operations only
    int32_t symbol_slot;        // 1..300, 0 none
    uint32_t feed_flags;
    int32_t session_start;      // seconds of day
    int32_t session_end;
    int32_t quote_fail_count;
    int32_t quote_skip_cycles;
    uint32_t stream_code;
    int32_t tick_word;          // copied into tick charts

    // 6. Quote.
    int32_t quote_date;         // yyyymmdd
    int32_t quote_time;         // seconds of day
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
    float close;                // a current or official closing price (FEED_CLOSE)
    uint32_t quote_word2;       // valid with MQT_QUOTE_WORD2
    float change;
    float session_high;
    float session_low;
    float session_start_price;
    double vwap_sum;
    double vwap_volume;
    float vwap;
    float pct_open, pct_high, pct_low, pct_day_close, pct_last;
    double valuation_price;     // price that positions are valued at
    mqt_price_copy stored;      // price fields after the last stored quote
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

    // 8. Time and sales.
    ts_entry ts_ring[MQT_TS_ENTRIES];
    int32_t ts_next;
    int32_t ts_wrapped;

    // 9. Alerts.
    alert_rec* alert;
    int32_t alert_hit_count;    // newest last; the alerts dialog sets it to 0
    mqt_alert_hit alert_hits[MQT_ALERT_HITS];

    // 10. Lists of other modules.
    order_rec* orders;
    uint32_t order_letters;       // group letters in use ('A' bit 0)
    int32_t order_letters_time;   // when the letter mask was last stamped (UTC seconds)
    mqt_depth_row depth_bids[MQT_DEPTH_ROWS];  // market depth, best row first
    mqt_depth_row depth_asks[MQT_DEPTH_ROWS];
    mqt_listener* update_callbacks;
    uintptr_t book_windows[MQT_BOOK_SLOTS];
    uint8_t* book_buffers[MQT_BOOK_SLOTS];
    uintptr_t ts_windows[MQT_BOOK_SLOTS];
    chart_extension* iext_chain;  // annotation blocks of the intraday charts (.iext)
    int32_t iext_count;

    // 11. Positions.
    mqt_position account_positions[MQT_ACCOUNT_SLOTS];
    double paper_quantity;
    double paper_avg_price;
    double paper_profit;
    double paper_quantity_posted;  // paper quantity at the last portfolio notice

    // Group views (market windows).
    mqt_race_values race;
    float view_high[3];
    float view_low[3];
    float pl_view_high[3];
    float pl_view_low[3];
};

// ---------------------------------------------------------------------------
// The list (quotes/mqtlist.cpp). Functions that walk or change it take
// g_chart_lock themselves unless said otherwise.

extern mqt* g_mqt_list;

enum {
    MQT_STREAMS_UNCHARTED = 0x11,    // stream set of a record without charts
    MQT_STREAMS_CHARTED = 0x11,      // stream set of a record with intraday charts
    MQT_STREAM_ADD = 0x1000000,
    MQT_STREAM_RELEASE = 0x20000ff,  // stream_code asking the relay to let a record go
    MQT_LIST_WALK_MAX = 999,
};

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

// Gives the chart loader (data/chartload.h) the lookup, creation and
// linking of records (quotes/chart_hooks.cpp).
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
