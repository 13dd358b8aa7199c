// Dialogs with numeric control ids, data exchange, the window system's
// control rules and property sheets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "platform/qt/controls.h"
#include "platform/qt/propsheet.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"

namespace {

class Dialogs : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
  }
};

// A dialog with a period (integer), a width (integer 1 to 10), a name and a
// price choice of three radios.
struct PeriodDlg : KvDialog {
  int period = 14, width = 1, price = 1, shown = 1;
  QString name = QStringLiteral("RSI");
  int helped = 0;
  PeriodDlg() : KvDialog(151) {
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(AddControl(1015, new QLineEdit));
    lay->addWidget(AddControl(1217, new QLineEdit));
    lay->addWidget(AddControl(1024, new QLineEdit));
    lay->addWidget(AddControl(1017, new QRadioButton(QStringLiteral("Open"))));
    lay->addWidget(AddControl(1019, new QRadioButton(QStringLiteral("High"))));
    lay->addWidget(AddControl(1020, new QRadioButton(QStringLiteral("Low"))));
    lay->addWidget(AddControl(1227, new QCheckBox(QStringLiteral("Show"))));
    lay->addWidget(AddControl(IDOK, new QPushButton(QStringLiteral("OK"))));
    lay->addWidget(AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"))));
    AddRadioGroup({1017, 1019, 1020});
  }
  void DoDataExchange(KvDataExchange& dx) override {
    DDX_Text(dx, 1015, period);
    DDX_Text(dx, 1217, width);
    DDV_MinMaxInt(dx, width, 1, 10);
    DDX_Text(dx, 1024, name);
    DDX_Radio(dx, 1017, price);
    DDX_Check(dx, 1227, shown);
  }
};

TEST_F(Dialogs, ControlsAreFoundByIdAndExchangeTheirValues) {
  PeriodDlg dlg;
  dlg.EnsureInitialized();
  EXPECT_EQ(dlg.Item<QLineEdit>(1015)->text(), QStringLiteral("14"));
  EXPECT_TRUE(dlg.Item<QRadioButton>(1019)->isChecked());
  EXPECT_EQ(kv_control_id(dlg.GetDlgItem(1020)), 1020);
  EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);

  ASSERT_TRUE(kv_type(&dlg, 1015, QStringLiteral(" 21 ")));
  ASSERT_TRUE(kv_type(&dlg, 1024, QStringLiteral("Mine")));
  ASSERT_TRUE(kv_click(&dlg, 1020));
  ASSERT_TRUE(kv_set_check(&dlg, 1227, false));
  ASSERT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.period, 21);
  EXPECT_EQ(dlg.name, QStringLiteral("Mine"));
  EXPECT_EQ(dlg.price, 2);  // radios count in group order
  EXPECT_EQ(dlg.shown, 0);
  EXPECT_TRUE(services_.boxes.empty());
}

TEST_F(Dialogs, BadEntriesAreRefusedWithTheSystemTextsAndStopTheExchange) {
  struct Case {
    const char* period;
    const char* width;
    const char* message;
  };
  const Case cases[] = {
      {"abc", "3", "Please enter an integer."},
      {"12x", "3", "Please enter an integer."},
      {"", "3", "Please enter an integer."},
      {"14", "11", "Please enter an integer between 1 and 10."},
      {"14", "0", "Please enter an integer between 1 and 10."},
  };
  for (const Case& c : cases) {
    services_.boxes.clear();
    PeriodDlg dlg;
    dlg.EnsureInitialized();
    kv_type(&dlg, 1015, QString::fromLatin1(c.period));
    kv_type(&dlg, 1217, QString::fromLatin1(c.width));
    kv_type(&dlg, 1024, QStringLiteral("Changed"));
    EXPECT_FALSE(dlg.UpdateData(true)) << c.period << " " << c.width;
    ASSERT_EQ(services_.boxes.size(), 1u);
    EXPECT_EQ(services_.boxes[0].text, c.message);
    EXPECT_EQ(dlg.name, QStringLiteral("RSI"));  // the exchange stopped before the name
    // OK keeps the dialog open.
    dlg.show();
    kv_click(&dlg, IDOK);
    EXPECT_TRUE(dlg.isVisible());
  }
}

