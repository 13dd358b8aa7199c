// Graphical trading on a chart: drawing of the order lines, the position
// line and the status strip, picking and dragging, and the order commands.
#include "chartwin/tradeview.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "broker/orddef.h"
#include "broker/orders.h"
#include "broker/positions.h"
#include "broker/twsacct.h"
#include "broker/xsystems.h"
#include "chart/linegeom.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/canvas.h"
#include "platform/services.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"

namespace {

const char* const kActionNames[] = {"?", "BUY", "SELL", "SSHORT"};
const char* const kTypeNames[] = {"?",     "MKT",    "LMT",    "STP",    "STP LMT", "REL", "VWAP",
                                  "TRAIL", "MKTCLS", "LMTCLS", "PEGMKT", "MIT",     "LIT"};
const char* const kButtonNames[] = {"",           "BUY",      "SELL", "STOP",
                                    "TRAIL STOP", "STOP LMT", "MIT",  "LIT"};

const char* action_name(const order_rec* o) {
  int a = order_action(o);
  return a >= 0 && a <= 3 ? kActionNames[a] : "?";
}
const char* type_name(const order_rec* o) {
  int t = order_type(o);
  return t >= 0 && t <= 12 ? kTypeNames[t] : "?";
}

bool finished(const order_rec* o) {
  return o->status == ORDER_PENDING_CANCEL || o->status == ORDER_CANCELLED ||
         o->status == ORDER_FILLED;
}
bool two_line(int type) {
  return type == ORDER_STPLMT || type == ORDER_LIT;
}
int def_kind(const OrderDef* d, int shift) {
  return d ? (int)((d->flags >> shift) & ORDDEF_KIND_MASK) : 0;
}

// The option bits of an order definition as bits of an order's type word.
uint32_t option_bits(const OrderDef* d) {
  if (!d) return 0;
  uint32_t t = ((d->flags >> ORDDEF_TRIGGER_SHIFT) & ORDDEF_TRIGGER_MASK) << 8;
  if (d->flags & ORDDEF_OUTSIDE_RTH) t |= 0x800000;
  if (d->flags & ORDDEF_SWEEP) t |= 0x1000000;
  return t;
}
const uint32_t kOptionMask = 0xF00 | 0x800000 | 0x1000000;

// The price the line of an order is drawn at (selector 2), or its second
// line (selector 3); false when the type draws no line.
bool line_price(const order_rec* o, int line, double* price) {
  int t = order_type(o);
  if (line == GR_LINE_AUX) {
    *price = o->relay.aux;
    return two_line(t);
  }
  switch (t) {
    case ORDER_MKT:
    case ORDER_LMT:
    case ORDER_STPLMT:
    case ORDER_LIT:
      *price = o->relay.limit;
      return true;
    case ORDER_STP:
    case ORDER_MIT:
      *price = o->relay.aux;
      return true;
    case ORDER_TRAIL:
      *price = o->trail_stop;
      return true;
    default:
      return false;
  }
}

}  // namespace

CKvGrTradeView::CKvGrTradeView(KvCanvasView* canvas, uint32_t* state)
    : m_canvas(canvas), m_state(state) {
  for (int i = 0; i < GR_BITMAP_SLOTS; i++) m_bitmaps[i] = grtrade_order_bitmap(i);
}

CKvGrTradeView::~CKvGrTradeView() = default;

void CKvGrTradeView::SetQuote(mqt* record) {
  if (record != m_quote && !record) ResetState();
  m_quote = record;
}

void CKvGrTradeView::SetColors(COLORREF bg, COLORREF text, COLORREF long_color,
                               COLORREF short_color) {
  m_bg = bg, m_text = text, m_long = long_color, m_short = short_color;
}

void CKvGrTradeView::SetScale(double price, double scale_min, double ppu, const QString& typed) {
  m_cursor_price = price;
  m_scale_min = scale_min;
  m_ppu = ppu;
  m_tag = typed;
}

// ============================================================================
// Prices and positions
// ============================================================================

double CKvGrTradeView::Tick() const {
  if (m_def && m_def->tick_size > 0) return m_def->tick_size;
  return m_quote ? m_quote->tick_size : 0;
}

double CKvGrTradeView::RoundToTick(double price) const {
  double tick = Tick();
  if (!(tick > 0) || !std::isfinite(price)) return price;
  double lower = round_down_to_tick(price, tick), upper = round_up_to_tick(price, tick);
  return lower + tick / 2 < price ? upper : lower;
}

QString CKvGrTradeView::PriceText(double price) const {
  double tick = m_quote ? m_quote->tick_size : 0;
  int code = tick_decimals(tick);
  // Thirty-seconds show their halves.
  if (code == PRICE_CODE_32NDS) code = PRICE_CODE_64THS;
  char buf[64];
  format_price(price, buf, code, 0);
  return QString::fromLatin1(buf);
}

int CKvGrTradeView::PriceToY(double price) const {
  return (int)(m_data.bottom - (price - m_scale_min) * m_ppu);
}

double CKvGrTradeView::YToPrice(int y) const {
  if (!(m_ppu > 0)) return m_scale_min;
  return m_scale_min + (m_data.bottom - y) / m_ppu;
}

bool CKvGrTradeView::paper_mode() const {
  return !m_def || (m_def->flags & ORDDEF_MODE_MASK) != ORDDEF_MODE_REAL;
}

