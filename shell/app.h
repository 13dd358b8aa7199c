// The application object: start-up, the table of window templates, the
// Status Messages window and shut-down.
//
// CKvChartApp decides whether this process may run (one per instance
// letter), brings up the profile, the data folders and the settings,
// creates the main frame and the window templates, starts the data side,
// reopens the windows of the previous run and at the end tears it all down
// in a fixed order.  The Qt application object (KvApp) must exist first;
// this object is the shell's state on top of it, and the last command
// target before KvApp.
#pragma once

#include <QCursor>
#include <QPrinter>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/qt/cmdtarget.h"

class KvDocTemplate;
class KvDocument;
class KvSingleInstance;
struct WindowDescriptor;
class CKvWindowDoc;
struct chart_rec;
class CKvMainFrame;
class CStatusMsgDlg;

// The kinds of window, the index of the template table.
enum WindowKind : int {
  KIND_CHART = 1,
  KIND_QUOTES = 2,
  KIND_SLFMAP = 3,
  KIND_HORSE_RACE = 4,
  KIND_TIME_SALES = 5,
  KIND_PRICE_VOL_DIST = 6,
  KIND_ORDER_BOOK = 7,
  KIND_LEVEL2 = 8,
  KIND_MARKET_PULSE = 9,
  KIND_REAL_ORDERS = 11,
  KIND_PAPER_ORDERS = 12,
  KIND_ACCOUNTS = 13,
  KIND_COUNT = 14
};

// Bits of the application flag word.
enum : uint32_t {
  APP_IMPORT_FOLDER = 0x1,   // the open-file dialog starts in IMPORT
  APP_INITIAL = 0x2,         // set at construction
  APP_UPDATING_DAILY = 0x4,  // an "Update Daily Charts" run is going on
  APP_STATUS_VISIBLE = 0x8,  // the Status Messages window is shown
  APP_CURSOR_MODE = 0x200,   // read by the chart view's cursor code
};

// Commands of the application handled here.
enum : unsigned { ID_VIEW_STATUS_MSG = 32781, ID_HELP_README = 33289 };

// Optional window kinds by bit of the live-quote source's window-kind
// enables, in the order their templates are made.
struct optional_kind {
  uint32_t bit;
  int kind;
};
extern const optional_kind kv_optional_kinds[4];

enum { APP_CURSOR_COUNT = 9 };

class CKvChartApp : public KvCmdTarget {
 public:
  CKvChartApp();
  ~CKvChartApp() override;

  // Start-up; false ends the program before the message loop (the reason
  // was shown, or another instance runs).  command_line may be null.
  bool InitInstance(const char* command_line);
  // Shut-down after the main window closed (or after a refused start).
  // Returns the exit code.
  int ExitInstance();

  // true when this process may run: without a letter the running instance
  // is brought forward and this one ends; with one it ends silently.
  bool ActivatePreviousInstance(const QString& name, bool have_letter);

  // Makes the template of a window kind once (kind 1 first).
  void GetDocTemplate(int kind);
  // The template of a kind, null when it does not exist.
  KvDocTemplate* DocTemplate(int kind) const;

  // Appends a line to the Status Messages window; flag 1 also shows it.
  void AddStatusMsg(int flag, const char* text);
  // View/Status Messages: shows or hides the window.
  void OnViewStatusMsg();
  // Help/View ReadMe File: the ReadMe dialog on ReadMe.txt.
  void OnHelpReadMe();
  // First start after an installation: ReadMe.first once, then it becomes
  // ReadMe.txt.
  void ShowReadMeFirst();
  // Last start-up steps: configuration, optional kinds, saved page, events,
  // symbol list and the collection pane.
  void OpenStartupWindows();

