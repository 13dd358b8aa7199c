// Record sizes, request building and error texts of the quote relay.
#include "quotes/qrecord.h"

#include <cstdio>
#include <cstring>

#include "data/statmsg.h"

qr_reply g_qr_reply;

int qr_record_size(int code) {
  switch (code) {
    case QR_INTRADAY_BARS:
    case QR_MINUTE_BAR:
    case QR_TICK:
    case QR_HISTORY_BARS:
    case QR_STREAM:
    case QR_PLACE_ORDER:
    case QR_SYMBOL_DETAILS:
    case QR_RELAY_STATUS:
      return 36;
    case QR_QUOTE:
    case QR_EXECUTION:
      return 144;
    case QR_ORDER_BOOK:
    case QR_LEVEL2:
      return 540;
    case QR_INFO_BLOCK:
      return 936;
    case QR_CANCEL_ORDER:
      return 4;
    case QR_OPEN_ORDER:
      return 108;
    case QR_ORDER_STATUS:
      return 72;
    default:
      return 0;
  }
}

// Copies at most max characters of text into a zeroed field.
static void put_text(uint8_t* field, const char* text, size_t max) {
  if (!text) return;
  size_t n = strnlen(text, max);
  memcpy(field, text, n);
}

void qr_build_connect(qr_request* req, const char* computer_name, const char* client_name) {
  memset(req, 0, sizeof *req);
  req->bytes[0] = QR_REQ_CONNECT;
  put_text(req->bytes + QR_CONNECT_OFF_HOST, computer_name, QR_CONNECT_HOST_MAX);
  // 16 bytes, the last kept zero so the name ends inside its field.
  put_text(req->bytes + QR_CONNECT_OFF_CLIENT, client_name, 15);
  req->size = QR_CONNECT_SIZE;
}

void qr_build_stream(qr_request* req, const char* symbol, int32_t time_of_day,
                     uint32_t stream_code) {
  memset(req, 0, sizeof *req);
  req->bytes[0] = QR_REQ_STREAM;
  if (symbol) {
    const char* tilde = strchr(symbol, '~');
    size_t n = tilde ? (size_t)(tilde - symbol) : strlen(symbol);
    if (n > QR_STREAM_SYMBOL_SIZE) n = QR_STREAM_SYMBOL_SIZE;
    memcpy(req->bytes + QR_STREAM_OFF_SYMBOL, symbol, n);
    if (tilde) put_text(req->bytes + QR_STREAM_OFF_SUFFIX, tilde + 1, 2);
  }
  put_le32(req->bytes + QR_STREAM_OFF_TIME, (uint32_t)time_of_day);
  put_le32(req->bytes + QR_STREAM_OFF_ZERO, 0);
  put_le32(req->bytes + QR_STREAM_OFF_CODE, (uint32_t)stream_code);
  req->size = QR_REQUEST_SIZE;
}

void qr_build_code_only(qr_request* req, int code, int size) {
  memset(req, 0, sizeof *req);
  req->bytes[0] = (uint8_t)code;
  req->size = size < 1 ? 1 : size > (int)sizeof req->bytes ? (int)sizeof req->bytes : size;
}

int kvqr_error_text(int code, const char* argument) {
  char text[64];
  switch (code) {
    case QR_ERR_NONE:
      break;
    case QR_ERR_LOGIN:
      statmsg(__FILE__, __LINE__, "Invalid account or password", nullptr, STATMSG_ERROR);
      break;
    case QR_ERR_NO_SYMBOL:
      statmsg(__FILE__, __LINE__, "Symbol not in database: ", argument, STATMSG_NOTICE);
      break;
    case QR_ERR_TOO_MANY:
      statmsg(__FILE__, __LINE__, "Too many requestes outstanding", nullptr, STATMSG_ERROR);
      break;
    case QR_ERR_DB_UNAVAILABLE:
      statmsg(__FILE__, __LINE__, "Database requested is temporarily unavailable: ", argument,
              STATMSG_ERROR);
      break;
    case QR_ERR_DB_ERROR:
      statmsg(__FILE__, __LINE__, "Database error for request: ", argument, STATMSG_ERROR);
      break;
    case QR_ERR_NO_DATA:
      statmsg(__FILE__, __LINE__, "No Data Available: ", argument, STATMSG_NOTICE);
      break;
    default:
      snprintf(text, sizeof text, "KvQRouter reports error #%d", code);
      statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
      break;
  }
  return code;
}
