// The orders window: the order entry form, its buttons and the orders it
// builds.  The lists below the form are in windows/orderslists.cpp.
#include "windows/ordersview.h"

#include <QDragEnterEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/positions.h"
#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/controls.h"
#include "platform/qt/frames.h"
#include "platform/qt/reportview.h"
#include "platform/services.h"
#include "quotes/mqt.h"
#include "quotes/mqt_record.h"
#include "quotes/qrclient.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/windowdoc.h"
#include "windows/accountvalue.h"
#include "windows/quotesview.h"

CKvOrdersView* g_real_orders_view;
CKvOrdersView* g_paper_orders_view;

const char kOrdPlaceholder[] = "***************";

namespace {

const uint32_t kTradingPref = 0x08;  // g_pref_flags1: trading enabled
const uint32_t kRouterOrderCapability = 0x200;

struct type_entry {
  const char* text;
  int code;
};
const type_entry kTypeEntries[] = {
    {"LMT", 2},      {"MKT", 1},      {"STP", 3},      {"STPLMT", 4},   {"TRAIL", 7},
    {"MIT", 11},     {"LIT", 12},     {".TARGET", 20}, {".BRCKET", 21}, {".LMT+ST", 22},
    {".LMT+TR", 25}, {".BOUNCE", 23}, {".BOUNC2", 24},
};

const char* const kTypeNames[] = {
    "?",      "MKT",    "LMT",     "STP",      "STP LMT",  "REL",     "VWAP",     "TRAIL", "MKTCLS",
    "LMTCLS", "PEGMKT", "MIT",     "LIT",      "",         "",        "",         "",      "",
    "",       "",       ".TARGET", ".BRACKET", ".LMTSTOP", ".BOUNCE", ".BOUNCE2", "?"};

bool is_stock(const mqt* r) {
  return r && strcmp(r->sec_type, "STK") == 0;
}

void copy_field(char* dst, size_t size, const QString& s) {
  QByteArray b = s.toLatin1();
  snprintf(dst, size, "%.*s", (int)(size - 1), b.constData());
}

}  // namespace

const char* order_type_name(int type) {
  return type >= 0 && type < (int)(sizeof kTypeNames / sizeof *kTypeNames) ? kTypeNames[type] : "?";
}
const char* order_tif_name(int tif) {
  static const char* const n[] = {"?", "DAY", "GTC", "IOC", "DTC"};
  return tif >= 1 && tif <= 4 ? n[tif] : "?";
}
const char* order_action_name(int action) {
  static const char* const n[] = {"?", "BUY", "SELL", "SSHORT"};
  return action >= 1 && action <= 3 ? n[action] : "?";
}
const char* order_status_name(int status) {
  static const char* const n[] = {"?",         "PendingSubmit", "PendingCancel", "PreSubmitted",
                                  "Submitted", "Cancelled",     "Filled",        "Inactive"};
  return status >= 1 && status <= 7 ? n[status] : "?";
}

// ============================================================================
// Construction: the form.
// ============================================================================

CKvOrdersView::CKvOrdersView() : m_summary(new PositionSummaryTable) {
  build_form();
  setAcceptDrops(true);
}

CKvOrdersView::~CKvOrdersView() {
  if (g_real_orders_view == this) g_real_orders_view = nullptr;
  if (g_paper_orders_view == this) g_paper_orders_view = nullptr;
  {
    // Nothing may post to this window once it is gone.
    kv_lock guard(g_chart_lock);
    kv_hwnd me = GetSafeHwnd();
    for (mqt* r = g_mqt_list; r; r = r->next)
      for (order_rec* o = r->orders; o; o = o->next)
        if (o->window == me) o->window = 0;
    if (!m_account_with_window.isEmpty())
      if (account_rec* a = get_account(m_account_with_window.toLatin1().constData()))
        if (a->window == me) a->window = 0;
  }
  m_list->DeleteAllItems();
  delete m_summary;
}

