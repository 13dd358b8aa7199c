// Test support: a temporary data root that stands in for the user's home,
// the test time scale, and recording stand-ins for the services.
//
//   class MyTest : public TempRootTest {};
//   TEST_F(MyTest, Something) { ... root_.file("CONFIG/srcdata.cfg") ... }
//
// Within a TempRootTest, HOME points to a fresh folder that is removed
// afterwards, with XDG_CONFIG_HOME (.config), XDG_DATA_HOME (.local/share)
// and XDG_RUNTIME_DIR (.run) inside it,
// waits written as kv_scaled_ms take a thousandth of their time, the
// clock is the real one again, and the services record what they are
// asked instead of reaching the user or the system.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/services.h"

// Waits of seconds run in milliseconds.
constexpr double KV_TEST_TIME_SCALE = 0.001;

struct kv_temp_root {
  kv_temp_root();
  ~kv_temp_root();
  kv_temp_root(const kv_temp_root &) = delete;
  kv_temp_root &operator=(const kv_temp_root &) = delete;

  const std::string &path() const { return path_; }
  // path() + "/" + rel ("\" in rel converted).
  std::string file(const char *rel) const;
  // Writes a file under the root, making its folders.
  void write(const char *rel, const std::string &content) const;
  // Reads a file under the root ("" when missing).
  std::string read(const char *rel) const;

 private:
  std::string path_;
  std::vector<std::pair<std::string, std::string>> saved_;  // name, value ("\x01" = unset)
};

// Services that record their calls.  Answers are taken from the queues,
// first in first out; an empty queue gives the message box's default
// button, a cancelled file dialog, a started sound, a process id of 4242
// and a refused clock setting.
struct kv_recording_services {
  struct box_call {
    std::string text, caption;
    unsigned style;
  };
  struct launch_call {
    std::string program;
    std::vector<std::string> args;
  };
  std::vector<box_call> boxes;
  std::deque<int> box_answers;
  std::vector<std::string> dialog_titles;
  std::deque<std::string> dialog_answers;  // "" cancels
  std::vector<std::string> sounds;
  std::vector<launch_call> launches;
  std::string computer_name = "TESTHOST";
  std::vector<int64_t> clock_sets;
  int allow_clock = 0;

  void install();
  void uninstall();
};

class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  kv_temp_root root_;
  kv_recording_services services_;
};
