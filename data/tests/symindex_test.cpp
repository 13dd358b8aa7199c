// Symbol index reader and description lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "data/symindex.h"
#include "data/symlist.h"
#include "data/tests/status_capture.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "tools/symindex_build.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The index file as the index tool writes it: pairs, then one NUL.
std::string six_image(const Pairs &pairs) {
  std::string s;
  for (const auto &p : pairs) {
    s += p.first;
    s += '\0';
    s += p.second;
    s += '\0';
  }
  s += '\0';
  return s;
}

class SymIndexTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    strcpy(g_data_root, root_.path().c_str());
    free_symnames_six();
    free_symbol_list();
  }
  void TearDown() override {
    free_symnames_six();
    free_symbol_list();
    reset_settings();
    TempRootTest::TearDown();
  }
};

// Unsigned byte order, as the tool sorts: upper case before "^", "_" and
// lower case; long symbols and short names mixed.
const Pairs kByteOrder = {
    {"A", "Agilent Technologies"},
    {"AAPL", "Apple Inc."},
    {"BRK.B", "Berkshire Hathaway Class B"},
    {"IBM", "Intl Business Machines"},
    {"LONGSYMBOL", "X"},
    {"MSFT", "Microsoft"},
    {"ZZZZ", "Last Capital"},
    {"^DJI", "Dow Jones Industrial Average"},
    {"_TEMP", "Temporary"},
    {"abc", "Lower Case Corp"},
};

TEST_F(SymIndexTest, EveryPairOfTheToolsOrderIsFound) {
  root_.write("CONFIG/symnames.six", six_image(kByteOrder));
  ASSERT_EQ(read_symnames_six(), 1);
  EXPECT_EQ(symnames_count(), (int)kByteOrder.size());
  for (const auto &p : kByteOrder)
    EXPECT_STREQ(symbol_description(p.first.c_str()), p.second.c_str()) << p.first;
  EXPECT_STREQ(symbol_description("ibm"), "Intl Business Machines");
  EXPECT_STREQ(symbol_description("ABC"), "Lower Case Corp");
  const char *unknown[] = {"", "0", "@", "AA", "IBMX", "ZZZZZ", "~", "\xff"};
  for (const char *u : unknown) EXPECT_STREQ(symbol_description(u), "") << u;
  EXPECT_STREQ(symbol_description(nullptr), "");
}

TEST_F(SymIndexTest, UnusualFiles) {
  struct Case {
    const char *what;
    std::string bytes;
    const char *symbol, *want;
  } cases[] = {
      {"empty file", "", "IBM", ""},
      {"no closing NUL", std::string("IBM\0Intl", 8), "IBM", "Intl"},
      {"symbol without description", std::string("IBM\0", 4), "IBM", ""},
      {"stops at the empty symbol", std::string("A\0a\0\0IBM\0Intl\0", 14), "IBM", ""},
      {"not sorted", six_image({{"ZZ", "z"}, {"AA", "a"}, {"MM", "m"}}), "AA", "a"},
      {"duplicates keep the first", six_image({{"DUP", "one"}, {"DUP", "two"}}), "DUP", "one"},
  };
  for (const Case &c : cases) {
    free_symnames_six();
    root_.write("CONFIG/symnames.six", c.bytes);
    EXPECT_EQ(read_symnames_six(), 1) << c.what;
    EXPECT_STREQ(symbol_description(c.symbol), c.want) << c.what;
  }
}

TEST_F(SymIndexTest, LongDescriptionIsCut) {
  std::string longname(2000, 'n');
  ASSERT_EQ(load_symnames_buffer(six_image({{"L", longname}}).data(), longname.size() + 5), 1);
  EXPECT_EQ(strlen(symbol_description("L")), (size_t)SYMBOL_DESCRIPTION_MAX);
}

TEST_F(SymIndexTest, MissingIndexGivesEmptyText) {
  StatusCapture status;
  EXPECT_EQ(read_symnames_six(), 0);
  EXPECT_TRUE(status.saw("can't open file: " + root_.path() + "/CONFIG/symnames.six"));
  EXPECT_STREQ(symbol_description("IBM"), "");
  // Found under any case of its name.
  root_.write("config/SYMNAMES.SIX", six_image({{"IBM", "Intl"}}));
  EXPECT_EQ(read_symnames_six(), 1);
  EXPECT_STREQ(symbol_description("IBM"), "Intl");
}

TEST_F(SymIndexTest, SymbolListDescriptionComesFirst) {
  root_.write("CONFIG/symnames.six", six_image({{"IBM", "From index"}, {"MSFT", "Microsoft"}}));
  root_.write("SLF/tech.slf", "ibm \"From list\"\nmsft\n");
  ASSERT_EQ(load_symbol_list(root_.file("SLF/tech.slf").c_str()), 2);
  EXPECT_STREQ(symbol_description("IBM"), "From list");
  EXPECT_STREQ(symbol_description("MSFT"), "Microsoft");  // empty in the list
}

TEST_F(SymIndexTest, IndexBuiltByTheIndexTool) {
  sym_table t;
  ASSERT_EQ(sym_table_init(&t), 1);
  const char *lines[] = {"ibm|Intl Business Machines|Q",
                         "AAPL|Apple Inc.|Q",
                         "^VIX|Volatility Index|N",
                         "ABC$|skipped|N",
                         "_X|Under Score|N",
                         "A|Agilent|N"};
  for (const char *l : lines) sym_table_add_line(&t, l);
  sym_table_sort(&t);
  std::string image = symbol_index_image(&t);
  sym_table_free(&t);
  root_.write("CONFIG/symnames.six", image);
  ASSERT_EQ(read_symnames_six(), 1);
  EXPECT_EQ(symnames_count(), 5);
  EXPECT_STREQ(symbol_description("IBM"), "Intl Business Machines");
  EXPECT_STREQ(symbol_description("aapl"), "Apple Inc.");
  EXPECT_STREQ(symbol_description("^VIX"), "Volatility Index");
  EXPECT_STREQ(symbol_description("_X"), "Under Score");
  EXPECT_STREQ(symbol_description("A"), "Agilent");
  EXPECT_STREQ(symbol_description("ABC$"), "");
}

}  // namespace
