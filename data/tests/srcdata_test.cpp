// srcdata.cfg lookups over a fixture file.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "data/srcdata.h"
#include "data/tests/status_capture.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"

namespace {

const char kSrcdata[] =
    "# data sources\n"
    "HISTORIC_INTRADAY 1\n"
    "  intraday1 intra.cfg\n"
    "historic_daily 2\n"
    "  first daily1.cfg\n"
    "  second daily2.cfg\n"
    "HISTORIC_WEEKLY 3\n"
    "  w1 weekly1.cfg\n"
    "  w2 weekly2.cfg\n"
    "  w3 weekly3.cfg\n"
    "MULTIQUOTE 1\n"
    "  relay relay.cfg\n"
    "TIME_SERVER time-a.example;time-b.example\n"
    "REG_SERVER http://updates.example/check\n"
    "HISTORIC_MONTHLY 4\n"
    "  m1 monthly1.cfg\n";

class SrcdataTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    strcpy(g_data_root, root_.path().c_str());
    root_.write("CONFIG/srcdata.cfg", kSrcdata);
    free_srcdata_cfg();
  }
  void TearDown() override {
    free_srcdata_cfg();
    reset_settings();
    TempRootTest::TearDown();
  }
};

TEST_F(SrcdataTest, SourceOfEachTimeUnit) {
  struct Case {
    int unit, daily, weekly, monthly;
    const char *want;  // null: no source
  } cases[] = {
      {1, 0, 0, 0, "intra.cfg"},
      {78, 5, 0, 0, "intra.cfg"},  // intraday ignores the index
      {390, 0, 0, 0, "daily1.cfg"},
      {395, 1, 0, 0, "daily2.cfg"},
      {410, 2, 0, 0, "daily1.cfg"},  // index beyond the class: first source
      {390, -1, 0, 0, nullptr},      // no source selected
      {2730, 0, 2, 0, "weekly3.cfg"},
      {100000, 0, 0, 0, "relay.cfg"},
      {11700, 0, 0, 0, "monthly1.cfg"},
      {11700, 0, 0, 2, nullptr},  // the count runs past the end of the file
      {120, 0, 0, 0, "________.cfg"},
      {391, 0, 0, 0, "________.cfg"},
  };
  for (const Case &c : cases) {
    g_settings.DailySource = c.daily;
    g_settings.WeeklySource = c.weekly;
    g_settings.MonthlySource = c.monthly;
    const char *got = srcdata_for_timeunit(c.unit);
    if (c.want)
      EXPECT_STREQ(got, c.want) << c.unit;
    else
      EXPECT_EQ(got, nullptr) << c.unit;
  }
}

TEST_F(SrcdataTest, NamedItems) {
  StatusCapture status;
  char value[64];
  EXPECT_EQ(find_srcdata_item("time_server", value, sizeof value), 22);
  EXPECT_STREQ(value, "time-a.example;time-b.example");
  char small[8];
  EXPECT_GE(find_srcdata_item("REG_SERVER", small, sizeof small), 0);
  EXPECT_STREQ(small, "http://");
  EXPECT_GE(find_srcdata_item("REG_SERVER", nullptr, 0), 0);
  EXPECT_EQ(find_srcdata_item("UPDATE_SERVER", value, sizeof value), -1);
  EXPECT_TRUE(status.saw("Unable to find srcdata item: UPDATE_SERVER"));
}

TEST_F(SrcdataTest, SourceNamesOfAClass) {
  const char *const *names = srcdata_source_names(2730);
  std::vector<std::string> got;
  for (; *names; names++) got.push_back(*names);
  EXPECT_EQ(got, (std::vector<std::string>{"w1", "w2", "w3"}));
  StatusCapture status;
  EXPECT_EQ(srcdata_source_names(120)[0], nullptr);
  EXPECT_TRUE(status.saw("error in srcdata.cfg file"));
  EXPECT_TRUE(status.saw("bad timeunit"));
  names = srcdata_source_names(11700);  // stops at the end of the file
  ASSERT_NE(names[0], nullptr);
  EXPECT_STREQ(names[0], "m1");
  EXPECT_EQ(names[1], nullptr);
}

TEST_F(SrcdataTest, AMissingFileIsReportedOncePerReading) {
  ASSERT_EQ(remove((root_.path() + "/CONFIG/srcdata.cfg").c_str()), 0);
  free_srcdata_cfg();
  StatusCapture status;
  for (int i = 0; i < 5; i++) EXPECT_EQ(srcdata_for_timeunit(390), srcdata_missing_cfg);
  auto said = [&] {
    return std::count_if(status.take().begin(), status.take().end(), [](const std::string &l) {
      return l.find("error in srcdata.cfg file") != std::string::npos;
    });
  };
  EXPECT_EQ(said(), 1);
  free_srcdata_cfg();  // read again: said again
  srcdata_for_timeunit(390);
  EXPECT_EQ(said(), 2);
}

TEST_F(SrcdataTest, AtMostTwentyNames) {
  std::string text = "HISTORIC_DAILY 25\n";
  for (int i = 0; i < 25; i++) text += "s" + std::to_string(i) + " f.cfg\n";
  root_.write("CONFIG/srcdata.cfg", text);
  free_srcdata_cfg();
  const char *const *names = srcdata_source_names(390);
  int n = 0;
  while (names[n]) n++;
  EXPECT_EQ(n, SRCDATA_MAX_NAMES);
  EXPECT_STREQ(names[19], "s19");
}

TEST_F(SrcdataTest, MissingFileGivesNoSources) {
  StatusCapture status;
  free_srcdata_cfg();
  strcpy(g_data_root, root_.file("nowhere").c_str());
  EXPECT_STREQ(srcdata_for_timeunit(390), "________.cfg");
  EXPECT_TRUE(status.saw("Unable to read file: " + root_.file("nowhere") + "/CONFIG/srcdata.cfg"));
  EXPECT_EQ(find_srcdata_item("TIME_SERVER", nullptr, 0), -1);
  EXPECT_EQ(srcdata_source_names(390)[0], nullptr);
}

}  // namespace
