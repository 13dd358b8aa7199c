#include "data/pricefmt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "data/priceparse.h"
#include "data/tests/status_capture.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace {

TEST(TickDecimals, Table) {
  struct Case {
    double tick;
    int code;
  } cases[] = {
      {0.25, 2},  {0.00005, 4}, {0.015625, 64}, {0.03125, 32}, {1, 0},     {5, 0},   {0.01, 2},
      {0.001, 2}, {0.0001, 4},  {0.0005, 3},    {0, 2},        {-0.01, 2}, {NAN, 2}, {1e-300, 9},
  };
  for (const Case &c : cases) EXPECT_EQ(tick_decimals(c.tick), c.code) << c.tick;
}

TEST(FormatPrice, Table) {
  struct Case {
    double price;
    int code, flags, data_format;
    const char *text;
  } cases[] = {
      {101.5, 32, 0, 0, "101'16"},
      {101.515625, 64, 0, 0, "101'165"},
      {12.5, 2, 0, 0, "12.50"},
      {12.5, 0, 0, 0, "12.5"},
      {12, 0, 0, 0, "12"},
      {12, 2, 0, 0, "12.00"},
      {0.5, 5, 0, 0, ".50000"},
      {-0.5, 5, 0, 0, "-.50000"},
      {0.5, 2, 0, 0, "0.50"},
      {1.23456789, 4, 0, 0, "1.23457"},  // six significant digits
      {123456.7, 2, 0, 0, "123457"},
      {123456.7, 2, FORMAT_PRICE_COMMAS, 0, "123,457"},
      {1234.5, 2, FORMAT_PRICE_COMMAS, 0, "1234.50"},
      {-1234567.0, 0, FORMAT_PRICE_COMMAS, 0, "-1,234,570"},
      {0, 2, 0, 0, "0.00"},
      {0, 0, 0, 0, "0"},
      // Spreads have negative prices: sign first, then the magnitude.
      {-1.5, 32, 0, 0, "-1'16"},
      {-0.5, 32, 0, 0, "-0'16"},
      {-101.515625, 64, 0, 0, "-101'165"},
      // Fractions when the data format asks for them.
      {12.375, 2, 0, 1, "12 3/8"},
      {12, 2, 0, 1, "12"},
      {12.375, 2, FORMAT_PRICE_DECIMAL, 1, "12.375"},
      {0.05, 2, 0, 1, "0.05"},
      {-2.5, 2, 0, 1, "-2.50"},
  };
  for (const Case &c : cases) {
    g_data_format = c.data_format;
    char buf[64];
    EXPECT_STREQ(format_price(c.price, buf, c.code, c.flags), c.text)
        << c.price << " code " << c.code;
  }
  g_data_format = 0;
  EXPECT_LT(strlen(format_price(1e300, nullptr, 2, FORMAT_PRICE_COMMAS)), 64u);
  EXPECT_STREQ(format_price(NAN, nullptr, 2, 0), "0");
}

TEST(FormatFraction, PlainAndColumns) {
  struct Case {
    double value;
    int column;
    const char *text;
  } cases[] = {
      {12.375, 0, "12 3/8"},   {0.5, 0, "1/2"},  {3, 0, "3"},       {1.015625, 0, "1 1/64"},
      {12.375, 1, "12  3/8 "}, {0.5, 1, "1/2 "}, {3, 1, "3      "}, {-2.25, 0, "-2 1/4"},
  };
  for (const Case &c : cases) EXPECT_STREQ(format_fraction(c.value, c.column), c.text) << c.value;
}

