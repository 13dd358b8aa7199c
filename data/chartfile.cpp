// Price files: names, reading and verifying, merging fetched bars, choosing
// the bars to keep and writing.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/chartheader.h"
#include "data/chartload.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/markets.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "data/symindex.h"
#include "platform/clock.h"

static const char k_corrupt[] = "Invalid or corrupt data file";

// ---------------------------------------------------------------------------
// File names.

// "<SYMBOL><ext>" into out; 0 for units without a file or unusable symbols.
static int chart_leaf_name(char* out, size_t size, const char* symbol, int unit) {
  char ext[24];
  if (unit == TU_1MIN)
    strcpy(ext, ".1min");
  else if (unit >= TU_DAILY && unit < TU_WEEKLY)
    strcpy(ext, ".dyd");
  else if (unit == TU_WEEKLY)
    strcpy(ext, ".wyd");
  else if (unit == TU_MONTHLY)
    strcpy(ext, ".myd");
  else if (unit == TU_IEXT)
    strcpy(ext, ".iext");
  else if (is_tick_unit(unit))
    snprintf(ext, sizeof ext, ".tick%d", TU_TICK_BASE - unit);
  else if (is_volume_unit(unit))
    snprintf(ext, sizeof ext, ".vol%d", (int)((int64_t)TU_VOLUME_BASE - unit));
  else
    return 0;
  if (!symbol || !kv_symbol_file_name_ok(symbol)) return 0;
  size_t n = strlen(symbol);
  if (n + strlen(ext) + 1 > size) return 0;
  for (size_t i = 0; i < n; i++) out[i] = (char)toupper((unsigned char)symbol[i]);
  strcpy(out + n, ext);
  return 1;
}

char* chart_file_name(char* buf, const char* symbol, int unit) {
  static thread_local char leaf_buf[CHART_PATH_SIZE];
  char leaf[CHART_PATH_SIZE];
  if (!chart_leaf_name(leaf, sizeof leaf, symbol, unit)) return nullptr;
  if (!buf) {
    strcpy(leaf_buf, leaf);
    return leaf_buf;
  }
  return data_folder_path(buf, CHART_PATH_SIZE, KV_DIR_DATA, leaf);
}

char* hdata_file_name(char* buf, const char* symbol, int unit) {
  char leaf[CHART_PATH_SIZE];
  if (unit != TU_1MIN && !is_tick_unit(unit) && !is_volume_unit(unit)) return nullptr;
  if (!chart_leaf_name(leaf, sizeof leaf, symbol, unit)) return nullptr;
  return data_folder_path(buf, CHART_PATH_SIZE, KV_DIR_HDATA, leaf);
}

// ---------------------------------------------------------------------------
// Reading.

