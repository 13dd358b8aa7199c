#include "data/tokenfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/scramble.h"
#include "data/tests/status_capture.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"

namespace {

class TokenFileTest : public TempRootTest {
 protected:
  std::string dir;
  void SetUp() override {
    TempRootTest::SetUp();
    dir = root_.path();
  }

  std::string write(const std::string &name, const std::string &content) {
    root_.write(name.c_str(), content);
    return root_.file(name.c_str());
  }
  std::vector<std::string> tokens(const std::string &content, int mode, int *ok = nullptr) {
    std::string path = write("t.cfg", content);
    token_list list{};
    int r = read_token_file(path.c_str(), &list, mode);
    if (ok) *ok = r;
    std::vector<std::string> out;
    for (int i = 0; i < list.count; i++) out.emplace_back(list.tokens[i]);
    if (list.count) EXPECT_EQ(list.tokens[list.count], nullptr);
    free_token_list(&list);
    return out;
  }
};

typedef std::vector<std::string> Words;

TEST_F(TokenFileTest, TokensOfLines) {
  struct Case {
    const char *content;
    int mode;
    Words tokens;
  } cases[] = {
      {"a b # note\n", 0, {"a", "b"}},
      {"\"two words\" x\n", 0, {"two words", "x"}},
      {"KEY some text here\n", 2, {"KEY", "some text here"}},
      {"KEY\n", 2, {"KEY", ""}},
      {"KEY \"quoted rest\" more\n", 2, {"KEY", "quoted rest"}},
      {"a\n", 3, {"a", "", ""}},
      {"  \t lead\ttab  \n\n   \n# only a comment\nlast", 0, {"lead", "tab", "last"}},
      {"a b\r\nc\r\n", 0, {"a", "b", "c"}},
      {"s1 d1\ns2 \"desc two\"\n", 2, {"s1", "d1", "s2", "desc two"}},
      {"x\"y z\n", 0, {"x\"y", "z"}},
  };
  for (const Case &c : cases) EXPECT_EQ(tokens(c.content, c.mode), c.tokens) << c.content;
}

TEST_F(TokenFileTest, EmptyFileGivesNoTokensAndSucceeds) {
  int ok = 0;
  EXPECT_EQ(tokens("# nothing\n   \n", 0, &ok), Words{});
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(tokens("", 0, &ok), Words{});
  EXPECT_EQ(ok, 1);
}

TEST_F(TokenFileTest, UnbalancedQuoteIsReportedAndTokenised) {
  StatusCapture status;
  std::string path = write("bad.cfg", "ok\n\"open quote here\n");
  token_list list{};
  ASSERT_TRUE(read_token_file(path.c_str(), &list, 0));
  ASSERT_EQ(list.count, 4);
  EXPECT_STREQ(list.tokens[1], "open");
  EXPECT_STREQ(list.tokens[3], "here");
  free_token_list(&list);
  ASSERT_EQ(status.take().size(), 1u);
  EXPECT_EQ(status.lines[0], "Unbalanced \" in file: " + path + ", line 2 ");
  EXPECT_EQ(status.levels[0], 14);
}

TEST_F(TokenFileTest, MissingFileIsReportedUnlessQuiet) {
  StatusCapture status;
  std::string path = dir + "/none.cfg";
  int count = 7;
  char **toks = (char **)&count;
  EXPECT_EQ(read_token_file(path.c_str(), &count, &toks, TOKEN_FILE_QUIET), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(toks, nullptr);
  EXPECT_TRUE(status.take().empty());
  EXPECT_EQ(read_token_file(path.c_str(), &count, &toks, 0), 0);
  ASSERT_EQ(status.take().size(), 1u);
  EXPECT_NE(status.lines[0].find("can't open file: " + path), std::string::npos);
  EXPECT_EQ(status.levels[0], 3);
}

TEST_F(TokenFileTest, ManyShortLinesInOneBlock) {
  // Short lines padded with empty tokens: far more pointers than the text
  // is long.  The block must hold them all (ASan checks).
  std::string content;
  for (int i = 0; i < 500; i++) content += "k\n";
  std::vector<std::string> t = tokens(content, 8);
  ASSERT_EQ(t.size(), 4000u);
  EXPECT_EQ(t[0], "k");
  EXPECT_EQ(t[7], "");
  EXPECT_EQ(t[3992], "k");
}

TEST_F(TokenFileTest, CaseOfTheFileNameDoesNotMatter) {
  write("Symbols.SLF", "IBM\n");
  token_list list{};
  ASSERT_TRUE(read_token_file((dir + "/SYMBOLS.slf").c_str(), &list, 0));
  EXPECT_EQ(list.count, 1);
  free_token_list(&list);
}

TEST(CleanConfigText, Rules) {
  struct Case {
    const char *in, *out;
  } cases[] = {
      {"  a b  \n", "a b  \n"},
      {"a b   # c\n", "a b\n"},
      {"# all\n\n \t \nx", "x"},
      {"k \"v # not kept\"\n", "k \"v\n"},
      {"a\n#\nb\n", "a\nb\n"},
      {"a # x", "a"},
      {"", ""},
  };
  for (const Case &c : cases) {
    std::string s = c.in;
    clean_config_text(s.data());
    EXPECT_STREQ(s.c_str(), c.out) << c.in;
  }
}

TEST(LineReaders, CfgReadLineAndReadFileLine) {
  char text[] = "one\ntwo that is long\nthree";
  char *cur = text;
  char buf[8];
  EXPECT_STREQ(cfg_read_line(buf, sizeof buf, &cur), "one\n");
  EXPECT_STREQ(cfg_read_line(buf, sizeof buf, &cur), "two tha");  // cut; rest skipped
  EXPECT_STREQ(cfg_read_line(buf, sizeof buf, &cur), "three");
  EXPECT_EQ(cfg_read_line(buf, sizeof buf, &cur), nullptr);

  FILE *f = tmpfile();
  fputs("ab\r\ncd\nlast", f);
  rewind(f);
  char line[16];
  EXPECT_STREQ(read_file_line(line, sizeof line, f), "ab\n");
  EXPECT_STREQ(read_file_line(line, sizeof line, f), "cd\n");
  EXPECT_STREQ(read_file_line(line, sizeof line, f), "last");
  EXPECT_EQ(read_file_line(line, sizeof line, f), nullptr);
  fclose(f);

  char crs[] = "a\r\nb\r\r";
  strip_cr(crs);
  EXPECT_STREQ(crs, "a\nb");
}

TEST(DataPath, JoinsTheGivenParts) {
  std::string saved = g_data_root;
  snprintf(g_data_root, sizeof g_data_root, "/data/root");
  char buf[KV_MAX_PATH];
  EXPECT_STREQ(data_path(buf, "config", "srcdata.cfg"), "/data/root/CONFIG/srcdata.cfg");
  EXPECT_STREQ(data_path(buf, nullptr, "x.txt"), "/data/root/x.txt");
  EXPECT_STREQ(data_path(buf, "Sub", nullptr), "/data/root/Sub");
  EXPECT_STREQ(data_path(buf, nullptr, nullptr), "/data/root");
  snprintf(g_data_root, sizeof g_data_root, "%s", saved.c_str());
}

// ---- scrambling ----------------------------------------------------------

std::string scrambled(std::string text) {
  scramble_locked(text.data());
  return text;
}

TEST(Scramble, TablesArePermutationsOfThePrintables) {
  kv_lock guard(g_chart_lock);
  build_code_tables();
  // Scrambling each printable at table position 0 gives a permutation.
  std::string seen(95, 0);
  for (int c = 32; c <= 126; c++) {
    char one[2] = {(char)c, 0};
    build_code_tables();
    scramble_text(one);
    unsigned char s = (unsigned char)one[0];
    ASSERT_GE(s, 32);
    ASSERT_LE(s, 126);
    EXPECT_EQ(seen[s - 32], 0) << c;
    seen[s - 32] = 1;
  }
  clear_code_tables();
}

TEST(Scramble, KnownTextScramblesToTheInstalledForm) {
  // Tables from the runtime generator seeded with 0x5C1E7B24, each drawn
  // from a shrinking list of 32-126; worked out independently.
  std::string text = "market NYSE\nmain_hours 9:30 16:00\n";
  std::string expect = "EkLI&2<Rr|7\nJ\\ZQS$h.+o`:s !jImgI{\n";
  EXPECT_EQ(scrambled(text), expect);
  // Eight blanks unscramble to the first character of tables 0-6, then 0.
  std::string blanks(8, ' ');
  unscramble_locked(blanks.data());
  EXPECT_EQ(blanks, "iR(3hf9i");
}

TEST(Scramble, RoundTripKeepsLineEndsAndHighBytes) {
  std::string text = "router_name relay\r\nmarket NYSE\n\tmain_hours 9:30 16:00 \x01\xe9\x7f~ \n";
  std::string s = scrambled(text);
  EXPECT_NE(s, text);
  EXPECT_EQ(s.size(), text.size());
  for (size_t i = 0; i < text.size(); i++) {
    unsigned char c = (unsigned char)text[i];
    if (c < 32 || c > 126) EXPECT_EQ(s[i], text[i]) << i;  // left alone
  }
  unscramble_locked(s.data());
  EXPECT_EQ(s, text);
}

TEST(Scramble, OnlyPrintablesAdvanceTheTablePosition) {
  // Inserting control characters or high bytes changes nothing else.
  std::string a = scrambled("abcdefghij");
  std::string b = scrambled(
      "abc\n\r\x80"
      "defg\x01hij");
  std::string stripped;
  for (char c : b)
    if ((unsigned char)c >= 32 && (unsigned char)c <= 126) stripped += c;
  EXPECT_EQ(stripped, a);
  // The same character in consecutive positions uses seven tables in turn.
  std::string run = scrambled(std::string(14, 'e'));
  EXPECT_EQ(run.substr(0, 7), run.substr(7, 7));
}

TEST(Scramble, WithoutTablesNothingIsConverted) {
  StatusCapture status;
  kv_lock guard(g_chart_lock);
  clear_code_tables();
  char text[] = "abc";
  EXPECT_EQ(unscramble_text(text), nullptr);
  EXPECT_STREQ(text, "abc");
  EXPECT_TRUE(status.saw("NULL codetable"));
}

TEST_F(TokenFileTest, ScrambledFileReadsBackToTheSameTokens) {
  std::string plain =
      "# symbols\r\nIBM \"International Business\"\r\nMSFT Microsoft   # the other\r\n\r\n"
      "\"A B\" \"C # D\"\r\n";
  std::string body = scrambled(plain);
  std::string path = write("s.cfg", "#! scrambled by the program\r\n" + body);
  token_list a{}, b{};
  ASSERT_TRUE(read_token_file(path.c_str(), &a, 2));
  ASSERT_TRUE(read_token_file(write("p.cfg", plain).c_str(), &b, 2));
  ASSERT_EQ(a.count, 6);
  ASSERT_EQ(a.count, b.count);
  for (int i = 0; i < a.count; i++) EXPECT_STREQ(a.tokens[i], b.tokens[i]) << i;
  EXPECT_STREQ(a.tokens[1], "International Business");
  free_token_list(&a);
  free_token_list(&b);
  // The scrambled file does not show its words.
  EXPECT_EQ(body.find("International"), std::string::npos);
}

TEST(Scramble, UnscrambleConfigTextDropsTheFirstLine) {
  std::string body = scrambled("key value\n");
  std::string text = "#!\n" + body;
  EXPECT_EQ(unscramble_config_text(text.data()), 1);
  EXPECT_STREQ(text.c_str(), "key value\n");
  char plain[] = "# not scrambled\n";
  EXPECT_EQ(unscramble_config_text(plain), 0);
  char bare[] = "#!";
  EXPECT_EQ(unscramble_config_text(bare), 1);
  EXPECT_STREQ(bare, "");
}

}  // namespace