void CKvOrdersView::build_form() {
  auto button = [this](int id, const char* text, const char* icon) {
    auto* b = AddControl(id, new QPushButton(QIcon::fromTheme(QString::fromLatin1(icon)),
                                             QString::fromLatin1(text), this));
    b->setAutoDefault(false);
    return b;
  };
  auto edit = [this](int id) {
    auto* e = AddControl(id, new QLineEdit(this));
    e->setMinimumWidth(90);
    return e;
  };
  auto spin = [this](int id) {
    auto* s = AddControl(id, new KvSpinButton(this));
    connect(s, &KvSpinButton::deltaPos, this, [this, id](int d) { OnSpin(id, d); });
    return s;
  };

  m_update = button(IDC_ORD_UPDATE_PRICES, "UPDATE PRICES", "view-refresh");
  m_reverse = button(IDC_ORD_REVERSE, "REVERSE POSITION", "object-flip-vertical");
  m_init = button(IDC_ORD_INIT, "INIT", "edit-clear");
  m_close = button(IDC_ORD_CLOSE, "CLOSE POSITION", "window-close");
  m_sell = button(IDC_ORD_SELL, "SELL", "go-down");
  m_buy = button(IDC_ORD_BUY, "BUY", "go-up");
  m_qty_edit = edit(IDC_ORD_QTY);
  m_limit_edit = edit(IDC_ORD_LIMIT);
  m_aux_edit = edit(IDC_ORD_AUX);
  m_aux2_edit = edit(IDC_ORD_AUX2);
  auto* oca = edit(IDC_ORD_OCA);
  oca->setMaxLength(ORDER_TEXT_OCA);
  m_type_box = AddControl(IDC_ORD_TYPE, new KvComboBox(false, this));
  m_account_box = AddControl(IDC_ORD_ACCOUNT, new KvComboBox(false, this));
  m_symbol_box = AddControl(IDC_ORD_SYMBOL, new KvComboBox(false, this));
  m_account_box->setMinimumContentsLength(10);
  m_symbol_box->setMinimumContentsLength(10);
  auto* day = AddControl(IDC_ORD_DAY, new QRadioButton(QStringLiteral("DAY"), this));
  auto* gtc = AddControl(IDC_ORD_GTC, new QRadioButton(QStringLiteral("GTC"), this));
  auto* ioc = AddControl(IDC_ORD_IOC, new QRadioButton(QStringLiteral("IOC"), this));
  AddRadioGroup({IDC_ORD_DAY, IDC_ORD_GTC, IDC_ORD_IOC});
  auto* aux_label = AddControl(IDC_ORD_AUX_LABEL, new QLabel(QStringLiteral("Aux Price"), this));
  auto* aux2_label = AddControl(IDC_ORD_AUX2_LABEL, new QLabel(QString(), this));
  m_trading_label =
      AddControl(IDC_ORD_TRADING_LABEL, new QLabel(QStringLiteral("SIMULATED TRADING"), this));
  QFont bold = m_trading_label->font();
  bold.setBold(true);
  m_trading_label->setFont(bold);
  m_tabs = AddControl(IDC_ORD_TAB, new QTabBar(this));
  m_list = AddControl(IDC_ORD_LIST, new KvReportView(this));
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setContextMenuPolicy(Qt::CustomContextMenu);
  // Executions rows are formatted from their trade copies when shown.
  m_list->SetItemTextFn(
      [this](std::uintptr_t data, int column) { return execution_text(data, column); });

  // Layout: the trading mode, then the contract, the order and its
  // prices, the buttons, and the lists filling the rest.
  auto* grid = new QGridLayout;
  int row = 0;
  grid->addWidget(m_trading_label, row, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Account"), this), ++row, 0);
  grid->addWidget(m_account_box, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("Symbol"), this), row, 2);
  grid->addWidget(m_symbol_box, row, 3);
  grid->addWidget(new QLabel(QStringLiteral("Order Type"), this), ++row, 0);
  grid->addWidget(m_type_box, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("Qty"), this), row, 2);
  auto with_spin = [this](QLineEdit* e, QWidget* s) {
    auto* h = new QHBoxLayout;
    h->setSpacing(0);
    h->addWidget(e);
    h->addWidget(s);
    return h;
  };
  grid->addLayout(with_spin(m_qty_edit, spin(IDC_ORD_QTY_SPIN)), row, 3);
  grid->addWidget(new QLabel(QStringLiteral("Limit Price"), this), ++row, 0);
  grid->addLayout(with_spin(m_limit_edit, spin(IDC_ORD_LIMIT_SPIN)), row, 1);
  grid->addWidget(aux_label, row, 2);
  grid->addLayout(with_spin(m_aux_edit, spin(IDC_ORD_AUX_SPIN)), row, 3);
  grid->addWidget(aux2_label, ++row, 0);
  grid->addLayout(with_spin(m_aux2_edit, spin(IDC_ORD_AUX2_SPIN)), row, 1);
  grid->addWidget(new QLabel(QStringLiteral("OCA"), this), row, 2);
  grid->addWidget(oca, row, 3);
  auto* tif = new QGroupBox(QStringLiteral("Time in Force"), this);
  auto* tl = new QHBoxLayout(tif);
  tl->addWidget(day);
  tl->addWidget(gtc);
  tl->addWidget(ioc);
  grid->addWidget(tif, ++row, 0, 1, 4);

  auto* trade = new QVBoxLayout;
  trade->addWidget(m_buy);
  trade->addWidget(m_sell);
  trade->addSpacing(8);
  trade->addWidget(m_close);
  trade->addWidget(m_reverse);
  trade->addStretch(1);
  trade->addWidget(m_update);
  trade->addWidget(m_init);
  for (QPushButton* b : {m_buy, m_sell}) b->setMinimumHeight(32);

  auto* top = new QHBoxLayout;
  top->addLayout(grid, 1);
  top->addLayout(trade);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addWidget(m_tabs);
  all->addWidget(m_list, 1);

  {
    QSignalBlocker block(m_tabs);
    for (const char* t : {"Orders", "Executions", "Summary"})
      m_tabs->addTab(QString::fromLatin1(t));
  }
  connect(m_tabs, &QTabBar::currentChanged, this, [this] { RefreshTab(); });
  connect(m_list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) {
    if (m_tabs->currentIndex() == ORD_TAB_ORDERS && i.isValid())
      ModifyOrder((uint32_t)m_list->GetItemData(i.row()));
  });
  connect(m_list, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { ShowListMenu(m_list->viewport()->mapToGlobal(p)); });

  MapCommand(IDC_ORD_BUY, [this] { OnBuy(); });
  MapCommand(IDC_ORD_SELL, [this] { OnSell(); });
  MapCommand(IDC_ORD_INIT, [this] { InitOrderForm(); });
  MapCommand(IDC_ORD_CLOSE, [this] { OnClosePosition(); });
  MapCommand(IDC_ORD_REVERSE, [this] { OnReversePosition(); });
  MapCommand(IDC_ORD_UPDATE_PRICES, [this] { OnUpdatePrices(); });
  connect(m_type_box, &KvComboBox::closedUp, this, [this] { OnOrderTypeChange(); });
  connect(m_account_box, &KvComboBox::droppedDown, this, [this] {
    QString keep = m_account_box->currentText();
    FillAccountList();
    m_account_box->SetCurSel(m_account_box->FindStringExact(-1, keep));
    m_account = keep;
  });
  connect(m_account_box, &KvComboBox::closedUp, this, [this] { OnAccountChange(); });
  connect(m_symbol_box, &KvComboBox::droppedDown, this, [this] {
    QString keep = m_symbol_box->currentText();
    QStringList symbols;
    {
      kv_lock guard(g_chart_lock);
      for (mqt* r = g_mqt_list; r; r = r->next) symbols << QString::fromLatin1(r->symbol).toUpper();
    }
    symbols.sort();
    symbols.removeDuplicates();
    QSignalBlocker block(m_symbol_box);
    m_symbol_box->ResetContent();
    for (const QString& s : symbols) m_symbol_box->AddString(s);
    m_symbol_box->SetCurSel(m_symbol_box->FindStringExact(-1, keep));
  });
  connect(m_symbol_box, &KvComboBox::closedUp, this, [this] { OnSymbolChosen(); });
  // Typing into a price the type does not use is refused at once.
  connect(m_limit_edit, &QLineEdit::textChanged, this, [this] {
    if (m_writing) return;
    if (m_order_type == ORDER_MKT || m_order_type == ORDER_STP || m_order_type == ORDER_TRAIL ||
        m_order_type == ORDER_MIT) {
      QByteArray t = m_type_text.toLatin1();
      char text[96];
      snprintf(text, sizeof text, "Limit Price not used for %s order", t.constData());
      kv_message_box(text, "Korvane", MB_OK);
      m_writing = true;
      m_limit_edit->setText(QString::fromLatin1(kOrdPlaceholder));
      m_writing = false;
    }
  });
  connect(m_aux_edit, &QLineEdit::textChanged, this, [this] {
    if (m_writing) return;
    if (m_order_type == ORDER_MKT || m_order_type == ORDER_LMT) {
      QByteArray t = m_type_text.toLatin1();
      char text[96];
      snprintf(text, sizeof text, "Aux Price not used for %s order", t.constData());
      kv_message_box(text, "Korvane", MB_OK);
      m_writing = true;
      m_aux_edit->setText(QString::fromLatin1(kOrdPlaceholder));
      m_writing = false;
    }
  });
  connect(m_qty_edit, &QLineEdit::textEdited, this, [this] { UpdateOrderButtons(); });
}

