// The market windows' views by kind.
#include "windows/marketviews.h"

#include "shell/app.h"
#include "windows/ordersview.h"
#include "windows/heatmapview.h"
#include "windows/hraceview.h"
#include "windows/pvdview.h"
#include "windows/depthview.h"
#include "windows/pulseview.h"
#include "windows/quotesview.h"
#include "windows/timesalesview.h"

KvView* kv_new_market_view(int kind) {
  switch (kind) {
    case KIND_QUOTES:
      return new CKvQuotes1View;
    case KIND_SLFMAP:
      return new CKvHeatMapView;
    case KIND_HORSE_RACE:
      return new CKvHRaceView;
    case KIND_PRICE_VOL_DIST:
      return new CKvPriceVolDistView;
    case KIND_TIME_SALES:
      return new CKvTimeSalesView;
    case KIND_REAL_ORDERS:
    case KIND_PAPER_ORDERS:
      return new CKvOrdersView;
    case KIND_LEVEL2:
      return new CKvLev2View;
    case KIND_ORDER_BOOK:
      return new CKvOrderBookView;
    case KIND_MARKET_PULSE:
      return new CKvMktPulseView;
    default:
      return nullptr;
  }
}

KvChildFrame* kv_new_market_frame(int kind) {
  switch (kind) {
    case KIND_LEVEL2:
      return new CKvLev2Frame;
    case KIND_MARKET_PULSE:
      return new CKvMktPulseFrame;
    default:
      return nullptr;
  }
}

void kv_size_market_frame(KvView* view) {
  if (auto* q = dynamic_cast<CKvQuotes1View*>(view))
    q->SizeFrameToList();
  else if (auto* t = dynamic_cast<CKvTimeSalesView*>(view))
    t->SizeFrameToList();
}
