// The symbol-list toolbar of a started main frame: the entries it lists
// and what choosing each one makes current.
#include <gtest/gtest.h>

#include <QToolBar>
#include <cstring>

#include "broker/twsacct.h"
#include "data/symlist.h"
#include "platform/qt/controls.h"
#include "platform/qt/test_harness.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "shell/mainfrm.h"
#include "shell/slfbar.h"
#include "shell/tests/shell_fixture.h"

namespace {

class SlfBar : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    app_ = start();
    bar_ = CSymbolListBar::Instance();
    ASSERT_NE(bar_, nullptr);
  }
  void TearDown() override {
    CSymbolListBar::s_account_symbols = get_account_symbols;
    ShellTest::TearDown();
  }
  QStringList entries() const {
    QStringList out;
    for (int i = 0; i < bar_->combo()->GetCount(); i++) out << bar_->combo()->GetLBText(i);
    return out;
  }
  // The user opens the list (it is filled again) and picks an entry.
  void choose(int index) {
    bar_->combo()->showPopup();
    bar_->combo()->hidePopup();
    kv_choose(app_->MainFrame()->GetControlBar(ID_SLF_BAR), IDC_SLF_COMBO, index);
  }
  static const char* const* two_accounts() {
    static const char* const list[] = {"A~U111", "A~U222", nullptr};
    return list;
  }
  CKvChartApp* app_ = nullptr;
  CSymbolListBar* bar_ = nullptr;
};

TEST_F(SlfBar, WithoutListFilesAndAccountsOnlyNone) {
  EXPECT_EQ(entries(), QStringList{"---none---"});
  EXPECT_EQ(bar_->combo()->GetCurSel(), 0);
  EXPECT_EQ(app_->m_symbol_list_path[0], 0);
}

TEST_F(SlfBar, ChoosingAListAnAccountAndNone) {
  write_data("SLF/Tech.slf", "IBM International Business Machines\nMSFT\n");
  write_data("SLF/banks.slf", "C\n");
  write_data("SLF/notes.txt", "");
  CSymbolListBar::s_account_symbols = two_accounts;
  choose(4);
  EXPECT_EQ(entries(), (QStringList{"---none---", "A~U111", "A~U222", "banks", "Tech"}));
  EXPECT_EQ(std::string(app_->m_symbol_list_path), data_file("SLF/Tech.slf"));
  EXPECT_STREQ(g_slf_title, "Tech");
  EXPECT_EQ(symbol_list_count(), 2);
  EXPECT_EQ(g_portfolio_slot, 0);

  // The second account: its slot, and no symbol list any more.
  choose(2);
  EXPECT_STREQ(app_->m_pl_account, "A~U222");
  EXPECT_EQ(g_portfolio_slot, 1);
  EXPECT_STREQ(g_slf_title, "");
  EXPECT_EQ(app_->m_symbol_list_path[0], 0);
  EXPECT_EQ(symbol_list_count(), 0);

  choose(3);
  EXPECT_STREQ(g_slf_title, "banks");
  EXPECT_STREQ(app_->m_pl_account, "");
  choose(0);
  EXPECT_EQ(bar_->combo()->GetCurSel(), 0);
  EXPECT_STREQ(g_slf_title, "");
  EXPECT_EQ(app_->m_symbol_list_path[0], 0);
  EXPECT_EQ(g_portfolio_slot, 0);
}

TEST_F(SlfBar, SelectSymbolListByNameOrNone) {
  write_data("SLF/Tech.slf", "IBM\nMSFT\nORCL\n");
  bar_->Fill();
  // Through the shell's hook, as the start-up and the File menu call it:
  // the named list is current (and loaded once).
  ASSERT_TRUE(g_shell_hooks.select_symbol_list);
  g_shell_hooks.select_symbol_list("Tech");
  EXPECT_EQ(bar_->combo()->currentText(), QStringLiteral("Tech"));
  EXPECT_EQ(std::string(app_->m_symbol_list_path), data_file("SLF/Tech.slf"));
  EXPECT_EQ(symbol_list_count(), 3);
  // Names are matched exactly; another name selects none and clears.
  g_shell_hooks.select_symbol_list("tech");
  EXPECT_EQ(bar_->combo()->GetCurSel(), 0);
  EXPECT_STREQ(g_slf_title, "");
  EXPECT_EQ(app_->m_symbol_list_path[0], 0);
  EXPECT_EQ(symbol_list_count(), 0);
}

TEST_F(SlfBar, Picture) {
  write_data("SLF/Tech.slf", "IBM\n");
  bar_->Fill();
  bar_->SelectSymbolList("Tech");
  QToolBar* bar = app_->MainFrame()->GetControlBar(ID_SLF_BAR);
  bar->show();
  EXPECT_TRUE(kv_grab_png(bar, QStringLiteral(KV_BINARY_DIR "/slf_bar.png")));
}

}  // namespace