void CKvOrdersView::DoDataExchange(KvDataExchange& dx) {
  DDX_Text(dx, IDC_ORD_QTY, m_qty);
  DDX_Text(dx, IDC_ORD_AUX, m_aux);
  DDX_Text(dx, IDC_ORD_LIMIT, m_limit);
  DDX_Text(dx, IDC_ORD_OCA, m_oca);
  DDX_Radio(dx, IDC_ORD_DAY, m_tif);
  DDX_Text(dx, IDC_ORD_AUX2, m_aux2);
  DDX_Text(dx, IDC_ORD_AUX2_LABEL, m_aux2_label);
  DDX_Text(dx, IDC_ORD_AUX_LABEL, m_aux_label);
  if (dx.save()) {
    m_type_text = m_type_box->currentText();
    m_account = m_account_box->currentText();
    m_symbol = m_symbol_box->currentText().toUpper();
  } else {
    // The drop lists show their value even when it is not one of their
    // items (a symbol from a drop or an order being modified).
    auto show = [](KvComboBox* box, const QString& v) {
      QSignalBlocker block(box);
      int i = v.isEmpty() ? -1 : box->FindStringExact(-1, v);
      if (i < 0 && !v.isEmpty()) i = box->AddString(v);
      box->SetCurSel(i);
    };
    show(m_account_box, m_account);
    show(m_symbol_box, m_symbol);
    int t = m_type_box->FindStringExact(-1, m_type_text);
    QSignalBlocker block(m_type_box);
    if (t >= 0) m_type_box->SetCurSel(t);
  }
}

void CKvOrdersView::read_form() {
  UpdateData(true);
}

void CKvOrdersView::write_form() {
  m_writing = true;
  UpdateData(false);
  m_writing = false;
}

ChartSettings* CKvOrdersView::settings() const {
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  return doc ? &doc->Settings() : nullptr;
}

uint32_t CKvOrdersView::Options() const {
  ChartSettings* s = settings();
  return s ? s->display_flags : ORD_OPT_ALL_SYMBOLS;
}

// ============================================================================
// Opening.
// ============================================================================

