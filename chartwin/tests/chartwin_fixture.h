// Fixture of the chart window tests: a started application on a fresh data
// root, price files written byte for byte, and chart windows opened as the
// File/New command opens them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/tests/shell_fixture.h"

class CKvChartDoc;
class CKvChartView;

struct fixture_bar {
  float open, high, low, close;
  int32_t volume;
};

// n daily bars from a fixed sequence: a rising and falling wave whose bars
// alternate up and down, volume 1000..5000.
std::vector<fixture_bar> wave_bars(int n, float base = 20.0f);

class ChartWinTest : public ShellTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // DATA/<symbol>.<ext> as the price file format lays it out: the 256-byte
  // header (checksum included) and 32 bytes a bar, one weekday apart from
  // 2026-01-05 (daily units; minutes one minute apart from 09:30).
  void write_price_file(const char* symbol, int unit, const std::vector<fixture_bar>& bars,
                        const char* description = "Fixture Corp");
  // A chart window as File/New opens it (no default favourite).
  CKvChartDoc* new_chart();
  CKvChartView* view_of(CKvChartDoc* doc);
  // Types text into the view and presses Enter.
  void type_symbol(CKvChartView* view, const char* text, bool enter = true);

  CKvChartApp* app_ = nullptr;
};
