// The Market Pulse Settings dialog: the markets to scan, the volume and
// price filters, the time frame and the "Scan For Most ..." lists of one
// market pulse window.
#pragma once

#include <cstdint>

#include "platform/qt/dialog.h"

enum {
  IDD_MARKET_PULSE_SETTINGS = 230,
  IDC_PULSE_MIN_PRICE = 1403,
  IDC_PULSE_MIN_VOLUME = 1404,
  IDC_PULSE_MARKET_FIRST = 1408,  // 8 markets, 1408-1415
  IDC_PULSE_SCAN_FIRST = 1416,    // 20 scans, 1416-1435
  IDC_PULSE_TODAY = 1437,
  IDC_PULSE_AFTER_MARKET = 1438,
  IDC_PULSE_YESTERDAY = 1439,
  PULSE_MARKETS = 8,
  PULSE_SCANS = 20,
};

// The five settings of a market pulse window, in the order the window's
// settings keep them.
struct PulseSettings {
  uint32_t scan_mask = 1;    // bit 0 "Active"
  uint32_t market_mask = 1;  // bit 0 "NYSE"
  int32_t time_frame = 0;    // 0 today, 1 yesterday, 2 after market
  int32_t min_volume = 100000;
  float min_price = 1.0f;
};

extern const char* const kv_pulse_market_names[PULSE_MARKETS];
extern const char* const kv_pulse_scan_names[PULSE_SCANS];

class CMktPulseSettingsDlg : public KvDialog {
 public:
  CMktPulseSettingsDlg(const PulseSettings& s, QWidget* parent = nullptr);
  // The settings as the dialog left them (after OK: the controls' values).
  const PulseSettings& Settings() const { return m_s; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnHelp() override;

 private:
  PulseSettings m_s;
};
