// The application object: start-up, window templates, status messages and
// shut-down.
#include "shell/app.h"

#include <QFile>
#include <QPalette>
#include <cstdio>
#include <cstring>
#include <thread>
#include <chrono>

#include "broker/twshooks.h"
#include "broker/twswindow.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartevents.h"
#include "chartwin/chartview.h"
#include "chartwin/dialoghooks.h"
#include "data/chartload.h"
#include "data/cmdline.h"
#include "data/debugtrace.h"
#include "data/inet.h"
#include "data/install.h"
#include "data/updatechk.h"
#include "data/logfiles.h"
#include "data/mainwnd.h"
#include "data/quotecfg.h"
#include "broker/executions.h"
#include "broker/openorders.h"
#include "broker/orders.h"
#include "broker/relayorders.h"
#include "broker/twsacct.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/qt/app.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/single_instance.h"
#include "platform/services.h"
#include "quotes/alerts.h"
#include "quotes/livechart.h"
#include "quotes/mqt.h"
#include "quotes/mqtthread.h"
#include "quotes/playbackdata.h"
#include "quotes/qrclient.h"
#include "quotes/qtlink.h"
#include "quotes/relayhist.h"
#include "studies/study.h"
#include "res/resource.h"
#include "shell/app_hooks.h"
#include "shell/childfrm.h"
#include "shell/pagemgr.h"
#include "shell/windowdoc.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/core/paperid.h"
#include "shell/core/settingsio.h"
#include "shell/mainfrm.h"
#include "shell/statusmsg.h"
#include "shell/slfbar.h"
#include "windows/accountsview.h"
#include "windows/chartdialogs.h"
#include "windows/marketviews.h"
#include "windows/tradeaccts.h"

CKvChartApp* theApp;
int g_portfolio_slot;

const optional_kind kv_optional_kinds[4] = {{0x02, KIND_TIME_SALES},
                                            {0x20, KIND_LEVEL2},
                                            {0x10, KIND_ORDER_BOOK},
                                            {0x40, KIND_MARKET_PULSE}};

namespace {

enum : uint32_t { ROUTER_CAP_TRADING = 512, PREF1_TRADING = 0x08, PREF_STREAM_KIND_4 = 0x80000 };

// Resource number of each window kind's template; 0: no such kind.
const unsigned kTemplateResource[KIND_COUNT] = {0,   129, 130, 131, 132, 133, 184,
                                                157, 134, 163, 0,   101, 101, 245};

// An empty window: each kind's own view is built with that kind.
class CKvBlankView : public KvView {
 public:
  CKvBlankView() {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Base));
    setPalette(p);
  }
};

void trace(const char* format, const char* text) {
  if (g_option_flags & OPT_TRACE_MAINFRAME) debug_trace(format, text);
}

}  // namespace

CKvChartApp::CKvChartApp() {
  MapCommand(ID_VIEW_STATUS_MSG, [this] { OnViewStatusMsg(); });
  MapCommand(ID_HELP_README, [this] { OnHelpReadMe(); });
  map_app_commands();
}

CKvChartApp::~CKvChartApp() {
  delete m_status_dlg;
  delete m_frame;
  if (theApp == this) theApp = nullptr;
}

bool CKvChartApp::ActivatePreviousInstance(const QString& name, bool have_letter) {
  m_instance = std::make_unique<KvSingleInstance>(name);
  // Without a letter the running instance comes forward; with one this
  // start simply ends.
  if (!m_instance->Acquire(!have_letter)) {
    m_instance.reset();
    return false;
  }
  m_instance->SetActivateHandler([this] {
    if (m_frame) kv_bring_to_front(m_frame);
  });
  return true;
}

