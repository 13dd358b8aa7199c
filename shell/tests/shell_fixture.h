// Fixture of the shell tests: a fresh data root and profile, the offscreen
// application object, the shell's hooks recording the steps they are asked
// for, and the quote-source configuration written on request.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing/fixture.h"

class CKvChartApp;

class ShellTest : public TempRootTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The data root the settings choose on a fresh profile.
  std::string data_root() const { return root_.path() + "/.local/share/korvane"; }
  std::string data_file(const char* rel) const { return data_root() + "/" + rel; }
  void write_data(const char* rel, const std::string& text) const;
  // The four quote-source files; the live source has these capabilities.
  void write_quote_config(uint32_t router_capabilities);

  // A started application (the start is expected to succeed).
  CKvChartApp* start(const char* command_line = nullptr);
  // The main window's close button, the workers' end, the exit.
  void close_and_exit(CKvChartApp* app);

  // Every hook appends its name to steps; set_hooks installs them all.
  static std::vector<std::string> steps;
  static void set_hooks();

  std::vector<std::unique_ptr<CKvChartApp>> apps_;
  std::string cwd_;
};

std::string read_all(const std::string& path);
