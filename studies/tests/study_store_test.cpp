// The 224-byte stored form of a study, as page layouts and favourites keep
// it: offsets written out by hand here, not by the encoder.
#include <gtest/gtest.h>

#include <cstring>

#include "studies/study.h"

namespace {

void put32(unsigned char *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}

void put64(unsigned char *p, double d) {
  uint64_t v;
  memcpy(&v, &d, 8);
  for (int i = 0; i < 8; i++) p[i] = (unsigned char)(v >> (8 * i));
}

// A stored study with every field set, laid out by the documented offsets.
void stored_image(unsigned char b[STUDY_STORED_SIZE], uint32_t id, uint32_t order) {
  memset(b, 0, STUDY_STORED_SIZE);
  put32(b + 0, 0x4001F);
  put32(b + 4, 0x00FF8040);
  put32(b + 8, 7);
  put32(b + 12, 16);
  put32(b + 16, id);
  put32(b + 20, 2);
  put32(b + 24, 1234);
  b[28] = 9;  // lib_index 0xFF09 = -247
  b[29] = 0xFF;
  b[30] = 3;  // output_count
  put32(b + 32, 0xA5A5A5A5);
  put32(b + 36, 0x710);
  put32(b + 40, 0x11);
  memcpy(b + 44, "ferlume1", 9);
  memcpy(b + 76, "Lower Bollinger Band(20,-2.0)", 30);
  put32(b + 140, 20);
  put32(b + 144, 4);
  put32(b + 148, 3);
  put64(b + 152, 1.0);
  put64(b + 160, -2.0);
  put64(b + 168, 0.125);
  put64(b + 176, -1e300);
  for (int i = 184; i < 192; i++) b[i] = (unsigned char)(0x30 + i);
  put32(b + 192, order);
  put32(b + 196, 0x0305);  // attachment word: offset 3 ticks, multiple 2, round down
  for (int i = 200; i < 224; i++) b[i] = (unsigned char)i;
}

}  // namespace

TEST(StudyStore, ReadsEveryFieldFromItsOffset) {
  unsigned char b[STUDY_STORED_SIZE];
  stored_image(b, 77, 4242);
  StudyDef s;
  memset(&s, 0xCC, sizeof s);
  study_from_stored(&s, b);
  EXPECT_EQ(s.type, 0x4001F);
  EXPECT_EQ(s.color, 0x00FF8040u);
  EXPECT_EQ(s.line_style, 7);
  EXPECT_EQ(s.pane_group, 16u);
  EXPECT_EQ(s.line_width, 2);
  EXPECT_EQ(s.output_len, 1234);
  EXPECT_EQ(s.lib_index, -247);
  EXPECT_EQ(s.output_count, 3);
  EXPECT_EQ(s.param_flags, 0x710u);
  EXPECT_EQ(s.state, 0x11u);
  EXPECT_STREQ(s.lib_name, "ferlume1");
  EXPECT_STREQ(s.name, "Lower Bollinger Band(20,-2.0)");
  EXPECT_EQ(s.period, 20);
  EXPECT_EQ(s.price_type, 4);
  EXPECT_EQ(s.method, 3);
  EXPECT_EQ(s.p1, 1.0);
  EXPECT_EQ(s.p2, -2.0);
  EXPECT_EQ(s.p3, 0.125);
  EXPECT_EQ(s.p4, -1e300);
  EXPECT_EQ(s.attach_word, 0x0305u);
  // a record read back is a template: no id, no order, no link or function
  EXPECT_EQ(s.id, 0);
  EXPECT_EQ(s.attached_order, 0);
  EXPECT_EQ(s.next, nullptr);
  EXPECT_EQ(s.compute, nullptr);
  EXPECT_EQ(s.outputs, nullptr);
}

TEST(StudyStore, RoundTripsByteForByte) {
  unsigned char in[STUDY_STORED_SIZE], out[STUDY_STORED_SIZE];
  stored_image(in, 0, 0);
  StudyDef s;
  memset(&s, 0, sizeof s);
  study_from_stored(&s, in);
  study_to_stored(&s, out);
  EXPECT_EQ(memcmp(in, out, STUDY_STORED_SIZE), 0);

  // a live record writes its id and order; reading them back clears both
  s.id = 12;
  s.attached_order = 99;
  study_to_stored(&s, out);
  stored_image(in, 12, 99);
  EXPECT_EQ(memcmp(in, out, STUDY_STORED_SIZE), 0);
}

TEST(StudyStore, TextsFromAFileAreTerminated) {
  unsigned char b[STUDY_STORED_SIZE];
  stored_image(b, 0, 0);
  memset(b + 44, 'L', 32);
  memset(b + 76, 'N', 64);
  StudyDef s;
  memset(&s, 0, sizeof s);
  study_from_stored(&s, b);
  EXPECT_EQ(strlen(s.lib_name), 31u);
  EXPECT_EQ(strlen(s.name), 63u);
  EXPECT_EQ(s.period, 20);  // the next field is untouched
}
