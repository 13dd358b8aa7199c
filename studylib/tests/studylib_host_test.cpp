// The study-library host with real shared libraries: the built Ferlume1
// found without regard to case, copies of it filling the twenty slots, and
// stand-in libraries that lack an export or report another version.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "data/tests/status_capture.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "studies/study.h"
#include "studies/studylib_host.h"
#include "studies/tests/study_fixture.h"

namespace {

const char *const kPluginDir = KV_BINARY_DIR "/bin/Ferlumes";
const char *const kFakeDir = KV_BINARY_DIR "/bin/FerlumeFakes";

class StudyLibHost : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    clear_study_dlls();
    use_folder(kFakeDir);
  }
  void TearDown() override {
    clear_study_dlls();
    g_study_lib_dir[0] = 0;
    TempRootTest::TearDown();
  }
  static void use_folder(const std::string &dir) {
    snprintf(g_study_lib_dir, sizeof g_study_lib_dir, "%s", dir.c_str());
  }

  static StudyDef lib_template(const char *lib, int index) {
    StudyDef t = study_template(STUDY_LIBRARY, 9, PRICE_CLOSE, 1, 0.5);
    snprintf(t.lib_name, sizeof t.lib_name, "%s", lib);
    t.lib_index = (int16_t)index;
    snprintf(t.name, sizeof t.name, "kept");
    return t;
  }
};

}  // namespace

TEST_F(StudyLibHost, FindsTheLibraryWithoutRegardToCaseAndKeepsItsSlot) {
  use_folder(kPluginDir);
  kv_dynlib *lib = load_study_dll("ferlume1");
  ASSERT_NE(lib, nullptr) << kv_dynlib_error();
  EXPECT_EQ(load_study_dll("ferlume1"), lib);
  EXPECT_STREQ(g_study_libs[0].name, "ferlume1");
  EXPECT_STREQ(g_study_libs[1].name, "");
  // names are compared exactly: another spelling takes its own slot
  EXPECT_NE(load_study_dll("Ferlume1"), nullptr);
  EXPECT_STREQ(g_study_libs[1].name, "Ferlume1");

  free_study_dlls();
  EXPECT_EQ(g_study_libs[0].lib, nullptr);
  EXPECT_EQ(load_study_dll("ferlume1"), nullptr);  // not loaded again after the exit's unloading
}

TEST_F(StudyLibHost, AMissingLibraryIsReportedOnce) {
  StatusCapture cap;
  EXPECT_EQ(load_study_dll("nosuch"), nullptr);
  ASSERT_EQ(cap.take().size(), 1u);
  EXPECT_EQ(cap.lines[0], std::string("Unable to load ") + kFakeDir + "/nosuch.so");
  EXPECT_EQ(cap.levels[0], STATMSG_ADD);
  EXPECT_EQ(load_study_dll("nosuch"), nullptr);
  EXPECT_EQ(cap.take().size(), 1u);
}

TEST_F(StudyLibHost, NamesThatAreNoFileNameNeverLoad) {
  StatusCapture cap;
  for (const char *name : {"../Ferlumes/Ferlume1", "..", "a\\b", "bad\x01name"}) {
    EXPECT_EQ(load_study_dll(name), nullptr) << name;
  }
  char long_name[40];
  memset(long_name, 'x', sizeof long_name - 1);
  long_name[sizeof long_name - 1] = 0;
  EXPECT_EQ(load_study_dll(long_name), nullptr);
  EXPECT_EQ(load_study_dll(""), nullptr);
  // a relative folder would load code from wherever the program runs
  use_folder("bin/Ferlumes");
  EXPECT_EQ(load_study_dll("Ferlume1"), nullptr);
}

TEST_F(StudyLibHost, TwentyLibrariesAtMost) {
  root_.write("FERLUMES/.keep", "");
  std::string dir = root_.file("FERLUMES");
  for (int i = 0; i <= STUDY_LIB_SLOTS; i++) {
    std::string to = dir + "/lib" + std::to_string(i) + ".so";
    ASSERT_TRUE(
        kv_copy_file((std::string(kPluginDir) + "/Ferlume1.so").c_str(), to.c_str(), 0, nullptr));
  }
  use_folder(dir);
  StatusCapture cap;
  for (int i = 0; i < STUDY_LIB_SLOTS; i++)
    EXPECT_NE(load_study_dll(("lib" + std::to_string(i)).c_str()), nullptr) << i;
  EXPECT_EQ(load_study_dll("lib20"), nullptr);
  EXPECT_TRUE(cap.take().empty());  // refused without a message
  EXPECT_NE(load_study_dll("lib7"), nullptr);
  clear_study_dlls();
  EXPECT_NE(load_study_dll("lib20"), nullptr);
}

