// The Status Messages window and the ReadMe dialog.
//
// CStatusMsgDlg is the modeless window that collects the program's status
// lines; its three show checks are the Warnings, Info and Alerts bits of
// the Flags setting (bits 14, 13, 12), which the senders of status lines
// read.  The list has no length limit; Clear empties it.  CReadMeDlg shows
// a text file of the Help folder line by line.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <vector>

#include "platform/qt/dialog.h"

class KvListBox;

enum : int {
  IDD_STATUS_MSG = 139,
  IDC_STATUS_LIST = 1012,
  IDC_STATUS_CLEAR = 1013,
  IDC_STATUS_CLOSE = 8,
  IDC_SHOW_WARNINGS = 1400,
  IDC_SHOW_INFO = 1401,
  IDC_SHOW_ALERTS = 1402,
  IDD_README = 332,
  IDC_README_LIST = 1718,
};

// Flags bits of the three show checks.
enum : unsigned { SHOW_ALERTS_BIT = 12, SHOW_INFO_BIT = 13, SHOW_WARNINGS_BIT = 14 };

// The lines of the Status Messages window.  It draws only the rows in
// view, so adding a line costs the same however many lines it holds (a
// list view lays out every row again on each insertion).
class CStatusMsgList : public QAbstractScrollArea {
 public:
  explicit CStatusMsgList(QWidget* parent = nullptr);

  void AddString(const QString& text);
  int GetCount() const { return int(m_lines.size()); }
  QString GetText(int index) const;
  void ResetContent();
  // The first line in view; scrolling stops at the last full page.
  int GetTopIndex() const;
  void SetTopIndex(int index);
  // Lines that fit the window.
  int VisibleRows() const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  int row_height() const;
  void update_ranges();
  std::vector<QString> m_lines;
  int m_widest = 0;
};

class CStatusMsgDlg : public KvDialog {
 public:
  explicit CStatusMsgDlg(QWidget* parent = nullptr);

  // Appends a line and scrolls so that the newest lines are in view.
  void AddLine(const QString& text);
  CStatusMsgList* List() const { return m_list; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void showEvent(QShowEvent* e) override;

 private:
  void checks_from_flags();
  void store_check(int id);
  void toggle_window();
  CStatusMsgList* m_list = nullptr;
};

class CReadMeDlg : public KvDialog {
 public:
  // file: a name in the Help folder ("ReadMe.first", "ReadMe.txt").
  explicit CReadMeDlg(const QString& file, QWidget* parent = nullptr);
  KvListBox* List() const { return m_list; }

 protected:
  bool OnInitDialog() override;

 private:
  QString m_file;
  KvListBox* m_list = nullptr;
};