TEST(FormatVolume, Styles) {
  struct Case {
    int value, flags;
    const char *text;
  } cases[] = {
      {1234567, 1, "1,234,567"},
      {1234567, 2, "1.2M"},
      {12345678, 2, " 12M"},
      {5000, 2, "5000"},
      {1234567890, 1, "1,234,567,890"},
      {-1234567, 1, "-1,234,567"},
      {999, 1, "999"},
      {1000, 1, "1,000"},
      {1234567890, 2, "1.2B"},
      {2000000000, 2, "  2B"},
      {3050000, 2, "  3M"},
      {45678, 2, " 45K"},
      {42, 3, "42%"},
      {12345, 3, "123x"},
      {-5000000, 3, "-9999x"},
      {5000000, 3, "9999x"},
      {42, 0, "42"},
      {42, 0x100, "42%"},
      {1234567, 0x101, "1,234,567%"},
  };
  for (const Case &c : cases) {
    char buf[64];
    EXPECT_STREQ(format_volume(buf, c.value, c.flags), c.text) << c.value << " " << c.flags;
  }
  char buf[64];
  EXPECT_STREQ(format_volume_real(buf, 12.3e9, 2), " 12B");
  EXPECT_STREQ(format_volume_real(buf, 1.5e9, 2), "1.5B");
  EXPECT_STREQ(format_volume_real(buf, 2.5, 3), "2.5%");
  EXPECT_STREQ(format_volume_real(buf, 42.0, 3), "42%");
  EXPECT_STREQ(format_volume_real(buf, 1234567.0, 1), "1,234,567");
}

TEST(ParsePrice, Table) {
  struct Case {
    const char *text;
    double price;
  } cases[] = {
      {"12 3/8", 12.375},
      {"-1/2", -0.5},
      {"101'16", 101.5},
      {"101'165", 101.515625},
      {"$ 12.25", 12.25},
      {"12", 12},
      {"1/0", 0},
      {"12 0/8", 12},
      {"+3/4", 0.75},
      {"-101'16", -101.5},
      {"", 0},
      {"\t$7.5", 7.5},
      {"--99999999999999999999 1/2", -9.223372036854775808e18},  // clipped, no overflow
  };
  for (const Case &c : cases) EXPECT_DOUBLE_EQ(parse_price_text(c.text), c.price) << c.text;
  EXPECT_EQ(parse_price_text(nullptr), 0);
  StatusCapture status;
  EXPECT_EQ(parse_price("12", 7), 0);
  EXPECT_TRUE(status.saw("unknown price method in parse file"));
}

TEST(ParseCount, CommasSignsAndMultiplier) {
  EXPECT_EQ(parse_count("1,234,567", 0), 1234567);
  EXPECT_EQ(parse_count("12", 100), 1200);
  EXPECT_EQ(parse_count("-5", 0), 0);  // a trailing character dropped: "-"
  EXPECT_EQ(parse_count("99999999999", 1000), 2147483647);
  EXPECT_EQ(parse_count(nullptr, 0), 0);
}

class ParseDateStyle : public ::testing::Test {
 protected:
  void SetUp() override { kv_clock_set_utc_ms(int64_t(1781000000) * 1000); }  // June 2026
  void TearDown() override { kv_clock_reset(); }
};

TEST_F(ParseDateStyle, Table) {
  struct Case {
    const char *text;
    int style, date;
  } cases[] = {
      {"3/15/07", 0, 20070315},
      {"070315", 1, 20070315},
      {"950315", 1, 19950315},
      {"20070315", 1, 20070315},
      {"250315", 1, 20250315},
      {"Mar-07", 3, 20070300},
      {"Mar-2007", 3, 20070300},
      {"15-Mar-2007", 2, 20070315},
      {"15-Mar-07", 2, 20070315},
      {"15-Marz-2007", 4, 20070315},
      {"1-F\xe9vrier-2007", 5, 20070201},
      {"1-AO\xfbT-2007", 5, 20070801},
      {"2-dicembre-07", 6, 20071202},
      {"2-Septembre-07", 7, 20070902},
      {"2-Maj-2007", 8, 20070502},
      {"2-Desember-2007", 9, 20071202},
      {"2-Marts-2007", 10, 20070302},
      {"15-March-2007", 2, 20071315},
      {"15-Mar-2007", 11, 0},
      {"15-Mar-2007", -1, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(parse_date_style(c.text, c.style), c.date) << c.text;
  EXPECT_EQ(parse_date_style(nullptr, 2), 0);
}

}  // namespace
