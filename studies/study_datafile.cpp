// Studies read from a text file of dated values: each line a month/day/year
// date, then a value.  The file name (relative to the data root) is the
// study's name; values land on every bar of their date.
#include <cstdio>
#include <cstdlib>

#include "data/dates.h"
#include "data/statmsg.h"
#include "settings/settings.h"
#include "studies/study_internal.h"

static int bar_date(const chart_bar *b) {
  return seconds_to_date(b->time);
}

int compute_data_file(chart_rec *chart, StudyDef *s, int restart) {
  study_bind_outputs(s);
  if (!restart) return 1;
  float *out = study_series(s, 0);
  study_fill_missing(out, 0, s->output_len);
  int count = study_bar_count(chart, s);

  char name[sizeof s->name + 1];
  memcpy(name, s->name, sizeof s->name);
  name[sizeof s->name] = 0;
  for (char *p = name; *p; p++)
    if (*p == '\\') *p = '/';
  char path[KV_PATH_MAX + sizeof name + 2];
  snprintf(path, sizeof path, "%s/%s", g_data_root, name);

  FILE *f = fopen(path, "rb");
  if (!f) {
    statmsg(__FILE__, __LINE__, "can't open file:", path, STATMSG_ERROR);
    return 0;
  }
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fseek(f, 0, SEEK_SET);
  char *buf = size >= 0 ? (char *)malloc((size_t)size + 1) : nullptr;
  if (!buf) {
    fclose(f);
    statmsg(__FILE__, __LINE__, "can't malloc", nullptr, STATMSG_ERROR);
    return 0;
  }
  size_t got = fread(buf, 1, (size_t)size, f);
  fclose(f);
  buf[got] = 0;

  const chart_bar *bars = chart ? chart->bars : nullptr;
  int at = 0;  // bar where the previous line matched
  char *line = buf;
  while (*line) {
    char *end = line + strcspn(line, "\r\n");
    char saved = *end;
    *end = 0;
    size_t dlen = strcspn(line, " \t,");
    char date_text[32];
    if (dlen > 0 && dlen < sizeof date_text && count > 0) {
      memcpy(date_text, line, dlen);
      date_text[dlen] = 0;
      int date = parse_mdy_date(date_text);
      const char *vp = line + dlen;
      while (*vp == ' ' || *vp == '\t' || *vp == ',') vp++;
      char *vend;
      double v = strtod(vp, &vend);
      if (date > 0 && vend != vp && std::isfinite(v)) {
        int i = at < count ? at : count - 1;
        while (i >= 0 && i < count) {
          int d = bar_date(&bars[i]);
          if (d == date) break;
          i += d < date ? 1 : -1;
          if (i >= 0 && i < count) {
            // passed the date without meeting it: it has no bar
            int d2 = bar_date(&bars[i]);
            if ((d < date && d2 > date) || (d > date && d2 < date)) i = -1;
          }
        }
        if (i >= 0 && i < count) {
          at = i;
          float fv = study_out(v);
          // every bar of the date, both ways (intraday charts hold many)
          for (int k = i; k >= 0 && bar_date(&bars[k]) == date; k--) out[k] = fv;
          for (int k = i + 1; k < count && bar_date(&bars[k]) == date; k++) out[k] = fv;
        }
      }
    }
    *end = saved;
    line = *end ? end + 1 : end;
  }
  free(buf);
  return 1;
}
