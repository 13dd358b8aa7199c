// Symbol list files: load, step forward and back, bounds on user input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "data/symlist.h"
#include "data/tests/status_capture.h"
#include "platform/testing/fixture.h"

namespace {

class SymListTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    free_symbol_list();
  }
  void TearDown() override {
    free_symbol_list();
    TempRootTest::TearDown();
  }
  int load(const std::string &text) {
    root_.write("SLF/list.slf", text);
    return load_symbol_list(root_.file("SLF/list.slf").c_str());
  }
  std::string step(int how) {
    const char *s = symbol_list_step(how);
    return s ? s : "(null)";
  }
};

TEST_F(SymListTest, StepsWrapAroundBothEnds) {
  EXPECT_EQ(step(SYMLIST_FIRST), "(null)");
  ASSERT_EQ(load("# my list\nibm Intl Business Machines\nmsft\n\"brk b\" \"Berkshire B\"\n"), 3);
  struct {
    int how;
    const char *want;
  } steps[] = {
      {SYMLIST_CURRENT, "IBM"}, {SYMLIST_PREVIOUS, "BRK B"}, {SYMLIST_PREVIOUS, "MSFT"},
      {SYMLIST_NEXT, "BRK B"},  {SYMLIST_NEXT, "IBM"},       {SYMLIST_LAST, "BRK B"},
      {SYMLIST_FIRST, "IBM"},   {SYMLIST_NEXT, "MSFT"},      {99, "MSFT"},
  };
  for (const auto &s : steps) EXPECT_EQ(step(s.how), s.want) << s.how;
  EXPECT_EQ(symbol_list_count(), 3);
  EXPECT_STREQ(symbol_list_token(0), "IBM");
  EXPECT_STREQ(symbol_list_token(1), "Intl Business Machines");
  EXPECT_STREQ(symbol_list_token(3), "");
  EXPECT_EQ(symbol_list_token(6), nullptr);
  EXPECT_EQ(symbol_list_token(-1), nullptr);
  char d[64];
  EXPECT_EQ(symbol_list_description("brk b", d, sizeof d), 1);
  EXPECT_STREQ(d, "Berkshire B");
  EXPECT_EQ(symbol_list_description("AAPL", d, sizeof d), 0);

  // A new load replaces the list and starts at its first symbol.
  ASSERT_EQ(load("QQQ\n"), 1);
  EXPECT_EQ(step(SYMLIST_NEXT), "QQQ");
  EXPECT_EQ(step(SYMLIST_PREVIOUS), "QQQ");
  free_symbol_list();
  EXPECT_EQ(step(SYMLIST_CURRENT), "(null)");
}

TEST_F(SymListTest, SymbolsThatCannotNameAFileAreLeftOut) {
  StatusCapture status;
  std::string text = "GOOD\n../../etc/passwd x\nA/B\nA\\B\n.\n..\n" + std::string(40, 'L') + "\n" +
                     std::string(31, 'M') + " long ok\n";
  ASSERT_EQ(load(text), 2);
  EXPECT_EQ(step(SYMLIST_FIRST), "GOOD");
  EXPECT_EQ(step(SYMLIST_NEXT), std::string(31, 'M'));
  EXPECT_TRUE(status.saw("Invalid symbol in symbol file: ../../etc/passwd"));
  EXPECT_TRUE(status.saw("Loaded symbol file:  list.slf"));
}

TEST_F(SymListTest, ReadOnlyFileBecomesWritableAndMissingFileLoadsNothing) {
  root_.write("SLF/ro.slf", "IBM\n");
  std::string path = root_.file("SLF/ro.slf");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(load_symbol_list(path.c_str()), 1);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);

  EXPECT_EQ(load_symbol_list(root_.file("SLF/none.slf").c_str()), 0);
  EXPECT_EQ(step(SYMLIST_FIRST), "(null)");
  // Found whatever the case of its name.
  EXPECT_EQ(load_symbol_list(root_.file("slf/RO.SLF").c_str()), 1);
}

}  // namespace
