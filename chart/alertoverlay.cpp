// The price-alert lines, markers, buttons and price box of a chart window.
#include "chart/alertoverlay.h"

#include <cmath>

#include "chart/linegeom.h"
#include "chart/pane.h"
#include "data/axis_scale.h"
#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/qt/canvas.h"
#include "quotes/alerts.h"
#include "quotes/mqt_record.h"
#include "res/resource.h"
#include "settings/settings.h"

namespace {

bool alerts_shown() {
  return (g_pref_flags & 0x1) != 0;
}

}  // namespace

CAlertLinesOverlay::CAlertLinesOverlay() {
  high_on = kv_res_bitmap(IDB_ALERT_HIGH_ON);
  low_on = kv_res_bitmap(IDB_ALERT_LOW_ON);
  high_off = kv_res_bitmap(IDB_ALERT_HIGH_OFF);
  low_off = kv_res_bitmap(IDB_ALERT_LOW_OFF);
  Reset();
}

CAlertLinesOverlay::~CAlertLinesOverlay() = default;

std::unique_ptr<KvDC> CAlertLinesOverlay::ClientDC() {
  if (canvas) return std::make_unique<KvClientDC>(canvas);
  if (backing) return std::make_unique<KvDC>(backing);
  return nullptr;
}

void CAlertLinesOverlay::Reset() {
  // A box still on the screen is taken off, not left behind.
  HidePriceBox();
  press_point = current_point = KvPoint(-1, -1);
  item = 0;
  clear_flags(VIEW_OVER_ALERT | VIEW_PLACING_ALERT | VIEW_ALERT_PICKED | VIEW_HIGH_PICKED |
              VIEW_LOW_PICKED);
}

void CAlertLinesOverlay::TakeScale(const CPane& pane) {
  const ChartSettings* s = pane.settings;
  if (!s) return;
  for (int slot = 0; slot < 4; slot++) {
    if (!s->pane_shown[slot] || !(s->pane_content[slot] & CONTENT_PRICE)) continue;
    const CBasicChart& p = pane.panes[slot];
    axis_min = p.own_price.minimum;
    pixels_per_unit = p.own_price.pixels_per_unit;
    percent_mode = s->percent == 1;
    percent_base = p.own_percent_base;
    return;
  }
}

void CAlertLinesOverlay::SetAlert(float price, float min, float ppu, double tick) {
  ref_price = new_price = price;
  axis_min = min;
  pixels_per_unit = ppu;
  tick_size = tick;
}

int CAlertLinesOverlay::OnChartPress(const CPane& pane, int slot, int x, int y) {
  if (!alert) return 0;
  double tick = tick_size;
  {
    kv_lock guard(g_chart_lock);
    if (quote && quote->tick_size > 0) tick = quote->tick_size;
  }
  double p = pane.PointToPrice(slot, x, y);
  if (p != 0 && tick > 0 && std::isfinite(tick)) p = std::round(p / tick) * tick;
  ref_price = new_price = std::isfinite(p) ? (float)p : 0.0f;
  tick_size = tick;
  return OnLButtonDown(x, y);
}

void CAlertLinesOverlay::Recolour() {
  if (button_color == last_button_color) return;
  for (QImage* b : {&high_on, &low_on, &high_off, &low_off})
    ReplaceBitmapColor(b, last_button_color, button_color);
  last_button_color = button_color;
}

void CAlertLinesOverlay::DrawButtons(KvDC& dc, const KvRect& c) {
  client = c;
  // Buttons that are not drawn take no clicks.
  if (!alerts_shown() || !alert) {
    button_rect = KvRect();
    return;
  }
  button_rect = KvRect(c.right - 31, c.bottom - 15, c.right, c.bottom);
  Recolour();
  uint32_t enabled;
  {
    kv_lock guard(g_chart_lock);
    enabled = alert->enabled;
  }
  const QImage& hi = enabled & ALERT_HIGH ? high_on : high_off;
  const QImage& lo = enabled & ALERT_LOW ? low_on : low_off;
  dc.BitBlt(button_rect.left, button_rect.top, 15, 15, hi, 0, 0);
  dc.BitBlt(button_rect.left + 15, button_rect.top, 15, 15, lo, 0, 0);
}

