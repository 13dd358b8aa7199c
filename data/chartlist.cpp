// Chart records: allocation, the global chart list, references and freeing,
// the allocation log of one load, and bar-array helpers.
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/debugtrace.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"

chart_rec* g_chart_list;

chart_rec* alloc_chart_rec() {
  chart_rec* chart = (chart_rec*)calloc(1, sizeof(chart_rec));
  if (!chart) {
    statmsg(__FILE__, __LINE__, "can't allocate memory", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  chart->references = 1;
  return chart;
}

int initial_bar_capacity(int unit) {
  if (unit == 0) return 0;
  if (is_tick_unit(unit) || is_volume_unit(unit)) return 1024;
  if (is_seconds_unit(unit)) return 100 + 2000 * -unit;
  return std::max(820 / unit, (int)g_settings.KeepNumDays1Min);
}

chart_rec* new_chart(const char* symbol, int unit) {
  return new_chart_with_slots(symbol, unit, initial_bar_capacity(unit));
}

chart_rec* new_chart_with_slots(const char* symbol, int unit, int slots) {
  chart_rec* chart = alloc_chart_rec();
  if (!chart) return nullptr;
  slots = std::max(slots, 0);
  if (slots) {
    chart->bars = (chart_bar*)calloc(slots, sizeof(chart_bar));
    if (!chart->bars) {
      statmsg(__FILE__, __LINE__, "can't allocate memory", nullptr, STATMSG_ERROR);
      free(chart);
      return nullptr;
    }
  }
  chart->spare = slots;
  chart->header.version = CHART_FILE_VERSION;
  chart->header.magic = CHART_FILE_MAGIC;
  chart->header.time_unit = unit;
  if (symbol) snprintf(chart->header.symbol, sizeof chart->header.symbol, "%s", symbol);
  return chart;
}

void list_chart(chart_rec* chart) {
  kv_lock guard(g_chart_lock);
  if (chart->header.flags & CHART_LISTED) return;
  chart->next = nullptr;
  chart_rec** link = &g_chart_list;
  while (*link) link = &(*link)->next;
  *link = chart;
  chart->header.flags |= CHART_LISTED;
}

void unlist_chart(chart_rec* chart) {
  kv_lock guard(g_chart_lock);
  for (chart_rec** link = &g_chart_list; *link; link = &(*link)->next) {
    if (*link == chart) {
      *link = chart->next;
      chart->next = nullptr;
      chart->header.flags &= ~CHART_LISTED;
      return;
    }
  }
  statmsg(__FILE__, __LINE__, "chart links corrupt:", chart->header.symbol, STATMSG_ERROR);
}

void unlink_sibling_chart(chart_rec** head, chart_rec* chart) {
  kv_lock guard(g_chart_lock);
  for (chart_rec** link = head; *link; link = &(*link)->sibling) {
    if (*link == chart) {
      *link = chart->sibling;
      chart->sibling = nullptr;
      return;
    }
  }
  statmsg(__FILE__, __LINE__, "chart child links corrupt", chart->header.symbol, STATMSG_ERROR);
}

chart_rec* find_listed_chart(const char* symbol, int unit) {
  kv_lock guard(g_chart_lock);
  for (chart_rec* chart = g_chart_list; chart; chart = chart->next) {
    if (chart->next == chart) {
      statmsg(__FILE__, __LINE__, "endless loop chart linkage", chart->header.symbol,
              STATMSG_ERROR);
      return nullptr;
    }
    if (chart->header.time_unit == unit && strcasecmp(chart->header.symbol, symbol) == 0)
      return chart;
  }
  return nullptr;
}

void free_linked_blocks(void* head) {
  struct block {
    block* next;
  };
  block* b = (block*)head;
  while (b) {
    block* next = b->next;
    free(b);
    b = next;
  }
}

void destroy_chart(chart_rec* chart) {
  free_linked_blocks(chart->extensions);
  free_linked_blocks(chart->studies);
  free(chart->bars);
  free(chart->axis_marks);
  free(chart);
}

void free_chart_data(chart_rec* chart) {
  if (!chart) return;
  kv_lock guard(g_chart_lock);
  debug_trace("E free_chart_data\n");
  if (--chart->references > 0) {
    debug_trace("L free_chart_data\n");
    return;
  }
  uint32_t flags = chart->header.flags;
  if (flags & CHART_HEADER_ONLY) {
    destroy_chart(chart);
    debug_trace("L free_chart_data\n");
    return;
  }
  if (flags & (CHART_BARS_CHANGED | CHART_EXT_CHANGED | CHART_MERGED | CHART_MERGED2))
    write_chart_file(chart);
  if (mqt* record = chart->mqt) {
    // The record's last intraday chart goes while others still use the
    // record: the streams that only charted records hold are dropped.
    // The post raises the record's pending count, so the record outlives
    // the request whatever delete_multiquote does below.
    int unit = chart->header.time_unit;
    uint32_t charted_only = (MQT_STREAMS_CHARTED ^ MQT_STREAMS_UNCHARTED) & STREAM_KINDS;
    if (unit < TU_DAILY && record->intraday_charts == chart && !chart->sibling &&
        record->users > 1 && record->streams_held && charted_only &&
        g_chart_load_hooks.router_post_stream)
      g_chart_load_hooks.router_post_stream(STREAM_DROP | charted_only, record);
    if (unit < TU_DAILY)
      unlink_sibling_chart(&record->intraday_charts, chart);
    else if (unit == TU_DAILY)
      unlink_sibling_chart(&record->daily_charts, chart);
    chart->mqt = nullptr;
    if (g_chart_load_hooks.delete_multiquote) g_chart_load_hooks.delete_multiquote(record);
  }
  if (flags & CHART_LISTED) unlist_chart(chart);
  // A chart compressed from a base holds a reference to it (its extension
  // chain and studies live there).
  chart_rec* base = chart->base != chart ? chart->base : nullptr;
  destroy_chart(chart);
  free_chart_data(base);
  debug_trace("L free_chart_data\n");
}

void dump_chart_list(const char* label, chart_rec* chart) {
  if (!(g_trace_mask & 0x4)) return;
  kv_lock guard(g_chart_lock);
  if (chart)
    debug_trace("%s: [%08lx %s t=%d]\n", label, (unsigned long)(uintptr_t)chart,
                chart->header.symbol, chart->header.time_unit);
  else
    debug_trace("%s:\n", label);
  for (chart_rec* c = g_chart_list; c; c = c->next) {
    if (chart && strcasecmp(c->header.symbol, chart->header.symbol) != 0) continue;
    debug_trace("  [%08lx %s t=%d m=%d u=%d c=%d", (unsigned long)(uintptr_t)c, c->header.symbol,
                c->header.time_unit, c->mqt ? c->mqt->users : 0, c->references, c->counter2);
    for (chart_rec* s = c->sibling; s && s != c; s = s->sibling)
      debug_trace(" C:%08lx", (unsigned long)(uintptr_t)s);
    debug_trace("]\n");
    if (c->next == c) break;
  }
}

// ---------------------------------------------------------------------------
// Allocation log.

chart_rec* chart_log_alloc(chart_alloc_log* log) {
  for (chart_rec*& slot : log->slot) {
    if (!slot) {
      slot = alloc_chart_rec();
      return slot;
    }
  }
  statmsg(__FILE__, __LINE__, "chart allocation log is full", "", 14);
  return nullptr;
}

void chart_log_forget(chart_alloc_log* log, chart_rec* chart) {
  for (chart_rec*& slot : log->slot)
    if (slot == chart) slot = nullptr;
}

void chart_log_release(chart_alloc_log* log, chart_rec* chart) {
  for (chart_rec*& slot : log->slot) {
    if (slot == chart) {
      slot = nullptr;
      destroy_chart(chart);
      return;
    }
  }
  // Not ours: it may not even be a live record, so it is not looked at.
  statmsg(__FILE__, __LINE__, "chart not listed in log", "", 14);
}

void chart_log_fail(chart_alloc_log* log, const char* source, int line, const char* message,
                    const char* argument) {
  for (chart_rec*& slot : log->slot) {
    if (slot) {
      destroy_chart(slot);
      slot = nullptr;
    }
  }
  statmsg(source, line, message, argument ? argument : "", 14);
}

// ---------------------------------------------------------------------------
// Bars.

int grow_chart_bars(chart_rec* chart, int slots) {
  kv_lock guard(g_chart_lock);  // the bar block of a listed chart moves
  int used = chart->header.bar_count + chart->spare;
  chart_bar* bars = (chart_bar*)realloc(chart->bars, sizeof(chart_bar) * (size_t)(used + slots));
  if (!bars) return 0;
  memset(bars + used, 0, sizeof(chart_bar) * (size_t)slots);
  chart->bars = bars;
  chart->spare += slots;
  chart->ha_capacity = 0;  // a Heikin-Ashi array no longer follows
  chart->ha_valid = 0;
  return 1;
}

void delete_bar(chart_rec* chart, int index) {
  delete_bars(chart, index, index + 1);
}

void delete_bars(chart_rec* chart, int from, int to) {
  kv_lock guard(g_chart_lock);
  int n = chart->header.bar_count;
  if (from < 0) from = 0;
  if (to > n) to = n;
  if (from >= to) return;
  memmove(chart->bars + from, chart->bars + to, sizeof(chart_bar) * (size_t)(n - to));
  memset(chart->bars + n - (to - from), 0, sizeof(chart_bar) * (size_t)(to - from));
  chart->header.bar_count = n - (to - from);
  chart->spare += to - from;
  // Heikin-Ashi bars from here on no longer stand beside their plain bars.
  if (chart->ha_valid > from) chart->ha_valid = from;
  // The file no longer holds these bars, and the windows show them still.
  chart->header.flags |= CHART_BARS_CHANGED | CHART_REPAINT | CHART_RECALC;
}

int compare_bar_time(const void* a, const void* b) {
  int32_t ta = ((const chart_bar*)a)->time, tb = ((const chart_bar*)b)->time;
  return ta < tb ? -1 : ta > tb ? 1 : 0;
}

void sort_chart_bars(chart_rec* chart) {
  chart_bar* bars = chart->bars;
  int n = chart->header.bar_count;
  int i = 1;
  while (i < n && bars[i - 1].time <= bars[i].time) i++;
  if (i >= n) return;
  // Stable, so that of bars on the same time the one read first stays first.
  std::stable_sort(bars, bars + n,
                   [](const chart_bar& a, const chart_bar& b) { return a.time < b.time; });
}

chart_rec* copy_chart(const chart_rec* chart) {
  chart_rec* copy = alloc_chart_rec();
  if (!copy) return nullptr;
  int slots = chart->header.bar_count + chart->spare;
  if (slots > 0) {
    copy->bars = (chart_bar*)malloc(sizeof(chart_bar) * (size_t)slots);
    if (!copy->bars) {
      statmsg(__FILE__, __LINE__, "can't allocate memory", nullptr, STATMSG_ERROR);
      free(copy);
      return nullptr;
    }
    memcpy(copy->bars, chart->bars, sizeof(chart_bar) * (size_t)slots);
  }
  copy->header = chart->header;
  copy->header.flags &= ~CHART_LISTED;
  copy->spare = chart->spare;
  copy->mqt = chart->mqt;                // not a use of the record: the copy never releases it
  copy->extensions = chart->extensions;  // shared
  copy->base = chart->base;
  copy->session_offset = chart->session_offset;
  copy->extended_hours = chart->extended_hours;
  return copy;
}

void free_chart_copy(chart_rec* copy) {
  if (!copy) return;
  free(copy->bars);
  free(copy->axis_marks);
  free(copy);
}
