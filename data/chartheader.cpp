// Field-by-field images of the price-file header, bars and extension blocks.
#include "data/chartheader.h"

#include <cstring>

namespace {

// Copies a text field of n bytes, keeping a terminating zero inside it.
inline void get_text(const uint8_t* p, char* out, int n) {
  memcpy(out, p, n);
  out[n - 1] = 0;
}

inline void put_text(uint8_t* p, const char* text, int n) {
  memcpy(p, text, n);
}

}  // namespace

uint32_t chart_header_checksum(const uint8_t* image) {
  uint32_t sum = CHART_FILE_MAGIC;
  for (int off = 0; off <= 248; off += 4) sum += get_le32(image + off);
  return sum;
}

bool chart_header_valid(const uint8_t* image) {
  return get_le32(image + 4) == CHART_FILE_MAGIC &&
         chart_header_checksum(image) == get_le32(image + 252);
}

void encode_chart_header(const chart_file_header* h, uint8_t* p) {
  put_le16(p + 0, h->zero);
  put_le16(p + 2, h->version);
  put_le32(p + 4, h->magic);
  put_text(p + 8, h->symbol, 32);
  put_text(p + 40, h->description, 60);
  put_le32(p + 100, (uint32_t)h->time_unit);
  put_le32(p + 104, (uint32_t)h->bar_count);
  put_le32(p + 108, (uint32_t)h->first_date);
  put_le32(p + 112, (uint32_t)h->last_date);
  put_le32(p + 116, h->flags);
  put_le32(p + 120, (uint32_t)h->history_date);
  put_le32(p + 124, (uint32_t)h->history_word);
  put_le32(p + 128, (uint32_t)h->last_time);
  put_lef(p + 132, h->prev_close);
  put_le32(p + 136, h->quote_word2);
  put_le32(p + 140, (uint32_t)h->avg_volume);
  put_le32(p + 144, (uint32_t)h->session_start);
  put_le32(p + 148, (uint32_t)h->session_end);
  put_le32(p + 152, (uint32_t)h->ext_count);
  put_le32(p + 156, (uint32_t)h->unit_count1);
  put_le32(p + 160, (uint32_t)h->unit_count2);
  put_le32(p + 164, (uint32_t)h->volume_per_bar);
  put_le32(p + 168, h->word168);
  put_le32(p + 172, h->word172);
  put_text(p + 176, h->leg1, 32);
  put_text(p + 208, h->leg2, 32);
  put_lef(p + 240, h->ratio1);
  put_lef(p + 244, h->ratio2);
  put_le32(p + 248, h->word248);
  put_le32(p + 252, h->checksum);
}

void seal_chart_header(chart_file_header* header, uint8_t* image) {
  encode_chart_header(header, image);
  header->checksum = chart_header_checksum(image);
  put_le32(image + 252, header->checksum);
}

void decode_chart_header(const uint8_t* p, chart_file_header* h) {
  h->zero = get_le16(p + 0);
  h->version = get_le16(p + 2);
  h->magic = get_le32(p + 4);
  get_text(p + 8, h->symbol, 32);
  get_text(p + 40, h->description, 60);
  h->time_unit = (int32_t)get_le32(p + 100);
  h->bar_count = (int32_t)get_le32(p + 104);
  h->first_date = (int32_t)get_le32(p + 108);
  h->last_date = (int32_t)get_le32(p + 112);
  h->flags = get_le32(p + 116);
  h->history_date = (int32_t)get_le32(p + 120);
  h->history_word = (int32_t)get_le32(p + 124);
  h->last_time = (int32_t)get_le32(p + 128);
  h->prev_close = get_lef(p + 132);
  h->quote_word2 = get_le32(p + 136);
  h->avg_volume = (int32_t)get_le32(p + 140);
  h->session_start = (int32_t)get_le32(p + 144);
  h->session_end = (int32_t)get_le32(p + 148);
  h->ext_count = (int32_t)get_le32(p + 152);
  h->unit_count1 = (int32_t)get_le32(p + 156);
  h->unit_count2 = (int32_t)get_le32(p + 160);
  h->volume_per_bar = (int32_t)get_le32(p + 164);
  h->word168 = get_le32(p + 168);
  h->word172 = get_le32(p + 172);
  get_text(p + 176, h->leg1, 32);
  get_text(p + 208, h->leg2, 32);
  h->ratio1 = get_lef(p + 240);
  h->ratio2 = get_lef(p + 244);
  h->word248 = get_le32(p + 248);
  h->checksum = get_le32(p + 252);
}

void encode_chart_bars(const chart_bar* bars, int count, uint8_t* image) {
  for (int i = 0; i < count; i++) encode_chart_bar(bars + i, image + (size_t)i * CHART_BAR_SIZE);
}

void decode_chart_bars(const uint8_t* image, int count, chart_bar* bars) {
  for (int i = 0; i < count; i++) decode_chart_bar(image + (size_t)i * CHART_BAR_SIZE, bars + i);
}
