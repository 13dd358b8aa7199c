// The calendar page: its cells, grades and the rows turned into event lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/calendar.h"

namespace {

std::vector<std::string> cells_of(const std::string &html) {
  std::vector<std::string> out;
  const char *cur = html.c_str(), *end = cur + html.size();
  char cell[CALENDAR_CELL_MAX];
  while (cur < end) {
    next_table_cell(&cur, end, cell, sizeof cell);
    out.push_back(cell);
  }
  return out;
}

TEST(CalendarTest, TableCells) {
  struct Case {
    const char *html;
    std::vector<std::string> cells;
  } cases[] = {
      {"<td>Mar 15</td><TD class=x> 8:30 </TD>", {"Mar 15", "8:30", ""}},
      {"<td><a href=\"/r.htm\">Retail Sales</a></td>", {"Retail Sales", ""}},
      {"<td>Feb <a href=x>(rev)</a></td>", {"Feb (rev)", ""}},
      {"<td><b>bold</b></td>", {"", ""}},  // only plain text and links count
      {"<td>a\tb\x01"
       "c</td>",
       {"a b c", ""}},  // control characters never reach a line
      {"<td>cut at the end", {"cut at the end"}},
      {"<td", {""}},
      {"no cells at all", {""}},
  };
  for (const Case &c : cases) EXPECT_EQ(cells_of(c.html), c.cells) << c.html;

  // A cell longer than the buffer is cut, and the cursor still passes it.
  std::string html = "<td>" + std::string(1000, 'x') + "</td><td>next</td>";
  const char *cur = html.c_str(), *end = cur + html.size();
  char cell[CALENDAR_CELL_MAX];
  EXPECT_EQ(next_table_cell(&cur, end, cell, sizeof cell), CALENDAR_CELL_MAX - 1);
  next_table_cell(&cur, end, cell, sizeof cell);
  EXPECT_STREQ(cell, "next");
}

TEST(CalendarTest, Grades) {
  EXPECT_STREQ(lookup_event_text("Retail Sales"), " A-");
  EXPECT_STREQ(lookup_event_text("GDP-Adv."), " B");
  EXPECT_STREQ(lookup_event_text("New Home Sales"), " C+");
  EXPECT_STREQ(lookup_event_text("Treasury Budget"), " D");
  EXPECT_STREQ(lookup_event_text("retail sales"), "");
  EXPECT_STREQ(lookup_event_text("Crude Inventories"), "");
}

// A calendar row: date, time, statistic, period and five cells not used.
std::string row(const char *date, const char *time, const char *stat, const char *period) {
  return std::string("<tr><td>") + date + "</td><td>" + time + "</td><td><a href=\"s.htm\">" +
         stat + "</a></td><td>" + period +
         "</td><td>1</td><td>2</td><td>3</td><td>4</td><td>5</td></tr>";
}

std::string page(const std::string &rows) {
  return "<html><table>\n<tr><th>Date</th><th>Briefing Forecast</th></tr>" + rows +
         "</table>\n<td>Apr 1</td>\n</html>\n";
}

std::string parse(const std::string &text, int year, int *count = nullptr, size_t size = 4096) {
  std::vector<char> out(size, 0);
  int n = parse_calendar_page(text.data(), text.size(), year, out.data(), size);
  if (count) *count = n;
  return out.data();
}

TEST(CalendarTest, RowsBecomeEventLines) {
  int n = 0;
  std::string rows = row("Mar 15", "8:30", "Retail Sales", "Feb") +
                     row("Mar 16", "2:00 PM", "Crude Oil", "W11") +
                     row("Mar 16", "TBA", "CPI", "Feb");
  EXPECT_EQ(parse(page(rows), 2007, &n),
            "03/15/2007,08:30,,,Retail Sales Feb A-\r\n"
            "03/16/2007,14:00,,,Crude Oil W11\r\n"
            "03/16/2007,00:00,,,CPI Feb B+\r\n");
  EXPECT_EQ(n, 3);
}

TEST(CalendarTest, MalformedPagesEndTheTableCleanly) {
  int n = 0;
  // No header row: the page is not a calendar.
  EXPECT_EQ(parse("<td>Mar 15</td>", 2007, &n), "");
  EXPECT_EQ(n, -1);
  // A date without a month name, or without a day that exists, ends the rows.
  for (const char *date : {"Today", "Feb 30", "Mar", "Mar x5", "Jan 0"}) {
    std::string rows = row("Mar 14", "8:30", "PPI", "Feb") + row(date, "8:30", "CPI", "Feb") +
                       row("Mar 16", "8:30", "CPI", "Feb");
    EXPECT_EQ(parse(page(rows), 2007, &n), "03/14/2007,08:30,,,PPI Feb B-\r\n") << date;
    EXPECT_EQ(n, 1);
  }
  // A page cut inside a row keeps the complete rows only.
  std::string cut =
      page(row("Mar 14", "8:30", "PPI", "Feb") + row("Mar 15", "8:30", "Retail Sales", "Feb"));
  cut.resize(cut.find("Retail Sales") + 6);
  EXPECT_EQ(parse(cut, 2007, &n), "03/14/2007,08:30,,,PPI Feb B-\r\n");
  // Rows after the end of the header's line are not read.
  EXPECT_EQ(parse(page("\n" + row("Mar 14", "8:30", "PPI", "Feb")), 2007, &n), "");
  EXPECT_EQ(n, 0);
  // Output that does not fit keeps whole lines.
  std::string two =
      page(row("Mar 14", "8:30", "PPI", "Feb") + row("Mar 15", "8:30", "Retail Sales", "Feb"));
  EXPECT_EQ(parse(two, 2007, &n, 40), "03/14/2007,08:30,,,PPI Feb B-\r\n");
  EXPECT_EQ(n, 1);
}

TEST(CalendarTest, LinesAreAppendedToWhatTheBufferHolds) {
  char out[256] = "01/02/2007,08:30,,,X Y\r\n";
  std::string p = page(row("Mar 14", "8:30", "PPI", "Feb"));
  EXPECT_EQ(parse_calendar_page(p.data(), p.size(), 2007, out, sizeof out), 1);
  EXPECT_STREQ(out, "01/02/2007,08:30,,,X Y\r\n03/14/2007,08:30,,,PPI Feb B-\r\n");
}

}  // namespace
