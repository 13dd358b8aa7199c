// The update-check thread: clock from a daytime server, version check
// against the update server, then the events file.
#include "data/updatechk.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/events.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/statmsg.h"
#include "data/version.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "platform/thread.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

std::atomic<int> g_updatechk_done{1};

enum {
  PREF_NO_CLOCK_SYNC = 0x8000000,  // g_pref_flags: never set the clock
  PREF_REPORT_EVENTS = 0x2000,     // g_pref_flags: report a refreshed events file
  SERVER_ADDRESS_MAX = 256,
};

// Where the version check goes when srcdata.cfg names no server.
static const char default_reg_server[] = "http://updates.ostrelan.example/korvane/";
static const char default_update_server[] = "http://www.ostrelan.example/korvane/download.html";

// ---- daytime ------------------------------------------------------------------

// A number of at most max_digits digits (blanks before it skipped) ended by
// one of the characters of ends, or by the end of the text when end_ok.
// Moves *p past the terminator.  -1 when there is none such.
static int daytime_field(const char **p, int max_digits, const char *ends, int end_ok) {
  const char *s = *p;
  while (*s == ' ' || *s == '\t') s++;
  int value = 0, digits = 0;
  while (isdigit((unsigned char)*s)) {
    if (++digits > max_digits) return -1;
    value = value * 10 + (*s++ - '0');
  }
  if (!digits) return -1;
  if (*s == 0 || *s == '\n' || *s == '\r') {
    if (!end_ok) return -1;
  } else if (!strchr(ends, *s)) {
    return -1;
  } else {
    s++;
  }
  *p = s;
  return value;
}

int parse_daytime_line(const char *line, int64_t *utc_seconds) {
  if (!line || !strstr(line, "UTC")) return 0;
  const char *p = line;
  while (*p == ' ' || *p == '\t') p++;
  while (*p && *p != ' ' && *p != '\t') p++;  // the first field (the day number)
  int year = daytime_field(&p, 2, " -:", 0);
  int month = daytime_field(&p, 2, " -:", 0);
  int day = daytime_field(&p, 2, ". ,\t", 0);
  int hour = daytime_field(&p, 2, ": ,\t", 0);
  int minute = daytime_field(&p, 2, ": ,\t", 0);
  int second = daytime_field(&p, 2, ": ,\t", 1);
  if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 60)
    return 0;
  year += 2000;
  if (day > days_in_month(year, month)) return 0;
  if (second == 60) second = 59;  // a leap second: the clock cannot show it
  if (utc_seconds)
    *utc_seconds =
        date_to_seconds(year * 10000 + month * 100 + day, hour * 3600 + minute * 60 + second);
  return 1;
}

// Reads the daytime page of one host; 1 and the time when it answered with
// a usable line.
static int read_time_server(const char *host, int64_t *utc_seconds) {
  char url[SERVER_ADDRESS_MAX + 32];
  snprintf(url, sizeof url, "http://%s:%d", host, g_inet_daytime_port);
  page_status status = {0, 0};
  web_page *page = inet_open_page(g_inet_session, url, &status);
  if (!page) return 0;
  int found = 0;
  while (char *line = inet_read_page(page, &status))
    if (!found && strstr(line, "UTC")) found = parse_daytime_line(line, utc_seconds);
  inet_close_page(page);
  return found;
}

static void sync_clock(void) {
  char servers[SERVER_ADDRESS_MAX];
  if (find_srcdata_item("TIME_SERVER", servers, sizeof servers) < 0 || !servers[0]) {
    statmsg(__FILE__, __LINE__, "TIME_SERVER url not in srcdata.cfg", nullptr, STATMSG_NOTICE);
    return;
  }
  char *cursor = servers;
  while (!g_program_exiting.load()) {
    char *host = strsep(&cursor, ";");
    if (!host) break;
    while (*host == ' ' || *host == '\t') host++;
    size_t n = strlen(host);
    while (n && (host[n - 1] == ' ' || host[n - 1] == '\t')) host[--n] = 0;
    if (!*host) continue;
    statmsg(__FILE__, __LINE__, "Contacting time server: ", host, STATMSG_NOTICE);
    int64_t utc = 0;
    if (!read_time_server(host, &utc)) continue;
    statmsg(__FILE__, __LINE__, "Syncing time with NIS atomic clock", nullptr, STATMSG_NOTICE);
    if (!kv_set_system_clock(utc))
      statmsg(__FILE__, __LINE__, "Setting local clock failed!", nullptr, STATMSG_NOTICE);
    return;
  }
  statmsg(__FILE__, __LINE__, "Unable to contact Time Server", nullptr, STATMSG_NOTICE);
}

// ---- version check ----------------------------------------------------------------

// The number a line starts with, when the line holds key; -1 otherwise.
static long leading_number(const char *line, const char *key) {
  if (!line || !strstr(line, key)) return -1;
  const char *p = line;
  while (*p == ' ' || *p == '\t') p++;
  if (!isdigit((unsigned char)*p)) return -1;
  char *end;
  long v = strtol(p, &end, 10);
  return v > INT_MAX ? -1 : v;
}

