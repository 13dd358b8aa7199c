// Chart store: the default template and new charts' settings, favourites
// (order, default mark, backup, written-back use counts) and the import
// list (missing, old revision, removed entries, renumbering).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/chart.h"
#include "data/lefield.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"
#include "shell/core/chartstore.h"
#include "studies/study.h"

namespace {

void put16(std::string& s, size_t off, uint16_t v) {
  put_le16((uint8_t*)s.data() + off, v);
}
void put32(std::string& s, size_t off, uint32_t v) {
  put_le32((uint8_t*)s.data() + off, v);
}

// A favourite file written field by field.
std::string fav_file(const char* name, int use_count, uint8_t flags = 0, int studies = 0) {
  std::string f(FAVORITE_HEADER_SIZE + WINDOW_DESCRIPTOR_SIZE, '\0');
  put16(f, 0, 7);
  const size_t r = FAVORITE_HEADER_SIZE;
  f[r + 4] = (char)flags;
  put32(f, r + 8, 1);
  memcpy(f.data() + r + 272 + 16, name, strlen(name));  // favourite name
  memcpy(f.data() + r + 272 + 164, "IBM", 3);           // symbol, cleared on loading
  put32(f, r + 272 + 196, 390);
  put32(f, r + 1544, studies);
  put16(f, r + 1552, use_count);
  for (int i = 0; i < studies; i++) {
    StudyDef s{};
    s.type = 0x80001 + i;
    unsigned char b[STUDY_STORED_SIZE];
    study_to_stored(&s, b);
    f.append((const char*)b, sizeof b);
  }
  return f;
}

class ChartStoreTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_data_root, sizeof g_data_root, "%s", root_.path().c_str());
    g_settings.Import[0] = 0;
    g_settings.DefaultFavorite[0] = 0;
    kv_make_dirs(root_.file("FAVORITE").c_str(), nullptr);
    kv_make_dirs(root_.file("CONFIG").c_str(), nullptr);
  }
  void TearDown() override {
    store_.FreeFavorites();
    store_.FreeImportList();
    TempRootTest::TearDown();
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (FavoriteRecord* f = store_.Favorites().head; f; f = f->next)
      out.push_back(f->settings.favorite_name);
    return out;
  }
  SettingsSaver saver_;
  CChartStore store_;
};

TEST_F(ChartStoreTest, NewChartsCopyTheTemplateWithTheirOwnIds) {
  g_settings_defaults.MktDays = 0;
  store_.ResetDefaultTemplate(20261210);
  EXPECT_EQ(g_settings_defaults.MktDays, 0x3E);
  EXPECT_EQ((g_pref_flags >> 15) & 7, 1u);
  EXPECT_EQ(store_.DefaultStudyColor(), 0x4080FFu);
  EXPECT_EQ(store_.DefaultTemplate().end_value, 20261210);

  ChartSettings* first = store_.NewChartSettings();
  g_pref_flags = (g_pref_flags & ~(7u << 15)) | (3u << 15);
  ChartSettings* second = store_.NewChartSettings();
  EXPECT_EQ(first->chart_id, 1);
  EXPECT_EQ(second->chart_id, 2);
  EXPECT_EQ(first->candle_size, 1);
  EXPECT_EQ(second->candle_size, 3);
  EXPECT_EQ(second->time_unit, 390);
  EXPECT_EQ(second->study_color, 0x4080FFu);
  delete first;
  delete second;
}

TEST_F(ChartStoreTest, FavoritesComeByUseCountThenNameAndOnlyTheSettingMarksTheDefault) {
  root_.write("FAVORITE/beta.fav", fav_file("beta", 0, DESC_DEFAULT));  // stale mark in the file
  root_.write("FAVORITE/Alpha.fav", fav_file("Alpha", 0));
  root_.write("FAVORITE/used.fav", fav_file("used", 3, 0, 2));
  root_.write("FAVORITE/old.fav", fav_file("old", 9).replace(0, 1, "\x06"));  // other version
  root_.write("FAVORITE/short.fav", fav_file("short", 9).substr(0, 100));
  std::string alpha = root_.file("FAVORITE/Alpha.fav");
  snprintf(g_settings.DefaultFavorite, sizeof g_settings.DefaultFavorite, "%s", alpha.c_str());
  ASSERT_EQ(store_.LoadFavorites(), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"used", "Alpha", "beta"}));
  const FavoriteRecord* used = store_.Favorites().head;
  EXPECT_EQ(used->study_count, 2);
  EXPECT_EQ(used->settings.symbol[0], 0);
  for (FavoriteRecord* f = store_.Favorites().head; f; f = f->next)
    EXPECT_EQ((f->flags & DESC_DEFAULT) != 0, std::string(f->path) == alpha) << f->path;
  EXPECT_STREQ(g_settings.DefaultFavorite, alpha.c_str());

  // Without any file the default is forgotten.
  store_.FreeFavorites();
  kv_remove_tree(root_.file("FAVORITE").c_str());
  store_.LoadFavorites();
  EXPECT_EQ(store_.Favorites().head, nullptr);
  EXPECT_STREQ(g_settings.DefaultFavorite, "");
}

