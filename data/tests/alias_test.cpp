// Symbol aliases: the alias table from hand-written files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/alias.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"

namespace {

std::string log_since(size_t from) {
  std::string out;
  for (size_t i = from; i < g_statmsg_cursor; i++)
    out += g_statmsg_ring[i] ? g_statmsg_ring[i] : '\n';
  return out;
}

class AliasTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    g_settings.AliasTitle[0] = 0;
    free_alias_table();
    log_start_ = g_statmsg_cursor;
  }
  void TearDown() override {
    free_alias_table();
    TempRootTest::TearDown();
  }
  std::string logged() const { return log_since(log_start_); }
  std::string lookup(const char* symbol, int direction) {
    const char* r = lookup_alias(symbol, direction);
    return r ? r : "<null>";
  }
  SettingsSaver settings_saver_;  // g_settings put back after the test
  size_t log_start_ = 0;
};

// ---- aliases -----------------------------------------------------------------

TEST_F(AliasTest, AliasesMapEachWayByPatternAndFileOrder) {
  root_.write("ALIAS/futures.txt",
              "# first       second\n"
              "ES*           ESGLOBEX\n"
              "esh4          ES-SHOULD-NOT-WIN\n"
              "NQ?           -\n"
              "-             SPYINTRA\n"
              "[AB]DAILY     \"AB INTRA\"\n"
              "GC*           GC*\n"
              "CL            ../../etc/passwd\n"
              "HO            ho\n");
  snprintf(g_settings.AliasTitle, sizeof g_settings.AliasTitle, "futures");

  struct {
    const char* symbol;
    int direction;
    const char* expected;
  } cases[] = {
      {"ESH4", 0, "ESGLOBEX"},      // first matching line wins; partner as written
      {"esm4", 0, "ESGLOBEX"},      // without regard to case
      {"ESGLOBEX", 1, "ESGLOBEX"},  // partner "ES*" is a pattern: names no symbol
      {"ES-SHOULD-NOT-WIN", 1, "esh4"},
      {"NQZ", 0, "<null>"},         // "-": no symbol for daily data
      {"NQ", 0, "NQ"},              // "?" takes one character
      {"SPYINTRA", 1, "<null>"},    // "-": none for intraday data
      {"BDAILY", 0, "AB INTRA"},    // character set; quoted partner
      {"AB INTRA", 1, "AB INTRA"},  // partner "[AB]DAILY" is a pattern
      {"GCQ4", 0, "GCQ4"},
      {"CL", 0, "CL"},  // a partner that cannot name a file
      {"HO", 0, "ho"},
      {"ho", 1, "HO"},
      {"IBM", 0, "IBM"},  // no match: itself
  };
  for (auto& c : cases)
    EXPECT_EQ(lookup(c.symbol, c.direction), c.expected) << c.symbol << " " << c.direction;
  const char* ibm = "IBM";
  EXPECT_EQ(lookup_alias(ibm, 0), ibm);
  EXPECT_EQ(lookup_alias(ibm, 1), ibm);
}

TEST_F(AliasTest, AliasFileThatCannotBeUsedMapsEverySymbolToItself) {
  // Missing file: reported at level 10, symbols map to themselves.
  snprintf(g_settings.AliasTitle, sizeof g_settings.AliasTitle, "missing");
  EXPECT_EQ(lookup("ESH4", 0), "ESH4");
  EXPECT_NE(logged().find("Unable to read file:"), std::string::npos);
  EXPECT_NE(logged().find("missing.txt"), std::string::npos);

  // A name that would leave the ALIAS folder is never opened.
  root_.write("secret.txt", "IBM -\n");
  EXPECT_EQ(read_alias_file("../secret"), 0);
  EXPECT_EQ(lookup("IBM", 0), "IBM");

  // No name: no aliases, nothing reported.
  size_t before = g_statmsg_cursor;
  EXPECT_EQ(read_alias_file(""), 1);
  EXPECT_EQ(lookup("IBM", 0), "IBM");
  EXPECT_EQ(log_since(before), "");

  // Reading another file replaces the table; members beyond the matcher's
  // bounds are left out and reported.
  root_.write("ALIAS/b.txt",
              "A*B*C*D*E*F X\n"
              "IB? INTRA-IBM\n");
  EXPECT_EQ(read_alias_file("b"), 1);
  EXPECT_EQ(lookup("IBM", 0), "INTRA-IBM");
  EXPECT_EQ(lookup("ABCDEF", 0), "ABCDEF");
  EXPECT_NE(logged().find("Alias ignored:"), std::string::npos);
}

}  // namespace
