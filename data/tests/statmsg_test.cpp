// Status logger: pieces, line layout, ring, bounds and posting.
#include "data/statmsg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "data/mainwnd.h"
#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/window.h"
#include "settings/settings.h"

namespace {

struct posted {
  int level;
  std::string text;
};

std::vector<posted> g_received;

kv_lresult record_status(void*, kv_hwnd, unsigned message, kv_wparam wparam, kv_lparam lparam) {
  if (message == WM_STATUS_MSG) {
    g_received.push_back({(int)wparam, (const char*)lparam});
    statmsg_free_text((void*)lparam);
  }
  return 0;
}

class StatmsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_received.clear();
    g_pref_flags = 0;
    kv_dispatch_posted(-1);
    wnd = kv_window_create(record_status, nullptr);
    hmainwnd = wnd;
    // 22:40:27 local time
    kv_clock_set_utc_ms(1796683227000LL);
    kv_clock_set_local_offset(0);
  }
  void TearDown() override {
    hmainwnd = 0;
    kv_window_destroy(wnd);
    kv_clock_reset();
    g_pref_flags = 0;
  }
  std::vector<posted> receive() {
    kv_dispatch_posted(-1);
    std::vector<posted> r;
    r.swap(g_received);
    return r;
  }
  std::vector<std::string> texts() {
    std::vector<std::string> r;
    for (auto& p : receive()) r.push_back(p.text);
    return r;
  }
  kv_hwnd wnd = 0;
};

std::string words(int count, int letters) {
  std::string s;
  for (int i = 0; i < count; i++) {
    if (i) s += ' ';
    s += std::string(letters, (char)('a' + i % 26));
  }
  return s;
}

TEST_F(StatmsgTest, LongLinesArePostedInPiecesCutAfterNinetyCharacters) {
  // The line is the message, a blank and the argument.
  std::string w200 = words(20, 9) + " ";  // 200 characters, blanks every tenth
  std::string a95(95, 'a');
  std::string z150(150, 'z');
  struct {
    std::string message;
    const char* argument;
    std::vector<std::string> pieces;
  } cases[] = {
      {"Loaded IBM", nullptr, {"Loaded IBM "}},
      {w200, nullptr, {w200.substr(0, 99), w200.substr(100, 99), " "}},
      {std::string(150, 'x'), "arg", {std::string(150, 'x'), "arg"}},
      {std::string(150, 'x'), nullptr, {std::string(150, 'x'), ""}},
      {std::string(150, 'x') + "y", "", {std::string(150, 'x') + "y", ""}},
      {"x", z150.c_str(), {"x " + z150}},
      {a95 + ",rest", "", {a95, "rest "}},
      {a95 + ";rest", "", {a95, "rest "}},
      {a95 + "\trest", "", {a95, "rest "}},
      {a95 + "\rrest", "", {a95, "rest "}},
      {a95 + "\nrest", "", {a95 + "\nrest", ""}},  // a line feed is no cut point
      // a separator at or before the 90th character is no cut point
      {std::string(89, 'a') + " " + std::string(10, 'b') + " c",
       nullptr,
       {std::string(89, 'a') + " " + std::string(10, 'b'), "c "}},
      {std::string(90, 'a') + " b", nullptr, {std::string(90, 'a'), "b "}},
      // 90 characters in all are not cut
      {std::string(87, 'a') + " b", nullptr, {std::string(87, 'a') + " b "}},
  };
  for (auto& c : cases) {
    statmsg(nullptr, 0, c.message.c_str(), c.argument, STATMSG_ERROR);
    EXPECT_EQ(texts(), c.pieces) << c.message;
  }
}

TEST_F(StatmsgTest, LineLayoutBySourceAndTimePrefix) {
  struct {
    uint32_t flags;
    const char* source;
    std::vector<std::string> lines;
  } cases[] = {
      {0, nullptr, {"No data for  IBM"}},
      {0x2000, nullptr, {"22:40:27 No data for  IBM"}},
      {0, "/src/korvane/data/loader.cpp", {"  No data for  IBM"}},
      {0x2000, "/src/korvane/data/loader.cpp", {"22:40:27 loader.cpp 12:", "  No data for  IBM"}},
      {0x4000, "C:\\src\\xfileio.cpp", {"22:40:27 xfileio.cpp 12:", "  No data for  IBM"}},
      {0x1000, "loader.cpp", {"  No data for  IBM"}},
  };
  for (auto& c : cases) {
    g_pref_flags = c.flags;
    statmsg(c.source, 12, "No data for ", "IBM", STATMSG_MISSING);
    auto got = receive();
    ASSERT_EQ(got.size(), c.lines.size()) << c.flags;
    for (size_t i = 0; i < got.size(); i++) {
      EXPECT_EQ(got[i].text, c.lines[i]);
      EXPECT_EQ(got[i].level, STATMSG_MISSING);
    }
  }
}