void CKvOrdersView::OnInitialUpdate() {
  KvFormView::OnInitialUpdate();
  // The frame takes the size the form asks for, no more.
  if (KvChildFrame* f = GetParentFrame()) f->adjustSize();
  if (theApp && (theApp->m_next_view_kind == KIND_REAL_ORDERS ||
                 theApp->m_next_view_kind == KIND_PAPER_ORDERS))
    m_kind = theApp->m_next_view_kind;
  else if (ChartSettings* s = settings())
    m_kind = s->window_kind == KIND_REAL_ORDERS ? KIND_REAL_ORDERS : KIND_PAPER_ORDERS;
  if (ChartSettings* s = settings()) {
    s->window_kind = m_kind;
    s->display_flags |= ORD_OPT_ALL_SYMBOLS;
  }
  if (m_kind == KIND_REAL_ORDERS)
    g_real_orders_view = this;
  else
    g_paper_orders_view = this;
  if (m_kind != KIND_PAPER_ORDERS) m_trading_label->setText(QStringLiteral("REAL TRADING"));
  {
    QPalette p = m_trading_label->palette();
    p.setColor(QPalette::WindowText,
               m_kind == KIND_PAPER_ORDERS ? QColor(0, 110, 0) : QColor(180, 0, 0));
    m_trading_label->setPalette(p);
  }

  FillAccountList();
  write_form();
  ResetOrderForm(nullptr);
  OnOrderTypeChange();
  {
    QSignalBlocker block(m_tabs);
    m_tabs->setCurrentIndex(ORD_TAB_ORDERS);
  }
  if (GetDocument())
    GetDocument()->SetTitle(
        QString::fromLatin1(m_kind == KIND_PAPER_ORDERS ? "Paper Trading" : "Real Trading"));
  OnAccountChange();
  ReloadOrders();
  UpdateOrderButtons();
}

void CKvOrdersView::FillAccountList() {
  QSignalBlocker block(m_account_box);
  m_account_box->ResetContent();
  m_account.clear();
  int listed = 0;
  for (const std::string& name : list_paper_accounts()) {
    int show;
    {
      kv_lock guard(g_chart_lock);
      account_rec* a = get_account(name.c_str());
      if (!a)
        show = listed;
      else if (a->count == 0)
        show = listed || m_kind == KIND_PAPER_ORDERS;
      else
        show = ((a->trades[0].f.flags & EXEC_LOCAL) != 0) == (m_kind == KIND_PAPER_ORDERS);
    }
    if (!show) continue;
    m_account_box->AddString(QString::fromStdString(name));
    listed++;
  }
  if (m_account_box->GetCount()) {
    m_account_box->SetCurSel(0);
    m_account = m_account_box->GetLBText(0);
  }
}

void CKvOrdersView::OnAccountChange() {
  kv_hwnd me = GetSafeHwnd();
  {
    kv_lock guard(g_chart_lock);
    if (!m_account_with_window.isEmpty())
      if (account_rec* a = get_account(m_account_with_window.toLatin1().constData()))
        if (a->window == me) a->window = 0;
    m_account_with_window.clear();
  }
  m_account = m_account_box->currentText();
  if (!m_account.isEmpty()) {
    kv_lock guard(g_chart_lock);
    if (account_rec* a = get_account(m_account.toLatin1().constData())) {
      a->window = me;
      m_account_with_window = m_account;
    }
  }
  RefreshTab();
  InitOrderForm();
}

void CKvOrdersView::OnSymbolChosen() {
  m_symbol = m_symbol_box->currentText().toUpper();
  RefreshTab();
  InitOrderForm();
}

int CKvOrdersView::DropSymbol(const QString& text) {
  QString sym = kv_symbol_from_drop(text);
  if (sym.isEmpty()) return 0;
  m_symbol = sym.toUpper();
  if (record()) {
    write_form();
    InitOrderForm();
    OnOrderTypeChange();
    RefreshTab();
  }
  return 1;
}

void CKvOrdersView::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasText()) {
    e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
    e->accept();
  }
}

void CKvOrdersView::dragMoveEvent(QDragMoveEvent* e) {
  if (e->mimeData()->hasText()) {
    e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
    e->accept();
  }
}

void CKvOrdersView::dropEvent(QDropEvent* e) {
  if (e->mimeData()->hasText() && DropSymbol(e->mimeData()->text())) e->acceptProposedAction();
}

// ============================================================================
// The form.
// ============================================================================

mqt* CKvOrdersView::record() const {
  if (m_symbol.isEmpty()) return nullptr;
  return find_mqt(m_symbol.toLatin1().constData());
}

int CKvOrdersView::lot() const {
  mqt* r = record();
  return !r || is_stock(r) ? 100 : 1;
}

double CKvOrdersView::step() const {
  mqt* r = record();
  if (!r || is_stock(r) || !(r->tick_size > 0)) return 0.01;
  return r->tick_size;
}

int CKvOrdersView::price_code() const {
  mqt* r = record();
  return tick_decimals(r && r->tick_size > 0 ? r->tick_size : 0.01);
}

QString CKvOrdersView::price_text(double v) const {
  char buf[64];
  return QString::fromLatin1(format_price(v, buf, price_code(), FORMAT_PRICE_DECIMAL));
}

double CKvOrdersView::field_value(const QString& text) {
  QByteArray b = text.trimmed().toLatin1();
  if (b.isEmpty() || b == kOrdPlaceholder) return 0;
  char* end = nullptr;
  double v = strtod(b.constData(), &end);
  if (end == b.constData() || *end || !std::isfinite(v)) return 0;
  return v;
}

void CKvOrdersView::ResetOrderForm(mqt* rec) {
  if (rec) m_symbol = QString::fromLatin1(rec->symbol).toUpper();
  {
    QSignalBlocker block(m_type_box);
    m_type_box->ResetContent();
    for (const type_entry& t : kTypeEntries) {
      int i = m_type_box->AddString(QString::fromLatin1(t.text));
      m_type_box->SetItemData(i, (std::uintptr_t)t.code);
    }
    m_type_box->SetCurSel(0);
  }
  m_order_type = ORDER_LMT;
  m_type_text = QStringLiteral("LMT");
  m_tif = 0;
  UpdatePositionText();
  write_form();
}

