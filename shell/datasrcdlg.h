// "Select Data Sources": which source of srcdata.cfg serves live quotes and
// daily, weekly and monthly history, and which alias file is used.
//
// OK stores the four source indexes and the alias name; choosing a live
// source whose relay cannot trade switches trading off.
#pragma once

#include <QString>

#include "platform/qt/dialog.h"

enum : int {
  IDD_DATA_SOURCES = 148,
  IDC_SRC_QUOTE = 1118,
  IDC_SRC_DAILY = 1119,
  IDC_SRC_WEEKLY = 1120,
  IDC_SRC_MONTHLY = 1121,
  IDC_SRC_ALIAS = 1445,
};

class CDataSourcesDlg : public KvDialog {
 public:
  explicit CDataSourcesDlg(QWidget* parent = nullptr);

  // Selected indexes: live quotes, daily, weekly, monthly.
  int m_source[4] = {};
  QString m_alias;  // "---none---" for none

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;
  void OnOK() override;
};