int CKvGrTradeView::position(double* avg, double* realised, double* unrealised) const {
  double a = 0, r = 0, u = 0, p = 0;
  if (m_quote) {
    kv_lock guard(g_chart_lock);
    if (!paper_mode()) {
      p = get_position_totals(m_quote, &a, &u, &r);
    } else {
      p = m_quote->paper_quantity;
      a = m_quote->paper_avg_price;
      r = m_quote->paper_profit;
      double mult = m_quote->multiplier ? m_quote->multiplier : 1;
      u = p != 0 && m_quote->last > 0 ? (m_quote->last - a) * p * mult : 0;
    }
  }
  if (avg) *avg = a;
  if (realised) *realised = r;
  if (unrealised) *unrealised = u;
  return (int)p;
}

bool CKvGrTradeView::order_shown(const order_rec* o) const {
  if (o->flags & ORDER_F_STALE) return false;
  int mode = m_def ? (int)(m_def->flags & ORDDEF_MODE_MASK) : (int)ORDDEF_MODE_PAPER;
  if (o->relay.type & ORDER_SIMULATED) return mode != ORDDEF_MODE_REAL;
  return mode != ORDDEF_MODE_PAPER;
}

bool CKvGrTradeView::armed_or_dragging() const {
  return (*m_state & (GR_ARMED | GR_DRAGGING)) != 0;
}

// ============================================================================
// Drawing
// ============================================================================

COLORREF CKvGrTradeView::StatusColor(const order_rec* o, int line) {
  switch (o->status) {
    case ORDER_PENDING_SUBMIT:
      return 0xFFFF00;
    case ORDER_PENDING_CANCEL:
      return 0xFF00FF;
    case ORDER_PRE_SUBMITTED:
      if (o->flags & ORDER_F_WAITING) return 0x000080;
      if (two_line(order_type(o))) return line == GR_LINE_LIMIT ? 0x000080 : 0x800000;
      return 0x800000;
    case ORDER_SUBMITTED:
      return 0x00FF00;
    case ORDER_CANCELLED:
      return 0x0000FF;
    case ORDER_FILLED:
    case ORDER_INACTIVE:
      return 0xC0C0C0;
    default:
      debug_trace("CKvGrTradeView::getStatusColor(): orderid = %d, status value =%d\n",
                  o->relay.order_id, o->status);
      return 0x00FFFF;
  }
}

void CKvGrTradeView::recolour_bitmaps() {
  if (m_bg == m_bitmap_bg) return;
  for (QImage& b : m_bitmaps) ReplaceBitmapColor(&b, m_bitmap_bg, m_bg);
  m_bitmap_bg = m_bg;
}

const QImage& CKvGrTradeView::order_bitmap(const order_rec* o, int line) {
  int family;
  switch (order_type(o)) {
    case ORDER_STP:
      family = 1;
      break;
    case ORDER_STPLMT:
      family = line == GR_LINE_LIMIT ? 0 : 2;
      break;
    case ORDER_TRAIL:
      family = 3;
      break;
    case ORDER_MIT:
      family = 4;
      break;
    case ORDER_LIT:
      family = line == GR_LINE_LIMIT ? 0 : 5;
      break;
    default:
      family = 0;
  }
  int a = order_action(o);
  int side = a == ORDER_BUY ? 0 : (a == ORDER_SELL || a == ORDER_SSHORT) ? 1 : 2;
  bool inactive = o->status == ORDER_CANCELLED || o->status == ORDER_FILLED;
  return m_bitmaps[family * 6 + side + (inactive && side < 2 ? 3 : 0)];
}

QString CKvGrTradeView::ModeLabel() const {
  static const char kEntry[] = "LSM", kStop[] = "-ST", kTarget[] = "-LM";
  QString s = QStringLiteral("L--");
  if (m_def) {
    int e = def_kind(m_def, ORDDEF_OPEN_SHIFT), st = def_kind(m_def, ORDDEF_STOP_SHIFT),
        t = def_kind(m_def, ORDDEF_TARGET_SHIFT);
    s = QString(QChar(kEntry[std::min(e, 2)])) + QChar(kStop[std::min(st, 2)]) +
        QChar(kTarget[std::min(t, 2)]);
  }
  return s + (paper_mode() ? QStringLiteral(".P") : QStringLiteral(".R"));
}

KvRect CKvGrTradeView::ButtonRect(int button) const {
  int left = m_strip.right - GR_BUTTONS_WIDTH + (button - 1) * GR_BUTTON_SIZE;
  return KvRect(left, m_strip.top, left + GR_BUTTON_SIZE, m_strip.top + GR_BUTTON_SIZE);
}

