// The Playback Setup dialog on a copy of a known playback record, driven
// by control id; the copy is what its opener stores after OK.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSlider>
#include <cstdio>
#include <cstring>
#include <functional>

#include "data/dates.h"
#include "platform/qt/controls.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "shell/playbackdlg.h"

namespace {

const int kNineThirty = 9 * 3600 + 30 * 60;

class PlaybackDlg : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    reset_settings();
    g_settings.DateStyle = 0;
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    root_.write("HDATA/ES.tsdata", "");
    root_.write("HDATA/nq.tsdata", "");
    root_.write("HDATA/ES.dyd", "");
    memset(&data_, 0, sizeof data_);
    snprintf(data_.name, sizeof data_.name, "ES");
    data_.flags = PLAYBACK_PREPARED;
    data_.start = (uint32_t)date_to_seconds(20240102, kNineThirty);
    data_.day_offset = 1;
    data_.rate = 10;
    data_.spare = 77;
    for (int i = 0; i < PLAYBACK_SESSIONS; i++) data_.range_start[i] = data_.range_stop[i] = -1;
    data_.range_start[0] = kNineThirty;
    data_.range_stop[0] = 16 * 3600;
  }
  void TearDown() override {
    reset_settings();
    TempRootTest::TearDown();
  }
  // Runs the dialog on the copy; drive() acts while it is up.
  int run(int unit, const std::function<void(QWidget*)>& drive) {
    CPlaybackSetupDlg d(&data_, unit);
    kv_when_modal([&](QWidget* w) { drive(w); });
    return d.DoModal();
  }
  static QString text(QWidget* w, int id) {
    QWidget* c = kv_find_control(w, id);
    if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
    if (auto* b = qobject_cast<QComboBox*>(c)) return b->currentText();
    return QString();
  }
  std::string last_box() const {
    return services_.boxes.empty() ? std::string() : services_.boxes.back().text;
  }
  PlaybackData data_;
};

