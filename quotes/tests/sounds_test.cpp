// Alert sounds: sounds.cfg, quiet hours and the playing thread.
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/testing/fixture.h"
#include "platform/testing/wait.h"
#include "quotes/sounds.h"
#include "settings/settings.h"

namespace {

void wait_sounds() {
  ASSERT_TRUE(kv_wait_until([] { return sound_queue_idle() != 0; }));
}

const int64_t DAY_MS = 1704153600000;  // 2024-01-02 00:00 UTC

}  // namespace

class SoundsTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    kv_make_dirs(root_.file("CONFIG").c_str(), nullptr);
    g_pref_flags1 = 0;
    g_pref_flags2 = PREF2_ALERT_SOUNDS;
    free_sounds_cfg();
    wait_sounds();
  }
  void TearDown() override {
    wait_sounds();
    free_sounds_cfg();
    g_pref_flags1 = g_pref_flags2 = 0;
    g_settings.SoundsQuietStart = g_settings.SoundsQuietStop = 0;
    TempRootTest::TearDown();
  }
  std::string name_of(int id) {
    char buf[KV_MAX_PATH];
    sound_file_for(id, buf, sizeof buf);
    return buf;
  }
};

TEST_F(SoundsTest, ConfigurationFileRoundTrip) {
  const char *names[] = {"a.wav", "my ding.wav", "", "---none---", "/abs/x.wav"};
  ASSERT_EQ(save_sounds_cfg(names, 5), 1);
  std::string text = root_.read("CONFIG/sounds.cfg");
  EXPECT_EQ(text.substr(0, text.find("Strategy opening")),
            "a.wav #High quick alert\r\n\"my ding.wav\" #Low quick alert\r\n"
            "---none--- #Simulated order filled\r\n---none--- #Simulated order cancelled\r\n"
            "/abs/x.wav #");
  EXPECT_NE(text.find("--none-- #No heartbeat from server\r\n"), std::string::npos);

  char **table;
  const char *const *events;
  ASSERT_EQ(get_sound_names(&table, &events), SOUND_EVENT_COUNT);
  EXPECT_STREQ(table[1], "my ding.wav");
  EXPECT_STREQ(events[16], "Server connection lost");
  EXPECT_EQ(name_of(1), "a.wav");
  EXPECT_EQ(name_of(2), "my ding.wav");
  EXPECT_EQ(name_of(3), "");  // empty name saved as no sound
  EXPECT_EQ(name_of(4), "");  // "---none---"
  EXPECT_EQ(name_of(6), "");  // the filler after the given names
  EXPECT_EQ(name_of(19), "");
  EXPECT_EQ(name_of(0), "");
  g_pref_flags2 = 0;
  EXPECT_EQ(name_of(1), "");  // alert sounds off
}

TEST_F(SoundsTest, MissingFileHasNoSounds) {
  char **table;
  const char *const *events;
  EXPECT_EQ(get_sound_names(&table, &events), 0);
  EXPECT_EQ(name_of(1), "");
}

TEST_F(SoundsTest, QuietHours) {
  struct Case {
    int start, stop;  // hh:mm of the settings
    int minute;       // hh:mm asked
    int quiet;
  } cases[] = {
      {2200, 600, 2330, 1}, {2200, 600, 559, 1}, {2200, 600, 600, 0}, {2200, 600, 2159, 0},
      {2200, 600, 2200, 1}, {900, 1700, 859, 0}, {900, 1700, 900, 1}, {900, 1700, 1659, 1},
      {900, 1700, 1700, 0}, {900, 900, 900, 0},  {-500, 99999, 0, 1}, {99999, -500, 1200, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << "-" << c.stop << " at " << c.minute);
    auto secs = [](int hhmm) {
      return hhmm < 0 || hhmm > 2400 ? hhmm * 60 : (hhmm / 100 * 60 + hhmm % 100) * 60;
    };
    g_settings.SoundsQuietStart = secs(c.start);
    g_settings.SoundsQuietStop = secs(c.stop);
    g_pref_flags1 = PREF1_SOUNDS_QUIET_HOURS;
    free_sounds_cfg();
    load_sounds_cfg();
    EXPECT_EQ(sound_minute_quiet(c.minute / 100 * 60 + c.minute % 100), c.quiet);
    g_pref_flags1 = 0;  // the preference off marks nothing
    free_sounds_cfg();
    load_sounds_cfg();
    EXPECT_EQ(sound_minute_quiet(c.minute / 100 * 60 + c.minute % 100), 0);
  }
}

TEST_F(SoundsTest, QueuedSoundsPlayOnceInOrderOutsideQuietHours) {
  root_.write("CONFIG/sounds.cfg",
              "a.wav\r\nA.WAV\r\nb.wav\r\nC:\\snd\\c.wav\r\n---none---\r\n/abs/d.wav\r\n");
  kv_clock_set_local_offset(0);
  kv_clock_set_utc_ms(DAY_MS + 12 * 3600000);
  {
    // Queued together, the ids make one batch: each plays once, in
    // ascending order, and a file just played is not played again.
    kv_lock hold(g_sounds_lock);
    for (int id : {6, 3, 2, 1, 3, 5, 0, 99, -1, 4}) queue_sound(id);
  }
  wait_sounds();
  EXPECT_EQ(services_.sounds,
            (std::vector<std::string>{root_.file("SOUNDS/a.wav"), root_.file("SOUNDS/b.wav"),
                                      "C:/snd/c.wav", "/abs/d.wav"}));

  // Quiet at 23:30: nothing plays.
  services_.sounds.clear();
  g_settings.SoundsQuietStart = 22 * 3600;
  g_settings.SoundsQuietStop = 6 * 3600;
  g_pref_flags1 = PREF1_SOUNDS_QUIET_HOURS;
  free_sounds_cfg();
  kv_clock_set_utc_ms(DAY_MS + 23 * 3600000 + 30 * 60000);
  queue_sound(1);
  wait_sounds();
  EXPECT_TRUE(services_.sounds.empty());
  kv_clock_set_utc_ms(DAY_MS + 6 * 3600000);
  queue_sound(1);
  wait_sounds();
  EXPECT_EQ(services_.sounds.size(), 1u);
}

TEST_F(SoundsTest, AFullQueueDropsFurtherSounds) {
  root_.write("CONFIG/sounds.cfg", "a.wav\r\nb.wav\r\n");
  {
    kv_lock hold(g_sounds_lock);
    for (int i = 0; i < SOUND_QUEUE_SIZE; i++) queue_sound(1);
    queue_sound(2);  // no room
  }
  wait_sounds();
  EXPECT_EQ(services_.sounds, (std::vector<std::string>{root_.file("SOUNDS/a.wav")}));
}
