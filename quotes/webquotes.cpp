// The web-page quote source: a parse-script interpreter over the pages of
// the web fetcher.  State hangs off one handle used by the quote thread.
#include "quotes/webquotes.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/chartload.h"
#include "data/dates.h"
#include "data/exchclock.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "data/priceparse.h"
#include "data/quotecfg.h"
#include "data/statmsg.h"
#include "data/textutil.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/sync.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "quotes/randomfeed.h"
#include "settings/settings.h"

enum {
  WEB_ABORT_SLOTS = 16,
  WEB_ABORT_TEXT = 64,
  WEB_LOOP_LINES = 16,
  WEB_LOOP_LINE = 256,
  WEB_SCRIPT_LINE = 2048,
  WEB_URL_SIZE = 2048,
  WEB_BATCH_MAX = 300,
  WEB_SKIP_POLLS = 10,
  WEB_MAX_FAILURES = 5,
  SOUND_CONNECTION_LOST = 17,
};

// Result codes of field codes and request building.
enum {
  WQ_OK = 0,
  WQ_NO_SYMBOL_RETURNED = 1,
  WQ_SCRIPT_ERROR = 2,
  WQ_NO_REPEAT_END = 3,
  WQ_UNKNOWN_ESCAPE = 4,
  WQ_NOT_OPENED = 5,
  WQ_BAD_SYMBOL = 6,
  WQ_HTTP_ERROR = 7,
  WQ_NO_SYMBOL = 8,
};

