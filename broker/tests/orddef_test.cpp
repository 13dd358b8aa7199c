// Order definitions: file record, paths and the store.
#include "broker/orddef.h"

#include <math.h>
#include <string.h>

#include <string>

#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

namespace {

void put32(std::string &b, int off, uint32_t v) {
  for (int i = 0; i < 4; i++) b[off + i] = (char)(v >> (8 * i));
}
void put64(std::string &b, int off, double d) {
  uint64_t v;
  memcpy(&v, &d, 8);
  for (int i = 0; i < 8; i++) b[off + i] = (char)(v >> (8 * i));
}

// A current-form file image with a key and a lot size.
std::string image(const char *key, int lot) {
  std::string b(ORDDEF_SIZE, '\0');
  put32(b, ORDDEF_OFF_VERSION, 1);
  memcpy(&b[ORDDEF_OFF_KEY], key, strlen(key));
  put32(b, ORDDEF_OFF_LOT, (uint32_t)lot);
  return b;
}

class OrderDefTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    memset(&rec_, 0, sizeof rec_);
  }
  void TearDown() override {
    store_.FreeAll();
    TempRootTest::TearDown();
  }
  mqt rec_;
  COrderDefStore store_;
};

TEST(OrderDefRecord, EncodesFieldsAtTheirOffsetsAndDecodesThemBack) {
  OrderDef d;
  memset(&d, 0, sizeof d);
  strcpy(d.key, "INTC");
  strcpy(d.account, "PAPER1");
  d.flags = ORDDEF_MODE_REAL | ORDDEF_GTC | ORDDEF_MODIFIED;
  d.lot_size = 100;
  d.increment = 50;
  d.trail_offset = 0.25;
  d.hotkey_sell_offset = -0.5;
  d.commission2 = 1.5f;
  uint8_t b[ORDDEF_SIZE];
  orddef_encode(&d, b);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(0, memcmp(b + 268, "INTC", 5));
  EXPECT_EQ(0, memcmp(b + 300, "PAPER1", 7));
  EXPECT_EQ(b[312], 100);
  EXPECT_EQ(b[316], 50);
  for (int i = ORDDEF_OFF_ZERO; i < ORDDEF_SIZE; i++) ASSERT_EQ(b[i], 0) << i;

  OrderDef back;
  ASSERT_EQ(1, orddef_decode(b, sizeof b, &back));
  EXPECT_STREQ(back.key, "INTC");
  EXPECT_STREQ(back.account, "PAPER1");
  EXPECT_EQ(back.flags, ORDDEF_MODE_REAL | ORDDEF_GTC);  // modified flag dropped
  EXPECT_EQ(back.increment, 50);
  EXPECT_EQ(back.trail_offset, 0.25);
  EXPECT_EQ(back.hotkey_sell_offset, -0.5);
  EXPECT_EQ(back.commission2, 1.5f);
}

TEST(OrderDefRecord, RefusesShortAndNonFiniteRecordsAndCutsTexts) {
  std::string b = image("ES", 1);
  OrderDef d;
  EXPECT_EQ(0, orddef_decode((const uint8_t *)b.data(), ORDDEF_SIZE - 1, &d));
  EXPECT_EQ(0, orddef_decode((const uint8_t *)b.data(), 3, &d));
  std::string old(ORDDEF_OLD_SIZE, '\0');
  EXPECT_EQ(0, orddef_decode((const uint8_t *)old.data(), ORDDEF_OLD_SIZE - 1, &d));
  EXPECT_EQ(1, orddef_decode((const uint8_t *)old.data(), ORDDEF_OLD_SIZE, &d));

  for (int off : {ORDDEF_OFF_TICK_SIZE, ORDDEF_OFF_STOP, ORDDEF_OFF_HOTKEY_SELL}) {
    std::string bad = b;
    put64(bad, off, NAN);
    EXPECT_EQ(0, orddef_decode((const uint8_t *)bad.data(), bad.size(), &d)) << off;
    put64(bad, off, INFINITY);
    EXPECT_EQ(0, orddef_decode((const uint8_t *)bad.data(), bad.size(), &d)) << off;
  }

  std::string full = b;
  memset(&full[ORDDEF_OFF_KEY], 'K', ORDDEF_KEY_SIZE + ORDDEF_ACCOUNT_SIZE);
  ASSERT_EQ(1, orddef_decode((const uint8_t *)full.data(), full.size(), &d));
  EXPECT_EQ(strlen(d.key), (size_t)ORDDEF_KEY_SIZE - 1);
  EXPECT_EQ(strlen(d.account), (size_t)ORDDEF_ACCOUNT_SIZE - 1);
}

