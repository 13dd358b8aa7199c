// Extension blocks (user-drawn annotation lines) of a chart, and the .iext
// file that keeps those of an intraday symbol.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"

// The chain a chart's blocks belong to, with its count: the live-quote
// record's for intraday units, the base chart's for tick and volume charts
// built from one, else the chart's own. Null when an intraday chart has no
// record.
static chart_extension** owning_chain(chart_rec* chart, int32_t** count) {
  int unit = chart->header.time_unit;
  if (unit >= TU_1MIN && unit <= TU_MAX_MINUTES) {
    if (!chart->mqt) return nullptr;
    *count = &chart->mqt->iext_count;
    return &chart->mqt->iext_chain;
  }
  chart_rec* owner = chart;
  if ((is_tick_unit(unit) || is_volume_unit(unit)) && chart->base) owner = chart->base;
  *count = &owner->header.ext_count;
  return &owner->extensions;
}

static void mark_changed(chart_rec* chart) {
  chart->header.flags |= CHART_EXT_CHANGED;
  int unit = chart->header.time_unit;
  if (unit >= TU_1MIN && unit <= TU_MAX_MINUTES && chart->mqt) chart->mqt->flags |= MQT_EXT_CHANGED;
}

chart_extension* add_chart_extension(chart_rec* chart) {
  kv_lock guard(g_chart_lock);
  int32_t* count;
  chart_extension** link = owning_chain(chart, &count);
  if (!link) {
    statmsg(__FILE__, __LINE__, "Can't find multiquote struct", chart->header.symbol,
            STATMSG_ERROR);
    return nullptr;
  }
  int32_t n = 0;
  while (*link) {
    if (++n > *count) {
      // More blocks than counted: a damaged or looping chain.
      statmsg(__FILE__, __LINE__, "extension chain corrupt", chart->header.symbol, STATMSG_ERROR);
      return nullptr;
    }
    link = &(*link)->next;
  }
  if (n != *count) {
    statmsg(__FILE__, __LINE__, "Chart excnt corrupt", chart->header.symbol, STATMSG_ERROR);
    *count = n;
  }
  chart_extension* ext = (chart_extension*)calloc(1, sizeof(chart_extension));
  if (!ext) {
    statmsg(__FILE__, __LINE__, "Can't allocate memory", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  *link = ext;
  (*count)++;
  mark_changed(chart);
  return ext;
}

chart_extension* first_chart_extension(chart_rec* chart) {
  int32_t* count;
  chart_extension** link = owning_chain(chart, &count);
  return link ? *link : nullptr;
}

int chart_extension_count(chart_rec* chart) {
  int32_t* count;
  return owning_chain(chart, &count) ? *count : 0;
}

void mark_extensions_modified(chart_rec* chart) {
  kv_lock guard(g_chart_lock);
  mark_changed(chart);
}

int delete_chart_extension(chart_rec* chart, chart_extension* ext) {
  kv_lock guard(g_chart_lock);
  int32_t* count;
  chart_extension** link = owning_chain(chart, &count);
  if (!link) {
    statmsg(__FILE__, __LINE__, "no extension", chart->header.symbol, STATMSG_ERROR);
    return 0;
  }
  for (; *link; link = &(*link)->next) {
    if (*link == ext) {
      *link = ext->next;
      free(ext);
      if (*count > 0) (*count)--;
      mark_changed(chart);
      return 1;
    }
  }
  return 0;
}

int read_iext_file(mqt* record) {
  char path[CHART_PATH_SIZE];
  if (!chart_file_name(path, record->symbol, TU_IEXT)) return 0;
  std::string data;
  if (!kv_read_file(path, &data, nullptr)) return 0;
  if (data.size() % CHART_EXTENSION_SIZE != 0) {
    statmsg(__FILE__, __LINE__, "file corrupt (short)", path, STATMSG_ERROR);
    return 0;
  }
  kv_lock guard(g_chart_lock);
  chart_extension** tail = &record->iext_chain;
  while (*tail) tail = &(*tail)->next;
  int n = (int)(data.size() / CHART_EXTENSION_SIZE);
  for (int i = 0; i < n; i++) {
    chart_extension* ext = (chart_extension*)malloc(sizeof(chart_extension));
    if (!ext) {
      statmsg(__FILE__, __LINE__, "out of memory", path, STATMSG_ERROR);
      return i;
    }
    ext->next = nullptr;
    memcpy(ext->block, data.data() + (size_t)i * CHART_EXTENSION_SIZE, CHART_EXTENSION_SIZE);
    memset(ext->block, 0, 4);
    *tail = ext;
    tail = &ext->next;
    record->iext_count++;
  }
  return n;
}

int write_iext_file(mqt* record) {
  kv_lock guard(g_chart_lock);
  if (!(record->flags & MQT_EXT_CHANGED)) return 1;
  char path[CHART_PATH_SIZE];
  if (!chart_file_name(path, record->symbol, TU_IEXT)) return 0;
  record->flags &= ~MQT_EXT_CHANGED;
  if (!record->iext_chain) {
    if (kv_file_exists(path)) kv_delete_file(path, nullptr);
    return 1;
  }
  std::string data;
  chart_extension* ext = record->iext_chain;
  while (ext) {
    chart_extension* next = ext->next;
    size_t at = data.size();
    data.append((const char*)ext->block, CHART_EXTENSION_SIZE);
    memset(&data[at], 0, 4);
    free(ext);
    ext = next;
  }
  record->iext_chain = nullptr;
  record->iext_count = 0;
  if (!kv_write_file_atomic(path, data.data(), data.size(), nullptr)) {
    statmsg(__FILE__, __LINE__, "write error in file:", path, STATMSG_ERROR);
    return 0;
  }
  return 1;
}
