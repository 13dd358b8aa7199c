// The stored image of an order (472 bytes, the open-orders file) and its
// relay part (96 bytes, the place-order request), field by field at the
// offsets of the 32-bit layout the files were first written with.
#include <math.h>
#include <string.h>

#include "broker/orders.h"
#include "data/chartheader.h"
#include "data/lefield.h"

namespace {

// Offsets of the image.
enum {
  OFF_NEXT = 0,
  OFF_MQT = 4,
  OFF_WINDOW = 8,
  OFF_UNNAMED12 = 12,
  OFF_ADV_STRING = 20,
  OFF_ADV_METHOD = 84,
  OFF_ADV_ACCOUNT = 148,
  OFF_ADV_MODE = 212,
  OFF_OCA_NUMBER = 216,
  OFF_STUDY_COLOUR = 220,
  OFF_UNNAMED224 = 224,
  OFF_UNNAMED240 = 240,
  OFF_EXPIRY = 244,
  OFF_UNNAMED248 = 248,
  OFF_PLACED = 252,
  OFF_FILL_TIME = 256,
  OFF_DEPTH = 260,
  OFF_GROUP = 264,
  OFF_UNNAMED268 = 268,
  OFF_LETTER_BIT = 272,
  OFF_FLAGS = 276,
  OFF_REQUESTED = 280,
  OFF_TRAIL = 288,
  OFF_SYMBOL = 296,
  OFF_KIND = 328,
  OFF_LETTER = 329,
  OFF_UNNAMED330 = 330,
  OFF_RELAY = 336,
  OFF_LAST_FILL = 432,
  OFF_AVG_FILL = 440,
  OFF_REPORTED_ID = 448,
  OFF_FILLED = 452,
  OFF_REMAINING = 456,
  OFF_PERM = 460,
  OFF_REPORTED_PARENT = 464,
  OFF_STATUS = 468,

  // Offsets of the relay part.
  R_CODE = 0,
  R_ERROR = 1,
  R_SYMBOL = 2,
  R_QUANTITY = 4,
  R_LIMIT = 8,
  R_AUX = 16,
  R_PARENT = 24,
  R_ORDER_ID = 28,
  R_DISPLAY = 32,
  R_TYPE = 36,
  R_OCA = 40,
  R_ACCOUNT = 56,
  R_REF = 72,
};
static_assert((int)OFF_RELAY == (int)ORDER_RELAY_OFFSET, "relay part");
static_assert((int)OFF_RELAY + (int)ORDER_RELAY_SIZE == (int)OFF_LAST_FILL,
              "relay part is 96 bytes");
static_assert((int)OFF_STATUS + 4 == (int)ORDER_IMAGE_SIZE, "image is 472 bytes");
static_assert((int)OFF_ADV_STRING + 3 * (int)ORDER_ADVISOR_TEXT == (int)OFF_ADV_MODE,
              "advisor texts");
static_assert((int)OFF_SYMBOL + (int)ORDER_SYMBOL_SIZE == (int)OFF_KIND, "symbol");
static_assert((int)R_REF + (int)ORDER_TEXT_REF == (int)ORDER_RELAY_SIZE, "relay texts");
static_assert(OFF_REQUESTED % 8 == 0 && OFF_LAST_FILL % 8 == 0, "doubles stay aligned");

}  // namespace

void encode_relay_part(const order_relay_part* r, uint8_t* p) {
  p[R_CODE] = r->code;
  p[R_ERROR] = r->error;
  put_le16(p + R_SYMBOL, (uint16_t)r->symbol_number);
  put_le32(p + R_QUANTITY, (uint32_t)r->quantity);
  put_led(p + R_LIMIT, r->limit);
  put_led(p + R_AUX, r->aux);
  put_le32(p + R_PARENT, (uint32_t)r->parent_id);
  put_le32(p + R_ORDER_ID, (uint32_t)r->order_id);
  put_le32(p + R_DISPLAY, (uint32_t)r->display_size);
  put_le32(p + R_TYPE, r->type);
  put_text_field(p + R_OCA, r->oca, ORDER_TEXT_OCA);
  put_text_field(p + R_ACCOUNT, r->account, ORDER_TEXT_OCA);
  put_text_field(p + R_REF, r->order_ref, ORDER_TEXT_REF);
}

void decode_relay_part(const uint8_t* p, order_relay_part* r) {
  r->code = p[R_CODE];
  r->error = p[R_ERROR];
  r->symbol_number = (int16_t)get_le16(p + R_SYMBOL);
  r->quantity = (int32_t)get_le32(p + R_QUANTITY);
  r->limit = get_led(p + R_LIMIT);
  r->aux = get_led(p + R_AUX);
  r->parent_id = (int32_t)get_le32(p + R_PARENT);
  r->order_id = (int32_t)get_le32(p + R_ORDER_ID);
  r->display_size = (int32_t)get_le32(p + R_DISPLAY);
  r->type = get_le32(p + R_TYPE);
  get_text_field(p + R_OCA, r->oca, ORDER_TEXT_OCA);
  get_text_field(p + R_ACCOUNT, r->account, ORDER_TEXT_OCA);
  get_text_field(p + R_REF, r->order_ref, ORDER_TEXT_REF);
}

