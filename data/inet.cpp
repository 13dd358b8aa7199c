// The web page fetcher on libcurl.
//
// A page is fetched whole when it is opened: the request runs to its end
// (bounded by the receive time-out between two arrivals of data, an overall
// limit and a size limit), and ReadWebPage then hands out its lines. A
// transport failure before the status line fails the open; one after it
// (a truncated body, a stalled reply) is kept on the page and reported by
// the read that reaches it, so that a caller never takes a cut page for a
// whole one.
#include "data/inet.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <sys/select.h>

#include "data/debugtrace.h"
#include "data/logfiles.h"
#include "data/statmsg.h"
#include "data/textutil.h"
#include "platform/clock.h"
#include "settings/settings.h"

CKvINet* g_inet_session;
thread_local char g_inet_error_text[INET_ERROR_TEXT_SIZE];
void (*g_inet_queue_sound)(int sound_id);
int g_inet_daytime_port = INET_DAYTIME_PORT;

enum {
  INET_PAGE_MAX = 16 * 1024 * 1024,  // bytes kept of one page
  INET_HEADERS_MAX = 64 * 1024,      // bytes kept of the raw headers
  INET_TOTAL_MS = 300000,            // a whole request, however it trickles
  INET_SOUND_PAGE_FAILED = 17,
  INET_TRACE_LINE = 2048,
};

static const char INET_USER_AGENT[] = "Mozilla/4.51 [en] [WinNT; U]";

// Page ids run across all sessions of the process.
static std::atomic<int32_t> g_next_page_id{1};

// The trace file of switch I is shared by every session and thread.
static std::mutex g_inet_trace_mutex;

static void inet_global_init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// ---------------------------------------------------------------------------
// Trace lines: "hh:mm:ss" in front, to the debugger with the trace flag and
// to the trace file of switch I when it is on.

static void inet_trace_write_file(const char* format, const char* line) {
  std::lock_guard<std::mutex> hold(g_inet_trace_mutex);
  if (!g_trace_file.on) return;
  if (!g_trace_file.file && g_trace_file.name) g_trace_file.file = fopen(g_trace_file.name, "w");
  if (!g_trace_file.file) return;
  fprintf(g_trace_file.file, format, line);
  fflush(g_trace_file.file);
}

static void inet_time_prefix(char* buf, size_t size) {
  int now = kv_time_of_day(kv_now_local_seconds());
  snprintf(buf, size, "%02d:%02d:%02d", (int)(now / 3600), (int)(now / 60 % 60), (int)(now % 60));
}

