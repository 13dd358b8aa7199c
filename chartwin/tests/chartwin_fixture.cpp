#include "chartwin/tests/chartwin_fixture.h"

#include <QKeyEvent>
#include <QCoreApplication>
#include <cmath>
#include <cstring>

#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "data/chart.h"
#include "data/chartthreads.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/wnd.h"
#include "shell/app.h"

namespace {

void put16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v & 0xFF), s[at + 1] = char(v >> 8);
}
void put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) s[at + i] = char((v >> (8 * i)) & 0xFF);
}
void putf(std::string& s, size_t at, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  put32(s, at, v);
}
uint32_t get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= uint32_t((unsigned char)s[at + i]) << (8 * i);
  return v;
}

// Days since 1970-01-01 of a civil date.
int64_t days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
int ymd_of_day(int64_t z) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400, doy = doe - (365 * yoe + yoe / 4 - yoe / 100),
          mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1, m = mp + (mp < 10 ? 3 : -9);
  return int((y + (m <= 2)) * 10000 + m * 100 + d);
}

}  // namespace

std::vector<fixture_bar> wave_bars(int n, float base) {
  std::vector<fixture_bar> out;
  for (int i = 0; i < n; i++) {
    float mid = base + 4.0f * std::sin(i * 0.12f) + i * 0.03f;
    bool up = (i % 2) == 0;
    float open = up ? mid - 0.4f : mid + 0.4f, close = up ? mid + 0.4f : mid - 0.4f;
    out.push_back({open, mid + 0.7f, mid - 0.7f, close, 1000 + (i * 37) % 4000});
  }
  return out;
}

void ChartWinTest::SetUp() {
  ShellTest::SetUp();
  // A complete configuration: no start-up message covers the windows.
  write_quote_config(0);
  app_ = start();
}

void ChartWinTest::TearDown() {
  stop_chart_threads();
  ShellTest::TearDown();
}

void ChartWinTest::write_price_file(const char* symbol, int unit,
                                    const std::vector<fixture_bar>& bars, const char* description) {
  std::string image(256 + 32 * bars.size(), '\0');
  put16(image, 0, 0);
  put16(image, 2, 7);
  put32(image, 4, 0x9AE5E1A5u);
  strncpy(&image[8], symbol, 31);
  strncpy(&image[40], description, 59);
  put32(image, 100, (uint32_t)unit);
  put32(image, 104, (uint32_t)bars.size());
  int64_t day = days_from_civil(2026, 1, 5);
  std::vector<int64_t> times;
  for (size_t i = 0; i < bars.size(); i++) {
    if (unit >= TU_DAILY) {
      while ((day + 4) % 7 == 6 || (day + 4) % 7 == 0) day++;  // weekends
      times.push_back(day * 86400);
      day++;
    } else {
      times.push_back(days_from_civil(2026, 1, 5) * 86400 + 34200 + 60 * (int64_t)i * unit);
    }
  }
  put32(image, 108, (uint32_t)ymd_of_day(times.front() / 86400));
  put32(image, 112, (uint32_t)ymd_of_day(times.back() / 86400));
  uint32_t sum = 0x9AE5E1A5u;
  for (size_t off = 0; off <= 248; off += 4) sum += get32(image, off);
  put32(image, 252, sum);
  for (size_t i = 0; i < bars.size(); i++) {
    size_t p = 256 + 32 * i;
    putf(image, p + 0, bars[i].open);
    putf(image, p + 4, bars[i].high);
    putf(image, p + 8, bars[i].low);
    putf(image, p + 12, bars[i].close);
    put32(image, p + 16, (uint32_t)bars[i].volume);
    put32(image, p + 24, BAR_VOLUME_VALID);
    put32(image, p + 28, (uint32_t)times[i]);
  }
  const char* ext = unit == TU_DAILY     ? "dyd"
                    : unit == TU_WEEKLY  ? "wyd"
                    : unit == TU_MONTHLY ? "myd"
                                         : "1min";
  write_data((std::string("DATA/") + symbol + "." + ext).c_str(), image);
}

CKvChartDoc* ChartWinTest::new_chart() {
  auto* doc = dynamic_cast<CKvChartDoc*>(app_->NewChart());
  if (doc)
    if (KvView* v = doc->GetFirstView())
      if (KvChildFrame* f = v->GetParentFrame()) {
        f->showNormal();
        f->resize(820, 520);
        kv_flush_posted();
        QCoreApplication::processEvents();
      }
  return doc;
}

CKvChartView* ChartWinTest::view_of(CKvChartDoc* doc) {
  return doc ? doc->ChartView() : nullptr;
}

void ChartWinTest::type_symbol(CKvChartView* view, const char* text, bool enter) {
  for (const char* p = text; *p; p++) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(*p)));
    QCoreApplication::sendEvent(view, &press);
  }
  if (enter) {
    QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(view, &ret);
  }
}
