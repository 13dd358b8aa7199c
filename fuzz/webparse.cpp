// Fuzz target: the parse-file interpreter reading untrusted lines. The first
// line of the input is the import format (a field list such as
// "Date,Open,High,Low,Close,Volume", or "header" so that the next line names
// the columns), the rest the lines it reads; the first line also runs
// through the URL template expansion. Every bar that comes out must have a
// valid date, finite prices and sorted times.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "data/chart.h"
#include "data/dates.h"
#include "data/webimport.h"

static std::string input_path(void) {
  static std::string path;
  if (path.empty()) {
    const char *tmp = getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_webparse_" + std::to_string(getpid()) +
           ".txt";
  }
  return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text((const char *)data, size);
  size_t nl = text.find('\n');
  std::string format = text.substr(0, nl);
  std::string rest = nl == std::string::npos ? "" : text.substr(nl + 1);
  if (format.find('\0') != std::string::npos) return 0;

  char url[512];
  if (expand_url_text(format.c_str(), 20070315, 20070421, format.c_str(), 390, url, sizeof url) ==
          0 &&
      strlen(url) >= sizeof url)
    __builtin_trap();

  std::string path = input_path();
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(rest.data(), 1, rest.size(), f);
  fclose(f);
  int unit = size > 0 && (data[0] & 1) ? TU_WEEKLY : TU_DAILY;
  chart_rec *chart =
      parse_web_data(unit, "FUZZ", 20070101, 20071231, 0, path.c_str(), format.c_str());
  if (chart) {
    const chart_bar *b = chart->bars;
    int n = chart->header.bar_count;
    if (n <= 0 || chart->spare < 0) __builtin_trap();
    for (int i = 0; i < n; i++) {
      if (!std::isfinite(b[i].open) || !std::isfinite(b[i].high) || !std::isfinite(b[i].low) ||
          !std::isfinite(b[i].close))
        __builtin_trap();
      if (!valid_date(seconds_to_date(b[i].time), 0)) __builtin_trap();
      if (i > 0 && b[i - 1].time > b[i].time) __builtin_trap();
    }
    free_chart_data(chart);
  }
  unlink(path.c_str());
  return 0;
}
