// The main window of the program: bars, status texts, worker messages and
// the two-staged close.
#include "shell/mainfrm.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <cstdio>
#include <cstdlib>

#include "broker/twsconn.h"
#include "data/chartthreads.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/mainwnd.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/services.h"
#include "platform/thread.h"
#include "quotes/mqt.h"
#include "quotes/playthread.h"
#include "res/resource.h"
#include "shell/alertsdlg.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "shell/slfbar.h"
#include "settings/settings.h"
#include "shell/core/settingsio.h"
#include "chartwin/drawtoolbar.h"
#include "windows/advisorbar.h"

namespace {

enum : unsigned { ID_GET_CONT_QUOTES = 32858 };

void trace(const char* format, const char* text = "") {
  if (g_option_flags & OPT_TRACE_MAINFRAME) debug_trace(format, text);
}

// Stands in for the quote threads' exit thread while they are not linked
// in: ends the workers that exist, then tells the main window.
int exit_workers_thread(void*) {
  stop_chart_threads();
  kv_hwnd wnd = hmainwnd.load();
  if (wnd) kv_post_message(wnd, WM_THREAD_IS_DEAD, 0, 0, nullptr);
  return 0;
}

QString from_text(const char* text) {
  return QString::fromUtf8(text ? text : "");
}

}  // namespace

CKvMainFrame::CKvMainFrame() {
  setWindowTitle(QStringLiteral("Korvane"));
}

CKvMainFrame::~CKvMainFrame() {
  // The Alerts window goes first, while the frame is whole.
  delete m_alerts_dlg.data();
  if (hmainwnd.load() == GetSafeHwnd()) hmainwnd = 0;
  if (m_exit_thread) {
    kv_thread_join(m_exit_thread, kv_scaled_ms(15000), nullptr);
    kv_thread_free(m_exit_thread);
  }
}

CAlertsDlg* CKvMainFrame::AlertsDlg() const {
  return m_alerts_dlg.data();
}

void CKvMainFrame::SetAlertsDlg(CAlertsDlg* dlg) {
  m_alerts_dlg = dlg;
}

void CKvMainFrame::PreCreateWindow() {
  const window_placement& w = g_window_placement;
  if (w.left || w.top || w.right || w.bottom) {
    setGeometry(w.left, w.top, w.right - w.left, w.bottom - w.top);
    return;
  }
  // No saved rectangle: three quarters of the screen, placed by the
  // window manager.
  QSize size(1024, 720);
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    QRect avail = s->availableGeometry();
    size = QSize(avail.width() * 3 / 4, avail.height() * 3 / 4)
               .expandedTo(QSize(800, 560))
               .boundedTo(avail.size());
  }
  resize(size);
}

bool CKvMainFrame::OnCreate() {
  SetDefaultMenu(kv_res_menu(IDR_MAINFRAME));
  AddMenu(IDR_CHART, kv_res_menu(IDR_CHART));
  SetAccelerators(kv_res_accelerators());
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);

  const Qt::ToolBarAreas top_bottom = Qt::TopToolBarArea | Qt::BottomToolBarArea;
  QToolBar* main_bar =
      AddControlBar(ID_MAIN_TOOLBAR, QStringLiteral("Main"), kv_res_toolbar(IDR_MAINFRAME));
  QToolBar* slf_bar = AddControlBar(ID_SLF_BAR, QStringLiteral("SLF"), {});
  // The second row: playback, advisor account and drawing.
  QToolBar* play_bar =
      AddControlBar(ID_PLAYBACK_BAR, QStringLiteral("Playback"), kv_res_toolbar(IDR_PLAYBACK_BAR));
  QToolBar* advisor_bar = AddControlBar(ID_ADVISOR_BAR, QStringLiteral("Advisor"), {});
  QToolBar* draw_bar =
      AddControlBar(ID_DRAW_BAR, QStringLiteral("DRAW"), kv_res_toolbar(IDR_DRAW_BAR));
  if (!main_bar || !slf_bar || !play_bar || !advisor_bar || !draw_bar) return false;
  insertToolBarBreak(play_bar);
  slf_bar->setAllowedAreas(top_bottom);
  advisor_bar->setAllowedAreas(top_bottom);
  install_advisor_bar(advisor_bar);
  install_symbol_list_bar(slf_bar);
  install_draw_toolbar(draw_bar);
  for (QToolBar* b : {main_bar, slf_bar, play_bar, advisor_bar, draw_bar})
    b->setIconSize(QSize(22, 22));
  statusBar()->setObjectName(QStringLiteral("statusbar"));
  SetStatusPanes({0, 175});

  // Bar positions and visibility of the previous run.
  if (kv_profile* p = kv_profile_open(settings_profile_key())) {
    LoadBarState(p, "Toolbar");
    kv_profile_close(p);
  }
  // The status bar has no place in the bar state; its flag keeps it.
  statusBar()->setVisible(g_settings.StatusBar != 0);
  MapCommand(ID_STATUS_BAR, [this] { statusBar()->setVisible(statusBar()->isHidden()); });
  MapUpdate(ID_STATUS_BAR, [this](KvCmdUI& ui) { ui.SetCheck(statusBar()->isHidden() ? 0 : 1); });
  hmainwnd = GetSafeHwnd();
  return true;
}

