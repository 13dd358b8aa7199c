// Services on Qt: file filters, the single-instance lock, the numeric locale.
#include <gtest/gtest.h>

#include <QDialog>
#include <QProcess>
#include <QWidget>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/qt/app.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/single_instance.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"

namespace {

class QtServices : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
  }
};

TEST_F(QtServices, FiltersOfTheProgramBecomeQtFilters) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"Korvane Page Layout Files (*.kvc)|*.kvc||", "Korvane Page Layout Files (*.kvc)"},
      {"Sound Files (*.wav)|*.wav||", "Sound Files (*.wav)"},
      {"Favorite Files (*.fav)|*.fav|All Files (*.*)|*.*||",
       "Favorite Files (*.fav);;All Files (*.*)"},
      {"Text|*.txt;*.csv||", "Text (*.txt *.csv)"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(kv_qt_filter(c.in).toStdString(), c.out) << c.in;
}

TEST_F(QtServices, SecondInstanceAsksTheFirstToComeForward) {
  KvSingleInstance first(QStringLiteral("OstrelanB"));
  ASSERT_TRUE(first.Acquire(true));
  int activated = 0;
  first.SetActivateHandler([&] { activated++; });

  KvSingleInstance silent(QStringLiteral("OstrelanB"));
  EXPECT_FALSE(silent.Acquire(false));
  KvSingleInstance second(QStringLiteral("OstrelanB"));
  EXPECT_FALSE(second.Acquire(true));
  EXPECT_TRUE(kv_wait_until([&] { return activated == 1; }));
  kv_pump_events(20);
  EXPECT_EQ(activated, 1);  // the silent start asked nothing

  KvSingleInstance other(QStringLiteral("OstrelanC"));
  EXPECT_TRUE(other.Acquire(true));  // another instance name runs beside it

  QWidget w;
  w.showMinimized();
  kv_bring_to_front(&w);
  EXPECT_FALSE(w.isMinimized());
}

TEST_F(QtServices, ColourDialogKeepsTheChoiceAndTheSixteenCustomColours) {
  COLORREF custom[16];
  for (int i = 0; i < 16; i++) custom[i] = COLORREF(0x010203 * i);
  COLORREF color = 0x4080FF;
  kv_when_modal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
  ASSERT_EQ(kv_choose_color(nullptr, &color, custom), 1);
  EXPECT_EQ(color, 0x4080FFu);
  for (int i = 0; i < 16; i++) EXPECT_EQ(custom[i], COLORREF(0x010203 * i)) << i;
  color = 0x123456;
  kv_when_modal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(kv_choose_color(nullptr, &color, custom), 0);
  EXPECT_EQ(color, 0x123456u);
}

// Run in a child process with a comma-decimal locale in the environment:
// the application object must leave LC_NUMERIC at "C".
TEST(NumericLocale, ChildProcess) {
  if (!std::getenv("KV_LOCALE_CHILD"))
    GTEST_SKIP() << "runs only as the child of NumericLocale.DotUnderCommaLocale";
  int argc = 1;
  char name[] = "locale-child";
  char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  KvApp app(argc, argv);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", 3.5);
  EXPECT_STREQ(buf, "3.5");
  EXPECT_EQ(std::strtod("2.25", nullptr), 2.25);
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

TEST(NumericLocale, DotUnderCommaLocale) {
  // Is there a comma-decimal locale on this machine?
  const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"};
  std::string found;
  for (const char* c : candidates) {
    if (std::setlocale(LC_NUMERIC, c)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%.1f", 3.5);
      if (std::strcmp(buf, "3,5") == 0) found = c;
    }
    std::setlocale(LC_NUMERIC, "C");
    if (!found.empty()) break;
  }
  if (found.empty())
    GTEST_SKIP() << "no comma-decimal locale installed (scripts/deps.sh generates de_DE.UTF-8)";
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("KV_LOCALE_CHILD"), QStringLiteral("1"));
  env.insert(QStringLiteral("LC_ALL"), QString::fromStdString(found));
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QStringLiteral("/proc/self/exe"),
              {QStringLiteral("--gtest_filter=NumericLocale.ChildProcess")});
  ASSERT_TRUE(child.waitForFinished(60000));
  QByteArray out = child.readAll();
  EXPECT_EQ(child.exitCode(), 0) << out.constData();
  EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
}

}  // namespace