static void inet_trace(int trace, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void inet_trace(int trace, const char* format, ...) {
  if (!trace && !g_trace_file.on) return;
  char line[INET_TRACE_LINE];
  va_list ap;
  va_start(ap, format);
  vsnprintf(line, sizeof line, format, ap);
  va_end(ap);
  if (trace) debug_trace("%s\n", line);
  inet_trace_write_file("%s\n", line);
}

// ---------------------------------------------------------------------------
// Failures inside OpenWebPage. A transport failure carries a code of the
// 12000 range; the fetcher's own (1-5, or an HTTP status of a redirected
// request) are reported as CKvINet_Exception.

struct inet_failure {
  int own;  // 1: the fetcher's own code, 0: transport failure
  int code;
  char text[INET_ERROR_TEXT_SIZE];
};

static void fail_own(inet_failure* f, int code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
static void fail_own(inet_failure* f, int code, const char* format, ...) {
  f->own = 1;
  f->code = code;
  va_list ap;
  va_start(ap, format);
  vsnprintf(f->text, sizeof f->text, format, ap);
  va_end(ap);
}

// Transport code and text of a libcurl result.
static void fail_transport(inet_failure* f, CURLcode rc, const char* detail) {
  const char* text;
  int code;
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:
      code = ERROR_INTERNET_TIMEOUT;
      text = "The operation timed out";
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      code = ERROR_INTERNET_NAME_NOT_RESOLVED;
      text = "The server name or address could not be resolved";
      break;
    case CURLE_COULDNT_CONNECT:
      code = ERROR_INTERNET_CANNOT_CONNECT;
      text = "A connection with the server could not be established";
      break;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
      code = ERROR_INTERNET_CONNECTION_RESET;
      text = "The connection with the server was reset";
      break;
    case CURLE_PARTIAL_FILE:
    case CURLE_WRITE_ERROR:
      code = ERROR_INTERNET_CONNECTION_ABORTED;
      text = "The connection with the server was terminated abnormally";
      break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
      code = ERROR_HTTP_INVALID_SERVER_RESPONSE;
      text = "The server returned an invalid or unrecognized response";
      break;
    case CURLE_URL_MALFORMAT:
      code = ERROR_INTERNET_INVALID_URL;
      text = "The URL is invalid";
      break;
    default:
      code = ERROR_INTERNET_INTERNAL_ERROR;
      text = "An internal error occurred";
      break;
  }
  f->own = 0;
  f->code = code;
  if (detail && *detail)
    snprintf(f->text, sizeof f->text, "%s: %s", text, detail);
  else
    snprintf(f->text, sizeof f->text, "%s", text);
}

// ---------------------------------------------------------------------------
// One request.

struct inet_transfer {
  CURL* curl;
  char* body;
  size_t body_size;
  size_t body_cap;
  int too_large;
  char headers[INET_HEADERS_MAX];
  size_t headers_size;
  int64_t last_data_ms;  // monotonic time of the last bytes received
  curl_off_t last_dlnow;
  int timeout_ms;
  int timed_out;
  char errbuf[CURL_ERROR_SIZE];
};

static size_t on_body(char* data, size_t size, size_t count, void* user) {
  inet_transfer* t = (inet_transfer*)user;
  size_t n = size * count;
  t->last_data_ms = kv_monotonic_ms();
  if (t->body_size + n > (size_t)INET_PAGE_MAX) {
    t->too_large = 1;
    return 0;  // stops the transfer
  }
  if (t->body_size + n > t->body_cap) {
    size_t cap = t->body_cap ? t->body_cap : 16384;
    while (cap < t->body_size + n) cap *= 2;
    if (cap > (size_t)INET_PAGE_MAX) cap = INET_PAGE_MAX;
    char* grown = (char*)realloc(t->body, cap);
    if (!grown) {
      t->too_large = 1;
      return 0;
    }
    t->body = grown;
    t->body_cap = cap;
  }
  memcpy(t->body + t->body_size, data, n);
  t->body_size += n;
  return n;
}

static size_t on_header(char* data, size_t size, size_t count, void* user) {
  inet_transfer* t = (inet_transfer*)user;
  size_t n = size * count;
  t->last_data_ms = kv_monotonic_ms();
  // A status line starts a new header block (100 Continue before the
  // real reply): the raw headers are those of the last block.
  if (n >= 5 && memcmp(data, "HTTP/", 5) == 0) t->headers_size = 0;
  size_t room = sizeof t->headers - 1 - t->headers_size;
  if (n < room) room = n;
  memcpy(t->headers + t->headers_size, data, room);
  t->headers_size += room;
  t->headers[t->headers_size] = 0;
  return n;
}

// The receive time-out: the longest wait between two arrivals of data.
static int on_progress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t) {
  inet_transfer* t = (inet_transfer*)user;
  int64_t now = kv_monotonic_ms();
  if (dlnow != t->last_dlnow) {
    t->last_dlnow = dlnow;
    t->last_data_ms = now;
  }
  if (now - t->last_data_ms > t->timeout_ms) {
    t->timed_out = 1;
    return 1;
  }
  return 0;
}

static void transfer_init(inet_transfer* t, int timeout_ms) {
  memset(t, 0, sizeof *t);
  t->timeout_ms = timeout_ms > 0 ? timeout_ms : INET_RECEIVE_TIMEOUT_DEFAULT;
  t->last_data_ms = kv_monotonic_ms();
}

static void transfer_free(inet_transfer* t) {
  if (t->curl) curl_easy_cleanup(t->curl);
  free(t->body);
  t->curl = nullptr;
  t->body = nullptr;
}

