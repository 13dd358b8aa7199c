// The X11 backend of TWS's windows under a private Xvfb: the login typed
// only into a visible "Login" window of the launched script, "Yes" pressed
// in a "Trader Workstation" dialog, and TWS's main window found by its
// title.
#if KV_HAVE_X11
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "broker/tests/tws_fixture.h"
#include "platform/services.h"

// After the test headers: Xlib defines names that they use.
#include <X11/Xlib.h>

extern char** environ;

namespace {

const char k_helper[] = KV_BINARY_DIR "/bin/tws_x11_window";
// The helper windows are separate programs on a private X server: under the
// thread checker's slowdown they take longer to appear and answer.
constexpr int k_x11_wait_ms = 3 * KV_TEST_WAIT_MS;

// Every look at the windows opens a connection to the X server: look every
// 50 ms, not every millisecond.  A storm of connections keeps a server on a
// loaded machine busy and can use up its client slots, so that the helper
// window's own connection is refused and the window never comes.
bool x11_wait_until(const std::function<bool()>& pred, int timeout_ms = k_x11_wait_ms) {
  int64_t next = 0;
  bool ok = kv_wait_until(
      [&] {
        int64_t now = kv_monotonic_ms();
        if (now < next) return false;
        next = now + 50;
        return pred();
      },
      timeout_ms);
  return ok || pred();
}

// Why a helper window may be missing: its process ended (it could not open
// the display, say).
std::string helper_state(pid_t pid) {
  int status = 0;
  pid_t r = waitpid(pid, &status, WNOHANG);
  if (pid <= 0) return "helper not started";
  if (r == 0) return "helper running";
  if (r == pid && WIFEXITED(status)) return "helper exited with " + std::to_string(WEXITSTATUS(status));
  if (r == pid && WIFSIGNALED(status)) return "helper killed by signal " + std::to_string(WTERMSIG(status));
  return "helper state unknown";
}

pid_t spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back((char*)a.c_str());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return 0;
  return pid;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

std::string read_all(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class TwsX11Test : public TwsTest {
 protected:
  pid_t xvfb_ = 0;
  std::string old_display_;
  char old_cwd_[1024] = "";
  std::vector<pid_t> windows_;
  int x11_lock_ = -1;

  void SetUp() override {
    TwsTest::SetUp();
    if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "no Xvfb";
    // One of these tests at a time on the machine: side by side, their
    // servers and helper windows were seen to disturb each other's focus
    // and keys on a loaded machine.
    x11_lock_ = open("/tmp/kv_x11_tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (x11_lock_ >= 0) flock(x11_lock_, LOCK_EX);
    if (const char* d = getenv("DISPLAY")) old_display_ = d;
    // The server picks a free display number itself and writes it to the
    // pipe (-displayfd): tests running side by side never share a server.
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 3);
    const char* argv[] = {"/usr/bin/Xvfb", "-displayfd", "3",          "-nolisten", "tcp",
                          "-screen",       "0",          "640x480x24", nullptr};
    int rc = posix_spawn(&xvfb_, argv[0], &fa, nullptr, (char**)argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) xvfb_ = 0;
    std::string number;
    if (xvfb_ > 0) {
      fcntl(fds[0], F_SETFL, O_NONBLOCK);
      kv_wait_until([&] {
        char buf[16];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) number.append(buf, (size_t)n);
        return number.find('\n') != std::string::npos || n == 0;
      });
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (number.empty()) {
      stop(xvfb_);
      xvfb_ = 0;
    } else {
      setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    ASSERT_GT(xvfb_, 0) << "no display";
    ASSERT_NE(nullptr, getcwd(old_cwd_, sizeof old_cwd_));
    ASSERT_EQ(0, chdir(root_.path().c_str()));
    // The launch script really runs (the fixture records launches only).
    kv_services current = kv_services_install(kv_default_services());
    current.launch = kv_default_services()->launch;
    kv_services_install(&current);
    tws_install_window_backend();
    ASSERT_NE(g_tws_null_window_backend.login, g_tws_window_backend.login);
  }
  void TearDown() override {
    for (pid_t p : windows_) stop(p);
    stop((pid_t)g_tws_launch_pid);
    g_tws_launch_pid = 0;
    if (old_cwd_[0]) EXPECT_EQ(0, chdir(old_cwd_));
    stop(xvfb_);
    if (x11_lock_ >= 0) close(x11_lock_);  // lets the next X11 test run
    x11_lock_ = -1;
    if (old_display_.empty())
      unsetenv("DISPLAY");
    else
      setenv("DISPLAY", old_display_.c_str(), 1);
    TwsTest::TearDown();
  }
  std::string path(const char* name) { return root_.path() + "/" + name; }
  // A launch script that becomes a window titled "Login".
  void write_script(const std::string& out, const char* extra) {
    std::ofstream(path("launchtws.sh"))
        << "#!/bin/sh\nexec " << k_helper << " Login " << out << " " << extra << "\n";
    chmod(path("launchtws.sh").c_str(), 0755);
  }
};

TEST_F(TwsX11Test, LoginTypedOnlyIntoTheLaunchedLoginWindow) {
  std::string typed = path("typed.txt"), decoy = path("decoy.txt");
  // A "Login" window of another program gets nothing.
  windows_.push_back(spawn({k_helper, "Login", decoy}));
  write_script(typed, "");
  ASSERT_TRUE(tws_launch());
  ASSERT_GT(g_tws_launch_pid, 0);
  ASSERT_TRUE(x11_wait_until([] { return tws_login("user", "pass") == 1; }));
  ASSERT_TRUE(x11_wait_until([&] { return read_all(typed) == "user\tpass\r"; }))
      << read_all(typed);
  EXPECT_EQ("", read_all(decoy));
}

TEST_F(TwsX11Test, InvisibleLoginWindowIsNotTypedInto) {
  std::string typed = path("typed.txt");
  write_script(typed, "hidden");
  ASSERT_TRUE(tws_launch());
  for (int i = 0; i < 20; i++) EXPECT_EQ(0, tws_login("user", "pass"));
  EXPECT_EQ("", read_all(typed));
}

TEST_F(TwsX11Test, ConfirmDialogGetsAltYAndEnter) {
  std::string typed = path("dialog.txt");
  windows_.push_back(spawn({k_helper, "Trader Workstation - Exit", typed}));
  ASSERT_TRUE(x11_wait_until([&] {
    tws_confirm_dialogs();
    return read_all(typed).find("<A-y>\r") != std::string::npos;
  })) << helper_state(windows_.back());
}

TEST_F(TwsX11Test, MainWindowByTitleAndAccountName) {
  g_settings.QRPortNum = 0;  // no API port answers
  EXPECT_EQ(0, tws_is_running());
  windows_.push_back(spawn({k_helper, "Interactive Brokers Trader Workstation", path("main.txt")}));
  ASSERT_TRUE(x11_wait_until([] { return tws_is_running() > 0; })) << helper_state(windows_.back());
  snprintf(g_settings.TWSAccountName, sizeof g_settings.TWSAccountName, "DU999");
  EXPECT_EQ(0, tws_is_running());
  windows_.push_back(spawn({k_helper, "DU999 Trader Workstation", path("acct.txt")}));
  EXPECT_TRUE(x11_wait_until([] { return tws_is_running() > 0; })) << helper_state(windows_.back());
}

TEST(TwsProcessTree, DescendantsByParentChain) {
  EXPECT_EQ(1, tws_pid_descends_from(getpid(), getpid()));
  EXPECT_EQ(1, tws_pid_descends_from(getpid(), getppid()));
  EXPECT_EQ(0, tws_pid_descends_from(getppid(), getpid()));
  EXPECT_EQ(0, tws_pid_descends_from(0, getpid()));
}

}  // namespace
#endif