void CAlertLinesOverlay::DrawLines(KvDC& dc, const KvRect& data, const KvRect& marker_area,
                                   COLORREF high_color, COLORREF low_color) {
  if (!alerts_shown() || !alert) {
    high_marker_rect = low_marker_rect = KvRect();
    return;
  }
  float prices[2];
  uint32_t enabled;
  {
    kv_lock guard(g_chart_lock);
    prices[0] = alert->high_price, prices[1] = alert->low_price;
    enabled = alert->enabled;
  }
  const COLORREF colors[2] = {high_color, low_color};
  KvRect* markers[2] = {&high_marker_rect, &low_marker_rect};
  const QImage* bitmaps[2] = {&high_on, &low_on};
  for (int k = 0; k < 2; k++) {
    // A marker that is not drawn takes no clicks: Delete must never remove
    // an alert the user cannot see.
    *markers[k] = KvRect();
    if (!(enabled & (k == 0 ? ALERT_HIGH : ALERT_LOW))) continue;
    double p = prices[k];
    if (percent_mode) {
      if (!(percent_base != 0) || !std::isfinite(percent_base)) continue;
      p = (p - percent_base) / percent_base * 100.0;
    }
    double off = (p - axis_min) * pixels_per_unit;
    if (!std::isfinite(off) || std::fabs(off) > 1e8) continue;
    int y = data.bottom - (int)off;
    if (!data.PtInRect(data.left, y)) continue;
    KvPen old = dc.SelectPen(KvPen(PS_SOLID, 1, colors[k]));
    dc.MoveTo(data.left, y);
    dc.LineTo(data.right + 1, y);
    dc.SelectPen(old);
    KvRect m = marker_area;
    m.OffsetRect(2, 0);
    m.top = y - 9, m.bottom = y + 6;
    *markers[k] = m;
    Recolour();
    dc.BitBlt(m.left, m.top, 15, 15, *bitmaps[k], 0, 0);
  }
}

int CAlertLinesOverlay::HitTest(int x, int y) {
  if (!alert) return 0;
  set_flags(VIEW_OVER_ALERT);
  if (!button_rect.IsRectEmpty()) {
    KvRect first(button_rect.left, button_rect.top, button_rect.left + 15, button_rect.bottom);
    KvRect second = first;
    second.OffsetRect(15, 0);
    if (first.PtInRect(x, y)) return 1;
    if (second.PtInRect(x, y)) return 2;
  }
  if (high_marker_rect.PtInRect(x, y)) return 1;
  if (low_marker_rect.PtInRect(x, y)) return 2;
  clear_flags(VIEW_OVER_ALERT);
  return -1;
}

int CAlertLinesOverlay::OnMouseMove(int x, int y) {
  if (!alert) return 0;
  hover_point = KvPoint(x, y);
  if (!(flags() & VIEW_PLACING_ALERT)) {
    item = HitTest(x, y);
    return item;
  }
  if (captured) {
    if (x != current_point.x || y != current_point.y) {
      current_point = KvPoint(x, y);
      ShowPriceBox(new_price);
    }
    return 1;
  }
  return 0;
}

int CAlertLinesOverlay::OnLButtonDown(int x, int y) {
  if (!alert) return 0;
  hover_point = KvPoint(x, y);
  if (!(flags() & VIEW_PLACING_ALERT)) item = HitTest(x, y);
  if (flags() & VIEW_OVER_ALERT) {
    captured = true;
    return 1;
  }
  if (flags() & VIEW_ALERT_PICKED) {
    captured = true;
    press_point = current_point = KvPoint(x, y);
    ShowPriceBox(new_price);
    set_flags(VIEW_PLACING_ALERT);
    clear_flags(VIEW_ALERT_PICKED);
    return 1;
  }
  return 0;
}

void CAlertLinesOverlay::SetPickedAlert(int bit) {
  // A press where no price could be had (a pane without prices) sets nothing.
  if (new_price == 0 || !std::isfinite(new_price)) return;
  kv_lock guard(g_chart_lock);
  if (bit == ALERT_HIGH) {
    alert->high_price = new_price;
    alert->high_word = ALERT_HIGH;
  } else {
    alert->low_price = new_price;
    alert->low_word = ALERT_LOW;
  }
  alert->enabled |= bit;
  alert->armed |= bit;
  alert->fired &= ~(uint32_t)bit;
  alert->flags |= ALERT_IN_USE;
  g_alerts_changed = 1;
}