TEST_F(StatmsgTest, LevelIsPostedAsGiven) {
  for (int level : std::initializer_list<int>{STATMSG_ERROR, STATMSG_DATA_FOR, STATMSG_NOTICE,
                                              STATMSG_MISSING, STATMSG_ALERT, 0, 1}) {
    statmsg(nullptr, 0, "x", "y", level);
    auto got = receive();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].level, level);
    EXPECT_EQ(got[0].text, "x y");
  }
}

TEST_F(StatmsgTest, NullTextsNeverPrintNull) {
  statmsg(nullptr, 0, "Hello", nullptr, STATMSG_NOTICE);
  statmsg("a.cpp", 3, nullptr, nullptr, STATMSG_NOTICE);
  EXPECT_EQ(texts(), (std::vector<std::string>{"Hello ", "   "}));
}

TEST_F(StatmsgTest, MessageIsCutAndWholeLineBounded) {
  std::string message(5000, 'm');
  std::string argument(5000, 'a');
  g_statmsg_cursor = 0;
  statmsg(nullptr, 0, message.c_str(), argument.c_str(), STATMSG_ERROR);
  // 3839 characters of message, the blank, then argument up to the bound
  auto got = texts();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], std::string(STATMSG_MESSAGE_MAX, 'm'));
  EXPECT_EQ(got[1], std::string(STATMSG_LINE_MAX - 1 - STATMSG_MESSAGE_MAX - 1, 'a'));
  EXPECT_EQ(g_statmsg_cursor, (size_t)STATMSG_LINE_MAX);

  // with a source the two leading blanks count toward the bound too
  g_statmsg_cursor = 0;
  statmsg("x.cpp", 1, message.c_str(), argument.c_str(), STATMSG_ERROR);
  receive();
  EXPECT_EQ(g_statmsg_cursor, (size_t)STATMSG_LINE_MAX);
}

TEST_F(StatmsgTest, RingWrapsAfterPassingItsSize) {
  g_statmsg_cursor = 0;
  std::string message(99, 'r');  // 100 characters with the blank, 101 bytes
  for (int i = 0; i < 324; i++) statmsg(nullptr, 0, message.c_str(), nullptr, STATMSG_NOTICE);
  EXPECT_EQ(g_statmsg_cursor, 324u * 101);
  statmsg(nullptr, 0, message.c_str(), nullptr, STATMSG_NOTICE);
  EXPECT_EQ(g_statmsg_cursor, 0u);
  // the last text ran past the wrap point into the spare room
  EXPECT_EQ(std::string(g_statmsg_ring + 324 * 101), message + " ");
  receive();

  // statmsg_ring_commit alone: a text formatted at the cursor by a caller
  g_statmsg_mutex.lock();
  g_statmsg_cursor = 100;
  strcpy(g_statmsg_ring + g_statmsg_cursor, "alert text");
  char* text = statmsg_ring_commit();
  EXPECT_STREQ(text, "alert text");
  EXPECT_EQ(text, g_statmsg_ring + 100);
  EXPECT_EQ(g_statmsg_cursor, 111u);
  g_statmsg_mutex.unlock();
}

TEST_F(StatmsgTest, BurstThatWrapsTheRingKeepsEveryPostedText) {
  // Far more than the ring holds, all waiting in the queue at once.
  const int n = 1000;
  for (int i = 0; i < n; i++) {
    std::string m = "line " + std::to_string(i) + " " + std::string(60, 'p');
    statmsg(nullptr, 0, m.c_str(), "end", STATMSG_NOTICE);
  }
  auto got = texts();
  ASSERT_EQ(got.size(), (size_t)n);
  for (int i = 0; i < n; i++)
    EXPECT_EQ(got[i], "line " + std::to_string(i) + " " + std::string(60, 'p') + " end");
}

