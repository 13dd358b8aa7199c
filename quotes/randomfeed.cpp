// The random test feed of the "TEST" record.
#include "quotes/randomfeed.h"

#include <cstdio>
#include <cstring>

#include "data/chart.h"
#include "data/markets.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/crand.h"
#include "quotes/mqt.h"

const char* g_random_data_path = "data/random.data1";
int g_random_running;
int32_t g_random_count;
int g_random_toggle;
float g_random_step = 0.25f;
float g_random_start_price = 1000.0f;

static FILE* s_file;
static uint8_t s_a[RANDOM_BUFFER], s_b[RANDOM_BUFFER];
static int s_pos_a = RANDOM_BUFFER, s_pos_b = RANDOM_BUFFER;

void close_random_source() {
  if (s_file) fclose(s_file);
  s_file = nullptr;
  g_random_running = 0;
}

void open_random_source(mqt* r, int from_start, int32_t start_epoch, float step, float price) {
  g_random_step = step;
  r->trade_epoch = start_epoch;
  r->tick_size = step;
  r->last = price;
  close_random_source();
  g_random_running = 1;
  long offset = from_start ? 0 : (long)(kv_now_utc_ms() % 60000);
  s_file = fopen(g_random_data_path, "rb");
  if (!s_file)
    kv_srand((unsigned)offset);
  else
    fseek(s_file, offset, SEEK_SET);
  s_pos_a = s_pos_b = RANDOM_BUFFER;
}

// Fills a buffer; a short read (the end of the file) starts over at the
// file's beginning for the missing bytes so that values stay random.
static void refill(uint8_t* buf) {
  size_t got = fread(buf, 1, RANDOM_BUFFER, s_file);
  if (got < RANDOM_BUFFER) {
    statmsg(__FILE__, __LINE__, "random data read error", nullptr, STATMSG_ERROR);
    rewind(s_file);
    while (got < RANDOM_BUFFER) {
      size_t more = fread(buf + got, 1, RANDOM_BUFFER - got, s_file);
      if (!more) break;
      got += more;
    }
    if (got < RANDOM_BUFFER) {
      // An empty file: the generator takes over.
      fclose(s_file);
      s_file = nullptr;
      for (size_t i = 0; i < RANDOM_BUFFER; i++) buf[i] = (uint8_t)kv_rand();
    }
  }
}

int next_random_value() {
  if (!s_file) return kv_rand() & 0xff;
  if (s_pos_a >= RANDOM_BUFFER) {
    refill(s_a);
    s_pos_a = 0;
  }
  if (s_file && s_pos_b >= RANDOM_BUFFER) {
    refill(s_b);
    s_pos_b = 0;
  }
  int v = s_b[s_pos_b] ^ s_a[s_pos_a];
  if (++s_pos_b >= RANDOM_BUFFER) s_pos_a++;
  return v & 0xff;
}

static int minute_state(const market_rec* m, int32_t epoch) {
  int second = kv_time_of_day(epoch);
  return m->minutes[second / 60] & (MINUTE_MAIN | MINUTE_EXTENDED);
}

static int has_session(const market_rec* m) {
  for (int i = 0; i < MINUTES_PER_DAY; i++)
    if (m->minutes[i] & (MINUTE_MAIN | MINUTE_EXTENDED)) return 1;
  return 0;
}

void random_tick(mqt* r, int v) {
  v &= 0xff;
  float step = g_random_step;
  if (v < 32) {
    if (v & 1) {
      r->last += step;
      r->ask = r->last;
      r->bid = r->last - step;
    } else {
      r->last -= step;
      r->bid = r->last;
      r->ask = r->last + step;
    }
    r->bid_size = r->ask_size = v;
  }
  r->last_size = v & 0xf;
  r->trade_epoch += 5;
  // A market without any session minute would never be left: no walk.
  if (r->market && has_session(r->market)) {
    while (!minute_state(r->market, r->trade_epoch)) r->trade_epoch += 60;
    // Extended hours tick slower; the extra time is only taken while it
    // stays inside a session.
    if (!(minute_state(r->market, r->trade_epoch) & MINUTE_MAIN) &&
        minute_state(r->market, r->trade_epoch + 120))
      r->trade_epoch += 120;
  }
  kv_datetime dt;
  kv_split_seconds(r->trade_epoch, &dt);
  r->trade_time = kv_time_of_day(r->trade_epoch);
  r->quote_date = dt.year * 10000 + dt.month * 100 + dt.day;
  r->feed_flags = RANDOM_FEED_FLAGS;
  save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
}

static int fixed_value(int32_t n) {
  if (n < 9) return 0;
  if (n < 18) return 1;
  int v = g_random_toggle;
  if ((n + 1) % 6 == 0) g_random_toggle ^= 1;
  return v;
}

void random_feed(mqt* r) {
  if (g_random_running) {
    int32_t n = g_random_count++;
    random_tick(r, n < 33 ? fixed_value(n) : next_random_value());
    return;
  }
  chart_rec* chart = r->intraday_charts;
  while (chart &&
         !(is_intraday_unit(chart->header.time_unit) && chart->header.bar_count > 0 && chart->bars))
    chart = chart->sibling;
  if (chart) {
    const chart_bar* last = &chart->bars[chart->header.bar_count - 1];
    g_random_count = RANDOM_SEEDED_TICKS;
    open_random_source(r, 0, last->time, 0.25f, last->close);
  } else {
    int64_t day = kv_day_number(kv_now_local_seconds()) * KV_SECONDS_PER_DAY;
    g_random_count = 0;
    g_random_toggle = 0;
    open_random_source(r, 0, (int32_t)(day + 30 * 60), 0.25f, g_random_start_price);
    for (int i = 0; i < RANDOM_PREROLL; i++) {
      int32_t n = g_random_count++;
      random_tick(r, n < 33 ? fixed_value(n) : next_random_value());
    }
  }
  g_random_running = 1;
  r->tick_size = 0.25;
  r->multiplier = 50;
  r->expiry[0] = 0;
  snprintf(r->exchange, sizeof r->exchange, "%s", "GLOBEX");
  snprintf(r->sec_type, sizeof r->sec_type, "%s", "FUT");
}

void reset_quote_state(mqt* r, uint32_t kind) {
  r->open = r->high = r->low = r->close = 0;
  r->volume = 0;
  r->stored_date = 0;
  r->feed_flags = (kind & 0x17bff) | 0xbf009000;
}
