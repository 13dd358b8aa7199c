// The window settings record as stored in page layouts and favourites.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "data/chartheader.h"
#include "data/chartsettings.h"

namespace {

TEST(ChartSettings, ImageOfVariedBytesRoundTripsUnnamedBytesIncluded) {
  uint8_t image[CHART_SETTINGS_SIZE];
  for (int i = 0; i < CHART_SETTINGS_SIZE; i++) image[i] = (uint8_t)(i * 37 + 11);
  put_le32(image + 556, 0);  // the saved-columns address is never stored
  ChartSettings s;
  decode_chart_settings(image, &s);
  uint8_t out[CHART_SETTINGS_SIZE];
  memset(out, 0xEE, sizeof out);
  encode_chart_settings(&s, out);
  for (int i = 0; i < CHART_SETTINGS_SIZE; i++) ASSERT_EQ(out[i], image[i]) << "byte " << i;

  // Fields land where the stored image has them.
  EXPECT_EQ((uint32_t)s.chart_id, get_le32(image + 4));
  EXPECT_EQ(s.bg_color, get_le32(image + 140));
  EXPECT_EQ(s.text_color2, get_le32(image + 148));
  EXPECT_EQ((uint16_t)s.line_width, get_le16(image + 276));
  EXPECT_EQ(s.display_flags, get_le32(image + 280));
  EXPECT_EQ((uint16_t)s.days_back, get_le16(image + 312));
  EXPECT_EQ((uint32_t)s.rect_slots[0], get_le32(image + 344));
  EXPECT_EQ((uint32_t)s.m_nFirst, get_le32(image + 536));
  EXPECT_EQ(s.items, nullptr);
}

TEST(ChartSettings, AnAddressInMemoryIsStoredAsZero) {
  ChartSettings s;
  default_chart_settings(&s, 20260102);
  int columns[4];
  s.items = columns;
  s.item_count = 4;
  s.items_word = 0xDEADBEEF;
  uint8_t out[CHART_SETTINGS_SIZE];
  encode_chart_settings(&s, out);
  EXPECT_EQ(get_le32(out + 556), 0u);
  EXPECT_EQ(get_le32(out + 552), 4u);
}

TEST(ChartSettings, WidthWrittenAsThirtyTwoBitsReadsItsLowHalf) {
  uint8_t image[CHART_SETTINGS_SIZE] = {};
  put_le32(image + 276, 0x00010003);
  ChartSettings s;
  decode_chart_settings(image, &s);
  EXPECT_EQ(s.line_width, 3);
  uint8_t out[CHART_SETTINGS_SIZE];
  encode_chart_settings(&s, out);
  EXPECT_EQ(get_le32(out + 276), 0x00010003u);  // the high half is carried
}

TEST(ChartSettings, DefaultTemplateWritesItsTableAndZerosElsewhere) {
  ChartSettings s;
  default_chart_settings(&s, 20261210);
  uint8_t out[CHART_SETTINGS_SIZE];
  encode_chart_settings(&s, out);
  std::vector<uint8_t> expect(CHART_SETTINGS_SIZE, 0);
  auto w32 = [&](int off, uint32_t v) { put_le32(expect.data() + off, v); };
  expect[76] = '*';
  w32(140, 0xFFFFFF);
  w32(156, 0x969696);
  w32(160, 0x969696);
  w32(196, 390);
  w32(216, 20261210);
  w32(220, 0x00FF00);
  w32(224, 0x0000FF);
  w32(236, 0xFF0000);
  w32(240, 0x4080FF);
  w32(244, 0xFF0000);
  w32(248, 0xFFFF00);
  w32(252, 1);
  put_le16(expect.data() + 276, 1);
  w32(284, 0xFFFF00);
  for (int off : {288, 296, 304}) w32(off, 0x00FFFF);
  for (int off : {292, 300}) w32(off, 0xFF0000);
  for (int off : {360, 444, 520}) w32(off, 1);
  w32(448, 12);
  w32(452, 18);
  w32(456, 32);
  w32(536, 0xFFFFFFFF);
  w32(540, 0xFFFFFFFF);
  w32(580, 2);
  for (int i = 0; i < CHART_SETTINGS_SIZE; i++) ASSERT_EQ(out[i], expect[i]) << "byte " << i;
}

TEST(ChartSettings, TextFillingItsFieldIsReadBounded) {
  ChartSettings s;
  memset(&s, 'A', sizeof s.symbol + offsetof(ChartSettings, symbol));
  char out[32];
  chart_settings_text(s.symbol, sizeof s.symbol, out);
  EXPECT_EQ(strlen(out), 31u);
}

}  // namespace