bool CKvChartApp::InitInstance(const char* command_line) {
  g_instance_letter = 0;
  if (command_line) {
    std::string text(command_line);  // the parser splits its text in place
    ParseProgramOptions(text.data());
  }
  QString name = QStringLiteral("Ostrelan");
  if (g_instance_letter) name += QLatin1Char(g_instance_letter);
  if (!ActivatePreviousInstance(name, g_instance_letter != 0)) return false;
  m_started = true;
  theApp = this;
  // The data side reaches the live-quote list, the study engine and the
  // broker link through hook tables: wire them before anything loads a
  // chart (the chart store, the saved page) or starts a worker.
  install_mqt_chart_hooks();
  install_study_chart_hooks();
  install_tws_hooks();
  tws_install_window_backend();
  install_live_chart_hooks();
  install_qt_hooks();
  set_profile_company(name.toLatin1().constData());

  int first_run = PrepareInstallation() & 1;
  int taken_over = first_run ? MigratePreviousVersion() : 1;
  for (int kind : {KIND_CHART, KIND_QUOTES, KIND_SLFMAP, KIND_HORSE_RACE, KIND_REAL_ORDERS,
                   KIND_PAPER_ORDERS, KIND_ACCOUNTS, KIND_PRICE_VOL_DIST})
    GetDocTemplate(kind);
  if (!LoadStartupSettings(first_run, taken_over)) return false;
  {
    // The playback the last Playback Setup stored; its rate waits for the
    // speed commands.
    PlaybackData playback;
    playback_data_decode(g_settings.PlaybackData, &playback);
    playback_take_data(&playback, 0);
  }
  // Order bookkeeping: the quote, error and position seams, the paper order
  // counter in the settings profile, and the open-orders file at the close.
  install_order_hooks();
  install_paper_order_counter();
  if (!g_shell_hooks.write_open_orders)
    g_shell_hooks.write_open_orders = [] { write_open_orders(); };
  install_page_hooks();
  install_chart_layer_hooks();
  // The orders window rebuilds when an account's trades are dropped.
  add_accounts_changed_listener([](const char*) {
    if (theApp) theApp->RefreshPaperOrders();
  });
  install_chart_dialog_hooks(this);
  install_chart_view_dialogs();
  // The relay's input thread, history requests and order records, and the
  // quote threads with their ordered exit.
  install_quote_thread_hooks();
  install_relay_history_hooks();
  install_relay_order_hooks();
  if (!g_shell_hooks.start_quote_threads) g_shell_hooks.start_quote_threads = start_quote_threads;
  if (!g_shell_hooks.program_exit) g_shell_hooks.program_exit = program_exit;
  // The dated events behind the chart's event marks.
  if (!g_shell_hooks.load_events) g_shell_hooks.load_events = [] { CEvents::LoadEventsFile(); };
  if (!g_shell_hooks.free_events) g_shell_hooks.free_events = CEvents::FreeEvents;
  if (!g_shell_hooks.select_symbol_list)
    g_shell_hooks.select_symbol_list = [](const char* name) {
      if (CSymbolListBar* bar = CSymbolListBar::Instance()) bar->SelectSymbolList(name);
    };

  m_frame = new CKvMainFrame;
  KvApp::instance()->SetMainWnd(m_frame);
  m_frame->PreCreateWindow();
  if (!m_frame->OnCreate()) return false;
  if (g_shell_hooks.load_chart_store && !g_shell_hooks.load_chart_store()) return false;

  m_status_dlg = new CStatusMsgDlg(m_frame);
  m_status_dlg->setWindowFlag(Qt::Window);
  m_status_dlg->EnsureInitialized();
  m_app_flags &= ~APP_STATUS_VISIBLE;
  load_cursors();
  show_main_window();
  ShowReadMeFirst();

  g_inet_session = inet_open_session();
  if (g_pref_flags & PREF_STREAM_KIND_4) {
    g_mqt_streams_uncharted |= 0x4;
    g_mqt_streams_charted |= 0x4;
  }
  if (g_shell_hooks.start_quote_threads) g_shell_hooks.start_quote_threads();
  if (!load_alerts()) kv_message_box("Unable to read alert file", "Korvane", MB_OK);
  if (!has_router_capability(ROUTER_CAP_TRADING)) g_pref_flags1 &= ~PREF1_TRADING;
  OpenStartupWindows();
  m_loaded = true;
  return true;
}

