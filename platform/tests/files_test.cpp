// Paths, case-tolerant opening, atomic replace, copy and move, listings
// and file error reports.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/testing/fixture.h"

namespace {

class FilesTest : public TempRootTest {};

TEST_F(FilesTest, PathsUseSlashesAndAcceptStoredBackslashes) {
  char buf[KV_MAX_PATH];
  ASSERT_TRUE(kv_path_join(buf, sizeof buf, "/data/root/", "CONFIG\\srcdata.cfg"));
  EXPECT_STREQ(buf, "/data/root/CONFIG/srcdata.cfg");
  EXPECT_EQ(kv_path_join(std::string("C"), std::string("/x")), "C/x");
  EXPECT_FALSE(kv_path_join(buf, 8, "/data/root", "x"));
  EXPECT_STREQ(buf, "");
  EXPECT_STREQ(kv_path_base_name("DATA\\IBM.dyd"), "IBM.dyd");
  EXPECT_EQ(kv_path_dir_name("a/b\\c.txt"), "a/b");

  struct {
    const char *s;
    int ok;
  } syms[] = {
      {"IBM", 1}, {"ES Z3", 1}, {"R~A-B", 1}, {"", 0},      {".", 0},   {"..", 0},
      {"A/B", 0}, {"A\\B", 0},  {"A\nB", 0},  {"A\x7f", 0}, {"..X", 1},
  };
  for (auto &c : syms) EXPECT_EQ(kv_symbol_file_name_ok(c.s), c.ok) << c.s;
}

TEST_F(FilesTest, CaseTolerantOpenFindsAFileWhoseNameDiffersInCase) {
  // Two folders that differ only in case: the first one tried lacks the file.
  root_.write("data/ibm.dyd", "bars");
  root_.write("Data/other.dyd", "x");
  std::string asked = root_.file("DATA/IBM.dyd");
  kv_file_error err{};
  FILE *f = kv_fopen_existing(asked.c_str(), "rb", &err);
  ASSERT_NE(f, nullptr);
  char b[8] = {};
  EXPECT_EQ(fread(b, 1, 4, f), 4u);
  EXPECT_STREQ(b, "bars");
  fclose(f);
  EXPECT_EQ(kv_resolve_case(asked.c_str()), root_.file("data/ibm.dyd"));
  int fd = kv_open_existing(root_.file("data\\IBM.DYD").c_str(), O_RDONLY, &err);
  EXPECT_GE(fd, 0);
  close(fd);

  // The exact name wins when both exist.
  root_.write("Data/IBM.dyd", "exact");
  std::string s;
  ASSERT_TRUE(kv_read_file(root_.file("Data/IBM.dyd").c_str(), &s, &err));
  EXPECT_EQ(s, "exact");

  // Missing: fileNotFound with the asked name.
  EXPECT_EQ(kv_fopen_existing(root_.file("DATA/MSFT.dyd").c_str(), "rb", &err), nullptr);
  EXPECT_EQ(err.cause, KV_FE_FILE_NOT_FOUND);
  char text[400];
  kv_format_file_error(text, sizeof text, &err);
  EXPECT_EQ(std::string(text),
            "CFileException::fileNotFound(2) for " + root_.file("DATA/MSFT.dyd"));
}

TEST_F(FilesTest, FileErrorKeepsCauseNameAndNumber) {
  struct {
    int err;
    int cause;
    const char *name;
  } cases[] = {
      {ENOENT, 2, "fileNotFound"}, {ENOTDIR, 3, "badPath"},   {EMFILE, 4, "tooManyOpenFiles"},
      {EACCES, 5, "accessDenied"}, {EBADF, 6, "invalidFile"}, {EIO, 10, "hardIO"},
      {ENOSPC, 13, "diskFull"},    {EXDEV, 1, "generic"},
  };
  for (auto &c : cases) {
    kv_file_error e;
    kv_file_error_set(&e, c.err, "f");
    EXPECT_EQ(e.cause, c.cause);
    EXPECT_STREQ(kv_file_cause_name(e.cause), c.name);
  }
  EXPECT_STREQ(kv_file_cause_name(14), "endOfFile");
  EXPECT_STREQ(kv_file_cause_name(15), "unknown");
}

TEST_F(FilesTest, AtomicReplaceThatFailsToWriteKeepsTheOldFile) {
  std::string old(3000, 'o');
  for (size_t i = 0; i < old.size(); i++) old[i] = (char)(i * 7);
  root_.write("pages.kvc", old);
  std::string path = root_.file("pages.kvc");

  // A file-size limit makes the write of the new contents fail part way.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string big(200000, 'n');
  kv_file_error err{};
  int ok = kv_write_file_atomic(path.c_str(), big.data(), big.size(), &err);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);

  EXPECT_EQ(ok, 0);
  EXPECT_EQ(err.cause, KV_FE_DISK_FULL);
  EXPECT_EQ(root_.read("pages.kvc"), old);
  std::vector<kv_dir_entry> left;
  ASSERT_TRUE(kv_list_dir(root_.file("*").c_str(), &left, nullptr));
  for (auto &e : left) EXPECT_EQ(e.name.find("pages.kvc."), std::string::npos) << e.name;

