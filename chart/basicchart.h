// CBasicChart: one chart pane. It divides the pane's rectangle into strips
// (title, quote line, status strips, label and tick columns, time axis,
// events strip, data area), decides which bars are visible, fits the
// vertical scale of each content, converts points into bars and prices,
// and draws the pane's frame: labels, grid, time axis, title and events.
//
// It has no window of its own: the pane container holds up to four, makes
// every call into them, and hands each the owner's canvas view, whose
// horizontal scroll information (min, max, page, pos: the last position is
// max - page + 1) picks the visible bars. Drawing goes through the owner's
// KvDC, whose pixel rules the arithmetic here assumes.
//
// Laying out reads chart records that the quote threads grow, so it runs
// under g_chart_lock (re-entrant).
#pragma once

#include <cstdint>

#include "data/axis_scale.h"
#include "platform/qt/dc.h"

#include <vector>

struct ChartSettings;
struct axis_scale;
struct chart_bar;
struct mqt;
struct chart_rec;
struct StudyDef;
struct line_record;
class KvCanvasView;

// Bar geometry word: bits 0-7 pitch, 8-13 left gap, 14-19 right gap,
// 20-25 centre offset, 26-31 wick width.
inline int candle_pitch(uint32_t w) {
  return int(w & 0xFF);
}
inline int candle_left_gap(uint32_t w) {
  return int((w >> 8) & 0x3F);
}
inline int candle_right_gap(uint32_t w) {
  return int((w >> 14) & 0x3F);
}
inline int candle_centre(uint32_t w) {
  return int((w >> 20) & 0x3F);
}
inline int candle_width(uint32_t w) {
  return int((w >> 26) & 0x3F);
}
inline uint32_t make_candle_def(int pitch, int lgap, int rgap, int centre, int width) {
  return uint32_t(pitch & 0xFF) | uint32_t(lgap & 0x3F) << 8 | uint32_t(rgap & 0x3F) << 14 |
         uint32_t(centre & 0x3F) << 20 | uint32_t(width & 0x3F) << 26;
}
// The geometry word of a candle-size index 0-5 (3: the custom word). A
// word with no usable pitch falls back to the medium bars.
uint32_t candle_def_for_size(int index, uint32_t custom);
// Time-axis label density of a pitch: below 7 0, below 15 1, else 2.
int density_for_pitch(int pitch);

// Content bits of a pane.
enum : int { CONTENT_PRICE = 0x01, CONTENT_VOLUME = 0x02, CONTENT_STUDIES = 0x3C };

// Distribution tables.
enum { PVD_ROWS = 251, PVD_VOL_AXIS = 100 };
struct pvd_row {
  int32_t offset;  // pixels above the data bottom
  double price;
  int32_t volume;
  uint32_t flags;  // 1 row drawn, 2 row labelled, 4 first entries, one per volume label
};
struct pvd_axis_entry {
  int32_t x;  // pixels right of the data left
  int32_t volume;
  int32_t spare;
};
// The distribution record of the price/volume window (the fields the pane reads).
struct pvd_record {
  char symbol[32];
  int32_t date;
  double tick_size;
  double base_price;  // price of row 0
  double price_step;  // per row
  int32_t volume[PVD_ROWS];
  float low, high, last;
  int32_t time1, time2;
};
struct pvd_layout {
  pvd_row rows[PVD_ROWS];
  pvd_axis_entry axis[PVD_VOL_AXIS];
  int row_count;
  uint32_t row_def;  // geometry word, row height as pitch
  double volume_per_pixel;
  int axis_count;
};
extern pvd_layout g_pvd;

// Periods of the trading day that colour the time-tick strip.
struct day_period {
  const char* start;
  const char* end;
  COLORREF color;
  int start_sec, end_sec;
};
extern day_period g_day_period_colors[14];
// The colour of the first period holding the time of day, or -1.
long day_period_color(int seconds_of_day);

// One symbol of the horse race.
struct hrace_entry {
  int32_t left_x, right_x;  // the drawn column, written by the pane
  mqt* quote;               // the symbol's live-quote record
  uint8_t flags;            // 0x02 or 0x04 hides the entry
};
// The horse-race list of the horse race window, handed to its panes.
struct hrace_list {
  int entry_count;        // the panes' bar count
  int symbol_count;       // divisor of the race average
  axis_scale* scales[4];  // per pane slot, filled by the vertical scaling
  uint32_t view_bit;
  hrace_entry* entries;  // entry_count entries
};

class CBasicChart {
 public:
  CBasicChart();
  ~CBasicChart() = default;

