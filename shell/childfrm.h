// The frame of every window, whatever its kind, and the New window dialog.
//
// CKvChildFrame leaves the maximize box out of the order and account
// windows (kinds 11, 12, 13: the pending new-window kind when the frame is
// made) and tells a chart view when its window was minimised, maximised or
// restored (WM_MIN_MAX_WINDOW, wParam the system command).
//
// CNewWindowDlg lists the window types the application has templates for;
// OK leaves the chosen kind in the application's pending new-window kind
// (0 when none is selected).
#pragma once

#include "platform/qt/dialog.h"
#include "platform/qt/frames.h"

class KvListBox;

class CKvChildFrame : public KvChildFrame {
 public:
  void PreCreateWindow(unsigned& style) override;
  void OnSysCommand(unsigned id, kv_lparam lparam) override;
};

// Names of the window kinds 0..13 ("Chart" ... "MarketPulse"; the order
// and account kinds have none).
const char* kv_window_type_name(int kind);

enum : int { IDD_NEW_WINDOW = 238, IDC_NEW_TYPE_LIST = 1487 };

class CNewWindowDlg : public KvDialog {
 public:
  explicit CNewWindowDlg(QWidget* parent = nullptr);
  // The last kind offered, from the optional templates that exist.
  static int LastListedKind();

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  KvListBox* m_list;
};
