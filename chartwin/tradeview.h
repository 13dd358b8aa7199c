// CKvGrTradeView: trading from a chart window. It draws the symbol's
// working orders as lines over the price pane, the position line at the
// average price, a one-line status strip with seven order buttons, and lets
// the user place an order by picking a button and dragging to a price, move
// an order by picking its line and dragging it, change quantities from the
// keyboard and run the quick-order commands.
//
// It is no window: the chart view owns one, draws it into its own
// context at fixed steps of its paint and forwards its mouse, keys and
// commands while graphical trading is shown. The drag box is drawn into the
// view's backing image outside the paint: the image under it is saved and
// put back, and only the box's rectangle reaches the screen.
//
// Orders are the order bookkeeping's records on the live-quote record's
// list; every change leaves through create_order, place_order, cancel_order
// and delete_order, so paper and real accounts are driven alike. The list
// and positions are read under g_chart_lock, and an order is remembered by
// its serial, never by pointer.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <string>

#include "platform/qt/dc.h"

class KvCanvasView;
struct OrderDef;
struct mqt;
struct order_rec;

// Bits of the view's flag word that belong to graphical trading.
enum : uint32_t {
  GR_BOX_SHOWN = 0x4000,       // the drag box is on screen (its background saved)
  GR_CONTINGENT = 0x1000000,   // the next new order joins an existing order group
  GR_OVER_TARGET = 0x2000000,  // the pointer is over a strip button or an order line
  GR_DRAGGING = 0x4000000,     // the mouse is held and a price box follows it
  GR_ARMED = 0x8000000,        // a button or an order line was picked
  GR_RESET_MASK = 0xF0000000u | GR_CONTINGENT | GR_OVER_TARGET | GR_DRAGGING | GR_ARMED,
};

enum {
  GR_BUTTON_COUNT = 7,
  GR_BUTTON_SIZE = 15,
  GR_BUTTONS_WIDTH = 106,  // the strip's last pixels that the buttons take
  GR_BITMAP_SLOTS = 36,    // six families x buy, sell, neutral x active, inactive
};

// Strip buttons, left to right.
enum {
  GR_BUY_LIMIT = 1,
  GR_SELL_LIMIT = 2,
  GR_STOP = 3,
  GR_TRAIL_STOP = 4,
  GR_STOP_LIMIT = 5,
  GR_MIT = 6,
  GR_LIT = 7,
};

// What lies under the pointer: nothing, a strip button (value 1 to 7) or an
// order line (value the order's serial). The kind keeps a button apart from
// an order whatever the order's number.
enum { GR_HIT_NONE = 0, GR_HIT_BUTTON = 1, GR_HIT_ORDER = 2 };
struct grtrade_hit {
  int kind = GR_HIT_NONE;
  uint32_t value = 0;
  bool operator==(const grtrade_hit& o) const { return kind == o.kind && value == o.value; }
};

// Line selector of a two-line order.
enum { GR_LINE_LIMIT = 2, GR_LINE_AUX = 3 };

class CKvGrTradeView {
 public:
  // canvas: where drawing outside the paint goes; state: the view's flag word.
  CKvGrTradeView(KvCanvasView* canvas, uint32_t* state);
  ~CKvGrTradeView();
  CKvGrTradeView(const CKvGrTradeView&) = delete;
  CKvGrTradeView& operator=(const CKvGrTradeView&) = delete;

  // ---- set by the view on each paint ----
  void SetQuote(mqt* record);
  mqt* Quote() const { return m_quote; }
  void SetOrderDef(OrderDef* def) { m_def = def; }
  OrderDef* Def() const { return m_def; }
  void SetColors(COLORREF bg, COLORREF text, COLORREF long_color, COLORREF short_color);
  // The price at the cursor (0 on paint), the price pane's scale minimum
  // and pixels per price unit, and the typed text (the order tag).
  void SetScale(double price, double scale_min, double pixels_per_unit, const QString& typed);

  // ---- paint steps ----
  void DrawButtons(KvDC& dc, const KvRect& strip);
  void DrawOrders(KvDC& dc, const KvRect& data, const KvRect& trade);
  void DrawStatus(KvDC& dc, const KvRect& strip);

  // ---- mouse ----
  grtrade_hit IsOverGrTrade(int x, int y);
  // 1 when the press or release belongs to graphical trading.
  int BeginDrag(int x, int y);
  int EndDrag();
  void TrackMouse(int x, int y);

