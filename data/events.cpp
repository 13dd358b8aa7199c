// Events.txt: refreshing it from the weekly economic-calendar pages, and
// reading it into the events list.
#include "data/events.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "data/calendar.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

char g_calendar_server[256] = "http://calendar.ostrelan.example";

enum {
  STOP_NO_LINE = 32,
  STOP_READ_FAILED = 0x10000,
  PREF_REPORT_EVENTS_FILE = 0x4000,  // g_pref_flags: report a file that cannot be made
};

int match_event_keywords(const char *line, const page_status *status) {
  int mask = line ? 0 : STOP_NO_LINE;
  if (status && (status->error != 0 || status->http_status > 200)) mask |= STOP_READ_FAILED;
  return mask;
}

int fetch_earnings_calendar(int year, int week, char *out, size_t size) {
  if (!out || size == 0 || year < 1 || year > 9999 || week < 0 || week > 99) return 0;
  char url[sizeof g_calendar_server + 32];
  snprintf(url, sizeof url, "%s/c/ec/%d%02d.html", g_calendar_server, year, week);
  page_status status = {0, 0};
  web_page *page = inet_open_page(g_inet_session, url, &status);
  if (!page) return 0;
  if (status.http_status != 200) {
    inet_close_page(page);
    return 0;
  }
  char *text = (char *)malloc(CALENDAR_PAGE_MAX + 1);
  if (!text) {
    inet_close_page(page);
    statmsg(__FILE__, __LINE__, "Can't allocate memory", nullptr, STATMSG_ERROR);
    return 0;
  }
  size_t n = 0;
  int stop;
  for (;;) {
    char *line = inet_read_page(page, &status);
    stop = match_event_keywords(line, &status);
    if (stop) break;
    size_t len = strlen(line);
    if (len > CALENDAR_PAGE_MAX - n) len = CALENDAR_PAGE_MAX - n;
    memcpy(text + n, line, len);
    n += len;
  }
  text[n] = 0;
  debug_trace("%d bytes read\n", (int)n);
  inet_close_page(page);
  // A page cut short by a failed read is not used: its last row may be cut.
  int used = !(stop & STOP_READ_FAILED) && parse_calendar_page(text, n, year, out, size) >= 0;
  free(text);
  return used;
}

// Each line of a text, without its line end.
static void for_each_line(const char *text, size_t len, void (*fn)(void *, const char *, size_t),
                          void *ctx) {
  const char *p = text, *end = text + len;
  while (p < end) {
    const char *nl = (const char *)memchr(p, '\n', end - p);
    const char *stop = nl ? nl : end;
    size_t n = stop - p;
    if (n && p[n - 1] == '\r') n--;
    fn(ctx, p, n);
    p = nl ? nl + 1 : end;
  }
}

// The date of the last event line of the text (not a comment), 0 when
// none or when that line's date is not a date.
static int last_stored_date(const std::string &text) {
  std::string last;
  for_each_line(
      text.data(), text.size(),
      [](void *ctx, const char *line, size_t n) {
        if (n && line[0] != '#') ((std::string *)ctx)->assign(line, n);
      },
      &last);
  if (last.empty()) return 0;
  int date = parse_mdy_date(last.substr(0, std::min<size_t>(last.find(','), 31)).c_str());
  return valid_date(date, 0) ? date : 0;
}

static void report_not_created(const char *path) {
  if (g_pref_flags & PREF_REPORT_EVENTS_FILE)
    statmsg(__FILE__, __LINE__, "Can not create:", path, STATMSG_NOTICE);
}

// Reads Events.txt into text ("" when there is none).  0 when the file is
// there but cannot be read: what could not be read is never replaced.
static int read_events_text(const char *path, std::string *text) {
  text->clear();
  kv_file_error err = {};
  if (kv_read_file(path, text, &err) || err.cause == KV_FE_FILE_NOT_FOUND) return 1;
  report_not_created(path);
  return 0;
}

// The lines of text, without their line ends.
static std::unordered_set<std::string> line_set(const std::string &text) {
  std::unordered_set<std::string> lines;
  for_each_line(
      text.data(), text.size(),
      [](void *ctx, const char *line, size_t n) {
        ((std::unordered_set<std::string> *)ctx)->emplace(line, n);
      },
      &lines);
  return lines;
}

// Lines to add to the file: each line not stored yet, once.
struct adding {
  std::unordered_set<std::string> *stored;
  std::string added;
};

static void add_new_line(void *ctx, const char *line, size_t n) {
  adding *a = (adding *)ctx;
  std::string s(line, n);
  if (s.empty() || !a->stored->insert(s).second) return;
  a->added += s;
  a->added += "\r\n";
}

