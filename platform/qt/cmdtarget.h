// Commands by numeric id.
//
// A command target keeps a table of the commands it handles and of the
// update handlers that decide their enable and check state, like a message
// map. A command travels through a chain of targets (the active view, its
// document, its child frame, the main frame, the application) and stops at
// the first target that has a handler for it. The state of a menu item or
// toolbar button is asked the same way before a menu shows and on idle: the
// first target with an update handler sets it; a command that no target
// handles is disabled.
#pragma once

#include <QString>
#include <functional>
#include <vector>

// State of one menu item or button while its update handlers run.
struct KvCmdUI {
  unsigned id = 0;
  bool enabled = true;
  int check = 0;  // 0 clear, 1 checked
  bool text_set = false;
  QString text;

  void Enable(bool on = true) { enabled = on; }
  void SetCheck(int c = 1) { check = c; }
  void SetText(const QString& t) {
    text = t;
    text_set = true;
  }
};

class KvCmdTarget {
 public:
  virtual ~KvCmdTarget() = default;

  // Handler tables. A later entry for the same id replaces the earlier.
  void MapCommand(unsigned id, std::function<void()> fn);
  void MapCommandRange(unsigned first, unsigned last, std::function<void(unsigned)> fn);
  void MapUpdate(unsigned id, std::function<void(KvCmdUI&)> fn);
  void MapUpdateRange(unsigned first, unsigned last, std::function<void(KvCmdUI&)> fn);

  bool HasCommand(unsigned id) const;
  // Runs the handler of id; false when this target has none.
  virtual bool OnCmdMsg(unsigned id);
  // Runs the update handler of id; false when this target has none.
  virtual bool OnUpdateCmdUI(KvCmdUI& ui);

 private:
  struct Cmd {
    unsigned first, last;
    std::function<void(unsigned)> fn;
  };
  struct Upd {
    unsigned first, last;
    std::function<void(KvCmdUI&)> fn;
  };
  std::vector<Cmd> m_cmds;
  std::vector<Upd> m_upds;
};

// Sends a command along a chain of targets (null entries are skipped).
// Returns true when a target handled it.
bool kv_route_command(const std::vector<KvCmdTarget*>& chain, unsigned id);
// Fills ui along the chain. Returns true when any target knows the command.
bool kv_route_update(const std::vector<KvCmdTarget*>& chain, KvCmdUI& ui);
