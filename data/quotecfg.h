// The quote-source configuration files named by srcdata.cfg: the header keys
// of each file, kept in a cache of one slot per time-unit class, and the
// market table filled from the live-quote source's file.
#pragma once
#include <cstdint>
#include "data/timezone.h"

enum {
  QUOTE_CFG_NO_CLOCK_SYNC = 0x1,
  QUOTE_CFG_NO_UPDATE_CHK = 0x2,
  MULTIQUOTE_TIMEUNIT = 100000,
};

struct quote_source_cfg {
  char *text;    // the whole file after clean-up (owned)
  char *cursor;  // read position of cfg_read_line
  char *body;    // the text after the header
  uint32_t flags;
  int32_t initfunc;
  int32_t termfunc;
  int32_t reserved;
  int32_t openfunc;
  int32_t closefunc;
  uint32_t router_capabilities;
  char router_name[32];
  uint32_t source_codes;  // bits 0-7 code byte, 8-12 flags
  int32_t maxquotes;
  int32_t open_time;  // seconds of the day
  int32_t close_time;
  uint32_t exchange_days;  // bit 0 Sunday; default 62
  tz_rule tz;
  char *data_source_msg;  // into text, or null
  int source_index;       // data-source index the slot was loaded for
};

// Loads (or returns the cached) configuration of the time unit; null when the
// file cannot be read.  Takes g_chart_lock.
quote_source_cfg *read_quote_source_cfg(int timeunit);
// The cache slot of the time unit, cleared when the chosen data source of its
// class changed since it was loaded.
quote_source_cfg *quote_cfg_slot(int timeunit);
quote_source_cfg *reload_quote_source_cfg();
// Frees every cached text (exit, tests).
void free_quote_source_cfgs();
// Parses a configuration text (already cleaned) into cfg; the markets it
// names go into the market table.  Used by read_quote_source_cfg.
void parse_quote_source_header(quote_source_cfg *cfg);
// The next number of a time-zone line; "TZ parse error" and 0 when none.
int tz_next_int(char **cursor);