  // The same replace without the limit succeeds and keeps the file's mode.
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(kv_write_file_atomic(path.c_str(), big.data(), big.size(), &err));
  EXPECT_EQ(root_.read("pages.kvc"), big);
  struct stat st;
  stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(FilesTest, AtomicStreamCommitsOrLeavesNothing) {
  root_.write("a.txt", "old");
  std::string p = root_.file("A.TXT");  // replaces the existing file, not a twin
  kv_atomic_file *f = kv_atomic_begin(p.c_str(), nullptr);
  ASSERT_NE(f, nullptr);
  fputs("dropped", kv_atomic_stream(f));
  kv_atomic_abort(f);
  EXPECT_EQ(root_.read("a.txt"), "old");
  f = kv_atomic_begin(p.c_str(), nullptr);
  fputs("new", kv_atomic_stream(f));
  ASSERT_TRUE(kv_atomic_commit(f, nullptr));
  EXPECT_EQ(root_.read("a.txt"), "new");
  std::vector<kv_dir_entry> all;
  kv_list_dir(root_.file("*.*").c_str(), &all, nullptr);
  int files = 0;
  for (auto &e : all) files += !e.is_dir;
  EXPECT_EQ(files, 1);
}

TEST_F(FilesTest, CopyAndMoveHonourTheExistingTarget) {
  root_.write("src.dat", "payload");
  kv_file_error err{};
  ASSERT_TRUE(kv_copy_file(root_.file("SRC.dat").c_str(), root_.file("copy.dat").c_str(), 1, &err));
  EXPECT_EQ(root_.read("copy.dat"), "payload");
  EXPECT_FALSE(
      kv_copy_file(root_.file("src.dat").c_str(), root_.file("copy.dat").c_str(), 1, &err));
  EXPECT_EQ(err.cause, KV_FE_ACCESS_DENIED);

  root_.write("other.dat", "x");
  EXPECT_FALSE(
      kv_move_file(root_.file("src.dat").c_str(), root_.file("other.dat").c_str(), 0, &err));
  ASSERT_TRUE(
      kv_move_file(root_.file("src.dat").c_str(), root_.file("other.dat").c_str(), 1, &err));
  EXPECT_EQ(root_.read("other.dat"), "payload");
  EXPECT_FALSE(kv_file_exists(root_.file("src.dat").c_str()));
  EXPECT_FALSE(kv_move_file(root_.file("src.dat").c_str(), root_.file("x.dat").c_str(), 1, &err));
  EXPECT_EQ(err.cause, KV_FE_FILE_NOT_FOUND);
}

TEST_F(FilesTest, MoveAcrossFileSystemsCopiesAndRemovesTheSource) {
  struct stat a, b;
  if (stat(root_.path().c_str(), &a) != 0 || stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system to move to";
  std::string dst = "/dev/shm/kvtest-move-" + std::to_string(getpid());
  root_.write("tick.tsdata", "ticks");
  kv_file_error err{};
  ASSERT_TRUE(kv_move_file(root_.file("tick.tsdata").c_str(), dst.c_str(), 1, &err));
  std::string s;
  EXPECT_TRUE(kv_read_file(dst.c_str(), &s, &err));
  EXPECT_EQ(s, "ticks");
  EXPECT_FALSE(kv_file_exists(root_.file("tick.tsdata").c_str()));
  unlink(dst.c_str());
}

TEST_F(FilesTest, ListingMatchesWildcardsWithoutRegardToCase) {
  for (const char *n : {"IBM.dyd", "ibm.1min", "MSFT.DYD", "A.dyd.bak", "README", "SUB/x.dyd"})
    root_.write(n, "x");
  auto names = [&](const char *pattern) {
    std::vector<kv_dir_entry> v;
    EXPECT_TRUE(kv_list_dir(root_.file(pattern).c_str(), &v, nullptr));
    std::string s;
    for (auto &e : v) s += e.name + (e.is_dir ? "/ " : " ");
    return s;
  };
  EXPECT_EQ(names("*.dyd"), "IBM.dyd MSFT.DYD ");
  EXPECT_EQ(names("i?m.*"), "ibm.1min IBM.dyd ");
  EXPECT_EQ(names("readme.*"), "README ");
  EXPECT_EQ(names("*.*"),
            ".config/ .local/ .run/ A.dyd.bak ibm.1min IBM.dyd MSFT.DYD README SUB/ ");
  EXPECT_EQ(names("sub/*.DYD"), "x.dyd ");
  kv_file_error err{};
  std::vector<kv_dir_entry> v;
  EXPECT_FALSE(kv_list_dir(root_.file("NOPE/*.dyd").c_str(), &v, &err));
  EXPECT_EQ(err.cause, KV_FE_FILE_NOT_FOUND);
}

}  // namespace
