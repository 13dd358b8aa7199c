// The Windows-compatible rand sequence, the test clock and the time scale.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/crand.h"
#include "platform/thread.h"
#include "platform/testing/fixture.h"

namespace {

class CrandClockTest : public TempRootTest {};

TEST_F(CrandClockTest, RandMatchesTheWindowsRuntime) {
  kv_srand(1);
  EXPECT_EQ(kv_rand(), 41);
  EXPECT_EQ(kv_rand(), 18467);
  EXPECT_EQ(kv_rand(), 6334);
  EXPECT_EQ(kv_rand(), 26500);
  // Same state step with a caller-held state; results never exceed 0x7FFF.
  uint32_t s = 0x12345678;
  for (int i = 0; i < 1000; i++) {
    int v = kv_rand_next(&s);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, KV_RAND_MAX);
  }
  kv_srand(0);
  EXPECT_EQ(kv_rand(), 38);
}

int first_rand(void *) {
  return kv_rand();
}

TEST_F(CrandClockTest, EachThreadStartsFromSeedOne) {
  kv_srand(99);
  kv_rand();
  kv_thread *t = kv_thread_start("rand", first_rand, nullptr);
  int v = 0;
  kv_thread_join(t, -1, &v);
  kv_thread_free(t);
  EXPECT_EQ(v, 41);
}

TEST_F(CrandClockTest, FrozenClockMovesOnlyWhenAdvanced) {
  // 2004-02-29 13:45:10 UTC
  const int64_t t = 1078062310;
  kv_clock_set_utc_ms(t * 1000 + 250);
  kv_clock_set_local_offset(-5 * 3600);
  EXPECT_EQ(kv_now_utc_seconds(), t);
  EXPECT_EQ(kv_now_utc_ms(), t * 1000 + 250);
  EXPECT_EQ(kv_now_local_seconds(), t - 5 * 3600);
  kv_clock_advance_ms(1750);
  EXPECT_EQ(kv_now_utc_seconds(), t + 2);

  kv_datetime dt;
  kv_split_seconds(t, &dt);
  EXPECT_EQ(dt.year, 2004);
  EXPECT_EQ(dt.month, 2);
  EXPECT_EQ(dt.day, 29);
  EXPECT_EQ(dt.hour, 13);
  EXPECT_EQ(dt.minute, 45);
  EXPECT_EQ(dt.second, 10);
  EXPECT_EQ(dt.weekday, 0);  // a Sunday
  EXPECT_EQ(dt.yearday, 59);

  kv_clock_reset();
  EXPECT_GT(kv_now_utc_seconds(), t + 10 * 365 * 86400LL);
}

TEST_F(CrandClockTest, TestScaleShortensLongWaitsOnly) {
  EXPECT_EQ(kv_scaled_ms(5000), 5);
  EXPECT_EQ(kv_scaled_ms(155000), 155);
  EXPECT_EQ(kv_scaled_ms(100), 1);  // never below 1 ms
  EXPECT_EQ(kv_scaled_ms(0), 0);
  kv_set_time_scale(1.0);
  EXPECT_EQ(kv_scaled_ms(30000), 30000);
}

}  // namespace

// Times before 1970 belong to the day that starts at or before them.
TEST(DaySplit, RoundsDownOnBothSidesOfTheEpoch) {
  struct {
    int64_t seconds, day;
    int tod;
  } cases[] = {
      {0, 0, 0},
      {86399, 0, 86399},
      {86400, 1, 0},
      {-1, -1, 86399},
      {-86400, -1, 0},
      {-86401, -2, 86399},
      {1700000000, 19675, 80000},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(kv_day_number(c.seconds), c.day) << c.seconds;
    EXPECT_EQ(kv_time_of_day(c.seconds), c.tod) << c.seconds;
  }
}
