// import.cfg and field lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/importfmt.h"
#include "data/tests/status_capture.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"

namespace {

TEST(DataspecTest, Conversions) {
  StatusCapture status;
  struct Case {
    const char *fields, *pattern;
    int ok;
    const char *want;
  } cases[] = {
      {"Date,Open,High,Low,Close,Volume", "yymmdd", 1, "%dyymmdd,%o,%h,%l,%c,%v"},
      {"date;x;close", "mmddyy", 1, "%dmmddyy;%;%c"},
      {"ts,o,h,l,c,v,oi", "", 1, "%p,%o,%h,%l,%c,%v,%i"},
      {"Symbol,Name,Adj. Close*,Adj Close,Time,Bid,Ask,Week Of", "ddmmyy", 1,
       "%s,%n,%j,%j,%t,%b,%a,%dddmmyy"},
      {"header,date,skipline,close", "yymmdd", 1, "*%dyymmdd,\\%c"},
      {"yyyy-mm-dd,last,Open Interest", "", 1, "%dyyyy-mm-dd,%c,%i"},
      {"Date,Close \t\n", "yymmdd", 1, "%dyymmdd,%c"},
      {"CLOSE", "", 1, "%c"},
      {",date,close", "", 0, ""},
      {"date,bogus,close", "yymmdd", 0, "%dyymmdd,"},
      {"date,close,", "yymmdd", 0, "%dyymmdd,%c,"},
  };
  for (const Case &c : cases) {
    char out[512];
    EXPECT_EQ(dataspec_to_format(c.fields, out, sizeof out, c.pattern), c.ok) << c.fields;
    EXPECT_STREQ(out, c.want) << c.fields;
  }
  EXPECT_TRUE(status.saw("Invalid delimeter in dataspec"));
}

TEST(DataspecTest, Limits) {
  StatusCapture status;
  char out[512];
  EXPECT_EQ(dataspec_to_format(nullptr, out, sizeof out, "yymmdd"), 0);
  EXPECT_TRUE(status.saw("Null dataspec"));
  std::string fields(255, 'c');
  for (size_t i = 1; i < fields.size(); i += 2) fields[i] = ',';
  EXPECT_EQ(dataspec_to_format(fields.c_str(), out, sizeof out, ""), 1);
  EXPECT_EQ(dataspec_to_format((fields + ",c").c_str(), out, sizeof out, ""), 0);
  EXPECT_TRUE(status.saw("buffer overflow"));
  // The output is bounded by its buffer, however long the date pattern.
  char small[8];
  EXPECT_EQ(dataspec_to_format("date,close", small, sizeof small, "yyyymmdd"), 0);
  EXPECT_LT(strlen(small), sizeof small);
}

class ImportCfgTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    strcpy(g_data_root, root_.path().c_str());
    free_import_cfg();
  }
  void TearDown() override {
    free_import_cfg();
    reset_settings();
    TempRootTest::TearDown();
  }
};

TEST_F(ImportCfgTest, FormatsAfterTheFirstLine) {
  root_.write("CONFIG/import.cfg",
              "VERSION 1\n"
              "# name and field list\n"
              "Yahoo Date,Open,High,Low,Close,Volume,Adj Close\n"
              "\"Plain text\" date;x;close\n");
  const char *const *e = nullptr;
  ASSERT_EQ(read_import_cfg(&e), 4);
  EXPECT_STREQ(e[0], "Yahoo");
  EXPECT_STREQ(e[1], "Date,Open,High,Low,Close,Volume,Adj Close");
  EXPECT_STREQ(e[2], "Plain text");
  EXPECT_STREQ(e[3], "date;x;close");
  // Loaded once: a later change of the file is not seen.
  root_.write("CONFIG/import.cfg", "VERSION 1\n");
  EXPECT_EQ(read_import_cfg(&e), 4);
}

TEST_F(ImportCfgTest, TooShortOrMissing) {
  const char *const *e = nullptr;
  EXPECT_EQ(read_import_cfg(&e), 0);
  free_import_cfg();
  root_.write("CONFIG/import.cfg", "VERSION 1\n");
  EXPECT_EQ(read_import_cfg(&e), 0);
}

}  // namespace