TEST_F(StudyLibHost, RefusalsShowTheirTextOnlyWhenAsked) {
  struct refusal {
    const char *lib;
    const char *text;  // "" = refused without a message
  };
  const refusal cases[] = {
      {"fake_v8", "UserStudy DLL Version = 8, Korvane Version = 7\n"},
      {"fake_noversion", "getVersion() not defined"},
      {"fake_nonumber", "getNumberStudies() not defined"},
      {"fake_noptr", "getPtrValue() not defined"},
      {"fake_nocallbacks", "putCallbacks() not defined"},
      {"fake_noparams", "getParamValues() not defined"},
      {"fake_badtype", ""},  // a built-in type would be sized and computed as one
  };
  for (const refusal &c : cases) {
    for (int report : {0, 1}) {
      services_.boxes.clear();
      StudyDef t = lib_template(c.lib, 0);
      EXPECT_EQ(bind_user_study_report(&t, report), 0) << c.lib;
      if (report && c.text[0]) {
        ASSERT_EQ(services_.boxes.size(), 1u) << c.lib;
        EXPECT_EQ(services_.boxes[0].text, c.text);
      } else {
        EXPECT_TRUE(services_.boxes.empty()) << c.lib << " " << report;
      }
    }
  }
}

TEST_F(StudyLibHost, BindingTakesTheLibrarysDescriptionAndHandsOverTheTable) {
  kv_dynlib *lib = load_study_dll("fake_ok");
  ASSERT_NE(lib, nullptr) << kv_dynlib_error();
  auto table = (StudyCallbackTable * (*)(void)) kv_dynlib_symbol(lib, "fakeTable");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table(), nullptr);

  StudyDef t = lib_template("fake_ok", 0);
  ASSERT_EQ(bind_user_study(&t), 1);
  EXPECT_EQ(table(), &g_study_callbacks);
  EXPECT_EQ(t.type, 0x4000280);
  EXPECT_EQ(t.output_count, 1);
  EXPECT_EQ(t.pane_group, 4u);
  EXPECT_EQ(t.param_flags, 0x100u);
  EXPECT_NE(t.compute, nullptr);
  // the library's over-long texts are cut to the fields and terminated
  EXPECT_EQ(
      std::string(t.name),
      "*" + std::string("A very long study name that goes on well beyond the sixty-three ", 62));
  EXPECT_EQ(std::string(t.abbrev, sizeof t.abbrev), "ABCDEFGH");
  // the study's own parameters stay
  EXPECT_EQ(t.period, 9);
  EXPECT_EQ(t.method, 1);
  EXPECT_EQ(t.p1, 0.5);

  StudyDef second = lib_template("fake_ok", 1);  // a study without a name
  ASSERT_EQ(bind_user_study(&second), 1);
  EXPECT_STREQ(second.name, "*");
  EXPECT_EQ(second.abbrev[0], 0);

  for (int index : {2, -1, 32767}) {
    StudyDef bad = lib_template("fake_ok", index);
    EXPECT_EQ(bind_user_study(&bad), 0) << index;
    EXPECT_EQ(bind_user_study_report(&bad, 1), 0) << index;
  }
  StudyDef none = lib_template("", 0);
  EXPECT_EQ(bind_user_study(&none), 0);
}

// A record read back from a page layout keeps its name and parameters,
// but its number of series is the library's: the library's function fills
// that many whatever the file said.
TEST_F(StudyLibHost, ALayoutRecordGetsTheLibrarysSeriesCount) {
  use_folder(kPluginDir);
  StudyDef t = lib_template("Ferlume1", 2);  // the average true range: two series
  t.output_count = 1;
  ASSERT_EQ(bind_user_study_report(&t, 1), 1);
  EXPECT_EQ(t.output_count, 2);
  EXPECT_STREQ(t.name, "kept");
  EXPECT_EQ(t.period, 9);
}

TEST_F(StudyLibHost, TheEngineCreatesLibraryStudiesThroughTheHost) {
  test_chart c(16);
  for (int i = 0; i < 6; i++) c.add_close((float)i);
  StatusCapture cap;
  StudyDef *s =
      find_or_create_study(c.chart(), STUDY_LIBRARY, "fake_ok", 0, 3, 4, 0, 0.0, 0.0, 0.0, 0.0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->type, 0x4000280);
  EXPECT_EQ(s->period, 3);
  EXPECT_FLOAT_EQ(s->outputs[5], 5);
  EXPECT_EQ(
      find_or_create_study(c.chart(), STUDY_LIBRARY, "fake_ok", 0, 3, 4, 0, 0.0, 0.0, 0.0, 0.0), s);

  EXPECT_EQ(
      find_or_create_study(c.chart(), STUDY_LIBRARY, "fake_v8", 0, 3, 4, 0, 0.0, 0.0, 0.0, 0.0),
      nullptr);
  EXPECT_TRUE(cap.saw("Unknown external study"));
}
