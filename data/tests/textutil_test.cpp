#include "data/textutil.h"
#include <cstring>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(NextToken, WalksTheCursorAndEndsWithNull) {
  char text[] = "  IBM,, 12.5 ,x";
  char *cur = text;
  EXPECT_STREQ(next_token(&cur, " ,"), "IBM");
  EXPECT_STREQ(next_token(&cur, " ,"), "12.5");
  EXPECT_STREQ(next_token(&cur, " ,"), "x");
  EXPECT_EQ(next_token(&cur, " ,"), nullptr);
  EXPECT_EQ(next_token(&cur, " ,"), nullptr);

  char nums[] = "12 x 7";
  cur = nums;
  EXPECT_EQ(next_token_int(&cur, " "), 12);
  EXPECT_EQ(next_token_int(&cur, " "), 0);
  EXPECT_EQ(next_token_int(&cur, " "), 7);
  EXPECT_EQ(next_token_int(&cur, " "), 0);
}

TEST(NextTokenUntil, QuotedValueWithinTheLine) {
  char text[] = "name=\"two words\" rest\nplain next\n";
  char *cur = text;
  EXPECT_STREQ(next_token_until(&cur, '"'), "two words");
  // The rest of the first line holds no quote: blank-separated tokens.
  EXPECT_STREQ(next_token_until(&cur, '"'), "rest");
  EXPECT_STREQ(next_token_until(&cur, '"'), "plain");
  EXPECT_STREQ(next_token_until(&cur, '"'), "next");
  EXPECT_EQ(next_token_until(&cur, '"'), nullptr);

  // A quote on a later line is not taken for the current one.
  char two[] = "a b\n\"c\"";
  cur = two;
  EXPECT_STREQ(next_token_until(&cur, '"'), "a");
}

TEST(NextQuotedToken, DelimitersQuotesAndTrimming) {
  char text[] = " \"12,5\" junk;<b>7</b> ; tail ";
  char *cur = text;
  EXPECT_STREQ(next_quoted_token(&cur, ";"), "12,5");
  EXPECT_STREQ(next_quoted_token(&cur, ";"), "b>7</b");
  EXPECT_STREQ(next_quoted_token(&cur, ";"), "tail");
  char rest[] = "  all of it  ";
  cur = rest;
  EXPECT_STREQ(next_quoted_token(&cur, nullptr), "all of it");
  EXPECT_EQ(*cur, 0);
}

TEST(SplitWords, SymbolExpressions) {
  struct Case {
    const char *text;
    int max;
    std::vector<std::string> words;
  } cases[] = {
      {"IBM + MSFT", 8, {"IBM", "+", "MSFT"}},
      {"IBM+MSFT", 8, {"IBM", "+", "MSFT"}},
      {"-IBM + 2", 8, {"-", "IBM", "+", "2"}},
      {"A-B", 8, {"A-B"}},
      {"\"BRK A\"+X", 8, {"BRK A", "+", "X"}},
      {"\tA\t B ", 8, {"A", "B"}},
      {"a b c d e", 2, {"a", "b", "c"}},  // stops after max + 1 words
      {"", 8, {}},
  };
  for (const Case &c : cases) {
    char *words[16] = {};
    int n = split_words(c.text, words, c.max);
    ASSERT_EQ(n, (int)c.words.size()) << c.text;
    for (int i = 0; i < n; i++) EXPECT_EQ(words[i], c.words[i]) << c.text;
  }
}

TEST(SplitWords, StopsWhenTheBufferIsFull) {
  std::string big;
  for (int i = 0; i < 200; i++) big += "abcd ";
  char *words[300];
  int n = split_words(big.c_str(), words, 299);
  EXPECT_EQ(n, 102);  // 102 words of 5 bytes fill 510 of the 512
  EXPECT_STREQ(words[n - 1], "abcd");
}

TEST(CopyStringN, AlwaysTerminatesAtN) {
  char buf[8];
  memset(buf, 'x', sizeof buf);
  copy_string_n(buf, "abcdefgh", 4);
  EXPECT_STREQ(buf, "abcd");
  copy_string_n(buf, "ab", 4);
  EXPECT_STREQ(buf, "ab");

  char num[] = "1,234,567";
  strip_commas(num);
  EXPECT_STREQ(num, "1234567");
}

TEST(WildcardMatch, Table) {
  struct Case {
    const char *pattern, *text;
    int result;
  } cases[] = {
      {"ib*", "IBM", 0},   {"ib?", "IB", 1},      {"ib?", "IBM", 0},    {"ib?", "IBMX", -1},
      {"*", "", 0},        {"*M", "IBM", 0},      {"*X", "IBM", 1},     {"I*B*M", "IxxBM", 0},
      {"[a-c]1", "B1", 0}, {"[!a-c]1", "B1", -1}, {"[!a-c]1", "d1", 0}, {"[xyz]", "Y", 0},
      {"abc", "ab", 1},    {"ab", "abc", -1},     {"", "", 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(wildcard_match(c.pattern, c.text), c.result) << c.pattern << " " << c.text;
}

TEST(FindXmlElement, ContentAndRest) {
  char text[] = "<a><price x=1>12.5</price><vol>9</vol></a>";
  char *rest = nullptr;
  EXPECT_STREQ(find_xml_element(text, &rest, "price"), "12.5");
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(find_xml_element(rest, &rest, "vol"), "9");
  EXPECT_STREQ(rest, "</a>");

  char last[] = "<v>1</v>";
  EXPECT_STREQ(find_xml_element(last, &rest, "v"), "1");
  EXPECT_EQ(rest, nullptr);

  char open[] = "<v>no end";
  EXPECT_STREQ(find_xml_element(open, &rest, "v"), "no end");
  EXPECT_EQ(rest, nullptr);

  char none[] = "<w>1</w>";
  EXPECT_EQ(find_xml_element(none, &rest, "v"), nullptr);
}
