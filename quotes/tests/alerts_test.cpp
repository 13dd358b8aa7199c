// Price alerts: the alert file (loading, refusing damaged files, saving the
// slots in use), slots by symbol, and alerts fired by stored quotes.
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "data/chartheader.h"
#include "data/cmdline.h"
#include "data/inet.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "quotes/alerts.h"
#include "quotes/sounds.h"
#include "quotes/tests/quotes_fixture.h"
#include "platform/testing/wait.h"

namespace {

std::string record_bytes(const char *symbol32, uint32_t flags, uint32_t enabled, float high,
                         float low, uint32_t extra0 = 0) {
  uint8_t b[ALERT_REC_SIZE] = {};
  memcpy(b, symbol32, strnlen(symbol32, 32));
  put_le32(b + ALERT_OFF_FLAGS, flags);
  put_le32(b + ALERT_OFF_ENABLED, enabled);
  put_le32(b + ALERT_OFF_ARMED, enabled);
  put_lef(b + ALERT_OFF_HIGH, high);
  put_lef(b + ALERT_OFF_LOW, low);
  put_le32(b + ALERT_OFF_EXTRA, extra0);
  return std::string((const char *)b, sizeof b);
}

std::string header() {
  std::string h(ALERTS_HEADER_SIZE, '\0');
  h[0] = 'H';
  h[ALERTS_HEADER_SIZE - 1] = 'Z';
  return h;
}

// Waits until sound_thread has played everything queued.
void wait_sounds() {
  ASSERT_TRUE(kv_wait_until([] { return sound_queue_idle() != 0; }));
}

}  // namespace

class AlertsTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    kv_make_dirs(root_.file("CONFIG").c_str(), nullptr);
    g_instance_letter = 0;
    g_alerts_changed = 0;
    free_alerts();
  }
  void TearDown() override {
    QuotesTest::TearDown();
    free_alerts();
    g_instance_letter = 0;
    g_pref_flags2 = 0;
    g_inet_queue_sound = nullptr;
    kv_atomic_store_hmain(0);
  }
  static void kv_atomic_store_hmain(kv_hwnd w) { hmainwnd = w; }
};

TEST_F(AlertsTest, LoadsTheFileAndKeepsRoomForTwoHundredMore) {
  std::string file = header() + record_bytes("IBM", ALERT_IN_USE, ALERT_HIGH, 100, 0, 7) +
                     record_bytes("MSFT", ALERT_IN_USE, ALERT_LOW, 0, 20);
  root_.write("CONFIG/alerts.dat", file);
  ASSERT_EQ(load_alerts(), 1);
  EXPECT_EQ(g_mqt_hooks.find_alert, &find_or_add_alert);
  EXPECT_EQ(g_inet_queue_sound, &queue_sound);
  alert_rec *ibm = find_or_add_alert("ibm");
  ASSERT_NE(ibm, nullptr);
  EXPECT_STREQ(ibm->symbol, "IBM");
  EXPECT_EQ(ibm->high_price, 100);
  EXPECT_EQ(ibm->extra[0], 7u);
  EXPECT_EQ(alert_id(ibm), 1);
  EXPECT_EQ(find_or_add_alert("MSFT")->low_price, 20);
  for (int i = 0; i < ALERTS_SPARE_SLOTS; i++)
    ASSERT_NE(find_or_add_alert(("S" + std::to_string(i)).c_str()), nullptr) << i;
  EXPECT_EQ(find_or_add_alert("ONEMORE"), nullptr);
  EXPECT_EQ(find_or_add_alert("S7"), find_or_add_alert("s7"));  // found, not claimed again
}

// Files of every damaged and degenerate shape: what the table holds after.
TEST_F(AlertsTest, UntrustedFiles) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char *name;
    std::string file;
    int room;            // slots free for new symbols
    const char *symbol;  // a symbol found with its values, or null
    uint32_t enabled;
  } cases[] = {
      {"header only", header(), 200, nullptr, 0},
      {"short header", std::string(100, 'x'), 200, nullptr, 0},
      {"cut inside a record", header() + record_bytes("IBM", 1, 3, 1, 2) + "xyz", 200, "IBM", 3},
      {"unterminated symbol",
       header() + record_bytes("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", 1, 3, 1, 2), 200,
       "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", 3},
      {"high no number", header() + record_bytes("IBM", 1, 3, nan, 2), 200, "IBM", ALERT_LOW},
      {"low infinite", header() + record_bytes("IBM", 1, 3, 5, -inf), 200, "IBM", ALERT_HIGH},
      {"record without symbol", header() + record_bytes("", 1, 3, 5, 6), 201, nullptr, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    free_alerts();
    root_.write("CONFIG/alerts.dat", c.file);
    ASSERT_EQ(load_alerts(), 1);
    int room = 0;
    if (c.symbol) {
      alert_rec *a = find_or_add_alert(c.symbol);
      EXPECT_EQ(a->enabled, c.enabled);
      EXPECT_EQ(a->armed, c.enabled);
      EXPECT_TRUE(std::isfinite(a->high_price) && std::isfinite(a->low_price));
      EXPECT_EQ(alert_id(a), 1);
    }
    while (find_or_add_alert(("NEW" + std::to_string(room)).c_str())) room++;
    EXPECT_EQ(room, c.room);
  }
}