  // ---- keys and commands ----
  // direction +1 "+", -1 "-", 0 with a digit 1 to 9.
  void ChangeQuantity(int direction, int digit);
  void RemoveSelectedOrder(int cancel);
  void RemoveCancelledOrders();
  QString GetOcaName();
  // 1 when the order under the cursor (armed or dragging: the selected one)
  // exists; *cancelled is 1 when it is PendingCancel or Cancelled.
  int IsSelectedOrderRemovable(int* cancelled);
  // The order under the cursor or null; the caller holds g_chart_lock.
  order_rec* FindSelectedOrder();
  void BuyAtMid();
  void SellAtMid();
  void ClosePosition();
  void ReversePosition();
  void CancelAllOrders();
  void RotateOrderOpen();
  void RotateOrderStop();
  void RotateOrderTarget();
  void ResetState();

  // ---- read by the view and the tests ----
  // The price on the tick grid (halfway rounds down; a tick of 0 keeps it).
  double RoundToTick(double price) const;
  double Tick() const;
  const QString& StatusText() const { return m_status; }
  QString ModeLabel() const;
  // A price as the strip shows it: the symbol's tick decimals, 1/32 as 1/64.
  QString PriceText(double price) const;
  QString BracketText(int button) const;
  grtrade_hit Selection() const { return m_selected; }
  grtrade_hit Hit() const { return m_hit; }
  int PreparedQuantity() const { return m_prepared; }
  double DragPrice() const { return m_drag_price; }
  // The y of a price: the data rectangle's bottom less the scaled price.
  int PriceToY(double price) const;
  double YToPrice(int y) const;
  KvRect ButtonRect(int button) const;
  KvRect DragBox() const { return m_box; }
  // The status colour of an order (a COLORREF) on a line.
  static COLORREF StatusColor(const order_rec* o, int line);

 private:
  bool armed_or_dragging() const;
  bool order_shown(const order_rec* o) const;
  bool paper_mode() const;
  int position(double* avg, double* realised, double* unrealised) const;
  void pick();
  void drop();
  void draw_box(int x, int y);
  void erase_box();
  void erase_box_on(KvDC& dc);
  void move_selected_order(double price);
  void place_new_order(int button, double price);
  order_rec* new_chart_order(int action, int type);
  int apply_order_tag(order_rec* o, int letter);
  void place_bracket(int action, order_rec* entry, int letter, double price, int button);
  int send(order_rec* o);
  void quick_order(int action, int quantity, double price);
  void mid_order(int factor);
  void recolour_bitmaps();
  const QImage& order_bitmap(const order_rec* o, int line);
  void status_changed();

  KvCanvasView* m_canvas;
  uint32_t* m_state;
  mqt* m_quote = nullptr;
  OrderDef* m_def = nullptr;
  COLORREF m_bg = 0xFFFFFF, m_text = 0, m_long = 0x008000, m_short = 0x0000FF;
  grtrade_hit m_hit;
  double m_cursor_price = 0, m_drag_price = 0, m_scale_min = 0, m_ppu = 0;
  QString m_tag;
  QString m_status;
  grtrade_hit m_selected;
  int m_prepared = 0;
  int m_label_width = 0, m_label_height = 0;
  int m_start_x = -1, m_start_y = -1, m_last_x = -1, m_last_y = -1;
  QImage m_box_save;
  KvRect m_box;
  KvRect m_strip, m_trade, m_data;
  COLORREF m_bitmap_bg = 0xFFFFFF;
  QImage m_bitmaps[GR_BITMAP_SLOTS];
  int m_line = GR_LINE_LIMIT;  // of the line under the pointer
  int m_selected_line = GR_LINE_LIMIT;
  bool m_captured = false;
  std::string m_pending_box;  // a message to show after the chart lock
};

// The picture of an order-bitmap slot (15 x 15 on a white background; a
// null image for the two empty slots): the family (0 LMT, 1 STP, 2 STP LMT,
// 3 TRAIL, 4 MIT, 5 LIT) times 6, plus 0 buy, 1 sell, 2 neutral, plus 3
// for the inactive form.
QImage grtrade_order_bitmap(int slot);
// The strip button pictures 1 to 7 (15 x 15, white background).
QImage grtrade_button_bitmap(int button);
