// Replaceable services and shared-library loading.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/testing/fixture.h"

namespace {

class ServicesTest : public TempRootTest {};

TEST_F(ServicesTest, RecordingServicesAnswerInPlaceOfTheUser) {
  services_.box_answers.push_back(IDYES);
  EXPECT_EQ(kv_message_box("Take over settings?", "Korvane", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(kv_message_box("Sure?", "Korvane", MB_YESNO | MB_DEFBUTTON2),
            IDNO);  // queue empty: default
  ASSERT_EQ(services_.boxes.size(), 2u);
  EXPECT_EQ(services_.boxes[0].text, "Take over settings?");
  EXPECT_EQ(services_.boxes[0].style, (unsigned)(MB_YESNO | MB_ICONQUESTION));

  services_.dialog_answers.push_back("/data/IBM.slf");
  kv_file_dialog_request req{0, "Open", nullptr, nullptr, "slf", "Symbol Lists (*.slf)|*.slf||", 0};
  char path[KV_MAX_PATH];
  EXPECT_EQ(kv_file_dialog(&req, path, sizeof path), 1);
  EXPECT_STREQ(path, "/data/IBM.slf");
  EXPECT_EQ(kv_file_dialog(&req, path, sizeof path), 0);

  EXPECT_EQ(kv_play_sound("/snd/alert.wav"), 1);
  EXPECT_EQ(services_.sounds, std::vector<std::string>{"/snd/alert.wav"});
  const char *args[] = {"https://example.invalid/help", nullptr};
  EXPECT_EQ(kv_launch("xdg-open", args, nullptr), 4242);
  ASSERT_EQ(services_.launches.size(), 1u);
  EXPECT_EQ(services_.launches[0].args, std::vector<std::string>{"https://example.invalid/help"});

  char name[64];
  kv_computer_name(name, sizeof name);
  EXPECT_STREQ(name, "TESTHOST");
  EXPECT_EQ(kv_set_system_clock(1000), 0);
  EXPECT_EQ(services_.clock_sets, std::vector<int64_t>{1000});
}

TEST_F(ServicesTest, DefaultAnswersFollowTheStyle) {
  struct {
    unsigned style;
    int answer;
  } cases[] = {
      {MB_OK, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_YESNO, IDYES},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
      {MB_RETRYCANCEL, IDRETRY},
  };
  for (auto &c : cases) EXPECT_EQ(kv_message_box_default_answer(c.style), c.answer) << c.style;
}

TEST_F(ServicesTest, DefaultLauncherPassesArgumentsWithoutAShell) {
  // A name a shell would expand or split must arrive as one literal file name.
  std::string odd = root_.file("a b;$(echo x)*");
  const char *args[] = {odd.c_str(), nullptr};
  kv_launch_options opt{nullptr, 1, 0};
  EXPECT_EQ(kv_default_services()->launch(nullptr, "touch", args, &opt), 0);
  EXPECT_TRUE(kv_file_exists(odd.c_str()));
  EXPECT_EQ(kv_default_services()->launch(nullptr, "no-such-program-kv", args, &opt), -1);
  kv_launch_options in_dir{root_.path().c_str(), 1, 0};
  const char *rel[] = {"made-here", nullptr};
  EXPECT_EQ(kv_default_services()->launch(nullptr, "touch", rel, &in_dir), 0);
  EXPECT_TRUE(kv_file_exists(root_.file("made-here").c_str()));
}

TEST_F(ServicesTest, DefaultClockServiceRefusesUnlessAllowed) {
  // Only the refusal is tried: the tests may run with the right to set the
  // clock, which they must not use.
  EXPECT_EQ(kv_default_services()->set_system_clock(nullptr, 0), 0);
  char name[256];
  EXPECT_EQ(kv_default_services()->computer_name(nullptr, name, sizeof name), 1);
  EXPECT_GT(strlen(name), 0u);
}

// The path of the loaded C math library, to stand in for a plug-in.
std::string math_library_path() {
  void *h = dlopen("libm.so.6", RTLD_NOW);
  if (!h) return "";
  void *sym = dlsym(h, "cos");
  Dl_info info;
  std::string p = sym && dladdr(sym, &info) && info.dli_fname ? info.dli_fname : "";
  dlclose(h);
  return p;
}

TEST_F(ServicesTest, LibraryIsFoundInItsFolderWhateverTheCase) {
  std::string lib = math_library_path();
  if (lib.empty()) GTEST_SKIP() << "no math library to load";
  std::string folder = root_.file("Ferlumes");
  kv_make_dirs(folder.c_str(), nullptr);
  ASSERT_TRUE(kv_copy_file(lib.c_str(), (folder + "/Ferlume1.so").c_str(), 0, nullptr));

  kv_dynlib *d = kv_dynlib_open(root_.file("ferlumes").c_str(), "ferlume1");
  ASSERT_NE(d, nullptr) << kv_dynlib_error();
  EXPECT_EQ(std::string(kv_dynlib_path(d)), folder + "/Ferlume1.so");
  auto cosine = (double (*)(double))kv_dynlib_symbol(d, "cos");
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(kv_dynlib_symbol(d, "getVersionMissing"), nullptr);
  kv_dynlib_close(d);

  EXPECT_EQ(kv_dynlib_open(folder.c_str(), "Ferlume2"), nullptr);
  EXPECT_NE(std::string(kv_dynlib_error()), "");
  EXPECT_EQ(kv_dynlib_open(folder.c_str(), "../Ferlumes/Ferlume1"), nullptr);
}

}  // namespace