TEST_F(StatmsgTest, NothingIsPostedWithoutAMainWindow) {
  hmainwnd = 0;
  size_t before = g_statmsg_cursor;
  statmsg(nullptr, 0, "quiet", nullptr, STATMSG_ERROR);
  EXPECT_EQ(kv_posted_count(0), 0);
  EXPECT_NE(g_statmsg_cursor, before);

  // a main window that is gone: the posts fail and the copies are freed
  kv_hwnd gone = kv_window_create(record_status, nullptr);
  kv_window_destroy(gone);
  hmainwnd = gone;
  statmsg(nullptr, 0, std::string(200, 'g').c_str(), nullptr, STATMSG_ERROR);
  EXPECT_EQ(kv_posted_count(0), 0);
  EXPECT_TRUE(receive().empty());

  // a main window that closes with pieces still queued: each copy is
  // released with its message (the leak checker sees any that is not)
  kv_hwnd closing = kv_window_create(record_status, nullptr);
  hmainwnd = closing;
  statmsg(nullptr, 0, words(20, 9).c_str(), nullptr, STATMSG_ERROR);
  EXPECT_EQ(kv_posted_count(closing), 3);
  kv_window_destroy(closing);
  EXPECT_EQ(kv_posted_count(0), 0);
  EXPECT_TRUE(receive().empty());
}

TEST_F(StatmsgTest, MutexTimeoutReportsAndStillPostsTheLine) {
  std::atomic<bool> held{false};
  kv_event done(KV_MANUAL_RESET);
  std::thread holder([&] {
    g_statmsg_mutex.lock();
    held = true;
    done.wait(-1);
    g_statmsg_mutex.unlock();
  });
  while (!held) std::this_thread::yield();
  size_t before = g_statmsg_cursor;
  statmsg("x.cpp", 5, "late", "line", STATMSG_ALERT);
  done.set();
  holder.join();
  // the ring belonged to another thread: left alone
  EXPECT_EQ(g_statmsg_cursor, before);
  auto got = receive();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].text, "Wait for hstatmsg_mutex failed");
  EXPECT_EQ(got[0].level, STATMSG_ALERT);
  EXPECT_EQ(got[1].text, "  late line");
}

TEST_F(StatmsgTest, FourThreadsLoggingAtOnceLoseAndMixNothing) {
  const int threads = 4, lines = 400;
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++) {
    pool.emplace_back([t] {
      for (int i = 0; i < lines; i++) {
        // 120 characters before the cut, so every line goes in two pieces
        std::string m =
            "T" + std::to_string(t) + " " + std::to_string(i) + " " + std::string(120, 'a' + t);
        std::string tail = "tail" + std::to_string(t);
        statmsg("worker.cpp", i, m.c_str(), tail.c_str(), STATMSG_NOTICE);
      }
    });
  }
  for (auto& th : pool) th.join();
  // A loaded machine can keep the mutex's holder off a processor for longer
  // than the logger waits: that line comes after the warning and is posted
  // without the mutex, so its pieces may fall between another line's. Even
  // then no line is lost and each thread's lines keep their order.
  const std::string warning = "Wait for hstatmsg_mutex failed";
  size_t timeouts = 0;
  std::vector<std::vector<std::string>> got(threads);
  std::vector<std::string> all;
  for (const std::string& text : texts()) {
    if (text == warning) {
      timeouts++;
      continue;
    }
    int t = text.rfind("  T", 0) == 0    ? text[3] - '0'
            : text.rfind("tail", 0) == 0 ? text[4] - '0'
                                         : -1;
    ASSERT_TRUE(t >= 0 && t < threads) << text;
    got[t].push_back(text);
    all.push_back(text);
  }
  for (int t = 0; t < threads; t++) {
    ASSERT_EQ(got[t].size(), (size_t)(lines * 2)) << "thread " << t;
    for (int i = 0; i < lines; i++) {
      EXPECT_EQ(got[t][2 * i], "  T" + std::to_string(t) + " " + std::to_string(i) + " " +
                                   std::string(120, 'a' + t));
      EXPECT_EQ(got[t][2 * i + 1], "tail" + std::to_string(t));
    }
  }
  // Every line that had the mutex went out whole, its pieces together.
  if (timeouts == 0)
    for (size_t k = 0; k < all.size(); k += 2) ASSERT_EQ(all[k][3], all[k + 1][4]) << all[k];
}

}  // namespace
