// "Playback Setup": which recorded tick file a chart plays back, from which
// date and time, at what rate and in which times of day.
//
// The dialog edits a copy of the playback record that its opener hands in
// and takes back after OK; Cancel leaves the copy as it was given.  The
// file name must be a plain file name of at most 31 characters.
#pragma once

#include "platform/qt/dialog.h"
#include "quotes/playbackdata.h"

enum : int {
  IDD_PLAYBACK_SETUP = 319,
  IDC_PB_FILE = 1082,
  IDC_PB_START_DATE = 1032,
  IDC_PB_START_TIME = 1671,
  IDC_PB_RATE_SLIDER = 1672,
  IDC_PB_RATE = 1673,
  IDC_PB_DAY_OFFSET = 1713,
  IDC_PB_RANGE_FIRST = 1705,  // start, stop of range 1, .. 1711/1712 range 4
};

class CPlaybackSetupDlg : public KvDialog {
 public:
  // time_unit: the chart's (tick and volume charts show seconds).
  CPlaybackSetupDlg(PlaybackData* data, int time_unit, QWidget* parent = nullptr);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void fill_files();
  void rate_typed();
  bool refuse(const char* text, int id);

  PlaybackData* m_data;
  int m_time_unit;
};
