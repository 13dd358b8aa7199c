// The MDI main frame and its child frames.
//
// KvChildFrame reports minimise, maximise and restore to OnSysCommand with
// the window system's command numbers, after the change, and keeps the
// normal (restored) rectangle and show state that page layouts store.
// KvMainFrame holds the MDI area, the menus and toolbars built from tables,
// the status bar, and routes commands: active view, its document, its child
// frame, the main frame, the application.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <map>
#include <vector>

#include "platform/qt/cmdtarget.h"
#include "platform/qt/menus.h"
#include "platform/qt/rect.h"
#include "platform/qt/wnd.h"

struct kv_profile;
class KvView;
class KvDocument;

enum : unsigned {
  SC_MINIMIZE = 0xF020,
  SC_MAXIMIZE = 0xF030,
  SC_CLOSE = 0xF060,
  SC_RESTORE = 0xF120
};
enum : int {
  SW_HIDE = 0,
  SW_SHOWNORMAL = 1,
  SW_SHOWMINIMIZED = 2,
  SW_SHOWMAXIMIZED = 3,
  SW_RESTORE = 9
};
// Window styles that a frame's PreCreateWindow may change.
enum : unsigned { WS_MAXIMIZEBOX = 0x00010000, WS_MINIMIZEBOX = 0x00020000 };

struct KvWindowPlacement {
  int showCmd = SW_SHOWNORMAL;
  KvRect normal;  // the restored rectangle, in the parent's client coordinates
};

class KvChildFrame : public QMdiSubWindow, public KvWnd, public KvCmdTarget {
 public:
  KvChildFrame();
  ~KvChildFrame() override;

  KvView* GetActiveView() const { return m_view; }
  KvDocument* GetActiveDocument() const;

  // Style of the frame before it is shown; clearing WS_MAXIMIZEBOX or
  // WS_MINIMIZEBOX removes that button.
  virtual void PreCreateWindow(unsigned& style) {}
  // Minimise, maximise or restore happened (after the default processing).
  virtual void OnSysCommand(unsigned id, kv_lparam lparam) {}
  // Carries out a system command as the window's menu would.
  void SysCommand(unsigned id);

  KvWindowPlacement GetWindowPlacement() const;
  void SetWindowPlacement(const KvWindowPlacement& wp);

 protected:
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  friend class KvDocTemplate;
  void attach_view(KvView* v);
  void apply_style();
  void state_changed(Qt::WindowStates old_state, Qt::WindowStates new_state);
  void remember_normal();
  KvView* m_view = nullptr;
  KvRect m_normal;
  bool m_restoring = false;
};

class KvMainFrame : public QMainWindow, public KvWnd, public KvCmdTarget {
 public:
  KvMainFrame();
  ~KvMainFrame() override;

  QMdiArea* mdi() const { return m_mdi; }
  KvChildFrame* MDIGetActive() const;
  KvView* GetActiveView() const;
  std::vector<KvChildFrame*> children() const;
  void AddChild(KvChildFrame* frame, bool visible);

  // Menus: the default menu (id 0, no child window open) and menus by id
  // shown while a window whose template names that menu is active (a
  // template without a menu id gets the first one added). Each menu is
  // built once and kept, with the changes made to it.
  void SetDefaultMenu(const std::vector<KvMenuItem>& items);
  void AddMenu(unsigned menu_id, const std::vector<KvMenuItem>& items);
  // A top-level submenu of a menu by position (0 File, ...), or null.
  QMenu* GetSubMenu(unsigned menu_id, int position) const;
  // The menu bar's action of a command, in the menu now shown.
  QAction* FindMenuAction(unsigned id) const;
  void RebuildMenuBar();
  // Keys that run commands (in addition to the menus' accelerator texts,
  // which are only shown).
  void SetAccelerators(const std::vector<KvAccel>& accels);

  // A toolbar with a control id; its View menu command (the same id)
  // shows and hides it and is checked while it is visible.
  QToolBar* AddControlBar(unsigned id, const QString& title,
                          const std::vector<KvToolButton>& buttons,
                          Qt::ToolBarArea area = Qt::TopToolBarArea);
  QToolBar* GetControlBar(unsigned id) const;
  void ShowControlBar(unsigned id, bool show);
  // Bar positions and visibility as one binary value of the profile store.
  bool SaveBarState(kv_profile* profile, const char* name) const;
  bool LoadBarState(const kv_profile* profile, const char* name);

  // Status bar panes: pane 0 stretches; the others have a fixed width.
  void SetStatusPanes(const std::vector<int>& widths);
  void SetPaneText(int pane, const QString& text);
  QString GetPaneText(int pane) const;

  KvWindowPlacement GetWindowPlacement() const;

  // Routes a command through the active view, its document, its child
  // frame, this frame and the application.
  bool RouteCommand(unsigned id);
  void UpdateCmdUI(KvCmdUI& ui);
  // Asks the state of every toolbar button (done on idle).
  void UpdateToolbars();

  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;

 protected:
  // The window is asked to close; false keeps it open. The default closes
  // every document (each may refuse) and lets the frame close.
  virtual bool OnClose();
  void closeEvent(QCloseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;
  kv_lresult OnCommandMessage(unsigned id) override;

 private:
  std::vector<KvCmdTarget*> chain() const;
  void active_changed(QMdiSubWindow* w);
  void update_menu(QMenu* menu);
  void connect_actions(QMenu* menu);
  void remember_normal();

  QMdiArea* m_mdi;
  QTimer m_idle;
  std::map<unsigned, std::vector<QMenu*>> m_menus;
  unsigned m_shown_menu = ~0u;
  std::map<unsigned, QToolBar*> m_bars;
  std::vector<QLabel*> m_panes;
  std::vector<QObject*> m_shortcuts;
  QPointer<QMdiSubWindow> m_last_active;
  KvRect m_normal;
};
