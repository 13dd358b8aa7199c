// Web import by parse files: a small interpreter runs a parse file (a
// quote-source configuration file whose body is directive lines) that says
// which web pages to fetch and how to pick dates, prices and volumes out of
// their lines; the same interpreter reads a local text file whose columns an
// import format describes. The result is a new chart record with its bars
// sorted by time.
//
// One parse runs at a time (the interpreter's state is process-wide);
// parse_web_data takes the interpreter for the whole run.
#pragma once

#include <cstdint>

#include "data/chart.h"
#include "data/inet.h"

// Field bits set in a parsed bar's flags word as its fields are read.
enum : uint32_t {
  PARSED_DATE = 0x8000,
  PARSED_TIME = 0x10000,
  PARSED_OPEN = 0x20000,
  PARSED_HIGH = 0x40000,
  PARSED_LOW = 0x80000,
  PARSED_CLOSE = 0x100000,
  PARSED_VOLUME = 0x400000,
  PARSED_OPEN_INTEREST = 0x800000,
};

// Bits of match_page_flags.
enum {
  PAGE_FLAG_END_MARK = 0x1,  // end mark or abort text 0
  PAGE_FLAG_NO_LINE = 32,
  PAGE_FLAG_READ_ERROR = 0x10000,
};

// Imports the history of symbol for time_unit between first_date and
// last_date (yyyymmdd; 0 none). With import_path the file is read with the
// import format text; without it the parse file that srcdata.cfg names for
// the unit is run. fetch_options: the request's option bits (ifflags).
// Returns a new unlisted chart (free with free_chart_data) or null with the
// cause reported through statmsg.
chart_rec* parse_web_data(int time_unit, const char* symbol, int first_date, int last_date,
                          uint32_t fetch_options, const char* import_path,
                          const char* import_format);

// History kept by the quote relay (a parse file whose router capabilities
// hold 0x100): fills the chart it is given. Null until the relay interface
// is linked in; a relay parse file then yields no chart.
extern int (*g_relay_history_hook)(chart_rec* chart, int first_date, int last_date);

// Expands a URL template and opens the page (closing the previous one).
// 0 page opened, 1 bad meta code, 2 page not opened.
int expand_url_template(const char* url_template, int first_date, int last_date, const char* symbol,
                        int number);
// The expansion alone, into out (size bytes). 0 done, 1 bad meta code.
int expand_url_text(const char* url_template, int first_date, int last_date, const char* symbol,
                    int number, char* out, int size);

// Fills description (60 bytes) from the symbol index or, failing that,
// from the first line of the template's page. 0, 1 or 2 as above.
int fetch_symbol_description(const char* url_template, char* description, const char* symbol);

// Reads one field token against the current page line; error text or null.
const char* read_parse_field(char* field, int first_date, int last_date, const char* symbol);
// Stores the bar being built; error text or null.
const char* store_parsed_bar();
// Closes the current page and the import file.
void close_parse_pages();
// Flag mask of a page line: abort texts, end mark, no line, read error.
int match_page_flags(const char* line, const page_status* status);