TEST_F(ChartStoreTest, SavingKeepsTheBackupAndUseCountsAreWrittenBackFirst) {
  root_.write("FAVORITE/used.fav", fav_file("used", 3, 0, 2));
  root_.write("FAVORITE/zeta.fav", fav_file("zeta", 0));
  store_.LoadFavorites();
  FavoriteRecord* used = store_.Favorites().head;
  used->use_count += 2;  // applied twice from the menu
  used->use_changed = 1;
  std::string before = root_.read("FAVORITE/used.fav");

  ChartSettings s{};
  snprintf(s.favorite_name, sizeof s.favorite_name, "zeta");
  s.time_unit = 2730;
  chart_rec chart{};
  chart.studies = (StudyDef*)calloc(1, sizeof(StudyDef));
  chart.studies->type = 0x800002;
  std::string zeta = root_.file("FAVORITE/zeta.fav");
  std::string zeta_before = root_.read("FAVORITE/zeta.fav");
  ASSERT_EQ(store_.SaveFavorite(&s, zeta.c_str(), &chart), 1);
  EXPECT_EQ(root_.read("FAVORITE/zeta.favbak"), zeta_before);
  // The new file, field by field: header, a fresh record of kind 1 with
  // the settings at 272 and the study count, then the study block.
  std::string z_file = root_.read("FAVORITE/zeta.fav");
  ASSERT_EQ(z_file.size(),
            (size_t)FAVORITE_HEADER_SIZE + WINDOW_DESCRIPTOR_SIZE + STUDY_STORED_SIZE);
  const uint8_t* zb = (const uint8_t*)z_file.data();
  EXPECT_EQ(get_le16(zb), 7);
  EXPECT_EQ(get_le16(zb + 2), 2);  // favourites in memory when written
  EXPECT_EQ(std::string(z_file.data() + 4, 20), std::string(20, '\0'));
  EXPECT_EQ(get_le32(zb + 24), 0u);
  EXPECT_EQ(get_le32(zb + 24 + 8), 1u);
  EXPECT_EQ(zb[24 + 12], 0);  // no path in the file
  EXPECT_STREQ(z_file.data() + 24 + 272 + 16, "zeta");
  EXPECT_EQ(get_le32(zb + 24 + 272 + 196), 2730u);
  EXPECT_EQ(get_le32(zb + 24 + 1544), 1u);
  EXPECT_EQ(get_le16(zb + 24 + 1552), 0);  // a saved favourite starts unused
  unsigned char block[STUDY_STORED_SIZE];
  study_to_stored(chart.studies, block);
  EXPECT_EQ(memcmp(zb + FAVORITE_HEADER_SIZE + WINDOW_DESCRIPTOR_SIZE, block, sizeof block), 0);
  free_study_list(chart.studies);

  // The written-back record changed only its use count; the studies behind
  // it are the same bytes.
  std::string after = root_.read("FAVORITE/used.fav");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(get_le16((const uint8_t*)after.data() + 24 + 1552), 5);
  EXPECT_EQ(get_le16((const uint8_t*)after.data() + 24 + 1554), 0);
  after[24 + 1552] = before[24 + 1552];
  EXPECT_EQ(after, before);

  EXPECT_EQ(names(), (std::vector<std::string>{"used", "zeta"}));
  FavoriteRecord* z = store_.Favorites().head->next;
  EXPECT_EQ(z->settings.time_unit, 2730);
  ASSERT_EQ(z->study_count, 1);
  EXPECT_EQ(z->studies->type, 0x800002);
  EXPECT_EQ(store_.Favorites().head->use_count, 5);
}

TEST_F(ChartStoreTest, FailedSaveReportsAndKeepsTheList) {
  root_.write("FAVORITE/a.fav", fav_file("a", 1));
  store_.LoadFavorites();
  const FavoriteRecord* head = store_.Favorites().head;
  ChartSettings s{};
  std::string bad = root_.file("NOFOLDER/x.fav");
  EXPECT_EQ(store_.SaveFavorite(&s, bad.c_str(), nullptr), 0);
  EXPECT_EQ(store_.Favorites().head, head);
  EXPECT_EQ(store_.Favorites().count, 1);
}

std::string import_header(int revision, int count) {
  std::string h(IMPORT_HEADER_SIZE, '\0');
  put16(h, 0, revision);
  put16(h, 2, count);
  put32(h, 8, 1);
  put32(h, 12, 0);
  return h;
}

