// The drawing defaults block: fields at their byte places, carried bytes kept.
#include <gtest/gtest.h>

#include <cstring>

#include "data/drawdefs.h"
#include "data/lefield.h"

namespace {

TEST(DrawDefaults, FieldsAtTheirPlacesAndCarriedBytesKept) {
  uint8_t block[DRAW_DEFS_SIZE];
  for (int i = 0; i < DRAW_DEFS_SIZE; i++) block[i] = (uint8_t)(i * 7 + 3);
  uint8_t before[DRAW_DEFS_SIZE];
  memcpy(before, block, sizeof block);
  draw_defaults d;
  draw_defaults_builtin(&d);
  d.levels[8].enabled = 1, d.levels[8].fraction = 0.9f, d.levels[8].color = 0x123456;
  d.snap = 0x1F;
  draw_defaults_encode(&d, block);
  // The toolbar takes words 0, 2 and 3; levels are 16 bytes from 28.
  EXPECT_EQ(get_le32(block + 0), 0x0000FFu);
  EXPECT_EQ(get_le32(block + 4), 0xFFFF00u);
  EXPECT_EQ(get_le32(block + 12), 2u);
  EXPECT_FLOAT_EQ(get_lef(block + 16), 1.0f);
  EXPECT_EQ(get_le32(block + 28 + 16), 1u);  // 38.2 % on
  EXPECT_FLOAT_EQ(get_lef(block + 28 + 2 * 16 + 4), 0.5f);
  EXPECT_EQ(get_le32(block + 28 + 2 * 16 + 12), 1u);  // its style
  EXPECT_EQ(get_le32(block + 28 + 8 * 16 + 8), 0x123456u);
  EXPECT_EQ(get_le32(block + 172), 0x1Fu);
  EXPECT_EQ(memcmp(block + 176, before + 176, DRAW_DEFS_SIZE - 176), 0);
  draw_defaults back;
  draw_defaults_decode(block, &back);
  EXPECT_EQ(memcmp(&back, &d, sizeof d), 0);
}

}  // namespace
