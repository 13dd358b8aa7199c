// Reading prices, dates and counts out of imported texts.
#pragma once

// method 0 decimal, 1 fraction ("12 3/8"), 2 thirty-seconds ("101'16").
double parse_price(const char *text, int method);
// Picks the method from the text: apostrophe 2, "/" 1, else 0.
double parse_price_text(const char *text);
// Styles: 0 m/d/y, 1 a yyyymmdd-like number, 2-10 day-month name-year in the
// languages of the month tables (3: English month and year only).
int parse_date_style(const char *text, int style);
// Commas removed, read as an integer, times multiplier when not 0.
int parse_count(const char *text, int multiplier);
