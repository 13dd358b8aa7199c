// Stored form of a study record: the 224 bytes that page layouts and
// favourites keep for each study, written field by field, little-endian.
#include <cstring>

#include "data/lefield.h"
#include "studies/study.h"

enum {
  SF_TYPE = 0,
  SF_COLOR = 4,
  SF_LINE_STYLE = 8,
  SF_PANE_GROUP = 12,
  SF_ID = 16,
  SF_LINE_WIDTH = 20,
  SF_OUTPUT_LEN = 24,
  SF_LIB_INDEX = 28,
  SF_OUTPUT_COUNT = 30,
  SF_UNUSED1 = 32,
  SF_PARAM_FLAGS = 36,
  SF_STATE = 40,
  SF_LIB_NAME = 44,
  SF_NAME = 76,
  SF_PERIOD = 140,
  SF_PRICE_TYPE = 144,
  SF_METHOD = 148,
  SF_P1 = 152,
  SF_P2 = 160,
  SF_P3 = 168,
  SF_P4 = 176,
  SF_CARRIED = 184,
  SF_ATTACHED_ORDER = 192,
  SF_ATTACH_WORD = 196,
  SF_ATTACH_CARRIED = 200,
  SF_END = 224,
};
static_assert(SF_LIB_NAME + sizeof(StudyDef::lib_name) == SF_NAME, "stored form layout");
static_assert(SF_NAME + sizeof(StudyDef::name) == SF_PERIOD, "stored form layout");
static_assert(SF_CARRIED + sizeof(StudyDef::carried) == SF_ATTACHED_ORDER, "stored form layout");
static_assert(SF_ATTACH_CARRIED + sizeof(StudyDef::attach_carried) == SF_END, "stored form layout");
static_assert(SF_END == STUDY_STORED_SIZE, "stored form is 224 bytes");

void study_to_stored(const StudyDef *s, unsigned char out[STUDY_STORED_SIZE]) {
  put_le32(out + SF_TYPE, (uint32_t)s->type);
  put_le32(out + SF_COLOR, s->color);
  put_le32(out + SF_LINE_STYLE, (uint32_t)s->line_style);
  put_le32(out + SF_PANE_GROUP, s->pane_group);
  put_le32(out + SF_ID, (uint32_t)s->id);
  put_le32(out + SF_LINE_WIDTH, (uint32_t)s->line_width);
  put_le32(out + SF_OUTPUT_LEN, (uint32_t)s->output_len);
  put_le16(out + SF_LIB_INDEX, (uint16_t)s->lib_index);
  put_le16(out + SF_OUTPUT_COUNT, (uint16_t)s->output_count);
  put_le32(out + SF_UNUSED1, (uint32_t)s->unused1);
  put_le32(out + SF_PARAM_FLAGS, s->param_flags);
  put_le32(out + SF_STATE, s->state);
  memcpy(out + SF_LIB_NAME, s->lib_name, sizeof s->lib_name);
  memcpy(out + SF_NAME, s->name, sizeof s->name);
  put_le32(out + SF_PERIOD, (uint32_t)s->period);
  put_le32(out + SF_PRICE_TYPE, (uint32_t)s->price_type);
  put_le32(out + SF_METHOD, (uint32_t)s->method);
  put_led(out + SF_P1, s->p1);
  put_led(out + SF_P2, s->p2);
  put_led(out + SF_P3, s->p3);
  put_led(out + SF_P4, s->p4);
  memcpy(out + SF_CARRIED, s->carried, sizeof s->carried);
  put_le32(out + SF_ATTACHED_ORDER, (uint32_t)s->attached_order);
  put_le32(out + SF_ATTACH_WORD, s->attach_word);
  memcpy(out + SF_ATTACH_CARRIED, s->attach_carried, sizeof s->attach_carried);
}

// Only the stored part is written; the caller's link, compute function,
// work area and outputs are cleared.  The texts come from a file: each is
// kept terminated within its field.
void study_from_stored(StudyDef *s, const unsigned char in[STUDY_STORED_SIZE]) {
  s->next = nullptr;
  s->type = (int32_t)get_le32(in + SF_TYPE);
  s->color = get_le32(in + SF_COLOR);
  s->line_style = (int32_t)get_le32(in + SF_LINE_STYLE);
  s->pane_group = get_le32(in + SF_PANE_GROUP);
  s->id = 0;
  s->line_width = (int32_t)get_le32(in + SF_LINE_WIDTH);
  s->output_len = (int32_t)get_le32(in + SF_OUTPUT_LEN);
  s->lib_index = (int16_t)get_le16(in + SF_LIB_INDEX);
  s->output_count = (int16_t)get_le16(in + SF_OUTPUT_COUNT);
  s->unused1 = (int32_t)get_le32(in + SF_UNUSED1);
  s->param_flags = get_le32(in + SF_PARAM_FLAGS);
  s->state = get_le32(in + SF_STATE);
  memcpy(s->lib_name, in + SF_LIB_NAME, sizeof s->lib_name);
  s->lib_name[sizeof s->lib_name - 1] = 0;
  memcpy(s->name, in + SF_NAME, sizeof s->name);
  s->name[sizeof s->name - 1] = 0;
  s->period = (int32_t)get_le32(in + SF_PERIOD);
  s->price_type = (int32_t)get_le32(in + SF_PRICE_TYPE);
  s->method = (int32_t)get_le32(in + SF_METHOD);
  s->p1 = get_led(in + SF_P1);
  s->p2 = get_led(in + SF_P2);
  s->p3 = get_led(in + SF_P3);
  s->p4 = get_led(in + SF_P4);
  memcpy(s->carried, in + SF_CARRIED, sizeof s->carried);
  s->attached_order = 0;
  s->attach_word = get_le32(in + SF_ATTACH_WORD);
  memcpy(s->attach_carried, in + SF_ATTACH_CARRIED, sizeof s->attach_carried);
  s->compute = nullptr;
  memset(s->work, 0, sizeof s->work);
  s->outputs = nullptr;
}
