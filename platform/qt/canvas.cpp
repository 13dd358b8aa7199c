#include "platform/qt/canvas.h"

#include <QPaintEvent>
#include <QPainter>

KvCanvasView::KvCanvasView(QWidget* parent)
    : KvView(parent),
      m_backing(1, 1, QImage::Format_RGB32),
      m_hscroll(new QScrollBar(Qt::Horizontal, this)) {
  // Code may draw before the view was ever sized (a window opened hidden);
  // that drawing goes into this one-pixel image until the first resize.
  m_backing.fill(Qt::white);
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_hscroll->hide();
  connect(m_hscroll, &QScrollBar::actionTriggered, this,
          [this](int action) { m_last_action = action; });
  connect(m_hscroll, &QScrollBar::valueChanged, this, [this](int value) {
    int code = SB_THUMBTRACK;
    switch (m_last_action) {
      case QAbstractSlider::SliderSingleStepAdd:
        code = SB_LINERIGHT;
        break;
      case QAbstractSlider::SliderSingleStepSub:
        code = SB_LINELEFT;
        break;
      case QAbstractSlider::SliderPageStepAdd:
        code = SB_PAGERIGHT;
        break;
      case QAbstractSlider::SliderPageStepSub:
        code = SB_PAGELEFT;
        break;
      case QAbstractSlider::SliderToMinimum:
        code = SB_LEFT;
        break;
      case QAbstractSlider::SliderToMaximum:
        code = SB_RIGHT;
        break;
      default:
        break;
    }
    m_last_action = -1;
    // The view decides the new position itself (it clamps and stores it):
    // hand it the request and put the bar back where the view keeps it.
    int requested = value;
    m_hscroll->blockSignals(true);
    m_hscroll->setValue(m_si.pos);
    m_hscroll->blockSignals(false);
    OnHScroll(code, requested);
  });
}

KvRect KvCanvasView::GetClientRect() const {
  int h = height() - (m_hs_shown ? m_hscroll->sizeHint().height() : 0);
  return KvRect(0, 0, width(), h < 0 ? 0 : h);
}

void KvCanvasView::Invalidate(bool erase) {
  InvalidateRect(GetClientRect(), erase);
}

void KvCanvasView::InvalidateRect(const KvRect& r, bool erase) {
  if (r.IsRectEmpty()) return;
  m_invalid += r.toQRect();
  if (erase) m_erase = true;
  update(r.toQRect());
}

void KvCanvasView::UpdateWindow() {
  if (!m_invalid.isEmpty()) repaint(m_invalid);
}

void KvCanvasView::Flush(const KvRect& r) {
  if (!r.IsRectEmpty()) update(r.toQRect());
}

bool KvCanvasView::OnEraseBkgnd(KvDC& dc) {
  dc.FillSolidRect(GetClientRect(), 0xFFFFFF);
  return true;
}

void KvCanvasView::paint_invalid() {
  if (m_invalid.isEmpty() || m_backing.isNull()) return;
  QRegion region = m_invalid;
  bool erase = m_erase;
  m_invalid = QRegion();
  m_erase = false;
  KvDC dc(&m_backing);
  dc.SetSystemClip(region);
  if (erase) OnEraseBkgnd(dc);
  OnDraw(dc);
}

void KvCanvasView::paintEvent(QPaintEvent* e) {
  paint_invalid();
  QPainter p(this);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& r : e->region()) p.drawImage(r.topLeft(), m_backing, r);
}

void KvCanvasView::resizeEvent(QResizeEvent* e) {
  layout_scrollbar();
  KvRect c = GetClientRect();
  QSize sz(std::max(1, c.Width()), std::max(1, c.Height()));
  if (m_backing.size() != sz) {
    QImage img(sz, QImage::Format_RGB32);
    img.fill(Qt::white);
    if (!m_backing.isNull()) {
      QPainter p(&img);
      p.drawImage(0, 0, m_backing);
    }
    m_backing = img;
  }
  OnSize(c.Width(), c.Height());
  Invalidate(true);
  KvView::resizeEvent(e);
}

void KvCanvasView::layout_scrollbar() {
  int h = m_hscroll->sizeHint().height();
  m_hscroll->setGeometry(0, height() - h, width(), h);
  m_hscroll->setVisible(m_hs_shown);
}

void KvCanvasView::SetScrollInfo(const KvScrollInfo& si, bool redraw) {
  m_si = si;
  m_hscroll->blockSignals(true);
  int last = si.max - std::max(si.page, 1) + 1;
  m_hscroll->setRange(si.min, std::max(si.min, last));
  m_hscroll->setPageStep(std::max(si.page, 1));
  m_hscroll->setSingleStep(1);
  m_hscroll->setValue(si.pos);
  m_hscroll->blockSignals(false);
  if (redraw) m_hscroll->update();
}

KvScrollInfo KvCanvasView::GetScrollInfo() const {
  return m_si;
}

void KvCanvasView::SetScrollPos(int pos, bool redraw) {
  KvScrollInfo si = m_si;
  si.pos = pos;
  SetScrollInfo(si, redraw);
}

void KvCanvasView::ShowScrollBar(bool show) {
  if (show == m_hs_shown) return;
  m_hs_shown = show;
  layout_scrollbar();
  QResizeEvent ev(size(), size());
  resizeEvent(&ev);
}

bool KvCanvasView::IsScrollBarVisible() const {
  return m_hs_shown;
}

KvClientDC::KvClientDC(KvCanvasView* view) : KvDC(&view->backing()), m_view(view) {}

KvClientDC::~KvClientDC() {
  KvRect r = TakeChangedRect();
  painter().end();
  m_view->Flush(r);
}
