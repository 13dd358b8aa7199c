// The symbol-list toolbar: one drop-down list on the main frame's "SLF" bar
// that makes a symbol list file (SLF/*.slf) current for the whole program,
// or chooses the account whose positions the profit-and-loss windows show,
// or clears both ("---none---").
//
// Entries: "---none---", then the account pseudo-symbols of the broker
// (item data: their position 0, 1, ...), then the list files by name
// (item data -1).  The list is filled again each time it drops down.
#pragma once

#include <QObject>

class KvComboBox;
class QToolBar;

enum : int { IDC_SLF_COMBO = 1014 };

class CSymbolListBar : public QObject {
 public:
  // Puts the list on the bar (which owns it), fills it, selects
  // "---none---" and empties the current symbol list path.
  explicit CSymbolListBar(QToolBar* bar);
  ~CSymbolListBar() override;

  // The bar of the main frame, null when none exists.
  static CSymbolListBar* Instance();

  void Fill();
  // The user chose entry index (-1: no selection).
  void Choose(int index);
  // Selects the entry named exactly name, else "---none---", which clears
  // the current symbol list.  A list file selected this way is current.
  void SelectSymbolList(const char* name);

  KvComboBox* combo() const { return m_combo; }
  // Where the account pseudo-symbols come from (the broker's list; tests
  // put their own).
  static const char* const* (*s_account_symbols)();
  int AccountCount() const { return m_account_count; }

 private:
  void clear_symbol_list();
  QToolBar* m_bar;
  KvComboBox* m_combo;
  int m_account_count = 0;
};

// Attaches the list to the frame's bar; null without a bar.
CSymbolListBar* install_symbol_list_bar(QToolBar* bar);