void CKvChartApp::GetDocTemplate(int kind) {
  if (kind <= 0 || kind >= KIND_COUNT || !kTemplateResource[kind] || m_templates[kind]) return;
  // One document class for every kind; the chart has its own view, the
  // other kinds' views are built with their windows.
  auto t = std::make_unique<KvDocTemplate>(
      kTemplateResource[kind], [kind] { return new CKvChartDoc(kind); },
      [kind]() -> KvChildFrame* {
        if (KvChildFrame* f = kv_new_market_frame(kind)) return f;
        return new CKvChildFrame;
      },
      [kind]() -> KvView* {
        if (kind == KIND_CHART) return new CKvChartView;
        if (kind == KIND_ACCOUNTS) return new CKvAccountsView;
        if (KvView* v = kv_new_market_view(kind)) return v;
        return new CKvBlankView;
      });
  t->menu_id = IDR_CHART;  // every kind shows the chart menu
  m_templates[kind] = std::move(t);
}

KvDocTemplate* CKvChartApp::DocTemplate(int kind) const {
  return kind > 0 && kind < KIND_COUNT ? m_templates[kind].get() : nullptr;
}

void CKvChartApp::load_cursors() {
  const QCursor arrow(Qt::ArrowCursor), cross(Qt::CrossCursor);
  const QCursor table[APP_CURSOR_COUNT] = {kv_res_cursor(IDC_SPLIT),
                                           kv_res_cursor(IDC_MOVE),
                                           arrow,
                                           cross,
                                           arrow,
                                           kv_res_cursor(IDC_DRAW),
                                           kv_res_cursor(IDC_OVER_LINE),
                                           kv_res_cursor(IDC_CANDLE_SELECT),
                                           kv_res_cursor(IDC_HAND)};
  for (int i = 0; i < APP_CURSOR_COUNT; i++) m_cursors[i] = table[i];
}

void CKvChartApp::show_main_window() {
  switch (g_window_placement.show) {
    case SW_SHOWMAXIMIZED:
      m_frame->showMaximized();
      break;
    case SW_SHOWMINIMIZED:
      m_frame->showMinimized();
      break;
    default:
      m_frame->show();
      break;
  }
}

void CKvChartApp::ShowReadMeFirst() {
  char first[KV_MAX_PATH], text[KV_MAX_PATH];
  if (!data_folder_path(first, sizeof first, KV_DIR_HELP, "ReadMe.first")) return;
  FILE* f = fopen(first, "rb");
  if (!f) return;  // nothing new to show
  fclose(f);
  CReadMeDlg dlg(QStringLiteral("ReadMe.first"), m_frame);
  dlg.DoModal();
  // Shown once: it becomes the ReadMe of the Help menu.
  data_folder_path(text, sizeof text, KV_DIR_HELP, "ReadMe.txt");
  kv_file_error err{};
  if (!kv_move_file(first, text, 1, &err)) {
    char msg[KV_MAX_PATH + 80];
    kv_format_file_error(msg, sizeof msg, &err);
    AddStatusMsg(1, msg);
  }
}

void CKvChartApp::OnHelpReadMe() {
  CReadMeDlg dlg(QStringLiteral("ReadMe.txt"), m_frame);
  dlg.DoModal();
}

