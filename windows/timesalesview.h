// CKvTimeSalesView: the trades of one symbol as they arrive, newest at the
// top, at most 1,000 rows, each coloured by where it traded against the
// quote. Trades come as WM_TRADE_UPDATE with a heap copy of the entry that
// the window owns from then on (the row keeps it and frees it with itself).
#pragma once

#include <cstdint>

#include "chartwin/chartdoc.h"
#include "platform/qt/docview.h"
#include "windows/listviewex.h"

struct mqt;
struct ts_entry;
class QMenu;

enum { TS_ROWS_MAX = 1000, TS_RELOAD_MAX = 128, TS_COLUMNS_MAX = 4 };

class CKvTimeSalesView : public KvView, public CKvWindowStateView {
 public:
  CKvTimeSalesView();
  ~CKvTimeSalesView() override;

  void OnInitialUpdate() override;
  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  CListViewEx* ListView() const;
  // Takes the symbol (as a drop does); 0 when the text is no symbol.
  int SetSymbol(const QString& text);
  // After a new time-and-sales window is made: the frame's normal
  // rectangle is narrowed to the columns, the title set, the saved columns
  // applied and the tape loaded when a symbol is set.
  void SizeFrameToList();
  // Unsubscribes, then subscribes again and reloads the stored trades.
  void Refresh();
  // 0 to 6 decimals, 32 or 64; then Refresh. 0 for another code.
  int SetPrecision(int code);
  // One entry the window now owns (new, cancel or correct).
  void OnUpdateFromThread(ts_entry* entry);
  const ts_entry* RowEntry(int row) const;
  // The pop-up as the right button shows it, its entries bound.
  QMenu* BuildPopupMenu(QWidget* parent);
  mqt* Record() const { return m_record; }
  uint32_t SubscriptionToken() const { return m_ts_token; }

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  class TapeList;
  int insert_row(int at, ts_entry* entry);
  void refresh_row(int row);
  int find_key(int32_t key) const;
  void unsubscribe();

  TapeList* m_list;
  mqt* m_record = nullptr;
  // The window id the subscription was made with: a closing frame takes
  // the view's id away before the view goes, and the slot is found by it.
  kv_hwnd m_sub_window = 0;
  uint32_t m_ts_token = 0;  // the subscription whose entries this window takes
};

// Seconds of day of a trade time plus the offset, wrapped into one day.
int kv_wrap_time_of_day(int seconds, int offset);
