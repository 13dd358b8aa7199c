// Price-file reader on arbitrary bytes: header check, extension blocks and
// bars, through the same calls a chart load makes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include <vector>

#include "data/chart.h"
#include "data/chartheader.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_settings.KeepNumDays1Min = 5;
  int fd = memfd_create("pricefile", 0);
  if (fd < 0) return 0;
  // Most inputs get a valid magic and checksum, so that the extension
  // blocks and bars behind the header are reached; the rest test the check.
  std::vector<uint8_t> bytes(data, data + size);
  if (size >= CHART_HEADER_SIZE && (data[0] & 0x80) == 0) {
    put_le32(&bytes[4], CHART_FILE_MAGIC);
    put_le32(&bytes[252], chart_header_checksum(bytes.data()));
  }
  if (size && write(fd, bytes.data(), size) != (ssize_t)size) {
    close(fd);
    return 0;
  }
  lseek(fd, 0, SEEK_SET);
  chart_rec* chart = alloc_chart_rec();
  if (!read_chart_header(chart, fd)) {  // closes the file on failure
    free_chart_data(chart);
    return 0;
  }
  int unit = chart->header.time_unit;
  if (read_chart_body(chart, fd, unit, "fuzz") == nullptr) {
    sort_chart_bars(chart);
    remove_duplicate_bars(chart);
    chart_bar_run runs[CHART_MAX_RUNS];
    int from = 0, count;
    do {
      count = select_bars_to_save(chart, runs, from);
      for (int r = 0; r < count; r++) from = runs[r].first + runs[r].count;
    } while (count == CHART_MAX_RUNS);
  }
  free_chart_data(chart);
  return 0;
}
