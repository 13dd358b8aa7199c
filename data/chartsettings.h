// ChartSettings: the 628-byte settings record of one window (every window
// kind), shared by the window, its page-layout entry and its favourite.
//
// The record is a file format: page layouts and favourites store it whole,
// little-endian. In memory the fields sit at their image offsets (checked
// below), so that a field's offset is its name in the stored image; the
// image is still written and read field by field (encode_chart_settings /
// decode_chart_settings). Bytes no field names are kept in the spare
// arrays and carried unchanged.
//
// Two choices of this program's own for pane fields that have no fixed
// place elsewhere:
//   344..359  the four rectangle slots (pane slot shown in each of the four
//             pane rectangles, -1 none), signed 32-bit;
//   584..619  the nine saved split fractions (32-bit floats; row = splitter
//             1-2, 2-3, 3-4; column = pane count 2, 3, 4).
// The client rectangle and the four pane rectangles fill 364..443, and the
// three current split fractions are the layout words at 508..516.
//
// Offset 556 is the address of a list window's saved columns in memory; the
// image always stores 0 there and the address lives in `items`, after the
// stored part.
#pragma once

#include <cstddef>
#include <cstdint>

enum { CHART_SETTINGS_SIZE = 628 };

// Settings flag word (offset 212).
enum : uint32_t {
  CS_FLAG_NO_PRICE_STUDIES = 0x10,
  CS_FLAG_SCALE_PRICE_ONLY = 0x40,
  CS_FLAG_TIME_COLOURS = 0x80,  // tick strip coloured by time of day
  CS_FLAG_NO_TITLE = 0x1000000,
  CS_FLAG_NO_TIME_TEXT = 0x2000000,
  CS_FLAG_HIDE_PRICE_SIDE = 0x4000000,
  CS_FLAG_HIDE_OTHER_SIDE = 0x8000000,
  CS_FLAG_HIDE_LABELS = 0x0C000000,  // both: no label columns
  CS_FLAG_NO_PRICE = 0x10000000,
  CS_FLAG_NO_VOLUME = 0x20000000,
  CS_FLAG_NO_VOLUME_STUDIES = 0x40000000,
};

// Display flag word (offset 280).
enum : uint32_t {
  CS_SHOW_GRTRADE = 0x40,
  CS_HIDE_ANNOTATIONS = 0x80,
  CS_SHOW_BIDASK = 0x100,
  CS_SHOW_UPDATING = 0x200,
  CS_SHOW_EVENTS = 0x100000,
  CS_PERCENT_BASE_MASK = 0x38,  // bits 3-5: percent base and alignment mode
  CS_PERCENT_BASE_SHIFT = 3,
};

// Window kinds (offset 272).
enum : int32_t { WINDOW_KIND_CHART = 1, WINDOW_KIND_HRACE = 4, WINDOW_KIND_PVD = 6 };

struct ChartSettings {
  uint8_t spare0[4];             // 0
  int32_t chart_id;              // 4
  int32_t changed;               // 8
  int32_t favorite_named;        // 12
  char favorite_name[60];        // 16
  char chart_name[60];           // 76
  int32_t chart_type;            // 136: 0-10, horse race sub-kind 12
  uint32_t bg_color;             // 140
  uint32_t text_color;           // 144: label text
  uint32_t text_color2;          // 148: labels of the second side
  uint32_t axis_color;           // 152
  uint32_t grid_color;           // 156
  uint32_t daybreak_color;       // 160
  char symbol[32];               // 164
  int32_t time_unit;             // 196
  int32_t start_dates[3];        // 200: daily, weekly, monthly
  uint32_t flags;                // 212: CS_FLAG_*
  int32_t end_value;             // 216: yyyymmdd
  uint32_t up_color;             // 220
  uint32_t down_color;           // 224
  uint32_t wick_color;           // 228
  uint32_t outline_color;        // 232
  uint32_t up_volume_color;      // 236
  uint32_t study_color;          // 240: default study colour
  uint32_t down_volume_color;    // 244
  uint32_t oi_color;             // 248
  int32_t use_default_range;     // 252
  int32_t scale_recent;          // 256
  uint32_t alert_colors[2];      // 260: high, low alert lines
  int32_t percent;               // 268: 1 percent axis
  int32_t window_kind;           // 272
  int16_t line_width;            // 276
  uint8_t spare278[2];           // 278
  uint32_t display_flags;        // 280: CS_SHOW_*, percent base bits
  uint32_t position_colors[2];   // 284: long, short average-cost lines
  uint32_t bidask_color;         // 292
  uint32_t last_mark_color;      // 296
  uint32_t events_bg_color;      // 300
  uint32_t event_mark_color;     // 304
  int32_t percent_base_time;     // 308: seconds
  int16_t days_back;             // 312
  int16_t use_days_back;         // 314
  int32_t base_unit;             // 316
  uint8_t spare320[4];           // 320
  int32_t normal_rect[4];        // 324: child frame l, t, r, b
  int32_t show_cmd;              // 340
  int32_t rect_slots[4];         // 344: pane slot per rectangle, -1 none
  int32_t pane_count;            // 360
  int32_t client_rect[4];        // 364
  int32_t pane_rects[4][4];      // 380: top to bottom
  int32_t pane_content[4];       // 444: 0x01 price, 0x02 volume, 0x04..0x20 studies
  int32_t splitter_rects[3][4];  // 460
  float splits[3];               // 508: layout words
  int32_t pane_shown[4];         // 520
  int32_t m_nFirst;              // 536
  int32_t m_nLast;               // 540
  int32_t m_nNum;                // 544
  int32_t candle_size;           // 548: 0-5
  int32_t item_count;            // 552
  uint32_t items_word;           // 556: always 0 in the image
  int32_t pulse[4];              // 560: scan mask, market mask, time frame, min volume
  float pulse_min_price;         // 576
  int32_t price_code;            // 580
  float saved_splits[3][3];      // 584: [splitter][pane count - 2]
  uint8_t spare620[8];           // 620
  void* items;                   // in memory only: saved list columns
};