std::string import_entry(uint16_t flags, const char* dir, const char* pattern, int span) {
  std::string e(IMPORT_SOURCE_SIZE, '\0');
  put16(e, 4, flags);
  put16(e, 6, 2);
  put32(e, 16, span);
  memcpy(e.data() + 20, dir, strlen(dir));
  memcpy(e.data() + 280, pattern, strlen(pattern));
  return e;
}

TEST_F(ChartStoreTest, ImportListMissingOldOrCutGivesTheWebEntry) {
  ASSERT_EQ(store_.LoadImportList(), 1);
  ASSERT_EQ(store_.ImportList().count, 1);
  EXPECT_STREQ(store_.ImportList().head->dir, "Download from Internet");
  EXPECT_EQ(store_.ImportList().head->flags, IMPORT_WEB);

  root_.write("CONFIG/Import.imp", import_header(2, 0));
  ASSERT_EQ(store_.LoadImportList(), 1);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "import.imp file has older revision #,\nFile will be deleted");
  EXPECT_FALSE(kv_file_exists(root_.file("CONFIG/Import.imp").c_str()));
  EXPECT_EQ(store_.ImportList().count, 1);
  EXPECT_STREQ(store_.ImportList().head->dir, "Download from Internet");

  // Two entries announced, one there: nothing of it is kept.
  root_.write("CONFIG/Import.imp", import_header(1, 2) + import_entry(0, "/in", "*.txt", 0));
  ASSERT_EQ(store_.LoadImportList(), 1);
  EXPECT_EQ(store_.ImportList().count, 1);
  EXPECT_TRUE(store_.ImportList().head->flags & IMPORT_WEB);
}

TEST_F(ChartStoreTest, ImportListRoundTripDropsRemovedEntriesButKeepsTheWebOne) {
  root_.write(
      "CONFIG/Import.imp",
      import_header(1, 3) + import_entry(IMPORT_WEB | IMPORT_REMOVED, kImportWebName, "", 0) +
          import_entry(IMPORT_REMOVED, "/gone", "*.csv", 1) + import_entry(0, "/in", "*.txt", 2));
  ASSERT_EQ(store_.LoadImportList(), 1);
  ASSERT_EQ(store_.ImportList().count, 2);
  EXPECT_EQ(store_.ImportList().web_enabled, 1);
  EXPECT_EQ(store_.ImportList().file_enabled, 0);
  ImportSource* in = store_.FindImportSource(1);
  ASSERT_TRUE(in);
  EXPECT_STREQ(in->pattern, "*.txt");
  EXPECT_EQ(in->time_span, 2);
  EXPECT_EQ(store_.FindWebImportSource(), store_.ImportList().head);

  // The user's new order: the folder first.
  in->order = 0;
  store_.ImportList().head->order = 1;
  store_.RenumberImportList();
  EXPECT_EQ(store_.ImportList().head, in);
  EXPECT_EQ(in->slot, 0);
  EXPECT_EQ(in->next->slot, 1);

  store_.ImportList().flags |= IMPORT_LIST_MODIFIED;
  ASSERT_EQ(store_.SaveImportList(), 1);
  EXPECT_EQ(store_.ImportList().head, nullptr);
  std::string saved = root_.read("CONFIG/Import.imp");
  ASSERT_EQ(saved.size(), (size_t)IMPORT_HEADER_SIZE + 2 * IMPORT_SOURCE_SIZE);
  EXPECT_EQ(get_le16((const uint8_t*)saved.data() + 2), 2);
  EXPECT_EQ(get_le32((const uint8_t*)saved.data() + 16), 0u);  // modified bit never stored
  EXPECT_STREQ(saved.data() + IMPORT_HEADER_SIZE + 20, "/in");

  // A file that cannot be created: the message, 0, and the list is gone.
  store_.LoadImportList();
  store_.ImportList().flags |= IMPORT_LIST_MODIFIED;
  std::string nowhere = root_.file("NO_SUCH_DIR/Import.imp");
  snprintf(g_settings.Import, sizeof g_settings.Import, "%s", nowhere.c_str());
  services_.boxes.clear();
  EXPECT_EQ(store_.SaveImportList(), 0);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "Can't create file " + nowhere + "\n");
  EXPECT_EQ(store_.ImportList().head, nullptr);
  g_settings.Import[0] = 0;

  // An unmodified list is freed without writing.
  store_.LoadImportList();
  kv_delete_file(root_.file("CONFIG/Import.imp").c_str(), nullptr);
  ASSERT_EQ(store_.SaveImportList(), 1);
  EXPECT_FALSE(kv_file_exists(root_.file("CONFIG/Import.imp").c_str()));
}

}  // namespace