TEST_F(AlertsTest, SavesTheSlotsInUseAfterTheKeptHeader) {
  g_instance_letter = 'b';
  root_.write("CONFIG/alertsb.dat",
              header() + record_bytes("IBM", ALERT_IN_USE, ALERT_HIGH, 100, 0, 9));
  root_.write("CONFIG/alerts.dat", "not this instance's");
  ASSERT_EQ(load_alerts(), 1);
  alert_rec *msft = find_or_add_alert("MSFT");  // claimed, never set: not saved
  ASSERT_NE(msft, nullptr);
  alert_rec *aapl = find_or_add_alert("AAPL");
  aapl->flags = ALERT_IN_USE | ALERT_SWAP_SOUNDS;
  aapl->enabled = aapl->armed = ALERT_LOW;
  aapl->low_price = 150.25f;
  aapl->high_word = 0x12345678;
  g_alerts_changed = 1;
  ASSERT_EQ(save_alerts(), 1);
  EXPECT_EQ(g_alerts_changed, 0);

  std::string saved = root_.read("CONFIG/alertsb.dat");
  ASSERT_EQ(saved.size(), (size_t)ALERTS_HEADER_SIZE + 2 * ALERT_REC_SIZE);
  EXPECT_EQ(saved.substr(0, ALERTS_HEADER_SIZE), header());
  EXPECT_EQ(root_.read("CONFIG/alerts.dat"), "not this instance's");
  const uint8_t *second = (const uint8_t *)saved.data() + ALERTS_HEADER_SIZE + ALERT_REC_SIZE;
  EXPECT_STREQ((const char *)second, "AAPL");
  EXPECT_EQ(get_lef(second + ALERT_OFF_LOW), 150.25f);
  EXPECT_EQ(get_le32(second + ALERT_OFF_HIGH_WORD), 0x12345678u);

  // Read back, the table is the same.
  free_alerts();
  ASSERT_EQ(load_alerts(), 1);
  EXPECT_EQ(find_or_add_alert("IBM")->extra[0], 9u);
  alert_rec *back = find_or_add_alert("AAPL");
  EXPECT_EQ(alert_id(back), 2);
  EXPECT_EQ(back->flags, (uint32_t)(ALERT_IN_USE | ALERT_SWAP_SOUNDS));
  EXPECT_EQ(back->low_price, 150.25f);
}

TEST_F(AlertsTest, NoTableNoSave) {
  root_.write("CONFIG/alerts.dat", header() + record_bytes("IBM", 1, 1, 1, 1));
  EXPECT_EQ(save_alerts(), 0);
  EXPECT_EQ(root_.read("CONFIG/alerts.dat").size(), (size_t)ALERTS_HEADER_SIZE + ALERT_REC_SIZE);
}

// A file cut inside its last record keeps every whole record before the
// cut, reports the cut and is kept aside as it was found.
TEST_F(AlertsTest, CutFileKeepsItsWholeRecords) {
  MessageSink main;
  hmainwnd = main.wnd;
  const std::string whole = header() + record_bytes("IBM", ALERT_IN_USE, ALERT_HIGH, 100, 0, 7) +
                            record_bytes("MSFT", ALERT_IN_USE, ALERT_LOW, 0, 20);
  const std::string file =
      whole + record_bytes("AAPL", ALERT_IN_USE, ALERT_HIGH, 9, 0).substr(0, 100);
  root_.write("CONFIG/alerts.dat", file);
  ASSERT_EQ(load_alerts(), 1);
  EXPECT_EQ(root_.read("CONFIG/alerts.dat.damaged"), file);
  int reported = 0;
  kv_dispatch_posted(-1);
  for (auto &m : main.got)
    if (m.message == WM_STATUS_MSG)
      reported +=
          std::string((const char *)m.lparam).find("ends inside a record") != std::string::npos;
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(alert_id(find_or_add_alert("IBM")), 1);
  EXPECT_EQ(find_or_add_alert("IBM")->high_price, 100);
  EXPECT_EQ(alert_id(find_or_add_alert("MSFT")), 2);
  EXPECT_EQ(find_or_add_alert("MSFT")->low_price, 20);
  EXPECT_EQ(alert_id(find_or_add_alert("AAPL")), 3);  // the cut record is a new slot
  ASSERT_EQ(save_alerts(), 1);
  EXPECT_EQ(root_.read("CONFIG/alerts.dat"), whole);
}