int write_events_file(void) {
  char path[KV_MAX_PATH];
  if (!data_folder_path(path, sizeof path, KV_DIR_DATA, EVENTS_FILE_NAME)) {
    report_not_created(EVENTS_FILE_NAME);
    return 0;
  }
  std::string text;
  if (!read_events_text(path, &text)) return 0;
  int created = text.empty();
  if (created) text = EVENTS_HEADER;

  int today = today_date(1);
  int year = today / 10000;
  int d0 = year * 10000 + 101;
  int last = last_stored_date(text);
  int first_week = days_between(d0, last >= d0 ? last : d0) / 7 + 2;
  int last_week = days_between(d0, today) / 7 + 2;

  // The week of the last stored event comes again: its lines already
  // stored are not repeated.
  std::unordered_set<std::string> stored = line_set(text);

  char *lines = (char *)malloc(CALENDAR_PAGE_MAX);
  if (!lines) {
    statmsg(__FILE__, __LINE__, "Can't allocate memory", nullptr, STATMSG_ERROR);
    return 0;
  }
  adding add = {&stored, std::string()};
  for (int week = first_week; week <= last_week && !g_program_exiting.load(); week++) {
    lines[0] = 0;
    if (!fetch_earnings_calendar(year, week, lines, CALENDAR_PAGE_MAX)) continue;
    for_each_line(lines, strlen(lines), add_new_line, &add);
  }
  free(lines);

  if (add.added.empty() && !created) return 0;
  // The pages take a while: the file may have been edited meanwhile.  The
  // new lines go after what it holds now, so no edit is lost.
  if (!read_events_text(path, &text)) return 0;
  if (text.empty()) text = EVENTS_HEADER;
  std::unordered_set<std::string> now_stored = line_set(text);
  adding fresh = {&now_stored, std::string()};
  for_each_line(add.added.data(), add.added.size(), add_new_line, &fresh);
  add.added = fresh.added;
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  text += add.added;
  if (!kv_write_file_atomic(path, text.data(), text.size(), nullptr)) {
    report_not_created(path);
    return 0;
  }
  return add.added.empty() ? 0 : 1;
}

// ---- the events list ----------------------------------------------------------

void free_events_list(event_list *list) {
  if (!list) return;
  event_rec *e = list->head;
  while (e) {
    event_rec *next = e->next;
    free(e);
    e = next;
  }
  list->head = nullptr;
  list->count = 0;
}

// Hours and minutes, or hours, minutes and seconds, separated by colons
// with blanks allowed; an empty field is midnight.  -1 when not a time.
static int event_time_of_day(const char *p, size_t n) {
  char buf[32];
  if (n >= sizeof buf) return -1;
  memcpy(buf, p, n);
  buf[n] = 0;
  const char *s = buf;
  while (*s == ' ' || *s == '\t') s++;
  if (!*s) return 0;
  int h = -1, m = -1, sec = 0, used = 0;
  int got = sscanf(s, "%2d : %2d%n : %2d%n", &h, &m, &used, &sec, &used);
  if (got < 2) return -1;
  for (const char *t = s + used; *t; t++)
    if (*t != ' ' && *t != '\t') return -1;
  if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return -1;
  return h * 3600 + m * 60 + sec;
}

struct event_reader {
  event_list *list;
  event_rec **tail;
};

static void add_event_line(void *ctx, const char *line, size_t n) {
  event_reader *r = (event_reader *)ctx;
  if (n == 0 || line[0] == '#') return;
  const char *comma[4];
  const char *p = line, *end = line + n;
  for (int i = 0; i < 4; i++) {
    comma[i] = (const char *)memchr(p, ',', end - p);
    if (!comma[i]) return;
    p = comma[i] + 1;
  }
  char date_text[32];
  size_t dn = comma[0] - line;
  if (dn >= sizeof date_text) return;
  memcpy(date_text, line, dn);
  date_text[dn] = 0;
  int date = parse_mdy_date(date_text);
  if (!valid_date(date, 0)) return;
  int tod = event_time_of_day(comma[0] + 1, comma[1] - comma[0] - 1);
  if (tod < 0) return;
  event_rec *e = (event_rec *)calloc(1, sizeof(event_rec));
  if (!e) return;
  e->time = date_to_seconds(date, tod);
  size_t sn = comma[3] - comma[2] - 1;
  if (sn > EVENT_LABEL_SIZE - 1) sn = EVENT_LABEL_SIZE - 1;
  for (size_t i = 0; i < sn; i++) e->label[i] = (char)toupper((unsigned char)comma[2][1 + i]);
  size_t tn = end - (comma[3] + 1);
  if (tn > EVENT_TEXT_SIZE - 1) tn = EVENT_TEXT_SIZE - 1;
  memcpy(e->text, comma[3] + 1, tn);
  *r->tail = e;
  r->tail = &e->next;
  r->list->count++;
}

int parse_events_text(const char *text, size_t len, event_list *list) {
  if (!list) return 0;
  free_events_list(list);
  if (!text) return 0;
  event_reader r = {list, &list->head};
  for_each_line(text, len, add_event_line, &r);
  return list->count;
}

int read_events_file(event_list *list) {
  if (!list) return 0;
  free_events_list(list);
  char path[KV_MAX_PATH];
  std::string text;
  if (!data_folder_path(path, sizeof path, KV_DIR_DATA, EVENTS_FILE_NAME) ||
      !kv_read_file(path, &text, nullptr))
    return 0;
  return parse_events_text(text.data(), text.size(), list);
}
