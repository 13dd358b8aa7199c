#include "windows/advisorbar.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QToolBar>

#include "broker/twsacct.h"
#include "platform/qt/dc.h"
#include "platform/qt/menus.h"
#include "res/resource.h"
#include "settings/settings.h"

namespace {

const char kNone[] = "---none---";

// A combo box that refills its list each time it drops down and applies
// the choice when it closes.
class AdvisorCombo : public QComboBox {
 public:
  AdvisorCombo(CAdvisorAcctBar* owner, QWidget* parent) : QComboBox(parent), m_owner(owner) {}
  void showPopup() override {
    m_owner->Fill();
    QComboBox::showPopup();
  }
  void hidePopup() override {
    QComboBox::hidePopup();
    m_owner->Apply();
  }

 private:
  CAdvisorAcctBar* m_owner;
};

bool advisor_mode() {
  return (g_settings.Flags1 & ADVISOR_MODE_FLAG) != 0;
}

}  // namespace

CAdvisorAcctBar::CAdvisorAcctBar(QToolBar* bar)
    : QObject(bar), m_bar(bar), m_font(KvFont::StockVariable().qfont()) {
  m_combo = new AdvisorCombo(this, bar);
  m_combo->setObjectName(QStringLiteral("advisor_account"));
  // The list stands for the bar's first button: its command and prompt.
  std::vector<KvToolButton> buttons = kv_res_toolbar(IDR_ADVISOR_BAR);
  const char* prompt = buttons.empty() ? nullptr : buttons[0].tip;
  if (prompt) {
    m_combo->setToolTip(kv_tool_tip_text(prompt));
    m_combo->setStatusTip(QString::fromLatin1(prompt).section(QLatin1Char('\n'), 0, 0));
  }
  m_font.setStyleStrategy(QFont::PreferMatch);  // smoothed, as the desktop's text
  m_combo->setFont(m_font);
  // 16 average characters wide, 16 lines dropped down, in the list's font.
  m_combo->setMaxVisibleItems(16);
  m_combo->setMinimumWidth(QFontMetrics(m_font).averageCharWidth() * 16);
  bar->addWidget(m_combo);
  Fill();
  m_combo->setCurrentIndex(0);
  bar->installEventFilter(this);
  UpdateVisibility();
}

void CAdvisorAcctBar::Fill() {
  QString current = m_combo->currentText();
  QSignalBlocker block(m_combo);
  m_combo->clear();
  m_combo->addItem(QString::fromLatin1(kNone));
  if (const char* const* list = build_advisor_list())
    for (const char* const* p = list; *p; p++) m_combo->addItem(QString::fromLatin1(*p));
  int i = m_combo->findText(current);
  m_combo->setCurrentIndex(i > 0 ? i : 0);
}

void CAdvisorAcctBar::Apply() {
  int i = m_combo->currentIndex();
  if (i <= 0) {
    m_combo->setCurrentIndex(0);
    set_advisor_target(nullptr);
  } else {
    QByteArray text = m_combo->currentText().toLatin1().left(ADVISOR_TARGET_MAX);
    set_advisor_target(text.constData());
  }
  if (QWidget* p = m_bar->parentWidget()) p->setFocus();
}

void CAdvisorAcctBar::UpdateVisibility() {
  if (!advisor_mode()) m_bar->hide();
}

bool CAdvisorAcctBar::eventFilter(QObject* watched, QEvent* event) {
  // The bar is shown by the View menu, a restored layout or the frame:
  // outside advisor mode every show is undone at once (an explicit show;
  // the frame's own show finds the bar hidden).
  if (watched == m_bar && event->type() == QEvent::ShowToParent && !advisor_mode()) m_bar->hide();
  return QObject::eventFilter(watched, event);
}

CAdvisorAcctBar* install_advisor_bar(QToolBar* bar) {
  return bar ? new CAdvisorAcctBar(bar) : nullptr;
}