  // ---- windows, page layouts and application commands (appcmds.cpp) ----
  // Opens the window a descriptor describes (page layouts, favourites);
  // symbol overrides the descriptor's.  Null when nothing opened.
  KvDocument* OpenDescriptorWindow(WindowDescriptor* d, int free_studies, const char* symbol);
  // Fills the page manager's descriptor list from the open windows.
  void SaveAllModified();
  // Closes every window without asking.
  void CloseAllDocuments();
  // File/New: the New window dialog and the window of the chosen kind.
  void OnFileNew();
  // A chart from the default favourite, else an empty chart.
  KvDocument* NewChart();
  // Opens a dropped or chosen file by its kind (symbol list, chart).
  KvDocument* OpenDocumentFile(const char* path);
  // 3 symbol list map, 1 chart (time unit out); a pending kind wins.
  int GetDocKind(const char* path, int* time_unit);
  // File/Import: a file from IMPORT, its format, symbol and time span
  // asked for, then the file opened for import.
  void OnFileImport();
  // Loads a symbol list (by path, or by name from SLF); the symbol count.
  int OpenSymbolListFile(const char* path, const char* name);
  // Titles of new windows (one shared buffer each call overwrites).
  const char* GetNewWindowTitle(int kind);
  const char* GetChartTitle(int kind, int time_unit, int chart_type, int count_new);
  const char* GetSymbolWindowTitle(int kind, const char* name, const char* extra);
  const char* GetViewTitle(int kind, const char* name, int number);
  const char* GetSlfNameFromTitle(int kind, const char* title);
  // Menus of the chart windows and of the main frame.
  void RebuildFavoritesMenus();
  void UpdateViewUnitsMenu(int unit);
  // Every chart window but the one with the given window id (0: all)
  // updates its views (hint 1 when one is excluded, else 0).
  void UpdateChartViews(unsigned exclude_window);
  // Every chart window whose chart record is not this one redraws its
  // annotations (hint 2).
  void InitAllChartAnnotations(const chart_rec* chart);
  // The chart record shown by the chart window with this window id; null
  // when no such window is open or it shows no chart. Compared, never read.
  const chart_rec* ChartOfWindow(unsigned window) const;
  // The quotes, symbol map, horse-race and distribution windows show the
  // latest quotes.
  void RefreshQuoteWindows();
  // The help page of a help id in the desktop's browser.
  void WinHelp(unsigned help_id);
  // One step of Update Daily Charts (WM_UPDATE_DAILY_CHART).
  void UpdateDailyChartStep(int index);
  // Saves a symbol list map under the name its title gives, asking for a
  // name when it has none or ask is set.
  void SaveSlfMapAs(CKvWindowDoc* doc, bool ask);
  // Refreshes the paper-trading orders window when it is open.
  void RefreshPaperOrders();
  // The Chart Favorites dialog (set by the chart windows): marks the
  // favourites to delete (DESC_MARK_DELETE) and the default
  // (DESC_DEFAULT); true on OK, with the favourite to open or null.
  std::function<bool(const WindowDescriptor** chosen)> m_favorites_dialog;
  // After the dialog's OK: deletes the marked favourites (file, studies,
  // the charts' references), opens the chosen one when it still exists,
  // takes the default from the marks and rebuilds the menus.
  void ApplyFavoritesDialog(const WindowDescriptor* chosen);
  // The favourites shown as Favorite 1 to 6.
  const WindowDescriptor* FavoriteMenuEntry(int i) const { return m_favorite_menu[i]; }

  // The printer every print goes to; File/Print Setup chooses its page.
  QPrinter* Printer() {
    if (!m_printer) m_printer = std::make_unique<QPrinter>();
    return m_printer.get();
  }

  CKvMainFrame* MainFrame() const { return m_frame; }
  CStatusMsgDlg* StatusMsgDlg() const { return m_status_dlg; }
  const QCursor& Cursor(int index) const { return m_cursors[index]; }

  uint32_t m_app_flags = APP_INITIAL;
  // Texts and state read by windows built elsewhere.
  char m_default_favorite[260] = {};
  int m_symbol_count = -1;
  char m_symbol_list_path[1024] = {};  // the current symbol list file
  char m_pl_account[100] = {};         // the account the profit-and-loss windows show
  int m_next_view_kind = 0;
  int m_sub_kind = 0;
  int m_draw_color = 255, m_draw_style = 0, m_draw_width = 1;
  // The last Import File Settings (format description, format name,
  // symbol, time span 0-2), read by the chart document while it imports.
  char m_import_description[256] = {};
  char m_import_format[64] = {};
  char m_import_symbol[32] = {};
  int m_import_time_span = 0;

 private:
  void load_cursors();
  void show_main_window();
  void map_app_commands();
  void open_page_layout();
  void save_page_layout();
  void open_favorite(int index);
  void new_symbol_list_window(int kind);

  // Favorite 1 to 6 of the menus; cleared before any favourite is freed.
  const WindowDescriptor* m_favorite_menu[6] = {};
  int m_window_counts[KIND_COUNT] = {};
  char m_title[400] = "New";

  std::unique_ptr<KvDocTemplate> m_templates[KIND_COUNT];
  QCursor m_cursors[APP_CURSOR_COUNT];
  std::unique_ptr<KvSingleInstance> m_instance;
  std::unique_ptr<QPrinter> m_printer;
  CKvMainFrame* m_frame = nullptr;
  CStatusMsgDlg* m_status_dlg = nullptr;
  bool m_started = false;  // passed the single-instance check
  bool m_loaded = false;   // settings loaded: shut-down may write files
};

// The account slot the profit-and-loss windows show (the symbol-list
// toolbar's account entry).
extern int g_portfolio_slot;

// The one application object of the run (null when none).
extern CKvChartApp* theApp;

// Status lines from anywhere on the user-interface thread.
void AddAppStatusMsg(int flag, const char* text);
// Pane 0 of the status bar; show first makes a hidden status bar visible.
void SetStatusBarText(int show, const char* text);