// A file that could not be loaded is never replaced by the table saved in
// its place, and a failed save leaves the changes marked unsaved.
TEST_F(AlertsTest, UnloadableFileAndFailedSaveLoseNothing) {
  const std::string cut = header() + record_bytes("IBM", 1, 3, 1, 2) + "xyz";
  for (const std::string &file : {cut, std::string(100, 'x')}) {
    free_alerts();
    root_.write("CONFIG/alerts.dat", file);
    ASSERT_EQ(load_alerts(), 1);
    find_or_add_alert("MSFT")->flags = ALERT_IN_USE;
    ASSERT_EQ(save_alerts(), 1);
    EXPECT_EQ(root_.read("CONFIG/alerts.dat.damaged"), file);
  }
  // The file's place is taken by a folder: the save fails.
  kv_delete_file(root_.file("CONFIG/alerts.dat").c_str(), nullptr);
  kv_make_dirs(root_.file("CONFIG/alerts.dat").c_str(), nullptr);
  g_alerts_changed = 1;
  EXPECT_EQ(save_alerts(), 0);
  EXPECT_EQ(g_alerts_changed, 1);
}

namespace {
void trade(mqt *r, int time, float price) {
  r->quote_date = 20240102;
  r->trade_time = time;
  r->last = price;
  r->last_size = 100;
  r->feed_flags = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE;
}
}  // namespace

TEST_F(AlertsTest, QuotesFireArmedAlertsOnce) {
  root_.write("CONFIG/sounds.cfg", "high.wav #High quick alert\r\nlow.wav #Low quick alert\r\n");
  g_pref_flags2 = PREF2_ALERT_SOUNDS;
  MessageSink frame;
  hmainwnd = frame.wnd;
  ASSERT_EQ(load_alerts(), 1);
  mqt *r = create_multiquote_struct("IBM");
  ASSERT_NE(r->alert, nullptr);
  r->tick_size = 0.01;
  alert_rec *a = r->alert;
  a->flags = ALERT_IN_USE;
  a->enabled = a->armed = ALERT_HIGH | ALERT_LOW;
  a->high_price = 101;
  a->low_price = 99;

  trade(r, 34200, 100);
  save_mqt_data(r, 3);
  EXPECT_EQ(a->fired, 0u);
  trade(r, 34260, 101.5f);
  save_mqt_data(r, 3);
  EXPECT_EQ(a->fired, (uint32_t)ALERT_HIGH);
  EXPECT_EQ(a->armed, (uint32_t)ALERT_LOW);
  EXPECT_EQ(g_alerts_changed, 1);
  trade(r, 34320, 105);  // disarmed: no second hit
  save_mqt_data(r, 3);
  ASSERT_EQ(r->alert_hit_count, 1);
  EXPECT_STREQ(r->alert_hits[0].text, "IBM Last >= 101.00");
  EXPECT_EQ(r->alert_hits[0].time, r->trade_epoch - 60);
  wait_sounds();
  ASSERT_EQ(services_.sounds.size(), 1u);
  EXPECT_EQ(services_.sounds[0], root_.file("SOUNDS/high.wav"));

  // The low alert of a swapped record plays the high alert's sound.
  a->flags |= ALERT_SWAP_SOUNDS;
  trade(r, 34380, 98.5f);
  save_mqt_data(r, 3);
  ASSERT_EQ(r->alert_hit_count, 2);
  EXPECT_STREQ(r->alert_hits[1].text, "IBM Last <= 99.00");

  ASSERT_EQ(frame.count(WM_ALERT_TRIGGERED), 2);
  std::vector<std::string> texts;
  for (auto &m : frame.got) {
    if (m.message == WM_STATUS_MSG) free((void *)m.lparam);
    if (m.message != WM_ALERT_TRIGGERED) continue;
    texts.push_back((const char *)m.wparam);
    EXPECT_EQ(alert_from_id((int)m.lparam), a);
    free((void *)m.wparam);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"IBM Last >= 101.00", "IBM Last <= 99.00"}));

  wait_sounds();
  ASSERT_EQ(services_.sounds.size(), 2u);
  EXPECT_EQ(services_.sounds[1], root_.file("SOUNDS/high.wav"));
}

TEST_F(AlertsTest, HitsStopAtSixteen) {
  ASSERT_EQ(load_alerts(), 1);
  mqt *r = create_multiquote_struct("IBM");
  for (int i = 0; i < 20; i++) fire_alert(r, 0, std::string(200, 'x').c_str());
  EXPECT_EQ(r->alert_hit_count, ALERT_HITS_MAX);
  EXPECT_EQ(strlen(r->alert_hits[15].text), sizeof r->alert_hits[15].text - 1);
}
