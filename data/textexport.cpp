// Text export of a chart's bars in an import format.
#include "data/textexport.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/dates.h"
#include "data/importfmt.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "settings/settings.h"

enum {
  EXPORT_MAX_FIELDS = 20,
  EXPORT_SUFFIX_BIT = 0x8,   // g_pref_flags: time-unit suffix in the file name
  EXPORT_HEADER_BIT = 0x10,  // g_pref_flags: header line first
};

// One piece of an export line: a field code, or text copied as it is.
struct export_piece {
  char code;  // 0: text
  std::string text;
};

// Splits a field format ("%dyymmdd,%o,%c") into at most 20 pieces. A date
// field's pattern is dropped: dates are written in the user's style.
static int split_format(const char* format, export_piece* pieces) {
  int n = 0;
  const char* p = format;
  while (*p && n < EXPORT_MAX_FIELDS) {
    if (*p == '\\' || *p == '*') {  // line markers of the import side
      p++;
      continue;
    }
    export_piece& piece = pieces[n++];
    piece.text.clear();
    if (*p == '%') {
      piece.code = p[1] ? p[1] : ' ';
      p += p[1] ? 2 : 1;
      if (piece.code == 'd' || piece.code == '0')
        while (*p && *p != '%' && *p != ',' && *p != ';') p++;
      else
        while (isdigit((unsigned char)*p)) p++;
    } else {
      piece.code = 0;
      while (*p && *p != '%' && *p != '\\' && *p != '*') piece.text += *p++;
    }
  }
  return n;
}

// "%0.4f" with up to two trailing zeros removed.
static void format_export_price(char* buf, size_t size, float value) {
  snprintf(buf, size, "%0.4f", value);
  size_t n = strlen(buf);
  for (int i = 0; i < 2 && n > 0 && buf[n - 1] == '0'; i++) buf[--n] = 0;
}

static void append_bar(std::string* out, const chart_rec* chart, const chart_bar* bar,
                       const export_piece* pieces, int count) {
  char buf[64];
  for (int i = 0; i < count; i++) {
    const export_piece& p = pieces[i];
    switch (p.code) {
      case 0:
        *out += p.text;
        continue;
      case 'o':
        format_export_price(buf, sizeof buf, bar->open);
        break;
      case 'h':
        format_export_price(buf, sizeof buf, bar->high);
        break;
      case 'l':
        format_export_price(buf, sizeof buf, bar->low);
        break;
      case 'c':
        format_export_price(buf, sizeof buf, bar->close);
        break;
      case 'd':
        format_date(seconds_to_date(bar->time), buf, g_date_style);
        break;
      case 't': {
        int tod = (int)(bar->time - date_to_seconds(seconds_to_date(bar->time), 0));
        snprintf(buf, sizeof buf, "%02d:%02d", tod / 3600, tod / 60 % 60);
        break;
      }
      case 'v':
        snprintf(buf, sizeof buf, "%d", bar->volume);
        break;
      case 'i':
        snprintf(buf, sizeof buf, "%d", bar->extra);
        break;
      case 's':
        snprintf(buf, sizeof buf, "%s", chart->header.symbol);
        break;
      default:
        buf[0] = 0;
        break;  // a field the export has no value for
    }
    *out += buf;
  }
  *out += "\r\n";
}

// The export file's path: folder, symbol, unit suffix and extension.
static int export_path(const chart_rec* chart, char* path, size_t size) {
  const char* symbol = chart->header.symbol;
  if (!kv_symbol_file_name_ok(symbol)) return 0;
  std::string name = symbol;
  if (g_pref_flags & EXPORT_SUFFIX_BIT) {
    int unit = chart->header.time_unit;
    char suffix[16] = "";
    if (unit >= 1 && unit <= TU_MAX_MINUTES)
      snprintf(suffix, sizeof suffix, "-%d", unit);
    else if (unit == TU_DAILY)
      strcpy(suffix, "-d");
    else if (unit == TU_WEEKLY)
      strcpy(suffix, "-w");
    else if (unit == TU_MONTHLY)
      strcpy(suffix, "-m");
    name += suffix;
  }
  const char* ext = g_settings.ExpFileExt;
  if (ext[0] != '.') name += ".";
  name += ext;
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) return 0;
  return data_folder_path(path, size, KV_DIR_EXPORT, name.c_str()) != nullptr;
}

int export_chart_data(chart_rec* chart) {
  if (!chart) return 0;
  char path[KV_MAX_PATH * 2];
  std::string text;
  {
    kv_lock guard(g_chart_lock);
    if (!export_path(chart, path, sizeof path)) {
      statmsg(__FILE__, __LINE__, "Unable to create export file", nullptr, STATMSG_ERROR);
      return 0;
    }
    // The chosen format: ExpDataFmt is the position of its name in
    // import.cfg's token list, whose first pair read_import_cfg passes
    // over (0 counts as 2, the first format offered).
    const char* const* entries = nullptr;
    int count = read_import_cfg(&entries);
    int position = g_settings.ExpDataFmt ? g_settings.ExpDataFmt : 2;
    char format[DATASPEC_MAX + 64] = "";
    if (position >= 2 && position % 2 == 0 && position - 1 < count)
      dataspec_to_format(entries[position - 1], format, sizeof format, "");
    export_piece pieces[EXPORT_MAX_FIELDS];
    int n = split_format(format, pieces);
    if (n == 0) {
      // Without a format every line would be empty.
      statmsg(__FILE__, __LINE__, "Unable to create export file", nullptr, STATMSG_ERROR);
      return 0;
    }

    if (g_pref_flags & EXPORT_HEADER_BIT) {
      text += g_settings.ExpFileHdr;
      text += "\r\n";
    }
    for (int i = 0; i < chart->header.bar_count; i++)
      append_bar(&text, chart, &chart->bars[i], pieces, n);
  }
  char dir[KV_MAX_PATH * 2];
  if (data_folder_path(dir, sizeof dir, KV_DIR_EXPORT, nullptr)) kv_make_dirs(dir, nullptr);
  if (!kv_write_file_atomic(path, text.data(), text.size(), nullptr)) {
    statmsg(__FILE__, __LINE__, "Unable to create export file", nullptr, STATMSG_ERROR);
    return 0;
  }
  statmsg(nullptr, 0, "Exported data to:", path, STATMSG_DATA_FOR);
  return 1;
}
