// The weekly economic-calendar page: its table cells, the grades of the
// statistics, and turning the page's rows into lines of the events file.
//
// The page is untrusted text: every cell is bounded, control characters
// never reach an output line, and a malformed row ends the table.
#pragma once

#include <cstddef>

enum {
  CALENDAR_PAGE_MAX = 50000,  // characters of a page that are kept
  CALENDAR_CELL_MAX = 256,    // a cell's text, terminator included
};

// The next table cell between *cursor and end: from the next "<td" and its
// closing ">", the text up to the next "<"; a cell that begins with a link
// gives the link's text, and a link after the plain text is appended to
// it.  Blanks around the text are dropped, control characters become
// blanks, and the text is cut to size - 1 characters.  The cursor moves
// past the cell; without a further "<td" it goes to end and the text is
// empty.  Returns the text's length.
int next_table_cell(const char **cursor, const char *end, char *cell, size_t size);

// Grade of a statistic (" A-", " B+" ...), "" for one not graded.
const char *lookup_event_text(const char *statistic);

// Turns the table that follows the row holding "Briefing Forecast" into
// event lines "mm/dd/yyyy,hh:mm,,,<statistic> <period><grade>\r\n" of the
// given year, appended to out (size bytes, kept terminated; a line that
// does not fit is left out with all after it).  Rows run to the end of the
// line of that header row; each takes nine cells (date, time, statistic,
// period, five more); a date without a month name or a valid day, or a row
// cut before the end of its period cell, ends the rows.  Returns the number of lines written, -1
// when the page holds no "Briefing Forecast".
int parse_calendar_page(const char *page, size_t len, int year, char *out, size_t size);
