// The synthetic "TEST" futures contract: one generated tick each time its
// record is polled, so that charts, studies, alerts and trading systems can
// run without a data source.
//
// Random bytes come from the file g_random_data_path (two 1,024-byte
// buffers A and B; a value is B[posB] ^ A[posA]) or, when it is missing,
// from the seeded pseudo-random generator.
#pragma once

#include <cstdint>

struct mqt;

enum {
  RANDOM_BUFFER = 1024,
  RANDOM_PREROLL = 1728,     // ticks made at once on a fresh start
  RANDOM_SEEDED_TICKS = 34,  // ticks of fixed values before random ones
};
// date, bid, ask, last, trade size, trade time
constexpr uint32_t RANDOM_FEED_FLAGS = 0xb5008000;

extern const char* g_random_data_path;  // "data/random.data1", relative to the working folder
extern int g_random_running;
extern int32_t g_random_count;
extern int g_random_toggle;
extern float g_random_step;
extern float g_random_start_price;

// Starts a source: the record's trade epoch, tick size and last price are
// set; offset 0 when from_start, else from the clock (it seeds the
// generator or is the file position).
void open_random_source(mqt* record, int from_start, int32_t start_epoch, float step, float price);
void close_random_source();
// The next random byte (0..255).
int next_random_value();
// One tick from the byte v: moves the price when v < 32, sizes from v,
// trade time 5 s on, kept inside the record's market sessions; stored
// through save_mqt_data.
void random_tick(mqt* record, int v);
// One poll of the "TEST" record.
void random_feed(mqt* record);

// Clears the record's open, high, low, close, volume and last stored date
// and sets feed_flags = (kind & 0x17bff) | 0xbf009000; used before
// playback or a back-test run.
void reset_quote_state(mqt* record, uint32_t kind);