void CKvMainFrame::SetStatusText(int show, const QString& text) {
  if (show && statusBar()->isHidden()) statusBar()->show();
  SetPaneText(0, text);
}

void CKvMainFrame::SetContUpdateStatus(int on) {
  if (on) {
    char time[16];
    SetPaneText(1, QStringLiteral("Data Collection On %1")
                       .arg(QString::fromLatin1(format_time(get_last_quote_time(), time))));
  } else {
    SetPaneText(1, QStringLiteral("Data Collection Off"));
  }
}

bool CKvMainFrame::OnCmdMsg(unsigned id) {
  if (KvMainFrame::OnCmdMsg(id)) return true;
  return theApp && theApp->OnCmdMsg(id);
}

bool CKvMainFrame::OnUpdateCmdUI(KvCmdUI& ui) {
  if (KvMainFrame::OnUpdateCmdUI(ui)) return true;
  return theApp && theApp->OnUpdateCmdUI(ui);
}

bool CKvMainFrame::OnClose() {
  if (m_final) {
    for (KvChildFrame* f : children()) delete f;
    return true;
  }
  first_close();
  return false;
}

// Starts the shut-down of the workers; the window stays.  A further
// request while they stop is ignored: the first close runs once.
void CKvMainFrame::first_close() {
  if (m_exiting) return;
  m_exiting = true;
  if (g_shell_hooks.write_open_orders) g_shell_hooks.write_open_orders();
  g_program_exiting = 1;
  if (g_shell_hooks.program_exit) {
    g_shell_hooks.program_exit();
  } else {
    m_exit_thread = kv_thread_start("program_exit_thread", exit_workers_thread, nullptr);
    if (!m_exit_thread) PostMessage(WM_THREAD_IS_DEAD);
  }
}

// Every worker has ended: save the bars and placement, close the page and
// the windows, and let the main window go (which ends the message loop).
void CKvMainFrame::final_close() {
  if (!m_exiting || m_final) return;  // not asked to close, or closed already
  hmainwnd = 0;
  if (m_exit_thread) {
    kv_thread_join(m_exit_thread, kv_scaled_ms(15000), nullptr);
    kv_thread_free(m_exit_thread);
    m_exit_thread = nullptr;
  }
  if (settings_loaded())
    if (kv_profile* p = kv_profile_open(settings_profile_key())) {
      SaveBarState(p, "Toolbar");
      kv_profile_close(p);
    }
  KvWindowPlacement wp = GetWindowPlacement();
  g_window_placement.show = wp.showCmd;
  g_window_placement.left = wp.normal.left;
  g_window_placement.top = wp.normal.top;
  g_window_placement.right = wp.normal.right;
  g_window_placement.bottom = wp.normal.bottom;
  auto shown = [this](unsigned id) {
    return GetControlBar(id) && !GetControlBar(id)->isHidden() ? 1 : 0;
  };
  g_settings.ToolBar = shown(ID_MAIN_TOOLBAR);
  g_settings.PlaybackBar = shown(ID_PLAYBACK_BAR);
  g_settings.DrawBar = shown(ID_DRAW_BAR);
  g_settings.StatusBar = statusBar()->isHidden() ? 0 : 1;
  if (g_shell_hooks.close_page) g_shell_hooks.close_page();
  if (g_shell_hooks.save_all_modified) g_shell_hooks.save_all_modified();
  m_final = true;
  close();
}

