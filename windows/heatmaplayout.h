// CHeatMapLayout: the engine of the heat-map window. From the symbols'
// live-quote records it computes one value per cell for the chosen sort
// key, divides their range into a 23-step colour spectrum, sorts the
// cells, lays them out in a grid and draws the spectrum bar, the cells and
// the hover label into the context the view hands it. It has no window.
#pragma once

#include <cstdint>

#include "platform/qt/color.h"
#include "platform/qt/rect.h"

class KvDC;
struct mqt;

enum {
  HEATMAP_CELLS_MAX = 200,
  HEATMAP_STEPS = 23,
  HEATMAP_VALUE_SLOTS = 11,
  // Cell flags.
  HEATMAP_EXCLUDED = 0x1,
  HEATMAP_HIDDEN = 0x2,
  HEATMAP_DELETED = 0x4,
  // Layout options.
  HEATMAP_MINI_CHARTS = 0x1,
  HEATMAP_SPARE = 0x2,  // cleared by a mark
  HEATMAP_EXTENDED = 0x4,
  // Constraint modes.
  HEATMAP_FREE = 0,
  HEATMAP_ROWS_FIXED = 1,
  HEATMAP_COLUMNS_FIXED = 2,
  // Sort keys.
  HEATMAP_KEY_NAME = 1,
  HEATMAP_KEY_PCT_PREV_CLOSE = 2,
  HEATMAP_KEY_CHG_PREV_CLOSE = 3,
  HEATMAP_KEY_PCT_OPEN = 4,
  HEATMAP_KEY_CHG_OPEN = 5,
  HEATMAP_KEY_PCT_GAP = 6,
  HEATMAP_KEY_GAP = 7,
  HEATMAP_KEY_LAST = 8,
  HEATMAP_KEY_PCT_MARK = 9,
  HEATMAP_KEY_CHG_MARK = 10,
  HEATMAP_KEY_PCT_CLOSE = 11,
  HEATMAP_KEY_CHG_CLOSE = 12,
  HEATMAP_KEY_DAILY_RANGE = 13,
  // Value slots of a cell.
  HEATMAP_SLOT_PCT_PREV_CLOSE = 0,
  HEATMAP_SLOT_PCT_OPEN = 1,
  HEATMAP_SLOT_PCT_CLOSE = 2,
  HEATMAP_SLOT_PCT_MARK = 3,
  HEATMAP_SLOT_PCT_GAP = 4,
  HEATMAP_SLOT_CHG_PREV_CLOSE = 5,
  HEATMAP_SLOT_CHG_OPEN = 6,
  HEATMAP_SLOT_CHG_MARK = 7,
  HEATMAP_SLOT_CHG_CLOSE = 8,
  HEATMAP_SLOT_GAP = 9,
  HEATMAP_SLOT_DAILY_RANGE = 10,
  // Mark types.
  HEATMAP_MARK_PREV_CLOSE = 1,
  HEATMAP_MARK_OPEN = 2,
  HEATMAP_MARK_NOW = 5,
  HEATMAP_MARK_CANDLE = 8,
};

struct HeatMapCell {
  KvRect cell;
  KvRect text;
  KvRect chart;
  int32_t column;
  int32_t row;
  float values[HEATMAP_VALUE_SLOTS];
  mqt* record;      // null in an empty slot and in a deleted cell
  char symbol[32];  // the cell's symbol, kept while it is deleted
  uint32_t flags;   // HEATMAP_EXCLUDED, HEATMAP_HIDDEN, HEATMAP_DELETED
  int32_t mark_type;
  float mark_change;  // percent
  float mark_price;
};

struct SpectrumStep {
  KvRect slot;
  COLORREF color;
  float lower;
  float upper;
};

// The menu text of a sort key (1-13), or "".
const char* heatmap_key_text(int key);
// 1 for the keys whose values are money (shown with "$"), 0 for percents.
int heatmap_key_is_money(int key);
// The value slot of a key, -1 for the keys without one (name and last).
int heatmap_key_slot(int key);
// Neither hidden nor deleted.
inline bool heatmap_cell_shown(const HeatMapCell& c) {
  return (c.flags & (HEATMAP_HIDDEN | HEATMAP_DELETED)) == 0;
}

class CHeatMapLayout {
 public:
  CHeatMapLayout();

  // 0: cell count and shown count = count; 1: shown count = count; 2: one
  // more cell, shown count = count. Always keeps the array.
  void SetCells(int mode, int count, HeatMapCell* cells);
  // A fixed number below 1 for the chosen mode counts as 1.
  void SetConstraint(int mode, int rows, int columns);
  void CalcLayouts(KvDC& dc, const KvRect& client);
  // Fills the key's value of every shown, included cell and rebuilds the
  // spectrum bounds. Reads the records under g_chart_lock.
  void ComputeValues();
  // The average daily range of every cell with a record, into its slot:
  // loads daily charts, so it runs when the key is chosen, the map sorted
  // or a symbol added, never in a paint.
  void ComputeDailyRanges();
  // The same for one cell (a symbol added while the key is current).
  void ComputeDailyRange(HeatMapCell& c);
  // -1 keeps the current key; keys 1-13 become current and sort the whole
  // array (empty slots last, values that are no number after the numbers,
  // equal values in their order); other keys sort nothing.
  void Sort(int key);
  // Marks every shown cell (time: the bar time of a candle mark).
  void SetMark(int type, int32_t time);
  void DrawAll(KvDC& dc);
  void DrawSpectrum(KvDC& dc, int bar_only);
  // The hover label of the slot under the pointer: it shows the range of
  // the step painted there (the bar is painted mirrored).
  void DrawStepLabel(KvDC& dc, int slot);
  int CellAt(int x, int y) const;
  // The cell's symbol, in double quotes when quoted is set; null off a cell.
  const char* SymbolAt(int x, int y, int quoted) const;
  int StepAt(int x, int y) const;
  KvSize PreferredSize(KvDC& dc) const;

  // The step whose range holds v (from step 11 for exactly 0), or -1.
  int StepOf(float v) const;
  // The step painted in a slot of the bar.
  static int StepInSlot(int slot) { return HEATMAP_STEPS - 1 - slot; }

  HeatMapCell* cells = nullptr;
  uint32_t options;
  int32_t balance = 0;
  SpectrumStep steps[HEATMAP_STEPS];
  KvRect client;
  int cell_count = 0;
  int shown_count = 0;
  int columns = 0;
  int rows = 0;
  int cell_width = 0;
  int cell_height = 0;
  KvRect spectrum;
  int step_width = 16;
  int step_width2 = 12;
  KvRect map;
  int sort_key = HEATMAP_KEY_PCT_PREV_CLOSE;
  int constraint = HEATMAP_FREE;
  int fixed_rows = 0;
  int fixed_columns = 0;

 private:
  void DrawCell(KvDC& dc, const HeatMapCell& c, const struct heatmap_cell_copy& copy);
};

// Columns and rows for n shown cells without constraint (at least 1 each).
void heatmap_grid(int n, int* columns, int* rows);
