// Property sheets: a dialog of pages with OK, Cancel, Apply Now and Help.
//
// Rules the program's sheets rely on:
//  - a page is built (OnInitDialog) the first time it is shown;
//  - OnSetActive runs on every switch to a page, OnKillActive (validation)
//    when leaving it; a page that refuses keeps the sheet on it;
//  - OK and Apply Now validate the active page, then call OnCheck of every
//    page built so far and, only when all pass, OnApply of each, in sheet
//    order; a page whose OnCheck or OnApply refuses keeps the sheet open on
//    that page (OK then does not close), so a refusal found by OnCheck
//    leaves every page's settings unstored;
//  - a page marks itself modified (SetModified); Apply Now is enabled while
//    any page is modified;
//  - after CancelToClose the Cancel button reads "Close";
//  - Help shows the help page of the active page's resource number.
#pragma once

#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>
#include <vector>

#include "platform/qt/dialog.h"

enum : int { ID_APPLY_NOW = 12321, ID_HELP = 57670 };

class KvPropertySheet;

class KvPropertyPage : public KvDialog {
 public:
  KvPropertyPage(unsigned resource_id, const QString& caption);

  QString caption() const { return m_caption; }
  KvPropertySheet* sheet() const { return m_sheet; }

  virtual bool OnSetActive() { return true; }
  // Leaving the page (or OK, Apply Now): the default takes and checks the
  // controls' values.
  virtual bool OnKillActive() { return UpdateData(true); }
  // Checks the page's values without storing any (shows its own message);
  // false refuses.  Runs for every built page before any page applies.
  virtual bool OnCheck() { return true; }
  // Applies the page; the default clears the modified mark. false refuses.
  virtual bool OnApply();
  virtual void OnReset() {}

  void SetModified(bool modified = true);
  bool IsModified() const { return m_modified; }

 protected:
  // A page is not a window of its own: Enter and Escape go to the sheet.
  void OnOK() override;
  void OnCancel() override;

 private:
  friend class KvPropertySheet;
  QString m_caption;
  KvPropertySheet* m_sheet = nullptr;
  bool m_modified = false;
};

class KvPropertySheet : public KvDialog {
 public:
  KvPropertySheet(const QString& caption, QWidget* parent = nullptr, int start_page = 0);
  // Gives back the pages that still exist (the sheet does not own them).
  ~KvPropertySheet() override;

  void AddPage(KvPropertyPage* page);  // the sheet does not own the page
  int GetPageCount() const { return int(m_pages.size()); }
  KvPropertyPage* GetPage(int i) const { return m_pages[size_t(i)]; }
  int GetActiveIndex() const { return m_active; }
  KvPropertyPage* GetActivePage() const {
    return m_active >= 0 ? m_pages[size_t(m_active)] : nullptr;
  }
  bool SetActivePage(int index);

  void CancelToClose();
  // Runs OK, Apply Now or Cancel as the buttons do.
  void PressButton(int id);
  // true when every page applied.
  bool Apply();
  void page_modified_changed();

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnHelp() override;

 private:
  bool show_page(int index);
  std::vector<QPointer<KvPropertyPage>> m_pages;
  std::vector<bool> m_built;
  QTabBar* m_tabs;
  QStackedWidget* m_stack;
  int m_active = -1;
  int m_start;
  bool m_switching = false;
};
