// The "User Preferences" sheet: the global settings edited in dialogs.
//
// Pages copy the settings into their controls when first shown and write
// them back only at OK or Apply Now.  A page checks every field before it
// stores any, so a refused page leaves the settings as they were and
// Cancel after a refusal keeps them untouched.
//
// The six pages (Data, Display, Auto Run, Sounds, Draw, Misc) are here; the sheet is run by the
// File/Preferences command (CKvChartApp).
#pragma once

#include <QString>
#include <string>
#include <vector>

#include <QImage>

#include "data/drawdefs.h"
#include "platform/qt/propsheet.h"

// Help topics and dialog resources of the pages.
enum : unsigned {
  IDD_PREF_DATA = 160,
  IDD_PREF_DISPLAY = 185,
  IDD_PREF_AUTORUN = 320,
  IDD_PREF_MISC = 234,
  IDD_PREF_DRAW = 317,
  IDD_PREF_SOUNDS = 260
};

// Bits of the settings' flag words the pages edit.
enum : uint32_t {
  PREF_SYMBOL_DATE_HEADER = 0x2,  // Flags bit 1
  PREF_CANDLE_SIZE_SHIFT = 15,    // Flags bits 15-17: new chart candle size
  PREF_CANDLE_SIZE_MASK = 0x38000,
  PREF_QR_AUTO_START = 0x10000000,     // Flags bit 28
  PREF_HIDE_DAY_DIVIDER = 0x80000000,  // Flags bit 31
  PREF2_HIGHLIGHT_INCOMPLETE = 0x1,    // Flags2 bit 0
};

// Packs and checks the custom candle: total width 1-255, margins and wick
// 0-63, a body (total less both margins) positive and at least the wick.
// Returns 0 and leaves *packed alone when the candle is refused.
int pack_custom_candle(int total, int left, int right, int wick, uint32_t* packed);

class CPPPrefData : public KvPropertyPage {
 public:
  CPPPrefData();
  bool OnCheck() override;
  bool OnApply() override;

  QString m_daily, m_weekly, m_monthly;
  int m_interval = 0, m_timeout = 0, m_keep_min = 0, m_keep_tick = 0, m_keep_volume = 0;
  int m_cont_daily = 0, m_auto_start = 0, m_keep_ext = 0, m_keep_intraday = 0;
  QString m_host;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  void load(const struct settings_block& b, bool defaults);
};

class CPPPrefDisplay : public KvPropertyPage {
 public:
  CPPPrefDisplay();
  bool OnCheck() override;
  bool OnApply() override;

  int m_price_format = 0, m_date_format = 0, m_label_left = 0, m_grid = 0;
  int m_hide_divider = 0, m_header = 0, m_highlight = 0, m_candle_size = 1;
  int m_left = 0, m_right = 0, m_total = 0, m_wick = 0;
  QString m_time_offset;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  void load(const struct settings_block& b);
};

class CPPPrefAutoRun : public KvPropertyPage {
 public:
  CPPPrefAutoRun();
  bool OnCheck() override;
  bool OnApply() override;

  int m_days[8] = {};   // MktDays bits 0-7: collect, Monday .. Sunday
  QString m_times[21];  // Sunday start, stop, restart, Monday ..., Saturday

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;
};

// The sound file of each alert event and the quiet hours; sounds.cfg is
// written at OK only when a sound was chosen or deselected.
class CPPPrefSounds : public KvPropertyPage {
 public:
  CPPPrefSounds();
  bool OnCheck() override;
  bool OnApply() override;

  int m_sounds_on = 0, m_quiet = 0;
  QString m_from, m_to;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  QString shown_file(int i) const;
  void entry_text(int i);
  void selection_changed();
  void select_sound();
  void deselect_sound();
  void browse();
  int m_count = 0;
  std::vector<std::string> m_configured, m_events;
  std::vector<QString> m_chosen;  // empty: unchanged
  bool m_sounds_changed = false;
};

// The drawing tools' defaults: edits a copy of the "\PrefDrawDef" block,
// written back (its other bytes kept) at OK when the page was modified.
class CPPPrefDraw : public KvPropertyPage {
 public:
  CPPPrefDraw();
  bool OnCheck() override;
  bool OnApply() override;

  draw_defaults m_dd{};
  QString m_wide, m_channel, m_custom[2];
  int m_use_style = 0, m_use_color = 0, m_line_style = 0;
  int m_enabled[DRAW_LEVEL_COUNT] = {}, m_styles[DRAW_LEVEL_COUNT] = {}, m_snap[5] = {};

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  void load(const draw_defaults& d);
  bool read_numbers(int* wide, double* devs, double custom[2]);
  void paint_swatches();
  void choose_line_color();
  void choose_level_color(int level);
  void choose_feedback_color();
  QImage m_pictures[DRAW_LEVEL_COUNT + 1][10];
};

class CPPPrefMisc : public KvPropertyPage {
 public:
  CPPPrefMisc();
  bool OnApply() override;

  int m_spike = 0, m_width = 0, m_depth = 0, m_backfill = 0, m_no_sync = 0;
  int m_auto_tws = 0, m_advisor = 0, m_trading = 0, m_depth_data = 0;
  int m_inhibit[4] = {};  // Options, SFFs, Bag, Cash
  QString m_account, m_user, m_password;
  int m_client_id = 0, m_port = 0;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  // Filter Width and Depth are checked as they are typed.
  void check_range(int id, int max, int stored);
  void trading_clicked();
};

class CPSUserPrefDlg : public KvPropertySheet {
 public:
  explicit CPSUserPrefDlg(QWidget* parent = nullptr, int start_page = 0);

  CPPPrefData m_data;
  CPPPrefDisplay m_display;
  CPPPrefAutoRun m_autorun;
  CPPPrefSounds m_sounds;
  CPPPrefDraw m_draw;
  CPPPrefMisc m_misc;
};
