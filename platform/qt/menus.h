// Menus, toolbars and accelerators built from tables of command ids.
//
// A menu table is a flat list: {KV_MENU_POPUP, "&File"} opens a submenu,
// {KV_MENU_END} closes it, {0, nullptr} is a separator, anything else is a
// command with its id and text. Texts keep the window system's form: "&"
// marks the mnemonic and the part after "\t" is the accelerator shown at
// the right ("&New\tCtrl+N"); the keys themselves come from an accelerator
// table. Every action carries its command id (kv_action_id) and the
// object name "cmd<id>".
#pragma once

#include <QIcon>
#include <QMenu>
#include <functional>
#include <vector>

#include "platform/qt/cmdtarget.h"

enum : unsigned { KV_MENU_POPUP = 0xFFFFFFFFu, KV_MENU_END = 0xFFFFFFFEu };

struct KvMenuItem {
  unsigned id = 0;
  const char* text = nullptr;
  int image = 0;  // bitmap resource shown beside the text, 0 none
};

struct KvToolButton {
  unsigned id = 0;            // 0: separator
  int image = 0;              // bitmap resource of the button face
  const char* tip = nullptr;  // "status text\ntool tip" or just the tip
};

struct KvAccel {
  const char* keys;  // "Ctrl+N", "F4", "Ctrl+Delete"
  unsigned id;
};

// Where images of menus and toolbars come from (the resource library
// installs its loader).
void kv_set_image_loader(std::function<QIcon(int image)> loader);
QIcon kv_load_image(int image);

unsigned kv_action_id(const QAction* a);
QAction* kv_make_action(unsigned id, const QString& text, int image, QObject* parent);
// Fills a menu (or the popups of a menu bar given as a QWidget) from a table.
void kv_fill_menu(QMenu* menu, const std::vector<KvMenuItem>& items);
// The action of a command anywhere in a menu tree, or null.
QAction* kv_find_action(QMenu* menu, unsigned id);
// Sets the enable, check and text state of every command of a menu through
// an update function (the routing of the frame that shows it).
void kv_update_menu(QMenu* menu, const std::function<void(KvCmdUI&)>& update);
// Shows a pop-up menu at a global position after updating its state;
// returns the chosen command id, 0 when none was chosen.
unsigned kv_track_popup_menu(QMenu* menu, const QPoint& global_pos,
                             const std::function<void(KvCmdUI&)>& update);
// The text after "\n" of a "prompt\ntip" string, or the whole text.
QString kv_tool_tip_text(const char* tip);
