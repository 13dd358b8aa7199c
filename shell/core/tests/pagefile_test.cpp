// Pages file: a layout written byte by byte is read and written back the
// same, refusals of made-up counts and paths, the backup, lent studies given
// back, and a write cut off halfway.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <string>

#include "data/chart.h"
#include "data/lefield.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "shell/core/pagefile.h"
#include "studies/study.h"

namespace {

void put16(std::string& s, size_t off, uint16_t v) {
  put_le16((uint8_t*)s.data() + off, v);
}
void put32(std::string& s, size_t off, uint32_t v) {
  put_le32((uint8_t*)s.data() + off, v);
}
void puttext(std::string& s, size_t off, const char* t) {
  memcpy(s.data() + off, t, strlen(t));
}

std::string study_block(int type, uint32_t color) {
  StudyDef s{};
  s.type = type;
  s.color = color;
  s.period = 14;
  unsigned char b[STUDY_STORED_SIZE];
  study_to_stored(&s, b);
  return std::string((const char*)b, sizeof b);
}

// A descriptor record written field by field at its file offsets.
std::string record(int kind, const char* path, const char* symbol, int time_unit, int studies,
                   int items) {
  std::string r(WINDOW_DESCRIPTOR_SIZE, '\0');
  put32(r, 8, kind);
  puttext(r, 12, path);
  put32(r, 272 + 4, 7);      // chart id
  puttext(r, 436, symbol);   // settings 164
  put32(r, 468, time_unit);  // settings 196
  put32(r, 544, kind);       // settings 272
  put32(r, 824, items);      // settings 552
  put32(r, 900, 1);          // one extra symbol
  puttext(r, 904, " +MSFT");
  put32(r, 1544, studies);
  put16(r, 1552, 3);  // use count
  return r;
}

std::string header(int revision, int count) {
  std::string h(PAGES_HEADER_SIZE, '\0');
  put16(h, 0, revision);
  put16(h, 2, count);
  return h;
}

std::string two_window_page() {
  return header(7, 2) + record(1, "", "IBM", 390, 2, 0) + study_block(0x80001, 0xFF) +
         study_block(0x800002, 0xFF00) + record(5, "", "", 0, 0, 2) + std::string(24, '\x5A');
}

page_read_result parse(const std::string& s, page_list* l) {
  return parse_pages_file((const uint8_t*)s.data(), s.size(), l);
}

TEST(PagesFile, TwoWindowsReadAndWrittenBackByteForByte) {
  std::string file = two_window_page();
  page_list l;
  ASSERT_EQ(parse(file, &l), PAGE_READ_OK);
  ASSERT_EQ(l.count, 2);
  WindowDescriptor* chart = l.head;
  EXPECT_EQ(chart->kind, 1);
  EXPECT_STREQ(chart->settings.symbol, "IBM");
  EXPECT_EQ(chart->settings.time_unit, 390);
  EXPECT_EQ(chart->settings.chart_id, 7);
  EXPECT_EQ(chart->extra_count, 1);
  EXPECT_STREQ(chart->extra, " +MSFT");
  ASSERT_EQ(chart->study_count, 2);
  ASSERT_TRUE(chart->studies && chart->studies->next);
  EXPECT_EQ(chart->studies->type, 0x80001);
  EXPECT_EQ(chart->studies->next->color, 0xFF00u);
  EXPECT_EQ(chart->use_count, 3);
  WindowDescriptor* ts = chart->next;
  EXPECT_EQ(ts->kind, 5);
  ASSERT_EQ(ts->settings.item_count, 2);
  EXPECT_EQ(((const uint8_t*)ts->settings.items)[23], 0x5A);

  std::string back;
  build_pages_file(&l, &back);
  EXPECT_EQ(back, file);
  page_list_free(&l);
}

TEST(PagesFile, MadeUpHeadersCountsAndPathsAreRefusedWhole) {
  std::string ok_rec = record(1, "", "IBM", 390, 0, 0);
  struct Case {
    const char* what;
    std::string file;
    page_read_result want;
  } cases[] = {
      {"revision 6", header(6, 1) + ok_rec, PAGE_READ_REVISION},
      {"short header", header(7, 0).substr(0, 20), PAGE_READ_CORRUPT},
      {"short record", header(7, 2) + ok_rec + ok_rec.substr(0, 1000), PAGE_READ_CORRUPT},
      {"negative window count", header(7, 0xFFFF), PAGE_READ_CORRUPT},
      {"study count beyond the file", header(7, 1) + record(1, "", "A", 390, 0x7FFFFFF, 0),
       PAGE_READ_CORRUPT},
      {"negative study count", header(7, 1) + record(1, "", "A", 390, -1, 0), PAGE_READ_CORRUPT},
      {"items cut off", header(7, 1) + record(5, "", "", 0, 0, 2) + std::string(12, 0),
       PAGE_READ_CORRUPT},
      {"path climbing out", header(7, 1) + record(3, "SLF\\..\\..\\etc\\passwd", "", 0, 0, 0),
       PAGE_READ_CORRUPT},
      {"empty page", header(7, 0), PAGE_READ_OK},
  };
  for (const Case& c : cases) {
    page_list l;
    EXPECT_EQ(parse(c.file, &l), c.want) << c.what;
    if (c.want != PAGE_READ_OK) {
      EXPECT_EQ(l.head, nullptr) << c.what;
      EXPECT_EQ(l.count, 0) << c.what;
    }
    page_list_free(&l);
  }
}

// A count outside 1-72 has no items in the file: the window is kept
// without them (its view falls back to its default columns) and the next
// window is read in step.
TEST(PagesFile, ItemCountsOutOfRangeCarryNoItems) {
  for (int count : {500, 73, -1}) {
    std::string file =
        header(7, 2) + record(5, "", "", 0, 0, count) + record(1, "", "IBM", 390, 0, 0);
    page_list l;
    ASSERT_EQ(parse(file, &l), PAGE_READ_OK) << count;
    ASSERT_EQ(l.count, 2) << count;
    EXPECT_EQ(l.head->settings.items, nullptr) << count;
    EXPECT_STREQ(l.head->next->settings.symbol, "IBM") << count;
    std::string back;
    build_pages_file(&l, &back);
    EXPECT_EQ(back, file) << count;
    page_list_free(&l);
  }
}

TEST(PagesFile, DocumentPathKeepsItsFolderAndName) {
  struct Case {
    const char* stored;
    const char* kept;
  } cases[] = {
      {"C:\\Program Files\\Korvane\\SLF\\tech.slf", "SLF/tech.slf"},
      {"/home/u/kv/SLF/tech.slf", "SLF/tech.slf"},
      {"SLF\\tech.slf", "SLF/tech.slf"},
      {"tech.slf", "tech.slf"},
      {"C:\\tech.slf", "tech.slf"},
  };
  for (const Case& c : cases) {
    std::string file = header(7, 1) + record(3, c.stored, "", 0, 0, 0);
    page_list l;
    ASSERT_EQ(parse(file, &l), PAGE_READ_OK) << c.stored;
    EXPECT_STREQ(l.head->path, c.kept) << c.stored;
    page_list_free(&l);
  }
}

TEST(PagesFile, TextsEndInsideTheirFields) {
  std::string rec = record(1, "", "", 390, 0, 0);
  memset(rec.data() + 12, 'A', DESCRIPTOR_PATH_SIZE);
  memset(rec.data() + 904, 'B', DESCRIPTOR_EXTRA_SIZE);
  page_list l;
  ASSERT_EQ(parse(header(7, 1) + rec, &l), PAGE_READ_OK);
  EXPECT_LT(strlen(l.head->path), (size_t)DESCRIPTOR_PATH_SIZE);
  EXPECT_EQ(strlen(l.head->extra), (size_t)DESCRIPTOR_EXTRA_SIZE - 1);
  page_list_free(&l);
}

class PagesWriteTest : public TempRootTest {
 protected:
  // A chart's study list lent to a descriptor of the list.
  WindowDescriptor* lend(page_list* l, StudyDef** chart_studies) {
    WindowDescriptor* d = new_descriptor();
    d->kind = 1;
    d->settings.time_unit = 390;
    lend_descriptor_studies(d, chart_studies);
    page_list_append(l, d);
    return d;
  }
  static StudyDef* two_studies() {
    StudyDef* a = (StudyDef*)calloc(1, sizeof(StudyDef));
    StudyDef* b = (StudyDef*)calloc(1, sizeof(StudyDef));
    a->type = 0x80001;
    b->type = 0x800002;
    a->next = b;
    return a;
  }
};

TEST_F(PagesWriteTest, BackupIsKeptAndReplacedAndLentStudiesGoBack) {
  std::string path = root_.file("CONFIG/Pages.kvc");
  root_.write("CONFIG/Pages.kvc", "first");
  root_.write("CONFIG/Pages.kvcbak", "older");
  StudyDef* chart_studies = two_studies();
  StudyDef* const original = chart_studies;
  page_list l;
  WindowDescriptor* d = lend(&l, &chart_studies);
  EXPECT_EQ(chart_studies, nullptr);
  EXPECT_EQ(d->study_count, 2);
  ASSERT_EQ(write_pages_file(path.c_str(), &l, 0, nullptr), 1);
  EXPECT_EQ(chart_studies, original);  // given back, not freed
  EXPECT_EQ(l.head, nullptr);
  EXPECT_EQ(root_.read("CONFIG/Pages.kvcbak"), "first");

  std::string written = root_.read("CONFIG/Pages.kvc");
  page_list back;
  ASSERT_EQ(parse(written, &back), PAGE_READ_OK);
  ASSERT_EQ(back.count, 1);
  EXPECT_EQ(back.head->study_count, 2);
  EXPECT_EQ(back.head->studies->next->type, 0x800002);
  page_list_free(&back);
  free_study_list(chart_studies);
}

TEST_F(PagesWriteTest, WriteCutOffHalfwayKeepsTheOldFileAndEveryChartsStudies) {
  std::string path = root_.file("CONFIG/Pages.kvc");
  std::string old = header(7, 0);
  root_.write("CONFIG/Pages.kvc", old);
  StudyDef* charts[40];
  page_list l;
  for (StudyDef*& c : charts) {
    c = two_studies();
    WindowDescriptor* d = lend(&l, &c);
    d->settings.item_count = 0;
  }
  // The file system refuses to grow any file past 16 KiB, as a full disk.
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit small = old_limit;
  small.rlim_cur = 16384;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  kv_file_error err{};
  int result = write_pages_file(path.c_str(), &l, 0, &err);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_EQ(result, 0);
  EXPECT_NE(err.cause, 0);
  EXPECT_EQ(root_.read("CONFIG/Pages.kvc"), old);
  EXPECT_FALSE(kv_file_exists(root_.file("CONFIG/Pages.kvcbak").c_str()));
  for (StudyDef* c : charts) {
    ASSERT_TRUE(c && c->next);
    EXPECT_EQ(c->next->type, 0x800002);
    free_study_list(c);
  }
  std::vector<kv_dir_entry> left;
  kv_list_dir(root_.file("CONFIG/*").c_str(), &left, nullptr);
  EXPECT_EQ(left.size(), 1u);  // no temporary file stays behind
}

}  // namespace
