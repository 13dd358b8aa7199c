// Dates and times of day of the preference pages and set-up dialogs.
#include "shell/prefedit.h"

#include <QByteArray>

#include "data/dates.h"
#include "settings/settings.h"

QString pref_date_text(int date) {
  int style = g_date_style >= 0 && g_date_style <= 6 ? g_date_style : 0;
  char buf[16];
  return QString::fromLatin1(format_date(date, buf, style)).left(11);
}

int pref_read_date(const QString& text) {
  int date = parse_user_date(text.trimmed().toLatin1().constData());
  int y = date / 10000, m = (date / 100) % 100, d = date % 100;
  if (y < 1900 || y > 2050 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return 0;
  return date;
}

int pref_read_time(const QString& text) {
  QByteArray t = text.trimmed().toLatin1();
  if (t.isEmpty()) return -1;
  return parse_time_of_day(t.constData());
}

QString pref_time_text(int seconds) {
  if (seconds < 0) return QString();
  char buf[32];
  return QString::fromLatin1(format_time(seconds, buf));
}