static int read_full(int fd, void* buf, size_t len) {
  uint8_t* p = (uint8_t*)buf;
  size_t done = 0;
  while (done < len) {
    ssize_t n = read(fd, p + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += (size_t)n;
  }
  return (int)(done == len);
}

static inline bool bar_prices_finite(const chart_bar& b) {
  // A float is finite unless its exponent bits are all ones.
  uint32_t o, h, l, c;
  memcpy(&o, &b.open, 4);
  memcpy(&h, &b.high, 4);
  memcpy(&l, &b.low, 4);
  memcpy(&c, &b.close, 4);
  const uint32_t e = 0x7f800000u;
  return ((o & e) != e) & ((h & e) != e) & ((l & e) != e) & ((c & e) != e);
}

void set_chart_dates(chart_rec* chart) {
  int n = chart->header.bar_count;
  if (n <= 0) return;
  chart->header.first_date = seconds_to_date(chart->bars[0].time);
  chart->header.last_date = seconds_to_date(chart->bars[n - 1].time);
  chart->header.last_time = kv_time_of_day(chart->bars[n - 1].time);
}

int read_chart_header(chart_rec* chart, int fd) {
  uint8_t image[CHART_HEADER_SIZE];
  if (!read_full(fd, image, sizeof image) || !chart_header_valid(image)) {
    statmsg(__FILE__, __LINE__, k_corrupt, nullptr, STATMSG_ERROR);
    close(fd);
    return 0;
  }
  decode_chart_header(image, &chart->header);
  chart->header.flags &= ~CHART_CLEAR_ON_READ;
  chart->references = 1;
  return 1;
}

// Reads count bars into bars with one read and turns the file bytes into
// bars in place, dropping bars whose prices are not numbers. Returns the
// bars kept, or -1 when the file ends early. *clean tells whether the kept
// bars are strictly in time order with valid dates, so that there is
// nothing to sort or remove.
static int read_bars(int fd, chart_bar* bars, int count, int accept_day0, int* clean) {
  if (!read_full(fd, bars, (size_t)count * CHART_BAR_SIZE)) return -1;
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
  for (int i = 0; i < count; i++) {
    chart_bar b;
    decode_chart_bar((const uint8_t*)(bars + i), &b);
    bars[i] = b;
  }
#endif
  // On a little-endian host the file image of a bar is the bar itself
  // (layout checked in data/chart.h), so one checking pass remains.
  int kept = 0;
  int in_order = 1;
  int32_t last_time = INT32_MIN;
  int64_t day_start = 1, day_end = 0;  // the day whose date was checked last
  for (int i = 0; i < count; i++) {
    const chart_bar& b = bars[i];
    if (!bar_prices_finite(b)) continue;
    if (kept != i) bars[kept] = b;
    kept++;
    in_order &= b.time > last_time;
    last_time = b.time;
    if (b.time < day_start || b.time >= day_end) {
      day_start = kv_day_number(b.time) * KV_SECONDS_PER_DAY;
      day_end = day_start + KV_SECONDS_PER_DAY;
      in_order &= valid_date(seconds_to_date(b.time), accept_day0) != 0;
    }
  }
  *clean = in_order;
  return kept;
}

static const char* read_body(chart_rec* chart, int fd, int unit, const char* path, int* clean);

const char* read_chart_body(chart_rec* chart, int fd, int unit, const char* path) {
  int clean;
  return read_body(chart, fd, unit, path, &clean);
}

static const char* read_body(chart_rec* chart, int fd, int unit, const char* path, int* clean) {
  const char* error = nullptr;
  *clean = 0;
  struct stat st;
  int64_t size = fstat(fd, &st) == 0 ? (int64_t)st.st_size : -1;
  int64_t pos = CHART_HEADER_SIZE;
  int32_t ext_count = chart->header.ext_count;
  chart_extension** tail = &chart->extensions;
  int32_t count = 0, spare = 0, kept = 0;
  chart_bar* bars = nullptr;

  // The extension count comes from the file: it must fit in it.
  if (size < pos || ext_count < 0 || pos + (int64_t)ext_count * CHART_EXTENSION_SIZE > size) {
    error = k_corrupt;
    goto done;
  }
  for (int32_t i = 0; i < ext_count; i++) {
    chart_extension* ext = (chart_extension*)calloc(1, sizeof(chart_extension));
    if (!ext) {
      error = "out of memory";
      goto done;
    }
    *tail = ext;
    tail = &ext->next;
    if (!read_full(fd, ext->block, CHART_EXTENSION_SIZE)) {
      error = "file corrupt (short)";
      goto done;
    }
    memset(ext->block, 0, 4);
  }
  pos += (int64_t)ext_count * CHART_EXTENSION_SIZE;

  spare = initial_bar_capacity(unit);
  if (spare < 0) spare = 0;
  if ((size - pos) / CHART_BAR_SIZE > 0x7fffffff - spare) {
    error = k_corrupt;
    goto done;
  }
  count = (int32_t)((size - pos) / CHART_BAR_SIZE);
  if (count + spare > 0) {
    bars = (chart_bar*)malloc(sizeof(chart_bar) * (size_t)(count + spare));
    if (!bars) {
      error = "can't allocate memory";
      goto done;
    }
  }
  free(chart->bars);
  chart->bars = bars;
  chart->ha_capacity = 0;  // no Heikin-Ashi array follows the new block
  chart->ha_valid = 0;
  kept = read_bars(fd, bars, count, unit == TU_MONTHLY, clean);
  if (kept < 0) {
    memset(bars, 0, sizeof(chart_bar) * (size_t)(count + spare));
    chart->header.bar_count = 0;
    chart->spare = count + spare;
    error = "file shorter than expected";
    goto done;
  }
  if (bars) memset(bars + kept, 0, sizeof(chart_bar) * (size_t)(count + spare - kept));
  if (kept < count)
    statmsg(__FILE__, __LINE__, "Bars with invalid prices dropped from:", path ? path : "",
            STATMSG_ERROR);
  chart->header.bar_count = kept;
  chart->spare = count + spare - kept;
  if (kept > 0) {
    chart->header.last_date = seconds_to_date(bars[kept - 1].time);
    chart->header.last_time = kv_time_of_day(bars[kept - 1].time);
  }
done:
  close(fd);
  return error;
}

// Header-only record: flag CHART_HEADER_ONLY, one reference, no extensions.
static chart_rec* header_only_rec() {
  chart_rec* chart = alloc_chart_rec();
  if (chart) chart->header.flags = CHART_HEADER_ONLY;
  return chart;
}

chart_rec* read_chart_file_header(const char* path, int delete_old) {
  chart_rec* chart = header_only_rec();
  if (!chart) return nullptr;
  int fd = kv_open_existing(path, O_RDONLY, nullptr);
  if (fd < 0) return chart;
  uint8_t image[CHART_HEADER_SIZE];
  if (!read_full(fd, image, sizeof image)) {
    close(fd);
    statmsg(__FILE__, __LINE__, "Incomplete read:", path, STATMSG_ERROR);
    return chart;
  }
  close(fd);
  decode_chart_header(image, &chart->header);
  chart->header.flags &= ~CHART_CLEAR_ON_READ;
  chart->header.flags |= CHART_HEADER_ONLY;
  chart_file_header& h = chart->header;
  if (h.zero != 0 || h.version < CHART_FILE_VERSION || h.magic != CHART_FILE_MAGIC) {
    h.bar_count = 0;
    h.first_date = 0;
    h.last_date = 0;
    h.flags = CHART_HEADER_ONLY;
    if (delete_old && !kv_delete_file(path, nullptr))
      statmsg(__FILE__, __LINE__, "Can't delete:", path, STATMSG_ERROR);
  }
  return chart;
}

chart_rec* get_chart_header(const char* symbol, int unit, int delete_old) {
  {
    kv_lock guard(g_chart_lock);
    if (chart_rec* listed = find_listed_chart(symbol, unit)) {
      chart_rec* chart = header_only_rec();
      if (chart) {
        chart->header = listed->header;
        chart->header.flags = (listed->header.flags & ~CHART_LISTED) | CHART_HEADER_ONLY;
      }
      return chart;
    }
  }
  char path[CHART_PATH_SIZE];
  if (!chart_file_name(path, symbol, unit)) return header_only_rec();
  return read_chart_file_header(path, delete_old);
}

// Reads a whole price file into a new record (one reference, not listed);
// null when missing or unreadable. *missing tells a missing file apart.
static chart_rec* read_chart_file(const char* path, int unit, const char* header_error,
                                  int header_level, int* missing, int* clean = nullptr) {
  int body_clean;
  *missing = 0;
  int fd = kv_open_existing(path, O_RDONLY, nullptr);
  if (fd < 0) {
    *missing = 1;
    return nullptr;
  }
  chart_rec* chart = alloc_chart_rec();
  if (!chart) {
    close(fd);
    return nullptr;
  }
  if (!read_chart_header(chart, fd)) {
    statmsg(__FILE__, __LINE__, header_error, path, header_level);
    free(chart);
    return nullptr;
  }
  if (const char* error = read_body(chart, fd, unit, path, &body_clean)) {
    statmsg(__FILE__, __LINE__, error, path, STATMSG_ERROR);
    free_linked_blocks(chart->extensions);
    free(chart->bars);
    free(chart);
    return nullptr;
  }
  if (clean) *clean = body_clean;
  return chart;
}

chart_rec* read_hdata_file(const char* symbol, int unit) {
  char path[CHART_PATH_SIZE];
  if (!hdata_file_name(path, symbol, unit)) return nullptr;
  int missing;
  chart_rec* chart = read_chart_file(path, unit, "Corrupt HDATA file", STATMSG_ERROR, &missing);
  if (missing) statmsg(__FILE__, __LINE__, "No hdata file: ", path, STATMSG_MISSING);
  return chart;
}

// ---------------------------------------------------------------------------
// Sorting and duplicates.

// Removes out-of-order and duplicate bars of a sorted array in one pass:
// of two bars out of order (or on the same time), the later one goes when
// the earlier carries BAR_KEEP or the later date is not valid, else the
// earlier one goes.
void remove_duplicate_bars(chart_rec* chart) {
  chart_bar* bars = chart->bars;
  int n = chart->header.bar_count;
  if (n < 2) return;
  int accept_day0 = chart->header.time_unit == TU_MONTHLY;
  // Dates are checked once per day: [day_start, day_end) is the day last
  // checked.
  int64_t day_start = 1, day_end = 0;
  int checked_ok = 0;
  int out = 1;
  for (int i = 1; i < n; i++) {
    chart_bar& prev = bars[out - 1];
    int32_t time = bars[i].time;
    if (time < day_start || time >= day_end) {
      day_start = kv_day_number(time) * KV_SECONDS_PER_DAY;
      day_end = day_start + KV_SECONDS_PER_DAY;
      checked_ok = valid_date(seconds_to_date(time), accept_day0);
    }
    if (time > prev.time && checked_ok) {
      if (out != i) bars[out] = bars[i];
      out++;
      continue;
    }
    if ((prev.flags & BAR_KEEP) || !checked_ok) continue;  // drop the later bar
    prev = bars[i];                                        // drop the earlier bar
  }
  if (out < n) {
    memset(bars + out, 0, sizeof(chart_bar) * (size_t)(n - out));
    chart->spare += n - out;
    chart->header.bar_count = out;
    chart->ha_valid = 0;  // bars moved
  }
}

// Sorts the bars by time (stably) and removes the duplicates.
static void order_chart_bars(chart_rec* chart) {
  sort_chart_bars(chart);
  remove_duplicate_bars(chart);
}

// ---------------------------------------------------------------------------
// Merging.

// Frees a chart given to the merge: a listed one loses a reference, one in
// the log is released through it, any other is freed.
static void release_input(chart_alloc_log* log, chart_rec* chart) {
  if (!chart) return;
  if (chart->header.flags & CHART_LISTED) {
    free_chart_data(chart);
    return;
  }
  for (int i = 0; log && i < CHART_ALLOC_LOG_SLOTS; i++) {
    if (log->slot[i] == chart) {
      chart_log_release(log, chart);
      return;
    }
  }
  destroy_chart(chart);
}

static chart_extension* copy_extension_chain(const chart_extension* ext) {
  chart_extension* head = nullptr;
  chart_extension** tail = &head;
  for (; ext; ext = ext->next) {
    chart_extension* copy = (chart_extension*)malloc(sizeof(chart_extension));
    if (!copy) break;
    memcpy(copy->block, ext->block, CHART_EXTENSION_SIZE);
    copy->next = nullptr;
    *tail = copy;
    tail = &copy->next;
  }
  return head;
}

static inline bool is_bad_minute_bar(const chart_bar& b) {
  return b.time % 60 != 0 || kv_time_of_day(b.time) == 0;
}

chart_rec* merge_bars(chart_rec* stored, chart_rec* fetched, chart_alloc_log* log, int flags) {
  int unit = fetched->header.time_unit;
  int ns = (stored && !(flags & CHART_REQ_RELOAD)) ? stored->header.bar_count : 0;
  int nf = fetched->header.bar_count;
  // Both inputs in time order; a listed chart is kept so already. An
  // unordered stored file would otherwise lose bars in the tick merge.
  if (stored && !(stored->header.flags & CHART_LISTED)) sort_chart_bars(stored);
  const chart_bar* sb = stored ? stored->bars : nullptr;
  sort_chart_bars(fetched);
  const chart_bar* fb = fetched->bars;
  int spare = initial_bar_capacity(unit);
  if (spare < 0) spare = 0;

  chart_rec* result = chart_log_alloc(log);
  if (!result) {
    release_input(log, stored);
    release_input(log, fetched);
    return nullptr;
  }
  chart_bar* out = (chart_bar*)malloc(sizeof(chart_bar) * ((size_t)ns + nf + spare + 1));
  if (!out) {
    // The inputs go first: failing the log frees its slots, and an input
    // held there would otherwise be freed a second time.
    char symbol[CHART_SYMBOL_SIZE];
    memcpy(symbol, fetched->header.symbol, sizeof symbol);
    release_input(log, stored);
    release_input(log, fetched);
    chart_log_fail(log, __FILE__, __LINE__, "can't allocate mem", symbol);
    return nullptr;
  }

  int n = 0, dropped = 0;
  if (unit < TU_TICK_BASE) {
    // Tick and volume bars: the fetched span replaces the stored one.
    int32_t first = nf ? fb[0].time : INT32_MAX;
    int32_t last = nf ? fb[nf - 1].time : INT32_MAX;
    for (int i = 0; i < ns && sb[i].time < first; i++) out[n++] = sb[i];
    for (int j = 0; j < nf; j++) {
      if (bar_prices_finite(fb[j]))
        out[n++] = fb[j];
      else
        dropped++;
    }
    for (int i = 0; i < ns; i++)
      if (sb[i].time >= last && nf) out[n++] = sb[i];
  } else {
    bool by_day = unit > TU_MAX_MINUTES;
    bool minute_file = unit == TU_1MIN;
    int i = 0, j = 0;
    while (i < ns || j < nf) {
      if (i < ns && minute_file && is_bad_minute_bar(sb[i])) {
        char tbuf[16];
        debug_trace("Discarding bad candle[%s] %d %s\n", stored->header.symbol,
                    seconds_to_date(sb[i].time), format_time(kv_time_of_day(sb[i].time), tbuf));
        i++;
        continue;
      }
      if (j < nf && !bar_prices_finite(fb[j])) {
        dropped++;
        j++;
        continue;
      }
      if (j >= nf) {
        out[n++] = sb[i++];
        continue;
      }
      if (i >= ns) {
        out[n++] = fb[j++];
        continue;
      }
      bool same = by_day ? kv_day_number(sb[i].time) == kv_day_number(fb[j].time)
                         : sb[i].time == fb[j].time;
      if (same) {
        if (fb[j].flags & BAR_PROVISIONAL)
          out[n++] = sb[i];
        else
          out[n++] = fb[j];
        i++;
        j++;
      } else if (sb[i].time < fb[j].time) {
        out[n++] = sb[i++];
      } else {
        out[n++] = fb[j++];
      }
    }
  }
  if (dropped) {
    // Named by the price file they were to be merged into, when it has one.
    const char* name = chart_file_name(nullptr, fetched->header.symbol, unit);
    statmsg(__FILE__, __LINE__,
            "Bars with invalid prices dropped from:", name ? name : fetched->header.symbol,
            STATMSG_ERROR);
  }

  const chart_file_header& base = stored ? stored->header : fetched->header;
  result->header = base;
  result->header.flags &= ~(CHART_LISTED | CHART_HEADER_ONLY);
  result->header.flags |= CHART_BARS_CHANGED;
  if (!result->header.description[0])
    memcpy(result->header.description, fetched->header.description, CHART_DESCRIPTION_SIZE);
  result->header.description[CHART_DESCRIPTION_SIZE - 1] = 0;
  result->header.symbol[CHART_SYMBOL_SIZE - 1] = 0;
  result->header.time_unit = unit;
  result->header.prev_close = fetched->header.prev_close;
  result->header.quote_word2 = fetched->header.quote_word2;
  result->header.history_date = fetched->header.history_date;
  result->header.history_word = fetched->header.history_word;
  result->header.bar_count = n;
  result->header.version = CHART_FILE_VERSION;
  result->header.magic = CHART_FILE_MAGIC;
  memset(out + n, 0, sizeof(chart_bar) * ((size_t)ns + nf + spare - n));
  result->bars = out;
  result->spare = ns + nf + spare - n;
  set_chart_dates(result);
  if (stored) {
    if (stored->header.flags & CHART_LISTED) {
      result->extensions = copy_extension_chain(stored->extensions);
    } else {
      result->extensions = stored->extensions;
      stored->extensions = nullptr;
    }
    result->session_offset = stored->session_offset;
    result->extended_hours = stored->extended_hours;
  }
  chart_log_forget(log, result);
  release_input(log, stored);
  release_input(log, fetched);
  return result;
}

// ---------------------------------------------------------------------------
// Loading and merging.

// The stored chart of the symbol, or null. *unreadable tells a file that is
// there but could not be read apart from no file at all.
static chart_rec* read_stored_chart(const char* symbol, int unit, int* clean, int* unreadable) {
  *unreadable = 0;
  char path[CHART_PATH_SIZE];
  if (!chart_file_name(path, symbol, unit)) return nullptr;
  int missing;
  chart_rec* chart =
      read_chart_file(path, unit, "Incomplete read:", STATMSG_ERROR, &missing, clean);
  if (!chart && kv_file_exists(path)) *unreadable = 1;
  return chart;
}

chart_rec* load_and_merge_chart(const char* symbol, chart_rec* fetched, int unit, int flags) {
  if (fetched && strcasecmp(fetched->header.symbol, symbol) != 0) {
    statmsg(__FILE__, __LINE__, "Unmatched symbols", symbol, STATMSG_ERROR);
    release_input(nullptr, fetched);
    return nullptr;
  }
  chart_rec* chart;
  {
    kv_lock guard(g_chart_lock);
    chart = find_listed_chart(symbol, unit);
    // One more reference only: the chart holds its record's one use.
    if (chart) chart->references++;
  }
  if (flags & CHART_REQ_LISTED_ONLY) {
    release_input(nullptr, fetched);
    return chart;
  }
  int clean = 0;  // bars read in order: nothing to sort or remove
  int unreadable = 0;
  if (!chart) chart = read_stored_chart(symbol, unit, &clean, &unreadable);
  if (fetched && chart && (chart->header.flags & CHART_LISTED)) {
    // Merging takes over the listed chart's reference.
    kv_lock guard(g_chart_lock);
    chart_alloc_log log = {};
    chart = merge_bars(chart, fetched, &log, flags);
    if (!chart) return nullptr;
  } else if (fetched) {
    chart_alloc_log log = {};
    chart = chart ? merge_bars(chart, fetched, &log, flags) : fetched;
    if (!chart) return nullptr;
  }
  if (!chart) return nullptr;

  kv_lock guard(g_chart_lock);  // the chart may be a listed one
  if (!chart->header.description[0]) {
    if (const char* text = symbol_description(symbol)) {
      snprintf(chart->header.description, CHART_DESCRIPTION_SIZE, "%s", text);
    }
  }
  if (is_tick_unit(unit) && chart->header.bar_count == 0) {
    chart->header.unit_count1 = 0;
    chart->header.unit_count2 = 0;
  }
  if (fetched || !clean) order_chart_bars(chart);
  if (!fetched) return chart;
  if (unreadable) {
    // The stored bars are in the file but not in this chart: writing it
    // would replace them. The fetched bars are shown and never written.
    chart->header.flags |= CHART_READ_ONLY;
    return chart;
  }

  chart->header.flags |= CHART_MERGED2;
  if (unit < TU_DAILY && !g_settings.KeepExtMktHoursData) {
    if (flags & CHART_REQ_EXTENDED_HOURS) {
      chart_rec* copy = copy_chart(chart);
      if (copy) {
        trim_to_market_hours(copy);
        if (write_chart_file(copy) != 0)
          statmsg(__FILE__, __LINE__,
                  "can't recreate file:", chart_file_name(nullptr, symbol, unit), STATMSG_ERROR);
        // The file now holds these bars: nothing is left to write.
        chart->header.flags &= ~(CHART_BARS_CHANGED | CHART_MERGED | CHART_MERGED2);
        free_chart_copy(copy);
      }
      return chart;
    }
    trim_to_market_hours(chart);
  }
  if (write_chart_file(chart) != 0)
    statmsg(__FILE__, __LINE__, "can't recreate file:", chart_file_name(nullptr, symbol, unit),
            STATMSG_ERROR);
  return chart;
}

int trim_to_market_hours(chart_rec* chart) {
  kv_lock guard(g_chart_lock);  // the chart may be a listed one
  mqt* record = chart->mqt;
  if (!record) return 0;
  if (!record->market) return 0;
  const uint8_t* map = record->market->minutes;
  chart_bar* bars = chart->bars;
  int n = chart->header.bar_count, out = 0;
  for (int i = 0; i < n; i++)
    if (map[kv_time_of_day(bars[i].time) / 60] & MINUTE_MAIN) bars[out++] = bars[i];
  if (out < n) {
    memset(bars + out, 0, sizeof(chart_bar) * (size_t)(n - out));
    chart->spare += n - out;
    chart->header.bar_count = out;
    chart->ha_valid = 0;  // bars moved
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Writing.

int select_bars_to_save(const chart_rec* chart, chart_bar_run runs[CHART_MAX_RUNS], int from) {
  const chart_bar* bars = chart->bars;
  int n = chart->header.bar_count;
  if (n > 0 && bars[n - 1].time == 0) n--;
  int unit = chart->header.time_unit;
  uint32_t flags = chart->header.flags;
  if ((flags & CHART_WRITE_ALL) || (chart->mqt && (chart->mqt->flags & MQT_KEEP_IN_DUMP))) {
    if (from >= n) return 0;
    runs[0].first = from;
    runs[0].count = n - from;
    return 1;
  }
  int keep_days = 0;
  if (unit == TU_1MIN)
    keep_days = g_settings.KeepNumDays1Min;
  else if (is_tick_unit(unit))
    keep_days = g_settings.KeepNumDaysTick;
  else if (is_volume_unit(unit))
    keep_days = g_settings.KeepNumDaysVolume;
  // A later call goes on from the end of an earlier run, which lies in the
  // kept span already.
  int first = from;
  if (from == 0 && keep_days > 0 && n > 0) {
    int days = 1;
    int64_t day_start = kv_day_number(bars[n - 1].time) * KV_SECONDS_PER_DAY;
    int i = n - 1;
    while (i > 0) {
      int64_t t = bars[i - 1].time;
      if (t < day_start || t >= day_start + KV_SECONDS_PER_DAY) {
        if (++days > keep_days) break;
        day_start = kv_day_number((int32_t)t) * KV_SECONDS_PER_DAY;
      }
      i--;
    }
    first = i;
  }
  if (first >= n) return 0;
  // Sessions split intraday bars only: a daily bar's time of day says
  // nothing about the session, and filtering it would lose every bar.
  int32_t start = chart->header.session_start, end = chart->header.session_end;
  if (g_settings.KeepExtMktHoursData || !start || !end || !is_intraday_unit(unit)) {
    runs[0].first = first;
    runs[0].count = n - first;
    return 1;
  }
  // A session whose start lies after its end runs over midnight (an
  // evening open, a next-day close): its bars are those after the start
  // or before the end, or the write would keep no intraday bar at all.
  auto in_session = [&](int32_t time) {
    int32_t tod = kv_time_of_day(time);
    if (start <= end) return tod >= start && tod <= end;
    return tod >= start || tod <= end;
  };
  int count = 0;
  int i = first;
  while (i < n && count < CHART_MAX_RUNS) {
    while (i < n && !in_session(bars[i].time)) i++;
    if (i >= n) break;
    int run_first = i;
    while (i < n && in_session(bars[i].time)) i++;
    runs[count].first = run_first;
    runs[count].count = i - run_first;
    count++;
  }
  return count;
}

// Copies the bars of a merged daily chart into the other daily charts of
// its symbol, as many as each can hold.
static void copy_to_daily_chain(chart_rec* chart, mqt* record) {
  kv_lock guard(g_chart_lock);
  for (chart_rec* other = record->daily_charts; other; other = other->sibling) {
    if (other == chart || other->header.time_unit != TU_DAILY) continue;
    int capacity = other->header.bar_count + other->spare;
    int n = chart->header.bar_count < capacity ? chart->header.bar_count : capacity;
    if (n > 0) memcpy(other->bars, chart->bars, sizeof(chart_bar) * (size_t)n);
    if (capacity > n) memset(other->bars + n, 0, sizeof(chart_bar) * (size_t)(capacity - n));
    other->header.bar_count = n;
    other->spare = capacity - n;
    other->ha_valid = 0;  // every bar replaced
    if (other->sibling == other) break;
  }
}

enum { WRITE_CHUNK_BARS = 2048 };

// Encodes the chosen bars into a buffer and writes it whenever it fills,
// so that short session runs do not each cost a write.
static int write_bar_runs(FILE* f, const chart_rec* chart, int32_t* written) {
  static thread_local uint8_t buf[(size_t)WRITE_CHUNK_BARS * CHART_BAR_SIZE];
  chart_bar_run runs[CHART_MAX_RUNS];
  int from = 0, held = 0;
  for (;;) {
    int count = select_bars_to_save(chart, runs, from);
    for (int r = 0; r < count; r++) {
      const chart_bar* bars = chart->bars + runs[r].first;
      for (int left = runs[r].count; left > 0;) {
        int k = WRITE_CHUNK_BARS - held;
        if (k > left) k = left;
        encode_chart_bars(bars, k, buf + (size_t)held * CHART_BAR_SIZE);
        held += k;
        bars += k;
        left -= k;
        *written += k;
        if (held == WRITE_CHUNK_BARS) {
          if (fwrite(buf, CHART_BAR_SIZE, (size_t)held, f) != (size_t)held) return 0;
          held = 0;
        }
      }
      from = runs[r].first + runs[r].count;
    }
    if (count < CHART_MAX_RUNS) break;
  }
  return held == 0 || fwrite(buf, CHART_BAR_SIZE, (size_t)held, f) == (size_t)held;
}

int write_chart_file(chart_rec* chart) {
  uint32_t flags = chart->header.flags;
  int unit = chart->header.time_unit;
  if ((flags & (CHART_READ_ONLY | CHART_READ_ONLY2)) && !(flags & CHART_FORCE_WRITE)) return 0;
  if (unit >= 391 && unit <= 2729) return 0;
  char path[CHART_PATH_SIZE];
  if (!chart_file_name(path, chart->header.symbol, unit)) return 0;

  mqt* record = nullptr;
  if (unit == TU_1MIN) {
    record = chart->mqt;
    if (record && (record->flags & MQT_1MIN_INIT)) record->flags &= ~MQT_1MIN_WRITABLE;
  } else if (unit == TU_DAILY && (flags & (CHART_MERGED | CHART_MERGED2))) {
    record = chart->mqt;
    if (record) copy_to_daily_chain(chart, record);
  }
  chart->header.flags &= ~(CHART_MERGED | CHART_MERGED2);

  chart_file_header h = chart->header;
  h.bar_count = 0;  // known once the bars are written
  h.flags &= ~CHART_CLEAR_ON_WRITE;
  h.zero = 0;
  h.version = CHART_FILE_VERSION;
  h.magic = CHART_FILE_MAGIC;
  int32_t ext_count = 0;
  for (const chart_extension* e = chart->extensions; e; e = e->next) ext_count++;
  h.ext_count = ext_count;
  uint8_t image[CHART_HEADER_SIZE];
  seal_chart_header(&h, image);
  chart->header.flags &= ~CHART_FORCE_WRITE;

  kv_atomic_file* af = kv_atomic_begin(path, nullptr);
  if (!af) return 1;
  FILE* f = kv_atomic_stream(af);
  int ok = fwrite(image, 1, sizeof image, f) == sizeof image;
  for (const chart_extension* e = chart->extensions; ok && e; e = e->next) {
    uint8_t block[CHART_EXTENSION_SIZE];
    memcpy(block, e->block, sizeof block);
    memset(block, 0, 4);  // the link word means nothing in a file
    ok = fwrite(block, 1, sizeof block, f) == sizeof block;
  }
  int32_t written = 0;
  if (ok) ok = write_bar_runs(f, chart, &written);
  if (ok) {
    h.bar_count = written;
    seal_chart_header(&h, image);
    ok = fseek(f, 0, SEEK_SET) == 0 && fwrite(image, 1, sizeof image, f) == sizeof image;
  }
  if (ok)
    ok = kv_atomic_commit(af, nullptr);
  else
    kv_atomic_abort(af);
  if (!ok) {
    statmsg(__FILE__, __LINE__, "write error in file:", path, STATMSG_ERROR);
    if (record) record->flags |= MQT_1MIN_WRITABLE;
    return 2;
  }
  if (record) {
    if (record->feed_flags & FEED_PREV_CLOSE_KNOWN) chart->header.prev_close = record->prev_close;
    if (record->flags & MQT_MIDPOINT) chart->header.quote_word2 = record->quote_word2;
    // The record's one-minute state starts again from what the file now
    // holds.
    if (unit == TU_1MIN && (record->flags & MQT_1MIN_INIT) && g_chart_load_hooks.init_mqt_from_1min)
      g_chart_load_hooks.init_mqt_from_1min(record, chart);
  }
  return 0;
}
