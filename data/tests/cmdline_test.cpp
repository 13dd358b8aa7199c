// Command line: word splitting, switches, log files, trace printer.
#include "data/cmdline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <sstream>
#include <string>
#include <vector>

#include "data/debugtrace.h"
#include "data/logfiles.h"
#include "platform/clock.h"
#include "platform/testing/fixture.h"

namespace {

std::vector<std::string> split(const char* text, int max_words, int rest_mode) {
  std::string copy = text;
  std::vector<char*> words(max_words + 1, nullptr);
  int n = split_option_words(copy.data(), words.data(), max_words, rest_mode);
  std::vector<std::string> r;
  for (int i = 0; i < n; i++) r.push_back(words[i]);
  return r;
}

TEST(SplitOptionWords, Cases) {
  using W = std::vector<std::string>;
  struct {
    const char* text;
    int max_words, rest_mode;
    W words;
  } cases[] = {
      {"-b -s", 10, 0, {"-b", "-s"}},
      {"-b,-s", 10, 0, {"-b", "-s"}},
      {"  a\tb \r\n c  ", 10, 0, {"a", "b", "c"}},
      {"-E \"my log.txt\" -v", 10, 0, {"-E", "my log.txt", "-v"}},
      {"a \"\" b", 10, 0, {"a", " "}},
      {"a \"b c", 10, 0, {"a", "b c"}},
      {"a,,b", 10, 0, {"a", "", "b"}},
      {"a b c d", 2, 0, {"a", "b"}},
      {"a b c d", 2, 2, {"a", "b c d"}},
      {"a b c\td e", 5, -2, {"a", "b c", "d", "e"}},
      {"a b c,d", 5, -2, {"a", "b c", "d"}},
      {"", 10, 0, {}},
      {"   ", 10, 0, {}},
  };
  for (auto& c : cases) EXPECT_EQ(split(c.text, c.max_words, c.rest_mode), c.words) << c.text;
}

void reset_options() {
  g_option_flags = 0;
  g_trace_mask = 0;
  g_instance_letter = 0;
}

TEST(ParseProgramOptions, Switches) {
  struct {
    const char* line;
    uint32_t flags, mask;
    char letter;
  } cases[] = {
      {nullptr, 0x3000, 0, 0},
      {"", 0x3000, 0, 0},
      {"-b -s", 0x3000 | 0x2 | 0x800, 0, 0},
      {"-b,-s", 0x3000 | 0x2 | 0x800, 0, 0},
      {"/S2", 0x2000, 0, 0},
      {"-S", 0x1000, 0, 0},
      {"-S7", 0x3000, 0, 0},
      {"-S0", 0, 0, 0},
      {"-t0x300", 0x3000 | 0x4000, 0x300, 0},
      {"-t", 0x3000 | 0x4000, 0, 0},
      {"-t010", 0x3000 | 0x4000, 8, 0},
      {"-t12", 0x3000 | 0x4000, 12, 0},
      {"-xB", 0x3000 | 0x20000, 0, 'B'},
      {"-a -b -d -D -g -h -H -n -m -p -q -s -T -v",
       0x3000 | 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800 |
           0x8000 | 0x10000,
       0, 0},
      {"-bs", 0x3000 | 0x2, 0, 0},        // letters after a flag switch are no switches
      {"-z -Q -B -V b s", 0x3000, 0, 0},  // unknown switches and plain words
      {"-", 0x3000, 0, 0},
      // a "/" word is a switch only without a second "/"
      {"/h", 0x3000 | 0x20, 0, 0},
      {"/home/u/IBM.dyd", 0x3000, 0, 0},
      {"/v /home/u/IBM.dyd", 0x3000 | 0x10000, 0, 0},
      // instance letters that cannot go into a file name are refused
      {"-x", 0x3000, 0, 0},
      {"-x/", 0x3000, 0, 0},
      {"-x.", 0x3000, 0, 0},
      {"-x7", 0x3000 | 0x20000, 0, '7'},
  };
  for (auto& c : cases) {
    reset_options();
    ParseProgramOptions(c.line);
    const char* line = c.line ? c.line : "(none)";
    EXPECT_EQ(g_option_flags, c.flags) << line;
    EXPECT_EQ(g_trace_mask, c.mask) << line;
    EXPECT_EQ(g_instance_letter, c.letter) << line;
  }
  reset_options();
}

TEST(JoinCommandLine, QuotesWordsThatWouldSplit) {
  const char* argv[] = {"korvane", "-b", "/home/u/my charts/IBM.dyd", "a,b", "", "-xB"};
  char* text = join_command_line(6, argv);
  EXPECT_STREQ(text, "-b \"/home/u/my charts/IBM.dyd\" \"a,b\" -xB");
  free(text);
  text = join_command_line(1, argv);
  EXPECT_STREQ(text, "");
  free(text);
}

class LogFilesTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    dir = root_.path();
    reset_options();
    // Mon Dec 07 22:40:27 2026, local time
    kv_clock_set_utc_ms(1796683227000LL);
    kv_clock_set_local_offset(0);
  }
  void TearDown() override {
    for (log_file* log : {&g_error_log_file, &g_log_file, &g_trace_file}) {
      if (log->file) fclose(log->file);
      log->file = nullptr;
      log->on = 0;
    }
    free_log_names();
    reset_options();
    kv_clock_reset();
    TempRootTest::TearDown();
  }
  std::string path(const char* name) { return dir + "/" + name; }
  static std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void write(const std::string& p, const char* text) {
    std::ofstream(p, std::ios::binary) << text;
  }
  void parse(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"korvane"};
    for (auto& a : args) argv.push_back(a.c_str());
    char* text = join_command_line((int)argv.size(), argv.data());
    ParseProgramOptions(text);
    free(text);
  }
  std::string dir;
};