  // Stores links and switches and takes the bar geometry; sets the
  // chart's time-axis density from it. chart_ref is the address of the
  // document's chart pointer (kind 1), hrace the list (kind 4).
  void Init(int header_on, int time_axis_on, const KvRect& pane, KvDC* dc, ChartSettings* settings,
            KvCanvasView* owner, chart_rec** chart_ref, int* overlay_count, chart_rec** overlays,
            int label_mode, int layout_value, hrace_list* hrace = nullptr,
            pvd_record* pvd = nullptr);
  void Reset();
  void set_content_override(int bits) { content_override = bits; }
  void set_pvd_data(pvd_record* record) { pvd = record; }

  void CalcHeaders();
  void CalcLabelRect(int side);
  void CalcLabelTickRect(int side);
  void CalcDataRect();
  // Fits one content (CONTENT_*) between the data area's top and bottom,
  // keeping the label height of that side free. Result of the scaling.
  int CalcVerticalScale(int content, int side);
  // Distribution rows and volume axis (kind 6).
  void CalcPVDLayout();

  // The data area, or the estimate of it before a layout.
  KvRect getChartDataRect(int label_count);
  int getChartDataWidth(int label_count) { return getChartDataRect(label_count).Width(); }
  void clearChartDataRect() { data_rect.SetRectEmpty(); }
  // Widest label text and its length in characters.
  const char* LabelWidthText(int* chars) const;

  // Point conversions.
  int BarAtPoint(int x, int y) const;
  // The same, with the chart's symbol ("?" when no bar is hit).
  int BarAtPoint(int x, int y, char* symbol, int size) const;
  int32_t TimeAtOffset(int offset) const;
  double PriceAtPoint(int y, const axis_scale* scale) const;
  int PVDRowAtPoint(int y) const;
  int FirstBarAfter(int32_t time) const;
  void SymbolsText(char* out, int size) const;

  // Frame drawing (into dc, with this pane's rectangles).
  void DrawLabels(int side, const axis_scale* list);
  void DrawLabelTicks(int side, const axis_scale* list);
  void DrawGridLines(const axis_scale* list, int content);
  void DrawGridRow(int y, int style_word);
  void DrawVerticalGrid(int x);
  void DrawDayBreak(int x);
  void DrawTimeAxis();
  void DrawTickStripColours();
  void DrawTitle();
  void DrawEventsFrame();
  void DrawEventMarks();
  // The frame of a price or volume pane: title, tick colours, time axis,
  // events frame, labels and grid from the two lists, event marks.
  void DrawFrame(int content, const axis_scale* first, const axis_scale* second);
  const char* TimeSpanText();
  void ClipTo(const KvRect& r);
  // Grid style word of a label: low 4 bits the kind (1, 2 dotted, 0
  // dots), the rest the dot spacing.
  int GridStyle(const char* text, int content) const;

  // Drawing of the contents (chart/chartdraw.cpp). DrawChart draws one
  // content (CONTENT_PRICE, CONTENT_VOLUME, or study groups) with the two
  // label lists of its scales; DrawLastPoint redraws the newest bar alone
  // and returns 0 when it no longer fits the scale (redraw the window).
  // Both hold g_chart_lock and draw with this pane's own scale copies.
  void DrawChart(int first_layer, int content, KvDC* dc, const axis_scale* first,
                 const axis_scale* second);
  int DrawLastPoint(int content, KvDC* dc, const axis_scale* first, const axis_scale* second);
  // Open, high, low, close of bar i (overlay j >= 0: that overlay's bar
  // of the same time) in pixels above the data bottom; 0 when none.
  int BarPoints(int i, int overlay, int pts[4]);
  void DrawPriceBar(int i, int single);
  void DrawOverlayLegends();
  void DrawVolume(int start);
  void DrawStudies(int content, int start);
  void DrawBarHighlight(int i);
  // Live-quote parts (chart/quoteline.cpp); a null record shows "n/a ".
  void DrawQuoteLine(KvDC* dc, const mqt* quote);
  void DrawBidAskBar(KvDC* dc, const mqt* quote);
  void DrawFreshness(const mqt* quote);
  void DrawStripFrames(int time_axis_pass);
  // Trading-system marks (chart/signals.cpp).
  const QImage* PaneBitmap(int id);
  void DrawPaneBitmap(int id, int x, int y);
  // y of a price on this pane's price or percent scale (INT32_MIN: none).
  int PriceRow(double price);
  void DrawSignalMarks(const StudyDef* study, int i, int left, int top, int bottom);
  void DrawFillMarks(int i, int left);
  void DrawPositionBlock(const StudyDef* study, const axis_scale* scale, int i, int left,
                         int right);
  void DrawDailyLines();
  // Stored lines of the chart (chart/annotations.cpp).
  void DrawAnnotations();
  void DrawFibonacci(const line_record& line, int y1, int y2, int style, int width);
  void DrawChannel(const line_record& line, KvPoint p1, KvPoint p2, int style, int width);
  // A level's text, its bottom on the row, just right of the data area's left edge.
  void DrawLevelLabel(const char* text, int row, COLORREF color);
  // Horse race and distribution panes (chart/hrace.cpp). DrawHRace draws
  // one content of a race pane with the label-side scales; the column
  // extents go into the list's entries, the summary into hrace_hit.
  void DrawHRace(int first_layer, int content, KvDC* dc, const axis_scale* left_scale,
                 const axis_scale* right_scale);
  void DrawHRacePriceData();
  void DrawHRaceStudyData();
  void DrawHRaceVolumeData();
  void DrawHRaceBar(int left, const float values[4], const axis_scale* scale);
  void DrawHRaceLabel(int column, int left, const mqt* quote);
  // Average (trunc(100 x race value) summed over the symbol count), rising
  // and falling entries of the last price drawing.
  void GetHRaceSummary(int* average, int* rising, int* falling) const;
  void DrawPVD(int first_layer, int content, KvDC* dc, const axis_scale* left_scale,
               const axis_scale* right_scale);
  void DrawPVDData();
  void DrawPVDLabels(int side);
  void DrawPVDVolumeMarks();
  void DrawPVDTitle();
  // The day's range and last-price marker in the marker strip only.
  void UpdatePVD(KvDC* dc);
  // Copies the chart's scales (and those of the pane's studies) after a
  // layout: another window of the same chart lays out into the same blocks.
  void KeepScales();
  const axis_scale* StudyScale(const StudyDef* study) const;

