// Field-by-field image of the window settings record, and the default
// template.
#include "data/chartsettings.h"

#include <cstring>

#include "data/chartheader.h"

namespace {

inline void put_i32(uint8_t* image, int off, int32_t v) {
  put_le32(image + off, (uint32_t)v);
}
inline void put_u32(uint8_t* image, int off, uint32_t v) {
  put_le32(image + off, v);
}
inline void put_f32(uint8_t* image, int off, float v) {
  put_lef(image + off, v);
}
inline void put_bytes(uint8_t* image, int off, const void* p, int n) {
  memcpy(image + off, p, n);
}
inline int32_t get_i32(const uint8_t* image, int off) {
  return (int32_t)get_le32(image + off);
}
inline uint32_t get_u32(const uint8_t* image, int off) {
  return get_le32(image + off);
}
inline float get_f32(const uint8_t* image, int off) {
  return get_lef(image + off);
}
inline void get_bytes(const uint8_t* image, int off, void* p, int n) {
  memcpy(p, image + off, n);
}

}  // namespace

void encode_chart_settings(const ChartSettings* s, uint8_t* p) {
  put_bytes(p, 0, s->spare0, 4);
  put_i32(p, 4, s->chart_id);
  put_i32(p, 8, s->changed);
  put_i32(p, 12, s->favorite_named);
  put_bytes(p, 16, s->favorite_name, 60);
  put_bytes(p, 76, s->chart_name, 60);
  put_i32(p, 136, s->chart_type);
  put_u32(p, 140, s->bg_color);
  put_u32(p, 144, s->text_color);
  put_u32(p, 148, s->text_color2);
  put_u32(p, 152, s->axis_color);
  put_u32(p, 156, s->grid_color);
  put_u32(p, 160, s->daybreak_color);
  put_bytes(p, 164, s->symbol, 32);
  put_i32(p, 196, s->time_unit);
  for (int i = 0; i < 3; i++) put_i32(p, 200 + 4 * i, s->start_dates[i]);
  put_u32(p, 212, s->flags);
  put_i32(p, 216, s->end_value);
  put_u32(p, 220, s->up_color);
  put_u32(p, 224, s->down_color);
  put_u32(p, 228, s->wick_color);
  put_u32(p, 232, s->outline_color);
  put_u32(p, 236, s->up_volume_color);
  put_u32(p, 240, s->study_color);
  put_u32(p, 244, s->down_volume_color);
  put_u32(p, 248, s->oi_color);
  put_i32(p, 252, s->use_default_range);
  put_i32(p, 256, s->scale_recent);
  put_u32(p, 260, s->alert_colors[0]);
  put_u32(p, 264, s->alert_colors[1]);
  put_i32(p, 268, s->percent);
  put_i32(p, 272, s->window_kind);
  put_le16(p + 276, (uint16_t)s->line_width);
  put_bytes(p, 278, s->spare278, 2);
  put_u32(p, 280, s->display_flags);
  put_u32(p, 284, s->position_colors[0]);
  put_u32(p, 288, s->position_colors[1]);
  put_u32(p, 292, s->bidask_color);
  put_u32(p, 296, s->last_mark_color);
  put_u32(p, 300, s->events_bg_color);
  put_u32(p, 304, s->event_mark_color);
  put_i32(p, 308, s->percent_base_time);
  put_le16(p + 312, (uint16_t)s->days_back);
  put_le16(p + 314, (uint16_t)s->use_days_back);
  put_i32(p, 316, s->base_unit);
  put_bytes(p, 320, s->spare320, 4);
  for (int i = 0; i < 4; i++) put_i32(p, 324 + 4 * i, s->normal_rect[i]);
  put_i32(p, 340, s->show_cmd);
  for (int i = 0; i < 4; i++) put_i32(p, 344 + 4 * i, s->rect_slots[i]);
  put_i32(p, 360, s->pane_count);
  for (int i = 0; i < 4; i++) put_i32(p, 364 + 4 * i, s->client_rect[i]);
  for (int r = 0; r < 4; r++)
    for (int i = 0; i < 4; i++) put_i32(p, 380 + 16 * r + 4 * i, s->pane_rects[r][i]);
  for (int i = 0; i < 4; i++) put_i32(p, 444 + 4 * i, s->pane_content[i]);
  for (int r = 0; r < 3; r++)
    for (int i = 0; i < 4; i++) put_i32(p, 460 + 16 * r + 4 * i, s->splitter_rects[r][i]);
  for (int i = 0; i < 3; i++) put_f32(p, 508 + 4 * i, s->splits[i]);
  for (int i = 0; i < 4; i++) put_i32(p, 520 + 4 * i, s->pane_shown[i]);
  put_i32(p, 536, s->m_nFirst);
  put_i32(p, 540, s->m_nLast);
  put_i32(p, 544, s->m_nNum);
  put_i32(p, 548, s->candle_size);
  put_i32(p, 552, s->item_count);
  put_u32(p, 556, 0);  // an address in memory, never stored
  for (int i = 0; i < 4; i++) put_i32(p, 560 + 4 * i, s->pulse[i]);
  put_f32(p, 576, s->pulse_min_price);
  put_i32(p, 580, s->price_code);
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) put_f32(p, 584 + 12 * r + 4 * c, s->saved_splits[r][c]);
  put_bytes(p, 620, s->spare620, 8);
}