TEST(NumberEntries, OnlyPlainDecimalFormsAreNumbers) {
  struct IntCase {
    const char* text;
    bool ok;
    int value;
  };
  for (IntCase c : {IntCase{" 12 ", true, 12},
                    {"+5", true, 5},
                    {"-7", true, -7},
                    {"2147483647", true, 2147483647},
                    {"2147483648", false, 0},
                    {"0x10", false, 0},
                    {"1 2", false, 0},
                    {"3.0", false, 0}}) {
    int v = 0;
    EXPECT_EQ(kv_parse_int(QString::fromLatin1(c.text), &v), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(v, c.value) << c.text;
  }
  struct DoubleCase {
    const char* text;
    bool ok;
    double value;
  };
  for (DoubleCase c : {DoubleCase{"3.5", true, 3.5},
                       {" -0.25", true, -0.25},
                       {"1e3", true, 1000},
                       {".5", true, 0.5},
                       {"nan", false, 0},
                       {"inf", false, 0},
                       {"-Infinity", false, 0},
                       {"0x1p3", false, 0},
                       {"1e999", false, 0},
                       {"3,5", false, 0},
                       {"", false, 0}}) {
    double v = 0;
    EXPECT_EQ(kv_parse_double(QString::fromLatin1(c.text), &v), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST_F(Dialogs, ModalDialogEndsWithItsButtonsCode) {
  PeriodDlg dlg;
  kv_when_modal([](QWidget* w) {
    kv_type(w, 1015, QStringLiteral("30"));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.period, 30);

  PeriodDlg dlg2;
  kv_when_modal([](QWidget* w) { kv_click(w, IDCANCEL); });
  EXPECT_EQ(dlg2.DoModal(), IDCANCEL);
}

TEST_F(Dialogs, EditableComboReportsNoSelectionOnceTheUserTypes) {
  QWidget holder;
  KvComboBox& combo = *new KvComboBox(true, &holder);
  combo.setObjectName(kv_control_name(1024));
  combo.AddString(QStringLiteral("*RSI"));
  combo.AddString(QStringLiteral("RSI(14)"));
  combo.SetItemData(1, 0xBEEF);
  combo.SetCurSel(1);
  EXPECT_EQ(combo.GetCurSel(), 1);
  EXPECT_EQ(combo.GetItemData(1), 0xBEEFu);
  ASSERT_TRUE(kv_type(&holder, 1024, QStringLiteral("My RSI")));
  EXPECT_EQ(combo.GetCurSel(), CB_ERR);
  EXPECT_EQ(combo.GetWindowText(), QStringLiteral("My RSI"));
  // Choosing an item from the list selects again.
  ASSERT_TRUE(kv_choose(&holder, 1024, 0));
  EXPECT_EQ(combo.GetCurSel(), 0);

  KvComboBox list(false);  // a drop-list cannot be typed into
  list.AddString(QStringLiteral("a"));
  list.SetCurSel(0);
  EXPECT_EQ(list.GetCurSel(), 0);
  list.SetCurSel(-1);
  EXPECT_EQ(list.GetCurSel(), CB_ERR);
  EXPECT_EQ(list.FindStringExact(-1, QStringLiteral("A")), 0);
}

// Code that fills a list and then asks for the selection, or deletes the
// selected item, must see no selection.
TEST_F(Dialogs, FillingSelectsNothingAndDeletingTheSelectedItemLeavesNoSelection) {
  KvComboBox droplist(false), dropdown(true);
  KvListBox list;
  dropdown.SetWindowText(QStringLiteral("typed"));
  for (const char* t : {"a", "b", "c"}) {
    droplist.AddString(QString::fromLatin1(t));
    dropdown.AddString(QString::fromLatin1(t));
    list.AddString(QString::fromLatin1(t));
  }
  EXPECT_EQ(droplist.GetCurSel(), CB_ERR);
  EXPECT_EQ(dropdown.GetCurSel(), CB_ERR);
  EXPECT_EQ(dropdown.GetWindowText(), QStringLiteral("typed"));
  EXPECT_EQ(list.GetCurSel(), LB_ERR);

  droplist.SetCurSel(1);
  dropdown.SetCurSel(1);
  list.SetCurSel(1);
  droplist.InsertString(0, QStringLiteral("z"));  // the selection stays with its item
  EXPECT_EQ(droplist.GetCurSel(), 2);
  droplist.DeleteString(2);
  dropdown.DeleteString(1);
  list.DeleteString(1);
  EXPECT_EQ(droplist.GetCurSel(), CB_ERR);
  EXPECT_EQ(dropdown.GetCurSel(), CB_ERR);
  EXPECT_EQ(dropdown.GetWindowText(), QStringLiteral("b"));  // the edit field keeps its text
  EXPECT_EQ(list.GetCurSel(), LB_ERR);
  // Deleting another item keeps the selection on its item.
  list.SetCurSel(1);
  list.DeleteString(0);
  EXPECT_EQ(list.GetCurSel(), 0);
  EXPECT_EQ(list.GetText(0), QStringLiteral("c"));
}

TEST_F(Dialogs, SpinUpArrowGivesMinusOne) {
  KvSpinButton spin;
  std::vector<int> deltas;
  QObject::connect(&spin, &KvSpinButton::deltaPos, [&](int d) { deltas.push_back(d); });
  spin.upButton()->click();
  spin.downButton()->click();
  EXPECT_EQ(deltas, (std::vector<int>{-1, 1}));
}

// ---- property sheets -----------------------------------------------------------

std::vector<std::string> g_log;

struct Page : KvPropertyPage {
  std::string tag;
  int value = 5;
  Page(unsigned id, const char* t) : KvPropertyPage(id, QString::fromLatin1(t)), tag(t) {
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(AddControl(int(1000 + id), new QLineEdit));
  }
  bool OnInitDialog() override {
    g_log.push_back("init " + tag);
    return KvPropertyPage::OnInitDialog();
  }
  bool OnSetActive() override {
    g_log.push_back("active " + tag);
    return true;
  }
  void DoDataExchange(KvDataExchange& dx) override {
    DDX_Text(dx, int(1000 + GetResourceId()), value);
  }
  bool OnApply() override {
    g_log.push_back("apply " + tag);
    return KvPropertyPage::OnApply();
  }
};

struct Sheet {
  Page a{219, "A"}, b{145, "B"}, c{138, "C"};
  KvPropertySheet sheet{QStringLiteral("Studies"), nullptr, 0};
  Sheet() {
    sheet.AddPage(&a);
    sheet.AddPage(&b);
    sheet.AddPage(&c);
  }
};

TEST_F(Dialogs, SheetBuildsPagesWhenShownAndAppliesOnlyThoseInOrder) {
  g_log.clear();
  Sheet s;
  std::vector<unsigned> helps;
  kv_set_help_handler([&](unsigned id) { helps.push_back(id); });
  kv_when_modal([&](QWidget*) {
    s.sheet.SetActivePage(2);
    s.sheet.SetActivePage(0);
    kv_click(&s.sheet, ID_HELP);
    kv_click(&s.sheet, IDOK);
  });
  EXPECT_EQ(s.sheet.DoModal(), IDOK);
  kv_set_help_handler(nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"init A", "active A", "init C", "active C", "active A",
                                             "apply A", "apply C"}));
  EXPECT_EQ(helps, std::vector<unsigned>{219});  // the active page's number
}

TEST_F(Dialogs, OkOnABadIntegerShowsTheMessageAndAppliesNothing) {
  g_log.clear();
  Sheet s;
  kv_when_modal([&](QWidget*) {
    s.sheet.SetActivePage(1);
    kv_type(&s.sheet, 1145, QStringLiteral("x1"));
    kv_click(&s.sheet, IDOK);  // refused: stays open
    EXPECT_TRUE(s.sheet.isVisible());
    EXPECT_EQ(s.sheet.GetActiveIndex(), 1);
    kv_click(&s.sheet, IDCANCEL);
  });
  EXPECT_EQ(s.sheet.DoModal(), IDCANCEL);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "Please enter an integer.");
  for (const std::string& e : g_log) EXPECT_EQ(e.rfind("apply", 0), std::string::npos) << e;
}

TEST_F(Dialogs, ApplyNowFollowsTheModifiedMarkAndCancelReadsCloseAfterCancelToClose) {
  g_log.clear();
  Sheet s;
  kv_when_modal([&](QWidget*) {
    auto* apply = s.sheet.Item<QPushButton>(ID_APPLY_NOW);
    EXPECT_FALSE(apply->isEnabled());
    s.a.SetModified();
    EXPECT_TRUE(apply->isEnabled());
    kv_click(&s.sheet, ID_APPLY_NOW);
    EXPECT_FALSE(apply->isEnabled());  // applying clears the mark
    s.sheet.CancelToClose();
    EXPECT_EQ(s.sheet.Item<QPushButton>(IDCANCEL)->text(), QStringLiteral("Close"));
    // A page that refuses to be left keeps the sheet on it.
    kv_type(&s.sheet, 1219, QStringLiteral("bad"));
    EXPECT_FALSE(s.sheet.SetActivePage(1));
    EXPECT_EQ(s.sheet.GetActiveIndex(), 0);
    kv_click(&s.sheet, IDCANCEL);
  });
  EXPECT_EQ(s.sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(std::count(g_log.begin(), g_log.end(), std::string("apply A")), 1);
}

}  // namespace