  chart_rec* chart() const { return chart_ref ? *chart_ref : nullptr; }
  int kind() const;
  bool printing() const { return view_flags && (*view_flags & 0x08); }

  // Links.
  ChartSettings* settings = nullptr;
  const uint32_t* view_flags = nullptr;
  KvCanvasView* owner = nullptr;
  KvDC* dc = nullptr;
  chart_rec** chart_ref = nullptr;
  int* overlay_count = nullptr;
  chart_rec** overlays = nullptr;
  hrace_list* hrace = nullptr;
  pvd_record* pvd = nullptr;

  COLORREF left_attr = 0, right_attr = 0;
  int study_scale_count = 0;
  StudyDef* study_first = nullptr;
  StudyDef* study_second = nullptr;
  int scroll_pos = 0;
  int header_on = 0, time_axis_on = 0;
  int bar_count = 0;

  KvRect pane_rect, work_rect;
  KvRect title_rect, quotes_rect, alerts_rect, grtrade_stat_rect, grtrade_rect, bidask_rect;
  KvRect label_rect[2], label_tick_rect[2], time_rect, time_tick_rect, events_rect, data_rect;
  KvSize title_ext, quotes_ext, label_ext[2], time_ext;
  int label_text_height[2] = {13, 13};

  int label_mode = 0, layout_value = 0;
  // The picked bar time of the Selected Candle alignment, 0 none (from CPane).
  int32_t selected_time = 0;
  int left_on = 0, right_on = 0;
  int content_override = 0;
  int first_layer = 0;
  uint32_t candle_def = 0;
  int scale_dirty = 1;
  char span_text[400] = {};

  // This pane's copies of the scales of its last layout.
  axis_scale own_price = {}, own_volume = {};
  // The percent bases of the chart and its overlays at that layout: the
  // records' own fields follow whichever window laid out last.
  double own_percent_base = 0;
  double own_overlay_bases[20] = {};
  struct study_scale_copy {
    const StudyDef* study;
    axis_scale scale;
  };
  std::vector<study_scale_copy> own_study_scales;
  // The horse race's summary, recorded while drawing it.
  int hrace_hit[3] = {};
  // Row of each overlay's last drawn point, for its legend.
  int overlay_rows[20] = {};
  // Heikin-Ashi bars of the draw in progress (chart type 10).
  const chart_bar* ha_bars = nullptr;
  // The pane's bitmaps by resource id, recoloured to bitmap_bg.
  std::vector<std::pair<int, QImage>> bitmaps;
  COLORREF bitmap_bg = 0xFFFFFF;
};
// The bar geometry word of the horse race and the distribution for count
// columns (rows) in extent pixels: the spacing table's entry extent / count,
// at most 17; entry 0 for no count.
uint32_t SpacingForCount(int extent, int count);
// The bitmap of a trade-signal word above (buy 0) or below (buy 1) a bar, or 0.
int signal_bitmap_id(uint32_t word, int buy);
