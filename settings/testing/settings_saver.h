// Test support: g_settings as it was when the saver was made is put back
// when the saver goes, so that a test may change any setting.
//
//   class MyTest : public TempRootTest { SettingsSaver settings_saver_; };
//   TEST(...) { SettingsSaver saver; g_settings.KeepNumDays1Min = 5; ... }
#pragma once

#include "settings/settings.h"

class SettingsSaver {
 public:
  SettingsSaver() : saved_(g_settings) {}
  ~SettingsSaver() { g_settings = saved_; }
  SettingsSaver(const SettingsSaver &) = delete;
  SettingsSaver &operator=(const SettingsSaver &) = delete;

 private:
  AppSettings saved_;
};
