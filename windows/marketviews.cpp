// The market windows' views by kind.
#include "windows/marketviews.h"

#include "shell/app.h"
#include "windows/ordersview.h"
#include "windows/heatmapview.h"
#include "windows/hraceview.h"
#include "windows/pvdview.h"
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
    default:
      return nullptr;
  }
}