// Sends a GET for url and receives the reply. Returns 0 when a status line
// arrived (*status set; *late holds a failure met after it, 0 when none),
// -1 with f filled when none did.
static int http_get(inet_transfer* t, const char* url, int* status, inet_failure* late,
                    inet_failure* f) {
  *status = 0;
  late->code = 0;
  t->curl = curl_easy_init();
  if (!t->curl) {
    fail_transport(f, CURLE_FAILED_INIT, "");
    return -1;
  }
  CURL* c = t->curl;
  struct curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: */*");
  char agent[128];
  snprintf(agent, sizeof agent, "User-Agent: %s", INET_USER_AGENT);
  headers = curl_slist_append(headers, agent);
  curl_easy_setopt(c, CURLOPT_URL, url);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, (long)t->timeout_ms);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, (long)INET_TOTAL_MS);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, t);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, t);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, t->errbuf);
  CURLcode rc = curl_easy_perform(c);
  curl_slist_free_all(headers);

  long code = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
  if (code <= 0 || code > 999) {
    fail_transport(f, rc == CURLE_OK ? CURLE_WEIRD_SERVER_REPLY : rc, t->errbuf);
    return -1;
  }
  *status = (int)code;
  if (t->too_large)
    fail_own(late, ERROR_INTERNET_CONNECTION_ABORTED, "The page is larger than %d bytes",
             INET_PAGE_MAX);
  else if (rc != CURLE_OK)
    fail_transport(late, rc, t->errbuf);
  return 0;
}

// The daytime service sends its text and closes; nothing is sent to it.
static int daytime_read(inet_transfer* t, const char* url, inet_failure* late, inet_failure* f) {
  late->code = 0;
  t->curl = curl_easy_init();
  if (!t->curl) {
    fail_transport(f, CURLE_FAILED_INIT, "");
    return -1;
  }
  CURL* c = t->curl;
  curl_easy_setopt(c, CURLOPT_URL, url);
  curl_easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, (long)t->timeout_ms);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, t->errbuf);
  CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    fail_transport(f, rc, t->errbuf);
    return -1;
  }
  curl_socket_t sock = CURL_SOCKET_BAD;
  curl_easy_getinfo(c, CURLINFO_ACTIVESOCKET, &sock);
  int64_t started = kv_monotonic_ms();
  for (;;) {
    char buf[4096];
    size_t got = 0;
    rc = curl_easy_recv(c, buf, sizeof buf, &got);
    if (rc == CURLE_AGAIN) {
      int64_t now = kv_monotonic_ms();
      if (now - t->last_data_ms > t->timeout_ms || now - started > INET_TOTAL_MS) {
        fail_transport(late, CURLE_OPERATION_TIMEDOUT, "");
        break;
      }
      struct timeval tv = {0, 50000};
      fd_set rd;
      FD_ZERO(&rd);
      if (sock != CURL_SOCKET_BAD && sock < FD_SETSIZE) {
        FD_SET(sock, &rd);
        select((int)sock + 1, &rd, nullptr, nullptr, &tv);
      } else {
        select(0, nullptr, nullptr, nullptr, &tv);
      }
      continue;
    }
    if (rc != CURLE_OK) {
      fail_transport(late, rc, t->errbuf);
      break;
    }
    if (got == 0) break;  // the service closed: the whole text is here
    if (on_body(buf, 1, got, t) != got) {
      fail_own(late, ERROR_INTERNET_CONNECTION_ABORTED, "The page is larger than %d bytes",
               INET_PAGE_MAX);
      break;
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Addresses.

// Splits an http address; 0 when it cannot be parsed or is not http. The
// normalised address goes to out, its port to *port.
static int parse_http_url(const char* url, char* out, size_t size, int* port) {
  int ok = 0;
  CURLU* u = curl_url();
  if (!u) return 0;
  char* scheme = nullptr;
  char* host = nullptr;
  char* text = nullptr;
  char* port_text = nullptr;
  if (url && curl_url_set(u, CURLUPART_URL, url, 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && strcmp(scheme, "http") == 0 &&
      curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK && host[0] &&
      curl_url_get(u, CURLUPART_PORT, &port_text, CURLU_DEFAULT_PORT) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_URL, &text, 0) == CURLUE_OK && strlen(text) < size) {
    strcpy(out, text);
    *port = atoi(port_text);
    ok = 1;
  }
  curl_free(scheme);
  curl_free(host);
  curl_free(port_text);
  curl_free(text);
  curl_url_cleanup(u);
  return ok;
}

// Resolves a redirect's location against the address it came from (a
// location may be relative). 1 parsed, 0 not.
static int resolve_location(const char* base, const char* location, char* out, size_t size) {
  int ok = 0;
  CURLU* u = curl_url();
  if (!u) return 0;
  char* text = nullptr;
  if (curl_url_set(u, CURLUPART_URL, base, 0) == CURLUE_OK &&
      curl_url_set(u, CURLUPART_URL, location, 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_URL, &text, 0) == CURLUE_OK && strlen(text) < size) {
    strcpy(out, text);
    ok = 1;
  }
  curl_free(text);
  curl_url_cleanup(u);
  return ok;
}

// The value of the "Location: " header in raw headers, or null. Header
// names are matched without regard to case; the value ends at the line end.
static int find_location(const char* headers, char* out, size_t size) {
  for (const char* p = headers; *p;) {
    if (strncasecmp(p, "Location:", 9) == 0) {
      p += 9;
      while (*p == ' ' || *p == '\t') p++;
      size_t n = strcspn(p, "\r\n");
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t')) n--;
      if (n == 0 || n >= size) return 0;
      memcpy(out, p, n);
      out[n] = 0;
      return 1;
    }
    const char* nl = strchr(p, '\n');
    if (!nl) break;
    p = nl + 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// CKvINet.

CKvINet::CKvINet(const char* agent_name)
    : trace((g_option_flags & OPT_TRACE_INET) ? 1 : 0), page_count(0), pages(nullptr) {
  inet_global_init();
  copy_string_n(agent, agent_name ? agent_name : "", (int)sizeof agent - 1);
  receive_timeout_ms = INET_RECEIVE_TIMEOUT_DEFAULT;
  char now[16];
  inet_time_prefix(now, sizeof now);
  inet_trace(trace, "%s CKvINet::CKvINet() Opening Internet Session", now);
}

CKvINet::~CKvINet() {
  char now[16];
  inet_time_prefix(now, sizeof now);
  char line[128];
  snprintf(line, sizeof line, "%s CKvINet::~CKvINet() Closing Internet Session", now);
  if (trace) debug_trace("%s\n", line);
  inet_trace_write_file("%s\n", line);
  std::lock_guard<std::mutex> hold(g_inet_trace_mutex);
  if (g_trace_file.file) {
    fclose(g_trace_file.file);
    g_trace_file.file = nullptr;  // a later trace line opens it anew
  }
}

void CKvINet::Close() {
  char now[16];
  inet_time_prefix(now, sizeof now);
  inet_trace(trace, "%s CKvINet::Close()", now);
}

void CKvINet::Open() {
  char now[16];
  inet_time_prefix(now, sizeof now);
  inet_trace(trace, "%s CKvINet::Open()", now);
  SetInternetReceiveTimeout(g_settings.InternetReceiveTimeout);
}

int CKvINet::SetInternetReceiveTimeout(int milliseconds) {
  char now[16];
  inet_time_prefix(now, sizeof now);
  inet_trace(trace, "%s CKvINet::SetInternetReceiveTimeout(%d)", now, milliseconds);
  // A time-out of 0 or less would make every read fail at once.
  receive_timeout_ms = milliseconds > 0 ? milliseconds : INET_RECEIVE_TIMEOUT_DEFAULT;
  return 1;
}

void CKvINet::OnStatusCallback(int context, int status, const char* detail) {
  if (!trace) return;
  const char* name;
  switch (status) {
    case 10:
      name = "INTERNET_STATUS_RESOLVING_NAME";
      break;
    case 11:
    case 20:
      name = "INTERNET_STATUS_NAME_RESOLVED";
      break;
    case 21:
      name = "INTERNET_STATUS_CONNECTED_TO_SERVER";
      break;
    case 30:
      name = "INTERNET_STATUS_SENDING_REQUEST";
      break;
    case 31:
      name = "INTERNET_STATUS_REQUEST_SENT";
      break;
    case 40:
      name = "INTERNET_STATUS_RECEIVING_RESPONSE";
      break;
    case 41:
      name = "INTERNET_STATUS_RESPONSE_RECEIVED";
      break;
    case 50:
      name = "INTERNET_STATUS_CLOSING_CONNECTION";
      break;
    case 51:
      name = "INTERNET_STATUS_CONNECTION_CLOSED";
      break;
    case 60:
      name = "INTERNET_STATUS_HANDLE_CREATED";
      break;
    case 70:
      name = "INTERNET_STATUS_HANDLE_CLOSING";
      break;
    case 100:
      name = "INTERNET_STATUS_REQUEST_COMPLETE";
      break;
    default:
      name = "Unknown Internet Status Error";
      break;
  }
  char now[16];
  inet_time_prefix(now, sizeof now);
  inet_trace(trace, "%s CKvINet::OnStatusCallback(dwContext=%d, dwInternetStatus=%d) %s", now,
             context, status, name);
}

void CKvINet::unlink_page(web_page* page) {
  std::lock_guard<kv_mutex> hold(list_lock);
  for (web_page** p = &pages; *p; p = &(*p)->next) {
    if (*p == page) {
      *p = page->next;
      page_count--;
      break;
    }
  }
}

void CKvINet::free_page(web_page* page) {
  unlink_page(page);
  free(page->body);
  free(page);
}

// Runs the request of step 3 on the page's behalf (and of step 6 for a
// redirect): 0 with *status set, -1 with f filled.
static int page_request(CKvINet* s, web_page* page, const char* url, int port, int* status,
                        inet_failure* f) {
  inet_transfer* t = (inet_transfer*)calloc(1, sizeof(inet_transfer));
  if (!t) {
    fail_transport(f, CURLE_OUT_OF_MEMORY, "");
    return -1;
  }
  transfer_init(t, s->receive_timeout_ms);
  inet_failure late = {};
  int rc;
  s->OnStatusCallback(1, 30, nullptr);
  if (port == g_inet_daytime_port) {
    rc = daytime_read(t, url, &late, f);
    *status = 200;
  } else {
    rc = http_get(t, url, status, &late, f);
  }
  if (rc == 0) {
    s->OnStatusCallback(1, 41, nullptr);
    free(page->body);
    page->body = t->body;
    page->body_size = (int32_t)t->body_size;
    page->read_pos = 0;
    t->body = nullptr;
    page->read_error = late.code;
    copy_string_n(page->read_error_text, late.text, (int)sizeof page->read_error_text - 1);
    // A redirect's new location waits in the line buffer for the
    // caller; the raw headers go with the transfer.
    page->line[0] = 0;
    if (*status >= 300 && *status < 400 &&
        !find_location(t->headers, page->line, sizeof page->line))
      page->line[0] = 0;
  }
  transfer_free(t);
  free(t);
  return rc;
}

web_page* CKvINet::OpenWebPage(const char* url, page_status* status) {
  web_page* page = (web_page*)calloc(1, sizeof(web_page));
  if (!page) return nullptr;
  page->session = this;
  {
    std::lock_guard<kv_mutex> hold(list_lock);
    page->id = g_next_page_id.fetch_add(1);
    web_page** tail = &pages;
    while (*tail) tail = &(*tail)->next;
    *tail = page;
    page_count++;
  }
  char now[16];
  inet_time_prefix(now, sizeof now);
  inet_trace(trace, "%s CKvINet::OpenWebPage(%d) URL=%.1500s", now, page->id, url ? url : "");

  inet_failure f = {};
  char target[4096];
  int port = 0;
  int code = 0;
  if (!parse_http_url(url, target, sizeof target, &port)) {
    fail_own(&f, INET_ERR_NOT_HTTP, "Error: can only use URLs beginning with http://");
    statmsg(nullptr, 0, f.text, nullptr, 3);
    goto failed;
  }
  if (page_request(this, page, target, port, &code, &f) < 0) goto failed;
  if (code == 401) {
    // There is no password dialog to ask again: the request is refused.
    fail_own(&f, INET_ERR_ACCESS_DENIED, "Access denied: Invalid password");
    statmsg(nullptr, 0, f.text, nullptr, 3);
    goto failed;
  }
  if (code == 301 || code == 302 || code == 303) {
    // One redirect is followed, no more.
    char location[INET_LINE_SIZE];
    copy_string_n(location, page->line, (int)sizeof location - 1);
    page->line[0] = 0;
    if (!location[0]) {
      fail_own(&f, INET_ERR_NO_LOCATION, "Error: Site redirects with no new location");
      goto failed;
    }
    free(page->body);
    page->body = nullptr;
    page->body_size = 0;
    if (trace) debug_trace("Caution: redirected to %s\n", location);
    char next[4096];
    if (!resolve_location(target, location, next, sizeof next)) {
      fail_own(&f, INET_ERR_BAD_REDIRECT, "Error: the redirected URL could not be parsed.");
      goto failed;
    }
    if (!parse_http_url(next, target, sizeof target, &port)) {
      fail_own(&f, INET_ERR_REDIRECT_NOT_HTTP,
               "Error: the redirected URL does not reference a HTTP resource.");
      goto failed;
    }
    if (page_request(this, page, target, port, &code, &f) < 0) goto failed;
    if (code != 200) {
      fail_own(&f, code, "Error: Got status code %d", code);
      goto failed;
    }
  }
  page->line[0] = 0;
  status->http_status = code;
  if (code != 200) {
    snprintf(g_inet_error_text, sizeof g_inet_error_text, "HTTP STATUS=%d", code);
    if (trace) debug_trace("%s\n", g_inet_error_text);
    inet_trace_write_file("%s\n", g_inet_error_text);
  }
  return page;

failed:
  status->error = f.code;
  copy_string_n(g_inet_error_text, f.text, INET_ERROR_TEXT_SIZE - 1);
  char line[INET_ERROR_TEXT_SIZE + 64];
  if (f.own) {
    snprintf(line, sizeof line, "CKvINet_Exception(%d) %s", f.code, f.text);
  } else {
    snprintf(line, sizeof line, "CInternetException(%d) %s", f.code, f.text);
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t' || line[n - 1] == '\r' ||
                     line[n - 1] == '\n'))
      line[--n] = 0;
  }
  debug_trace("%s\n", line);
  statmsg(nullptr, 0, line, nullptr, 14);
  inet_trace_write_file("%s\n", line);
  free_page(page);
  if (g_inet_queue_sound) g_inet_queue_sound(INET_SOUND_PAGE_FAILED);
  return nullptr;
}

char* CKvINet::ReadWebPage(web_page* page, page_status* status) {
  char now[16];
  inet_time_prefix(now, sizeof now);
  if (page->read_pos >= page->body_size) {
    if (trace) debug_trace("%s CKvINet::ReadWebPage() Buf=NULL\n", now);
    if (g_trace_file.on) {
      char line[64];
      snprintf(line, sizeof line, "%s CKvINet::ReadWebPage() Buf=NULL\n", now);
      inet_trace_write_file("%s", line);
    }
    if (page->read_error) {
      status->error = page->read_error;
      copy_string_n(g_inet_error_text, page->read_error_text, INET_ERROR_TEXT_SIZE - 1);
      char line[INET_ERROR_TEXT_SIZE + 64];
      snprintf(line, sizeof line, "CInternetException(%d) %s", page->read_error,
               page->read_error_text);
      debug_trace("%s\n", line);
      statmsg(nullptr, 0, line, nullptr, 14);
      inet_trace_write_file("%s\n", line);
    }
    return nullptr;
  }
  // The next line, line feed kept, carriage returns dropped, at most
  // 1023 characters; a longer line comes in pieces.
  int n = 0;
  while (page->read_pos < page->body_size && n < INET_LINE_SIZE - 1) {
    char c = page->body[page->read_pos++];
    if (c == '\r') continue;
    page->line[n++] = c ? c : ' ';  // a NUL would hide the rest of the line
    if (c == '\n') break;
  }
  page->line[n] = 0;
  status->http_status = 200;
  if (trace || g_trace_file.on) {
    // The line keeps its own line end in the trace file.
    char line[INET_LINE_SIZE + 64];
    snprintf(line, sizeof line, "%s CKvINet::ReadWebPage() Buf=%s", now, page->line);
    if (trace) debug_trace("%s\n", line);
    inet_trace_write_file("%s", line);
  }
  return page->line;
}

void CKvINet::CloseWebPage(web_page* page) {
  char now[16];
  inet_time_prefix(now, sizeof now);
  inet_trace(trace, "%s CKvINet::CloseWebPage(%d)", now, page->id);
  free_page(page);
}

// ---------------------------------------------------------------------------
// The C-callable interface.

CKvINet* inet_open_session() {
  CKvINet* s = new CKvINet("Korvane");
  s->Open();
  return s;
}

void inet_close_session(CKvINet* session) {
  if (!session) return;
  session->Close();
  delete session;
}

web_page* inet_open_page(CKvINet* session, const char* url, page_status* status) {
  g_inet_error_text[0] = 0;
  page_status spare;
  if (!status) status = &spare;
  status->error = 0;
  status->http_status = 0;
  if (!session) {
    status->error = ERROR_INTERNET_INTERNAL_ERROR;
    copy_string_n(g_inet_error_text, "No web session", INET_ERROR_TEXT_SIZE - 1);
    return nullptr;
  }
  return session->OpenWebPage(url, status);
}

char* inet_read_page(web_page* page, page_status* status) {
  g_inet_error_text[0] = 0;
  page_status spare;
  if (!status) status = &spare;
  status->error = 0;
  status->http_status = 0;
  if (!page) return nullptr;
  return page->session->ReadWebPage(page, status);
}

void inet_close_page(web_page* page) {
  g_inet_error_text[0] = 0;
  if (page) page->session->CloseWebPage(page);
}
