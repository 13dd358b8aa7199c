// Replaceable services and their defaults.
#include "platform/services.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

std::atomic<int> g_clock_allowed{0};

int default_message_box(void *, const char *text, const char *caption, unsigned style) {
  fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
  return kv_message_box_default_answer(style);
}

int default_file_dialog(void *, const kv_file_dialog_request *, char *out, size_t size) {
  if (size) out[0] = 0;
  return 0;
}

// Finds a program in PATH; "" when missing.
std::string find_in_path(const char *prog) {
  if (strchr(prog, '/')) return access(prog, X_OK) == 0 ? prog : "";
  const char *path = getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find(':', i);
    if (j == std::string::npos) j = p.size();
    std::string cand = (j > i ? p.substr(i, j - i) : std::string(".")) + "/" + prog;
    if (access(cand.c_str(), X_OK) == 0) return cand;
    i = j + 1;
  }
  return "";
}

long spawn(const char *program, const char *const *argv, const kv_launch_options *opt) {
  std::string exe = find_in_path(program);
  if (exe.empty()) return -1;
  std::vector<char *> args;
  args.push_back(const_cast<char *>(program));
  for (const char *const *a = argv; a && *a; a++) args.push_back(const_cast<char *>(*a));
  args.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (opt && opt->working_dir) posix_spawn_file_actions_addchdir_np(&fa, opt->working_dir);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with default signal handling, whatever this process set.
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attr, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid;
  int rc = posix_spawn(&pid, exe.c_str(), &fa, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return -1;
  if (opt && opt->wait) {
    int st;
    while (waitpid(pid, &st, 0) < 0)
      if (errno != EINTR) return -1;
    if (WIFEXITED(st)) return WEXITSTATUS(st);
    return -1;
  }
  if (opt && opt->detach) {
    // Reap it from a small thread so that no zombie is left behind.
    std::thread([pid] {
      int st;
      while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  }
  return pid;
}

long default_launch(void *, const char *program, const char *const *argv,
                    const kv_launch_options *opt) {
  return spawn(program, argv, opt);
}

int default_play_sound(void *, const char *path) {
  if (!path || !*path) return 0;
  const char *argv[] = {path, nullptr};
  kv_launch_options opt{nullptr, 0, 1};
  for (const char *player : {"paplay", "aplay"})
    if (!find_in_path(player).empty()) return spawn(player, argv, &opt) > 0 ? 1 : 0;
  return 0;
}

int default_computer_name(void *, char *buf, size_t size) {
  char name[256];
  if (gethostname(name, sizeof name) != 0 || !name[0]) return 0;
  name[sizeof name - 1] = 0;
  snprintf(buf, size, "%s", name);
  return 1;
}

int default_set_system_clock(void *, int64_t utc_seconds) {
  if (!g_clock_allowed.load()) return 0;
  struct timespec ts;
  ts.tv_sec = (time_t)utc_seconds;
  ts.tv_nsec = 0;
  return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 1 : 0;
}

const kv_services g_defaults = {
    nullptr,        default_message_box,   default_file_dialog,     default_play_sound,
    default_launch, default_computer_name, default_set_system_clock};

std::mutex g_services_mutex;
kv_services g_current = g_defaults;

kv_services current() {
  std::lock_guard<std::mutex> g(g_services_mutex);
  return g_current;
}

}  // namespace

int kv_message_box_default_answer(unsigned style) {
  static const int answers[6][3] = {
      {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
      {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
  };
  unsigned type = style & MB_TYPEMASK;
  unsigned def = (style & MB_DEFMASK) >> 8;
  if (type > 5) type = 0;
  if (def > 2) def = 0;
  return answers[type][def];
}

kv_services kv_services_install(const kv_services *s) {
  std::lock_guard<std::mutex> g(g_services_mutex);
  kv_services old = g_current;
  kv_services n = *s;
  if (!n.message_box) n.message_box = g_defaults.message_box;
  if (!n.file_dialog) n.file_dialog = g_defaults.file_dialog;
  if (!n.play_sound) n.play_sound = g_defaults.play_sound;
  if (!n.launch) n.launch = g_defaults.launch;
  if (!n.computer_name) n.computer_name = g_defaults.computer_name;
  if (!n.set_system_clock) n.set_system_clock = g_defaults.set_system_clock;
  g_current = n;
  return old;
}

void kv_services_reset(void) {
  std::lock_guard<std::mutex> g(g_services_mutex);
  g_current = g_defaults;
}

const kv_services *kv_default_services(void) {
  return &g_defaults;
}

int kv_message_box(const char *text, const char *caption, unsigned style) {
  kv_services s = current();
  return s.message_box(s.ctx, text, caption, style);
}

int kv_file_dialog(const kv_file_dialog_request *req, char *out, size_t size) {
  kv_services s = current();
  return s.file_dialog(s.ctx, req, out, size);
}

int kv_play_sound(const char *path) {
  kv_services s = current();
  return s.play_sound(s.ctx, path);
}

long kv_launch(const char *program, const char *const *argv, const kv_launch_options *opt) {
  kv_services s = current();
  return s.launch(s.ctx, program, argv, opt);
}

void kv_computer_name(char *buf, size_t size) {
  kv_services s = current();
  if (!s.computer_name(s.ctx, buf, size)) snprintf(buf, size, "%s", "Unknown");
}

int kv_set_system_clock(int64_t utc_seconds) {
  kv_services s = current();
  return s.set_system_clock(s.ctx, utc_seconds);
}

void kv_allow_set_system_clock(int allow) {
  g_clock_allowed.store(allow ? 1 : 0);
}
