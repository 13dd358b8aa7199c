// The web page fetcher: one web session (CKvINet) through which the program
// reads every web page, a page at a time and a text line per call.
//
//   CKvINet* s = inet_open_session();          // once, at start-up
//   page_status st;
//   web_page* p = inet_open_page(s, "http://host/path", &st);
//   while (char* line = inet_read_page(p, &st)) ...
//   if (p) inet_close_page(p);
//   inet_close_session(s);                     // at shut-down
//
// Only "http://" addresses are accepted. An address on the daytime port
// ("http://host:13") is read as the raw text the daytime service sends.
// Nothing is thrown out of these functions: every failure ends in a null
// result, a filled page_status and g_inet_error_text.
#pragma once

#include <cstdint>

#include "platform/sync.h"

enum {
  INET_LINE_SIZE = 1024,  // a line holds at most 1023 characters
  INET_ERROR_TEXT_SIZE = 1024,
  INET_RECEIVE_TIMEOUT_DEFAULT = 5000,
  INET_DAYTIME_PORT = 13,
};

// Word 0 of page_status: the fetcher's own failures, besides the transport
// codes below and the HTTP status of a failed redirected request.
enum {
  INET_ERR_NOT_HTTP = 1,           // the address is not an http address
  INET_ERR_ACCESS_DENIED = 2,      // the server asked for a password
  INET_ERR_NO_LOCATION = 3,        // redirect without a new location
  INET_ERR_BAD_REDIRECT = 4,       // the redirected address cannot be parsed
  INET_ERR_REDIRECT_NOT_HTTP = 5,  // the redirected address is not http
};

// Transport failures, numbered as the Windows internet API numbers them so
// that reports and stored logs keep their meaning.
enum {
  ERROR_INTERNET_TIMEOUT = 12002,
  ERROR_INTERNET_INTERNAL_ERROR = 12004,
  ERROR_INTERNET_INVALID_URL = 12005,
  ERROR_INTERNET_NAME_NOT_RESOLVED = 12007,
  ERROR_INTERNET_CONNECTION_ABORTED = 12030,
  ERROR_INTERNET_CONNECTION_RESET = 12031,
  ERROR_INTERNET_CANNOT_CONNECT = 12029,
  ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152,
};

// The caller's status words of a page call.
struct page_status {
  int32_t error;        // word 0: code of the last failure, 0 when none
  int32_t http_status;  // word 1: the page's HTTP status (200 after every good read)
};
static_assert(sizeof(page_status) == 8);

class CKvINet;

// One open page. Allocated by CKvINet::OpenWebPage, freed by
// CKvINet::CloseWebPage. Belongs to the thread that opened it.
struct web_page {
  int32_t id;        // from a process-wide counter starting at 1
  web_page* next;    // the session's list, in order of opening
  CKvINet* session;  // owning session
  char* body;        // the page's bytes as received (owned)
  int32_t body_size;
  int32_t read_pos;    // next byte handed out by ReadWebPage
  int32_t read_error;  // transport failure met after the headers, 0 none
  char read_error_text[256];
  char line[INET_LINE_SIZE];  // the line ReadWebPage returns
};

class CKvINet {
 public:
  explicit CKvINet(const char* agent);
  virtual ~CKvINet();
  virtual void Close();
  virtual void OnStatusCallback(int context, int status, const char* detail);

  void Open();
  int SetInternetReceiveTimeout(int milliseconds);
  web_page* OpenWebPage(const char* url, page_status* status);
  char* ReadWebPage(web_page* page, page_status* status);
  void CloseWebPage(web_page* page);

  int trace;  // 1: trace every method and the status callback
  int32_t page_count;
  web_page* pages;

  // Not part of the session's state proper: the agent, the receive
  // time-out in use and the lock of the page list (pages of several
  // threads share one session).
  char agent[64];
  int receive_timeout_ms;
  kv_mutex list_lock;

 private:
  void unlink_page(web_page* page);
  void free_page(web_page* page);
};

// The program's web session (opened at start-up, closed at shut-down).
extern CKvINet* g_inet_session;

// Text of the last web error of the calling thread; emptied by each of the
// three page calls.  One per thread: the chart loader and the update check
// read pages at the same time.
extern thread_local char g_inet_error_text[INET_ERROR_TEXT_SIZE];

// Sound queued when a page cannot be opened (17), through the live-quote
// sound queue once it exists; null: no sound.
extern void (*g_inet_queue_sound)(int sound_id);

// Port read as the daytime service (INET_DAYTIME_PORT; tests move it).
extern int g_inet_daytime_port;

CKvINet* inet_open_session();
void inet_close_session(CKvINet* session);
web_page* inet_open_page(CKvINet* session, const char* url, page_status* status);
char* inet_read_page(web_page* page, page_status* status);
void inet_close_page(web_page* page);
