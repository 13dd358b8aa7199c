#include "platform/qt/cmdtarget.h"

void KvCmdTarget::MapCommand(unsigned id, std::function<void()> fn) {
  MapCommandRange(id, id, [f = std::move(fn)](unsigned) { f(); });
}

void KvCmdTarget::MapCommandRange(unsigned first, unsigned last, std::function<void(unsigned)> fn) {
  m_cmds.insert(m_cmds.begin(), Cmd{first, last, std::move(fn)});
}

void KvCmdTarget::MapUpdate(unsigned id, std::function<void(KvCmdUI&)> fn) {
  MapUpdateRange(id, id, std::move(fn));
}

void KvCmdTarget::MapUpdateRange(unsigned first, unsigned last, std::function<void(KvCmdUI&)> fn) {
  m_upds.insert(m_upds.begin(), Upd{first, last, std::move(fn)});
}

bool KvCmdTarget::HasCommand(unsigned id) const {
  for (const Cmd& c : m_cmds)
    if (id >= c.first && id <= c.last) return true;
  return false;
}

bool KvCmdTarget::OnCmdMsg(unsigned id) {
  for (const Cmd& c : m_cmds)
    if (id >= c.first && id <= c.last) {
      auto fn = c.fn;  // the handler may change the table
      fn(id);
      return true;
    }
  return false;
}

bool KvCmdTarget::OnUpdateCmdUI(KvCmdUI& ui) {
  for (const Upd& u : m_upds)
    if (ui.id >= u.first && ui.id <= u.last) {
      auto fn = u.fn;
      fn(ui);
      return true;
    }
  return false;
}

bool kv_route_command(const std::vector<KvCmdTarget*>& chain, unsigned id) {
  for (KvCmdTarget* t : chain)
    if (t && t->OnCmdMsg(id)) return true;
  return false;
}

bool kv_route_update(const std::vector<KvCmdTarget*>& chain, KvCmdUI& ui) {
  for (KvCmdTarget* t : chain)
    if (t && t->OnUpdateCmdUI(ui)) return true;
  for (KvCmdTarget* t : chain)
    if (t && t->HasCommand(ui.id)) {
      ui.Enable(true);
      return true;
    }
  ui.Enable(false);
  return false;
}
