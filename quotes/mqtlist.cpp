// The list of live-quote records: one record per watched symbol, created on
// first use, counted by its users and freed (or left as a free slot) when
// the last one lets go. g_chart_lock guards the list, every record's links,
// users, view bits and chart chains.
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "data/alias.h"
#include "data/chart.h"
#include "data/cmdline.h"
#include "data/debugtrace.h"
#include "data/quotecfg.h"
#include "data/spread.h"
#include "data/statmsg.h"
#include "data/symindex.h"
#include "platform/assert.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/mqtthread.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "settings/settings.h"

enum {
  TRACE_MQT_LIST = 0x2,     // dump_mqt_list
  TRACE_MQT_FREE = 0x80,    // frees and failed lookups
  TRACE_PORTFOLIO = 0x200,  // get_portfolio_mqts
  PREF_SPREAD_NOTICE = 0x4000,
  MAX_SYMBOL_SLOT = 300,
};

mqt* g_mqt_list;
uint32_t g_mqt_streams_uncharted = MQT_STREAMS_UNCHARTED;
uint32_t g_mqt_streams_charted = MQT_STREAMS_CHARTED;
mqt_hooks g_mqt_hooks;
static uint32_t next_phase_bit = 1;

mqt* mqt_list_head() {
  KV_ASSERT_CHART_LOCK_HELD();
  return g_mqt_list;
}

mqt* find_mqt(const char* symbol) {
  if (!symbol) return nullptr;
  for (mqt* r = g_mqt_list; r; r = r->next)
    if (!(r->flags & MQT_FREE) && strcasecmp(r->symbol, symbol) == 0) return r;
  return nullptr;
}

mqt* find_mqt_from(const char* symbol, mqt* start, int n) {
  if (!symbol) return nullptr;
  for (mqt* r = start; r && n > 0; r = r->next, n--)
    if (!(r->flags & MQT_FREE) && strcasecmp(r->symbol, symbol) == 0) return r;
  return nullptr;
}

// Asks the relay's request thread for streams of the record; the count of
// requests in flight keeps the record alive until the thread has served it.
static void request_record_streams(mqt* r, uint32_t code) {
  if (!g_mqt_hooks.post_stream_request) return;
  __atomic_add_fetch(&r->pending_streams, 1, __ATOMIC_SEQ_CST);
  if (!g_mqt_hooks.post_stream_request(code, r))
    __atomic_sub_fetch(&r->pending_streams, 1, __ATOMIC_SEQ_CST);
}

static int relay_streaming(uint32_t capabilities) {
  return g_mqt_hooks.relay_streaming && g_mqt_hooks.relay_streaming(capabilities);
}

mqt* create_multiquote_struct(const char* symbol) {
  if (!symbol || !symbol[0]) return nullptr;
  mqt* r;
  {
    kv_lock guard(g_chart_lock);
    r = find_mqt(symbol);
    if (r) {
      r->users++;
      return r;
    }
    mqt** tail = &g_mqt_list;
    for (r = g_mqt_list; r; r = r->next) {
      if (r->flags & MQT_FREE) break;
      tail = &r->next;
    }
    if (!r) {
      r = (mqt*)calloc(1, sizeof(mqt));
      if (!r) {
        statmsg(__FILE__, __LINE__, "can't allocate memory", symbol, STATMSG_ERROR);
        return nullptr;
      }
      *tail = r;
    }
    r->flags &= ~MQT_FREE;
    strncpy(r->symbol, symbol, MQT_SYMBOL_SIZE - 1);
    r->symbol[MQT_SYMBOL_SIZE - 1] = 0;
    parse_contract_symbol(r);
    if (r->flags & MQT_SPREAD) r->users++;
    r->phase_bit = next_phase_bit;
    next_phase_bit = next_phase_bit >= 128 ? 1 : next_phase_bit << 1;
    quote_source_cfg* cfg = quote_cfg_slot(MULTIQUOTE_TIMEUNIT);
    if (cfg && cfg->text) {
      r->session_start = cfg->open_time;
      r->session_end = cfg->close_time;
    }
    if (g_mqt_hooks.find_alert) r->alert = g_mqt_hooks.find_alert(r->symbol);
    if (relay_streaming(0x1 | 0x2) && cont_update() && !(r->flags & MQT_NOT_STREAMABLE))
      request_record_streams(r, g_mqt_streams_uncharted | MQT_STREAM_ADD);
    read_iext_file(r);
    r->users++;
  }
  dump_mqt_list("L create_multiquote_struct");
  return r;
}

