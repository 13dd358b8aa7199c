// CKvChartDoc: the document of every window kind. For a chart window it
// owns the chart record of the main symbol, the charts of up to 20 added
// symbols, the base chart of a compressed tick or volume view and the
// studies a reopened window carries until its chart arrives; it turns a
// typed symbol expression into loads, keeps the window title, serves the
// Data and Studies commands and fills or restores the window descriptor of
// page layouts and favourites.
//
// Other kinds keep only their settings here; what their views save and
// restore goes through CKvWindowStateView (a view of another kind derives
// from it and fills the two calls).
//
// Charts are shared with the loading and quote threads: they are released
// only through free_chart_data, and reads of their bars hold g_chart_lock.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/window.h"
#include "shell/windowdoc.h"
#include "studies/pages/ppcommon.h"

struct chart_rec;
struct WindowDescriptor;

// Reasons of a symbol change (the load mode and loader flags follow them).
enum : int {
  CHANGE_TYPED = 1,      // typed symbol, time span, list stepping
  CHANGE_RELOAD = 2,     // Data/Reload: queued
  CHANGE_UPDATE = 3,     // Data/Update: queued
  CHANGE_OPEN_FILE = 4,  // opening a chart file
  CHANGE_PAGE = 5,       // page layouts, favourites, symbol lists
  CHANGE_SETUP = 6,      // the chart set-up dialog
  CHANGE_APP_UNIT = 7,   // opening a chart file with the application's unit
  CHANGE_PLAIN = 8,
  CHANGE_DROPPED = 9,  // dropped symbol text
};

enum { CHART_EXTRA_MAX = 20, CHART_EXPR_WORDS = 19 };

// Command ids of the document's message map.
enum : unsigned {
  ID_DATA_UPDATE = 32779,
  ID_DATA_RELOAD = 32814,
  ID_DATA_UPDATE_FROM_INTRADAY = 33266,
  ID_PURGE_TODAY = 32915,
  ID_PURGE_PRIOR = 32916,
  ID_PURGE_ALL = 32917,
  ID_UPDATE_SLF_SYMBOLS = 32947,
};

// A view of a kind other than the chart saves and restores its own state
// (list columns, map cells ...) through these; the document calls them for
// its first view.
class CKvWindowStateView {
 public:
  virtual ~CKvWindowStateView() = default;
  virtual void SaveWindowState(WindowDescriptor* d) = 0;
  virtual void RestoreWindowState(const WindowDescriptor* d) = 0;
};

// A view that holds symbol cells (the symbol map) lends them to the
// document's symbol-list save.
class CKvSymbolCellsView {
 public:
  virtual ~CKvSymbolCellsView() = default;
  // The cell's flags, its record's symbol and description (null without a
  // record); 1 for an index at or past the cells in use, else 0.
  virtual int GetCellInfo(int index, uint32_t* flags, const char** symbol,
                          const char** description) = 0;
  // Sorts by name before the list is written (by_name set), by the view's
  // own key afterwards.
  virtual void SortForSave(int by_name) = 0;
};

class CKvChartView;

class CKvChartDoc : public CKvWindowDoc, public KvStudyDocument {
 public:
  explicit CKvChartDoc(int kind = 1);
  ~CKvChartDoc() override;

  // ---- symbols and charts ----
  // Loads a symbol expression ("IBM", "IBM + MSFT", "+ MSFT", "- IBM");
  // nonzero on success.  A failed load leaves the previous chart.
  int ChangeSymbol(const char* expr, const char* path, int start, int reason);
  // The shell's entry (page layouts, favourites, symbol lists): a chart
  // reopened from a descriptor loads its added symbols with it.
  int ChangeSymbol(const char* symbol, int mode) override;
  // Installs a loaded chart (the document takes its reference); 1, or 0
  // for a null chart.
  int SetChartData(const char* symbol, chart_rec* chart);
  // The window title (a shared buffer the next call overwrites).
  const char* GetTitleText();
  static const char* GetTimeUnitName(int unit);
  int GetBarCount() const;
  // With unit > 0 it first becomes the settings' unit; the start date of
  // daily, weekly and monthly units, else 0.
  int GetStartDate(int unit);
  // "MAIN +A +B".
  QString JoinSymbols() const;
  // The same into a 32-byte field; 0 with the truncation message when it
  // does not fit.
  int JoinSymbolsBounded(char out[32]);
  // Tick and volume compression of the base chart; CompressTicks returns
  // the new unit (0 when it could not be built).
  int CompressTicks(int factor);
  void RestoreTicks();
  // Sets the title from GetTitleText.
  void UpdateTitle();

  void FillWindowDescriptor(WindowDescriptor* d) override;
  void RestoreWindowDescriptor(const WindowDescriptor* d) override;
  bool OnNewDocument() override;
  bool OnOpenDocument(const QString& path) override;
  bool SaveModified() override;
  bool SaveSymbolList(const QString& path) override;

  chart_rec* ChartRecord() const override { return m_chart; }
  chart_rec* BaseChart() const { return m_base_chart; }
  int ExtraCount() const { return m_nextra; }
  chart_rec* ExtraChart(int i) const {
    return i >= 0 && i < m_nextra ? m_extra_charts[i] : nullptr;
  }
  CKvChartView* ChartView() const;

  // KvStudyDocument (the Studies sheet).
  void UpdateAllViews() override { KvDocument::UpdateAllViews(nullptr, 0); }
  chart_rec* GetBaseChart() override { return m_base_chart; }

  // Written by the view's initial update: every chart installed here
  // reports to it.
  kv_hwnd m_view_window = 0;
  int m_unnamed = 1;

  // The pane container reads these by address.
  chart_rec* m_chart = nullptr;
  int m_nextra = 0;
  chart_rec* m_extra_charts[CHART_EXTRA_MAX + 4] = {};

 private:
  void map_commands();
  int load_word(const char* word, int mode, uint32_t flags, int start, int end, int added,
                const char* path);
  chart_rec* load_from_import_sources(const char* symbol, int unit, int start, int end,
                                      uint32_t flags, int density);
  void remove_symbol(const char* word);
  void free_extras();
  void run_studies_sheet(int page, int type);
  int purge(int mode);
  // Commands a load posts for its own window go to this document's view.
  void post_to_view(unsigned id);
  kv_hwnd view_hwnd();
  int density() const;

  chart_rec* m_base_chart = nullptr;
  char m_title_text[400] = {};
};

// Nonzero when an order is attached to one of the chart's studies.
int chart_orders_attached(const chart_rec* chart);
// Nonzero when a live or simulated trading system runs on the chart.
int chart_trading_runs(const chart_rec* chart);