void CKvOrdersView::InitOrderForm() {
  m_mode = 1;
  m_modify_serial = 0;
  m_buy->setText(QStringLiteral("BUY"));
  m_sell->setText(QStringLiteral("SELL"));
  m_qty.clear();
  m_limit = m_aux = m_aux2 = QString::fromLatin1(kOrdPlaceholder);
  m_order_type = ORDER_LMT;
  m_type_text = QStringLiteral("LMT");
  m_aux_label = QStringLiteral("Aux Price");
  m_aux2_label.clear();
  if (mqt* r = record()) {
    double last;
    QString type;
    {
      kv_lock guard(g_chart_lock);
      last = r->last;
      type = QString::fromLatin1(r->sec_type);
    }
    m_limit = price_text(last);
    if (type == QLatin1String("STK"))
      m_qty = QStringLiteral("100");
    else if (type == QLatin1String("FUT") || type == QLatin1String("OPT"))
      m_qty = QStringLiteral("1");
  }
  UpdatePositionText();
  write_form();
  UpdateOrderButtons();
}

void CKvOrdersView::OnOrderTypeChange() {
  read_form();
  int sel = m_type_box->GetCurSel();
  if (sel < 0) return;
  m_order_type = (int)m_type_box->GetItemData(sel);
  m_type_text = QString::fromLatin1(order_type_name(m_order_type));
  m_limit = m_aux = m_aux2 = QString::fromLatin1(kOrdPlaceholder);
  m_aux_label = QStringLiteral("Aux Price");
  m_aux2_label.clear();
  if (mqt* r = record()) {
    double last;
    {
      kv_lock guard(g_chart_lock);
      last = r->last;
    }
    int t = m_order_type;
    double s = step();
    if (t == 2 || t == 4 || t == 12 || (t >= 20 && t <= 25)) m_limit = price_text(last);
    if (t == 3 || t == 4 || t == 11 || t == 12) {
      m_aux = price_text(last);
      m_aux_label = QStringLiteral("Stop Price");
    }
    if (t == 7 || t == 25) {
      m_aux = price_text(s);
      m_aux_label = QStringLiteral("Trail Stop");
    }
    if (t == 20 || t == 21 || t == 23 || t == 24) {
      m_aux = price_text(s);
      m_aux_label = QStringLiteral("Target");
    }
    if (t == 22) {
      m_aux = price_text(s);
      m_aux_label = QStringLiteral("Stop");
    }
    if (t == 21) {
      m_aux2 = price_text(s);
      m_aux2_label = QStringLiteral("Stop");
    }
  }
  write_form();
  // The type shown is the one chosen, whatever its display name.
  QSignalBlocker block(m_type_box);
  m_type_box->SetCurSel(sel);
}

void CKvOrdersView::OnUpdatePrices() {
  read_form();
  mqt* r = record();
  if (!r) return;
  double last;
  {
    kv_lock guard(g_chart_lock);
    last = r->last;
  }
  int t = m_order_type;
  double old_limit = field_value(m_limit), old_aux = field_value(m_aux);
  if (t == 2 || t == 4 || t == 12 || (t >= 20 && t <= 25)) m_limit = price_text(last);
  if (t == 3 || t == 11) m_aux = price_text(last);
  if (t == 4 || t == 12) m_aux = price_text(last - old_limit + old_aux);
  write_form();
}

void CKvOrdersView::OnSpin(int id, int delta) {
  read_form();
  if (id == IDC_ORD_QTY_SPIN) {
    long long q = atoll(m_qty.toLatin1().constData()) - (long long)delta * lot();
    if (q < 0) q = 0;
    if (q > INT32_MAX) q = INT32_MAX;
    m_qty = QString::number(q);
    write_form();
    UpdateOrderButtons();
    return;
  }
  QString* field = id == IDC_ORD_LIMIT_SPIN  ? &m_limit
                   : id == IDC_ORD_AUX_SPIN  ? &m_aux
                   : id == IDC_ORD_AUX2_SPIN ? &m_aux2
                                             : nullptr;
  if (!field || *field == QLatin1String(kOrdPlaceholder)) return;
  double v = field_value(*field) - delta * step();
  if (v < 0) v = 0;
  *field = price_text(v);
  write_form();
}

int CKvOrdersView::ValidateOrderForm() {
  const char* refusal = nullptr;
  bool ok = false;
  long q = m_qty.trimmed().toLong(&ok, 10);
  int t = m_order_type;
  if (!ok || q <= 0 || q > INT32_MAX)
    refusal = "Quantity missing or incorrect";
  else if ((t == 2 || t == 4) && !(field_value(m_limit) > 0))
    refusal = "Limit Price missing or incorrect";
  else if ((t == 3 || t == 4 || t == 7 || t == 11 || t == 12) && !(field_value(m_aux) > 0))
    refusal = "Aux Price missing or incorrect";
  else if (t == ORD_BRACKET && !(field_value(m_aux2) > 0))
    refusal = "Aux2 Price missing or incorrect";
  if (refusal) {
    kv_message_box(refusal, "Korvane", MB_OK | MB_ICONEXCLAMATION);
    return 0;
  }
  return 1;
}

// ============================================================================
// Building and placing orders.
// ============================================================================