// This installation's configuration number: the first token of
// CONFIG/config.id, 0 when there is none.
static long installed_config_number(void) {
  char path[KV_MAX_PATH];
  std::string text;
  if (!data_folder_path(path, sizeof path, KV_DIR_CONFIG, "config.id") ||
      !kv_read_file(path, &text, nullptr))
    return 0;
  const char *p = text.c_str();
  while (isspace((unsigned char)*p)) p++;
  if (!isdigit((unsigned char)*p)) return 0;
  long v = strtol(p, nullptr, 10);
  return v > INT_MAX ? 0 : v;
}

static void server_address(const char *key, const char *fallback, char *out, size_t size) {
  if (find_srcdata_item(key, out, size) < 0 || !out[0]) snprintf(out, size, "%s", fallback);
}

static void announce(const char *text, const char *status_line) {
  char *copy = strdup(text);
  kv_hwnd wnd = hmainwnd.load();
  if (copy && !(wnd && kv_post_message(wnd, WM_PROGRAM_UPDATES, 1, (kv_lparam)copy,
                                       kv_release_free_lparam)))
    free(copy);
  statmsg(__FILE__, __LINE__, status_line, nullptr, STATMSG_NOTICE);
}

static void check_versions(void) {
  char base[SERVER_ADDRESS_MAX];
  server_address("REG_SERVER", default_reg_server, base, sizeof base);
  int build = get_build_number();
  size_t n = strlen(base);
  char url[SERVER_ADDRESS_MAX + 48];
  snprintf(url, sizeof url, "%s%svcheck.cgi?b=%d", base, n && base[n - 1] == '/' ? "" : "/", build);
  page_status status = {0, 0};
  web_page *page = inet_open_page(g_inet_session, url, &status);
  if (!page) {
    statmsg(__FILE__, __LINE__, "Unable to contact update server", nullptr, STATMSG_NOTICE);
    return;
  }
  long newest_build = -1, newest_config = -1;
  if (status.http_status == 200) {
    newest_build = leading_number(inet_read_page(page, &status), "korvane.exe");
    if (newest_build >= 0)
      newest_config = leading_number(inet_read_page(page, &status), "config.id");
  }
  inet_close_page(page);
  if (newest_build < 0 || newest_config < 0) {
    statmsg(__FILE__, __LINE__, "Unable to get update information from server", nullptr,
            STATMSG_NOTICE);
    return;
  }
  char update_page[SERVER_ADDRESS_MAX];
  server_address("UPDATE_SERVER", default_update_server, update_page, sizeof update_page);
  char text[SERVER_ADDRESS_MAX + 64];
  if (build > 0 && newest_build > build) {
    snprintf(text, sizeof text, "New program version is available at:\n%s\n", update_page);
    announce(text, "New program version available");
    return;
  }
  long installed = installed_config_number();
  if (installed == 0 || installed >= newest_config) {
    statmsg(__FILE__, __LINE__, "Program and configuration are current", nullptr, STATMSG_ALERT);
    return;
  }
  snprintf(text, sizeof text, "New program configuration update is available at:\n%s\n",
           update_page);
  announce(text, "New configuration update available");
}

// ---- the thread ---------------------------------------------------------------------

void updatechk_thread(void) {
  debug_trace("Entered updatechk_thread %X\n", (unsigned)kv_current_thread_id());
  // The cached configuration may be reloaded meanwhile: copy its flags
  // under the lock that guards the cache.
  int have_cfg = 0;
  uint32_t flags = 0;
  {
    kv_lock guard(g_chart_lock);
    if (quote_source_cfg *cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT)) {
      have_cfg = 1;
      flags = cfg->flags;
    }
  }
  if (have_cfg) {
    if (!(flags & QUOTE_CFG_NO_CLOCK_SYNC) && !(g_pref_flags & PREF_NO_CLOCK_SYNC) &&
        !g_program_exiting.load())
      sync_clock();
    if (!(flags & QUOTE_CFG_NO_UPDATE_CHK) && !g_program_exiting.load()) check_versions();
  }
  if (write_events_file() && (g_pref_flags & PREF_REPORT_EVENTS))
    statmsg(__FILE__, __LINE__, "Updated events file", nullptr, STATMSG_NOTICE);
  debug_trace("exiting updatechk_thread\n");
  g_updatechk_done.store(1);
}

static int updatechk_thread_main(void *) {
  updatechk_thread();
  return 0;
}

void start_updatechk_thread(void) {
  static std::mutex start_lock;
  static bool started;  // there is never a second thread in a process
  std::lock_guard<std::mutex> guard(start_lock);
  if (started) return;
  g_updatechk_done.store(0);
  kv_thread *handle = kv_thread_start("updatechk", updatechk_thread_main, nullptr);
  if (!handle) {
    g_updatechk_done.store(1);
    return;
  }
  started = true;
  // Nobody waits for it: it ends by itself, and at exit it is left to end
  // with the process.
  kv_thread_free(handle);
}
