// The events file Events.txt in the price-data folder: dated market events
// that charts mark.  Kept up to date from weekly economic-calendar pages,
// and read into a list for the charts.
//
// Format: lines ended by CR LF; "#" starts a comment line; other lines are
// five comma-separated fields: date (mm/dd/yyyy), time (hh:mm), type,
// symbol, text (the rest of the line, commas included).
#pragma once

#include <cstddef>
#include <cstdint>

struct page_status;

#define EVENTS_FILE_NAME "Events.txt"
#define EVENTS_HEADER "# Format: Date,Time,Type,Symbol,Text\r\n"

// Address of the calendar server (scheme and host, no trailing "/"); the
// pages are "/c/ec/<yyyy><ww>.html" under it.  Tests point it at a local
// server.
extern char g_calendar_server[256];

// Appends the events of the weeks since the last stored event (the week of
// that event again, without repeating lines already stored) to Events.txt,
// creating the file with its header line when missing.  The file is
// replaced atomically.  1 when lines were appended, else 0.
int write_events_file(void);

// Fetches the calendar page of a week of the year and appends its event
// lines to out (size bytes, kept terminated).  1 when the page was used
// (it may hold no events), 0 when it could not be opened, was not a good
// page or lacks the calendar table.
int fetch_earnings_calendar(int year, int week, char *out, size_t size);

// Stop mask of the calendar page reader: 32 when there is no line, plus
// 0x10000 when the read failed (an error code, or an HTTP status above
// 200).  The end text and the four stop texts are empty, so reading runs
// to the end of the page.
int match_event_keywords(const char *line, const page_status *status);

// ---- the events list --------------------------------------------------------

enum { EVENT_LABEL_SIZE = 32, EVENT_TEXT_SIZE = 100 };

struct event_rec {
  event_rec *next;
  int64_t time;                  // epoch_seconds of the date and time of day
  char label[EVENT_LABEL_SIZE];  // the symbol field, upper case, 31 characters at most
  char text[EVENT_TEXT_SIZE];    // the description, 99 characters at most
};

struct event_list {
  event_rec *head;  // in file order
  int count;
};

// Reads the events of a text in the format above into list (emptied first).
// Comment lines, and lines without five fields or with a bad date or time,
// add nothing.  Returns the number of events.
int parse_events_text(const char *text, size_t len, event_list *list);

// Reads Events.txt of the price-data folder into list; a file that cannot
// be read leaves the list empty.  Returns the number of events.
int read_events_file(event_list *list);

void free_events_list(event_list *list);