CKvOrdersView::order_values CKvOrdersView::form_values() const {
  order_values v;
  static const int kTif[] = {ORDER_DAY, ORDER_GTC, ORDER_IOC};
  v.tif = kTif[m_tif >= 0 && m_tif <= 2 ? m_tif : 0];
  v.account = m_account == QLatin1String("REAL") ? QString() : m_account;
  v.oca = m_oca;
  v.quantity = (int32_t)m_qty.trimmed().toLong();
  v.limit = field_value(m_limit);
  v.aux = field_value(m_aux);
  v.aux2 = field_value(m_aux2);
  return v;
}

order_rec* CKvOrdersView::BuildOrder(mqt* rec, int action, int type, const order_values& v) {
  order_rec* o = create_order(rec);
  if (!o) return nullptr;
  kv_lock guard(g_chart_lock);
  o->relay.symbol_number = (int16_t)rec->symbol_slot;
  o->relay.type = order_type_word(action, v.tif, type) | ORDER_TRANSMIT |
                  (m_kind == KIND_PAPER_ORDERS ? (uint32_t)ORDER_SIMULATED : 0u);
  copy_field(o->relay.account, sizeof o->relay.account, v.account);
  copy_field(o->relay.oca, sizeof o->relay.oca, v.oca);
  o->relay.quantity = v.quantity;
  o->relay.limit = v.limit;
  o->relay.aux = v.aux;
  m_aux2_price = v.aux2;
  o->window = GetSafeHwnd();
  return o;
}

int CKvOrdersView::trading_allowed() const {
  if (m_kind == KIND_PAPER_ORDERS) return 1;
  return (g_pref_flags1 & kTradingPref) && has_router_capability(kRouterOrderCapability);
}

void CKvOrdersView::place_simple(int action) {
  mqt* rec = record();
  if (order_rec* o = BuildOrder(rec, action, m_order_type, form_values())) place_order(o);
  m_buy->setEnabled(true);
  m_sell->setEnabled(true);
}

void CKvOrdersView::OnBuy() {
  read_form();
  if (m_symbol.isEmpty()) {
    kv_message_box("No symbol selected", "Korvane", MB_OK);
    return;
  }
  if (!record()) {
    kv_message_box("No multiquote ptr for symbol", "Korvane", MB_OK);
    return;
  }
  if (m_mode == 0) {
    transmit_modified();
    return;
  }
  if (!ValidateOrderForm()) return;
  if (m_order_type < ORD_TARGET)
    place_simple(ORDER_BUY);
  else
    PlaceComposite(record(), ORDER_BUY);
}

void CKvOrdersView::OnSell() {
  read_form();
  if (m_symbol.isEmpty()) {
    kv_message_box("No symbol selected", "Korvane", MB_OK);
    return;
  }
  if (!record()) {
    kv_message_box("No multiquote ptr for symbol", "Korvane", MB_OK);
    return;
  }
  if (m_mode == 0) return;  // SELL is off while an order is modified
  if (!ValidateOrderForm()) return;
  if (m_order_type < ORD_TARGET)
    place_simple(ORDER_SELL);
  else
    PlaceComposite(record(), ORDER_SELL);
}

void CKvOrdersView::PlaceComposite(mqt* rec, int a) {
  int t = m_order_type;
  if (t > ORD_LMT_TRAIL) return;
  composite_plan p;
  p.values = form_values();
  p.symbol = m_symbol;
  p.action = a;
  p.type = t;
  order_rec* main = BuildOrder(rec, a, ORDER_LMT, p.values);
  if (!main) return;
  {
    kv_lock guard(g_chart_lock);
    main->relay.aux = 0;
    main->relay.type &= ~ORDER_TRANSMIT;
    p.waiting_for = main->serial;
    place_order(main);
  }
  m_plans.push_back(p);
  advance_composites(p.waiting_for);
  m_buy->setEnabled(true);
  m_sell->setEnabled(true);
}

// The children of a composite order name their parent by its relay order
// id, which a broker gives only once it has the parent: until then they
// wait here, and a parent that is refused takes its group with it.  Paper
// orders have their id at once.
void CKvOrdersView::advance_composites(uint32_t serial) {
  for (size_t i = 0; i < m_plans.size();) {
    composite_plan& p = m_plans[i];
    if (p.waiting_for != serial) {
      i++;
      continue;
    }
    int32_t parent_id = 0;
    bool dead = false;
    mqt* rec = nullptr;
    {
      kv_lock guard(g_chart_lock);
      order_rec* o = find_order_by_serial(serial);
      if (!o || o->status == ORDER_CANCELLED || o->status == ORDER_INACTIVE)
        dead = true;
      else {
        parent_id = o->relay.order_id;
        rec = o->record;
      }
    }
    if (dead) {
      kv_message_box("Composite order not completed: its first order was not accepted", "Korvane",
                     MB_OK | MB_ICONEXCLAMATION);
      m_plans.erase(m_plans.begin() + (long)i);
      continue;
    }
    if (!parent_id) return;  // not accepted yet
    uint32_t next = place_children(rec, p, parent_id);
    if (next) {
      p.waiting_for = next;
      p.stage++;
      serial = next;  // an id given at once is taken in this pass
      continue;
    }
    m_plans.erase(m_plans.begin() + (long)i);
  }
}

