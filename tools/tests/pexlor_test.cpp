// pexlor run as a user runs it: price files written byte by byte, the copy
// and the report text checked.
#include "tools/tests/tool_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

static const std::string PEXLOR = KV_BINARY_DIR "/bin/pexlor";
static const std::string SYNTAX = "  syntax:  pexlor infile.ext outfile[.ext] [price adjust amt]\n";

static void put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) s[at + i] = static_cast<char>(v >> (8 * i));
}

static uint32_t get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++)
    v |= static_cast<uint32_t>(static_cast<uint8_t>(s[at + i])) << (8 * i);
  return v;
}

static uint32_t float_bits(float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  return v;
}

static float get_float(const std::string& s, size_t at) {
  uint32_t v = get32(s, at);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

// Magic plus the sum of the first 63 words, into the word at 252.
static void seal(std::string& file) {
  uint32_t sum = 0x9AE5E1A5u;
  for (size_t at = 0; at < 252; at += 4) sum += get32(file, at);
  put32(file, 252, sum);
}

static std::string symbol_field(const std::string& file) {
  return file.substr(8, 32);
}

struct test_bar {
  float open, high, low, close;
  int32_t volume;
  uint32_t extra;
  uint32_t flags;
  int32_t time;
};

static const uint32_t EXTRA_IS_PRICE = 0x1000000;

// A price file: header with every field filled, ext_blocks extension
// blocks, the bars; the header counts `counted` bars (-1: all of them).
static std::string price_file(const std::string& symbol, int ext_blocks,
                              const std::vector<test_bar>& bars, int64_t counted = -1) {
  std::string f(256, '\0');
  put32(f, 0, 7u << 16);  // zero word, version 7
  put32(f, 4, 0x9AE5E1A5u);
  std::memcpy(&f[8], symbol.data(), symbol.size());
  std::memcpy(&f[40], "E-mini S&P 500", 14);
  put32(f, 100, 1);
  put32(f, 104, static_cast<uint32_t>(counted < 0 ? bars.size() : counted));
  put32(f, 108, 20231201);
  put32(f, 112, 20231215);
  put32(f, 116, 0x40000);
  put32(f, 132, float_bits(4567.25f));
  put32(f, 144, 34200);
  put32(f, 148, 57600);
  put32(f, 152, static_cast<uint32_t>(ext_blocks));
  put32(f, 168, 0xDEADBEEF);
  put32(f, 248, 0x12345678);
  seal(f);
  for (int i = 0; i < ext_blocks; i++) {
    std::string block(128, '\0');
    for (size_t at = 4; at < 128; at += 4)
      put32(block, at, float_bits(100.0f + static_cast<float>(at)));
    f += block;
  }
  for (const test_bar& b : bars) {
    std::string rec(32, '\0');
    put32(rec, 0, float_bits(b.open));
    put32(rec, 4, float_bits(b.high));
    put32(rec, 8, float_bits(b.low));
    put32(rec, 12, float_bits(b.close));
    put32(rec, 16, static_cast<uint32_t>(b.volume));
    put32(rec, 20, b.extra);
    put32(rec, 24, b.flags);
    put32(rec, 28, static_cast<uint32_t>(b.time));
    f += rec;
  }
  return f;
}

static const std::vector<test_bar> BARS = {
    {4560.25f, 4562.5f, 4559.0f, 4561.75f, 1200, float_bits(4560.5f), EXTRA_IS_PRICE | 0x400000,
     1702278000},
    {4561.75f, 4563.0f, 4560.5f, 4562.0f, 900, 250000, 0x400000, 1702278060},  // open interest
};

// The expected copy: the input with the symbol field replaced and the
// header resealed.
static std::string renamed(std::string file, const std::string& symbol) {
  std::memset(&file[8], 0, 32);
  std::memcpy(&file[8], symbol.data(), symbol.size());
  seal(file);
  return file;
}

// The output's base name (after "/" or "\", up to the first ".") becomes
// the upper-cased symbol, cut to 31 characters; a missing extension is
// taken from the input. A new file keeps the name as typed ("\" read as
// "/"); an existing file whose name differs only in case is replaced.
TEST(Pexlor, CopiesUnderTheOutputsSymbol) {
  struct {
    const char* out_arg;
    const char* shown;    // output name in the report
    const char* on_disk;  // file that holds the copy
    const char* symbol;
  } cases[] = {
      {"ESZ3", "ESZ3.1min", "ESZ3.1min", "ESZ3"},
      {"esz3.1MIN", "esz3.1MIN", "esz3.1MIN", "ESZ3"},
      {"sub/nqh4", "sub/nqh4.1min", "sub/nqh4.1min", "NQH4"},
      {"sub\\ymh4", "sub\\ymh4.1min", "sub/ymh4.1min", "YMH4"},
      {"spx.w.1min", "spx.w.1min", "spx.w.1min", "SPX"},
      {"ES", "ES.1min", "ES.1min", "ES"},  // onto the input itself
      {"old", "old.1min", "OLD.1min", "OLD"},
      {"AbcdefghijklmnopqrstuvwxyZ0123456789", "AbcdefghijklmnopqrstuvwxyZ0123456789.1min",
       "AbcdefghijklmnopqrstuvwxyZ0123456789.1min", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out_arg);
    temp_folder dir;
    std::string in = price_file("ESH4 LONGER OLD SYMBOL TEXT", 1, BARS);
    write_bytes(dir.file("ES.1min"), in);
    write_bytes(dir.file("OLD.1min"), "old copy");
    std::filesystem::create_directory(dir.file("sub"));
    tool_result r = run_tool(PEXLOR, {"ES.1min", c.out_arg}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(" ES.1min -> ") + c.shown + " copied\n");
    std::string out = read_bytes(dir.file(c.on_disk));
    ASSERT_EQ(out, renamed(in, c.symbol));
    EXPECT_EQ(symbol_field(out), c.symbol + std::string(32 - std::strlen(c.symbol), '\0'));
    EXPECT_FALSE(file_exists(dir.file("old.1min")));
  }
}

// Every price moves by the adjustment; the extra word only where it holds
// a price; volume, flags, time, extension blocks and bytes past the bars
// the header counts stay as they were.
TEST(Pexlor, AdjustmentShiftsPrices) {
  temp_folder dir;
  std::vector<test_bar> bars = BARS;
  bars.push_back({1.0f, 2.0f, 3.0f, 4.0f, 5, float_bits(6.0f), EXTRA_IS_PRICE, 7});  // not counted
  std::string in = price_file("ES", 2, bars, 2);
  write_bytes(dir.file("ES.1min"), in);

  tool_result r = run_tool(PEXLOR, {"ES.1min", "ESZ3", "-2.5"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, " ES.1min -> ESZ3.1min copied with adjustment=-2.500000\n");

  std::string out = read_bytes(dir.file("ESZ3.1min"));
  std::string expected = renamed(in, "ESZ3");
  size_t first = 256 + 2 * 128;
  for (size_t i = 0; i < 2; i++) {
    size_t at = first + 32 * i;
    const test_bar& b = BARS[i];
    put32(expected, at + 0, float_bits(b.open - 2.5f));
    put32(expected, at + 4, float_bits(b.high - 2.5f));
    put32(expected, at + 8, float_bits(b.low - 2.5f));
    put32(expected, at + 12, float_bits(b.close - 2.5f));
  }
  put32(expected, first + 20, float_bits(4558.0f));
  EXPECT_EQ(out, expected);
  EXPECT_EQ(get_float(out, first + 12), 4559.25f);
  EXPECT_EQ(get32(out, first + 32 + 20), 250000u);
}

struct failure_case {
  const char* what;
  std::vector<std::string> args;
  int exit_code;
  std::string out;
};

// The folder's entries, sorted.
static std::vector<std::string> listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    names.push_back(e.path().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Refused arguments, inputs that are no file and outputs that cannot be a
// price file stop with nothing written (no temporary file left either).
TEST(Pexlor, ArgumentErrors) {
  const failure_case cases[] = {
      {"no arguments", {}, 1, "Missing arg\n" + SYNTAX},
      {"one file", {"ES.1min"}, 1, "Missing arg\n" + SYNTAX},
      {"no input extension", {"ES", "ESZ3.1min"}, 1, "missing input file extension\n" + SYNTAX},
      {"dot only in the folder",
       {"data.d/ES", "ESZ3"},
       1,
       "missing input file extension\n" + SYNTAX},
      {"extensions differ", {"a.dyd", "b.wyd"}, 1, "File extensions must be the same\n" + SYNTAX},
      {"word as adjustment", {"ES.1min", "ESZ3", "abc"}, 1, SYNTAX},
      {"number with tail", {"ES.1min", "ESZ3", "2.5x"}, 1, SYNTAX},
      {"empty adjustment", {"ES.1min", "ESZ3", ""}, 1, SYNTAX},
      {"not a number", {"ES.1min", "ESZ3", "nan"}, 1, SYNTAX},
      {"overflowing number", {"ES.1min", "ESZ3", "1e999"}, 1, SYNTAX},
      {"beyond any float price", {"ES.1min", "ESZ3", "-1e39"}, 1, SYNTAX},
      {"missing input", {"NQ.1min", "NQH4"}, 1, "Can't open: NQ.1min\n"},
      {"input is a folder", {"dir.1min", "NQH4"}, 1, "Can't open: dir.1min\n"},
      {"missing input before a bad output", {"NQ.1min", ""}, 1, "Can't open: NQ.1min\n"},
      {"no such output folder", {"ES.1min", "none/ESZ3"}, 5, "Can't create: none/ESZ3.1min\n"},
      {"empty output name", {"ES.1min", ""}, 5, "Can't create: .1min\n"},
      {"output names only a folder", {"ES.1min", "dir.1min/"}, 5, "Can't create: dir.1min/.1min\n"},
      {"control character in the name", {"ES.1min", "ES\tZ3"}, 5, "Can't create: ES\tZ3.1min\n"},
      {"folder in the output's place", {"ES.1min", "dir.1min"}, 5, "Can't create: dir.1min\n"},
      {"same folder in another case", {"ES.1min", "DIR"}, 5, "Can't create: DIR.1min\n"},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    write_bytes(dir.file("ES.1min"), price_file("ES", 0, BARS));
    std::filesystem::create_directory(dir.file("dir.1min"));
    std::vector<std::string> before = listing(dir.path());
    tool_result r = run_tool(PEXLOR, c.args, dir.path());
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_FALSE(file_exists(dir.file("ESZ3.1min")));
    EXPECT_FALSE(file_exists(dir.file("NQH4.1min")));
    EXPECT_EQ(listing(dir.path()), before);
  }
}

// The input is found as the program finds its files: "\" as a folder
// separator, and a name that differs only in case.
TEST(Pexlor, InputFoundWhateverItsCase) {
  temp_folder dir;
  std::filesystem::create_directory(dir.file("data"));
  std::string in = price_file("ES", 0, BARS);
  write_bytes(dir.file("data/ES.1min"), in);
  tool_result r = run_tool(PEXLOR, {"DATA\\es.1min", "ESZ3"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, " DATA\\es.1min -> ESZ3.1min copied\n");
  EXPECT_EQ(read_bytes(dir.file("ESZ3.1min")), renamed(in, "ESZ3"));
}

TEST(Pexlor, AcceptedAdjustments) {
  const struct {
    const char* text;
    const char* shown;
    float close;
  } cases[] = {
      {"+1", "1.000000", 4562.75f},
      {".25", "0.250000", 4562.0f},
      {"-1e1", "-10.000000", 4551.75f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    temp_folder dir;
    write_bytes(dir.file("ES.1min"), price_file("ES", 0, BARS));
    tool_result r = run_tool(PEXLOR, {"ES.1min", "X", c.text}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(" ES.1min -> X.1min copied with adjustment=") + c.shown + "\n");
    EXPECT_EQ(get_float(read_bytes(dir.file("X.1min")), 256 + 12), c.close);
  }
}

// Damaged inputs: too short for the header, a header that fails its
// checksum, or counts the file does not hold. An output already there is
// left as it was.
TEST(Pexlor, DamagedInputIsRefused) {
  std::string good = price_file("ES", 1, BARS);
  std::string flipped = good;
  flipped[40] ^= 0x10;
  std::string short_bar = good.substr(0, good.size() - 1);
  std::string missing_block = price_file("ES", 1, {}, 0);
  missing_block.resize(256 + 64);
  std::string huge_count = price_file("ES", 0, BARS);
  put32(huge_count, 104, 0xFFFFFFFFu);
  seal(huge_count);
  std::string huge_ext = price_file("ES", 0, BARS);
  put32(huge_ext, 152, 0x80000000u);
  seal(huge_ext);

  const struct {
    const char* what;
    std::string file;
    int exit_code;
    const char* out;
  } cases[] = {
      {"empty file", "", 3, "ReadFile failed\n"},
      {"shorter than the header", good.substr(0, 255), 3, "ReadFile failed\n"},
      {"one bit flipped", flipped, 4, "Input file checksum error\n"},
      {"last bar cut short", short_bar, 3, "ReadFile failed\n"},
      {"extension block missing", missing_block, 3, "ReadFile failed\n"},
      {"bar count -1", huge_count, 3, "ReadFile failed\n"},
      {"huge extension count", huge_ext, 3, "ReadFile failed\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    write_bytes(dir.file("ES.1min"), c.file);
    write_bytes(dir.file("ESZ3.1min"), "old copy");
    tool_result r = run_tool(PEXLOR, {"ES.1min", "ESZ3", "1"}, dir.path());
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(read_bytes(dir.file("ESZ3.1min")), "old copy");
  }
}

// A write that fails part way reports what was written and leaves the
// previous output whole.
TEST(Pexlor, FailedWriteKeepsOldOutput) {
  temp_folder dir;
  std::vector<test_bar> bars(40, BARS[0]);
  write_bytes(dir.file("ES.1min"), price_file("ES", 0, bars));  // 1536 bytes
  write_bytes(dir.file("ESZ3.1min"), "old copy");
  tool_result r = run_tool(PEXLOR, {"ES.1min", "ESZ3"}, dir.path(), 1024);
  EXPECT_EQ(r.exit_code, 6);
  EXPECT_EQ(r.out, "Write error on output, wrote 1024 bytes\n");
  EXPECT_EQ(read_bytes(dir.file("ESZ3.1min")), "old copy");
  EXPECT_EQ(read_bytes(dir.file("ES.1min")).size(), 1536u);
}