TEST_F(PlaybackDlg, OpensOnTheRecordWithSecondsOnTickCharts) {
  struct Case {
    int unit;
    const char* start_time;
  } cases[] = {{1, "09:30"}, {390, "09:30"}, {-200, "09:30:00"}, {-1000000500, "09:30:00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unit);
    run(c.unit, [&](QWidget* w) {
      auto* combo = static_cast<KvComboBox*>(kv_find_control(w, IDC_PB_FILE));
      EXPECT_EQ(combo->GetWindowText(), QStringLiteral("ES"));
      ASSERT_EQ(combo->GetCount(), 2);
      EXPECT_EQ(combo->GetLBText(1), QStringLiteral("nq"));
      EXPECT_EQ(text(w, IDC_PB_START_DATE), QStringLiteral("01/02/2024"));
      EXPECT_EQ(text(w, IDC_PB_START_TIME), QString::fromLatin1(c.start_time));
      EXPECT_EQ(text(w, IDC_PB_RATE), QStringLiteral("10"));
      EXPECT_EQ(static_cast<QSlider*>(kv_find_control(w, IDC_PB_RATE_SLIDER))->value(), 10);
      EXPECT_EQ(text(w, IDC_PB_DAY_OFFSET), QStringLiteral("1"));
      EXPECT_EQ(text(w, IDC_PB_RANGE_FIRST), QStringLiteral("09:30:00"));
      EXPECT_EQ(text(w, IDC_PB_RANGE_FIRST + 1), QStringLiteral("16:00:00"));
      EXPECT_EQ(text(w, IDC_PB_RANGE_FIRST + 2), QString());
      kv_click(w, IDCANCEL);
    });
  }
}

TEST_F(PlaybackDlg, AnotherFileClearsThePreparedFlagAndTheSameKeepsIt) {
  struct Case {
    const char* name;
    uint32_t prepared;
  } cases[] = {{"ES", PLAYBACK_PREPARED}, {"nq", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    data_.flags = PLAYBACK_PREPARED;
    snprintf(data_.name, sizeof data_.name, "ES");
    int result = run(1, [&](QWidget* w) {
      kv_type(w, IDC_PB_FILE, QString::fromLatin1(c.name));
      kv_click(w, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_STREQ(data_.name, c.name);
    EXPECT_EQ(data_.flags & PLAYBACK_PREPARED, c.prepared);
    EXPECT_EQ(data_.flags & PLAYBACK_NEW_RATE, 0u);  // rate unchanged
  }
}

TEST_F(PlaybackDlg, TypedRateAbove100BecomesHundredAndMarksANewRate) {
  int result = run(1, [&](QWidget* w) {
    kv_type(w, IDC_PB_RATE, QStringLiteral("250"));
    EXPECT_EQ(text(w, IDC_PB_RATE), QStringLiteral("100"));
    EXPECT_EQ(static_cast<QSlider*>(kv_find_control(w, IDC_PB_RATE_SLIDER))->value(), 100);
    kv_type(w, IDC_PB_START_TIME, QStringLiteral("10:15"));
    kv_type(w, IDC_PB_DAY_OFFSET, QStringLiteral("3"));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(data_.rate, 100);
  EXPECT_TRUE(data_.flags & PLAYBACK_NEW_RATE);
  EXPECT_EQ(data_.day_offset, 3);
  EXPECT_EQ((int64_t)data_.start, date_to_seconds(20240102, 10 * 3600 + 15 * 60));
  EXPECT_EQ(data_.spare, 77);  // the word the dialog does not use is kept
}

TEST_F(PlaybackDlg, RangeTimesEmptyIsUnsetAndTheDayEndIsRefused) {
  int result = run(1, [&](QWidget* w) {
    kv_type(w, IDC_PB_RANGE_FIRST, QString());  // range 1 start emptied
    kv_type(w, IDC_PB_RANGE_FIRST + 2, QStringLiteral("18:00"));
    kv_type(w, IDC_PB_RANGE_FIRST + 3, QStringLiteral("24:00"));
    kv_click(w, IDOK);
    EXPECT_EQ(last_box(), "Invalid ending time");
    EXPECT_TRUE(w->isVisible());
    // The start values stay stored in the dialog's copy.
    EXPECT_EQ(data_.range_start[0], -1);
    EXPECT_EQ(data_.range_start[1], 18 * 3600);
    kv_type(w, IDC_PB_RANGE_FIRST + 3, QStringLiteral("23:59:59"));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(data_.range_start[0], -1);
  EXPECT_EQ(data_.range_stop[0], 16 * 3600);
  EXPECT_EQ(data_.range_stop[1], 86399);
  EXPECT_EQ(data_.range_start[2], -1);
  EXPECT_EQ(data_.range_stop[3], -1);
}

TEST_F(PlaybackDlg, BadEntriesAreRefusedWithTheirMessage) {
  struct Case {
    int id;
    const char* typed;
    const char* message;
  } cases[] = {
      {IDC_PB_START_DATE, "02/30/2024", "Invalid Start Date"},
      {IDC_PB_START_DATE, "01/02/1899", "Invalid Start Date"},
      {IDC_PB_RANGE_FIRST + 4, "25:00", "Invalid starting time"},
      {IDC_PB_FILE, "../ES", "The tick file must be a plain file name of at most 31 characters."},
      {IDC_PB_RATE, "fast", "Please enter an integer between 0 and 100."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    services_.boxes.clear();
    int result = run(1, [&](QWidget* w) {
      kv_type(w, c.id, QString::fromLatin1(c.typed));
      kv_click(w, IDOK);
      EXPECT_TRUE(w->isVisible());
      kv_click(w, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(last_box(), c.message);
    EXPECT_STREQ(data_.name, "ES");
  }
}

TEST_F(PlaybackDlg, NameIsBoundToThirtyOneCharacters) {
  std::string long_name(40, 'A');
  run(1, [&](QWidget* w) {
    kv_type(w, IDC_PB_FILE, QString::fromStdString(long_name));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(strlen(data_.name), 31u);
  uint8_t image[PBD_SIZE];
  playback_data_encode(&data_, image);
  EXPECT_EQ(image[31], 0);
}

TEST_F(PlaybackDlg, StartDateAfter2038IsKept) {
  int result = run(1, [&](QWidget* w) {
    kv_type(w, IDC_PB_START_DATE, QStringLiteral("06/15/2045"));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  uint8_t image[PBD_SIZE];
  playback_data_encode(&data_, image);
  PlaybackData back;
  playback_data_decode(image, &back);
  EXPECT_EQ(seconds_to_date((int64_t)back.start), 20450615);
  run(1, [&](QWidget* w) {
    EXPECT_EQ(text(w, IDC_PB_START_DATE), QStringLiteral("06/15/2045"));
    kv_click(w, IDCANCEL);
  });
}

TEST_F(PlaybackDlg, Picture) {
  run(-200, [&](QWidget* w) {
    EXPECT_TRUE(kv_grab_png(w, QStringLiteral(KV_BINARY_DIR "/playback_setup_dlg.png")));
    kv_click(w, IDCANCEL);
  });
}

}  // namespace
