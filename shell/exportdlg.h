// "Export Settings...": how price files are written as text: the format of
// import.cfg to write, the file extension, whether the time span goes into
// the file name and a header line into the file.
#pragma once

#include <QString>

#include "platform/qt/dialog.h"

enum : int {
  IDD_EXPORT_SETTINGS = 221,
  IDC_EXP_ADD_SPAN = 1392,
  IDC_EXP_EXTENSION = 1166,
  IDC_EXP_ADD_HEADER = 1391,
  IDC_EXP_HEADER = 1393,
  IDC_EXP_DIR = 1203,
  IDC_FORMAT = 1179,
  IDC_FORMAT_DESCRIPTION = 1182,
};

// Flags bits of the export.
enum : uint32_t { PREF_EXPORT_SPAN_IN_NAME = 0x08, PREF_EXPORT_HEADER = 0x10 };

class CExportSettingsDlg : public KvDialog {
 public:
  explicit CExportSettingsDlg(QWidget* parent = nullptr);

  int m_add_span = 0, m_add_header = 0;
  QString m_extension, m_header;
  int m_format = 2;  // position of the format's name in import.cfg's list

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;
  void OnOK() override;

 private:
  void show_description();
  const char* const* m_formats = nullptr;
  int m_format_tokens = 0;
};
