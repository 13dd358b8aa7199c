// The Attach Order to Study dialog: ties a working order to a study line
// of its chart, so that the order follows the line after each
// recomputation (broker/orders.h reprice_attached_order), or unties it.
// The order is held by its serial and looked up under g_chart_lock.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/qt/dialog.h"
#include "studies/pages/ppcommon.h"

class KvComboBox;
struct chart_rec;
struct order_rec;
struct StudyDef;

enum {
  IDD_ATTACH_STUDY = 337,
  IDC_AT_OFFSET = 1771,
  IDC_AT_STUDIES = 1765,
  IDC_AT_INCREMENT = 1805,
  IDC_AT_UP = 1767,
  IDC_AT_DOWN = 1768,
  IDC_AT_STATUS = 1764,
  IDC_AT_ATTACH = 1807,
  ATTACH_INCREMENT_MAX = 127,  // 7 bits of the attachment word
  ATTACH_OFFSET_MIN = -128,    // signed 8 bits
  ATTACH_OFFSET_MAX = 127,
};

class CAttachStudyDlg : public KvDialog {
 public:
  CAttachStudyDlg(chart_rec* chart, order_rec* order, QWidget* parent = nullptr);

  void OnAttachDetach();
  void OnStudyChosen();
  KvComboBox* study_box() const { return m_studies; }
  StudyDef* chosen() const { return m_study; }

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;

 private:
  chart_rec* m_chart;
  uint32_t m_serial;
  int32_t m_order_id;
  CPPCommon m_common;
  StudyDef* m_study = nullptr;
  KvComboBox* m_studies;
  QString m_offset, m_increment, m_status;
  int m_round = 1;  // 0 up, 1 down
};
