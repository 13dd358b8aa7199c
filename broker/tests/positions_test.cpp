// Position summary table and the order preconditions check.
#include "broker/positions.h"

#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "broker/orddef.h"
#include "platform/testing/fixture.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "settings/settings.h"

namespace {

position_trade trade(const char *symbol, const char *sec, int qty, double price, double comm) {
  position_trade t;
  memset(&t, 0, sizeof t);
  strcpy(t.symbol, symbol);
  strcpy(t.sec_type, sec);
  strcpy(t.currency, "USD");
  t.quantity = qty;
  t.price = price;
  t.commission = comm;
  return t;
}

TEST(PositionSummaryTable, RoundTripGivesRealisedProfitAndFlatNetValue) {
  PositionSummaryTable table;
  position_trade buy = trade("INTC", "STK", 100, 10, 1000),
                 sell = trade("INTC", "STK", -100, 11, 1000);
  ASSERT_EQ(0, table.AddTrade(&buy, nullptr));
  EXPECT_EQ(table.entry(0).net_value, 1000);
  ASSERT_EQ(0, table.AddTrade(&sell, nullptr));
  const PositionSummary &e = table.entry(0);
  EXPECT_STREQ(e.key, "INTC");
  EXPECT_EQ(e.multiplier, 1);
  EXPECT_EQ(e.net, 0);
  EXPECT_EQ(e.bought, 100);
  EXPECT_EQ(e.sold, -100);
  EXPECT_EQ(e.net_value, 0);
  EXPECT_DOUBLE_EQ(e.realised_gross, 100);
  EXPECT_DOUBLE_EQ(e.realised_net, 98);
}

TEST(PositionSummaryTable, KeysOfContracts) {
  position_trade fut = trade("ES", "FUT", 1, 5000, 0);
  fut.expiry = 20260320;
  position_trade opt = trade("IBM", "OPT", 1, 2, 0);
  opt.expiry = 20260116;
  opt.strike = 150.5;
  opt.decimals = 2;
  strcpy(opt.right, "CALL");
  struct {
    position_trade t;
    const char *want;
  } cases[] = {
      {trade("INTC", "STK", 1, 1, 0), "INTC"},
      {fut, "ES FUT 20260320  "},
      {opt, "IBM OPT 20260116 150.50 CALL"},
  };
  for (auto &c : cases) {
    char key[96];
    position_key(&c.t, key, sizeof key);
    EXPECT_STREQ(key, c.want);
  }
}

TEST(PositionSummaryTable, FullTableRefusesNewContractAndKeepsOthers) {
  PositionSummaryTable table;
  for (int i = 0; i < POSITION_SUMMARY_MAX; i++) {
    position_trade t = trade(("S" + std::to_string(i)).c_str(), "STK", 1, 1, 0);
    ASSERT_EQ(i, table.AddTrade(&t, nullptr));
  }
  position_trade extra = trade("EXTRA", "STK", 5, 1, 0);
  EXPECT_EQ(-1, table.AddTrade(&extra, nullptr));
  EXPECT_EQ(table.count(), POSITION_SUMMARY_MAX);
  for (int i = 0; i < POSITION_SUMMARY_MAX; i++) EXPECT_EQ(table.entry(i).net, 1);
  position_trade again = trade("S7", "STK", 2, 1, 0);
  EXPECT_EQ(7, table.AddTrade(&again, nullptr));  // known contracts still merge
  position_trade nan_price = trade("S8", "STK", 2, NAN, 0);
  EXPECT_EQ(-1, table.AddTrade(&nan_price, nullptr));
  EXPECT_EQ(table.entry(8).net, 1);
}

std::vector<position_trade> g_account_trades;
std::string g_account_asked;

class PositionsTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    memset(&rec_, 0, sizeof rec_);
    memset(&def_, 0, sizeof def_);
    strcpy(rec_.symbol, "INTC");
    strcpy(rec_.sec_type, "STK");
    rec_.flags = MQT_QUOTE_STORED;
    strcpy(def_.account, "PAPER1");
    def_.lot_size = 100;
    saved_flags_ = g_pref_flags1;
    g_account_trades.clear();
    g_position_hooks.for_each_account_trade =
        [](const char *acct, void (*fn)(const position_trade *, void *), void *ctx) {
          g_account_asked = acct;
          for (auto &t : g_account_trades) fn(&t, ctx);
          return 1;
        };
  }
  void TearDown() override {
    g_pref_flags1 = saved_flags_;
    g_position_hooks = {};
    TempRootTest::TearDown();
  }
  mqt rec_;
  OrderDef def_;
  uint32_t saved_flags_;
};

