// The main window: control bars, status texts, the messages of the worker
// threads and the two-staged close.
//
// The first close request only starts the shut-down of the worker threads;
// the window stays and keeps handling messages until the last worker
// reports WM_THREAD_IS_DEAD, then the final close saves the bar state and
// placement, closes every window and lets the main window go.
#pragma once

#include <QPointer>
#include <QString>

#include "platform/qt/frames.h"

class CAlertsDlg;
struct kv_thread;

// Control ids of the bars (the main toolbar's and status bar's ids are
// also their View commands).
enum : unsigned {
  ID_MAIN_TOOLBAR = 0xE800,
  ID_STATUS_BAR = 0xE801,
  ID_SLF_BAR = 135,
  ID_PLAYBACK_BAR = 136,
  ID_ADVISOR_BAR = 186,
  ID_DRAW_BAR = 296,
  ID_UPDATE_ALL_NOW = 32778,
};

class CKvMainFrame : public KvMainFrame {
 public:
  CKvMainFrame();
  ~CKvMainFrame() override;

  // Places the window at the saved rectangle, or at a default size when
  // none was saved.
  void PreCreateWindow();
  // Menus, bars, status panes and hmainwnd; false when a bar could not
  // be made.
  bool OnCreate();

  void SetStatusText(int show, const QString& text);
  // Pane 1: "Data Collection On hh:mm:ss" or "Data Collection Off".
  void SetContUpdateStatus(int on);

  // The open Alerts window (registered by its opener, forgotten on
  // WM_ALERTS_DLG_CLOSED) and its Keep Messages value copied on
  // WM_ALERTS_DLG_OPENED.
  CAlertsDlg* AlertsDlg() const;
  void SetAlertsDlg(CAlertsDlg* dlg);
  int AlertsKeep() const { return m_alerts_keep; }

  // The close has begun (first close ran) / ended (final close ran).
  bool exiting() const { return m_exiting; }
  bool closed() const { return m_final; }

  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;
  bool OnCmdMsg(unsigned id) override;
  bool OnUpdateCmdUI(KvCmdUI& ui) override;

 protected:
  bool OnClose() override;

 private:
  void first_close();
  void final_close();
  // Also cleared when the window goes without telling (a guard pointer).
  QPointer<CAlertsDlg> m_alerts_dlg;
  int m_alerts_keep = 0;
  kv_thread* m_exit_thread = nullptr;  // stands in for the quote threads' exit
  bool m_exiting = false;
  bool m_final = false;
};
