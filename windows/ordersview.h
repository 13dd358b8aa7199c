// The orders window: order entry for one symbol in one account (upper
// half) and, under a tab bar, the orders, executions and position summary
// of that account (lower half).  Kind 11 trades for real, kind 12 in paper
// accounts; both build order records and hand them to the order
// bookkeeping (broker/orders.h), so the two behave the same.
//
// Orders are known to the window by their serial (broker/orders.h): rows
// of the Orders tab and the order being modified hold serials and look the
// record up under g_chart_lock at every use, so an order that bookkeeping
// has freed is simply not found.  Executions rows hold copies of the trade
// records (the account's array moves when it grows and closes up on a
// delete) and are deleted by execution id.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "broker/executions.h"
#include "chartwin/chartdoc.h"
#include "platform/qt/formview.h"

class QTabBar;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QLabel;
class KvComboBox;
class KvReportView;
class KvSpinButton;
class PositionSummaryTable;
struct mqt;
struct order_rec;

enum {
  IDD_ORDERS_FORM = 101,
  IDC_ORD_UPDATE_PRICES = 1605,
  IDC_ORD_REVERSE = 1603,
  IDC_ORD_INIT = 1513,
  IDC_ORD_AUX2_SPIN = 1604,
  IDC_ORD_AUX_SPIN = 1525,
  IDC_ORD_CLOSE = 1528,
  IDC_ORD_LIMIT_SPIN = 1524,
  IDC_ORD_SELL = 1253,
  IDC_ORD_BUY = 1252,
  IDC_ORD_TAB = 1510,
  IDC_ORD_LIST = 1519,
  IDC_ORD_QTY = 1491,
  IDC_ORD_AUX = 1500,
  IDC_ORD_LIMIT = 1492,
  IDC_ORD_TYPE = 1497,
  IDC_ORD_ACCOUNT = 1577,
  IDC_ORD_SYMBOL = 1522,
  IDC_ORD_OCA = 1509,
  IDC_ORD_DAY = 1589,
  IDC_ORD_GTC = 1588,
  IDC_ORD_IOC = 1590,
  IDC_ORD_AUX2 = 1600,
  IDC_ORD_AUX2_LABEL = 1601,
  IDC_ORD_AUX_LABEL = 1599,
  IDC_ORD_QTY_SPIN = 1578,
  IDC_ORD_TRADING_LABEL = 1639,
};

// Pop-up menu of the list.
enum : unsigned {
  ID_ORD_CANCEL_ORDER = 33178,
  ID_ORD_CANCEL_ALL = 33179,
  ID_ORD_DELETE_FINISHED = 33207,
  ID_ORD_AUTO_REMOVE = 33170,
  ID_ORD_SHOW_ALL_SYMBOLS = 33201,
  ID_ORD_SHOW_ALL_EXECUTIONS = 33202,
  ID_ORD_DELETE_EXECUTION = 33204,
};

// List options: bits of the window's view flags (ChartSettings::display_flags).
enum : uint32_t {
  ORD_OPT_AUTO_REMOVE = 0x1,
  ORD_OPT_ALL_SYMBOLS = 0x2,
  ORD_OPT_ALL_EXECUTIONS = 0x4,
};

enum { ORD_TAB_ORDERS = 0, ORD_TAB_EXECUTIONS = 1, ORD_TAB_SUMMARY = 2 };

// The composite order types of the form (beyond the order_type codes).
enum {
  ORD_TARGET = 20,
  ORD_BRACKET = 21,
  ORD_LMT_STOP = 22,
  ORD_BOUNCE = 23,
  ORD_BOUNCE2 = 24,
  ORD_LMT_TRAIL = 25,
};

// A price field the order type does not use.
extern const char kOrdPlaceholder[];

// Names shown for the codes of an order; "?" for codes without one.
const char* order_type_name(int type);
const char* order_tif_name(int tif);
const char* order_action_name(int action);
const char* order_status_name(int status);

class CKvOrdersView : public KvFormView, public CKvWindowStateView {
 public:
  CKvOrdersView();
  ~CKvOrdersView() override;

  void OnInitialUpdate() override;
  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  // ---- entry ----
  void ResetOrderForm(mqt* record);
  void InitOrderForm();
  void OnOrderTypeChange();
  void UpdateOrderButtons();
  void UpdatePositionText();
  void FillAccountList();
  void OnAccountChange();
  void OnSymbolChosen();
  void OnBuy();
  void OnSell();
  void OnClosePosition();
  void OnReversePosition();
  void OnUpdatePrices();
  void OnSpin(int id, int delta);
  // Takes dropped text as the symbol; 0 when there is no text.
  int DropSymbol(const QString& text);
  // Enters modify mode for the order of this serial (a double click on
  // its row); 0 when it is gone or not of this window's kind.
  int ModifyOrder(uint32_t serial);

