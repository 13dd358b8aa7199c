// The MDI main frame and its child frames.
//
// KvChildFrame reports minimise, maximise and restore to OnSysCommand with
// the window system's command numbers, after the change, and keeps the
// normal (restored) rectangle and show state that page layouts store.
// KvSplitterFrame is a child frame whose client splits into panes, each
// another view of the frame's document.
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
#include <cstdint>
#include <map>
#include <vector>

#include "platform/qt/cmdtarget.h"
#include "platform/qt/menus.h"
#include "platform/qt/rect.h"
#include "platform/qt/wnd.h"

struct kv_profile;
class KvView;
class KvDocument;
class KvSplitterFrame;

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

  // The view commands go to first: the one view, or the active pane.
  KvView* GetActiveView() const { return m_view; }
  KvDocument* GetActiveDocument() const;
  // Makes v, a view of this frame, the active one (it hears
  // OnActivateView while the frame is the active window).
  void SetActiveView(KvView* v);
  // Every view the frame shows: its one view, or the panes of a splitter.
  virtual std::vector<KvView*> GetViews() const;

  // Style of the frame before it is shown; clearing WS_MAXIMIZEBOX or
  // WS_MINIMIZEBOX removes that button.
  virtual void PreCreateWindow(unsigned& style) {}
  // Minimise, maximise or restore happened (after the default processing).
  virtual void OnSysCommand(unsigned id, kv_lparam lparam) {}
  // Carries out a system command as the window's menu would.
  void SysCommand(unsigned id);

  KvWindowPlacement GetWindowPlacement() const;
  void SetWindowPlacement(const KvWindowPlacement& wp);

  // The placement as page layouts and favourites keep it: the normal
  // rectangle as left, top, right, bottom, and the show command.
  void SavePlacement(int32_t normal[4], int32_t* show_cmd) const;
  // Puts the frame back where a page had it. An empty rectangle leaves the
  // frame where it is (false); one off the top or left of the MDI area, or
  // starting beyond its right or bottom, comes back onto it with its size;
  // show command 0 shows it normal.
  bool RestorePlacement(const int32_t normal[4], int32_t show_cmd);

 protected:
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  friend class KvDocTemplate;
  // Takes the template's view as the frame's client.
  virtual void attach_view(KvView* v);
  void apply_style();
  void state_changed(Qt::WindowStates old_state, Qt::WindowStates new_state);
  void remember_normal();
  KvView* m_view = nullptr;
  KvRect m_normal;
  bool m_restoring = false;
};

// The client of a KvSplitterFrame: lays the panes out, draws the split
// boxes and bars and tracks the mouse on them (KV_SPLIT_BAR pixels thick).
class KvSplitterWnd : public QWidget {
 public:
  enum { KV_SPLIT_BAR = 7 };
  enum Hit { HIT_NONE, HIT_ROW_BOX, HIT_COLUMN_BOX, HIT_ROW_BAR, HIT_COLUMN_BAR, HIT_BOTH_BARS };

  KvSplitterWnd(KvSplitterFrame* frame, int max_rows, int max_cols, QSize min_pane);

  int rows() const { return m_rows; }
  int columns() const { return m_cols; }
  KvView* pane(int row, int col) const;
  // Where things are, in this window's coordinates; empty when absent.
  KvRect RowBoxRect() const;
  KvRect ColumnBoxRect() const;
  KvRect RowBarRect() const;
  KvRect ColumnBarRect() const;
  KvRect PaneRect(int row, int col) const;
  Hit HitTest(const QPoint& p) const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  friend class KvSplitterFrame;
  KvRect area() const;  // the panes and bars, without the split boxes
  void relayout();
  void show_track(const QPoint& p);
  void end_track(bool apply, const QPoint& p);
  void drag_row_bar(int y);
  void drag_column_bar(int x);

  KvSplitterFrame* m_frame;
  int m_max_rows, m_max_cols;
  QSize m_min;
  int m_rows = 1, m_cols = 1;
  int m_row0 = 0, m_col0 = 0;  // height of the top row, width of the left column
  KvView* m_panes[2][2] = {};
  Hit m_track = HIT_NONE;
  QWidget* m_track_h = nullptr;  // the bars shown while dragging
  QWidget* m_track_v = nullptr;
};

// A child frame whose client is a dynamic splitter of up to 2 x 2 panes.
// It starts with the template's view in its one pane. Dragging the split
// box (the strip along the top for rows, down the left for columns) splits
// the frame where the button is released; double-clicking it splits in
// half. Each new pane is another view of the frame's document, made by the
// document's template and given its initial update. Dragging a splitter
// bar moves it; released nearer than the minimum pane size to an edge, the
// row or column between the bar and that edge goes, with its views.
// Double-clicking a bar
// removes the row or column that does not hold the active pane; Escape
// cancels a drag. The pane that gets the focus is the frame's active view.
class KvSplitterFrame : public KvChildFrame {
 public:
  KvSplitterFrame(int max_rows, int max_cols, QSize min_pane);
  ~KvSplitterFrame() override;

  int GetRowCount() const;
  int GetColumnCount() const;
  // The view of a pane, null outside the panes in use.
  KvView* GetPane(int row, int col) const;
  std::vector<KvView*> GetViews() const override;

  // Splits off a new bottom row (right column) whose upper row (left
  // column) keeps cy_before (cx_before) pixels. False when the frame has
  // its most rows (columns), either side would be smaller than the
  // minimum pane, or the document has no template to make views with.
  bool SplitRow(int cy_before);
  bool SplitColumn(int cx_before);
  // Removes a row (column) and its views; the last one stays.
  bool DeleteRow(int row);
  bool DeleteColumn(int col);

  // The splitter window, the frame's client.
  KvSplitterWnd* Splitter() const { return m_split; }

 private:
  void attach_view(KvView* v) override;
  void focus_changed(QWidget* now);
  KvView* new_pane_view();
  KvView*& pane_at(bool rows, int line, int along);
  bool split(bool rows, int before);
  bool remove(bool rows, int line);
  void views_going(const std::vector<KvView*>& going);
  KvSplitterWnd* m_split;
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