static_assert(offsetof(ChartSettings, chart_id) == 4);
static_assert(offsetof(ChartSettings, favorite_name) == 16);
static_assert(offsetof(ChartSettings, chart_name) == 76);
static_assert(offsetof(ChartSettings, chart_type) == 136);
static_assert(offsetof(ChartSettings, bg_color) == 140);
static_assert(offsetof(ChartSettings, text_color2) == 148);
static_assert(offsetof(ChartSettings, daybreak_color) == 160);
static_assert(offsetof(ChartSettings, symbol) == 164);
static_assert(offsetof(ChartSettings, time_unit) == 196);
static_assert(offsetof(ChartSettings, flags) == 212);
static_assert(offsetof(ChartSettings, end_value) == 216);
static_assert(offsetof(ChartSettings, up_color) == 220);
static_assert(offsetof(ChartSettings, oi_color) == 248);
static_assert(offsetof(ChartSettings, use_default_range) == 252);
static_assert(offsetof(ChartSettings, alert_colors) == 260);
static_assert(offsetof(ChartSettings, percent) == 268);
static_assert(offsetof(ChartSettings, window_kind) == 272);
static_assert(offsetof(ChartSettings, line_width) == 276);
static_assert(offsetof(ChartSettings, display_flags) == 280);
static_assert(offsetof(ChartSettings, position_colors) == 284);
static_assert(offsetof(ChartSettings, bidask_color) == 292);
static_assert(offsetof(ChartSettings, event_mark_color) == 304);
static_assert(offsetof(ChartSettings, percent_base_time) == 308);
static_assert(offsetof(ChartSettings, days_back) == 312);
static_assert(offsetof(ChartSettings, use_days_back) == 314);
static_assert(offsetof(ChartSettings, base_unit) == 316);
static_assert(offsetof(ChartSettings, normal_rect) == 324);
static_assert(offsetof(ChartSettings, show_cmd) == 340);
static_assert(offsetof(ChartSettings, rect_slots) == 344);
static_assert(offsetof(ChartSettings, pane_count) == 360);
static_assert(offsetof(ChartSettings, client_rect) == 364);
static_assert(offsetof(ChartSettings, pane_rects) == 380);
static_assert(offsetof(ChartSettings, pane_content) == 444);
static_assert(offsetof(ChartSettings, splitter_rects) == 460);
static_assert(offsetof(ChartSettings, splits) == 508);
static_assert(offsetof(ChartSettings, pane_shown) == 520);
static_assert(offsetof(ChartSettings, m_nFirst) == 536);
static_assert(offsetof(ChartSettings, m_nNum) == 544);
static_assert(offsetof(ChartSettings, candle_size) == 548);
static_assert(offsetof(ChartSettings, item_count) == 552);
static_assert(offsetof(ChartSettings, items_word) == 556);
static_assert(offsetof(ChartSettings, pulse) == 560);
static_assert(offsetof(ChartSettings, pulse_min_price) == 576);
static_assert(offsetof(ChartSettings, price_code) == 580);
static_assert(offsetof(ChartSettings, saved_splits) == 584);
static_assert(offsetof(ChartSettings, spare620) == 620);
static_assert(offsetof(ChartSettings, items) >= CHART_SETTINGS_SIZE);

// The default study colour of the default template.
constexpr uint32_t CS_DEFAULT_STUDY_COLOR = 0x4080FF;

// Writes every stored field (items_word as 0) into a 628-byte image.
void encode_chart_settings(const ChartSettings* s, uint8_t* image);
// Reads every field of a 628-byte image. Texts are taken byte for byte (a
// stored text may fill its field without a zero: read them bounded, with
// chart_settings_text); items becomes null and items_word 0.
void decode_chart_settings(const uint8_t* image, ChartSettings* s);
// A text field as a terminated string of at most n - 1 characters.
void chart_settings_text(const char* field, int n, char* out);

// The default template: zeros, then the template's values; `today` is the
// date stored at 216 (yyyymmdd).
void default_chart_settings(ChartSettings* s, int today);
