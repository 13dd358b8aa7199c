// The trading dialogs behind the chart view's Order Setup, Attach Study
// and Select Strategy commands (chartwin/viewhooks.h).
#pragma once

// Sets the chart view's dialog entries; the application calls it at start-up.
void install_chart_view_dialogs();
