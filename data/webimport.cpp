// Web import by parse files.
//
// The interpreter reads body lines of a parse file (or replays the lines of
// its loop) and runs their tokens from left to right against the current
// page line. Page text is untrusted: every copy is bounded, every loop ends
// with the page, the body or a pass that read nothing new, and a row whose
// date or prices cannot be stored is refused rather than written.
#include "data/webimport.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

#include "data/chartload.h"
#include "data/dates.h"
#include "data/importfmt.h"
#include "data/priceparse.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/statmsg.h"
#include "data/symindex.h"
#include "data/textutil.h"
#include "data/tokenfile.h"
#include "data/updatechk.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"

int (*g_relay_history_hook)(chart_rec* chart, int first_date, int last_date);

enum {
  PARSE_BODY_LINE = 2049,  // a body line: 2048 characters
  PARSE_FILE_LINE = 2049,  // a line of an import file
  PARSE_TEXT = 64,         // end mark and abort texts: 63 characters
  PARSE_LOOP_LINES = 16,
  PARSE_LOOP_LINE = 256,  // 255 characters
  PARSE_URL_MAX = 2048,
  PARSE_PAGES_MAX = 1000,       // pages one parse may open
  PARSE_FIELD_MAX = 256,        // a field line made from a header
  PARSE_CAPACITY_MAX = 200000,  // bar slots of one import
  RELAY_HISTORY_CAPABILITY = 0x100,
};

static const uint32_t PARSED_FIELDS = PARSED_DATE | PARSED_TIME | PARSED_OPEN | PARSED_HIGH |
                                      PARSED_LOW | PARSED_CLOSE | PARSED_VOLUME |
                                      PARSED_OPEN_INTEREST;

struct parse_state {
  // Source of lines: a web page or an import file.
  web_page* page;
  page_status status;
  int open_status;  // HTTP status the page was opened with
  FILE* file;
  int pages_opened;
  int lines_read;

  // The current page line: raw as read (for the flag mask), work to cut
  // values out of, pos the read position in work.
  char raw[PARSE_FILE_LINE];
  char work[PARSE_FILE_LINE];
  char* pos;
  int have_line;
  int used;
  int mask;  // flag mask of the last line read

  char meta;
  char endmark[PARSE_TEXT];
  char abort_text[4][PARSE_TEXT];

  char loop[PARSE_LOOP_LINES][PARSE_LOOP_LINE];
  int loop_count;
  int loop_index;
  int in_loop;
  int pass_lines;  // lines_read when the pass began, -1 before the first

  int skipping;  // a false ifflags condition
  int in_condition;
  int read_flag;

  chart_bar bar;
  int bar_date;
  int bar_tod;
  int bar_bad;
  uint32_t source_code;
  char symbol_filter[CHART_SYMBOL_SIZE];
  char description[CHART_DESCRIPTION_SIZE];
  int bad_rows;
  char default_date[32];

  // The run.
  chart_rec* chart;
  uint32_t options;
  int first_date, last_date;
  int time_unit;
  char symbol[CHART_SYMBOL_SIZE];
  char* dcur;  // cursor in the directive line being run
  int stop;    // reading ended
  const char* error;
  char error_arg[160];
  char field_arg[160];  // argument of a field's error
};

static parse_state g_parse;
static std::mutex g_parse_mutex;

// ---------------------------------------------------------------------------
// Pages and lines.

void close_parse_pages() {
  parse_state* P = &g_parse;
  if (P->page) inet_close_page(P->page);
  P->page = nullptr;
  if (P->file) fclose(P->file);
  P->file = nullptr;
  P->have_line = 0;
}

int match_page_flags(const char* line, const page_status* status) {
  const parse_state* P = &g_parse;
  int mask = 0;
  if (!line) {
    mask = PAGE_FLAG_NO_LINE;
  } else {
    for (int n = 0; n < 4 && P->abort_text[n][0]; n++)
      if (strstr(line, P->abort_text[n])) mask |= 1 << n;
    if (P->endmark[0] && strstr(line, P->endmark)) mask |= PAGE_FLAG_END_MARK;
  }
  if (status && (status->error || status->http_status > 200)) mask |= PAGE_FLAG_READ_ERROR;
  return mask;
}

// The status a line's mask is taken with: a page that opened with an error
// status counts as failed for all its lines, so an error page is never read
// as data.
static page_status line_status() {
  page_status st = g_parse.status;
  if (g_parse.open_status > 200) st.http_status = g_parse.open_status;
  return st;
}

