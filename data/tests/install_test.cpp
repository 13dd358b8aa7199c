// Installation set-up: env.txt, the first-run copies, taking over an old
// data root.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "data/cmdline.h"
#include "data/install.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "shell/core/settingsio.h"

namespace {

class InstallTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    inst_ = root_.file("inst");
    setenv("KORVANE_INSTALLDIR", inst_.c_str(), 1);
    unsetenv("KORVANE_SHORTCUTDIR");
    set_profile_company("");
    g_instance_letter = 0;
    g_move_data_directories = nullptr;
  }
  void TearDown() override {
    unsetenv("KORVANE_INSTALLDIR");
    unsetenv("KORVANE_SHORTCUTDIR");
    g_move_data_directories = nullptr;
    TempRootTest::TearDown();
  }
  // The files of a fresh installation: the marker and the USR defaults.
  void installer_files() {
    root_.write("inst/INSTALL.VER", "7\n");
    for (const char *f : {"pages.kvc", "sounds.cfg", "INTC.dyd", "INTC.1min", "DEFAULT_STK.orddef",
                          "DEFAULT_FUT.orddef"})
      root_.write((std::string("inst/USR/") + f).c_str(), std::string("usr ") + f);
  }
  std::string inst_;
};

TEST_F(InstallTest, FirstRunCopiesTheDefaultsOnceAndNeverOverwrites) {
  installer_files();
  root_.write("inst/CONFIG/Sounds.cfg", "mine");  // the user's own, in another case
  root_.write("inst/DATA/INTC.dyd", "my bars");
  setenv("KORVANE_SHORTCUTDIR", "/home/u/Desktop", 1);

  EXPECT_EQ(PrepareInstallation(), 1);
  EXPECT_FALSE(kv_file_exists((inst_ + "/INSTALL.VER").c_str()));
  EXPECT_EQ(root_.read("inst/env.txt"),
            "KORVANE_INSTALLDIR=" + inst_ + "\nKORVANE_SHORTCUTDIR=/home/u/Desktop\n");
  EXPECT_EQ(root_.read("inst/CONFIG/pages.kvc"), "usr pages.kvc");
  EXPECT_EQ(root_.read("inst/CONFIG/Sounds.cfg"), "mine");
  EXPECT_FALSE(kv_file_exists((inst_ + "/CONFIG/sounds.cfg").c_str()));
  EXPECT_EQ(root_.read("inst/DATA/INTC.dyd"), "my bars");
  for (const char *f : {"INTC.1min", "DEFAULT_STK.orddef", "DEFAULT_FUT.orddef"})
    EXPECT_EQ(root_.read((std::string("inst/DATA/") + f).c_str()), std::string("usr ") + f);
  EXPECT_EQ(g_move_data_directories, &move_data_directories);

  // Later starts: no marker, nothing copied again; env.txt follows the
  // variables of that start.
  root_.write("inst/CONFIG/pages.kvc", "edited");
  unsetenv("KORVANE_SHORTCUTDIR");
  EXPECT_EQ(PrepareInstallation(), 0);
  EXPECT_EQ(root_.read("inst/CONFIG/pages.kvc"), "edited");
  EXPECT_EQ(root_.read("inst/env.txt"), "KORVANE_INSTALLDIR=" + inst_ + "\nKORVANE_SHORTCUTDIR=\n");
}

TEST_F(InstallTest, AVariableCannotAddLinesToEnvTxt) {
  setenv("KORVANE_SHORTCUTDIR", "/a\nKORVANE_INSTALLDIR=/evil", 1);
  EXPECT_EQ(PrepareInstallation(), 0);
  EXPECT_EQ(root_.read("inst/env.txt"),
            "KORVANE_INSTALLDIR=" + inst_ + "\nKORVANE_SHORTCUTDIR=/a\n");
}

// The data of an old root: what moves and what stays.
TEST_F(InstallTest, MovingADataRootTakesTheDataFoldersOnly) {
  const char *moved[] = {"ACCOUNTS/paper.trades", "ALIAS/aliases.txt",    "CONFIG/Pages.kvc",
                         "CONFIG/alertsA.dat",    "CONFIG/mqtdataA.dump", "CONFIG/sounds.cfg",
                         "DATA/INTC.dyd",         "DATA/Events.txt",      "HDATA/IBM.1min",
                         "Favorite/best.fav",     "SLF/dow.slf",          "SLF/README"};
  const char *kept[] = {"CONFIG/srcdata.cfg", "CONFIG/notes.txt", "EXPORT/out.txt",
                        "DATA/SUB/x.dyd"};
  for (const char *f : moved)
    root_.write((std::string("old/") + f).c_str(), std::string("old ") + f);
  for (const char *f : kept) root_.write((std::string("old/") + f).c_str(), "stays");
  root_.write("new/DATA/INTC.dyd", "new bars");

  EXPECT_EQ(move_data_directories(root_.file("old").c_str(), root_.file("new").c_str()), 12);
  for (const char *f : moved) {
    std::string rel = f;
    if (rel.rfind("Favorite/", 0) == 0)
      rel = "FAVORITE/" + rel.substr(9);  // folders keep upper-case names
    EXPECT_EQ(root_.read(("new/" + rel).c_str()), std::string("old ") + f) << f;
    EXPECT_FALSE(kv_file_exists(root_.file((std::string("old/") + f).c_str()).c_str())) << f;
  }
  for (const char *f : kept) EXPECT_EQ(root_.read((std::string("old/") + f).c_str()), "stays") << f;
  EXPECT_FALSE(kv_file_exists(root_.file("new/CONFIG/srcdata.cfg").c_str()));

  // A root moved onto itself (however spelled) moves nothing.
  EXPECT_EQ(move_data_directories(root_.file("new").c_str(), (root_.file("new") + "/").c_str()), 0);
  EXPECT_EQ(root_.read("new/DATA/INTC.dyd"), "old DATA/INTC.dyd");
  EXPECT_EQ(move_matching_files(root_.file("nowhere").c_str(), "*.*", root_.file("new/X").c_str()),
            0);
}

// The first run after an installation over an older one: the user keeps
// the old data, which the set-up's mover brings over.
TEST_F(InstallTest, FirstRunTakesOverThePreviousInstallation) {
  installer_files();
  std::string old = root_.file("old");
  root_.write("old/DATA/IBM.dyd", "ibm");
  root_.write("old/CONFIG/Pages.kvc", "old pages");
  kv_profile *p = kv_profile_open(settings_profile_key());
  ASSERT_NE(p, nullptr);
  kv_profile_write_string(p, "Install", "Directory", old.c_str());
  kv_profile_close(p);
  services_.box_answers.push_back(IDYES);

  ASSERT_EQ(PrepareInstallation(), 1);
  EXPECT_EQ(MigratePreviousVersion(), 0);
  EXPECT_EQ(root_.read("inst/DATA/IBM.dyd"), "ibm");
  EXPECT_EQ(root_.read("inst/CONFIG/Pages.kvc"), "old pages");  // replaces the installer's default
  EXPECT_EQ(root_.read("inst/DATA/INTC.dyd"), "usr INTC.dyd");
  EXPECT_FALSE(kv_file_exists((old + "/DATA/IBM.dyd").c_str()));
}

}  // namespace