namespace {

struct web_poll {
  char escape;
  char aborts[WEB_ABORT_SLOTS][WEB_ABORT_TEXT];
  char end_mark[WEB_ABORT_TEXT];
  int readflag;
  int maxquotes;
  uint32_t flags_word;
  int32_t open_time, close_time;
  web_page* page;
  int page_ended;  // 0 open; else why: 1 abort/end mark, 0x20 no line, 0x10000 read error
  char line[INET_LINE_SIZE];
  char* cursor;
  char url[WEB_URL_SIZE];
  mqt* batch[WEB_BATCH_MAX];
  int batch_count;
  // Where save_parsed_quote looks for the next symbol; held (one user)
  // while the page is read without the lock.
  mqt* match_cursor;
  mqt scratch;
};

web_poll g_web;

const char* const kResultText[] = {
    nullptr,
    "didn't find symbol returned",
    "mqt parse file error",
    "no ending repeat char in mqt parse file",
    "mqt parse file error, unknown escaped command",
    "could not open:",
    nullptr,
    "HTTP error",
};

int usable_record(mqt* r) {
  return r && !(r->flags & MQT_FREE) && r->symbol[0];
}

// Failures and skip counts pass a record over (its skip count drops).
int passed_over(mqt* r) {
  if (r->quote_fail_count > WEB_MAX_FAILURES) return 1;
  if (r->quote_skip_cycles > 0) {
    r->quote_skip_cycles--;
    return 1;
  }
  return 0;
}

void close_page() {
  if (g_web.page) inet_close_page(g_web.page);
  g_web.page = nullptr;
  g_web.line[0] = 0;
  g_web.cursor = g_web.line;
}

void release_batch() {
  kv_lock guard(g_chart_lock);
  for (int i = 0; i < g_web.batch_count; i++) delete_multiquote(g_web.batch[i]);
  g_web.batch_count = 0;
}

// Moves the match cursor to r (or the next record still in use), holding
// it and letting the former go. A record without users is on its way out
// and is not taken again.
void set_match_cursor(mqt* r) {
  kv_lock guard(g_chart_lock);
  while (r && r->users <= 0) r = r->next;
  if (r) r->users++;
  if (g_web.match_cursor) delete_multiquote(g_web.match_cursor);
  g_web.match_cursor = r;
}

int quote_poll_error(const char* file, int line, const char* message, const char* argument) {
  statmsg(file, line, message, argument ? argument : g_web.line, 15);
  close_page();
  return 0;
}

// Reads the next page line outside the lock; sets page_ended at the end,
// on a read error or on a line with an abort text or the end mark.
int next_page_line() {
  if (!g_web.page || g_web.page_ended) return 0;
  page_status st{};
  char* text = inet_read_page(g_web.page, &st);
  if (!text) {
    g_web.page_ended = st.error ? 0x10000 : 0x20;
    g_web.line[0] = 0;
    g_web.cursor = g_web.line;
    return 0;
  }
  copy_string_n(g_web.line, text, INET_LINE_SIZE - 1);
  g_web.line[strcspn(g_web.line, "\r\n")] = 0;
  g_web.cursor = g_web.line;
  if (g_web.end_mark[0] && strstr(g_web.line, g_web.end_mark)) {
    g_web.end_mark[0] = 0;
    g_web.page_ended = 1;
    return 0;
  }
  for (auto& a : g_web.aborts)
    if (a[0] && strstr(g_web.line, a)) {
      g_web.page_ended = 1;
      return 0;
    }
  return 1;
}

// Opens the page of the URL buffer: 0 status 200, else a result code.
int open_quote_page() {
  close_page();
  page_status st{};
  g_web.page = inet_open_page(g_inet_session, g_web.url, &st);
  g_web.page_ended = 0;
  if (!g_web.page) {
    if (st.error == ERROR_INTERNET_CANNOT_CONNECT) {
      g_cont_update = 0;
      if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(SOUND_CONNECTION_LOST);
      if (kv_hwnd main = hmainwnd.load()) kv_post_message(main, WM_CONT_UPDATE_STATUS, 7, 0);
    }
    return WQ_NOT_OPENED;
  }
  return st.http_status == 200 || st.http_status == 0 ? WQ_OK : WQ_HTTP_ERROR;
}

int put(char** out, char* end, char c) {
  if (*out + 1 >= end) return 0;
  *(*out)++ = c;
  **out = 0;
  return 1;
}

int put_text(char** out, char* end, const char* s) {
  for (; *s; s++)
    if (!put(out, end, *s)) return 0;
  return 1;
}

// Takes a record into the batch (one more user) unless it is there.
void hold(mqt* r) {
  for (int i = 0; i < g_web.batch_count; i++)
    if (g_web.batch[i] == r) return;
  if (g_web.batch_count < WEB_BATCH_MAX) {
    r->users++;
    g_web.batch[g_web.batch_count++] = r;
  }
}

int requestable(mqt* r) {
  if (!usable_record(r) || r->users <= 0 || strchr(r->symbol, '_') ||
      (r->flags & MQT_NOT_STREAMABLE))
    return 0;
  if (strcasecmp(r->symbol, "TEST") == 0) return 0;
  return !passed_over(r);
}

}  // namespace

const char* web_quote_url(void) {
  return g_web.url;
}

int build_quote_url(mqt* record, const char* tpl, int maxquotes) {
  char* out = g_web.url;
  char* end = g_web.url + sizeof g_web.url;
  *out = 0;
  int added = 0;
  char esc = g_web.escape ? g_web.escape : '\\';
  {
    kv_lock guard(g_chart_lock);
    for (const char* p = tpl; *p; p++) {
      if (*p != esc) {
        if (!put(&out, end, *p)) return WQ_SCRIPT_ERROR;
        continue;
      }
      char code = *++p;
      if (code == 't') {
        if (out > g_web.url) *--out = 0;
      } else if (code == 'r') {
        char delim = *++p;
        if (!delim) return WQ_NO_REPEAT_END;
        const char* group = p + 1;
        const char* close = strchr(group, delim);
        if (!close) return WQ_NO_REPEAT_END;
        int number = 0;
        mqt* r = record;
        for (int taken = 0; r && taken < maxquotes; r = r->next) {
          if (!requestable(r)) continue;
          if (!(r->flags & MQT_QT_PORTFOLIO)) {
            if (g_mqt_hooks.source_init)
              g_mqt_hooks.source_init(r);
            else
              r->flags |= MQT_QT_PORTFOLIO;
          }
          if (r->quote_fail_count > WEB_MAX_FAILURES) continue;
          taken++;
          number++;
          for (const char* g = group; g < close; g++) {
            if (*g != esc) {
              if (!put(&out, end, *g)) return WQ_SCRIPT_ERROR;
              continue;
            }
            char k = *++g;
            if (k == 's') {
              if (!put_text(&out, end, r->symbol)) return WQ_SCRIPT_ERROR;
              hold(r);
              added++;
            } else if (k == 'n') {
              char num[16];
              snprintf(num, sizeof num, "%d", number);
              if (!put_text(&out, end, num)) return WQ_SCRIPT_ERROR;
            } else {
              return WQ_UNKNOWN_ESCAPE;
            }
          }
        }
        p = close;
      } else {
        return WQ_SCRIPT_ERROR;
      }
    }
  }
  close_page();
  if (!added) return WQ_NO_SYMBOL;
  return open_quote_page();
}

