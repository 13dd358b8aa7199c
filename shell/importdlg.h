// The import dialogs: "Import Settings" edits the import list (the folders
// and file patterns price files are imported from, and the web entry), and
// "Import File Settings" asks for the format, symbol and time span of one
// file being imported.
//
// Import Settings works on the chart store's import list itself: entries
// are added, changed, removed (marked, never dropped) and reordered as the
// buttons are pressed; OK renumbers the list, stores the two switches and
// marks the list modified so that Import.imp is written at exit.
#pragma once

#include <QString>

#include "platform/qt/dialog.h"

class KvListBox;
struct ImportSource;

enum : int {
  IDD_IMPORT_SETTINGS = 159,
  IDD_IMPORT_FILE = 164,
  IDC_IMP_WEB = 1190,
  IDC_IMP_FILES = 1191,
  IDC_IMP_LIST = 1172,
  IDC_IMP_MODIFY = 1201,
  IDC_IMP_REMOVE = 1181,
  IDC_IMP_UP = 1159,
  IDC_IMP_DOWN = 1160,
  IDC_IMP_PATH = 1192,
  IDC_IMP_BROWSE = 1189,
  IDC_IMP_DAILY = 1197,  // .. 1200 "[--] Disable"
  IDC_IMP_FORMAT = 1179,
  IDC_IMP_DESCRIPTION = 1182,
  IDC_IMP_FILE_PATH = 1203,
  IDC_IMP_SYMBOL = 1052,
};

// The import.cfg formats the two dialogs offer: names at even positions,
// descriptions after them.
struct import_formats {
  const char* const* tokens = nullptr;
  int count = 0;  // pairs
  void load();
  QString name(int i) const;
  QString description(int i) const;
};

class CImportSettingsDlg : public KvDialog {
 public:
  explicit CImportSettingsDlg(QWidget* parent = nullptr);

  QString m_description;
  int m_file_enabled = 0, m_web_enabled = 0;
  QString m_path, m_format_name;
  int m_time_span = 0;  // 0 daily, 1 weekly, 2 monthly, 3 disabled
  ImportSource* m_selected = nullptr;
  int m_line = -1;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;
  void OnOK() override;

 private:
  void fill_list(const ImportSource* select);
  void line_chosen();
  void show_entry(const ImportSource* s);
  void update_buttons();
  void browse();
  void modify();
  void remove();
  void move(int step);
  void web_clicked();
  void format_chosen();
  void span_chosen();
  void set_modify(bool on);
  bool modify_enabled() const;

  import_formats m_formats;
  KvListBox* m_list = nullptr;
};

class CImportFileDlg : public KvDialog {
 public:
  CImportFileDlg(const QString& path, QWidget* parent = nullptr);

  QString m_path, m_description, m_format_name, m_symbol;
  int m_time_span = 0;  // 0 daily, 1 weekly, 2 monthly

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;
  void OnOK() override;

 private:
  void format_chosen();
  import_formats m_formats;
};
