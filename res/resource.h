// The program's resources: bitmaps and cursors drawn by the program at the
// sizes its windows expect, the icon, the menus, toolbars and accelerator
// keys, and the prompt texts of commands ("status text\ntool tip").
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>
#include <vector>

#include "platform/qt/color.h"
#include "platform/qt/menus.h"

// Bitmaps.
enum : int {
  IDB_BUY_OPEN = 165,       // 14 x 15; also the quote line's rising arrow
  IDB_SELL_OPEN = 166,      // 14 x 15; also the quote line's falling arrow
  IDB_STYLE_0 = 171,        // line styles, 80 x 14: 171, 173, 175, 177, 179 thin,
  IDB_STYLE_5 = 172,        // 172, 174, 176, 178, 180 wide
  IDB_ALERT_HIGH_ON = 191,  // 15 x 15
  IDB_ALERT_LOW_ON = 192,
  IDB_ALERT_HIGH_OFF = 196,
  IDB_ALERT_LOW_OFF = 197,
  IDB_ARROW_DOWN = 222,   // 15 x 14, red
  IDB_ARROW_UP = 223,     // 15 x 14, green
  IDB_EXT_SESSION = 232,  // 15 x 15
  IDB_SELL_STOP = 247,    // trade signals, 14 x 15
  IDB_BUY_STOP = 248,
  IDB_SELL_TARGET = 249,
  IDB_BUY_TARGET = 250,
  IDB_SELL_CLOSE = 251,
  IDB_BUY_CLOSE = 252,
  IDB_SELL_MULTI = 253,
  IDB_BUY_MULTI = 254,
  IDB_LEVEL_LOW = 259,     // 4 x 4
  IDB_LEVEL_HIGH = 261,    // 4 x 4
  IDB_FILL_MARK = 262,     // 8 x 8
  IDB_HRACE_UP = 264,      // 15 x 15
  IDB_HRACE_DOWN = 265,    // 15 x 15
  IDB_ANNOT_BUTTON = 297,  // 15 x 15
  IDB_SWATCH_FIRST = 299,  // 16 colour swatches 299..314, 32 x 12
  IDB_SWATCH_LAST = 314,
};

// Cursors.
enum : int {
  IDC_SPLIT = 152,
  IDC_MOVE = 169,
  IDC_CANDLE_SELECT = 198,
  IDC_DRAW = 199,
  IDC_OVER_LINE = 200,
  IDC_HAND = 212,
};

// Menus, toolbars and the icon.
enum : int {
  IDR_MAINFRAME = 128,  // icon, menu without open windows, main toolbar
  IDR_CHART = 129,      // menu of every window kind
  IDR_CHART_POPUP = 150,
  IDR_SLF_BAR = 183,
  IDR_PLAYBACK_BAR = 255,
  IDR_DRAW_BAR = 295,
  IDR_ORDER_POPUP = 316,
  IDR_ADVISOR_BAR = 334,  // the advisor-account bar: its list stands for button 0
  IDR_TIME_SALES_POPUP = 225,
  IDR_QUOTES_POPUP = 228,
  // The depth and market pulse windows' pop-ups.
  IDR_LEVEL2_POPUP = 226,
  IDR_ORDER_BOOK_POPUP = 227,
  IDR_MARKET_PULSE_POPUP = 229,
};

// The colours of the swatches, in combo order.
extern const COLORREF kv_swatch_colors[16];

// A bitmap by id; a null image for an unknown id.
QImage kv_res_bitmap(int id);
QCursor kv_res_cursor(int id);
QIcon kv_res_icon(int id);
// The image of a toolbar button or menu item (by command id): the desktop
// icon theme's picture where one fits, else a pictogram drawn here; a
// null icon for a command without a picture.
QIcon kv_res_command_image(int command_id);
// The freedesktop icon name of a command's picture, null when it is drawn.
const char* kv_res_theme_icon_name(int command_id);

std::vector<KvMenuItem> kv_res_menu(int id);
std::vector<KvToolButton> kv_res_toolbar(int id);
std::vector<KvAccel> kv_res_accelerators();
// "status text\ntool tip" of a command, null when it has none.
const char* kv_res_prompt(unsigned command_id);

// Makes the images of menus and toolbars come from here.
void kv_res_install();