  // ---- lists ----
  void RefreshTab();
  void ReloadOrders();
  void OnOrderStatus(uint32_t serial);
  void OnOrderExecution(const trade_rec* t);
  void OnOrderRemoved(uint32_t serial);
  void CancelSelectedOrders();
  void CancelAllOpenOrders();
  void DeleteFinishedOrders();
  void DeleteSelectedExecutions();
  void ToggleOption(uint32_t bit);
  // The list's pop-up menu at a point of the screen (built here so tests
  // can read its entries).
  void ShowListMenu(const QPoint& global);

  int Kind() const { return m_kind; }
  int Mode() const { return m_mode; }
  int NetPosition() const { return m_net_position; }
  uint32_t Options() const;
  QTabBar* tabs() const { return m_tabs; }
  KvReportView* list() const { return m_list; }
  KvComboBox* account_box() const { return m_account_box; }
  KvComboBox* symbol_box() const { return m_symbol_box; }
  KvComboBox* type_box() const { return m_type_box; }
  QString positionText() const { return m_position_text; }
  // Order serials of the Orders tab rows, top to bottom.
  std::vector<uint32_t> OrderRows() const;
  // The account the form trades in.
  QString account() const { return m_account; }

  // Form values (the members the form exchanges with its controls).
  QString m_qty, m_limit, m_aux, m_aux2, m_type_text, m_account, m_symbol, m_oca;
  QString m_aux_label, m_aux2_label;
  int m_tif = 0;  // 0 DAY, 1 GTC, 2 IOC

 protected:
  void DoDataExchange(KvDataExchange& dx) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  friend class OrdersListBuilder;
  void build_form();
  void read_form();
  void write_form();
  mqt* record() const;
  int lot() const;
  double step() const;
  int price_code() const;
  QString price_text(double v) const;
  static double field_value(const QString& text);
  // The form's check of its numbers; shows the refusal and returns 0.
  int ValidateOrderForm();
  // What the form gives every order it builds.
  struct order_values {
    int tif = 1;
    QString account, oca;
    int32_t quantity = 0;
    double limit = 0, aux = 0, aux2 = 0;
  };
  // A composite order whose next orders wait for their parent's id.
  struct composite_plan {
    order_values values;
    QString symbol;
    int action = 0, type = 0, stage = 0;
    uint32_t waiting_for = 0;  // serial of the parent
  };
  order_values form_values() const;
  order_rec* BuildOrder(mqt* rec, int action, int type, const order_values& v);
  void PlaceComposite(mqt* rec, int action);
  void advance_composites(uint32_t serial);
  // Places the orders under parent_id; the serial of a new parent whose
  // children come next, else 0.
  uint32_t place_children(mqt* rec, composite_plan& p, int32_t parent_id);
  void place_simple(int action);
  void set_close_form(int factor);
  int trading_allowed() const;
  int belongs(const order_rec* o) const;
  int trade_belongs(const trade_rec* t) const;
  void transmit_modified();
  void leave_modify_mode();
  ChartSettings* settings() const;

  // lists (windows/orderslists.cpp)
  void clear_tab();
  void build_columns(int tab);
  void fill_order_row(int row, const order_rec* o);
  // The text of an Executions cell: the copy m_exec_rows[row_data] in the
  // column of this index.
  QString execution_text(std::uintptr_t row_data, int column) const;
  void rebuild_summary();
  int find_order_row(uint32_t serial) const;
  int account_matches(const trade_rec* t) const;

  int m_kind = 12;
  int m_mode = 1;  // 1 new order, 0 modify
  uint32_t m_modify_serial = 0;
  QString m_position_text;
  int m_net_position = 0;
  int m_order_type = 2;
  double m_aux2_price = 0;
  int m_shown_tab = -1;
  QString m_account_with_window;
  // Copies of the trades the Executions rows show; a row's item data is
  // its index here.
  std::vector<trade_rec> m_exec_rows;
  std::vector<composite_plan> m_plans;

  QPushButton* m_buy;
  QPushButton* m_sell;
  QPushButton* m_init;
  QPushButton* m_close;
  QPushButton* m_reverse;
  QPushButton* m_update;
  KvComboBox* m_type_box;
  KvComboBox* m_account_box;
  KvComboBox* m_symbol_box;
  QLineEdit* m_qty_edit;
  QLineEdit* m_limit_edit;
  QLineEdit* m_aux_edit;
  QLineEdit* m_aux2_edit;
  QLabel* m_trading_label;
  QTabBar* m_tabs;
  KvReportView* m_list;
  PositionSummaryTable* m_summary;
  bool m_writing = false;
};

// The open orders windows of each kind, null when none.
extern CKvOrdersView* g_real_orders_view;
extern CKvOrdersView* g_paper_orders_view;