void encode_order(const order_rec* o, uint8_t* p) {
  memset(p, 0, ORDER_IMAGE_SIZE);  // the pointer words stay 0
  memcpy(p + OFF_UNNAMED12, o->unnamed12, sizeof o->unnamed12);
  put_text_field(p + OFF_ADV_STRING, o->advisor_string, ORDER_ADVISOR_TEXT);
  put_text_field(p + OFF_ADV_METHOD, o->advisor_method, ORDER_ADVISOR_TEXT);
  put_text_field(p + OFF_ADV_ACCOUNT, o->advisor_account, ORDER_ADVISOR_TEXT);
  put_le32(p + OFF_ADV_MODE, o->advisor_mode);
  put_le32(p + OFF_OCA_NUMBER, (uint32_t)o->oca_number);
  put_le32(p + OFF_STUDY_COLOUR, o->study_colour);
  memcpy(p + OFF_UNNAMED224, o->unnamed224, sizeof o->unnamed224);
  put_le32(p + OFF_UNNAMED240, (uint32_t)o->unnamed240);
  put_le32(p + OFF_EXPIRY, (uint32_t)o->expiry_time);
  put_le32(p + OFF_UNNAMED248, (uint32_t)o->unnamed248);
  put_le32(p + OFF_PLACED, o->placed_time);
  put_le32(p + OFF_FILL_TIME, o->fill_time);
  put_le32(p + OFF_DEPTH, (uint32_t)o->queue_depth);
  put_le32(p + OFF_GROUP, (uint32_t)o->group_id);
  put_le32(p + OFF_UNNAMED268, (uint32_t)o->unnamed268);
  put_le32(p + OFF_LETTER_BIT, (uint32_t)o->letter_bit);
  put_le32(p + OFF_FLAGS, o->flags);
  put_led(p + OFF_REQUESTED, o->requested_price);
  put_led(p + OFF_TRAIL, o->trail_stop);
  put_text_field(p + OFF_SYMBOL, o->symbol, ORDER_SYMBOL_SIZE);
  p[OFF_KIND] = (uint8_t)o->kind;
  p[OFF_LETTER] = (uint8_t)o->letter;
  memcpy(p + OFF_UNNAMED330, o->unnamed330, sizeof o->unnamed330);
  encode_relay_part(&o->relay, p + OFF_RELAY);
  put_led(p + OFF_LAST_FILL, o->last_fill_price);
  put_led(p + OFF_AVG_FILL, o->avg_fill_price);
  put_le32(p + OFF_REPORTED_ID, (uint32_t)o->reported_id);
  put_le32(p + OFF_FILLED, (uint32_t)o->filled);
  put_le32(p + OFF_REMAINING, (uint32_t)o->remaining);
  put_le32(p + OFF_PERM, (uint32_t)o->perm_id);
  put_le32(p + OFF_REPORTED_PARENT, (uint32_t)o->reported_parent_id);
  put_le32(p + OFF_STATUS, o->status);
}

int decode_order(const uint8_t* p, order_rec* o) {
  memcpy(o->unnamed12, p + OFF_UNNAMED12, sizeof o->unnamed12);
  get_text_field(p + OFF_ADV_STRING, o->advisor_string, ORDER_ADVISOR_TEXT);
  get_text_field(p + OFF_ADV_METHOD, o->advisor_method, ORDER_ADVISOR_TEXT);
  get_text_field(p + OFF_ADV_ACCOUNT, o->advisor_account, ORDER_ADVISOR_TEXT);
  o->advisor_mode = get_le32(p + OFF_ADV_MODE);
  o->oca_number = (int32_t)get_le32(p + OFF_OCA_NUMBER);
  o->study_colour = get_le32(p + OFF_STUDY_COLOUR);
  memcpy(o->unnamed224, p + OFF_UNNAMED224, sizeof o->unnamed224);
  o->unnamed240 = (int32_t)get_le32(p + OFF_UNNAMED240);
  o->expiry_time = (int32_t)get_le32(p + OFF_EXPIRY);
  o->unnamed248 = (int32_t)get_le32(p + OFF_UNNAMED248);
  o->placed_time = get_le32(p + OFF_PLACED);
  o->fill_time = get_le32(p + OFF_FILL_TIME);
  o->queue_depth = (int32_t)get_le32(p + OFF_DEPTH);
  o->group_id = (int32_t)get_le32(p + OFF_GROUP);
  o->unnamed268 = (int32_t)get_le32(p + OFF_UNNAMED268);
  o->letter_bit = (int32_t)get_le32(p + OFF_LETTER_BIT);
  o->flags = get_le32(p + OFF_FLAGS);
  o->requested_price = get_led(p + OFF_REQUESTED);
  o->trail_stop = get_led(p + OFF_TRAIL);
  get_text_field(p + OFF_SYMBOL, o->symbol, ORDER_SYMBOL_SIZE);
  o->kind = (char)p[OFF_KIND];
  o->letter = (char)p[OFF_LETTER];
  memcpy(o->unnamed330, p + OFF_UNNAMED330, sizeof o->unnamed330);
  decode_relay_part(p + OFF_RELAY, &o->relay);
  o->last_fill_price = get_led(p + OFF_LAST_FILL);
  o->avg_fill_price = get_led(p + OFF_AVG_FILL);
  o->reported_id = (int32_t)get_le32(p + OFF_REPORTED_ID);
  o->filled = (int32_t)get_le32(p + OFF_FILLED);
  o->remaining = (int32_t)get_le32(p + OFF_REMAINING);
  o->perm_id = (int32_t)get_le32(p + OFF_PERM);
  o->reported_parent_id = (int32_t)get_le32(p + OFF_REPORTED_PARENT);
  o->status = get_le32(p + OFF_STATUS);
  return isfinite(o->requested_price) && isfinite(o->trail_stop) && isfinite(o->relay.limit) &&
         isfinite(o->relay.aux) && isfinite(o->last_fill_price) && isfinite(o->avg_fill_price);
}