void CKvGrTradeView::DrawButtons(KvDC& dc, const KvRect& strip) {
  m_strip = strip;
  if (strip.IsRectEmpty()) return;
  KvFont old = dc.SelectFont(KvFont::StockVariable());
  QString label = ModeLabel();
  KvSize ext = dc.GetTextExtent(label);
  m_label_width = ext.cx + 4;
  m_label_height = ext.cy;
  dc.SetBkMode(OPAQUE);
  dc.SetBkColor(m_bg);
  dc.SetTextColor(m_text);
  KvRect lr(strip.right - GR_BUTTONS_WIDTH - m_label_width, strip.top,
            strip.right - GR_BUTTONS_WIDTH, strip.bottom);
  dc.FillSolidRect(lr, m_bg);
  dc.DrawText(label, lr, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  dc.SelectFont(old);
  for (int b = 1; b <= GR_BUTTON_COUNT; b++) {
    QImage img = grtrade_button_bitmap(b);
    ReplaceBitmapColor(&img, 0xFFFFFF, m_bg);
    KvRect r = ButtonRect(b);
    dc.BitBlt(r.left, r.top, GR_BUTTON_SIZE, GR_BUTTON_SIZE, img, 0, 0);
  }
}

void CKvGrTradeView::DrawStatus(KvDC& dc, const KvRect& strip) {
  m_strip = strip;
  KvRect r = strip;
  r.right = strip.right - GR_BUTTONS_WIDTH - m_label_width;
  if (r.right <= r.left) return;
  dc.FillSolidRect(r, m_bg);
  QString text;
  if (armed_or_dragging()) {
    text = (*m_state & GR_CONTINGENT) ? QStringLiteral("Contingent %1").arg(m_status) : m_status;
  } else {
    double avg, realised, unrealised;
    int pos = position(&avg, &realised, &unrealised);
    char pl[32], unpl[32];
    snprintf(pl, sizeof pl, "%.2f", realised);
    snprintf(unpl, sizeof unpl, "%.2f", unrealised);
    text = QStringLiteral("Pos %1 AV %2 PL %3  UNPL %4 %5")
               .arg(pos)
               .arg(PriceText(avg))
               .arg(QString::fromLatin1(pl))
               .arg(QString::fromLatin1(unpl))
               .arg(m_status);
  }
  KvFont old = dc.SelectFont(KvFont::StockVariable());
  dc.SetBkMode(OPAQUE);
  dc.SetBkColor(m_bg);
  dc.SetTextColor(m_text);
  dc.DrawText(text, r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  dc.SelectFont(old);
}

void CKvGrTradeView::DrawOrders(KvDC& dc, const KvRect& data, const KvRect& trade) {
  m_data = data;
  m_trade = trade;
  if (!m_quote || !(m_ppu > 0)) return;
  recolour_bitmaps();
  dc.IntersectClipRect(KvRect(0, data.top, trade.right, data.bottom));

  // The position line at the average price.
  double avg = 0;
  int pos = position(&avg, nullptr, nullptr);
  if (pos != 0) {
    COLORREF c = pos > 0 ? m_long : m_short;
    int y = PriceToY(avg);
    KvPen old = dc.SelectPen(KvPen(PS_DOT, 1, c));
    dc.MoveTo(data.left, y);
    dc.LineTo(data.right, y);
    dc.SelectPen(old);
    KvFont of = dc.SelectFont(KvFont(QStringLiteral("Arial"), 7));
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(c);
    QString label = QStringLiteral("%1 @ %2").arg(pos).arg(PriceText(avg));
    KvSize ext = dc.GetTextExtent(label);
    dc.TextOut(data.left + 1, y - ext.cy, label);
    dc.SelectFont(of);
  }

  kv_lock guard(g_chart_lock);
  int lot = m_def ? m_def->lot_size : 0;
  for (order_rec* o = get_mqt_orders(m_quote); o; o = o->next) {
    if (!order_shown(o)) continue;
    int t = order_type(o);
    int lines[2] = {GR_LINE_LIMIT, 0};
    if (two_line(t) && o->status != ORDER_SUBMITTED)
      lines[0] = GR_LINE_AUX, lines[1] = GR_LINE_LIMIT;
    for (int line : lines) {
      if (!line) continue;
      double price;
      if (!line_price(o, line, &price) || !std::isfinite(price)) continue;
      int y = PriceToY(price);
      if (!data.PtInRect(data.left, y)) continue;
      COLORREF c = StatusColor(o, line);
      KvPen old = dc.SelectPen(KvPen(PS_SOLID, 1, c));
      dc.MoveTo(data.left, y);
      dc.LineTo(data.right, y);
      dc.SelectPen(old);
      if (o->advisor_account[0]) {
        KvFont of = dc.SelectFont(KvFont(QStringLiteral("Arial"), 7));
        dc.SetBkMode(OPAQUE);
        dc.SetBkColor(m_bg);
        dc.SetTextColor(c);
        QString acct = QString::fromLatin1(o->advisor_account);
        dc.TextOut(data.left + 1, y - dc.GetTextExtent(acct).cy, acct);
        dc.SelectFont(of);
      }
      const QImage& bmp = order_bitmap(o, line);
      if (!bmp.isNull()) dc.BitBlt(trade.left, y - 7, 15, 15, bmp, 0, 0);
      int qty = o->remaining > 0 ? o->remaining : o->relay.quantity;
      QString label = QStringLiteral("%1 %2")
                          .arg(QChar(o->letter && o->letter != ' ' ? o->letter : '_'))
                          .arg(lot > 0 ? qty / lot : qty);
      KvFont of = dc.SelectFont(KvFont::StockVariable());
      dc.SetBkMode(OPAQUE);
      dc.SetBkColor(m_bg);
      dc.SetTextColor((o->flags & ORDER_F_STUDY) ? o->study_colour : m_text);
      KvRect lr(trade.left + 16, y - 7, trade.right, y + 8);
      dc.DrawText(label, lr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      dc.SelectFont(of);
    }
  }
}

// ============================================================================
// Hit test, picking and dragging
// ============================================================================

grtrade_hit CKvGrTradeView::IsOverGrTrade(int x, int y) {
  if (!m_quote) return grtrade_hit();
  if ((*m_state & GR_ARMED) && !(*m_state & GR_OVER_TARGET)) return m_hit;
  *m_state &= ~GR_OVER_TARGET;
  m_hit = grtrade_hit();
  if (!m_strip.IsRectEmpty())
    for (int b = 1; b <= GR_BUTTON_COUNT; b++)
      if (ButtonRect(b).PtInRect(x, y)) {
        m_hit = {GR_HIT_BUTTON, (uint32_t)b};
        *m_state |= GR_OVER_TARGET;
        return m_hit;
      }
  if (m_trade.IsRectEmpty() || !(m_ppu > 0)) return m_hit;
  kv_lock guard(g_chart_lock);
  for (order_rec* o = m_quote->orders; o; o = o->next) {
    if (!order_shown(o)) continue;
    int t = order_type(o);
    for (int line : {GR_LINE_LIMIT, GR_LINE_AUX}) {
      if (line == GR_LINE_AUX && (!two_line(t) || o->status == ORDER_SUBMITTED)) continue;
      double price;
      if (!line_price(o, line, &price)) {
        debug_trace("CKvGrTradeView::IsOverGrTrade() order_type=%d\n", t);
        break;
      }
      // The same y as the line is drawn at.
      int ly = PriceToY(price);
      KvRect box(m_trade.left, ly - 7, m_trade.left + 15, ly + 8);
      if (box.PtInRect(x, y)) {
        m_line = two_line(t) && price == o->relay.aux ? GR_LINE_AUX : GR_LINE_LIMIT;
        m_hit = {GR_HIT_ORDER, o->serial};
        *m_state |= GR_OVER_TARGET;
        return m_hit;
      }
    }
  }
  return m_hit;
}

int CKvGrTradeView::BeginDrag(int x, int y) {
  if (!m_quote) return 0;
  if (*m_state & GR_OVER_TARGET) {
    // The release over the same target picks it.
    m_captured = true;
    return 1;
  }
  if (!(*m_state & GR_ARMED)) return 0;
  m_start_x = m_last_x = x;
  m_start_y = m_last_y = y;
  *m_state = (*m_state & ~GR_ARMED) | GR_DRAGGING;
  m_drag_price = RoundToTick(YToPrice(y));
  draw_box(x, y);
  return 1;
}

void CKvGrTradeView::TrackMouse(int x, int y) {
  if (!(*m_state & GR_DRAGGING)) {
    IsOverGrTrade(x, y);
    return;
  }
  if (x == m_last_x && y == m_last_y) return;
  m_last_x = x, m_last_y = y;
  m_drag_price = RoundToTick(YToPrice(y));
  draw_box(x, y);
}

int CKvGrTradeView::EndDrag() {
  if (*m_state & GR_DRAGGING) {
    drop();
    return 1;
  }
  if (m_captured) {
    m_captured = false;
    if (*m_state & GR_OVER_TARGET) {
      pick();
      return 1;
    }
  }
  return 0;
}

void CKvGrTradeView::status_changed() {
  if (m_canvas) m_canvas->PostMessage(WM_PORTFOLIO_UPDATE);
}

QString CKvGrTradeView::BracketText(int button) const {
  static const char* const kEntry[] = {"LMT", "STP", "MIT"};
  static const char* const kStop[] = {"none", "STP", "TRAIL"};
  static const char* const kTarget[] = {"none", "LMT", "MIT"};
  int pos = position(nullptr, nullptr, nullptr);
  bool closing = (button == GR_BUY_LIMIT && pos < 0) || (button == GR_SELL_LIMIT && pos > 0);
  return QStringLiteral("%1%2%3 %4")
      .arg(QString::fromLatin1(kEntry[std::min(def_kind(m_def, ORDDEF_OPEN_SHIFT), 2)]))
      .arg(closing ? QStringLiteral(" closing ") : QStringLiteral(" "))
      .arg(QString::fromLatin1(kStop[std::min(def_kind(m_def, ORDDEF_STOP_SHIFT), 2)]))
      .arg(QString::fromLatin1(kTarget[std::min(def_kind(m_def, ORDDEF_TARGET_SHIFT), 2)]));
}

void CKvGrTradeView::pick() {
  grtrade_hit hit = m_hit;
  if (hit.kind == GR_HIT_BUTTON) {
    if (!check_order_preconditions(m_def, m_quote)) return;
    m_selected = hit;
    m_prepared = m_def->lot_size;
    int b = (int)hit.value;
    if (b <= GR_SELL_LIMIT)
      m_status =
          QStringLiteral("%1 %2 %3").arg(kButtonNames[b]).arg(m_prepared).arg(BracketText(b));
    else
      m_status = QStringLiteral("%1 %2").arg(kButtonNames[b]).arg(m_prepared);
  } else if (hit.kind == GR_HIT_ORDER) {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(hit.value);
    if (!o || o->status == ORDER_PENDING_CANCEL) return;
    if (o->status == ORDER_CANCELLED || o->status == ORDER_FILLED) {
      // A finished order leaves the chart instead of being picked.
      o->flags |= ORDER_F_FINISHED | ORDER_F_STALE;
      ResetState();
      if (m_canvas) m_canvas->Invalidate(true);
      return;
    }
    m_selected = hit;
    m_selected_line = m_line;  // later hovers must not change the line being moved
    m_status = QStringLiteral("%1 %2 %3")
                   .arg(action_name(o))
                   .arg(type_name(o))
                   .arg(o->remaining > 0 ? o->remaining : o->relay.quantity);
  } else {
    return;
  }
  *m_state |= GR_ARMED;
  status_changed();
}

void CKvGrTradeView::draw_box(int x, int y) {
  if (!m_canvas) return;
  KvClientDC dc(m_canvas);
  erase_box_on(dc);
  QString text = PriceText(m_drag_price);
  KvFont old = dc.SelectFont(KvFont(QStringLiteral("Arial"), 8));
  KvSize ext = dc.GetTextExtent(text);
  int w = ext.cx + 4, h = ext.cy + 4;
  KvRect client = m_canvas->GetClientRect();
  KvRect box = x < client.Width() / 2 ? KvRect(x, y - h, x + w, y) : KvRect(x - w, y - h, x, y);
  box.left = std::max(box.left, client.left);
  box.top = std::max(box.top, client.top);
  box.right = std::min(box.right, client.right);
  box.bottom = std::min(box.bottom, client.bottom);
  if (box.IsRectEmpty()) {
    dc.SelectFont(old);
    return;
  }
  m_box = box;
  m_box_save = SaveScreenRect(dc, box);
  *m_state |= GR_BOX_SHOWN;
  dc.SelectPen(KvPen(PS_SOLID, 1, 0));
  dc.SelectBrush(KvBrush(0xB8F0FE));
  dc.Rectangle(box);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(0);
  KvRect tr = box;
  dc.DrawText(text, tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  dc.SelectFont(old);
}

void CKvGrTradeView::erase_box_on(KvDC& dc) {
  if (!(*m_state & GR_BOX_SHOWN)) return;
  RestoreScreenRect(dc, m_box_save, m_box);
  *m_state &= ~GR_BOX_SHOWN;
  m_box_save = QImage();
}

void CKvGrTradeView::erase_box() {
  if (!(*m_state & GR_BOX_SHOWN) || !m_canvas) {
    *m_state &= ~GR_BOX_SHOWN;
    return;
  }
  KvClientDC dc(m_canvas);
  erase_box_on(dc);
}

void CKvGrTradeView::drop() {
  erase_box();
  double price = m_drag_price > 0 ? m_drag_price : m_cursor_price;
  m_status.clear();
  grtrade_hit sel = m_selected;
  if (sel.kind == GR_HIT_ORDER)
    move_selected_order(price);
  else if (sel.kind == GR_HIT_BUTTON)
    place_new_order((int)sel.value, price);
  if (!m_pending_box.empty()) {
    std::string box;
    box.swap(m_pending_box);
    kv_message_box(box.c_str(), "Korvane", MB_OK);
  }
  QString why = m_status;
  ResetState();
  // A refusal stays readable on the strip.
  m_status = why;
  status_changed();
}

void CKvGrTradeView::ResetState() {
  erase_box();
  m_start_x = m_start_y = m_last_x = m_last_y = -1;
  m_selected = grtrade_hit();
  m_hit = grtrade_hit();
  m_box = KvRect();
  m_status.clear();
  m_prepared = 0;
  m_captured = false;
  *m_state &= ~(uint32_t)GR_RESET_MASK;
}

// ============================================================================
// Orders
// ============================================================================

// Sends an order, never with a quantity below 1: such an order is not sent
// and the status text says why. 1 sent.
int CKvGrTradeView::send(order_rec* o) {
  if (o->relay.quantity < 1) {
    m_status = QStringLiteral("Quantity %1 is below 1: order not sent").arg(o->relay.quantity);
    status_changed();
    return 0;
  }
  return place_order(o);
}

void CKvGrTradeView::move_selected_order(double price) {
  kv_lock guard(g_chart_lock);
  order_rec* o = find_order_by_serial(m_selected.value);
  if (!o || finished(o)) return;
  double shift = 0;
  int type = order_type(o);
  switch (type) {
    case ORDER_LMT:
      shift = price - o->relay.limit;
      o->relay.limit = price;
      break;
    case ORDER_STP:
    case ORDER_MIT:
      shift = price - o->relay.aux;
      o->relay.aux = price;
      break;
    case ORDER_STPLMT:
    case ORDER_LIT:
      if (m_selected_line == GR_LINE_AUX)
        o->relay.aux = price;
      else
        o->relay.limit = price;
      break;
    case ORDER_TRAIL: {
      order_rec* parent = nullptr;
      if (o->relay.parent_id && o->status != ORDER_SUBMITTED)
        parent = find_order_by_id(o->relay.parent_id);
      double ref = parent ? parent->relay.limit : m_quote->last;
      double distance = ref - price;
      if (order_action(o) == ORDER_BUY) distance = -distance;
      if (distance < 0) distance = 0;
      o->relay.aux = RoundToTick(distance);
      o->relay.limit = ref;
      break;
    }
    default:
      break;
  }
  // The children follow: both prices of a two-price child move by the
  // same amount, so its stop and limit keep their distance.
  if (o->relay.order_id)
    for (order_rec* c = m_quote->orders; c; c = c->next) {
      if (c == o || c->relay.parent_id != o->relay.order_id || finished(c)) continue;
      switch (order_type(c)) {
        case ORDER_LMT:
          c->relay.limit += shift;
          break;
        case ORDER_STP:
        case ORDER_MIT:
          c->relay.aux += shift;
          break;
        case ORDER_STPLMT:
        case ORDER_LIT:
          c->relay.aux += shift;
          c->relay.limit += shift;
          break;
        case ORDER_TRAIL:
          c->trail_stop =
              order_action(c) == ORDER_BUY ? c->relay.aux + price : price - c->relay.aux;
          continue;
        default:
          continue;
      }
      send(c);
    }
  o->relay.type = (o->relay.type & ~kOptionMask) | option_bits(m_def) | ORDER_TRANSMIT;
  send(o);
}

order_rec* CKvGrTradeView::new_chart_order(int action, int type) {
  order_rec* o = create_order(m_quote);
  if (!o) return nullptr;
  kv_lock guard(g_chart_lock);
  int tif = (m_def && (m_def->flags & ORDDEF_GTC)) ? ORDER_GTC : ORDER_DAY;
  o->relay.type = order_type_word(action, tif, type) | option_bits(m_def) | ORDER_TRANSMIT;
  if (paper_mode()) {
    o->relay.type |= ORDER_SIMULATED;
    if (m_def)
      snprintf(o->relay.account, sizeof o->relay.account, "%.*s", (int)ORDDEF_ACCOUNT_SIZE,
               m_def->account);
  }
  o->relay.quantity = m_prepared > 0 ? m_prepared : (m_def ? m_def->lot_size : 0);
  m_prepared = 0;
  return o;
}

int CKvGrTradeView::apply_order_tag(order_rec* o, int letter) {
  QByteArray tag = m_tag.left(2).toLatin1();
  m_tag.clear();
  char c0 = tag.size() > 0 ? tag[0] : 0, c1 = tag.size() > 1 ? tag[1] : 0;
  if (letter) c0 = (char)letter;
  int taken = 0;
  if (isalpha((unsigned char)c0))
    taken = toupper((unsigned char)c0);
  else if (isalpha((unsigned char)c1))
    taken = toupper((unsigned char)c1);
  char oca[ORDER_TEXT_OCA + 1] = "";
  if (taken) {
    set_order_letter(o, taken);
    order_oca_group(o, oca);
  }
  snprintf(o->relay.oca, sizeof o->relay.oca, "%s", oca);
  // A digit multiplies the quantity; 0 would empty the order, so only 1-9 count.
  if (c0 >= '1' && c0 <= '9') return c0 - '0';
  if (c1 >= '1' && c1 <= '9') return c1 - '0';
  return 1;
}

void CKvGrTradeView::place_new_order(int button, double price) {
  if (!m_quote || !m_def) return;
  double last = m_quote->last;
  int type = ORDER_LMT, action = ORDER_BUY;
  switch (button) {
    case GR_BUY_LIMIT:
      break;
    case GR_SELL_LIMIT:
      action = ORDER_SELL;
      break;
    case GR_STOP:
    case GR_TRAIL_STOP:
    case GR_STOP_LIMIT:
      type = button == GR_STOP ? ORDER_STP : button == GR_TRAIL_STOP ? ORDER_TRAIL : ORDER_STPLMT;
      action = last > price ? ORDER_SELL : ORDER_BUY;
      break;
    case GR_MIT:
    case GR_LIT:
      type = button == GR_MIT ? ORDER_MIT : ORDER_LIT;
      action = last > price ? ORDER_BUY : ORDER_SELL;
      break;
    default:
      return;
  }
  order_rec* o = new_chart_order(action, type);
  if (!o) return;
  kv_lock guard(g_chart_lock);
  if (o->relay.quantity < 1) {
    m_status = QStringLiteral("Quantity %1 is below 1: order not sent").arg(o->relay.quantity);
    delete_order(o);
    return;
  }
  bool buy = action == ORDER_BUY;
  switch (type) {
    case ORDER_LMT:
      o->relay.limit = price;
      break;
    case ORDER_STP:
    case ORDER_MIT:
      o->relay.aux = price;
      break;
    case ORDER_TRAIL:
      o->relay.limit = last;
      o->relay.aux = RoundToTick(std::fabs(last - price));
      break;
    default:  // STP LMT and LIT
      o->relay.aux = price;
      o->relay.limit =
          RoundToTick(buy ? price + m_def->stop_limit_offset : price - m_def->stop_limit_offset);
      if (!o->relay.oca[0])
        if (int letter = next_order_letter(m_quote)) set_order_letter(o, tolower(letter));
      break;
  }

  int pos = position(nullptr, nullptr, nullptr);
  bool opens = buy ? pos >= 0 : pos <= 0;
  if (button <= GR_SELL_LIMIT && opens && !(*m_state & GR_CONTINGENT) &&
      (def_kind(m_def, ORDDEF_STOP_SHIFT) || def_kind(m_def, ORDDEF_TARGET_SHIFT))) {
    int letter = next_order_letter(m_quote);
    apply_order_tag(o, letter);
    o->relay.oca[0] = 0;
    if (letter) set_order_letter(o, tolower(letter));
    place_bracket(action, o, letter, price, button);
    return;
  }

  if (*m_state & GR_CONTINGENT) {
    *m_state &= ~GR_CONTINGENT;
    QByteArray tag = m_tag.left(1).toLatin1();
    int letter = tag.isEmpty() ? ' ' : tolower((unsigned char)tag[0]);
    order_rec* group = nullptr;
    if (isalpha(letter))
      for (order_rec* p = m_quote->orders; p; p = p->next)
        if (p != o && tolower((unsigned char)p->letter) == letter) {
          group = p;
          break;
        }
    if (!group) {
      char text[64];
      snprintf(text, sizeof text, "No order found with OCA letter %c, order ignored", letter);
      delete_order(o);
      // Shown by the caller once the chart lock is let go.
      m_pending_box = text;
      return;
    }
    if (group->status == ORDER_PENDING_CANCEL || group->status == ORDER_CANCELLED) {
      delete_order(o);
      return;
    }
    if (group->status != ORDER_FILLED) {
      o->relay.parent_id = group->relay.order_id;
      set_order_letter(o, letter);
    }
  }
  int factor = apply_order_tag(o, 0);
  o->relay.quantity *= factor;
  if (o->letter == ' ' || !o->letter)
    if (int letter = next_order_letter(m_quote)) set_order_letter(o, tolower(letter));
  send(o);
  *m_state &= ~GR_CONTINGENT;
}

void CKvGrTradeView::place_bracket(int action, order_rec* entry, int letter, double price,
                                   int button) {
  kv_lock guard(g_chart_lock);
  entry->relay.type &= ~ORDER_TRANSMIT;
  int entry_kind = def_kind(m_def, ORDDEF_OPEN_SHIFT);
  if (entry_kind == 1 || entry_kind == 2) {
    set_order_type(entry, entry_kind == 1 ? ORDER_STP : ORDER_MIT);
    entry->relay.aux = entry->relay.limit;
  }
  bool buy = action == ORDER_BUY;
  int opposite = button == GR_BUY_LIMIT ? ORDER_SELL : ORDER_BUY;
  int quantity = entry->relay.quantity;
  order_rec* children[2] = {nullptr, nullptr};
  int stop_kind = def_kind(m_def, ORDDEF_STOP_SHIFT);
  if (stop_kind == 1 || stop_kind == 2) {
    order_rec* c = new_chart_order(opposite, stop_kind == 1 ? ORDER_STP : ORDER_TRAIL);
    if (c) {
      if (stop_kind == 1) {
        c->relay.aux = RoundToTick(buy ? price - m_def->stop_offset : price + m_def->stop_offset);
      } else {
        c->relay.limit = price;
        c->relay.aux = m_def->trail_offset;
      }
      children[0] = c;
    }
  }
  int target_kind = def_kind(m_def, ORDDEF_TARGET_SHIFT);
  if (target_kind == 1 || target_kind == 2) {
    order_rec* c = new_chart_order(opposite, target_kind == 1 ? ORDER_LMT : ORDER_MIT);
    if (c) {
      c->relay.limit =
          RoundToTick(buy ? price + m_def->target_offset : price - m_def->target_offset);
      c->relay.aux = c->relay.limit;
      children[1] = c;
    }
  }
  for (order_rec* c : children) {
    if (!c) continue;
    c->relay.quantity = quantity;
    c->relay.type &= ~ORDER_TRANSMIT;
    if (letter) set_order_letter(c, tolower(letter));
    snprintf(c->relay.oca, sizeof c->relay.oca, "%s", entry->relay.oca);
  }
  order_rec* last = children[1] ? children[1] : children[0] ? children[0] : entry;
  last->relay.type |= ORDER_TRANSMIT;
  if (!send(entry)) {
    for (order_rec* c : children)
      if (c) delete_order(c);
    return;
  }
  for (order_rec* c : children) {
    if (!c) continue;
    c->relay.parent_id = entry->relay.order_id;
    send(c);
  }
}

// ============================================================================
// Quantities
// ============================================================================

void CKvGrTradeView::ChangeQuantity(int direction, int digit) {
  if (!m_def) return;
  int lot = m_def->lot_size, step = m_def->increment;
  if (m_selected.kind == GR_HIT_ORDER) {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(m_selected.value);
    if (!o || finished(o)) return;
    int old = o->relay.quantity;
    int q = digit ? digit * lot : old + direction * step;
    if (q < 1) {
      // An order of nothing is never sent: the order keeps its size.
      m_status = QStringLiteral("%1 %2 %3: quantity can't go below 1")
                     .arg(action_name(o))
                     .arg(type_name(o))
                     .arg(old);
      status_changed();
      return;
    }
    o->relay.quantity = q;
    for (order_rec* c = m_quote->orders; c; c = c->next)
      if (c != o && o->relay.order_id && c->relay.parent_id == o->relay.order_id && !finished(c) &&
          c->relay.quantity == old)
        c->relay.quantity = q;
    m_status = QStringLiteral("%1 %2 %3").arg(action_name(o)).arg(type_name(o)).arg(q);
  } else if (m_selected.kind == GR_HIT_BUTTON) {
    int q = digit ? digit * lot : m_prepared + direction * step;
    if (direction < 0 && q < lot) q = lot;
    int b = (int)m_selected.value;
    if (q < 1) {
      m_status =
          QStringLiteral("%1 %2: quantity can't go below 1").arg(kButtonNames[b]).arg(m_prepared);
      status_changed();
      return;
    }
    m_prepared = q;
    if (b <= GR_SELL_LIMIT)
      m_status = QStringLiteral("%1 %2 %3").arg(kButtonNames[b]).arg(q).arg(BracketText(b));
    else
      m_status = QStringLiteral("%1 %2").arg(kButtonNames[b]).arg(q);
  } else {
    return;
  }
  status_changed();
}

// ============================================================================
// Commands
// ============================================================================

order_rec* CKvGrTradeView::FindSelectedOrder() {
  grtrade_hit h = armed_or_dragging() ? m_selected : m_hit;
  if (h.kind != GR_HIT_ORDER) return nullptr;
  return find_order_by_serial(h.value);
}

void CKvGrTradeView::RemoveSelectedOrder(int cancel) {
  if (!m_quote) return;
  // The check may show its message: before the lock is taken.
  int allowed = cancel ? check_order_preconditions(m_def, m_quote) : 1;
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = FindSelectedOrder();
    if (o) {
      if (cancel) {
        if (!finished(o) && allowed) cancel_order(o);
      } else {
        o->flags |= ORDER_F_FINISHED | ORDER_F_STALE;
      }
    }
  }
  ResetState();
}

void CKvGrTradeView::RemoveCancelledOrders() {
  if (!m_quote) return;
  kv_lock guard(g_chart_lock);
  for (order_rec* o = m_quote->orders; o; o = o->next)
    if (o->status == ORDER_PENDING_CANCEL || o->status == ORDER_CANCELLED)
      o->flags |= ORDER_F_FINISHED | ORDER_F_STALE;
}

QString CKvGrTradeView::GetOcaName() {
  if (!m_quote) return QString();
  kv_lock guard(g_chart_lock);
  order_rec* o = FindSelectedOrder();
  if (!o) return QStringLiteral("No Order");
  return QStringLiteral("OCA=\"%1\"").arg(QString::fromLatin1(o->relay.oca));
}

int CKvGrTradeView::IsSelectedOrderRemovable(int* cancelled) {
  if (cancelled) *cancelled = 0;
  if (!m_quote) return 0;
  kv_lock guard(g_chart_lock);
  order_rec* o = FindSelectedOrder();
  if (!o) return 0;
  if (cancelled)
    *cancelled = o->status == ORDER_PENDING_CANCEL || o->status == ORDER_CANCELLED ? 1 : 0;
  return 1;
}

void CKvGrTradeView::quick_order(int action, int quantity, double price) {
  order_rec* o = new_chart_order(action, ORDER_LMT);
  if (!o) return;
  kv_lock guard(g_chart_lock);
  o->relay.type = (o->relay.type & ~ORDER_TIF_MASK) | (uint32_t)ORDER_IOC << ORDER_TIF_SHIFT;
  if (quantity > 0) o->relay.quantity = quantity;
  o->relay.limit = price;
  if (!send(o)) delete_order(o);
}

void CKvGrTradeView::BuyAtMid() {
  if (!check_order_preconditions(m_def, m_quote)) return;
  double mid = ((double)m_quote->bid + m_quote->ask) / 2;
  quick_order(ORDER_BUY, 0, RoundToTick(mid + m_def->hotkey_buy_offset));
}

void CKvGrTradeView::SellAtMid() {
  if (!check_order_preconditions(m_def, m_quote)) return;
  double mid = ((double)m_quote->bid + m_quote->ask) / 2;
  quick_order(ORDER_SELL, 0, RoundToTick(mid - m_def->hotkey_sell_offset));
}

void CKvGrTradeView::mid_order(int factor) {
  if (!check_order_preconditions(m_def, m_quote)) return;
  int pos = position(nullptr, nullptr, nullptr);
  if (pos == 0) return;
  double mid = ((double)m_quote->bid + m_quote->ask) / 2;
  int quantity = std::abs(pos) * factor;
  if (pos > 0)
    quick_order(ORDER_SELL, quantity, RoundToTick(mid - m_def->hotkey_sell_offset));
  else
    quick_order(ORDER_BUY, quantity, RoundToTick(mid + m_def->hotkey_buy_offset));
}

void CKvGrTradeView::ClosePosition() {
  mid_order(1);
}

void CKvGrTradeView::ReversePosition() {
  mid_order(2);
}

void CKvGrTradeView::CancelAllOrders() {
  if (!check_order_preconditions(m_def, m_quote)) return;
  kv_lock guard(g_chart_lock);
  for (order_rec* o = m_quote->orders; o; o = o->next)
    if (!finished(o)) cancel_order(o);
}

namespace {
void rotate(OrderDef* d, int shift) {
  if (!d) return;
  int k = (int)((d->flags >> shift) & ORDDEF_KIND_MASK);
  k = k >= 2 ? 0 : k + 1;
  d->flags = (d->flags & ~(ORDDEF_KIND_MASK << shift)) | (uint32_t)k << shift | ORDDEF_MODIFIED;
}
}  // namespace

void CKvGrTradeView::RotateOrderOpen() {
  rotate(m_def, ORDDEF_OPEN_SHIFT);
}
void CKvGrTradeView::RotateOrderStop() {
  rotate(m_def, ORDDEF_STOP_SHIFT);
}
void CKvGrTradeView::RotateOrderTarget() {
  rotate(m_def, ORDDEF_TARGET_SHIFT);
}
