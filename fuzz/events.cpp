// The calendar page parser and the events-file reader on arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/calendar.h"
#include "data/events.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The page as the fetcher hands it over: no NUL inside, at most a page.
  if (size > CALENDAR_PAGE_MAX) size = CALENDAR_PAGE_MAX;
  std::string page((const char*)data, size);
  for (char& c : page)
    if (!c) c = ' ';

  static char out[CALENDAR_PAGE_MAX];
  out[0] = 0;
  int lines = parse_calendar_page(page.data(), page.size(), 2007, out, sizeof out);
  size_t len = strlen(out);
  if (lines < -1 || len >= sizeof out) abort();
  // Every line written is a whole event line of the file.
  int counted = 0;
  for (size_t i = 0; i < len; i++) {
    unsigned char c = (unsigned char)out[i];
    if (c == '\n') {
      counted++;
      if (i == 0 || out[i - 1] != '\r') abort();
    } else if (c < 32 && c != '\r') {
      abort();
    }
  }
  if (len && out[len - 1] != '\n') abort();
  if (lines > 0 && counted != lines) abort();
  event_list list = {nullptr, 0};
  if (parse_events_text(out, len, &list) != (lines > 0 ? lines : 0)) abort();
  free_events_list(&list);

  // The reader over the raw bytes.
  int n = parse_events_text((const char*)data, size, &list);
  int seen = 0;
  for (event_rec* e = list.head; e; e = e->next) {
    seen++;
    if (strlen(e->label) >= EVENT_LABEL_SIZE || strlen(e->text) >= EVENT_TEXT_SIZE) abort();
  }
  if (seen != n) abort();
  free_events_list(&list);

  // Cells with a small buffer.
  const char* cur = page.data();
  const char* end = cur + page.size();
  char cell[8];
  while (cur < end) {
    const char* before = cur;
    if (next_table_cell(&cur, end, cell, sizeof cell) >= (int)sizeof cell || cur < before) abort();
    if (cur == before) abort();  // the cursor always moves on
  }
  return 0;
}
