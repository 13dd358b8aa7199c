// tindral run as a user runs it: symbol-directory files in, symnames.six
// and the report text out.
#include "data/symindex.h"
#include "tools/tests/tool_process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <string>

using namespace std::string_literals;

static const std::string TINDRAL = KV_BINARY_DIR "/bin/tindral";

static const char HEADER[] = "Symbol|Security Name|Market Category|Test Issue\n";

// One index entry as it is stored.
static std::string entry(const std::string& symbol, const std::string& name) {
  return symbol + '\0' + name + '\0';
}

TEST(Tindral, WithoutArgumentsPrintsUsageAndFails) {
  temp_folder dir;
  tool_result r = run_tool(TINDRAL, {}, dir.path());
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(
      r.out.rfind("tindral Version 1.03\nSyntax:\n  tindral infile1 [infile2..]\nAction:\n", 0), 0u)
      << r.out;
  EXPECT_NE(r.out.find("\n into compressed symbol index file: symnames.six used by Korvane\n"
                       "Example:\n"
                       "  tindral nasdaq.txt cqssym.txt\n"
                       "  creates output file symnames.six in current directory\n"
                       "  move this file to the ./CONFIG subdirectory under Korvane\n"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(file_exists(dir.file("symnames.six")));
}

// Two files give one sorted run: unsigned byte order, skipped lines, CR LF
// line ends, duplicates kept, one closing NUL.
TEST(Tindral, TwoFilesGiveOneSortedIndex) {
  temp_folder dir;
  write_bytes(dir.file("nasdaq.txt"),
              HEADER +
                  "MSFT|Microsoft Corporation - Common Stock|Q|N\n"s
                  "ABC$|Preferred share|Q|N\n"  // "$" symbols never appear
                  "|No symbol|Q|N\n"            // no symbol
                  "NONAME||Q|N\n"               // no name
                  "NOBAR\n"                     // no fields at all
                  "aapl|lower case sorts after upper|Q|N\n"
                  "BRK.A|Berkshire Hathaway Inc. Class A\r\n"  // CR LF line end, no trailing field
                  "\xC3X|High byte sorts last|Q|N\n"
                  "IBM|International Business Machines|Q|N\n"
                  "File Creation Time: 1210202612:00|||\n");
  write_bytes(dir.file("cqssym.txt"), HEADER +
                                          "BRK|Berkshire Hathaway\r\n"s
                                          "IBM|IBM second listing|N|N\r\n"
                                          "XYZ$W|Warrant\r\n"
                                          "A|Agilent Technologies|N|N");  // no line end at all

  tool_result r = run_tool(TINDRAL, {"nasdaq.txt", "cqssym.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "extracted 5 symbols from nasdaq.txt\n"
            "extracted 3 symbols from cqssym.txt\n"
            "Wrote 8 symbols to output file: symnames.six\n"
            "Operation completed successfully,\n");
  EXPECT_EQ(read_bytes(dir.file("symnames.six")),
            entry("A", "Agilent Technologies") + entry("BRK", "Berkshire Hathaway") +
                entry("BRK.A", "Berkshire Hathaway Inc. Class A") +
                entry("IBM", "International Business Machines") +
                entry("IBM", "IBM second listing") +
                entry("MSFT", "Microsoft Corporation - Common Stock") +
                entry("aapl", "lower case sorts after upper") +
                entry("\xC3X", "High byte sorts last") + '\0');
}

TEST(Tindral, HeaderOnlyFileGivesEmptyIndex) {
  temp_folder dir;
  write_bytes(dir.file("empty.txt"), HEADER);
  tool_result r = run_tool(TINDRAL, {"empty.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "extracted 0 symbols from empty.txt\n"
            "Wrote 0 symbols to output file: symnames.six\n"
            "Operation completed successfully,\n");
  EXPECT_EQ(read_bytes(dir.file("symnames.six")), "\0"s);
}

// Only the first 511 characters of a line count; the rest of a longer line
// is dropped, not read as a line of its own.
TEST(Tindral, LongLineIsCutNotSplit) {
  temp_folder dir;
  std::string name(600, 'N');
  std::string long_line = "LONG|" + name.substr(0, 506) + "EVIL|Evil Corp|Q|N\n";
  write_bytes(dir.file("long.txt"), std::string(700, 'H') + "\nNEXT|Next line|Q|N\n" + long_line +
                                        "AFTER|After the long line\n");
  tool_result r = run_tool(TINDRAL, {"long.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "extracted 3 symbols from long.txt\n");
  EXPECT_EQ(read_bytes(dir.file("symnames.six")), entry("AFTER", "After the long line") +
                                                      entry("LONG", name.substr(0, 506)) +
                                                      entry("NEXT", "Next line") + '\0');
}

// An input that cannot be read (missing, or a folder) stops the run, and
// an existing index stays as it was.
TEST(Tindral, MissingInputStopsWithoutOutput) {
  for (const char* input : {"missing.txt", "folder"}) {
    SCOPED_TRACE(input);
    temp_folder dir;
    std::filesystem::create_directory(dir.file("folder"));
    write_bytes(dir.file("a.txt"), HEADER + "A|Alpha\n"s);
    write_bytes(dir.file("symnames.six"), "OLD\0Old index\0\0"s);
    tool_result r = run_tool(TINDRAL, {"a.txt", input}, dir.path());
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "extracted 1 symbols from a.txt\ncan't open: "s + input + "\n");
    EXPECT_EQ(read_bytes(dir.file("symnames.six")), "OLD\0Old index\0\0"s);
  }
}

TEST(Tindral, UnwritableFolderReportsOutputError) {
  temp_folder dir;
  write_bytes(dir.file("a.txt"), HEADER + "A|Alpha\n"s);
  // The index goes to the current folder; here that is a folder the tool
  // cannot write (a file in place of it would stop chdir, so use /proc).
  tool_result r = run_tool(TINDRAL, {dir.file("a.txt")}, "/proc");
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.out, "extracted 1 symbols from " + dir.file("a.txt") +
                       "\ncan't open: symnames.six output file\n");
}

static std::string numbered_lines(int first, int count) {
  std::string s;
  char line[32];
  for (int i = first; i < first + count; i++) {
    std::snprintf(line, sizeof line, "S%06d|N\n", i);
    s += line;
  }
  return s;
}

// The pair table holds 200,000 pairs: the 200,000th is stored, the next
// one is refused.
TEST(Tindral, PairTableCapacity) {
  temp_folder dir;
  write_bytes(dir.file("full.txt"),
              HEADER + numbered_lines(0, 200000) + "File Creation Time: 1210202612:00|||\n");
  tool_result r = run_tool(TINDRAL, {"full.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "extracted 200000 symbols from full.txt\n"
            "Wrote 200000 symbols to output file: symnames.six\n"
            "Operation completed successfully,\n");
  std::string index = read_bytes(dir.file("symnames.six"));
  EXPECT_EQ(index.size(), 200000u * 10 + 1);
  EXPECT_EQ(index.substr(index.size() - 11), entry("S199999", "N") + '\0');

  write_bytes(dir.file("more.txt"), HEADER + numbered_lines(200000, 1));
  write_bytes(dir.file("symnames.six"), "\0"s);
  r = run_tool(TINDRAL, {"full.txt", "more.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out,
            "extracted 200000 symbols from full.txt\n"
            "Symbol table overflow, symbol cnt = 200000\n");
  EXPECT_EQ(read_bytes(dir.file("symnames.six")), "\0"s);
}

// The text pool holds 5,000,000 bytes of symbols and names with their NULs:
// a file that fills it exactly is taken whole, one more pair is refused.
TEST(Tindral, TextPoolCapacity) {
  temp_folder dir;
  std::string lines;
  std::string name(499, 'n');
  char sym[16];
  const int pairs = 5000000 / 508;  // 7-character symbol + NUL + 499 + NUL
  for (int i = 0; i < pairs; i++) {
    std::snprintf(sym, sizeof sym, "S%06d", i);
    lines += sym + ("|" + name + "\n");
  }
  int rest = 5000000 - pairs * 508;
  lines += "T|" + std::string(static_cast<size_t>(rest - 3), 't') + "\n";
  write_bytes(dir.file("pool.txt"), HEADER + lines);
  write_bytes(dir.file("one.txt"), HEADER + "U|u\n"s);

  tool_result r = run_tool(TINDRAL, {"pool.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
            "extracted " + std::to_string(pairs + 1) + " symbols from pool.txt\n");
  EXPECT_EQ(read_bytes(dir.file("symnames.six")).size(), 5000001u);

  r = run_tool(TINDRAL, {"pool.txt", "one.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "extracted " + std::to_string(pairs + 1) +
                       " symbols from pool.txt\nMemory allocation exceeded\n");
}

// The program's own index reader finds every name tindral wrote.
TEST(Tindral, IndexReadsBackInTheProgram) {
  temp_folder dir;
  write_bytes(dir.file("nasdaq.txt"), HEADER +
                                          "MSFT|Microsoft Corporation|Q|N\n"s
                                          "BRK.A|Berkshire Hathaway Inc. Class A\r\n"
                                          "ABC$|Preferred share|Q|N\n");
  ASSERT_EQ(run_tool(TINDRAL, {"nasdaq.txt"}, dir.path()).exit_code, 0);
  std::string index = read_bytes(dir.file("symnames.six"));
  ASSERT_EQ(load_symnames_buffer(index.data(), index.size()), 1);
  EXPECT_EQ(symnames_count(), 2);
  EXPECT_STREQ(symbol_description("MSFT"), "Microsoft Corporation");
  EXPECT_STREQ(symbol_description("BRK.A"), "Berkshire Hathaway Inc. Class A");
  EXPECT_STREQ(symbol_description("ABC$"), "");
  free_symnames_six();
}
