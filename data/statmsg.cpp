// Status and error logger.
#include "data/statmsg.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

// The ring: texts are written at the cursor while it is at most
// STATMSG_RING_WRAP; the spare bytes behind hold the last text. Lines are
// bounded to STATMSG_LINE_MAX bytes, so the ring's last byte stays zero.
constexpr int STATMSG_RING_SPARE = 4100;
static_assert(STATMSG_LINE_MAX < STATMSG_RING_SPARE, "a line must fit behind the wrap point");

char g_statmsg_ring[STATMSG_RING_WRAP + STATMSG_RING_SPARE];
size_t g_statmsg_cursor;

static std::mutex statmsg_mutex;

char* statmsg_ring_commit()
{
    char* text = g_statmsg_ring + g_statmsg_cursor;
    g_statmsg_cursor += strnlen(text, STATMSG_LINE_MAX - 1) + 1;
    if (g_statmsg_cursor > STATMSG_RING_WRAP)
        g_statmsg_cursor = 0;
    return text;
}

void statmsg_free_text(void* text)
{
    free(text);
}

static void ring_format(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void ring_format(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    vsnprintf(g_statmsg_ring + g_statmsg_cursor, STATMSG_LINE_MAX, format, ap);
    va_end(ap);
}

void statmsg(const char* source, int line, const char* message, const char* argument, int level)
{
    if (!message)
        message = "";
    if (!argument)
        argument = "";
    std::lock_guard<std::mutex> guard(statmsg_mutex);
    if (source)
        ring_format("  %.3839s %s", message, argument);
    else
        ring_format("%.3839s %s", message, argument);
    statmsg_ring_commit();
}
