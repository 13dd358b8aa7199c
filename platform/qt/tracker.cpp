#include "platform/qt/tracker.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

void invert_outline(KvCanvasView* view, const KvRect& r) {
  KvClientDC dc(view);
  dc.SetROP2(R2_NOT);
  dc.SelectPen(KvPen(PS_SOLID, 1, 0));
  dc.SelectBrush(KvBrush::Null());
  KvRect c = view->GetClientRect().intersected(r);
  if (!c.IsRectEmpty()) dc.Rectangle(c);
}

class Tracker : public QObject {
 public:
  Tracker(KvCanvasView* v, const QPoint& start, KvRect r, bool vertical)
      : view(v), origin(start), start_rect(r), rect(r), vertical_only(vertical) {}
  KvCanvasView* view;
  QPoint origin;
  KvRect start_rect, rect;
  bool vertical_only;
  bool moved = false, cancelled = false;
  QEventLoop loop;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(e);
        QPoint d = me->position().toPoint() - origin;
        KvRect n = start_rect;
        n.OffsetRect(vertical_only ? 0 : d.x(), d.y());
        if (n != rect) {
          invert_outline(view, rect);
          rect = n;
          invert_outline(view, rect);
        }
        return true;
      }
      case QEvent::MouseButtonRelease:
        loop.quit();
        return true;
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
          cancelled = true;
          loop.quit();
        }
        return true;
      default:
        return QObject::eventFilter(o, e);
    }
  }
};

}  // namespace

bool kv_track_rect(KvCanvasView* view, const QPoint& start, KvRect* rect, bool vertical_only) {
  Tracker t(view, start, *rect, vertical_only);
  view->installEventFilter(&t);
  view->grabMouse();
  view->grabKeyboard();
  invert_outline(view, t.rect);
  t.loop.exec();
  invert_outline(view, t.rect);  // the outline goes; the image is as before
  view->releaseKeyboard();
  view->releaseMouse();
  view->removeEventFilter(&t);
  if (t.cancelled || t.rect == t.start_rect) return false;
  *rect = t.rect;
  return true;
}
