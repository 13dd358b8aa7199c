// Accounts and portfolio from TWS's messages: managed accounts and their
// records, the advisor XML, account values and exchange rates, portfolio
// positions and the status line.
#include "broker/tests/tws_data_fixture.h"
#include "data/chart.h"
#include "data/chartload.h"
#include "data/dates.h"
#include "quotes/livechart.h"

namespace {

class TwsAcctTest : public TwsDataTest {};

const char k_groups[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ListOfGroups>"
    "<Group><name>Growth</name><ListOfAccts varName=\"list\"><String>DU1</String>"
    "<String>DU3</String></ListOfAccts><defaultMethod>AvailableEquity</defaultMethod></Group>"
    "<Group><name>All</name><ListOfAccts><String>DU1</String><String>DU2</String>"
    "<String>DU3</String></ListOfAccts><defaultMethod>NetLiq</defaultMethod></Group>"
    "</ListOfGroups>";
const char k_profiles[] =
    "<ListOfAllocationProfiles><AllocationProfile><name>Half</name><type>1</type>"
    "<ListOfAllocations><Allocation><acct>DU2</acct><amount>50</amount></Allocation>"
    "</ListOfAllocations></AllocationProfile></ListOfAllocationProfiles>";
const char k_aliases[] =
    "<ListOfAccountAliases><AccountAlias><account>DU2</account><alias>Pension</alias>"
    "</AccountAlias></ListOfAccountAliases>";

TEST_F(TwsAcctTest, ManagedAccountsAdvisorDataAndTargets) {
  g_pref_flags1 |= 0x800;
  connect();
  deliver({"15", "1", "DU1,DU2,DU3"});
  ASSERT_EQ(3, tws_account_count());
  mqt* a2 = find_account_record("DU2");
  ASSERT_NE(nullptr, a2);
  EXPECT_STREQ("A~DU2", a2->symbol);
  // Account pseudo-symbols take tickers from the top.
  EXPECT_GE(a2->symbol_slot, 298);
  deliver({"16", "1", "1", k_groups});
  deliver({"16", "1", "2", k_profiles});
  deliver({"16", "1", "3", k_aliases});
  EXPECT_STREQ("Pension", tws_account_alias(1));
  EXPECT_STREQ("Pension", a2->description);
  EXPECT_EQ(2u, advisor_account_mask("Pension"));

  EXPECT_EQ(1, set_advisor_target("Growth"));
  EXPECT_EQ(ADVISOR_GROUP, g_advisor_mode);
  EXPECT_EQ(5u, g_advisor_mask);
  EXPECT_STREQ("AvailableEquity", g_advisor_method);
  EXPECT_EQ(1, set_advisor_target("Half"));
  EXPECT_EQ(ADVISOR_PROFILE, g_advisor_mode);
  EXPECT_EQ(2u, g_advisor_mask);
  EXPECT_EQ(1, set_advisor_target("Pension"));
  EXPECT_EQ(ADVISOR_ACCOUNT, g_advisor_mode);
  EXPECT_STREQ("DU2", g_advisor_account);
  EXPECT_EQ(0, set_advisor_target("Nobody"));
  EXPECT_TRUE(has_status("Unknown advisor string:"));
  EXPECT_EQ(1, set_advisor_target(nullptr));
  EXPECT_EQ(1u, g_advisor_mask);

  const char* const* list = build_advisor_list();
  std::vector<std::string> got;
  for (; *list; list++) got.push_back(*list);
  EXPECT_EQ((std::vector<std::string>{"DU1", "Pension", "DU3", "Half", "Growth", "All"}), got);

  // Broken XML keeps what was there.
  EXPECT_EQ(0, tws_receive_fa(1, "<ListOfGroups><Group><name>X</name>"));
  EXPECT_EQ(1, set_advisor_target("Growth"));
  EXPECT_EQ(0, tws_receive_fa(9, "<x/>"));
  EXPECT_TRUE(has_status("Unknown FA type received by RECEIVE_FA"));
}

// A new advisor selection clears the race's listed flags and posts the
// race's clear in one hold of g_chart_lock: a portfolio update of the
// reader thread can't list a record in between (its add would arrive
// before the clear and be dropped with it).
TEST_F(TwsAcctTest, SelectionClearsTheRaceWithinOneHoldOfTheLock) {
  g_pref_flags1 |= 0x800;
  connect();
  deliver({"15", "1", "DU1,DU2"});
  pump();
  kv_hwnd race = kv_window_create(nullptr, nullptr);
  g_pl_window = race;
  static int s_clear_posted_locked;
  s_clear_posted_locked = -1;
  // The first post into the empty queue wakes the window thread: the clear.
  kv_set_post_wakeup(
      [](void* w) {
        if (s_clear_posted_locked < 0 && kv_posted_count(*(kv_hwnd*)w) == 1)
          s_clear_posted_locked = g_chart_lock.held_by_current_thread();
      },
      &race);
  EXPECT_EQ(1, set_advisor_target("DU2"));
  kv_set_post_wakeup(nullptr, nullptr);
  g_pl_window = 0;
  kv_window_destroy(race);
  EXPECT_EQ(1, s_clear_posted_locked);
}

TEST_F(TwsAcctTest, AccountsBeyondSixteenAreLeftOutWithAStatusLine) {
  std::string list;
  for (int i = 0; i < 18; i++) list += (i ? "," : "") + std::string("U") + std::to_string(i);
  EXPECT_EQ(16, tws_managed_accounts(list.c_str()));
  EXPECT_TRUE(has_status("Managed accounts beyond 16 left out"));
}

TEST_F(TwsAcctTest, AccountValuesRatesAndStatusLine) {
  char line[160];
  format_account_status(line, sizeof line);
  EXPECT_STREQ("A~?????", line);
  connect();
  // Outside advisor mode the first account seen is the account.
  deliver({"6", "2", "AvailableFunds", "5000", "USD", "U77"});
  EXPECT_EQ(1, tws_account_count());
  mqt* a = find_account_record("U77");
  ASSERT_NE(nullptr, a);
  // Without a net liquidation value the percentage is 0, not a division.
  EXPECT_EQ(0, a->available_pct);
  format_account_status(line, sizeof line);
  EXPECT_NE(nullptr, strstr(line, "[0%]"));
  deliver({"6", "2", "NetLiquidation", "20000", "USD", "U77"});
  auto recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_FLOAT_EQ(20000, get_lef(recs[0].data() + 16));
  deliver({"6", "2", "AvailableFunds", "5000", "USD", "U77"});
  EXPECT_DOUBLE_EQ(25, a->available_pct);
  format_account_status(line, sizeof line);
  EXPECT_EQ(0, strncmp(line, "A~U77  NLV:", 11));
  EXPECT_NE(nullptr, strstr(line, "[25%]"));
  // Ten currencies fit; the eleventh is refused.
  const char* cur[] = {"EUR", "GBP", "JPY", "CHF", "CAD", "AUD", "HKD", "SEK", "NOK", "DKK", "SGD"};
  for (int i = 0; i < 11; i++)
    deliver({"6", "2", "ExchangeRate", std::to_string(1.5 + i), cur[i], "U77"});
  EXPECT_DOUBLE_EQ(1.5, tws_exchange_rate("EUR"));
  EXPECT_DOUBLE_EQ(1, tws_exchange_rate("SGD"));
  EXPECT_TRUE(has_status("exchange rate table overflow"));
  // A reset of the connection voids the record's ticker; the next value
  // takes one again and still reaches the record.
  ASSERT_EQ(1, start_socket_input_thread());
  peer_.reset_client();
  ASSERT_TRUE(pump_until([] { return !g_tws_connected.load(); }));
  EXPECT_EQ(0, a->symbol_slot);
  updateAccountValue("NetLiquidation", "21000", "USD", "U77");
  recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_EQ(a->symbol_slot, qr_record_symbol(recs[0].data()));
  EXPECT_FLOAT_EQ(21000, get_lef(recs[0].data() + 16));
}

TEST_F(TwsAcctTest, PortfolioPositionsAndTheBillionLimit) {
  mqt* r = stock("IBM", 9);
  connect();
  deliver({"7", "6", "8314", "IBM", "STK", "", "0", "", "USD", "IBM", "300", "110", "33000", "100",
           "3000", "50", "U1"});
  EXPECT_DOUBLE_EQ(300, r->account_positions[0].quantity);
  EXPECT_DOUBLE_EQ(100, r->account_positions[0].avg_price);
  EXPECT_DOUBLE_EQ(3000, r->account_positions[0].unrealized);
  double avg, u, re;
  EXPECT_DOUBLE_EQ(300, get_position_totals(r, &avg, &u, &re));
  EXPECT_DOUBLE_EQ(100, avg);
  EXPECT_DOUBLE_EQ(50, re);
  EXPECT_EQ(1, r->pl_listed);
  // A value of 1,000,000,000 is refused whole.
  deliver({"7", "6", "8314", "IBM", "STK", "", "0", "", "USD", "IBM", "400", "110", "1000000000",
           "100", "3000", "50", "U1"});
  EXPECT_DOUBLE_EQ(300, r->account_positions[0].quantity);
  // An option position names its contract and makes its record.
  deliver({"7", "6", "9", "XYZ", "OPT", "20270115", "50", "C", "USD", "XYZ 270115C50", "2", "3",
           "600", "250", "100", "0", "U1"});
  {
    kv_lock guard(g_chart_lock);
    EXPECT_NE(nullptr, find_mqt("XYZ"));
  }
  // Profit in percent of a margin of 0 stays 0.
  recalc_portfolio_pl(PL_MODE_MARGIN_PCT);
  recalc_portfolio_pl(7);
  EXPECT_TRUE(has_status("Bad PLMODE"));
}

// The race draws a position's profit between the day's low and high that
// the portfolio updates reached, also those that no recalculation saw; in
// percent of the margin the three scale alike.
TEST_F(TwsAcctTest, RaceProfitSpansTheDaysLowAndHighOfThePortfolioUpdates) {
  mqt* r = stock("IBM", 9);
  connect();
  for (const char* unrealised : {"1000", "1500", "400"})
    deliver({"7", "6", "8314", "IBM", "STK", "", "0", "", "USD", "IBM", "100", "104", "10400",
             "100", unrealised, "0", "U1"});
  recalc_portfolio_pl(PL_MODE_AMOUNTS);
  EXPECT_FLOAT_EQ(400, r->race.pl_now);
  EXPECT_FLOAT_EQ(400, r->race.pl_low);
  EXPECT_FLOAT_EQ(1500, r->race.pl_high);
  // A quarter of the value, 2,600, is the margin.
  recalc_portfolio_pl(PL_MODE_MARGIN_PCT);
  EXPECT_FLOAT_EQ(400 * 100.0f / 2600, r->race.pl_now);
  EXPECT_FLOAT_EQ(400 * 100.0f / 2600, r->race.pl_low);
  EXPECT_FLOAT_EQ(1500 * 100.0f / 2600, r->race.pl_high);
}

// Grouping by underlying pools the options' profit into the stock's record
// and margins a long and a short call of the same expiry as a pair.
TEST_F(TwsAcctTest, GroupingByUnderlyingPoolsProfitAndPairsOptionLegs) {
  mqt* under = stock("XYZ", 20);
  mqt* lc = stock("XYZ C50", 21);
  mqt* sc = stock("XYZ C55", 22);
  auto option = [](mqt* r, double strike, double q, double avg, double unrealized) {
    snprintf(r->sec_type, sizeof r->sec_type, "OPT");
    r->sec_code = 0x4;  // option
    snprintf(r->right, sizeof r->right, "C");
    snprintf(r->expiry, sizeof r->expiry, "20270115");
    snprintf(r->contract_root, sizeof r->contract_root, "XYZ");
    r->multiplier = 100;
    r->strike = strike;
    r->account_positions[0].quantity = q;
    r->account_positions[0].avg_price = avg;
    r->account_positions[0].unrealized = unrealized;
  };
  {
    kv_lock guard(g_chart_lock);
    under->last = 50;
    under->account_positions[0].quantity = 100;
    under->account_positions[0].avg_price = 40;
    under->account_positions[0].unrealized = 1000;
    option(lc, 50, 2, 3, 100);
    option(sc, 55, -3, 1, -30);
  }
  recalc_portfolio_pl(PL_MODE_AMOUNTS | PL_BY_UNDERLYING);
  EXPECT_EQ(1, under->pl_listed);
  EXPECT_DOUBLE_EQ(1070, under->pl_unrealized);
  EXPECT_DOUBLE_EQ(1070, under->pl_profit);
  // Stock 100 x 50 / 2; the pair 2 x 5 x 100; the short left over
  // max(0.2 x 50 - 5, 0.1 x 55, 2.5) x 100.
  EXPECT_DOUBLE_EQ(2500 + 1000 + 550, under->pl_margin);
  // A long leg expiring before the short one covers nothing.
  {
    kv_lock guard(g_chart_lock);
    snprintf(lc->expiry, sizeof lc->expiry, "20261218");
  }
  recalc_portfolio_pl(PL_MODE_AMOUNTS | PL_BY_UNDERLYING);
  EXPECT_DOUBLE_EQ(2500 + 3 * 550, under->pl_margin);
  // Percent of the pooled margin.
  recalc_portfolio_pl(PL_MODE_MARGIN_PCT | PL_BY_UNDERLYING);
  EXPECT_DOUBLE_EQ(1070 * 100.0 / 4150, under->pl_profit);
  // Without grouping the stock stands alone at a quarter of its value.
  recalc_portfolio_pl(PL_MODE_AMOUNTS);
  EXPECT_DOUBLE_EQ(1250, under->pl_margin);
  EXPECT_DOUBLE_EQ(1000, under->pl_profit);
  // An option naming no underlying ends the pass with an error line.
  {
    kv_lock guard(g_chart_lock);
    sc->contract_root[0] = 0;
  }
  recalc_portfolio_pl(PL_MODE_AMOUNTS | PL_BY_UNDERLYING);
  EXPECT_TRUE(has_status("underlying symbol does not exist"));
}

// In advisor mode a position of an account without a slot is left out:
// it must not land on the first account.
TEST_F(TwsAcctTest, AdvisorPositionOfAnUnlistedAccountIsLeftOut) {
  g_pref_flags1 |= 0x800;
  mqt* r = stock("IBM", 9);
  connect();
  deliver({"15", "1", "DU1,DU2"});
  deliver({"7", "6", "8314", "IBM", "STK", "", "0", "", "USD", "IBM", "300", "110", "33000", "100",
           "3000", "50", "DU9"});
  EXPECT_DOUBLE_EQ(0, r->account_positions[0].quantity);
  EXPECT_EQ(0, r->account_positions[0].update_count);
  deliver({"7", "6", "8314", "IBM", "STK", "", "0", "", "USD", "IBM", "200", "110", "22000", "100",
           "2000", "0", "DU2"});
  EXPECT_DOUBLE_EQ(0, r->account_positions[0].quantity);
  EXPECT_DOUBLE_EQ(200, r->account_positions[1].quantity);
}

// Each account's pseudo-symbol has a daily chart, listed and linked to its
// record, that the account holds until it is released; the release is safe
// before and after the exit tear-down of charts and records.
TEST_F(TwsAcctTest, AccountDailyChartLoadsAndGoesAtExitInEitherOrder) {
  // Charts drop their use of the record through the loader's hooks.
  chart_load_hooks saved = g_chart_load_hooks;
  install_mqt_chart_hooks();
  g_mqt_hooks.update_mqt_charts = update_mqt_charts;
  for (int order = 0; order < 2; order++) {
    SCOPED_TRACE(order ? "records torn down first" : "accounts released first");
    tws_managed_accounts("DU1,DU2");
    chart_rec* c;
    mqt* r;
    {
      kv_lock guard(g_chart_lock);
      c = find_listed_chart("A~DU1", TU_DAILY);
      r = find_mqt("A~DU1");
      ASSERT_NE(nullptr, c);
      ASSERT_NE(nullptr, r);
      EXPECT_EQ(r, c->mqt);
      EXPECT_EQ(c, r->daily_charts);
      EXPECT_EQ(1, c->references);
      ASSERT_NE(nullptr, find_listed_chart("A~DU2", TU_DAILY));
    }
    // The net liquidation value builds the chart's bar of the day.
    // A value before the record has its date (the quote thread gives it)
    // finds the empty chart and leaves it be.
    if (order == 0) {
      updateAccountValue("NetLiquidation", "19000", "USD", "DU1");
      dispatch_taken();
      {
        kv_lock guard(g_chart_lock);
        EXPECT_EQ(0, c->header.bar_count);
        r->quote_date = seconds_to_date(kv_now_utc_seconds());
      }
      updateAccountValue("NetLiquidation", "20000", "USD", "DU1");
      dispatch_taken();
      kv_lock guard(g_chart_lock);
      ASSERT_EQ(1, c->header.bar_count);
      EXPECT_FLOAT_EQ(20000, c->bars[0].close);
    }
    // A window opening the account's chart shares it.
    chart_rec* shared = nullptr;
    {
      kv_lock guard(g_chart_lock);
      c->references++;
      shared = c;
    }
    if (order == 0) {
      tws_accounts_release();
      {
        kv_lock guard(g_chart_lock);
        // The window's reference keeps the chart and its record.
        EXPECT_EQ(c, find_listed_chart("A~DU1", TU_DAILY));
        EXPECT_EQ(1, c->references);
        EXPECT_EQ(nullptr, find_listed_chart("A~DU2", TU_DAILY));
        EXPECT_EQ(nullptr, find_mqt("A~DU2"));
      }
      free_chart_data(shared);
      kv_lock guard(g_chart_lock);
      EXPECT_EQ(nullptr, find_listed_chart("A~DU1", TU_DAILY));
      EXPECT_EQ(nullptr, find_mqt("A~DU1"));
    } else {
      // The exit tear-down: every chart goes whatever its references, then
      // every record.  The accounts then find nothing: values that still
      // arrive and the release touch no freed memory.
      {
        kv_lock guard(g_chart_lock);
        while (g_chart_list) {
          g_chart_list->references = 1;
          free_chart_data(g_chart_list);
        }
      }
      free_all_mqts();
      EXPECT_EQ(nullptr, find_account_record("DU1"));
      updateAccountValue("NetLiquidation", "1000", "USD", "DU1");
      updateAccountValue("AvailableFunds", "500", "USD", "DU1");
      tws_accounts_release();
    }
    EXPECT_EQ(0, tws_account_count());
  }
  g_chart_load_hooks = saved;
}

TEST_F(TwsAcctTest, AccountSymbolsOfferTheFirstAccountOnly) {
  EXPECT_EQ(nullptr, get_account_symbols()[0]);
  connect();
  tws_managed_accounts("DU1,DU2");
  const char* const* list = get_account_symbols();
  ASSERT_NE(nullptr, list[0]);
  EXPECT_STREQ("A~DU1", list[0]);
  EXPECT_EQ(nullptr, list[1]);
}

}  // namespace
