// Quote-source configuration files: the header keys, one cached file per
// time-unit class, and the markets named by the live-quote source's file.
#include "data/quotecfg.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "data/dates.h"
#include "data/markets.h"
#include "data/scramble.h"
#include "data/srcdata.h"
#include "data/statmsg.h"
#include "data/textutil.h"
#include "data/tokenfile.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "settings/settings.h"

static const char SOURCE[] = "xfileio";
enum { SLOT_INTRADAY, SLOT_DAILY, SLOT_WEEKLY, SLOT_MONTHLY, SLOT_MULTIQUOTE, SLOT_COUNT };
enum { CFG_LINE_MAX = 2048, DEFAULT_EXCHANGE_DAYS = 62 };

static quote_source_cfg cfg_slots[SLOT_COUNT];

static int slot_of(int timeunit) {
  if (timeunit >= 1 && timeunit <= 78) return SLOT_INTRADAY;
  if (timeunit == 390) return SLOT_DAILY;
  if (timeunit == 2730) return SLOT_WEEKLY;
  if (timeunit == 11700) return SLOT_MONTHLY;
  return SLOT_MULTIQUOTE;
}

static int chosen_source(int slot) {
  switch (slot) {
    case SLOT_DAILY:
      return g_settings.DailySource;
    case SLOT_WEEKLY:
      return g_settings.WeeklySource;
    case SLOT_MONTHLY:
      return g_settings.MonthlySource;
    case SLOT_MULTIQUOTE:
      return g_settings.MultiQuoteSource;
    default:
      return 0;
  }
}

static void clear_slot(quote_source_cfg *cfg, int source_index) {
  free(cfg->text);
  memset(cfg, 0, sizeof *cfg);
  cfg->source_index = source_index;
  if (cfg == &cfg_slots[SLOT_MULTIQUOTE]) g_holidays_off = 0;
}

quote_source_cfg *quote_cfg_slot(int timeunit) {
  kv_lock guard(g_chart_lock);
  int slot = slot_of(timeunit);
  quote_source_cfg *cfg = &cfg_slots[slot];
  int index = chosen_source(slot);
  if (cfg->source_index != index) clear_slot(cfg, index);
  return cfg;
}

void free_quote_source_cfgs() {
  kv_lock guard(g_chart_lock);
  for (quote_source_cfg &cfg : cfg_slots) clear_slot(&cfg, 0);
}

int tz_next_int(char **cursor) {
  char *cur = *cursor;
  cur += strspn(cur, " /:\t\n");
  if (!*cur) {
    *cursor = cur;
    statmsg(SOURCE, __LINE__, "TZ parse error", nullptr, STATMSG_ERROR);
    return 0;
  }
  char *tok = cur;
  cur += strcspn(cur, " /:\t\n");
  if (*cur) *cur++ = 0;
  *cursor = cur;
  return atoi(tok);
}

static const char BLANKS[] = " \t\n";

static void read_tz_rule(tz_rule *tz, char *rest) {
  int v[15];
  for (int &x : v) x = tz_next_int(&rest);
  memset(tz, 0, sizeof *tz);
  tz->bias = v[0];
  tz_systemtime *dates[2] = {&tz->standard_date, &tz->daylight_date};
  int32_t *biases[2] = {&tz->standard_bias, &tz->daylight_bias};
  for (int i = 0; i < 2; i++) {
    const int *r = v + 1 + i * 7;
    dates[i]->day_of_week = (uint16_t)r[0];
    dates[i]->year = (uint16_t)r[1];
    dates[i]->month = (uint16_t)r[2];
    dates[i]->day = (uint16_t)r[3];
    dates[i]->hour = (uint16_t)r[4];
    dates[i]->minute = (uint16_t)r[5];
    *biases[i] = r[6];
  }
}

static void read_hours(market_rec *m, char *rest, int extended) {
  for (;;) {
    char *a = next_token(&rest, BLANKS);
    char *b = next_token(&rest, BLANKS);
    if (!a || !b) return;
    if (m) mark_market_hours(m, parse_time_of_day(a), parse_time_of_day(b), extended);
  }
}