TEST_F(PositionsTest, LoadSymbolMergesOnlyTheRecordsContract) {
  g_account_trades = {trade("INTC", "STK", 100, 10, 0), trade("MSFT", "STK", 50, 300, 0),
                      trade("intc", "STK", 100, 12, 0)};
  PositionSummaryTable table;
  table.LoadSymbol(&rec_, &def_);
  EXPECT_EQ(g_account_asked, "PAPER1");
  EXPECT_EQ(table.count(), 1);
  EXPECT_EQ(rec_.paper_quantity, 100);  // symbols match exactly, as the entry keys do
  EXPECT_DOUBLE_EQ(rec_.paper_avg_price, 10);

  g_account_trades.clear();
  table.LoadSymbol(&rec_, &def_);
  EXPECT_EQ(rec_.paper_quantity, 0);
  EXPECT_EQ(rec_.paper_avg_price, 0);
}

TEST_F(PositionsTest, OrderPreconditions) {
  struct {
    const char *name;
    uint32_t pref, mode;
    const char *account;
    int lot;
    uint32_t rec_flags;
    int want;
    const char *message;  // "" none
  } cases[] = {
      {"paper ok", 0, ORDDEF_MODE_PAPER, "PAPER1", 100, MQT_QUOTE_STORED, 1, ""},
      {"real ok", 0x8, ORDDEF_MODE_REAL, "", 100, MQT_QUOTE_STORED, 1, ""},
      {"real without trading", 0, ORDDEF_MODE_REAL, "PAPER1", 100, MQT_QUOTE_STORED, 0,
       "Enable trading in Preferences Dialog first\ror change mode to Paper in Order Setup Dialog"},
      {"no account", 0x8, ORDDEF_MODE_PAPER, "", 100, MQT_QUOTE_STORED, 0,
       "No account specified in Order Definition Dialog"},
      {"lot 0", 0, ORDDEF_MODE_PAPER, "PAPER1", 0, MQT_QUOTE_STORED, 0,
       "Lotsize is 0 in Order Definition Dialog"},
      {"real lot 0", 0x8, ORDDEF_MODE_REAL, "", 0, MQT_QUOTE_STORED, 0,
       "Lotsize is 0 in Order Definition Dialog"},
      {"no quotes", 0, ORDDEF_MODE_PAPER, "PAPER1", 100, 0, 0,
       "Quotes for symbol not yet received, wait awhile"},
  };
  for (auto &c : cases) {
    services_.boxes.clear();
    g_pref_flags1 = c.pref;
    def_.flags = c.mode;
    strcpy(def_.account, c.account);
    def_.lot_size = c.lot;
    rec_.flags = c.rec_flags;
    EXPECT_EQ(check_order_preconditions(&def_, &rec_), c.want) << c.name;
    if (c.message[0]) {
      ASSERT_EQ(services_.boxes.size(), 1u) << c.name;
      EXPECT_EQ(services_.boxes[0].text, c.message) << c.name;
    } else {
      EXPECT_TRUE(services_.boxes.empty()) << c.name;
    }
  }
  services_.boxes.clear();
  EXPECT_EQ(0, check_order_preconditions(nullptr, &rec_));
  EXPECT_TRUE(services_.boxes.empty());
}

}  // namespace
