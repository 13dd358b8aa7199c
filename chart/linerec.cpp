// Field access of the stored chart-line record.
#include "chart/linerec.h"

#include <cstring>

#include "data/chartheader.h"

void line_record_decode(const uint8_t* p, line_record* l) {
  l->kind = get_le16(p + 4);
  l->flags = p[6];
  l->seq = get_le32(p + 8);
  l->time1 = (int32_t)get_le32(p + 12);
  l->price1 = get_lef(p + 16);
  l->time2 = (int32_t)get_le32(p + 20);
  l->price2 = get_lef(p + 24);
  l->channel_dev = get_lef(p + 32);
  l->color = get_le32(p + 36);
  l->style = (int32_t)get_le32(p + 40);
  l->type = (int32_t)get_le32(p + 44);
  l->width = (int32_t)get_le32(p + 48);
  l->draw_value = (int32_t)get_le32(p + 52);
  memcpy(l->name, p + LINE_NAME_OFFSET, LINE_NAME_SIZE);
}

void line_record_encode(const line_record* l, uint8_t* p) {
  put_le16(p + 4, l->kind);
  p[6] = l->flags;
  put_le32(p + 8, l->seq);
  put_le32(p + 12, (uint32_t)l->time1);
  put_lef(p + 16, l->price1);
  put_le32(p + 20, (uint32_t)l->time2);
  put_lef(p + 24, l->price2);
  put_lef(p + 32, l->channel_dev);
  put_le32(p + 36, l->color);
  put_le32(p + 40, (uint32_t)l->style);
  put_le32(p + 44, (uint32_t)l->type);
  put_le32(p + 48, (uint32_t)l->width);
  put_le32(p + 52, (uint32_t)l->draw_value);
  memcpy(p + LINE_NAME_OFFSET, l->name, LINE_NAME_SIZE);
}