kv_lresult CKvMainFrame::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  switch (message) {
    case WM_MQT_DONE:
      trace("CMainFrame::OnMQTDone()\n");
      if (!g_program_exiting) PostCommand(ID_UPDATE_ALL_NOW);
      return 0;
    case WM_STATUS_MSG: {
      char* text = reinterpret_cast<char*>(lparam);
      trace("CMainFrame::OnStatusMsg() %s\n", text ? text : "");
      if (wparam & 8) SetStatusText((wparam & 4) ? 1 : 0, from_text(text));
      if ((wparam & 2) && theApp) theApp->AddStatusMsg((wparam & 1) ? 1 : 0, text);
      free(text);
      return 0;
    }
    case WM_THREAD_IS_DEAD:
      final_close();
      return 0;
    case WM_UPDATE_DAILY_CHART:
      if (theApp) theApp->UpdateDailyChartStep((int)wparam);
      return 0;
    case WM_PROGRAM_UPDATES: {
      char* text = reinterpret_cast<char*>(lparam);
      trace("CMainFrame::OnProgramUpdates()\n");
      kv_message_box(text ? text : "", "Korvane", MB_OK);
      free(text);
      return 0;
    }
    case WM_ALERT_TRIGGERED: {
      char* text = reinterpret_cast<char*>(wparam);
      trace("CMainFrame::OnAlertTriggered()\n");
      if ((g_pref_flags & 0x1000) && theApp) {
        char hhmm[16], line[600];
        format_hhmm(kv_time_of_day(kv_now_local_seconds()), hhmm);
        snprintf(line, sizeof line, "%s %s", hhmm, text ? text : "");
        theApp->AddStatusMsg(0, line);
      }
      free(text);
      alerts_dlg_alert_fired(m_alerts_dlg.data(), (int)lparam);
      PostCommand(ID_UPDATE_ALL_NOW);
      return 0;
    }
    case WM_ALERTS_DLG_OPENED:
      if (m_alerts_dlg) m_alerts_keep = m_alerts_dlg->KeepMessages();
      return 0;
    case WM_ALERTS_DLG_CLOSED:
      if (reinterpret_cast<CAlertsDlg*>(lparam) == m_alerts_dlg.data()) m_alerts_dlg = nullptr;
      return 0;
    case WM_CONT_UPDATE_STATUS: {
      char time[16];
      format_time(get_last_quote_time(), time);
      QString pane =
          g_cont_update ? QStringLiteral("Data Collection On %1").arg(QString::fromLatin1(time))
          : g_playback_running ? QStringLiteral("Playback On %1").arg(QString::fromLatin1(time))
                               : QStringLiteral("Data Collection Off");
      trace("CMainFrame::OnContUpdateStatus() %s\n", pane.toUtf8().constData());
      SetPaneText(1, pane);
      return 0;
    }
    case WM_DRAW_NAMED_CHART:
      trace("CMainFrame::OnDrawNamedChart()\n");
      // Every chart but the poster's (its window id in wParam) redraws.
      if (theApp) theApp->UpdateChartViews((unsigned)wparam);
      free(reinterpret_cast<void*>(lparam));
      return 0;
    case WM_INIT_ALL_CHART_ANNOTATIONS:
      trace("CMainFrame::OnInitAllChartAnnotations()\n");
      // The poster's chart by its window id; a window closed meanwhile
      // leaves every chart to redraw.
      if (theApp) theApp->InitAllChartAnnotations(theApp->ChartOfWindow((unsigned)wparam));
      return 0;
    case WM_TWS_SOCKET:
      if ((lparam & 0xFFFF) == TWS_FD_READ) {
        tws_on_socket_read();
      } else if ((lparam & 0xFFFF) == TWS_FD_CLOSE) {
        tws_disconnect();
        // The broker is gone: collection from it is switched off.
        if (g_cont_update) RouteCommand(ID_GET_CONT_QUOTES);
      }
      return 0;
    default:
      return KvMainFrame::WindowProc(message, wparam, lparam);
  }
}