uint32_t CKvOrdersView::place_children(mqt* rec, composite_plan& p, int32_t parent_id) {
  int a = p.action, t = p.type;
  int b = a == ORDER_BUY ? ORDER_SELL : ORDER_BUY;
  double sign = a == ORDER_BUY ? 1 : -1;
  double limit = p.values.limit, aux = p.values.aux, aux2 = p.values.aux2;
  // A child of parent_id; transmit only on the last one placed.
  auto child = [&](int action, int type, double lmt, double ax, int transmit) -> order_rec* {
    order_rec* c = BuildOrder(rec, action, type, p.values);
    if (!c) return nullptr;
    kv_lock guard(g_chart_lock);
    c->relay.limit = lmt;
    c->relay.aux = ax;
    c->relay.parent_id = parent_id;
    if (!transmit) c->relay.type &= ~ORDER_TRANSMIT;
    return c;
  };
  char group[ORDER_TEXT_OCA + 1];
  snprintf(group, sizeof group, "%d", parent_id);
  switch (t) {
    case ORD_TARGET:
      if (order_rec* c = child(b, ORDER_LMT, limit + sign * aux, 0, 1)) place_order(c);
      break;
    case ORD_BRACKET: {
      order_rec* target = child(b, ORDER_LMT, limit + sign * aux, 0, 0);
      if (!target) break;
      {
        kv_lock guard(g_chart_lock);
        snprintf(target->relay.oca, sizeof target->relay.oca, "%s", group);
      }
      place_order(target);
      if (order_rec* stop = child(b, ORDER_STP, 0, limit - sign * aux2, 1)) {
        {
          kv_lock guard(g_chart_lock);
          snprintf(stop->relay.oca, sizeof stop->relay.oca, "%s", group);
        }
        place_order(stop);
      }
      break;
    }
    case ORD_LMT_STOP:
      if (order_rec* c = child(b, ORDER_STP, 0, limit - sign * aux, 1)) place_order(c);
      break;
    case ORD_BOUNCE:
    case ORD_BOUNCE2:
      if (p.stage == 0) {
        // The target first; the re-entry is its child.
        order_rec* target = child(b, ORDER_LMT, limit + sign * aux, 0, 0);
        if (!target) break;
        kv_lock guard(g_chart_lock);
        if (t == ORD_BOUNCE2 && target->relay.quantity <= INT32_MAX / 2)
          target->relay.quantity *= 2;
        uint32_t serial = target->serial;
        place_order(target);
        return serial;
      }
      if (order_rec* again = child(a, ORDER_LMT, limit, aux, 1)) place_order(again);
      break;
    case ORD_LMT_TRAIL:
      // The trailing amount is the aux price; bookkeeping starts the stop
      // at the limit less the amount.
      if (order_rec* c = child(b, ORDER_TRAIL, limit, aux, 1)) place_order(c);
      break;
    default:
      break;
  }
  return 0;
}

// ============================================================================
// Modifying an order.
// ============================================================================

int CKvOrdersView::belongs(const order_rec* o) const {
  return ((o->relay.type & ORDER_SIMULATED) != 0) == (m_kind == KIND_PAPER_ORDERS);
}

int CKvOrdersView::ModifyOrder(uint32_t serial) {
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(serial);
    if (!o || !belongs(o)) return 0;
    m_modify_serial = serial;
    m_mode = 0;
    m_symbol = QString::fromLatin1(o->record->symbol).toUpper();
    m_order_type = order_type(o);
    m_type_text = QString::fromLatin1(order_type_name(m_order_type));
    m_qty = QString::number(o->relay.quantity);
    m_limit =
        o->relay.limit > 0 ? price_text(o->relay.limit) : QString::fromLatin1(kOrdPlaceholder);
    m_aux = o->relay.aux > 0 ? price_text(o->relay.aux) : QString::fromLatin1(kOrdPlaceholder);
    m_oca = QString::fromLatin1(o->relay.oca);
    int tif = order_tif(o);
    m_tif = tif == ORDER_GTC ? 1 : tif == ORDER_IOC ? 2 : 0;
  }
  // The type list shows the order's type among its entries.
  {
    QSignalBlocker block(m_type_box);
    for (int i = 0; i < m_type_box->GetCount(); i++)
      if ((int)m_type_box->GetItemData(i) == m_order_type) m_type_box->SetCurSel(i);
  }
  m_type_text = m_type_box->currentText();
  m_buy->setText(QStringLiteral("TRANSMIT"));
  write_form();
  m_sell->setEnabled(false);
  return 1;
}

void CKvOrdersView::transmit_modified() {
  // The form is checked before the order is touched: a refused form leaves
  // the working order exactly as it is.
  if (!ValidateOrderForm()) return;
  int type_sel = m_type_box->GetCurSel();
  int type = type_sel >= 0 ? (int)m_type_box->GetItemData(type_sel) : m_order_type;
  if (type >= ORD_TARGET) type = m_order_type;  // composites are not a modification
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(m_modify_serial);
    if (o && belongs(o) && o->status != ORDER_FILLED && o->status != ORDER_CANCELLED) {
      o->relay.quantity = (int32_t)m_qty.trimmed().toLong();
      o->relay.limit = field_value(m_limit);
      o->relay.aux = field_value(m_aux);
      set_order_type(o, type);
      copy_field(o->relay.oca, sizeof o->relay.oca, m_oca);
      o->relay.type |= ORDER_TRANSMIT;
      place_order(o);
    }
  }
  InitOrderForm();
}

void CKvOrdersView::leave_modify_mode() {
  InitOrderForm();
}

// ============================================================================
// Position and buttons.
// ============================================================================

