// QuoteTracker portfolio requests through the web fetcher.
#include "quotes/qtlink.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "data/debugtrace.h"
#include "data/inet.h"
#include "data/quotecfg.h"
#include "data/statmsg.h"
#include "data/textutil.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"

char g_qt_address[64] = "http://127.0.0.1:16239";
char g_qt_port_id[16];
char g_qt_first_symbol[32];
int g_qt_errors;

static const char kPortfolio[] = "Korvane";

enum { QT_TRACE = 0x8 };

// Opens a request; null counts a connection failure.
static web_page* qt_open(const char* request) {
  char url[256];
  snprintf(url, sizeof url, "%s/req?%s", g_qt_address, request);
  page_status st{};
  web_page* page = inet_open_page(g_inet_session, url, &st);
  if (!page) g_qt_errors++;
  return page;
}

static char* qt_line(web_page* page, char* buf) {
  page_status st{};
  char* line = inet_read_page(page, &st);
  if (!line) return nullptr;
  copy_string_n(buf, line, INET_LINE_SIZE - 1);
  buf[strcspn(buf, "\r\n")] = 0;
  return buf;
}

int get_PortID(const char* name) {
  web_page* page = qt_open("EnumPorts");
  if (!page) {
    if (g_trace_mask & QT_TRACE)
      debug_trace("get_PortID: %s, failed to open connection with server", name);
    statmsg(__FILE__, __LINE__, "Error contacting QuoteTracker: ", nullptr, STATMSG_ERROR);
    statmsg(__FILE__, __LINE__, "  (Program not running or server not enabled.)", nullptr,
            STATMSG_NOTICE);
    return 0;
  }
  char buf[INET_LINE_SIZE];
  int found = 0;
  char* line = qt_line(page, buf);
  if (!line || !strstr(line, "OK")) {
    statmsg(__FILE__, __LINE__, "Quotetracker returns: ", line ? line : "", STATMSG_ERROR);
  } else {
    while (!found && (line = qt_line(page, buf))) {
      char* comma = strchr(line, ',');
      if (!comma) continue;
      *comma = 0;
      if (strcasecmp(comma + 1, name) == 0) {
        copy_string_n(g_qt_port_id, line, sizeof g_qt_port_id - 1);
        found = 1;
      }
    }
    if (!found)
      statmsg(__FILE__, __LINE__, "Korvane portfolio not found in Quotetracker", nullptr,
              STATMSG_ERROR);
  }
  inet_close_page(page);
  return found;
}

// Whether the comma-separated list holds the symbol as a whole entry.
static int list_holds(const char* list, const char* symbol) {
  size_t n = strlen(symbol);
  for (const char* p = list; *p;) {
    const char* end = strchr(p, ',');
    size_t len = end ? (size_t)(end - p) : strlen(p);
    if (len == n && strncasecmp(p, symbol, n) == 0) return 1;
    if (!end) break;
    p = end + 1;
  }
  return 0;
}

int add_symbol_to_stream(const char* symbol) {
  if (!g_qt_port_id[0] && !get_PortID(kPortfolio)) return 0;
  char request[128];
  snprintf(request, sizeof request, "EnumPortSymbols(%s)", g_qt_port_id);
  web_page* page = qt_open(request);
  if (!page) {
    statmsg(__FILE__, __LINE__, "Error contacting quotetracker:", nullptr, STATMSG_ERROR);
    return 0;
  }
  char buf[INET_LINE_SIZE], list[INET_LINE_SIZE];
  char* line = qt_line(page, buf);
  if (!line) {
    inet_close_page(page);
    statmsg(__FILE__, __LINE__, "No response from QuoteTracker", nullptr, STATMSG_ERROR);
    return 0;
  }
  if (!strstr(line, "OK")) {
    inet_close_page(page);
    statmsg(__FILE__, __LINE__, "Quotetracker returns: ", line, STATMSG_ERROR);
    return 0;
  }
  line = qt_line(page, list);
  inet_close_page(page);
  if (!line) list[0] = 0;
  if (!g_qt_first_symbol[0]) {
    size_t first = strcspn(list, ",");
    if (first == 0)
      copy_string_n(g_qt_first_symbol, symbol, sizeof g_qt_first_symbol - 1);
    else
      copy_string_n(
          g_qt_first_symbol, list,
          (int)(first < sizeof g_qt_first_symbol - 1 ? first : sizeof g_qt_first_symbol - 1));
  }
  if (list_holds(list, symbol)) return 1;
  snprintf(request, sizeof request, "AddStocksToPort(%s,%s)", g_qt_port_id, symbol);
  page = qt_open(request);
  if (!page) {
    statmsg(__FILE__, __LINE__, "Error contacting quotetracker:", nullptr, STATMSG_ERROR);
    return 0;
  }
  line = qt_line(page, buf);
  inet_close_page(page);
  if (line && strstr(line, "OK")) return 1;
  if (line)
    statmsg(__FILE__, __LINE__, "Quotetracker returns: ", line, STATMSG_ERROR);
  else
    statmsg(__FILE__, __LINE__, "No response from QuoteTracker", nullptr, STATMSG_ERROR);
  return 0;
}

void remove_symbol_from_stream(const char* symbol) {
  if (!g_qt_port_id[0] && !get_PortID(kPortfolio)) return;
  if (strcasecmp(symbol, g_qt_first_symbol) == 0) return;  // a portfolio is never left empty
  char request[128];
  snprintf(request, sizeof request, "RemoveStocksFromPort(%s,%s)", g_qt_port_id, symbol);
  web_page* page = qt_open(request);
  if (!page) {
    statmsg(__FILE__, __LINE__, "Error contacting quotetracker:", nullptr, STATMSG_ERROR);
    return;
  }
  char buf[INET_LINE_SIZE];
  char* line = qt_line(page, buf);
  inet_close_page(page);
  if (!line)
    statmsg(__FILE__, __LINE__, "Null response from QuoteTracker", nullptr, STATMSG_NOTICE);
  else if (!strstr(line, "OK"))
    statmsg(__FILE__, __LINE__, "Quotetracker returns: ", line, STATMSG_ERROR);
}

void source_init(mqt* r, int code) {
  if (code == 0) {
    r->flags |= MQT_QT_PORTFOLIO;
  } else if (code == 1) {
    if (g_qt_errors < QT_MAX_ERRORS && add_symbol_to_stream(r->symbol))
      r->flags |= MQT_QT_PORTFOLIO;
    else
      r->quote_fail_count++;
  } else {
    statmsg(__FILE__, __LINE__, "Misconfigured init function for quote source", nullptr,
            STATMSG_ERROR);
  }
}

void source_deinit(mqt* r, int code) {
  if (code == 0) {
    r->flags &= ~MQT_QT_PORTFOLIO;
  } else if (code == 1) {
    if (g_qt_errors < QT_MAX_ERRORS) remove_symbol_from_stream(r->symbol);
    r->flags &= ~MQT_QT_PORTFOLIO;
  } else {
    statmsg(__FILE__, __LINE__, "Misconfigured de-init function for quote source", nullptr,
            STATMSG_ERROR);
  }
}

static void init_by_config(mqt* r) {
  quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  source_init(r, cfg ? cfg->initfunc : 0);
}

static void remove_by_config(mqt* r) {
  if (!(r->flags & MQT_QT_PORTFOLIO)) return;
  quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  source_deinit(r, cfg ? cfg->termfunc : 0);
}

void install_qt_hooks(void) {
  g_mqt_hooks.source_init = init_by_config;
  g_mqt_hooks.qt_portfolio_remove = remove_by_config;
}