int CAlertLinesOverlay::OnLButtonUp(int x, int y) {
  if (!alert) return 0;
  uint32_t f = flags();
  if ((f & VIEW_OVER_ALERT) && !(f & VIEW_PLACING_ALERT) && captured) {
    uint32_t enabled;
    float hi, lo;
    {
      kv_lock guard(g_chart_lock);
      enabled = alert->enabled, hi = alert->high_price, lo = alert->low_price;
    }
    if (item == 1) {
      set_flags(VIEW_HIGH_PICKED);
      if (enabled & ALERT_HIGH) new_price = hi;
    } else if (item == 2) {
      set_flags(VIEW_LOW_PICKED);
      if (enabled & ALERT_LOW) new_price = lo;
    }
    captured = false;
    set_flags(VIEW_ALERT_PICKED);
    return 1;
  }
  if ((f & VIEW_PLACING_ALERT) && captured) {
    clear_flags(VIEW_PLACING_ALERT);
    HidePriceBox();
    bool high = f & VIEW_HIGH_PICKED, low = f & VIEW_LOW_PICKED;
    if (high && low) {
      // Both picked: the side of the market the price lies on decides;
      // without a last price the high alert is set.
      float last = 0;
      {
        kv_lock guard(g_chart_lock);
        if (quote) last = quote->last;
      }
      SetPickedAlert(last > 0 && new_price < last ? ALERT_LOW : ALERT_HIGH);
    } else if (high) {
      SetPickedAlert(ALERT_HIGH);
    } else if (low) {
      SetPickedAlert(ALERT_LOW);
    }
    clear_flags(VIEW_HIGH_PICKED | VIEW_LOW_PICKED);
    captured = false;
    return 1;
  }
  return 0;
}

void CAlertLinesOverlay::HidePriceBox() {
  if (!box_saved.isNull()) {
    if (auto dc = ClientDC()) RestoreScreenRect(*dc, box_saved, box_rect);
  }
  box_saved = QImage();
  box_rect = KvRect();
  clear_flags(VIEW_PRICE_BOX);
}

void CAlertLinesOverlay::ShowPriceBox(float price) {
  HidePriceBox();
  auto dc = ClientDC();
  if (!dc) return;
  char text[64];
  format_price(price, text, tick_decimals(tick_size), FORMAT_PRICE_DECIMAL);
  KvFont old_font = dc->SelectFont(KvFont(QStringLiteral("Arial"), 8));
  KvSize ext = dc->GetTextExtent(text);
  int x = current_point.x, y = current_point.y;
  KvRect r;
  if (x < (client.left + client.right) / 2)
    r = KvRect(x, y - ext.cy - 4, x + ext.cx + 4, y);
  else
    r = KvRect(x - ext.cx - 4, y - ext.cy - 4, x, y);
  // Inside the client area, whole, near every corner.
  if (r.right > client.right) r.OffsetRect(client.right - r.right, 0);
  if (r.bottom > client.bottom) r.OffsetRect(0, client.bottom - r.bottom);
  if (r.left < client.left) r.OffsetRect(client.left - r.left, 0);
  if (r.top < client.top) r.OffsetRect(0, client.top - r.top);
  box_rect = r;
  box_saved = SaveScreenRect(*dc, box_rect);
  KvPen old_pen = dc->SelectPen(KvPen(PS_SOLID, 1, 0x000000));
  KvBrush old_brush = dc->SelectBrush(KvBrush(0xB8F0FE));
  dc->Rectangle(box_rect);
  dc->SelectBrush(old_brush);
  dc->SelectPen(old_pen);
  set_flags(VIEW_PRICE_BOX);
  int mode = dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(0x000000);
  KvRect tr = box_rect;
  dc->DrawText(QString::fromLatin1(text), tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  dc->SetBkMode(mode);
  dc->SelectFont(old_font);
}

void CAlertLinesOverlay::CancelDrag() {
  // The item under the pointer as the screen shows it now: a repaint since
  // the last move may have taken the marker away (its line left the data
  // area), and an alert that cannot be seen is never removed.
  if (alert && !(flags() & VIEW_PLACING_ALERT) && hover_point.x >= 0)
    item = HitTest(hover_point.x, hover_point.y);
  if (!alert || (item != 1 && item != 2)) {
    Reset();
    return;
  }
  {
    kv_lock guard(g_chart_lock);
    uint32_t bit = item == 1 ? ALERT_HIGH : ALERT_LOW;
    if (item == 1) {
      high_marker_rect = KvRect();
      alert->high_price = 0;
    } else {
      low_marker_rect = KvRect();
      alert->low_price = 0;
    }
    alert->fired &= ~bit;
    alert->armed &= ~bit;
    alert->enabled &= ~bit;
    // The quote thread's save writes only a changed list.
    g_alerts_changed = 1;
  }
  Reset();
}
