// CKvLev2View and CKvOrderBookView: the market depth of one symbol, 20 bid
// entries beside 20 ask entries, one row per depth step, cells banded by
// price level. The relay's depth handler copies each book of the symbol
// into the view's buffer under g_chart_lock and posts WM_LEVEL2_UPDATE or
// WM_ORDERBOOK_UPDATE; the view takes a snapshot of the buffer under the
// same lock and formats the rows from the snapshot, so a row never mixes
// two books.
#pragma once

#include <QString>
#include <cstdint>

#include "chartwin/chartdoc.h"
#include "platform/qt/docview.h"
#include "quotes/booksubs.h"
#include "windows/listviewex.h"

struct mqt;
class QMenu;

enum {
  DEPTH_ROWS = 20,
  LEV2_COLUMNS_MAX = 11,
  ORDER_BOOK_COLUMNS_MAX = 9,
  PARTICIPANT_CODES = 30,
};
// Display flags of the window's settings.
enum : uint32_t { DEPTH_INSIDE_MARKET = 0x200, DEPTH_SIZE_IN_HUNDREDS = 0x400 };

// The five level colours, best price first.
extern const COLORREF kv_depth_level_colours[5];

class CKvDepthView : public KvView, public CKvWindowStateView {
 public:
  ~CKvDepthView() override;

  void OnInitialUpdate() override;
  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  CListViewEx* ListView() const;
  bool IsLevel2() const { return m_level2; }
  // Takes the symbol of a dropped text and re-subscribes; 0 when the text
  // is no symbol.
  int SetSymbol(const QString& text);
  // Drops the subscription and its rows, subscribes again with the
  // settings' symbol and inserts the 20 rows.
  void Resubscribe();
  // Formats every row from a snapshot of the book.
  void RefreshRows();
  // The symbol's record while subscribed, else null.
  mqt* Handle() const { return m_handle; }
  void ToggleSizeInHundreds();
  // The pop-up as the right button shows it, its entries bound.
  QMenu* BuildPopupMenu(QWidget* parent);

  // Texts of the cells, for a book in the buffer layout.
  static QString PriceText(float price);
  static QString ParticipantText(const uint8_t* book, int index);

 protected:
  CKvDepthView(int kind, bool level2);
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  virtual void AddOwnCommands(QMenu* menu) { (void)menu; }

 private:
  class BookList;
  void unsubscribe();
  void insert_rows();
  QString format_cell(const uint8_t* book, int row, int id) const;
  void colour_cell(const uint8_t* book, int row, ListCell& cell);

  BookList* m_list;
  bool m_level2;
  mqt* m_handle = nullptr;
  // The window id the subscription was made with: a closing frame takes
  // the view's id away before the view goes, and the slot is found by it.
  kv_hwnd m_sub_window = 0;
  // Written by the relay's input thread under g_chart_lock while subscribed.
  uint8_t m_book[BOOK_BUFFER_SIZE] = {};
  float m_last_bid = 0, m_last_ask = 0;
  int m_bid_level = 0, m_ask_level = 0;
};

class CKvLev2View : public CKvDepthView {
 public:
  CKvLev2View();
};

class CKvOrderBookView : public CKvDepthView {
 public:
  CKvOrderBookView();
  // Toggles "Include Inside Market" and tells the relay interface.
  void ToggleInsideMarket();

 protected:
  void AddOwnCommands(QMenu* menu) override;
};