TEST(OrderDefRecord, OldFormFlagsMoveToTheirNewBits) {
  struct {
    uint32_t old_flags, want;
  } cases[] = {
      {0x1, 0x1},               // mode stays
      {1u << 7, ORDDEF_GTC},    // time in force
      {0xFu << 8, 0xFu << 13},  // trigger method
      {1u << 12, ORDDEF_OUTSIDE_RTH},
      {1u << 13, ORDDEF_SWEEP},
      {1u << 14, ORDDEF_MODIFIED},
      {0x38 | 0x40, 0},  // old bits 3-6 do not become order kinds
  };
  for (auto &c : cases) EXPECT_EQ(orddef_convert_old_flags(c.old_flags), c.want) << c.old_flags;
}

TEST_F(OrderDefTest, PathsRefuseNamesWithPathCharacters) {
  char p[KV_MAX_PATH];
  ASSERT_EQ(1, orddef_path("ES_202603_X", p, sizeof p));
  EXPECT_EQ(std::string(p), root_.file("DATA/ES_202603.orddef"));
  ASSERT_EQ(1, default_orddef_path("FUT", p, sizeof p));
  EXPECT_EQ(std::string(p), root_.file("DATA/DEFAULT_FUT.orddef"));
  for (const char *bad : {"../x", "a/b", "a\\b", "", ".."})
    EXPECT_EQ(0, orddef_path(bad, p, sizeof p)) << bad;
  EXPECT_EQ(0, default_orddef_path("../STK", p, sizeof p));
}

TEST_F(OrderDefTest, OldFormFileWithBit7LoadsAsGoodTillCancelled) {
  std::string old(ORDDEF_OLD_SIZE, '\0');
  memcpy(&old[ORDDEF_OFF_KEY], "IBM", 3);
  put32(old, ORDDEF_OFF_FLAGS, 1u << 7);
  root_.write("DATA/IBM.orddef", old);
  OrderDef *d = store_.Read(root_.file("DATA/IBM.orddef").c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->flags, ORDDEF_GTC);
  EXPECT_EQ(d->version, 1);
  EXPECT_STREQ(d->path, "");
}

TEST_F(OrderDefTest, LoadAllKeepsTheFirstOfTwoFilesWithOneKey) {
  root_.write("DATA/A.orddef", image("SAME", 1));
  root_.write("DATA/B.orddef", image("SAME", 2));
  root_.write("DATA/C.orddef", image("OTHER", 3));
  root_.write("DATA/short.orddef", image("SHORT", 4).substr(0, 100));
  root_.write("DATA/notadef.txt", image("TXT", 5));
  store_.LoadAll();
  ASSERT_NE(store_.FindKey("SAME"), nullptr);
  EXPECT_EQ(store_.FindKey("SAME")->lot_size, 1);
  EXPECT_NE(store_.FindKey("OTHER"), nullptr);
  EXPECT_EQ(store_.FindKey("SHORT"), nullptr);
  EXPECT_EQ(store_.FindKey("TXT"), nullptr);
  EXPECT_TRUE(services_.boxes.empty());
}

TEST_F(OrderDefTest, SymbolWithoutDefinitionOrTemplateGetsZeroDefinitionWrittenAtOnce) {
  strcpy(rec_.symbol, "MSFT");
  strcpy(rec_.sec_type, "STK");
  OrderDef *d = store_.GetForSymbol(&rec_);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->lot_size, 0);
  EXPECT_EQ(d->flags & ORDDEF_MODE_MASK, ORDDEF_MODE_PAPER);
  EXPECT_EQ(d->flags & ORDDEF_MODIFIED, 0u);
  std::string onfile = root_.read("DATA/MSFT.orddef");
  ASSERT_EQ(onfile.size(), (size_t)ORDDEF_SIZE);
  EXPECT_EQ(onfile.substr(ORDDEF_OFF_KEY, 5), std::string("MSFT\0", 5));
  EXPECT_EQ(store_.GetForSymbol(&rec_), d);
}

