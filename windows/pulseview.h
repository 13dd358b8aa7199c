// CKvMktPulseView: the market pulse window, a scanner. On "Update" it asks
// the relay interface for the market statistics table of the chosen
// markets and lists, filtered by volume and price, and lists one row per
// symbol. The request may wait for the relay up to 30 s, so it runs on a
// worker thread, one scan at a time (the table is shared); the worker
// posts a copy of the table back and the window shows the wait cursor
// meanwhile.
#pragma once

#include <cstdint>
#include <vector>

#include "chartwin/chartdoc.h"
#include "platform/qt/docview.h"
#include "quotes/relayhist.h"
#include "windows/listviewex.h"
#include "windows/pulsesettingsdlg.h"

class QMenu;

enum { PULSE_COLUMNS_MAX = 14 };

// The worker's answer: the entries of one scan.
struct pulse_scan_result {
  uint32_t scan;  // the window's scan number it answers
  int32_t count;
  market_stat entries[MARKET_STATS_MAX];
};

class CKvMktPulseView : public KvView, public CKvWindowStateView {
 public:
  CKvMktPulseView();
  ~CKvMktPulseView() override;

  void OnInitialUpdate() override;
  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  CListViewEx* ListView() const;
  // Starts a scan; the rows come when it ends.
  void Update();
  // True while a scan of this window runs.
  bool Scanning() const { return m_pending > 0; }
  const PulseSettings& Settings() const { return m_pulse; }
  void SetSettings(const PulseSettings& s);
  // Runs the settings dialog; on OK takes its values and scans.
  void OnSettings();
  int ToggleColumn(int id);
  QMenu* BuildPopupMenu(QWidget* parent);
  // Rows from one table (as a finished scan gives them).
  void ShowEntries(const market_stat* entries, int count);

 protected:
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  class PulseList;
  void columns_changed();
  void fill_rows();
  void format_cell(const market_stat& m, ListCell& c, QString* text) const;

  PulseList* m_list;
  PulseSettings m_pulse;
  std::vector<market_stat> m_stats;  // the last scan's entries
  uint32_t m_scan = 0;               // number of the newest scan asked for
  int m_pending = 0;                 // scans asked for and not answered
  int m_shown_columns = 0;
  bool m_restoring = false;
};