namespace {

// The value a field code reads: the page text cut at the delimiters.
char* field_value(const char* delims) {
  if (g_web.page && !*g_web.cursor && g_web.readflag) next_page_line();
  while (*g_web.cursor == ' ' || *g_web.cursor == '\t') g_web.cursor++;
  if (!*g_web.cursor) return nullptr;
  if (!delims || !*delims) return next_token(&g_web.cursor, " \t");
  char* start = g_web.cursor;
  size_t n = strcspn(start, delims);
  g_web.cursor = start + n;
  if (*g_web.cursor) *g_web.cursor++ = 0;
  return start;
}

int parse_quote_field(mqt* q, const char* field, const char* delims) {
  char code = field[1];
  const char* param = field[1] ? field + 2 : field + 1;
  int method = isdigit((unsigned char)*param) ? atoi(param) : 0;
  char* v = field_value(delims);
  if (!v) return g_web.page && g_web.page_ended ? -1 : WQ_OK;
  auto price = [&](float* dst, uint32_t bit) {
    if (strcmp(v, "?") == 0) return;
    double x = parse_price(v, method);
    if (std::isfinite(x)) {
      *dst = (float)x;
      q->feed_flags |= bit;
    }
  };
  auto count = [&](int32_t* dst, uint32_t bit) {
    *dst = parse_count(v, method);
    q->feed_flags |= bit;
  };
  switch (code) {
    case 0:
    case '0':
      break;
    case 'a':
      price(&q->ask, FEED_ASK);
      break;
    case 'b':
      price(&q->bid, FEED_BID);
      break;
    case 'c':
      price(&q->close, FEED_CLOSE);
      break;
    case 'g':
      price(&q->change, FEED_CHANGE);
      break;
    case 'h':
      price(&q->high, FEED_HIGH);
      break;
    case 'l':
      price(&q->low, FEED_LOW);
      break;
    case 'o':
      price(&q->open, FEED_OPEN);
      break;
    case 'p':
      price(&q->prev_close, FEED_PREV_CLOSE);
      break;
    case 'e': {
      char which = *param;
      if (which == 'a')
        price(&q->ask, FEED_ASK);
      else if (which == 'b')
        price(&q->bid, FEED_BID);
      else if (which == 'l')
        price(&q->last, FEED_LAST);
      else if (which == 't') {
        q->trade_time = parse_time_of_day(v);
        q->feed_flags |= FEED_TRADE_TIME;
      } else
        return WQ_SCRIPT_ERROR;
      break;
    }
    case 'd': {
      if (strcmp(v, "?") == 0) return WQ_BAD_SYMBOL;
      int d = *param && !isdigit((unsigned char)*param) ? parse_date_pattern(v, param)
              : strchr(v, '/')                          ? parse_date_style(v, 0)
                                                        : parse_date_style(v, 1);
      q->quote_date = d;
      q->feed_flags |= FEED_DATE;
      break;
    }
    case 'i':
      count(&q->open_interest, FEED_OPEN_INTEREST);
      break;
    case 'j':
      count(&q->bid_size, FEED_BID_SIZE);
      break;
    case 'k':
      count(&q->ask_size, FEED_ASK_SIZE);
      break;
    case 'z':
      count(&q->last_size, FEED_LAST_SIZE);
      break;
    case 'v':
      if (*v == '&')
        q->volume = 0;
      else
        count(&q->volume, FEED_VOLUME);
      break;
    case 'x': {
      char* sep = v;
      while (*sep && isdigit((unsigned char)*sep)) sep++;
      if (!*sep) return WQ_SCRIPT_ERROR;
      q->bid_size = atoi(v) * 100;
      q->ask_size = atoi(sep + 1) * 100;
      q->feed_flags |= FEED_BID_SIZE | FEED_ASK_SIZE;
      break;
    }
    case 'n': {
      copy_string_n(q->description, v, MQT_DESCRIPTION_SIZE - 1);
      if (strlen(v) > MQT_DESCRIPTION_SIZE - 1)
        if (char* blank = strrchr(q->description, ' ')) *blank = 0;
      break;
    }
    case 's':
      copy_string_n(q->symbol, v, MQT_SYMBOL_SIZE - 1);
      break;
    case 't':
      q->quote_time = parse_time_of_day(v);
      q->feed_flags |= FEED_TIME;
      break;
    case 'u':
      return build_quote_url(g_web.match_cursor, v, g_web.maxquotes);
    default:
      return WQ_SCRIPT_ERROR;
  }
  return WQ_OK;
}

// A value v against a stored value s: far off (30 percent) and not
// confirmed by the reference means a spike.
int far_off(float v, float s) {
  return s > 0 && (v <= 0.7f * s || v >= 1.3f * s);
}

void save_parsed_quote(mqt* q) {
  if (!q->symbol[0]) return;
  kv_lock guard(g_chart_lock);
  mqt* r = find_mqt_from(q->symbol, g_web.match_cursor, g_web.maxquotes);
  if (!r) return;
  set_match_cursor(r->next);
  if (!r->description[0]) copy_string_n(r->description, q->description, MQT_DESCRIPTION_SIZE - 1);
  if (!(q->feed_flags & FEED_DATE) || !valid_date(q->quote_date, 0)) {
    int now = exchange_time_of_day(r);
    if (now >= r->session_start) {
      r->quote_fail_count++;
      r->quote_skip_cycles = WEB_SKIP_POLLS;
    }
    r->feed_flags &= FEED_KIND_MASK;
    return;
  }
  r->quote_fail_count += q->quote_fail_count;
  uint32_t feed = q->feed_flags;
  if (g_web.open_time || g_web.close_time) {
    r->session_start = g_web.open_time;
    r->session_end = g_web.close_time;
  }
  int market_date = exchange_date(r), market_time = exchange_time_of_day(r);
  int date = q->quote_date;
  int t = (feed & FEED_TRADE_TIME) ? q->trade_time : q->quote_time;
  // Before today's first trades a page shows yesterday's last: it is
  // today's quote with yesterday's close as previous close.
  if (market_date > 0 && date < market_date && market_time >= r->session_start &&
      market_time - r->session_start <= 1800 && t >= r->session_start &&
      t - r->session_start <= 1800) {
    date = market_date;
    if (feed & FEED_CLOSE) {
      q->prev_close = q->close;
      feed |= FEED_PREV_CLOSE;
    }
  }
  r->quote_date = date;
  r->quote_time = (feed & FEED_TIME) ? q->quote_time : t;
  r->quote_epoch = (int32_t)date_to_seconds(date, r->quote_time);
  if (date == market_date && r->quote_time > market_time + 30) {
    feed &= ~(FEED_OPEN | FEED_HIGH | FEED_LOW | FEED_CLOSE | FEED_TIME);
  } else {
    if ((feed & FEED_OPEN) && q->open > 0) r->open = q->open;
    if ((feed & FEED_HIGH) && q->high > 0) r->high = q->high;
    if ((feed & FEED_LOW) && q->low > 0) r->low = q->low;
    if (feed & FEED_CLOSE) {
      float c = r->close, v = q->close;
      if (far_off(v, c) && (v <= 0.5f * r->last || v >= 2.1f * r->last))
        feed &= ~FEED_CLOSE;
      else
        r->close = v;
    }
  }
  if (feed & FEED_TRADE_TIME) r->trade_epoch = (int32_t)date_to_seconds(date, q->trade_time);
  int64_t now = market_date > 0 ? date_to_seconds(market_date, market_time) : 0;
  if (now && r->quote_epoch > now + 30) feed &= 0x6affffffu;
  if (q->prev_close != 0) r->prev_close = q->prev_close;
  if (q->change != 0) r->change = q->change;
  if (q->bid != 0 && (feed & FEED_BID)) r->bid = q->bid;
  if (q->ask != 0 && (feed & FEED_ASK)) r->ask = q->ask;
  if (q->bid_size) r->bid_size = q->bid_size;
  if (q->ask_size) r->ask_size = q->ask_size;
  if (q->volume) r->volume = q->volume;
  if (q->open_interest) r->open_interest = q->open_interest;
  if ((feed & FEED_TRADE_TIME) && q->trade_time > r->trade_time) r->trade_time = q->trade_time;
  if (feed & FEED_LAST) {
    float l = r->last, v = q->last;
    int confirmed = (r->close > 0 || q->close > 0) &&
                    v > 0.9f * (q->close > 0 ? q->close : r->close) &&
                    v < 1.1f * (q->close > 0 ? q->close : r->close);
    if (far_off(v, l) && !confirmed)
      feed &= ~FEED_LAST;
    else
      r->last = v;
  }
  if (q->last_size) r->last_size = q->last_size;
  r->feed_flags = feed;
  save_mqt_data(r, (router_capabilities() & 2) ? 0 : SAVE_MQT_CHARTS | SAVE_MQT_FULL);
}

void clear_scratch() {
  memset(&g_web.scratch, 0, sizeof g_web.scratch);
  g_web.scratch.feed_flags = g_web.flags_word;
}

// Runs the directives and field codes of one script line; returns 0 to go
// on, 1 when the page ended, -1 on an error (reported), -2 when no symbol
// is left for a request.
int run_tokens(char* text, char** script_cursor) {
  char* cur = text;
  char* tok = next_token(&cur, " \t\r\n");
  if (!tok || tok[0] == '#') return 0;
  for (; tok; tok = next_token(&cur, " \t\r\n")) {
    if (tok[0] == '%') {
      char* delims = next_token(&cur, " \t\r\n");
      int rc = parse_quote_field(&g_web.scratch, tok, delims);
      if (rc < 0) return 1;
      if (rc == WQ_BAD_SYMBOL) {
        statmsg(__FILE__, __LINE__, "bad symbol for quote request?", g_web.scratch.symbol, 10);
        continue;
      }
      if (rc == WQ_NO_SYMBOL) return -2;
      if (rc)
        return quote_poll_error(__FILE__, __LINE__, kResultText[rc],
                                rc == WQ_NOT_OPENED ? g_web.url : nullptr),
               -1;
      if (g_web.page && g_web.page_ended) return 1;
      continue;
    }
    if (g_web.page && !*g_web.cursor && g_web.readflag && strcasecmp(tok, "url") != 0) {
      if (!next_page_line()) return 1;
    }
    if (!strcasecmp(tok, "metachar")) {
      char* c = next_token(&cur, " \t\r\n");
      if (c) g_web.escape = c[0];
    } else if (!strcasecmp(tok, "url")) {
      char* tpl = next_token(&cur, " \t\r\n");
      if (!tpl) return quote_poll_error(__FILE__, __LINE__, "mqt parse file error", nullptr), -1;
      int rc = build_quote_url(g_web.match_cursor, tpl, g_web.maxquotes);
      if (rc == WQ_NO_SYMBOL) return -2;
      if (rc)
        return quote_poll_error(__FILE__, __LINE__, kResultText[rc],
                                rc == WQ_NOT_OPENED ? g_web.url : nullptr),
               -1;
    } else if (!strcasecmp(tok, "close")) {
      close_page();
      g_web.end_mark[0] = 0;
    } else if (!strcasecmp(tok, "find")) {
      char* what = next_token_until(&cur, g_web.escape);
      if (!what || !*what)
        return quote_poll_error(__FILE__, __LINE__, "mqt parse file error: no FIND argument",
                                nullptr),
               -1;
      for (;;) {
        if (char* at = strstr(g_web.cursor, what)) {
          g_web.cursor = at + strlen(what);
          break;
        }
        if (!next_page_line()) return 1;
      }
    } else if (!strcasecmp(tok, "endmark")) {
      char* what = next_token_until(&cur, g_web.escape);
      if (!what || !*what)
        return quote_poll_error(__FILE__, __LINE__, "mqt parse file error: no endmark arg",
                                nullptr),
               -1;
      copy_string_n(g_web.end_mark, what, WEB_ABORT_TEXT - 1);
    } else if (!strcasecmp(tok, "readflag")) {
      g_web.readflag = next_token_int(&cur, " \t\r\n");
    } else if (!strcasecmp(tok, "abort")) {
      int slot = next_token_int(&cur, " \t\r\n");
      char* what = next_token_until(&cur, g_web.escape);
      if (!what || !*what)
        return quote_poll_error(__FILE__, __LINE__,
                                "mqt parse file syntax error: missing ABORT arg", nullptr),
               -1;
      if (slot < 0 || slot >= WEB_ABORT_SLOTS)
        return quote_poll_error(__FILE__, __LINE__, "mqt parse file error", nullptr), -1;
      copy_string_n(g_web.aborts[slot], what, WEB_ABORT_TEXT - 1);
    } else if (!strcasecmp(tok, "exchange_times")) {
      char* a = next_token(&cur, " \t\r\n");
      char* b = next_token(&cur, " \t\r\n");
      if (a && b) {
        int s = parse_time_of_day(a), e = parse_time_of_day(b);
        kv_lock guard(g_chart_lock);
        for (mqt* r = mqt_list_head(); r; r = r->next) {
          r->session_start = s;
          r->session_end = e;
        }
      }
    } else if (!strcasecmp(tok, "maxquotes")) {
      int n = next_token_int(&cur, " \t\r\n");
      if (n < 1)
        return quote_poll_error(__FILE__, __LINE__, "Invalid maxquotes in parsefile", nullptr), -1;
      g_web.maxquotes = n;
    } else if (!strcasecmp(tok, "source_codes") || !strcasecmp(tok, "symbol_suffix") ||
               !strcasecmp(tok, "ifflags")) {
      cur += strlen(cur);  // accepted, no effect
    } else if (!strcasecmp(tok, "endif") || !strcasecmp(tok, "else")) {
    } else if (!strcasecmp(tok, "loop")) {
      // The lines up to "endloop" run in turn while the page lasts.
      char loop[WEB_LOOP_LINES][WEB_LOOP_LINE];
      int n = 0;
      for (;;) {
        char* l = *script_cursor;
        if (!l || !*l)
          return quote_poll_error(__FILE__, __LINE__, "mqt parse file loop too big", nullptr), -1;
        char* nl = strchr(l, '\n');
        size_t len = nl ? (size_t)(nl - l) : strlen(l);
        *script_cursor = nl ? nl + 1 : l + len;
        int is_end = 0;
        for (size_t i = 0; i + 7 <= len; i++)
          if (!strncasecmp(l + i, "endloop", 7)) is_end = 1;
        if (is_end) break;
        if (n == WEB_LOOP_LINES || len >= WEB_LOOP_LINE)
          return quote_poll_error(__FILE__, __LINE__, "mqt parse file loop too big", nullptr), -1;
        memcpy(loop[n], l, len);
        loop[n][len] = 0;
        n++;
      }
      for (int guard_runs = 0; guard_runs < 100000; guard_runs++) {
        clear_scratch();
        for (int i = 0; i < n; i++) {
          char copy[WEB_LOOP_LINE];
          memcpy(copy, loop[i], sizeof copy);
          int rc = run_tokens(copy, script_cursor);
          if (rc) return rc;
        }
        save_parsed_quote(&g_web.scratch);
        memset(g_web.scratch.symbol, 0, sizeof g_web.scratch.symbol);
        if (!g_web.page || g_web.page_ended) return 1;
      }
      return 1;
    } else if (!strcasecmp(tok, "endloop")) {
      save_parsed_quote(&g_web.scratch);
      clear_scratch();
    } else {
      return quote_poll_error(__FILE__, __LINE__, "Mqt Parse file error: Unknown directive", tok),
             -1;
    }
  }
  return 0;
}

}  // namespace