void CKvChartApp::OpenStartupWindows() {
  bool missing = false;
  for (int unit : {100000, 390, 2730, 11700})
    if (!read_quote_source_cfg(unit)) missing = true;
  if (missing)
    kv_message_box("Files missing from Config directory\nCheck your installation", "Korvane",
                   MB_OK | MB_ICONSTOP);
  uint32_t enables = router_capabilities() & 0xFF;
  for (const optional_kind& k : kv_optional_kinds)
    if (enables & k.bit) GetDocTemplate(k.kind);
  if (g_shell_hooks.open_default_page) g_shell_hooks.open_default_page();
  read_open_orders();  // an order the page's open made already is skipped
  if (g_shell_hooks.rebuild_favorites_menus) g_shell_hooks.rebuild_favorites_menus();
  if (g_shell_hooks.load_events) g_shell_hooks.load_events();
  if (g_shell_hooks.select_symbol_list) g_shell_hooks.select_symbol_list(g_slf_title);
  if (m_frame) m_frame->SetContUpdateStatus(0);
}

void CKvChartApp::AddStatusMsg(int flag, const char* text) {
  if (!m_status_dlg) {
    trace("CKvChartApp::AddStatusMsg(): %s\n", text ? text : "");
    return;
  }
  m_status_dlg->AddLine(QString::fromUtf8(text ? text : ""));
  if (flag == 1 && !(m_app_flags & APP_STATUS_VISIBLE) && m_frame)
    m_frame->SendMessage(WM_COMMAND, ID_VIEW_STATUS_MSG);
}

void CKvChartApp::OnViewStatusMsg() {
  if (!m_status_dlg) {
    trace("CKvChartApp::OnViewStatusMsg(): %s\n",
          (m_app_flags & APP_STATUS_VISIBLE) ? "FALSE" : "TRUE");
    return;
  }
  m_app_flags ^= APP_STATUS_VISIBLE;
  if (m_app_flags & APP_STATUS_VISIBLE) {
    m_status_dlg->setAttribute(Qt::WA_ShowWithoutActivating);
    m_status_dlg->show();
  } else {
    m_status_dlg->hide();
  }
}

int CKvChartApp::ExitInstance() {
  if (!m_started) return 0;
  delete m_status_dlg;
  m_status_dlg = nullptr;
  // Only a start that completed may write what it loaded; a refused start
  // leaves settings, page, favourites and import list as they were.
  if (m_loaded) {
    SaveSettings();
    if (g_shell_hooks.write_pages_file) g_shell_hooks.write_pages_file();
    if (g_shell_hooks.save_chart_store) g_shell_hooks.save_chart_store();
  }
  // The workers have ended: stop the order sender (real orders still queued
  // were written Inactive to the open-orders file), then append every open
  // account's new trades.
  stop_order_sender();
  close_all_accounts();
  // The broker accounts let their daily charts and records go before the
  // chart list and the records are torn down.
  tws_accounts_release();
  if (g_shell_hooks.free_miscellaneous_memory) g_shell_hooks.free_miscellaneous_memory();
  if (g_shell_hooks.close_help) g_shell_hooks.close_help();
  if (g_shell_hooks.free_study_libraries) g_shell_hooks.free_study_libraries();
  if (g_shell_hooks.free_events) g_shell_hooks.free_events();
  delete m_frame;  // closes what is still open before the templates go
  m_frame = nullptr;
  for (auto& t : m_templates) t.reset();
  if (g_inet_session) {
    // The update check (started by the first web import) reads the session:
    // it is closed only after that thread ended, waiting as the exit thread
    // does (90 waits of 100 ms); a check still running keeps it.
    for (int i = 0; i < 90 && !g_updatechk_done.load(); i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (g_updatechk_done.load()) inet_close_session(g_inet_session);
    g_inet_session = nullptr;
  }
  free_log_names();
  m_instance.reset();
  m_started = m_loaded = false;
  return 0;
}

void AddAppStatusMsg(int flag, const char* text) {
  if (theApp)
    theApp->AddStatusMsg(flag, text);
  else
    trace("CKvChartApp::AddStatusMsg(): %s\n", text ? text : "");
}

void SetStatusBarText(int show, const char* text) {
  if (theApp && theApp->MainFrame())
    theApp->MainFrame()->SetStatusText(show, QString::fromUtf8(text ? text : ""));
}
