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
class CKvWindowDoc;
struct page_list;

struct fixture_bar {
  float open, high, low, close;
  int32_t volume;
};

// n daily bars from a fixed sequence: a rising and falling wave whose bars
// alternate up and down, volume 1000..5000.
std::vector<fixture_bar> wave_bars(int n, float base = 20.0f);

class ShellTest : public TempRootTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The data root the settings choose on a fresh profile.
  std::string data_root() const { return root_.path() + "/.local/share/korvane"; }
  std::string data_file(const char* rel) const { return data_root() + "/" + rel; }
  void write_data(const char* rel, const std::string& text) const;
  // DATA/<symbol>.<ext> as the price file format lays it out: the 256-byte
  // header (checksum included) and 32 bytes a bar, one weekday apart from
  // 2026-01-05 (daily units; minutes one minute apart from 09:30).
  void write_price_file(const char* symbol, int unit, const std::vector<fixture_bar>& bars,
                        const char* description = "Fixture Corp");
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

// The window as a page layout writes it, read back from the page image:
// false when the image did not parse. back then holds the window's
// descriptor (page_list_free frees it).
bool window_through_page(CKvWindowDoc* doc, page_list* back);