// Reads the next line of the page or file, passing over "<!--" lines.
// Returns its flag mask (PAGE_FLAG_NO_LINE at the end).
static int read_next_line() {
  parse_state* P = &g_parse;
  for (;;) {
    const char* got = nullptr;
    if (P->file) {
      got = read_file_line(P->raw, sizeof P->raw, P->file);
    } else if (P->page) {
      const char* line = inet_read_page(P->page, &P->status);
      if (line) {
        copy_string_n(P->raw, line, INET_LINE_SIZE - 1);
        got = P->raw;
      }
    }
    P->lines_read++;
    if (!got) {
      P->have_line = 0;
      P->raw[0] = 0;
      page_status st = line_status();
      P->mask = match_page_flags(nullptr, &st);
      return P->mask;
    }
    P->raw[strcspn(P->raw, "\r\n")] = 0;
    if (strncmp(P->raw, "<!--", 4) == 0) continue;
    memcpy(P->work, P->raw, sizeof P->work);
    P->pos = P->work;
    P->have_line = 1;
    P->used = 0;
    page_status st = line_status();
    P->mask = match_page_flags(P->raw, &st);
    return P->mask;
  }
}

// A line to read values from: the current one while unused (or while
// lines are not read automatically), else the next. 0 when the reading
// ends here.
static int need_line() {
  parse_state* P = &g_parse;
  if (P->have_line && (!P->used || !P->read_flag)) return 1;
  if (read_next_line() != 0) {
    P->stop = 1;
    return 0;
  }
  return 1;
}

static void set_error(const char* message, const char* argument) {
  parse_state* P = &g_parse;
  if (!P->error) {
    P->error = message;
    copy_string_n(P->error_arg, argument ? argument : "", (int)sizeof P->error_arg - 1);
  }
  P->stop = 1;
}

// ---------------------------------------------------------------------------
// URL templates.

// Characters a symbol may bring into an address as they are.
static int url_plain(unsigned char c) {
  return isalnum(c) || strchr("-._~^=!$&'()*+,;:@/", c);
}

int expand_url_text(const char* tmpl, int first_date, int last_date, const char* symbol, int number,
                    char* out, int size) {
  if (!tmpl || !out || size < 1) return 1;
  const char meta = g_parse.meta ? g_parse.meta : '\\';
  int n = 0;
  auto put = [&](const char* text) {
    size_t len = strlen(text);
    if (n + (int)len >= size) return 0;
    memcpy(out + n, text, len);
    n += (int)len;
    return 1;
  };
  for (const char* p = tmpl; *p;) {
    if (*p != meta) {
      char c[2] = {*p++, 0};
      if (!put(c)) return 1;
      continue;
    }
    p++;
    char code = (char)tolower((unsigned char)*p);
    if (!code) return 1;
    p++;
    char text[64];
    text[0] = 0;
    if (code == 'b' || code == 'e' || code == 'n') {
      if (*p < '1' || *p > '4') return 1;
      int digits = *p++ - '0';
      int minus = 0;
      if (*p == '-') {
        minus = 1;
        p++;
      }
      int date = code == 'b' ? first_date : code == 'e' ? last_date : add_days(first_date, 1);
      char letter = *p ? *p++ : 0;
      int value;
      switch (tolower((unsigned char)letter)) {
        case 'd':
          value = date % 100;
          break;
        case 'm':
          value = date / 100 % 100;
          break;
        case 'y':
          value = date / 10000;
          break;
        default:
          // No digits: the letter stands as ordinary text.
          text[0] = letter;
          text[1] = 0;
          if (!put(text)) return 1;
          continue;
      }
      if (minus) value--;
      char four[16];
      snprintf(four, sizeof four, "%04d", value < 0 ? 0 : value % 10000);
      if (!put(four + 4 - digits)) return 1;
    } else if (code == 'd') {
      snprintf(text, sizeof text, "%d", trading_days_between(first_date, last_date));
      if (!put(text)) return 1;
    } else if (code == 'i') {
      snprintf(text, sizeof text, "%d", number);
      if (!put(text)) return 1;
    } else if (code == 's') {
      for (const char* s = symbol ? symbol : ""; *s; s++) {
        unsigned char c = (unsigned char)toupper((unsigned char)*s);
        if (url_plain(c))
          snprintf(text, sizeof text, "%c", c);
        else
          snprintf(text, sizeof text, "%%%02X", c);
        if (!put(text)) return 1;
      }
    } else {
      return 1;
    }
  }
  out[n] = 0;
  return 0;
}