// Puts the spread into the leg's chain of spreads unless it is there.
static int add_spread_user(mqt* leg, mqt* spread) {
  mqt_spread_link** tail = &leg->spread_users;
  for (; *tail; tail = &(*tail)->next)
    if ((*tail)->spread == spread) return 1;
  mqt_spread_link* link = (mqt_spread_link*)calloc(1, sizeof(mqt_spread_link));
  if (!link) return 0;
  link->spread = spread;
  *tail = link;
  return 1;
}

// 1 when the spread was in the leg's chain and is now out of it.
static int remove_spread_user(mqt* leg, mqt* spread) {
  for (mqt_spread_link** p = &leg->spread_users; *p; p = &(*p)->next)
    if ((*p)->spread == spread) {
      mqt_spread_link* gone = *p;
      *p = gone->next;
      free(gone);
      return 1;
    }
  return 0;
}

mqt* get_multiquote(const char* symbol) {
  if (!symbol || !symbol[0]) return nullptr;
  if ((symbol[0] & 0x7f) != 'R' || symbol[1] != '~') return create_multiquote_struct(symbol);
  spread_def def;
  if (!find_spread_definition(symbol, &def)) {
    if (g_pref_flags & PREF_SPREAD_NOTICE) {
      statmsg(__FILE__, __LINE__, "Spread not defined, use 'Spread Chart Setup...'", nullptr,
              STATMSG_NOTICE);
      statmsg(__FILE__, __LINE__, "  to define spread before using the symbol: ", symbol,
              STATMSG_NOTICE);
    }
    return nullptr;
  }
  kv_lock guard(g_chart_lock);
  int existed = find_mqt(def.name) != nullptr;
  mqt* spread = create_multiquote_struct(def.name);
  if (!spread) return nullptr;
  if (spread->leg1)  // built before: it already holds its legs
    return spread;
  mqt* leg1 = create_multiquote_struct(def.leg1);
  mqt* leg2 = leg1 ? create_multiquote_struct(def.leg2) : nullptr;
  if (!leg2 || !add_spread_user(leg1, spread) || !add_spread_user(leg2, spread)) {
    if (leg1) remove_spread_user(leg1, spread);
    delete_multiquote(leg2);
    delete_multiquote(leg1);
    if (!existed) spread->users--;  // the creation's extra user of a spread
    delete_multiquote(spread);
    return nullptr;
  }
  spread->leg1 = leg1;
  spread->leg2 = leg2;
  spread->leg_ratio[0] = spread->leg_multiplier[0] = def.ratio1;
  spread->leg_ratio[1] = spread->leg_multiplier[1] = def.ratio2;
  spread->tick_size = 1.0;
  return spread;
}

mqt* use_multiquote(const char* symbol, uint32_t view_bit) {
  kv_lock guard(g_chart_lock);
  mqt* r = get_multiquote(symbol);
  if (!r) return nullptr;
  r->view_bits |= view_bit;
  if (!r->description[0]) {
    strncpy(r->description, symbol_description(r->symbol), MQT_DESCRIPTION_SIZE - 1);
    r->description[MQT_DESCRIPTION_SIZE - 1] = 0;
  }
  return r;
}

void release_multiquote(mqt* record, uint32_t view_bit) {
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r; r = r->next)
    if (r == record) {
      r->view_bits &= ~view_bit;
      delete_multiquote(r);
      return;
    }
}

// The link that points at the record: the list head or its predecessor's
// next; null when the record is not in the list.
static mqt** find_link(mqt* record) {
  for (mqt** p = &g_mqt_list; *p; p = &(*p)->next)
    if (*p == record) return p;
  return nullptr;
}

void delete_multiquote(mqt* record) {
  if (!record) return;
  kv_lock guard(g_chart_lock);
  // Only a listed record with users: a stale pointer or a record already
  // waiting for the relay to let it go must not be freed twice.
  if (!find_link(record) || record->users <= 0) {
    if (g_trace_mask & TRACE_MQT_FREE)
      debug_trace("delete_multiquote: could not find struct for %s\n",
                  find_link(record) ? record->symbol : "?");
    return;
  }
  if (--record->users > 0) return;
  if (record->flags & MQT_SPREAD) {
    mqt* legs[2] = {record->leg1, record->leg2};
    record->leg1 = record->leg2 = nullptr;
    for (mqt* leg : legs) {
      if (!leg) continue;
      if (!remove_spread_user(leg, record))
        statmsg(__FILE__, __LINE__, "spread links corrupt:", leg->symbol, STATMSG_ERROR);
      delete_multiquote(leg);
    }
  }
  // Freeing a leg may have freed the record's predecessor: find the link anew.
  free_mqt_struct(record, nullptr);
  debug_trace("L delete_multiquote\n");
}