TEST_F(LogFilesTest, EachLogOpensOnceWithItsHeader) {
  write(path("err.log"), "old error\n");
  write(path("app.log"), "old line\n");
  write(path("trace.log"), "old trace\n");
  parse({"-E", path("err.log"), "-E", path("other.log"), "-l", path("app.log"), "-i",
         path("trace.log"), "-b"});

  EXPECT_EQ(read(path("err.log")),
            "old error\nKorvane ErrorLog { Created Mon Dec 07 22:40:27 2026 }\n");
  EXPECT_EQ(read(path("other.log")), "<missing>");
  EXPECT_EQ(read(path("app.log")), "old line\nKorvane Log { Created Mon Dec 07 22:40:27 2026 }\n");
  EXPECT_EQ(read(path("trace.log")), "Korvane Log { Created Mon Dec 07 22:40:27 2026 }\n");
  EXPECT_STREQ(g_error_log_file.name, path("err.log").c_str());
  EXPECT_EQ(g_error_log_file.on, 1);
  ASSERT_NE(g_trace_file.file, nullptr);
  EXPECT_EQ(g_option_flags, 0x3000u | 0x2);  // the ignored second name is no switch
}

TEST_F(LogFilesTest, PathsWithBlanksAndSlashesReachTheLog) {
  std::string sub = path("my logs");
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  parse({"-L", sub + "/run.log", "/home/u/IBM.dyd"});
  EXPECT_EQ(read(sub + "/run.log"), "Korvane Log { Created Mon Dec 07 22:40:27 2026 }\n");
  EXPECT_EQ(g_option_flags, 0x3000u);
}

TEST_F(LogFilesTest, MissingNameOrUnopenableFile) {
  parse({"-b", "-E"});
  EXPECT_EQ(g_error_log_file.on, 0);
  EXPECT_EQ(g_error_log_file.name, nullptr);

  parse({"-E", path("no such dir/err.log")});
  EXPECT_EQ(g_error_log_file.on, 1);
  EXPECT_EQ(g_error_log_file.file, nullptr);
  EXPECT_STREQ(g_error_log_file.name, path("no such dir/err.log").c_str());
}

TEST_F(LogFilesTest, AsctimeNowPadsTheDayWithZero) {
  struct {
    int64_t utc_ms;
    int offset;
    const char* text;
  } cases[] = {
      {1796683227000LL, 0, "Mon Dec 07 22:40:27 2026"},
      {1773565507000LL, 0, "Sun Mar 15 09:05:07 2026"},
      {1796683227000LL, 3600, "Mon Dec 07 23:40:27 2026"},
      {1796683227000LL, 7200, "Tue Dec 08 00:40:27 2026"},
  };
  for (auto& c : cases) {
    kv_clock_set_utc_ms(c.utc_ms);
    kv_clock_set_local_offset(c.offset);
    char* text = asctime_now();
    EXPECT_STREQ(text, c.text);
    free(text);
  }
}

TEST(DebugTrace, BoundedAndOnlyWhileTracing) {
  std::string long_text(5000, 'z');
  struct {
    uint32_t flags, mask;
    bool printed;
  } cases[] = {
      {0, 0, false},
      {0x3000, 0, false},            // the level alone is no trace switch
      {0x3000 | 0x20000, 0, false},  // nor is an instance letter
      {0x10000, 0, true},
      {0x4000, 0, true},
      {0, 0x300, true},
  };
  for (auto& c : cases) {
    g_option_flags = c.flags;
    g_trace_mask = c.mask;
    testing::internal::CaptureStderr();
    int n = debug_trace("CKvChartView::%s(%d)\n", "OnDraw", 7);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(n, 24);
    EXPECT_EQ(out, c.printed ? "CKvChartView::OnDraw(7)\n" : "") << c.flags << " " << c.mask;
  }
  g_option_flags = 0x2;
  testing::internal::CaptureStderr();
  EXPECT_EQ(debug_trace("%s", long_text.c_str()), DEBUG_TRACE_MAX - 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(DEBUG_TRACE_MAX - 1, 'z'));
  reset_options();
}

}  // namespace