int expand_url_template(const char* tmpl, int first_date, int last_date, const char* symbol,
                        int number) {
  parse_state* P = &g_parse;
  char url[PARSE_URL_MAX];
  if (expand_url_text(tmpl, first_date, last_date, symbol, number, url, sizeof url)) return 1;
  if (P->page) inet_close_page(P->page);
  P->page = nullptr;
  P->have_line = 0;
  if (P->pages_opened >= PARSE_PAGES_MAX) return 2;
  P->pages_opened++;
  P->status = page_status{};
  P->page = inet_open_page(g_inet_session, url, &P->status);
  P->open_status = P->status.http_status;
  return P->page ? 0 : 2;
}

int fetch_symbol_description(const char* tmpl, char* description, const char* symbol) {
  if (!description[0])
    copy_string_n(description, symbol_description(symbol), CHART_DESCRIPTION_SIZE - 1);
  if (description[0]) return 0;
  char url[PARSE_URL_MAX];
  if (expand_url_text(tmpl, 0, 0, symbol, 1, url, sizeof url)) return 1;
  // A page of its own, so that the data page being read stays open.
  page_status st = {};
  web_page* page = inet_open_page(g_inet_session, url, &st);
  if (!page) return 2;
  char* line = inet_read_page(page, &st);
  if (line) {
    char* cursor = line;
    char* text = next_token_until(&cursor, '"');
    if (text) copy_string_n(description, text, CHART_DESCRIPTION_SIZE - 1);
    description[strcspn(description, "\r\n")] = 0;
  }
  inet_close_page(page);
  return 0;
}

// ---------------------------------------------------------------------------
// Fields.

// The argument text of a directive: the text between two meta characters
// when the argument starts with one, else the next token. Null when none.
static char* next_arg(char** cursor) {
  char* p = *cursor;
  if (!p) return nullptr;
  while (*p == ' ' || *p == '\t') p++;
  if (*p == g_parse.meta && p[1] && p[1] != '\n') {
    char* text = p + 1;
    char* close = strchr(text, g_parse.meta);
    if (close) {
      *close = 0;
      *cursor = close + 1;
    } else {
      text[strcspn(text, "\n")] = 0;
      *cursor = text + strlen(text);
    }
    return text;
  }
  *cursor = p;
  return next_token(cursor, " \t\n");
}

static int store_price(double value, float* slot) {
  // A double beyond the float range has no float: converting it is
  // undefined, so the range is checked first.
  if (!std::isfinite(value) || std::fabs(value) > FLT_MAX) {
    if (!g_parse.bar_bad) g_parse.bad_rows++;
    g_parse.bar_bad = 1;
    return 0;
  }
  *slot = (float)value;
  return 1;
}

// Splits "%c<param><glued delimiter>": the code, a numeric parameter or a
// date pattern, and what follows them.
struct field_spec {
  char code;
  int number;  // -1 when none
  char pattern[32];
  const char* glued;  // delimiter written into the token, "" none
};

static void split_field(char* field, field_spec* f) {
  f->code = field[1];
  f->number = -1;
  f->pattern[0] = 0;
  char* p = field[1] ? field + 2 : field + 1;
  if (f->code == 'd' || f->code == '0') {
    size_t n = strcspn(p, ",;");
    char param[64];
    copy_string_n(param, p, n < sizeof param ? (int)n : (int)sizeof param - 1);
    if (param[0] && strspn(param, "0123456789") == strlen(param))
      f->number = atoi(param);
    else
      copy_string_n(f->pattern, param, (int)sizeof f->pattern - 1);
    p += n;
  } else {
    if (isdigit((unsigned char)*p)) {
      f->number = 0;
      while (isdigit((unsigned char)*p) && f->number < 100000000)
        f->number = f->number * 10 + (*p++ - '0');
      while (isdigit((unsigned char)*p)) p++;
    }
  }
  f->glued = p;
}