mqt* poll_web_quotes(void) {
  update_exchange_clock();
  // The test contract is fed once per poll, whatever the configuration.
  {
    kv_lock guard(g_chart_lock);
    for (mqt* r = mqt_list_head(); r; r = r->next)
      if (usable_record(r) && strcasecmp(r->symbol, "TEST") == 0) random_feed(r);
  }
  quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  if (!cfg || !cfg->flags) return nullptr;
  if (cfg->maxquotes < 1) {
    statmsg(__FILE__, __LINE__, "Invalid maxquotes in parsefile", nullptr, 15);
    return nullptr;
  }
  const char* body = cfg->body ? cfg->body : "";
  if (const char* m = strstr(body, "[MAIN]")) body = m + 6;
  size_t size = strlen(body) + 1;
  char* script = (char*)malloc(size);
  if (!script) return nullptr;

  // The batch's first record is held (by the match cursor) from the moment
  // it is chosen: the lock is left while the page is read.
  {
    kv_lock guard(g_chart_lock);
    mqt* first = mqt_list_head();
    while (first && !requestable(first)) first = first->next;
    set_match_cursor(first);
  }
  int ok = 1;
  while (g_web.match_cursor) {
    memcpy(script, body, size);
    g_web.escape = '\\';
    memset(g_web.aborts, 0, sizeof g_web.aborts);
    g_web.end_mark[0] = 0;
    g_web.readflag = 1;
    g_web.maxquotes = cfg->maxquotes;
    g_web.flags_word = cfg->flags;
    g_web.open_time = cfg->open_time;
    g_web.close_time = cfg->close_time;
    g_web.page = nullptr;
    g_web.page_ended = 0;
    g_web.line[0] = 0;
    g_web.cursor = g_web.line;
    g_web.batch_count = 0;
    clear_scratch();
    int rc = 0;
    char* cursor = script;
    while (*cursor && rc == 0) {
      char* l = cursor;
      char* nl = strchr(l, '\n');
      if (nl) *nl = 0;
      cursor = nl ? nl + 1 : l + strlen(l);
      if (strlen(l) >= WEB_SCRIPT_LINE) {
        quote_poll_error(__FILE__, __LINE__, "mqt parse file error", nullptr);
        rc = -1;
        break;
      }
      rc = run_tokens(l, &cursor);
    }
    if (rc == 1 || rc == 0) {
      if (g_web.page_ended == 0x20 && g_web.end_mark[0]) {
        quote_poll_error(__FILE__, __LINE__, "Unexpected EOF hit in web page", nullptr);
        rc = -1;
      } else if (g_web.page_ended & 0x1001e) {
        quote_poll_error(__FILE__, __LINE__, "Page read abort", nullptr);
        rc = -1;
      }
    }
    if (rc >= 0) {
      close_page();
      save_parsed_quote(&g_web.scratch);
    }
    {
      // The next batch starts after the last record requested, chosen and
      // held before this batch's records are let go.
      kv_lock guard(g_chart_lock);
      mqt* last = g_web.batch_count ? g_web.batch[g_web.batch_count - 1] : nullptr;
      mqt* next = last && rc >= 0 ? last->next : nullptr;
      while (next && !requestable(next)) next = next->next;
      set_match_cursor(next);
      release_batch();
    }
    if (rc < 0) {
      ok = rc == -2;  // no symbol left: the cycle is over
      break;
    }
  }
  set_match_cursor(nullptr);
  free(script);
  close_page();
  if (!ok) return nullptr;
  kv_lock guard(g_chart_lock);
  return mqt_list_head();
}