void delete_multiquote_struct(const char* symbol) {
  kv_lock guard(g_chart_lock);
  mqt* r = find_mqt(symbol);
  if (!r) {
    if (g_trace_mask & TRACE_MQT_FREE)
      debug_trace("delete_multiquote_struct: could not find struct for %s\n", symbol ? symbol : "");
    return;
  }
  delete_multiquote(r);
}

static void free_record_memory(mqt* r) {
  free_linked_blocks(r->iext_chain);
  r->iext_chain = nullptr;
  r->iext_count = 0;
  free_linked_blocks(r->spread_users);
  r->spread_users = nullptr;
}

void free_mqt_struct(mqt* record, mqt** link) {
  kv_lock guard(g_chart_lock);
  if (!link || *link != record) link = find_link(record);
  if (!link) return;
  if ((record->flags & MQT_1MIN_CHANGED) && g_mqt_hooks.write_1min_bars)
    g_mqt_hooks.write_1min_bars(record);
  write_iext_file(record);
  free_linked_blocks(record->iext_chain);
  record->iext_chain = nullptr;
  record->iext_count = 0;
  if (g_trace_mask & TRACE_MQT_FREE) debug_trace("free_mqt_struct: freeing %s\n", record->symbol);
  if ((record->flags & MQT_QT_PORTFOLIO) && g_mqt_hooks.qt_portfolio_remove)
    g_mqt_hooks.qt_portfolio_remove(record);
  // The number's table entry goes now, so no more quotes reach the record;
  // the record keeps the number itself, which a broker link's release
  // needs to cancel the market data (the record is wiped when let go).
  if (record->symbol_slot >= 1 && record->symbol_slot <= MAX_SYMBOL_SLOT &&
      g_mqt_hooks.clear_symbol_slot)
    g_mqt_hooks.clear_symbol_slot(record);
  for (chart_rec* c = g_chart_list; c; c = c->next) {
    if (c->mqt == record) c->mqt = nullptr;
    if (c->next == c) break;
  }
  // Streams held, or requests still in flight: the request thread holds
  // the record's address, so the relay side lets it go (mark_mqt_free).
  // The release counts as a request in flight itself: until the thread
  // has served it, the record may be taken and dropped again, and must
  // not be freed under the queued message.
  int in_flight = __atomic_load_n(&record->pending_streams, __ATOMIC_SEQ_CST) > 0;
  if ((record->streams_held || in_flight) && g_mqt_hooks.post_stream_request) {
    __atomic_add_fetch(&record->pending_streams, 1, __ATOMIC_SEQ_CST);
    if (g_mqt_hooks.post_stream_request(MQT_STREAM_RELEASE, record)) {
      dump_mqt_list("L free_mqt_struct");
      return;
    }
    __atomic_sub_fetch(&record->pending_streams, 1, __ATOMIC_SEQ_CST);
  }
  *link = record->next;
  if (g_mqt_hooks.delete_orders) g_mqt_hooks.delete_orders(record);
  free_record_memory(record);
  free(record);
  dump_mqt_list("L free_mqt_struct");
}

void mark_mqt_free(mqt* record) {
  kv_lock guard(g_chart_lock);
  if (!find_link(record)) return;
  write_iext_file(record);
  free_record_memory(record);
  mqt* next = record->next;
  memset(record, 0, sizeof *record);
  record->next = next;
  record->flags = MQT_FREE;
}

void free_all_mqts() {
  kv_lock guard(g_chart_lock);
  debug_trace("free_all_mqts:\n");
  int n = 0;
  for (mqt* r = g_mqt_list; r;) {
    mqt* next = r->next;
    debug_trace("[%4s] %s", r->symbol, ++n % 10 == 0 ? "\n" : "");
    write_iext_file(r);
    for (chart_rec* c = g_chart_list; c; c = c->next) {
      if (c->mqt == r) c->mqt = nullptr;
      if (c->next == c) break;
    }
    // No relay number may lead to the freed record any more.
    if (r->symbol_slot >= 1 && r->symbol_slot <= MAX_SYMBOL_SLOT && g_mqt_hooks.clear_symbol_slot)
      g_mqt_hooks.clear_symbol_slot(r);
    if (g_mqt_hooks.delete_orders) g_mqt_hooks.delete_orders(r);
    free_record_memory(r);
    free(r);
    r = next;
  }
  debug_trace("\n");
  g_mqt_list = nullptr;
}