void parse_quote_source_header(quote_source_cfg *cfg) {
  char line[CFG_LINE_MAX + 1];
  char *cursor = cfg->text;
  market_rec *market = nullptr;
  // A "market" line that found no record (the table is full): the lines of
  // that market are dropped, not taken for the configuration's own.
  int no_record = 0;
  cfg->exchange_days = DEFAULT_EXCHANGE_DAYS;
  cfg->body = cfg->text;
  for (;;) {
    if (!cfg_read_line(line, sizeof line, &cursor)) {
      cfg->body = cursor;  // the header ran to the end of the text
      break;
    }
    char *rest = line;
    char *key = next_token(&rest, BLANKS);
    if (!key) continue;
    if (strcasecmp(key, "[MAIN]") == 0) {
      cfg->body = cursor;
      break;
    } else if (strcasecmp(key, "initfunc") == 0) {
      cfg->initfunc = atoi(rest);
    } else if (strcasecmp(key, "termfunc") == 0) {
      cfg->termfunc = atoi(rest);
    } else if (strcasecmp(key, "openfunc") == 0) {
      cfg->openfunc = atoi(rest);
    } else if (strcasecmp(key, "closefunc") == 0) {
      cfg->closefunc = atoi(rest);
    } else if (strcasecmp(key, "maxquotes") == 0) {
      cfg->maxquotes = atoi(rest);
    } else if (strcasecmp(key, "data_source_msg") == 0) {
      char *msg = cursor;
      int ended = 0;
      for (;;) {
        char *at = cursor;
        if (!cfg_read_line(line, sizeof line, &cursor)) break;
        char *r = line;
        char *w = next_token(&r, " \t.\n");
        if (w && strcasecmp(w, "end_msg") == 0) {
          *at = 0;
          ended = 1;
          break;
        }
      }
      cfg->data_source_msg = msg;
      if (!ended) {
        cfg->body = cursor;
        break;
      }
    } else if (strcasecmp(key, "source_codes") == 0) {
      int v[6] = {0};
      for (int &x : v) {
        char *t = next_token(&rest, BLANKS);
        x = t ? atoi(t) : 0;
      }
      uint32_t codes = (uint32_t)v[0] & 0xFF;
      for (int i = 1; i < 6; i++) codes |= (uint32_t)(v[i] & 1) << (7 + i);
      cfg->source_codes = codes;
    } else if (no_record &&
               (strcasecmp(key, "exchange_times") == 0 || strcasecmp(key, "exchange_days") == 0 ||
                strcasecmp(key, "exchange_timezone") == 0)) {
      continue;
    } else if (strcasecmp(key, "exchange_times") == 0) {
      char *a = next_token(&rest, BLANKS);
      char *b = next_token(&rest, BLANKS);
      int open = parse_time_of_day(a), close = parse_time_of_day(b);
      if (market) {
        market->open_time = open;
        market->close_time = close;
      } else {
        cfg->open_time = open;
        cfg->close_time = close;
      }
    } else if (strcasecmp(key, "exchange_days") == 0) {
      char *t = next_token(&rest, BLANKS);
      uint32_t days = t ? (uint32_t)strtoul(t, nullptr, 0) : 0;
      if (market)
        market->days = days;
      else
        cfg->exchange_days = days;
    } else if (strcasecmp(key, "exchange_timezone") == 0) {
      read_tz_rule(market ? &market->tz : &cfg->tz, rest);
    } else if (strcasecmp(key, "main_hours") == 0) {
      read_hours(market, rest, 0);
    } else if (strcasecmp(key, "extended_hours") == 0) {
      read_hours(market, rest, 1);
    } else if (strcasecmp(key, "market") == 0) {
      market = add_market(next_token(&rest, BLANKS));
      no_record = market == nullptr;
    } else if (strcasecmp(key, "no_clock_sync") == 0) {
      cfg->flags |= QUOTE_CFG_NO_CLOCK_SYNC;
    } else if (strcasecmp(key, "no_update_chk") == 0) {
      cfg->flags |= QUOTE_CFG_NO_UPDATE_CHK;
    } else if (strcasecmp(key, "router_capabilities") == 0) {
      char *t = next_token(&rest, BLANKS);
      cfg->router_capabilities = t ? (uint32_t)strtoul(t, nullptr, 0) : 0;
    } else if (strcasecmp(key, "router_name") == 0) {
      char *t = next_token(&rest, BLANKS);
      snprintf(cfg->router_name, sizeof cfg->router_name, "%s", t ? t : "");
    } else {
      cfg->body = cfg->text;
      break;
    }
  }
  cfg->cursor = cfg->body;
}

quote_source_cfg *read_quote_source_cfg(int timeunit) {
  kv_lock guard(g_chart_lock);
  quote_source_cfg *cfg = quote_cfg_slot(timeunit);
  if (cfg->text) return cfg;
  int multiquote = timeunit == MULTIQUOTE_TIMEUNIT;
  if (multiquote) clear_markets();

  const char *name = srcdata_for_timeunit(timeunit);
  // Without srcdata.cfg there is no source: its placeholder names no file,
  // and the missing srcdata.cfg has been reported already.
  if (name == srcdata_missing_cfg) return nullptr;
  char path[KV_MAX_PATH];
  data_path(path, "CONFIG", name);
  std::string data;
  if (!name || !kv_read_file(path, &data, nullptr)) {
    statmsg(SOURCE, __LINE__, "can't open file:", path, STATMSG_ERROR);
    return nullptr;
  }
  char *text = (char *)malloc(data.size() + 1);
  if (!text) {
    statmsg(SOURCE, __LINE__, "can't malloc", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  memcpy(text, data.data(), data.size());
  text[data.size()] = 0;
  strip_cr(text);
  unscramble_config_text(text);
  clean_config_text(text);
  cfg->text = text;
  parse_quote_source_header(cfg);
  if (multiquote) g_holidays_off = (cfg->source_codes & 0xFF) == 254;
  return cfg;
}

quote_source_cfg *reload_quote_source_cfg() {
  kv_lock guard(g_chart_lock);
  clear_slot(&cfg_slots[SLOT_MULTIQUOTE], -1);
  return read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
}
