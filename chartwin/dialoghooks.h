// The chart dialogs the application opens without a chart window: the
// Chart Favorites dialog behind its Favorites commands and Setup Spread
// Chart behind its Spread Chart Setup command.
#pragma once

class CKvChartApp;

// Installs them on the application (a favourites dialog set before is kept).
void install_chart_dialog_hooks(CKvChartApp* app);
