// The profile store.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/profile.h"
#include "platform/testing/fixture.h"

namespace {

class ProfileTest : public TempRootTest {};

const char *const kKey = "Software\\Ostrelan\\Korvane";

TEST_F(ProfileTest, ValuesRoundTripThroughTheFile) {
  std::vector<uint8_t> bin;
  for (int i = 0; i < 256; i++) bin.push_back((uint8_t)i);
  {
    kv_profile *p = kv_profile_open(kKey);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(kv_profile_write_int(p, "Settings1", "Flags", -123456));
    EXPECT_TRUE(kv_profile_write_string(p, "Settings1", "DataDir", "C:\\Korvane \"data\"\n\t\x01"));
    EXPECT_TRUE(kv_profile_write_binary(p, "Settings1", "\\PrefDrawDef", bin.data(), bin.size()));
    EXPECT_TRUE(kv_profile_write_binary(p, "Settings1", "Empty", "", 0));
    EXPECT_TRUE(kv_profile_write_string(p, "Install", "Directory", "/opt/korvane"));
    kv_profile_close(p);
  }
  std::string file = kv_profile_path(kKey);
  EXPECT_EQ(file, root_.file(".config/Ostrelan/Korvane.profile"));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  kv_profile *p = kv_profile_open(kKey);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(kv_profile_get_int(p, "SETTINGS1", "flags", 0), -123456);
  EXPECT_EQ(kv_profile_get_string(p, "settings1", "DATADIR", ""), "C:\\Korvane \"data\"\n\t\x01");
  std::vector<uint8_t> back;
  ASSERT_TRUE(kv_profile_get_binary(p, "Settings1", "\\prefdrawdef", &back));
  EXPECT_EQ(back, bin);
  ASSERT_TRUE(kv_profile_get_binary(p, "Settings1", "empty", &back));
  EXPECT_TRUE(back.empty());
  EXPECT_EQ(kv_profile_get_string(p, "install", "directory", ""), "/opt/korvane");
  EXPECT_EQ(kv_profile_sections(p), (std::vector<std::string>{"Settings1", "Install"}));

  // Missing values and values of another type give the default.
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "Missing", 77), 77);
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "DataDir", 5), 5);
  EXPECT_FALSE(kv_profile_get_binary(p, "Settings1", "Flags", &back));
  EXPECT_EQ(kv_profile_value_type(p, "Settings1", "\\PREFDRAWDEF"), KV_PROFILE_BINARY);
  char small[6];
  EXPECT_EQ(kv_profile_get_string(p, "Install", "Directory", "", small, sizeof small), 12u);
  EXPECT_STREQ(small, "/opt/");
  kv_profile_close(p);
}

TEST_F(ProfileTest, NamesAnyCaseReplaceOneValueAndKeepTheirFirstSpelling) {
  kv_profile *p = kv_profile_open(kKey);
  kv_profile_write_int(p, "Settings1", "MktDays", 1);
  kv_profile_write_int(p, "SETTINGS1", "MKTDAYS", 2);
  EXPECT_EQ(kv_profile_value_names(p, "settings1"), std::vector<std::string>{"MktDays"});
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "mktdays", 0), 2);
  kv_profile_delete_value(p, "settings1", "mktDAYS");
  EXPECT_EQ(kv_profile_value_type(p, "Settings1", "MktDays"), KV_PROFILE_NONE);
  kv_profile_close(p);
}

TEST_F(ProfileTest, InstanceKeyIsASeparateFileAndHeldWritesLandOnRelease) {
  kv_profile *a = kv_profile_open(kKey);
  kv_profile *b = kv_profile_open("Software\\OstrelanB\\Korvane");
  ASSERT_NE(b, nullptr);
  EXPECT_NE(std::string(kv_profile_file(a)), kv_profile_file(b));
  kv_profile_hold(b, 1);
  kv_profile_write_int(b, "Settings1", "Flags", 9);
  struct stat st;
  EXPECT_NE(stat(kv_profile_file(b), &st), 0);  // nothing written yet
  EXPECT_TRUE(kv_profile_hold(b, 0));
  EXPECT_EQ(stat(kv_profile_file(b), &st), 0);
  kv_profile_close(a);
  kv_profile_close(b);

  kv_profile *again = kv_profile_open("software\\OstrelanB\\Korvane");
  EXPECT_EQ(kv_profile_get_int(again, "Settings1", "Flags", 0), 9);
  kv_profile_close(again);
}

// Two parts of the program may each hold the key open; neither may undo
// what the other wrote, held or not.
TEST_F(ProfileTest, ObjectsOpenOnOneKeyKeepEachOthersWrites) {
  kv_profile *settings = kv_profile_open(kKey);
  kv_profile *frame = kv_profile_open(kKey);
  kv_profile_write_int(settings, "Settings1", "QuoteInterval", 5000);
  kv_profile_write_string(settings, "Recent File List", "File1", "IBM.kvc");
  kv_profile_write_binary(frame, "Settings1", "BarState", "\x01\x02", 2);
  kv_profile_hold(settings, 1);
  kv_profile_write_int(settings, "settings1", "MKTDAYS", 62);
  kv_profile_delete_section(settings, "recent file list");
  kv_profile_write_int(frame, "Settings1", "MktDays", 1);  // written first, then replaced
  EXPECT_TRUE(kv_profile_hold(settings, 0));
  kv_profile_write_int(frame, "Settings1", "ContUpdate", 1);
  kv_profile_close(settings);
  kv_profile_close(frame);

  kv_profile *p = kv_profile_open(kKey);
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "QuoteInterval", 0), 5000);
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "MktDays", 0), 62);
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "ContUpdate", 0), 1);
  std::vector<uint8_t> bar;
  EXPECT_TRUE(kv_profile_get_binary(p, "Settings1", "BarState", &bar));
  EXPECT_EQ(kv_profile_sections(p), std::vector<std::string>{"Settings1"});
  EXPECT_EQ(kv_profile_value_names(p, "Settings1"),
            (std::vector<std::string>{"QuoteInterval", "BarState", "MktDays", "ContUpdate"}));
  kv_profile_close(p);

  // Deleting from a key that has no file makes none.
  kv_profile *empty = kv_profile_open("Software\\OstrelanC\\Korvane");
  EXPECT_TRUE(kv_profile_delete_section(empty, "Recent File List"));
  kv_profile_close(empty);
  struct stat st;
  EXPECT_NE(stat(kv_profile_path("Software\\OstrelanC\\Korvane").c_str(), &st), 0);
}

TEST_F(ProfileTest, UnusableKeysAndDamagedFilesAreRefused) {
  for (const char *k : {"", "Software\\", "Software\\..\\x", "Software\\a\\\\b"})
    EXPECT_EQ(kv_profile_open(k), nullptr) << k;
  root_.write(".config/Bad/Key.profile", "section \"S\"\nint \"x\" notanumber\n");
  EXPECT_EQ(kv_profile_open("Software\\Bad\\Key"), nullptr);
}

}  // namespace