const char* read_parse_field(char* field, int first_date, int last_date, const char* symbol) {
  parse_state* P = &g_parse;
  field_spec f;
  split_field(field, &f);
  if (f.code == 'u') {
    char* tmpl = next_arg(&P->dcur);
    int rc = expand_url_template(tmpl ? tmpl : "", first_date, last_date, symbol, 1);
    if (rc == 1) return "Control file error";
    if (rc == 2) {
      copy_string_n(P->field_arg, tmpl ? tmpl : "", (int)sizeof P->field_arg - 1);
      return "Could not access data for:";
    }
    return nullptr;
  }
  static const char known[] = "abp0ohlcdtvijns";
  if (f.code && !strchr(known, f.code)) return "parse file error";

  const char* delim = f.glued;
  if (!*delim) {
    char* next = next_arg(&P->dcur);
    delim = next ? next : "";
  }
  if (!need_line()) return nullptr;
  char* value = *delim ? next_quoted_token(&P->pos, delim) : next_token(&P->pos, " \t");
  if (!value) value = (char*)"";

  chart_bar* b = &P->bar;
  switch (f.code) {
    case 'o':
    case 'h':
    case 'l':
    case 'c': {
      double v =
          f.number >= 0 && f.number <= 2 ? parse_price(value, f.number) : parse_price_text(value);
      float* slot = f.code == 'o'   ? &b->open
                    : f.code == 'h' ? &b->high
                    : f.code == 'l' ? &b->low
                                    : &b->close;
      uint32_t bit = f.code == 'o'   ? PARSED_OPEN
                     : f.code == 'h' ? PARSED_HIGH
                     : f.code == 'l' ? PARSED_LOW
                                     : PARSED_CLOSE;
      if (store_price(v, slot)) b->flags |= bit;
      break;
    }
    case 'd': {
      int date = f.pattern[0] ? parse_date_pattern(value, f.pattern)
                              : parse_date_style(value, f.number < 0 ? 0 : f.number);
      // Bar times are 32-bit seconds: a date beyond them (either way) is
      // no date; a wrapped time would file the bar decades away.
      if (!valid_date(date, 1) || date_to_seconds(date, 86399) > INT32_MAX ||
          date_to_seconds(date, 0) < INT32_MIN) {
        if (!P->bar_bad) P->bad_rows++;
        P->bar_bad = 1;
      } else {
        P->bar_date = date;
        b->flags |= PARSED_DATE;
      }
      break;
    }
    case 't': {
      int tod = parse_time_of_day(value);
      if (tod >= 0 && tod < KV_SECONDS_PER_DAY) {
        P->bar_tod = tod;
        b->flags |= PARSED_TIME;
      }
      break;
    }
    case 'v':
      b->volume = strcmp(value, "&") == 0 ? 0 : parse_count(value, f.number < 0 ? 0 : f.number);
      b->flags |= PARSED_VOLUME;
      break;
    case 'i':
      b->extra = parse_count(value, f.number < 0 ? 0 : f.number);
      b->flags |= PARSED_OPEN_INTEREST;
      break;
    case 'j': {
      double adj =
          f.number >= 0 && f.number <= 2 ? parse_price(value, f.number) : parse_price_text(value);
      double gap = (double)b->close - adj;
      if ((b->flags & PARSED_CLOSE) && std::isfinite(adj) && gap > 0.01) {
        // A far-off adjusted close would shift the prices out of the
        // float range: the row is bad, never stored as infinite prices.
        float diff;
        if (!store_price(gap, &diff)) break;
        store_price((double)b->open - diff, &b->open);
        store_price((double)b->high - diff, &b->high);
        store_price((double)b->low - diff, &b->low);
        store_price((double)b->close - diff, &b->close);
      }
      break;
    }
    case 'n': {
      copy_string_n(P->description, value, CHART_DESCRIPTION_SIZE - 1);
      char* last = strrchr(P->description, ' ');
      if (last)
        *last = 0;
      else
        P->description[0] = 0;
      break;
    }
    case 's':
      copy_string_n(P->symbol_filter, value, CHART_SYMBOL_SIZE - 1);
      break;
    default:  // %a, %b, %p, %0 and "%": read and not used
      break;
  }
  return nullptr;
}

static void clear_bar() {
  parse_state* P = &g_parse;
  memset(&P->bar, 0, sizeof P->bar);
  P->bar.flags = P->source_code;
  P->bar_date = 0;
  P->bar_tod = 0;
  P->bar_bad = 0;
}

