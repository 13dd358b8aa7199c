// Bits of a chart's flag word (price-file header offset 116, kept in the
// chart record too).  Where the chart window and the trading code give a
// bit a second meaning, both names are defined on the same value.
#pragma once

#include <stdint.h>

enum : uint32_t {
  CHART_BARS_CHANGED = 0x4,         // bars changed since read: write needed
  CHART_IMPORTED = 0x4,             //   (set after an import or a hand edit)
  CHART_EXT_CHANGED = 0x8,          // extension blocks changed
  CHART_REPAINT = 0x10,             // the chart's window must repaint
  CHART_RECALC = 0x20,              // window must recompute panes and scroll bar
                                    //   (sent with WM_UPDATE_FROM_THREAD)
  CHART_HEADER_ONLY = 0x40,         // only the header was read
  CHART_LISTED = 0x80,              // on g_chart_list
  CHART_MERGED = 0x100,             // bars merged with fetched data; to be written;
  CHART_MERGED2 = 0x200,            //   a daily chart so marked copies its bars to
                                    //   the other daily charts of its symbol
  CHART_READ_ONLY = 0x400,          // not written unless CHART_FORCE_WRITE
  CHART_WRITE_ALL = 0x800,          // write every bar (no trimming)
  CHART_EDITING = 0x800,            //   (set while being edited or drawn on)
  CHART_READ_ONLY2 = 0x1000,        // as CHART_READ_ONLY
  CHART_STUDIES_GIVEN = 0x2000,     // studies handed to another record
  CHART_BACKTEST_FED = 0x2000,      //   (a back-test feeds it)
  CHART_STUDIES_GIVEN2 = 0x4000,    // studies handed to another record
  CHART_FORCE_WRITE = 0x8000,       // write even when read-only; cleared by the write
  CHART_SYSTEM_RUNNING = 0x20000,   // a trading system runs on it
  CHART_INHERITED = 0x40000,        // inherited by charts compressed from this one
  CHART_GRTRADE_SHOWN = 0x40000,    //   (graphical trading shown; wants the live-quote
                                    //   record's notices)
  CHART_BIDASK_SHOWN = 0x80000,     // bid/ask bar shown
  CHART_ANNOT_CHANGED = 0x100000,   // annotation lines changed
  CHART_RATIO_SPREAD = 0x200000,    // ratio spread chart (symbol "R~...")
  CHART_STUDIES_STALE = 0x400000,   // studies need recomputing
  CHART_ORDER_ATTACHED = 0x400000,  //   (an order is attached to one of its studies)
};

// Bits cleared in the header image before a write, and after reading a
// header.
enum : uint32_t {
  CHART_CLEAR_ON_WRITE = 0x4 | 0x2000 | 0x4000 | 0x8000 | 0x10000 | 0x20000,
  CHART_CLEAR_ON_READ =
      0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x2000 | 0x40000 | 0x100000,
};
