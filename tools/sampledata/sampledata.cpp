// Writes the sample price files an installation brings in its USR folder:
// INTC.dyd (daily bars) and INTC.1min (one-minute bars of the last five
// days). The bars are a random walk from a fixed seed, so every build
// writes the same files; they are sample data for trying the program, not
// market prices.
//
// Usage: sampledata FOLDER
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"
#include "data/chartheader.h"
#include "platform/crand.h"
#include "platform/files.h"

namespace {

// Days since 1970-01-01 of a civil date, and back.
long days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}
int ymd(long z) {
  z += 719468;
  long era = (z >= 0 ? z : z - 146096) / 146097;
  long doe = z - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long y = yoe + era * 400, doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  long d = doy - (153 * mp + 2) / 5 + 1, m = mp + (mp < 10 ? 3 : -9);
  return int((y + (m <= 2)) * 10000 + m * 100 + d);
}
bool weekday(long day) {
  int w = int((day + 4) % 7);  // 0 Sunday
  return w != 0 && w != 6;
}

// A step of the walk: -1 .. +1 in thousandths of the price.
double step() {
  return (kv_rand() % 2001 - 1000) / 1000.0;
}

bool write_chart(const std::string& path, int unit, const std::vector<chart_bar>& bars) {
  chart_file_header h{};
  h.version = CHART_FILE_VERSION;
  h.magic = CHART_FILE_MAGIC;
  snprintf(h.symbol, sizeof h.symbol, "INTC");
  snprintf(h.description, sizeof h.description, "Sample data (not market prices)");
  h.time_unit = unit;
  h.bar_count = (int32_t)bars.size();
  h.first_date = ymd(bars.front().time / 86400);
  h.last_date = ymd(bars.back().time / 86400);
  std::vector<uint8_t> image(CHART_HEADER_SIZE + CHART_BAR_SIZE * bars.size());
  seal_chart_header(&h, image.data());
  encode_chart_bars(bars.data(), (int)bars.size(), image.data() + CHART_HEADER_SIZE);
  kv_file_error err{};
  if (!kv_write_file_atomic(path.c_str(), image.data(), image.size(), &err)) {
    char text[600];
    kv_format_file_error(text, sizeof text, &err);
    fprintf(stderr, "sampledata: %s\n", text);
    return false;
  }
  return true;
}

chart_bar make_bar(double open, double close, double range, int volume, long time) {
  chart_bar b{};
  b.open = (float)open;
  b.close = (float)close;
  b.high = (float)(std::max(open, close) + range);
  b.low = (float)(std::min(open, close) - range);
  b.volume = volume;
  b.flags = BAR_VOLUME_VALID;
  b.time = (int32_t)time;
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: sampledata FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  kv_make_dirs(folder.c_str(), nullptr);
  kv_srand(20261201);

  // 500 weekdays up to 2026-11-27.
  std::vector<long> days;
  for (long d = days_from_civil(2026, 11, 27); (int)days.size() < 500; d--)
    if (weekday(d)) days.insert(days.begin(), d);
  std::vector<chart_bar> daily;
  double price = 24.0;
  for (long d : days) {
    double open = price;
    price = std::max(5.0, price * (1.0 + 0.02 * step()));
    double range = price * 0.01 * (1.0 + (kv_rand() % 100) / 100.0);
    daily.push_back(make_bar(open, price, range, 20000000 + kv_rand() % 2000 * 10000, d * 86400));
  }
  // One-minute bars of the last five days, 09:30 to 16:00.
  std::vector<chart_bar> minutes;
  double last = daily[daily.size() - 6].close;
  for (size_t k = days.size() - 5; k < days.size(); k++)
    for (int m = 0; m < 390; m++) {
      double open = last;
      last = std::max(5.0, last * (1.0 + 0.001 * step()));
      minutes.push_back(make_bar(open, last, last * 0.0005, 20000 + kv_rand() % 500 * 100,
                                 days[k] * 86400 + 34200 + 60 * m));
    }
  bool ok = write_chart(folder + "/INTC.dyd", TU_DAILY, daily) &&
            write_chart(folder + "/INTC.1min", TU_1MIN, minutes);
  return ok ? 0 : 1;
}