const char* store_parsed_bar() {
  parse_state* P = &g_parse;
  chart_rec* chart = P->chart;
  uint32_t bits = P->bar.flags & PARSED_FIELDS;
  if (!bits && !P->bar_bad) return nullptr;  // nothing was read for this bar
  if (P->bar_bad) return nullptr;            // refused; the bad date was counted when read
  if (!(bits & PARSED_DATE)) {
    P->bad_rows++;
    return nullptr;
  }
  if (!(bits & PARSED_CLOSE)) return nullptr;  // a row without a price (a dividend, a note)
  if (!chart) return nullptr;
  if (P->symbol_filter[0] && strcasecmp(P->symbol_filter, chart->header.symbol) != 0)
    return nullptr;
  if (chart->spare <= 0) return "Too many points returned";
  chart_bar bar = P->bar;
  bar.time = (int32_t)date_to_seconds(P->bar_date, P->bar_tod);
  chart->bars[chart->header.bar_count++] = bar;
  chart->spare--;
  if (P->description[0])
    copy_string_n(chart->header.description, P->description, CHART_DESCRIPTION_SIZE - 1);
  chart_file_header* h = &chart->header;
  if (P->bar_date < h->first_date) h->first_date = P->bar_date;
  if (P->bar_date > h->last_date || (P->bar_date == h->last_date && P->bar_tod > h->last_time)) {
    h->last_date = P->bar_date;
    h->last_time = P->bar_tod;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Directives.

static int token_is(const char* token, const char* word) {
  return strcasecmp(token, word) == 0;
}

// Whether a body line holds the token word.
static int line_has_token(const char* line, const char* word) {
  char copy[PARSE_BODY_LINE];
  copy_string_n(copy, line, (int)sizeof copy - 1);
  char* cursor = copy;
  while (char* t = next_token(&cursor, " \t\n"))
    if (token_is(t, word)) return 1;
  return 0;
}

static const char* read_loop(char** body) {
  parse_state* P = &g_parse;
  char line[PARSE_BODY_LINE];
  P->loop_count = 0;
  while (P->loop_count < PARSE_LOOP_LINES) {
    if (!body || !cfg_read_line(line, sizeof line, body)) break;
    line[strcspn(line, "\n")] = 0;
    if (strlen(line) >= PARSE_LOOP_LINE) return "parse file loop too big";
    strcpy(P->loop[P->loop_count++], line);
    if (line_has_token(line, "endloop")) {
      P->in_loop = 1;
      P->loop_index = 0;
      P->pass_lines = -1;
      return nullptr;
    }
  }
  return "parse file loop too big";
}

static void set_loop_from_fields(const char* fields) {
  parse_state* P = &g_parse;
  copy_string_n(P->loop[0], fields, PARSE_LOOP_LINE - 1);
  strcpy(P->loop[1], "endloop");
  P->loop_count = 2;
  P->loop_index = 0;
  P->in_loop = 1;
  P->pass_lines = -1;
}

static int next_int(char** cursor) {
  char* t = next_token(cursor, " \t\n");
  return t ? atoi(t) : 0;
}

// Runs one body line. body: the cursor of the parse file's body (for
// "loop"), null while replaying the loop.
static void run_line(char* text, char** body) {
  parse_state* P = &g_parse;
  P->dcur = text;
  int mark_used = 0;
  while (!P->stop) {
    char* token = next_token(&P->dcur, " \t\n");
    if (!token) break;
    if (token[0] == '#') {
      mark_used = 1;
      break;
    }
    if (token[0] == '%') {
      // Several fields may be written together ("%dyymmdd,%o,%c").
      mark_used = 1;
      char* piece = token;
      while (piece && !P->stop) {
        char* next = strchr(piece + 1, '%');
        if (next) *next = 0;
        P->field_arg[0] = 0;
        const char* err = read_parse_field(piece, P->first_date, P->last_date, P->symbol);
        if (err) set_error(err, P->field_arg);
        if (next) *next = '%';
        piece = next;
      }
      continue;
    }

    // A directive: the current line's end mark or abort text 0 ends
    // the reading first.
    if (P->have_line) {
      page_status st = line_status();
      int m = match_page_flags(P->raw, &st);
      if (m & PAGE_FLAG_END_MARK) {
        P->mask = m;
        P->stop = 1;
        break;
      }
    }
    if (token_is(token, "endloop")) {
      const char* err = store_parsed_bar();
      clear_bar();
      if (err) {
        set_error(err, nullptr);
        break;
      }
      if (P->in_loop) P->loop_index = 0;
      break;
    } else if (token_is(token, "loop")) {
      if (P->in_loop) continue;
      const char* err = read_loop(body);
      if (err) set_error(err, nullptr);
      break;
    } else if (token_is(token, "endmark")) {
      char* arg = next_arg(&P->dcur);
      if (!arg) {
        set_error("parse file error: no endmark arg", nullptr);
        break;
      }
      copy_string_n(P->endmark, arg, PARSE_TEXT - 1);
      break;
    } else if (token_is(token, "metachar")) {
      char* arg = next_token(&P->dcur, " \t\n");
      if (arg) P->meta = arg[0];
    } else if (token_is(token, "url")) {
      char* arg = next_arg(&P->dcur);
      int rc =
          expand_url_template(arg ? arg : "", P->first_date, P->last_date, P->symbol, P->time_unit);
      if (rc == 1)
        set_error("Control file error", nullptr);
      else if (rc == 2)
        set_error("Could not access data for:", P->symbol);
    } else if (token_is(token, "close")) {
      if (P->page) inet_close_page(P->page);
      P->page = nullptr;
      P->have_line = 0;
    } else if (token_is(token, "find")) {
      char* arg = next_arg(&P->dcur);
      if (!arg || !*arg) {
        set_error("parse file error: no FIND argument", nullptr);
        break;
      }
      if (!need_line()) break;
      for (;;) {
        char* hit = strstr(P->pos, arg);
        if (hit) {
          P->pos = hit + strlen(arg);
          break;
        }
        if (read_next_line() != 0) {
          P->stop = 1;
          break;
        }
      }
    } else if (token_is(token, "header")) {
      if (!need_line()) break;
      char fields[PARSE_FIELD_MAX];
      if (!dataspec_to_format(P->raw, fields, sizeof fields, P->default_date)) {
        if (strstr(P->raw, "No data")) {
          char first[129];
          copy_string_n(first, P->raw, 128);
          set_error("Bad symbol? ", first);
        } else {
          set_error("Parse error in header line for:", P->symbol);
        }
        break;
      }
      set_loop_from_fields(fields);
      P->used = 1;
      clear_bar();
      return;
    } else if (token_is(token, "timeoffset")) {
      for (int i = 0; i < 4; i++) next_int(&P->dcur);
    } else if (token_is(token, "ifflags")) {
      char* arg = next_token(&P->dcur, " \t\n");
      uint32_t mask = arg ? (uint32_t)strtoul(arg, nullptr, 0) : 0;
      P->in_condition = 1;
      P->skipping = (P->options & mask) == 0;
    } else if (token_is(token, "endif")) {
      P->in_condition = 0;
      P->skipping = 0;
    } else if (token_is(token, "else")) {
      if (P->in_condition) P->skipping = !P->skipping;
    } else if (token_is(token, "readflag")) {
      P->read_flag = next_int(&P->dcur) != 0;
    } else if (token_is(token, "abort")) {
      char* slot = next_token(&P->dcur, " \t\n");
      char* arg = next_arg(&P->dcur);
      if (!slot || !arg) {
        set_error("parse file syntax error: missing ABORT arg", nullptr);
        break;
      }
      int n = atoi(slot);
      if (n >= 0 && n < 4) copy_string_n(P->abort_text[n], arg, PARSE_TEXT - 1);
    } else if (token_is(token, "defaultdate")) {
      char* arg = next_token(&P->dcur, " \t\n");
      if (arg) copy_string_n(P->default_date, arg, (int)sizeof P->default_date - 1);
    } else if (strcmp(token, "\\") == 0) {
      if (read_next_line() != 0) {
        P->stop = 1;
        break;
      }
    } else if (token_is(token, "source_codes")) {
      int v[6];
      for (int i = 0; i < 6; i++) v[i] = next_int(&P->dcur);
      P->source_code = (uint32_t)(v[0] & 0xFF);
      for (int i = 1; i < 6; i++) P->source_code |= (uint32_t)(v[i] & 1) << (7 + i);
      P->bar.flags = (P->bar.flags & PARSED_FIELDS) | P->source_code;
    } else if (token_is(token, "exchange_times")) {
      char* open = next_token(&P->dcur, " \t\n");
      char* close = next_token(&P->dcur, " \t\n");
      if (open && close && P->chart) {
        P->chart->header.session_start = parse_time_of_day(open);
        P->chart->header.session_end = parse_time_of_day(close);
      }
    } else if (token_is(token, "symbol_suffix")) {
      next_token(&P->dcur, " \t\n");
      next_int(&P->dcur);
    } else if (token_is(token, "symurl")) {
      char* arg = next_arg(&P->dcur);
      char* desc = P->chart ? P->chart->header.description : P->description;
      int rc = fetch_symbol_description(arg ? arg : "", desc, P->symbol);
      if (rc == 1)
        set_error("Control file error", nullptr);
      else if (rc == 2)
        set_error("Could not find description for:", P->symbol);
    } else {
      set_error("Parse file error: Unknown directive", token);
      break;
    }
    mark_used = 1;
  }
  if (mark_used && P->have_line) P->used = 1;
}

// Runs the body lines (or, with body null, only the loop) until the
// reading ends.
static void run_body(char** body) {
  parse_state* P = &g_parse;
  char line[PARSE_BODY_LINE];
  while (!P->stop) {
    if (P->in_loop) {
      if (P->loop_index == 0) {
        // A pass that read nothing new would repeat for ever (no
        // line read automatically, or its lines all skipped).
        if (P->pass_lines == P->lines_read) {
          P->stop = 1;
          break;
        }
        P->pass_lines = P->lines_read;
      }
      copy_string_n(line, P->loop[P->loop_index], PARSE_LOOP_LINE - 1);
      if (++P->loop_index >= P->loop_count) P->loop_index = 0;
    } else if (!body || !cfg_read_line(line, sizeof line, body)) {
      break;
    }
    if (P->skipping) {
      char copy[PARSE_BODY_LINE];
      memcpy(copy, line, sizeof copy);
      char* cursor = copy;
      char* first = next_token(&cursor, " \t\n");
      if (!first || !(token_is(first, "else") || token_is(first, "endif"))) continue;
    }
    run_line(line, P->in_loop ? nullptr : body);
  }
}

// ---------------------------------------------------------------------------
// The import.

static void reset_state(int unit, const char* symbol, int first, int last, uint32_t options) {
  parse_state* P = &g_parse;
  memset(P, 0, sizeof *P);
  P->meta = '\\';
  P->read_flag = 1;
  P->time_unit = unit;
  P->first_date = first;
  P->last_date = last;
  P->options = options;
  for (int i = 0; symbol[i] && i < CHART_SYMBOL_SIZE - 1; i++)
    P->symbol[i] = (char)toupper((unsigned char)symbol[i]);
  // The default date pattern of header lines: import.cfg's second token.
  const char* const* entries = nullptr;
  if (read_import_cfg(&entries) > 0 && entries)
    copy_string_n(P->default_date, entries[-1], (int)sizeof P->default_date - 1);
}

static int bar_capacity(int unit, int first, int last) {
  long days = 1;
  if (first) {
    days = days_between(first, last ? last : today_date(1));
    if (days < 1) days = 1;
    if (days > PARSE_CAPACITY_MAX) days = PARSE_CAPACITY_MAX;
  }
  long n = days + 500;
  if (unit >= 411) n = n / 7 + 2;
  if (unit >= 2731) n = n / 4 + 2;
  return (int)n;
}

// Fills bars without an open, or without open, high and low, from the
// previous close.
static void fill_gaps(chart_rec* chart) {
  int n = chart->header.bar_count;
  if (n <= 0) return;
  float prev = chart->bars[0].close;
  for (int i = 0; i < n; i++) {
    chart_bar* b = &chart->bars[i];
    if (b->open == 0 && b->high == 0 && b->low == 0) {
      b->open = prev;
      b->high = b->open > b->close ? b->open : b->close;
      b->low = b->open < b->close ? b->open : b->close;
    } else if (b->open == 0) {
      b->open = prev;
      // The open taken over must lie within the bar.
      if (b->high < b->open) b->high = b->open;
      if (b->low > b->open && b->low != 0) b->low = b->open;
    }
    prev = b->close;
  }
}

// Opens the import file and makes its loop from the import format.
static void start_import_file(const char* path, const char* format) {
  parse_state* P = &g_parse;
  P->file = kv_fopen_existing(path, "r", nullptr);
  if (!P->file) {
    set_error("can't open file:", path);
    return;
  }
  char fields[PARSE_FIELD_MAX];
  if (!dataspec_to_format(format, fields, sizeof fields, P->default_date)) {
    set_error("Header parse error in file:", path);
    return;
  }
  char* f = fields;
  while (*f == '\\' || *f == '*') {
    if (*f == '\\') {
      read_next_line();
      f++;
      continue;
    }
    // The file's next line names its columns.
    if (read_next_line() != 0 ||
        !dataspec_to_format(P->raw, fields, sizeof fields, P->default_date)) {
      set_error("Header parse error in file:", path);
      return;
    }
    f = fields;
    while (*f == '\\' || *f == '*') f++;
    break;
  }
  P->have_line = 0;
  set_loop_from_fields(f);
}

chart_rec* parse_web_data(int time_unit, const char* symbol, int first_date, int last_date,
                          uint32_t fetch_options, const char* import_path,
                          const char* import_format) {
  if (!symbol || !*symbol) return nullptr;
  std::lock_guard<std::mutex> hold(g_parse_mutex);
  parse_state* P = &g_parse;
  if (time_unit >= 391 && time_unit <= 2729) time_unit = TU_DAILY;
  reset_state(time_unit, symbol, first_date, last_date, fetch_options);

  char* body_text = nullptr;
  char* body = nullptr;
  uint32_t capabilities = 0;
  if (import_path) {
    start_import_file(import_path, import_format);
  } else {
    // The first import from the web in a run also checks for updates.
    start_updatechk_thread();
    {
      kv_lock guard(g_chart_lock);
      quote_source_cfg* cfg = read_quote_source_cfg(time_unit);
      if (cfg && cfg->body) {
        body_text = strdup(cfg->body);
        capabilities = cfg->router_capabilities;
        P->source_code = cfg->source_codes;
      }
    }
    if (!body_text) {
      char path[KV_MAX_PATH];
      const char* name = srcdata_for_timeunit(time_unit);
      data_path(path, "CONFIG", name ? name : "");
      set_error("could not open parse file:", path);
    }
    body = body_text;
  }

  if (!P->error) {
    chart_rec* chart = new_chart(P->symbol, time_unit);
    int capacity = bar_capacity(time_unit, first_date, last_date);
    if (!chart || (capacity > chart->spare && !grow_chart_bars(chart, capacity - chart->spare))) {
      free_chart_data(chart);
      set_error("can't allocate memory", nullptr);
    } else {
      P->chart = chart;
      chart->header.first_date = 29991231;
    }
  }
  clear_bar();

  if (!P->error) {
    int other = 0;
    if (!import_path && (capabilities & RELAY_HISTORY_CAPABILITY)) {
      // The quote relay keeps this history; no page is read.
      if (g_relay_history_hook) g_relay_history_hook(P->chart, first_date, last_date);
      other = 1;
    } else if (!import_path && time_unit == TU_DAILY && strchr(P->symbol, '_') &&
               (router_capabilities() & ROUTER_CAP_BROKER)) {
      // Broker mode: these daily bars come from the broker.
      request_daily_history(P->chart, first_date, last_date);
      other = 1;
    }
    if (!other) {
      run_body(body ? &body : nullptr);
      if (!P->error) {
        const char* err = store_parsed_bar();
        if (err) set_error(err, nullptr);
      }
    }
  }
  close_parse_pages();
  free(body_text);

  chart_rec* chart = P->chart;
  P->chart = nullptr;
  if (!P->error) {
    if ((P->mask & PAGE_FLAG_NO_LINE) && P->endmark[0])
      set_error("Unexpected EOF hit in web page", nullptr);
    else if (P->mask & (0x2 | 0x4 | 0x8 | PAGE_FLAG_READ_ERROR))
      set_error("Page read abort", nullptr);
    else if (P->bad_rows)
      set_error("Bad data read, (possibly incorrect import format)", nullptr);
  }
  if (P->error) {
    statmsg(__FILE__, __LINE__, P->error, P->error_arg, STATMSG_ERROR);
    free_chart_data(chart);
    return nullptr;
  }
  if (!chart || chart->header.bar_count == 0) {
    free_chart_data(chart);
    return nullptr;
  }
  sort_chart_bars(chart);
  fill_gaps(chart);
  set_chart_dates(chart);
  chart->header.history_date = today_date(1);
  chart->header.history_word = now_time_of_day(1);
  return chart;
}