void decode_chart_settings(const uint8_t* p, ChartSettings* s) {
  get_bytes(p, 0, s->spare0, 4);
  s->chart_id = get_i32(p, 4);
  s->changed = get_i32(p, 8);
  s->favorite_named = get_i32(p, 12);
  get_bytes(p, 16, s->favorite_name, 60);
  get_bytes(p, 76, s->chart_name, 60);
  s->chart_type = get_i32(p, 136);
  s->bg_color = get_u32(p, 140);
  s->text_color = get_u32(p, 144);
  s->text_color2 = get_u32(p, 148);
  s->axis_color = get_u32(p, 152);
  s->grid_color = get_u32(p, 156);
  s->daybreak_color = get_u32(p, 160);
  get_bytes(p, 164, s->symbol, 32);
  s->time_unit = get_i32(p, 196);
  for (int i = 0; i < 3; i++) s->start_dates[i] = get_i32(p, 200 + 4 * i);
  s->flags = get_u32(p, 212);
  s->end_value = get_i32(p, 216);
  s->up_color = get_u32(p, 220);
  s->down_color = get_u32(p, 224);
  s->wick_color = get_u32(p, 228);
  s->outline_color = get_u32(p, 232);
  s->up_volume_color = get_u32(p, 236);
  s->study_color = get_u32(p, 240);
  s->down_volume_color = get_u32(p, 244);
  s->oi_color = get_u32(p, 248);
  s->use_default_range = get_i32(p, 252);
  s->scale_recent = get_i32(p, 256);
  s->alert_colors[0] = get_u32(p, 260);
  s->alert_colors[1] = get_u32(p, 264);
  s->percent = get_i32(p, 268);
  s->window_kind = get_i32(p, 272);
  // The settings dialog writes a 32-bit width; only its low half is read.
  s->line_width = (int16_t)get_le16(p + 276);
  get_bytes(p, 278, s->spare278, 2);
  s->display_flags = get_u32(p, 280);
  s->position_colors[0] = get_u32(p, 284);
  s->position_colors[1] = get_u32(p, 288);
  s->bidask_color = get_u32(p, 292);
  s->last_mark_color = get_u32(p, 296);
  s->events_bg_color = get_u32(p, 300);
  s->event_mark_color = get_u32(p, 304);
  s->percent_base_time = get_i32(p, 308);
  s->days_back = (int16_t)get_le16(p + 312);
  s->use_days_back = (int16_t)get_le16(p + 314);
  s->base_unit = get_i32(p, 316);
  get_bytes(p, 320, s->spare320, 4);
  for (int i = 0; i < 4; i++) s->normal_rect[i] = get_i32(p, 324 + 4 * i);
  s->show_cmd = get_i32(p, 340);
  for (int i = 0; i < 4; i++) s->rect_slots[i] = get_i32(p, 344 + 4 * i);
  s->pane_count = get_i32(p, 360);
  for (int i = 0; i < 4; i++) s->client_rect[i] = get_i32(p, 364 + 4 * i);
  for (int r = 0; r < 4; r++)
    for (int i = 0; i < 4; i++) s->pane_rects[r][i] = get_i32(p, 380 + 16 * r + 4 * i);
  for (int i = 0; i < 4; i++) s->pane_content[i] = get_i32(p, 444 + 4 * i);
  for (int r = 0; r < 3; r++)
    for (int i = 0; i < 4; i++) s->splitter_rects[r][i] = get_i32(p, 460 + 16 * r + 4 * i);
  for (int i = 0; i < 3; i++) s->splits[i] = get_f32(p, 508 + 4 * i);
  for (int i = 0; i < 4; i++) s->pane_shown[i] = get_i32(p, 520 + 4 * i);
  s->m_nFirst = get_i32(p, 536);
  s->m_nLast = get_i32(p, 540);
  s->m_nNum = get_i32(p, 544);
  s->candle_size = get_i32(p, 548);
  s->item_count = get_i32(p, 552);
  s->items_word = 0;
  s->items = nullptr;
  for (int i = 0; i < 4; i++) s->pulse[i] = get_i32(p, 560 + 4 * i);
  s->pulse_min_price = get_f32(p, 576);
  s->price_code = get_i32(p, 580);
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) s->saved_splits[r][c] = get_f32(p, 584 + 12 * r + 4 * c);
  get_bytes(p, 620, s->spare620, 8);
}

void chart_settings_text(const char* field, int n, char* out) {
  int len = (int)strnlen(field, (size_t)n - 1);
  memcpy(out, field, (size_t)len);
  out[len] = 0;
}

void default_chart_settings(ChartSettings* s, int today) {
  memset(s, 0, sizeof *s);
  s->chart_name[0] = '*';
  s->bg_color = 0xFFFFFF;
  s->grid_color = 0x969696;
  s->daybreak_color = 0x969696;
  s->time_unit = 390;
  s->end_value = today;
  s->up_color = 0x00FF00;
  s->down_color = 0x0000FF;
  s->up_volume_color = 0xFF0000;
  s->study_color = CS_DEFAULT_STUDY_COLOR;
  s->down_volume_color = 0xFF0000;
  s->oi_color = 0xFFFF00;
  s->use_default_range = 1;
  s->line_width = 1;
  s->position_colors[0] = 0xFFFF00;
  s->position_colors[1] = 0x00FFFF;
  s->bidask_color = 0xFF0000;
  s->last_mark_color = 0x00FFFF;
  s->events_bg_color = 0xFF0000;
  s->event_mark_color = 0x00FFFF;
  s->pane_count = 1;
  s->pane_content[0] = 1;
  s->pane_content[1] = 12;
  s->pane_content[2] = 18;
  s->pane_content[3] = 32;
  s->pane_shown[0] = 1;
  s->m_nFirst = -1;
  s->m_nLast = -1;
  s->price_code = 2;
}
