// Dates and times of day as the preference pages and the set-up dialogs
// show and read them: dates in the date style the Display page chose,
// times as "hh:mm:ss".
#pragma once

#include <QString>

// A date (yyyymmdd) in the chosen date style.
QString pref_date_text(int date);
// A date typed in the chosen date style; 0 when it is no real date
// between 1900 and 2050.
int pref_read_date(const QString& text);
// A time of day typed as hours and minutes, hours, minutes and seconds, or
// six digits: -1 for no text, 0 for text that does not read as a time.
int pref_read_time(const QString& text);
// "hh:mm:ss"; a negative time (none set) shows empty, which reads back as -1.
QString pref_time_text(int seconds);
