// Tick files: reading, checking and decoding records into a live-quote
// record, and writing the three record forms.
#include "quotes/tickfile.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/lefield.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "settings/datadirs.h"

static float float_of(uint32_t w) {
  float f;
  memcpy(&f, &w, sizeof f);
  return f;
}

static uint32_t bits_of(float f) {
  uint32_t w;
  memcpy(&w, &f, sizeof w);
  return w;
}

// A signed field of n bits.
static int signed_bits(uint32_t v, int n) {
  v &= (1u << n) - 1;
  return (v & (1u << (n - 1))) ? (int)v - (1 << n) : (int)v;
}

void free_tick_data(tick_state* st) {
  free(st->words);
  st->words = nullptr;
  st->count = st->index = st->second_pending = 0;
}

int32_t set_tick_words(tick_state* st, const uint8_t* bytes, size_t len, double tick_size,
                       int* whole) {
  free_tick_data(st);
  st->ticks = 0;
  st->time = 0;
  st->price = 0;
  if (whole) *whole = 0;
  if (!(tick_size > 0) || !std::isfinite(tick_size)) return 0;
  st->tick_size = tick_size;
  st->tick_recip = 1.0 / tick_size;
  size_t n = len / 4;
  if (n > 0x7fffffff) n = 0x7fffffff;
  uint32_t* words = (uint32_t*)malloc((n ? n : 1) * sizeof(uint32_t));
  if (!words) return -1;
  // Keep whole records only, up to the first that is cut short or bad.
  size_t i = 0;
  while (i < n) {
    uint32_t w = get_le32(bytes + 4 * i);
    if (w & 1) {
      words[i++] = w;
      continue;
    }
    if (n - i < TICK_FULL_WORDS) break;
    uint32_t price = get_le32(bytes + 4 * (i + 2));
    if (!std::isfinite(float_of(price))) break;
    words[i] = w;
    words[i + 1] = get_le32(bytes + 4 * (i + 1));
    words[i + 2] = price;
    i += TICK_FULL_WORDS;
  }
  st->words = words;
  st->count = (int32_t)i;
  if (whole) *whole = i * 4 == len;
  return st->count;
}

int load_tick_file(const char* symbol, double tick_size, tick_state* st) {
  char leaf[64];
  char path[1024];
  if (!symbol || !*symbol || strpbrk(symbol, "/\\:") || strstr(symbol, "..") ||
      snprintf(leaf, sizeof leaf, "%s.tsdata", symbol) >= (int)sizeof leaf ||
      !data_folder_path(path, sizeof path, KV_DIR_HDATA, leaf)) {
    statmsg(__FILE__, __LINE__, "Can't open tick file: ", symbol ? symbol : "", STATMSG_ERROR);
    return 0;
  }
  std::string bytes;
  kv_file_error err{};
  if (!kv_read_file(path, &bytes, &err)) {
    statmsg(__FILE__, __LINE__, "Can't open tick file: ", path, STATMSG_ERROR);
    return 0;
  }
  int whole = 0;
  int32_t n = set_tick_words(st, (const uint8_t*)bytes.data(), bytes.size(), tick_size, &whole);
  if (n < 0) {
    statmsg(__FILE__, __LINE__, "Can't malloc memory for tick data", nullptr, STATMSG_ERROR);
    return 0;
  }
  if (!whole) {
    // The records before the damage are still played.
    statmsg(__FILE__, __LINE__, "Error reading tick data", path, STATMSG_ERROR);
    if (n == 0) {
      free_tick_data(st);
      return 0;
    }
  }
  return 1;
}

static void set_quote_time(mqt* r, int32_t time) {
  kv_datetime dt;
  kv_split_seconds(time, &dt);
  r->quote_epoch = r->trade_epoch = time;
  r->quote_time = r->trade_time = kv_time_of_day(time);
  r->quote_date = dt.year * 10000 + dt.month * 100 + dt.day;
}

int next_playback_tick(mqt* r, tick_state* st) {
  float tick = (float)st->tick_size;
  while (st->index < st->count) {
    uint32_t w = st->words[st->index];
    int kind;
    uint32_t size;
    if (!(w & 1)) {
      kind = w & TICK_PAIRED;
      size = w >> 3;
      st->time = (int32_t)st->words[st->index + 1];
      st->price = float_of(st->words[st->index + 2]);
      st->index += TICK_FULL_WORDS;
    } else if ((w & TICK_PAIRED) == TICK_PAIRED) {
      kind = 0;
      if (!st->second_pending) {
        st->time += (w >> 3) & 7;
        st->price += (float)(signed_bits(w >> 6, 3) * st->tick_size);
        size = (w >> 9) & 0xff;
        if (w >> 24)
          st->second_pending = 1;
        else
          st->index++;
      } else {
        st->time += (w >> 17) & 0xf;
        st->price += (float)(signed_bits(w >> 21, 3) * st->tick_size);
        size = w >> 24;
        st->second_pending = 0;
        st->index++;
      }
    } else {
      kind = w & TICK_PAIRED;
      size = (w >> 3) & 0x1fff;
      st->time += (w >> 16) & 0xff;
      st->price += (float)(signed_bits(w >> 24, 8) * st->tick_size);
      st->index++;
    }
    int32_t sz = size > 0x7fffffff ? 0x7fffffff : (int32_t)size;
    r->last_size = r->bid_size = r->ask_size = sz;
    st->ticks++;
    if (kind) {
      if (kind & TICK_BID) {
        r->bid = st->price;
        if (st->price >= r->ask) r->ask = st->price + tick;
      } else {
        r->ask = st->price;
        if (st->price <= r->bid) r->bid = st->price - tick;
      }
      if (st->notify && st->bid_ask_hook) st->bid_ask_hook(r, r->bid, r->ask);
      if (g_mqt_hooks.update_orders_on_quote) g_mqt_hooks.update_orders_on_quote(r);
      continue;
    }
    r->last = st->price;
    if (st->price > r->ask) {
      r->ask = st->price;
      r->bid = st->price - tick;
    } else if (st->price < r->bid) {
      r->bid = st->price;
      r->ask = st->price + tick;
    }
    set_quote_time(r, st->time);
    return 1;
  }
  return 0;
}

void encode_full_tick(uint32_t out[3], int kind, uint32_t size, int32_t time, float price) {
  out[0] = (uint32_t)(kind & TICK_PAIRED) | size << 3;
  out[1] = (uint32_t)time;
  out[2] = bits_of(price);
}

uint32_t encode_compact_tick(int kind, uint32_t size, int seconds, int steps) {
  return 1u | (uint32_t)(kind & TICK_PAIRED) | (size & 0x1fff) << 3 |
         ((uint32_t)seconds & 0xff) << 16 | ((uint32_t)steps & 0xff) << 24;
}

uint32_t encode_paired_trades(int seconds1, int steps1, uint32_t size1, int seconds2, int steps2,
                              uint32_t size2) {
  return 7u | ((uint32_t)seconds1 & 7) << 3 | ((uint32_t)steps1 & 7) << 6 | (size1 & 0xff) << 9 |
         ((uint32_t)seconds2 & 0xf) << 17 | ((uint32_t)steps2 & 7) << 21 | (size2 & 0xff) << 24;
}

void tick_words_to_bytes(const uint32_t* words, int n, uint8_t* out) {
  for (int i = 0; i < n; i++)
    for (int b = 0; b < 4; b++) out[4 * i + b] = (uint8_t)(words[i] >> (8 * b));
}