TEST_F(OrderDefTest, TemplateSeedsNewDefinitionWrittenOnSave) {
  root_.write("DATA/DEFAULT_FUT.orddef", image("TEMPLATE", 5));
  strcpy(rec_.symbol, "ES_202603");
  strcpy(rec_.sec_type, "FUT");
  OrderDef *d = store_.GetForSymbol(&rec_);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->lot_size, 5);
  EXPECT_STREQ(d->key, "ES_202603");
  EXPECT_NE(d->flags & ORDDEF_MODIFIED, 0u);
  EXPECT_EQ(root_.read("DATA/ES_202603.orddef"), "");
  store_.SaveModified();
  EXPECT_EQ(d->flags & ORDDEF_MODIFIED, 0u);
  std::string onfile = root_.read("DATA/ES_202603.orddef");
  ASSERT_EQ(onfile.size(), (size_t)ORDDEF_SIZE);
  EXPECT_EQ(onfile[ORDDEF_OFF_LOT], 5);
}

// Two expiries of one contract share the file FE_ZB.orddef: a definition
// made for the second keeps the user's definition of the first, whether
// the file was loaded first or not.
TEST_F(OrderDefTest, ExpiriesSharingAFileKeepEachOthersDefinitions) {
  for (int load_first : {1, 0}) {
    SCOPED_TRACE(load_first);
    std::string first = image("FE_ZB_200312", 7);
    memcpy(&first[ORDDEF_OFF_ACCOUNT], "PAPER1", 6);
    root_.write("DATA/FE_ZB.orddef", first);
    COrderDefStore store;
    if (load_first) store.LoadAll();
    strcpy(rec_.symbol, "FE_ZB_200403");
    strcpy(rec_.sec_type, "FUT");
    OrderDef *d = store.GetForSymbol(&rec_);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->lot_size, 0);
    EXPECT_EQ(root_.read("DATA/FE_ZB.orddef").size(), 2u * ORDDEF_SIZE);
    d->lot_size = 3;
    d->flags |= ORDDEF_MODIFIED;
    store.SaveModified();

    COrderDefStore again;
    again.LoadAll();
    OrderDef *a = again.FindKey("FE_ZB_200312");
    OrderDef *b = again.FindKey("FE_ZB_200403");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->lot_size, 7);
    EXPECT_STREQ(a->account, "PAPER1");
    EXPECT_EQ(b->lot_size, 3);
    strcpy(rec_.symbol, "FE_ZB_200312");
    EXPECT_EQ(again.GetForSymbol(&rec_), a);
  }
}

TEST_F(OrderDefTest, OptionKeyAndUnsafeSymbolNeverBecomeFileNames) {
  strcpy(rec_.symbol, "IBM");
  strcpy(rec_.sec_type, "OPT");
  OrderDef *d = store_.GetForSymbol(&rec_);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->key, "O_IBM");

  strcpy(rec_.symbol, "../../evil");
  strcpy(rec_.sec_type, "STK");
  d = store_.GetForSymbol(&rec_);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->path, "");
  EXPECT_FALSE(kv_file_exists(root_.file("evil.orddef").c_str()));
}

TEST_F(OrderDefTest, FailedWriteKeepsModifiedFlagAndShowsTheError) {
  strcpy(rec_.symbol, "QQQ");
  root_.write("DATA/DEFAULT_STK.orddef", image("T", 1));
  strcpy(rec_.sec_type, "STK");
  OrderDef *d = store_.GetForSymbol(&rec_);
  ASSERT_NE(d, nullptr);
  services_.boxes.clear();
  EXPECT_EQ(0, store_.Write(d, root_.file("NOFOLDER/QQQ.orddef").c_str()));
  EXPECT_NE(d->flags & ORDDEF_MODIFIED, 0u);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_NE(services_.boxes[0].text.find("QQQ.orddef"), std::string::npos);
}

}  // namespace
