// The advisor-account bar: a drop-down list on the main frame's "Advisor"
// toolbar choosing the managed account, allocation profile or account group
// that orders and profit figures refer to.  The bar shows only in
// financial-advisor mode (Flags1 0x800).
#pragma once

#include <QFont>
#include <QObject>

class QComboBox;
class QToolBar;

enum : unsigned {
  ID_ADVISOR_ACCOUNT = 33294,
  ADVISOR_MODE_FLAG = 0x800,
  ADVISOR_TARGET_MAX = 63,
};

class CAdvisorAcctBar : public QObject {
 public:
  // Puts the list on the bar (which the frame owns) and fills it.
  explicit CAdvisorAcctBar(QToolBar* bar);

  // Empties the list and adds "---none---", then build_advisor_list's
  // choices: aliases, profiles, groups.
  void Fill();
  // The list's choice becomes the advisor target; "---none---" or no
  // choice clears it.
  void Apply();
  // Hides the bar when advisor mode is off.
  void UpdateVisibility();

  QComboBox* combo() const { return m_combo; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QToolBar* m_bar;
  QFont m_font;  // the list's own 8-point font, whatever the desktop's
  QComboBox* m_combo;
};

// Attaches the advisor list to the frame's bar (the bar owns it).
CAdvisorAcctBar* install_advisor_bar(QToolBar* bar);
