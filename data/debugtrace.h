// Command-line option bits, the trace mask and the trace printer that every
// component uses for its debugging traces.
#pragma once

#include <cstdint>

// Bits of g_option_flags, by command-line switch letter.
enum : uint32_t {
  OPT_TRACE_ANNOT = 0x1,        // a: annotation lines and line drawing
  OPT_TRACE_CHART = 0x2,        // b: chart pane layout and drawing
  OPT_D_UNUSED = 0x4,           // d: tested by no component
  OPT_TRACE_DISPLAYINFO = 0x8,  // D: display-info and events windows
  OPT_TRACE_CHARTSTORE = 0x10,  // g: chart store (favourites, import list)
  OPT_TRACE_HEATMAP = 0x20,     // h: heat-map view updates
  OPT_TRACE_HORSERACE = 0x40,   // H: horse-race and price/volume distribution views
  OPT_TRACE_INET = 0x80,        // n: web session
  OPT_TRACE_MAINFRAME = 0x100,  // m: main frame message handlers, horse-race thread messages
  OPT_TRACE_PANE = 0x200,       // p: pane container
  OPT_Q_UNUSED = 0x400,         // q: tested by no component
  OPT_TRACE_STUDY = 0x800,      // s: study engine and study pages
  OPT_LEVEL_MASK = 0x3000,      // S: level 0-3 in bits 12-13
  OPT_TRACE_MASK_SET = 0x4000,  // t: a number given with t is g_trace_mask
  OPT_TRACE_MARKET = 0x8000,    // T: level 2, order book, time and sales views
  OPT_TRACE_VIEW = 0x10000,     // v: chart view "Class::Method" lines
  OPT_INSTANCE = 0x20000,       // x: an instance letter was given
};

constexpr int OPT_LEVEL_SHIFT = 12;

// Command-line option word; all zero at start.
extern uint32_t g_option_flags;
// Number given with switch t; its bits enable the quote and broker thread traces.
extern uint32_t g_trace_mask;

// Size of the trace buffer; longer traces are cut to DEBUG_TRACE_MAX - 1 characters.
constexpr int DEBUG_TRACE_MAX = 4096;

// printf-style trace printer. Formats the text (bounded) and writes it to
// standard error while tracing is switched on (any trace switch or a
// non-zero g_trace_mask). Returns the number of characters formatted,
// at most DEBUG_TRACE_MAX - 1.
int debug_trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