void append_chart_link(chart_rec** head, chart_rec* chart) {
  kv_lock guard(g_chart_lock);
  chart_rec** tail = head;
  for (; *tail; tail = &(*tail)->sibling) {
    if (*tail == chart) return;
    if ((*tail)->sibling == *tail)  // a chart chained to itself ends the chain
      break;
  }
  chart->sibling = nullptr;
  if (*tail)
    (*tail)->sibling = chart;
  else
    *tail = chart;
}

mqt* link_chart_to_mqt(chart_rec* chart) {
  if (!chart) return nullptr;
  char symbol[MQT_SYMBOL_SIZE];
  int unit;
  {
    kv_lock guard(g_chart_lock);
    unit = chart->header.time_unit;
    strncpy(symbol, chart->header.symbol, sizeof symbol - 1);
    symbol[sizeof symbol - 1] = 0;
    if (unit == TU_DAILY) {
      const char* alias = lookup_alias(symbol, ALIAS_FOR_INTRADAY);
      if (alias && alias != symbol && strcmp(alias, "~") != 0) {
        strncpy(symbol, alias, sizeof symbol - 1);
      }
    }
    int n = chart->header.bar_count;
    if (n > 0 && chart->bars && (chart->bars[n - 1].flags & 0x2000)) return nullptr;
  }
  mqt* r = get_multiquote(symbol);
  if (!r) return nullptr;
  kv_lock guard(g_chart_lock);
  if (chart->mqt == r) {
    r->users--;  // linked before: the chart holds one use, not two
    return r;
  }
  chart->mqt = r;
  if (unit == TU_DAILY) {
    append_chart_link(&r->daily_charts, chart);
    if (relay_streaming(0x4) && cont_update() && !(r->flags & MQT_NOT_STREAMABLE))
      request_record_streams(r, 0x1000001);
  } else if (unit < TU_DAILY) {
    append_chart_link(&r->intraday_charts, chart);
  }
  return r;
}

mqt** get_portfolio_mqts(int slot) {
  static mqt** list;
  static size_t capacity;
  kv_lock guard(g_chart_lock);
  size_t n = 0;
  for (mqt* r = g_mqt_list; r; r = r->next) n++;
  if (n + 1 > capacity) {
    mqt** grown = (mqt**)realloc(list, (n + 1) * sizeof(mqt*));
    if (!grown) {
      static mqt* none[1];
      return none;
    }
    list = grown;
    capacity = n + 1;
  }
  size_t k = 0;
  if (slot >= 0 && slot < 4) {
    for (mqt* r = g_mqt_list; r; r = r->next) {
      if (r->flags & (MQT_FREE | MQT_ACCOUNT)) continue;
      if (g_trace_mask & TRACE_PORTFOLIO) {
        int any = 0;
        for (const mqt_position& p : r->account_positions) any |= p.quantity != 0;
        if (any) {
          debug_trace("Portfolio [%16s] ", r->symbol);
          for (int i = 0; i < MQT_ACCOUNT_SLOTS; i++)
            debug_trace("%d:%-4d    ", i, (int)r->account_positions[i].quantity);
          debug_trace("\n");
        }
      }
      if (r->account_positions[slot].quantity != 0) list[k++] = r;
    }
  }
  list[k] = nullptr;
  return list;
}

int get_last_quote_time() {
  return g_newest_quote_time;
}

void dump_mqt_list(const char* title) {
  if (!(g_trace_mask & TRACE_MQT_LIST)) return;
  kv_lock guard(g_chart_lock);
  debug_trace("%s: ", title);
  int n = 0;
  for (mqt* r = g_mqt_list; r; r = r->next) {
    debug_trace("[%s %d %d %d] %s", r->symbol, r->users,
                r->intraday_charts ? r->intraday_charts->references : 0,
                r->daily_charts ? r->daily_charts->references : 0, ++n % 6 == 0 ? "\n" : "");
  }
  debug_trace("\n");
}
