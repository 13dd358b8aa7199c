// Status and error logger.
//
// Lines are formatted into the status ring under the logger's mutex and
// posted to the main window. Each posted piece is a heap copy that the
// receiver frees, so a burst of lines that wraps the ring never changes a
// text that is still waiting in the message queue.
#include "data/statmsg.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/dates.h"
#include "data/mainwnd.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/sync.h"
#include "settings/settings.h"

// Texts are written while the cursor is at most STATMSG_RING_WRAP; the
// spare bytes behind it hold the last text. Lines are bounded to
// STATMSG_LINE_MAX bytes, so the ring's last byte always stays zero.
constexpr int STATMSG_RING_SPARE = 4100;
static_assert(STATMSG_LINE_MAX < STATMSG_RING_SPARE, "a line must fit behind the wrap point");

char g_statmsg_ring[STATMSG_RING_WRAP + STATMSG_RING_SPARE];
size_t g_statmsg_cursor;
kv_mutex g_statmsg_mutex;

// Preference bits that put the time of day in front of every line.
constexpr uint32_t STATMSG_TIME_PREFIX_BITS = 0x2000 | 0x4000;
constexpr int STATMSG_WAIT_MS = 100;

char* statmsg_ring_commit() {
  char* text = g_statmsg_ring + g_statmsg_cursor;
  g_statmsg_cursor += strnlen(text, STATMSG_LINE_MAX - 1) + 1;
  if (g_statmsg_cursor > (size_t)STATMSG_RING_WRAP) g_statmsg_cursor = 0;
  return text;
}

void statmsg_free_text(void* text) {
  free(text);
}

// Posts a copy of len characters of text to the main window.
static void post_copy(const char* text, size_t len, int level) {
  kv_hwnd wnd = hmainwnd.load();
  if (!wnd) return;
  char* copy = (char*)malloc(len + 1);
  if (!copy) return;
  memcpy(copy, text, len);
  copy[len] = 0;
  if (!kv_post_message(wnd, WM_STATUS_MSG, (kv_wparam)level, (kv_lparam)copy,
                       kv_release_free_lparam))
    free(copy);
}

// Posts a line in pieces: while the rest is longer than STATMSG_PIECE_MIN
// characters it is cut at the first blank, tab, carriage return, comma or
// semicolon after that many characters; the separator ends the piece and
// is dropped. The last piece goes as it is.
static void post_pieces(const char* text, int level) {
  size_t len = strlen(text);
  while (len > (size_t)STATMSG_PIECE_MIN) {
    size_t cut = STATMSG_PIECE_MIN + strcspn(text + STATMSG_PIECE_MIN, " \t\r,;");
    if (cut >= len) break;
    post_copy(text, cut, level);
    text += cut + 1;
    len -= cut + 1;
  }
  post_copy(text, len, level);
}

// Writes a line at the ring cursor (or into spare when the logger's
// mutex could not be had), commits it and posts it.
static void emit_line(char* spare, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
static void emit_line(char* spare, int level, const char* format, ...) {
  char* buf = spare ? spare : g_statmsg_ring + g_statmsg_cursor;
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, STATMSG_LINE_MAX, format, ap);
  va_end(ap);
  if (!spare) statmsg_ring_commit();
  post_pieces(buf, level);
}

void statmsg(const char* source, int line, const char* message, const char* argument, int level) {
  if (!message) message = "";
  if (!argument) argument = "";

  // Without the mutex the ring is not ours: the line is built in a
  // buffer of this call and only posted.
  char spare_buf[STATMSG_LINE_MAX];
  char* spare = nullptr;
  bool locked = g_statmsg_mutex.lock_for(STATMSG_WAIT_MS) != 0;
  if (!locked) {
    post_copy("Wait for hstatmsg_mutex failed", strlen("Wait for hstatmsg_mutex failed"), level);
    spare = spare_buf;
  }

  char time_text[32] = "";  // format_time writes up to 32 bytes
  bool with_time = (g_pref_flags & STATMSG_TIME_PREFIX_BITS) != 0;
  if (with_time) format_time(kv_time_of_day(kv_now_local_seconds()), time_text);

  if (source) {
    const char* base = source;
    for (const char* p = source; *p; p++)
      if (*p == '/' || *p == '\\') base = p + 1;
    if (with_time) emit_line(spare, level, "%s %s %d:", time_text, base, line);
    emit_line(spare, level, "  %.*s %s", STATMSG_MESSAGE_MAX, message, argument);
  } else if (with_time) {
    emit_line(spare, level, "%s %.*s %s", time_text, STATMSG_MESSAGE_MAX, message, argument);
  } else {
    emit_line(spare, level, "%.*s %s", STATMSG_MESSAGE_MAX, message, argument);
  }

  if (locked) g_statmsg_mutex.unlock();
}
