// The quote relay's record unit, its requests and the shared reply buffer.
//
// Every reply and every record of the relay's data stream is built of
// 36-byte units (qr_record): byte 0 the record code in bits 0-5 with bit 7
// set on the last record of a multi-record reply, byte 1 an error code,
// a 16-bit symbol number 1..300 at byte 2 (in relay status records the
// status kind), and 32 bytes of code-specific fields.  Longer records take
// the whole number of bytes tabled in qr_record_size.  All numbers are
// little-endian and are read and written field by field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/lefield.h"

enum {
  QR_RECORD_SIZE = 36,
  QR_REPLY_SIZE = 1024,
  QR_MAX_SYMBOL = 300,    // relay symbol numbers are 1..300
  QR_LAST_RECORD = 0x80,  // bit 7 of byte 0
  QR_CODE_MASK = 0x3F,    // bits 0-5 of byte 0
};

// Offsets of the record unit.
enum {
  QR_OFF_CODE = 0,
  QR_OFF_ERROR = 1,
  QR_OFF_SYMBOL = 2,
  QR_OFF_FIELDS = 4,
  QR_OFF_TIME = 4,  // history and bar records: i32 epoch_seconds
};
static_assert(QR_OFF_FIELDS + 32 == QR_RECORD_SIZE, "record unit is 36 bytes");

// Record codes of the data stream and of replies.
enum {
  QR_INTRADAY_BARS = 2,
  QR_MINUTE_BAR = 3,
  QR_TICK = 4,
  QR_QUOTE = 5,
  QR_ORDER_BOOK = 6,
  QR_LEVEL2 = 7,
  QR_HISTORY_BARS = 8,
  QR_STREAM = 10,
  QR_TEXT_PAGE = 11,
  QR_INFO_BLOCK = 12,
  QR_PLACE_ORDER = 13,
  QR_CANCEL_ORDER = 14,
  QR_OPEN_ORDER = 15,
  QR_SYMBOL_DETAILS = 17,
  QR_EXECUTION = 18,
  QR_ORDER_STATUS = 22,
  QR_RELAY_STATUS = 63,
};

// Request codes written to the request socket (with their sizes).
enum {
  QR_REQ_CONNECT = 1,
  QR_REQ_INTRADAY = 2,
  QR_REQ_HISTORY = 8,
  QR_REQ_STREAM = 10,
  QR_REQ_TEXT_PAGE = 11,
  QR_REQ_PLACE_ORDER = 13,
  QR_REQ_CANCEL_ORDER = 14,
  QR_REQ_ORDER_REFRESH = 18,

  QR_CONNECT_SIZE = 32,
  QR_REQUEST_SIZE = 64,
  QR_PLACE_ORDER_SIZE = 96,
  QR_CANCEL_ORDER_SIZE = 8,
  QR_CANCEL_REPLY_SIZE = 4,
  QR_INFO_BLOCK_DATA = 904,  // bytes of a code-12 record kept from offset 4
};

// Offsets of the connect and stream requests.
enum {
  QR_CONNECT_OFF_HOST = 1,  // 1..15 this computer's name
  QR_CONNECT_HOST_MAX = 14,
  QR_CONNECT_OFF_CLIENT = 16,  // 16..31 the client name
  QR_STREAM_OFF_SYMBOL = 2,    // 2..33 the symbol before "~"
  QR_STREAM_SYMBOL_SIZE = 32,
  QR_STREAM_OFF_SUFFIX = 34,  // 34..35 the two characters after "~"
  QR_STREAM_OFF_TIME = 36,    // i32 exchange time of day - 60
  QR_STREAM_OFF_ZERO = 40,
  QR_STREAM_OFF_CODE = 44,  // i32 stream_code
};
static_assert(QR_CONNECT_OFF_CLIENT + 16 == QR_CONNECT_SIZE, "connect request is 32 bytes");
static_assert(QR_STREAM_OFF_SYMBOL + QR_STREAM_SYMBOL_SIZE == QR_STREAM_OFF_SUFFIX,
              "stream symbol");
static_assert(QR_STREAM_OFF_CODE + 4 <= QR_REQUEST_SIZE, "stream request fits");

// Relay status kinds (the u16 at 2 of a code-63 record).
enum {
  QR_STATUS_DISCONNECTED = 3,
  QR_STATUS_CONNECTED = 4,
  QR_STATUS_CONNECTED2 = 5,
  QR_STATUS_NO_HEARTBEAT = 6,
  QR_STATUS_BROKER_DOWN = 7,
  QR_STATUS_TICK = 8,
};

// Relay error codes (byte 1).
enum {
  QR_ERR_NONE = 0,
  QR_ERR_LOGIN = 5,
  QR_ERR_NO_SYMBOL = 7,
  QR_ERR_TOO_MANY = 10,
  QR_ERR_DB_UNAVAILABLE = 11,
  QR_ERR_DB_ERROR = 13,
  QR_ERR_NO_DATA = 14,
};

// A request being built: its bytes and its length.
struct qr_request {
  uint8_t bytes[QR_PLACE_ORDER_SIZE];
  int size;
};

// The one reply buffer of all transactions, touched only under
// g_router_lock: the bytes of the last read, their count and the code of
// the last request.
struct qr_reply {
  uint8_t bytes[QR_REPLY_SIZE];
  int length;
  int request_code;
};
extern qr_reply g_qr_reply;

inline int qr_record_code(const uint8_t* rec) {
  return rec[QR_OFF_CODE] & QR_CODE_MASK;
}
inline int qr_record_is_last(const uint8_t* rec) {
  return (rec[QR_OFF_CODE] & QR_LAST_RECORD) != 0;
}
inline int qr_record_error(const uint8_t* rec) {
  return rec[QR_OFF_ERROR];
}
inline int qr_record_symbol(const uint8_t* rec) {
  return get_le16(rec + QR_OFF_SYMBOL);
}
// 1 when n is a relay symbol number (1..300).
inline int qr_symbol_valid(int n) {
  return n >= 1 && n <= QR_MAX_SYMBOL;
}

// Bytes of a record of the code, or 0 for a code that is not a record of
// the data stream or of a reply (code 11, of any length, gives 0 too: its
// length is in the record).
int qr_record_size(int code);

// Requests.  Each clears the request first; texts are cut to their fields.
void qr_build_connect(qr_request* req, const char* computer_name, const char* client_name);
// symbol: the text before "~" goes to 2..33, the two characters after it
// to 34..35.
void qr_build_stream(qr_request* req, const char* symbol, int32_t time_of_day,
                     uint32_t stream_code);
// A request of only its code, of the given size (order refresh: 64).
void qr_build_code_only(qr_request* req, int code, int size);

// Reports a reply's error code with the argument (a symbol or request
// text, may be null) and returns the code; 0 reports nothing.
int kvqr_error_text(int code, const char* argument);
