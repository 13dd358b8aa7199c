// Temporary data root, time scale and recording services for tests.
#include "platform/testing/fixture.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <mutex>

#include "platform/clock.h"
#include "platform/files.h"

static const char *const k_root_vars[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                          "XDG_RUNTIME_DIR"};

kv_temp_root::kv_temp_root() {
  const char *tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvtest.XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (!mkdtemp(buf.data())) abort();
  path_ = buf.data();
  for (const char *v : k_root_vars) {
    const char *old = getenv(v);
    saved_.emplace_back(v, old ? old : "\x01");
  }
  // Hidden folders, as under a real home, so that they never clash with
  // the data folders a test makes in the root.
  std::string config = path_ + "/.config", data = path_ + "/.local/share", run = path_ + "/.run";
  kv_make_dirs(config.c_str(), nullptr);
  kv_make_dirs(data.c_str(), nullptr);
  kv_make_dirs(run.c_str(), nullptr);
  chmod(run.c_str(), 0700);
  setenv("HOME", path_.c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
}

kv_temp_root::~kv_temp_root() {
  for (auto &s : saved_) {
    if (s.second == "\x01")
      unsetenv(s.first.c_str());
    else
      setenv(s.first.c_str(), s.second.c_str(), 1);
  }
  kv_remove_tree(path_.c_str());
}

std::string kv_temp_root::file(const char *rel) const {
  return kv_path_join(path_, rel);
}

void kv_temp_root::write(const char *rel, const std::string &content) const {
  std::string p = file(rel);
  kv_make_dirs(kv_path_dir_name(p.c_str()).c_str(), nullptr);
  FILE *f = fopen(p.c_str(), "wb");
  ASSERT_NE(f, nullptr) << p;
  fwrite(content.data(), 1, content.size(), f);
  fclose(f);
}

std::string kv_temp_root::read(const char *rel) const {
  std::string s;
  kv_read_file(file(rel).c_str(), &s, nullptr);
  return s;
}

// ---- recording services -------------------------------------------------------

static std::mutex g_rec_mutex;  // services may be called from worker threads

static int rec_box(void *ctx, const char *text, const char *caption, unsigned style) {
  auto *r = (kv_recording_services *)ctx;
  std::lock_guard<std::mutex> g(g_rec_mutex);
  r->boxes.push_back({text ? text : "", caption ? caption : "", style});
  if (r->box_answers.empty()) return kv_message_box_default_answer(style);
  int a = r->box_answers.front();
  r->box_answers.pop_front();
  return a;
}

static int rec_dialog(void *ctx, const kv_file_dialog_request *req, char *out, size_t size) {
  auto *r = (kv_recording_services *)ctx;
  std::lock_guard<std::mutex> g(g_rec_mutex);
  r->dialog_titles.push_back(req && req->title ? req->title : "");
  std::string a;
  if (!r->dialog_answers.empty()) {
    a = r->dialog_answers.front();
    r->dialog_answers.pop_front();
  }
  snprintf(out, size, "%s", a.c_str());
  return a.empty() ? 0 : 1;
}

static int rec_sound(void *ctx, const char *path) {
  auto *r = (kv_recording_services *)ctx;
  std::lock_guard<std::mutex> g(g_rec_mutex);
  r->sounds.push_back(path ? path : "");
  return 1;
}

static long rec_launch(void *ctx, const char *program, const char *const *argv,
                       const kv_launch_options *) {
  auto *r = (kv_recording_services *)ctx;
  std::lock_guard<std::mutex> g(g_rec_mutex);
  kv_recording_services::launch_call c{program ? program : "", {}};
  for (const char *const *a = argv; a && *a; a++) c.args.push_back(*a);
  r->launches.push_back(c);
  return 4242;
}

static int rec_name(void *ctx, char *buf, size_t size) {
  auto *r = (kv_recording_services *)ctx;
  snprintf(buf, size, "%s", r->computer_name.c_str());
  return 1;
}

static int rec_clock(void *ctx, int64_t utc_seconds) {
  auto *r = (kv_recording_services *)ctx;
  std::lock_guard<std::mutex> g(g_rec_mutex);
  r->clock_sets.push_back(utc_seconds);
  return r->allow_clock;
}

void kv_recording_services::install() {
  kv_services s{this, rec_box, rec_dialog, rec_sound, rec_launch, rec_name, rec_clock};
  kv_services_install(&s);
}

void kv_recording_services::uninstall() {
  kv_services_reset();
}

// ---- fixture ---------------------------------------------------------------------

void TempRootTest::SetUp() {
  kv_set_time_scale(KV_TEST_TIME_SCALE);
  kv_clock_reset();
  services_.install();
}

void TempRootTest::TearDown() {
  services_.uninstall();
  kv_clock_reset();
  kv_set_time_scale(1.0);
}
