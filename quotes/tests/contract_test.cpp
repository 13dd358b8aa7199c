// Contract fields of a record read from its symbol text.
#include <cstring>

#include "data/markets.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

class ContractTest : public QuotesTest {};

struct contract_case {
  const char *symbol;
  const char *exchange;
  const char *sec_type;
  uint32_t sec_code;
  const char *local_symbol;
  const char *expiry;
  const char *currency;
  double tick_size;  // 0: not checked
  int multiplier;    // 0: not checked
  int lot_size;
  uint32_t flags;  // bits that must be set
};

TEST_F(ContractTest, SymbolForms) {
  const contract_case cases[] = {
      {"IBM", "SMART", "STK", 1, "IBM", "", "", 0, 1, 100, 0},
      {"TEST", "GLOBEX", "FUT", 2, "TEST", "", "", 0, 50, 1, 0},
      {"ESZ3", "GLOBEX", "FUT", 2, "ESZ3", "", "", 0.25, 50, 1, MQT_NOT_STREAMABLE},
      {"eurh4", "GLOBEX", "FUT", 2, "EURH4", "", "", 0.0001, 125000, 1, MQT_NOT_STREAMABLE},
      {"S_IBM", "SMART", "STK", 1, "IBM", "", "", 0, 0, 100, 0},
      {"SN_IBM", "NYSE", "STK", 1, "IBM", "", "", 0, 0, 100, 0},
      {"SZ_BHP_AUD", "ASX", "STK", 1, "BHP", "", "AUD", 0, 0, 1, 0},
      {"C_EUR_USD", "SMART", "CASH", 32, "EUR", "", "USD", 0, 0, 1, 0},
      {"CP_EUR_USD", "IDEALPRO", "CASH", 32, "EUR", "", "USD", 0, 0, 1, 0},
      {"FE_ZB_200312", "ECBOT", "FUT", 2, "ZBZ3", "200312", "", 0.015625, 0, 1, 0},
      {"FE_ZC_200407", "ECBOT", "FUT", 2, "ZCN4", "200407", "", 0, 0, 1, MQT_GRAIN},
      {"F_ES_20031219", "GLOBEX", "FUT", 2, "ESZ3", "20031219", "", 0, 0, 1, 0},
      {"FO_IBM1C_200312", "ONE", "FUT", 2 | 0x100, "IBM1CZ3", "200312", "", 0, 0, 1,
       MQT_ONE_FUTURE},
      {"QE_ZC_200312_300C", "ECBOT", "FOP", 8, "*ZC", "200312", "", 0, 0, 1, MQT_GRAIN},
      {"O_IBM_200401_85C", "SMART", "OPT", 4, "IBM", "200401", "", 0, 0, 1, 0},
      {"IC_SPX", "CBOE", "IND", 16, "SPX", "", "", 0, 0, 100, MQT_INDEX_OR_ACCOUNT},
      {"STKISLAND_MSFT", "ISLAND", "STK", 1, "MSFT", "", "", 0, 0, 100, 0},
      {"BRK.B", "SMART", "STK", 1, "BRK.B", "", "USD", 0, 0, 100, 0},
      {"A~U123", "SMART", "FUT", 2, "A~U123", "", "", 0, 0, 100,
       MQT_ACCOUNT | MQT_INDEX_OR_ACCOUNT | MQT_NOT_STREAMABLE},
      {"M~SN_IBM", "NYSE", "STK", 1, "IBM", "", "", 0, 0, 100, MQT_MIDPOINT},
      {"VOL-NYSE", "SMART", "STK", 1, "VOL-NYSE", "", "", 0, 0, 100,
       MQT_MARKET_INDICATOR | MQT_NEGATIVE_OK},
      {"TICK-NYSE", "SMART", "STK", 1, "TICK-NYSE", "", "", 0, 0, 100, MQT_NEGATIVE_OK},
      {"~IBM", "SMART", "STK", 1, "~IBM", "", "", 0, 0, 100, MQT_TILDE | MQT_NOT_STREAMABLE},
  };
  for (const contract_case &c : cases) {
    mqt r = {};
    strcpy(r.symbol, c.symbol);
    parse_contract_symbol(&r);
    SCOPED_TRACE(c.symbol);
    EXPECT_STREQ(r.exchange, c.exchange);
    EXPECT_STREQ(r.sec_type, c.sec_type);
    EXPECT_EQ(r.sec_code, c.sec_code);
    EXPECT_STREQ(r.local_symbol, c.local_symbol);
    EXPECT_STREQ(r.expiry, c.expiry);
    EXPECT_STREQ(r.currency, c.currency);
    if (c.tick_size) EXPECT_DOUBLE_EQ(r.tick_size, c.tick_size);
    if (c.multiplier) EXPECT_EQ(r.multiplier, c.multiplier);
    EXPECT_EQ(r.lot_size, c.lot_size);
    EXPECT_EQ(r.flags & c.flags, c.flags);
  }
}

TEST_F(ContractTest, OptionStrikeAndRightAndSpreadFlags) {
  mqt r = {};
  strcpy(r.symbol, "O_IBM_200401_85.5C");
  parse_contract_symbol(&r);
  EXPECT_DOUBLE_EQ(r.strike, 85.5);
  EXPECT_STREQ(r.right, "C");

  mqt m = {};
  strcpy(m.symbol, "M~IBM");
  parse_contract_symbol(&m);
  EXPECT_FALSE(m.flags & MQT_NOT_STREAMABLE);

  mqt s = {};
  strcpy(s.symbol, "R~AB");
  parse_contract_symbol(&s);
  EXPECT_EQ(s.flags & (MQT_SPREAD | MQT_RATIO_SPREAD | MQT_NEGATIVE_OK | MQT_INDEX_OR_ACCOUNT),
            (uint32_t)(MQT_SPREAD | MQT_RATIO_SPREAD | MQT_NEGATIVE_OK | MQT_INDEX_OR_ACCOUNT));

  // A text longer than the fields is cut, never run past them.
  mqt l = {};
  strcpy(l.symbol, "STKVERYLONGEXCHANGE_ABCDEFGHIJ");
  parse_contract_symbol(&l);
  EXPECT_STREQ(l.exchange, "VERYLON");
}

TEST_F(ContractTest, AliasWithoutIntradayDataIsNotStreamed) {
  root_.write("ALIAS/test.txt", "-DAILY IBM\nMSFT.D MSFT\n");
  ASSERT_EQ(read_alias_file("test"), 1);
  EXPECT_TRUE(create_multiquote_struct("IBM")->flags & MQT_NOT_STREAMABLE);
  EXPECT_FALSE(create_multiquote_struct("MSFT")->flags & MQT_NOT_STREAMABLE);
}

TEST_F(ContractTest, MarketOfTheExchangeOrTheFirstOne) {
  clear_markets();
  market_rec *first = add_market("GLOBEX");
  market_rec *nyse = add_market("NYSE");
  mqt a = {};
  strcpy(a.symbol, "SN_IBM");
  parse_contract_symbol(&a);
  EXPECT_EQ(a.market, nyse);
  mqt b = {};
  strcpy(b.symbol, "IBM");
  parse_contract_symbol(&b);
  EXPECT_EQ(b.market, first);
  clear_markets();
}

}  // namespace
