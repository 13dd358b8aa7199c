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

class ChartWinTest : public ShellTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A chart window as File/New opens it (no default favourite).
  CKvChartDoc* new_chart();
  CKvChartView* view_of(CKvChartDoc* doc);
  // Types text into the view and presses Enter.
  void type_symbol(CKvChartView* view, const char* text, bool enter = true);

  CKvChartApp* app_ = nullptr;
};