void CKvOrdersView::set_close_form(int factor) {
  if (!record()) {
    kv_message_box("No multiquote ptr for symbol", "Korvane", MB_OK);
    return;
  }
  InitOrderForm();
  int net = m_net_position;
  m_close->setEnabled(false);
  m_reverse->setEnabled(false);
  m_buy->setEnabled(net < 0);
  m_sell->setEnabled(net > 0);
  m_qty = QString::number((long long)std::llabs((long long)net) * factor);
  m_limit = m_aux = m_aux2 = QString::fromLatin1(kOrdPlaceholder);
  m_order_type = ORDER_MKT;
  m_type_text = QStringLiteral("MKT");
  {
    QSignalBlocker block(m_type_box);
    for (int i = 0; i < m_type_box->GetCount(); i++)
      if ((int)m_type_box->GetItemData(i) == ORDER_MKT) m_type_box->SetCurSel(i);
  }
  write_form();
}

void CKvOrdersView::OnClosePosition() {
  set_close_form(1);
}

void CKvOrdersView::OnReversePosition() {
  set_close_form(2);
}

void CKvOrdersView::UpdateOrderButtons() {
  read_form();
  bool allowed = trading_allowed();
  bool init = allowed && !m_account.isEmpty() && !m_symbol.isEmpty();
  bool order = init && !m_qty.trimmed().isEmpty();
  bool position = order && m_net_position != 0;
  m_init->setEnabled(init);
  m_buy->setEnabled(order);
  m_sell->setEnabled(order && m_mode == 1);
  m_update->setEnabled(order);
  m_reverse->setEnabled(position);
  m_close->setEnabled(position);
}

int CKvOrdersView::trade_belongs(const trade_rec* t) const {
  return ((t->f.flags & EXEC_LOCAL) != 0) == (m_kind == KIND_PAPER_ORDERS);
}

void CKvOrdersView::UpdatePositionText() {
  mqt* r = record();
  if (!r) return;
  long long net = 0;
  QString text;
  {
    kv_lock guard(g_chart_lock);
    // A record without a contract root (a plain stock) is matched by its
    // symbol, as the broker's portfolio does.
    const char* root = r->contract_root[0] ? r->contract_root : r->symbol;
    if (!m_account.isEmpty())
      if (account_rec* a = get_account(m_account.toLatin1().constData()))
        for (int i = 0; i < a->count; i++) {
          const trade_rec& t = a->trades[i];
          if (!trade_belongs(&t)) continue;
          bool match = false;
          if (r->broker_local_symbol[0] && t.f.local_symbol[0])
            match = strcmp(t.f.local_symbol, r->broker_local_symbol) == 0;
          else if (t.f.symbol[0])
            match = strncmp(t.f.symbol, root, 8) == 0;
          if (match) net += t.f.quantity;
        }
    char strike[64] = "";
    if (r->strike != 0) {
      ChartSettings* s = settings();
      format_price(r->strike, strike, s ? s->price_code : 2, FORMAT_PRICE_DECIMAL);
    }
    const char* name = r->broker_local_symbol[0] ? r->broker_local_symbol
                       : r->contract_root[0]     ? r->contract_root
                                                 : r->symbol;
    if (net > INT32_MAX) net = INT32_MAX;
    if (net < INT32_MIN) net = INT32_MIN;
    char buf[256];
    snprintf(buf, sizeof buf, "%s %.4s %s %s %.4s %d", name, r->sec_type, r->expiry, strike,
             r->right, (int)net);
    text = QString::fromLatin1(buf);
  }
  m_net_position = (int)net;
  m_position_text = text;
  m_close->setEnabled(m_net_position != 0 && trading_allowed());
  QString title =
      QString::fromLatin1(m_kind == KIND_PAPER_ORDERS ? "Paper Trading" : "Real Trading") +
      QStringLiteral(" - ") + m_position_text;
  if (auto* doc = dynamic_cast<CKvChartDoc*>(GetDocument())) {
    QString doc_text = QString::fromLatin1(doc->GetTitleText()).simplified();
    if (!doc_text.isEmpty()) title += QLatin1Char(' ') + doc_text;
    doc->SetTitle(title);
  }
}

// ============================================================================
// Messages and window state.
// ============================================================================

kv_lresult CKvOrdersView::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  switch (message) {
    case WM_ORDER_STATUS:
      if (!m_plans.empty()) advance_composites((uint32_t)lparam);
      OnOrderStatus((uint32_t)lparam);
      return 0;
    case WM_ORDER_REMOVED:
      OnOrderRemoved((uint32_t)lparam);
      return 0;
    case WM_ORDER_EXECUTION: {
      auto* t = (trade_rec*)lparam;
      if (t) OnOrderExecution(t);
      free(t);
      return 0;
    }
    default:
      return KvFormView::WindowProc(message, wparam, lparam);
  }
}

void CKvOrdersView::SaveWindowState(WindowDescriptor* d) {
  (void)d;  // the document stores the frame's placement
}

void CKvOrdersView::RestoreWindowState(const WindowDescriptor* d) {
  KvChildFrame* f = GetParentFrame();
  const int32_t* r = d->settings.normal_rect;
  if (!f || r[2] <= r[0] || r[3] <= r[1]) return;
  KvWindowPlacement wp;
  wp.normal = KvRect(std::max(r[0], 0), std::max(r[1], 0), 0, 0);
  wp.normal.right = wp.normal.left + (r[2] - r[0]);
  wp.normal.bottom = wp.normal.top + (r[3] - r[1]);
  wp.showCmd = d->settings.show_cmd ? d->settings.show_cmd : SW_SHOWNORMAL;
  f->SetWindowPlacement(wp);
}
