// The application's own commands: opening windows of every kind, page
// layouts, favourites, the data toggles, window titles, the favourites and
// view-unit menus, help and the About box.
#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <QDir>
#include <QTimer>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "broker/twsreq.h"
#include "broker/twswire.h"
#include "data/chart.h"
#include "data/chartload.h"
#include "data/chartthreads.h"
#include "data/debugtrace.h"
#include "data/symlist.h"
#include "data/version.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/qt/dialog.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/services_qt.h"
#include "platform/services.h"
#include "platform/thread.h"
#include "quotes/mqtthread.h"
#include "quotes/qrclient.h"
#include "quotes/router.h"
#include "res/resource.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "shell/childfrm.h"
#include "shell/core/chartstore.h"
#include "shell/datasrcdlg.h"
#include "shell/dlgutil.h"
#include "shell/exportdlg.h"
#include "shell/importdlg.h"
#include "shell/mainfrm.h"
#include "shell/pagemgr.h"
#include "shell/userprefs.h"
#include "shell/windowdoc.h"
#include "windows/marketviews.h"
#include "studies/study.h"
#include "windows/ordersview.h"

// The view-unit multipliers of the View/Time Span menu.
extern const int g_view_units[10] = {1, 2, 3, 4, 5, 10, 20, 25, 50, 100};

namespace {

enum : unsigned {
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_OPEN_PAGE = 32950,
  ID_SAVE_PAGE = 32951,
  ID_NEW_CHART = 32818,
  ID_CHART_DEFAULT = 32833,
  ID_SLF_FIRST_CHART = 32907,
  ID_SLF_MAP = 32908,
  ID_SLF_QUOTES = 32969,
  ID_SLF_HORSE_RACE = 32970,
  ID_TIME_SALES = 33011,
  ID_PVD = 33292,
  ID_UPDATE_DAILY = 32977,
  ID_AUTO_UPDATE = 32776,
  ID_UPDATE_ALL = 32778,
  ID_CONT_QUOTES = 32858,
  ID_QUOTE_COLLECTION = 32911,
  ID_SINGLE_QUOTE = 32859,
  ID_QUICK_ALERTS = 32956,
  ID_FAVORITES_MORE = 32834,
  ID_EDIT_FAVORITES = 32820,
  ID_CLOSE_ALL = 32835,
  ID_REAL_TRADING = 33155,
  ID_PAPER_TRADING = 33177,
  ID_VIEW_PORTFOLIO = 33164,
  ID_HELP_ABOUT = 57664,
  ID_HELP_CONTENTS = 57666,
  ID_VIEW_UNIT_FIRST = 33137,
  ID_REFRESH_PORTFOLIO = 33222,
  ID_PRINT_SETUP = 57606,
  ID_PREFERENCES = 32844,
  ID_FILE_IMPORT = 32845,
  ID_IMPORT_SETTINGS = 32846,
  ID_DATA_SOURCES = 32813,
  ID_EXPORT_SETTINGS = 33002,
};
const unsigned kFavoriteIds[6] = {32829, 32830, 32831, 32832, 32848, 32849};

enum : uint32_t { PREF_QUICK_ALERTS = 0x1, PREF_NEW_EMPTY = 0x20, PREF_KIND_MASK = 0x7C0 };
constexpr int PREF_KIND_SHIFT = 6;

const char kPageFilter[] = "Korvane Page Layout Files (*.kvc)|*.kvc||";
const char kSlfFilter[] = "Korvane SLFMAP Files (*.slf)|*.slf||";

enum : unsigned { ID_SAVE_SLFMAP = 33122, ID_SAVE_SLFMAP_AS = 33123, ID_DELETE_SLFMAP = 33124 };

// The document of the active window when it is a symbol list map.
CKvWindowDoc* active_slfmap() {
  if (!theApp || !theApp->MainFrame()) return nullptr;
  KvView* v = theApp->MainFrame()->GetActiveView();
  auto* d = v ? dynamic_cast<CKvWindowDoc*>(v->GetDocument()) : nullptr;
  return d && d->Kind() == KIND_SLFMAP ? d : nullptr;
}

bool have_symbol_list() {
  return theApp && theApp->m_symbol_list_path[0] != 0;
}

// A file dialog starting in a data folder; the chosen path or "".
std::string choose_file(int save, int folder, const char* filter, const char* name,
                        const char* ext) {
  char dir[KV_PATH_MAX], out[1000] = {};
  data_folder_path(dir, sizeof dir, folder, nullptr);
  kv_file_dialog_request req{};
  req.save = save;
  req.initial_dir = dir;
  req.initial_name = name;
  req.default_ext = ext;
  req.filter = filter;
  int chosen = kv_file_dialog(&req, out, sizeof out);
  kv_data_root_current();
  return chosen ? out : "";
}

// A new chart from the default template, titled as a chart without data.
KvDocument* open_empty_chart(CKvChartApp* app) {
  KvDocTemplate* t = app->DocTemplate(KIND_CHART);
  KvDocument* doc = t ? t->OpenDocumentFile(QString()) : nullptr;
  g_pref_flags &= ~PREF_NEW_EMPTY;
  if (auto* w = dynamic_cast<CKvWindowDoc*>(doc))
    w->SetTitle(QString::fromUtf8(
        app->GetChartTitle(KIND_CHART, w->Settings().time_unit, w->Settings().chart_type, 0)));
  return doc;
}

// The About box: build number, version, installation folder.
class CAboutDlg : public KvDialog {
 public:
  explicit CAboutDlg(QWidget* parent) : KvDialog(100, parent) {
    setWindowTitle(QStringLiteral("About Korvane"));
    auto* layout = new QVBoxLayout(this);
    char line[KV_PATH_MAX + 40];
    layout->addWidget(new QLabel(QString::fromLatin1(get_version_text()), this));
    snprintf(line, sizeof line, "Build Number:   %d", get_build_number());
    layout->addWidget(new QLabel(QString::fromLatin1(line), this));
    snprintf(line, sizeof line, "Install Directory: %s", g_data_root);
    layout->addWidget(new QLabel(QString::fromUtf8(line), this));
    layout->addWidget(
        new QLabel(QStringLiteral("Charts, quotes and trading for the desktop."), this));
    layout->addWidget(new QLabel(QStringLiteral("Made by the Korvane developers."), this));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this)),
                       QDialogButtonBox::AcceptRole);
    buttons->addButton(AddControl(IDHELP_BUTTON, new QPushButton(QStringLiteral("Help"), this)),
                       QDialogButtonBox::HelpRole);
    layout->addWidget(buttons);
  }
};

}  // namespace

// ============================================================================
// Command table
// ============================================================================

void CKvChartApp::map_app_commands() {
  MapCommand(ID_FILE_NEW, [this] { OnFileNew(); });
  MapCommand(ID_FILE_OPEN, [this] {
    // Several daily, weekly, monthly or 1-minute files at once.
    char dir[KV_PATH_MAX], out[1000] = {};
    data_folder_path(dir, sizeof dir,
                     (m_app_flags & APP_IMPORT_FOLDER) ? KV_DIR_IMPORT : KV_DIR_DATA, nullptr);
    kv_file_dialog_request req{};
    req.initial_dir = dir;
    req.default_ext = ".dyd";
    req.filter =
        "Korvane Daily Files (*.dyd)|*.dyd|Korvane Weekly Files (*.wyd)|*.wyd|Korvane Monthly "
        "Files (*.myd)|*.myd|Korvane 1 Minute IntraDay Files (*.1min)|*.1min|All Files (*.*)|*.*||";
    req.flags = KV_FD_MULTISELECT;
    int ok = kv_file_dialog(&req, out, sizeof out);
    if (g_data_root[0] && chdir(g_data_root) != 0) {
    }
    if (!ok) return;
    // One path, or a folder followed by names, each ended by a NUL.
    out[sizeof out - 1] = out[sizeof out - 2] = 0;
    const char* first = out;
    const char* name = first + strlen(first) + 1;
    if (!*name) {
      OpenDocumentFile(first);
      return;
    }
    for (; *name; name += strlen(name) + 1)
      OpenDocumentFile((std::string(first) + "/" + name).c_str());
  });
  MapCommand(ID_SAVE_SLFMAP, [this] {
    CKvWindowDoc* d = active_slfmap();
    if (d && d->IsModified()) SaveSlfMapAs(d, false);
  });
  MapCommand(ID_SAVE_SLFMAP_AS, [this] {
    if (CKvWindowDoc* d = active_slfmap()) SaveSlfMapAs(d, true);
  });
  MapCommand(ID_DELETE_SLFMAP, [this] {
    CKvWindowDoc* d = active_slfmap();
    if (!d) return;
    std::string name = GetSlfNameFromTitle(KIND_SLFMAP, d->GetTitle().toUtf8().constData());
    char path[KV_PATH_MAX];
    data_folder_path(path, sizeof path, KV_DIR_SLF, (name + ".slf").c_str());
    kv_file_error err{};
    if (!kv_delete_file(path, &err)) {
      char text[KV_PATH_MAX + 80];
      kv_format_file_error(text, sizeof text, &err);
      AddStatusMsg(1, text);
      return;
    }
    if (!strcasecmp(name.c_str(), g_slf_title)) {
      if (g_shell_hooks.select_symbol_list) g_shell_hooks.select_symbol_list("---none---");
      char text[KV_PATH_MAX + 40];
      snprintf(text, sizeof text, "Deleted symbol file: %s\n", name.c_str());
      SetStatusBarText(0, text);
    }
    d->m_deleted = true;
  });
  for (unsigned id : {ID_SAVE_SLFMAP, ID_SAVE_SLFMAP_AS, ID_DELETE_SLFMAP})
    MapUpdate(id, [](KvCmdUI& ui) { ui.Enable(active_slfmap() != nullptr); });
  MapCommand(ID_OPEN_PAGE, [this] { open_page_layout(); });
  MapCommand(ID_SAVE_PAGE, [this] { save_page_layout(); });
  MapCommand(ID_NEW_CHART, [this] { NewChart(); });
  // An empty chart even when a default favourite is named.
  MapCommand(ID_CHART_DEFAULT, [this] { open_empty_chart(this); });
  MapUpdate(ID_CHART_DEFAULT, [](KvCmdUI& ui) { ui.SetCheck(!g_settings.DefaultFavorite[0]); });

  MapCommand(ID_SLF_FIRST_CHART, [this] {
    if (!OpenSymbolListFile(m_symbol_list_path, nullptr)) return;
    if (auto* doc = dynamic_cast<CKvWindowDoc*>(NewChart())) {
      const char* first = symbol_list_step(1);
      if (first) doc->ChangeSymbol(first, 5);
    }
  });
  MapCommand(ID_SLF_MAP, [this] { new_symbol_list_window(KIND_SLFMAP); });
  MapCommand(ID_SLF_QUOTES, [this] { new_symbol_list_window(KIND_QUOTES); });
  MapCommand(ID_SLF_HORSE_RACE, [this] { new_symbol_list_window(KIND_HORSE_RACE); });
  MapCommand(ID_TIME_SALES, [this] {
    if (KvDocTemplate* t = DocTemplate(KIND_TIME_SALES)) {
      g_pref_flags = (g_pref_flags & ~PREF_KIND_MASK) | (KIND_TIME_SALES << PREF_KIND_SHIFT);
      KvDocument* doc = t->OpenDocumentFile(QString());
      g_pref_flags &= ~(PREF_KIND_MASK | PREF_NEW_EMPTY);
      if (doc) kv_size_market_frame(doc->GetFirstView());
    }
  });
  MapUpdate(ID_TIME_SALES, [](KvCmdUI& ui) { ui.Enable((router_capabilities() & 0x02) != 0); });
  MapCommand(ID_PVD, [this] {
    if (KvDocTemplate* t = DocTemplate(KIND_PRICE_VOL_DIST)) {
      m_next_view_kind = KIND_PRICE_VOL_DIST;
      t->OpenDocumentFile(QString());
      m_next_view_kind = 0;
      g_pref_flags &= ~PREF_NEW_EMPTY;
    }
  });
  for (unsigned id : {ID_SLF_FIRST_CHART, ID_SLF_MAP, ID_SLF_QUOTES, ID_PVD, ID_UPDATE_DAILY})
    MapUpdate(id, [](KvCmdUI& ui) { ui.Enable(have_symbol_list()); });
  MapUpdate(ID_SLF_HORSE_RACE, [](KvCmdUI& ui) { ui.Enable(have_symbol_list()); });

  MapCommand(ID_UPDATE_DAILY, [this] {
    // The same command again while a run goes on stops it.
    if (m_app_flags & APP_UPDATING_DAILY) {
      m_app_flags &= ~APP_UPDATING_DAILY;
      return;
    }
    if (!g_chart_store.ImportList().head || !have_symbol_list() || !m_frame) return;
    m_app_flags |= APP_UPDATING_DAILY;
    kv_begin_wait_cursor();
    m_frame->PostMessage(WM_UPDATE_DAILY_CHART, 0, 0);
  });
  MapUpdate(ID_UPDATE_DAILY, [this](KvCmdUI& ui) {
    ui.Enable(have_symbol_list());
    ui.SetCheck((m_app_flags & APP_UPDATING_DAILY) ? 1 : 0);
  });

  MapCommand(ID_UPDATE_ALL, [this] { RefreshQuoteWindows(); });
  MapCommand(ID_AUTO_UPDATE, [] { g_chart_store.ToggleAutoUpdate(); });
  MapUpdate(ID_AUTO_UPDATE, [](KvCmdUI& ui) { ui.SetCheck(g_chart_store.GetAutoUpdate()); });
  for (unsigned id : {ID_CONT_QUOTES, ID_QUOTE_COLLECTION}) {
    MapCommand(id, [this] {
      g_chart_store.ToggleContUpdate();
      kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 0, g_cont_update, nullptr);
      UpdateChartViews(0);
    });
    MapUpdate(id, [](KvCmdUI& ui) { ui.SetCheck(g_chart_store.GetContUpdate()); });
  }
  MapCommand(ID_SINGLE_QUOTE, [] {
    kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 1, g_cont_update, nullptr);
  });
  MapCommand(ID_QUICK_ALERTS, [this] {
    g_pref_flags ^= PREF_QUICK_ALERTS;
    UpdateChartViews(0);
  });
  MapUpdate(ID_QUICK_ALERTS,
            [](KvCmdUI& ui) { ui.SetCheck((g_pref_flags & PREF_QUICK_ALERTS) != 0); });

  for (int i = 0; i < 6; i++) {
    MapCommand(kFavoriteIds[i], [this, i] { open_favorite(i); });
    MapUpdate(kFavoriteIds[i], [this, i](KvCmdUI& ui) {
      ui.SetCheck(m_favorite_menu[i] && (m_favorite_menu[i]->flags & DESC_DEFAULT) ? 1 : 0);
    });
  }
  for (unsigned id : {ID_FAVORITES_MORE, ID_EDIT_FAVORITES})
    MapCommand(id, [this] {
      const WindowDescriptor* chosen = nullptr;
      if (m_favorites_dialog && m_favorites_dialog(&chosen)) ApplyFavoritesDialog(chosen);
    });
  MapCommand(ID_CLOSE_ALL, [this] { CloseAllDocuments(); });
  for (auto [id, kind] : {std::pair{ID_REAL_TRADING, (int)KIND_REAL_ORDERS},
                          {ID_PAPER_TRADING, (int)KIND_PAPER_ORDERS},
                          {ID_VIEW_PORTFOLIO, (int)KIND_ACCOUNTS}}) {
    MapCommand(id, [this, kind = kind] {
      // One window of each: an open one comes to the top.
      std::vector<CKvWindowDoc*> open = kv_window_docs(kind);
      if (!open.empty()) {
        if (KvView* v = open.front()->GetFirstView())
          if (KvChildFrame* f = v->GetParentFrame()) {
            if (f->isMinimized()) f->showNormal();
            if (m_frame) m_frame->mdi()->setActiveSubWindow(f);
          }
      } else if (KvDocTemplate* t = DocTemplate(kind)) {
        m_next_view_kind = kind;
        t->OpenDocumentFile(QString());
        m_next_view_kind = 0;
      }
      // An orders window, new or brought up, starts from a fresh form.
      CKvOrdersView* orders = kind == KIND_REAL_ORDERS    ? g_real_orders_view
                              : kind == KIND_PAPER_ORDERS ? g_paper_orders_view
                                                          : nullptr;
      if (orders) orders->ResetOrderForm(nullptr);
    });
  }
  MapCommand(ID_REFRESH_PORTFOLIO, [] {
    build_market_hours_map();
    // Request 5, version 1: the open orders again; without a connection
    // the request reports "504 Not connected".
    if (!tws_request_begin(0)) return;
    tws_send_int(5);
    tws_send_int(1);
    tws_request_end();
  });
  MapUpdate(ID_REFRESH_PORTFOLIO, [](KvCmdUI& ui) { ui.Enable(g_chart_store.GetContUpdate()); });
  MapCommand(ID_PREFERENCES, [this] {
    {
      CPSUserPrefDlg sheet(m_frame);
      if (sheet.DoModal() == IDOK)
        for (CKvOrdersView* v : {g_real_orders_view, g_paper_orders_view})
          if (v) v->UpdateOrderButtons();
    }
    // Display settings take effect at once, whatever the sheet's end.
    for (int kind : {KIND_CHART, KIND_HORSE_RACE, KIND_PRICE_VOL_DIST})
      for (CKvWindowDoc* doc : kv_window_docs(kind)) doc->UpdateAllViews(nullptr, 0);
  });
  MapCommand(ID_DATA_SOURCES, [this] {
    CDataSourcesDlg dlg(m_frame);
    if (dlg.DoModal() != IDOK) return;
    // The new live source may serve window kinds the old one did not.
    for (const optional_kind& k : kv_optional_kinds)
      if (has_router_capability(k.bit)) GetDocTemplate(k.kind);
  });
  MapCommand(ID_IMPORT_SETTINGS, [this] {
    CImportSettingsDlg dlg(m_frame);
    dlg.DoModal();
  });
  MapCommand(ID_EXPORT_SETTINGS, [this] {
    CExportSettingsDlg dlg(m_frame);
    dlg.DoModal();
  });
  MapCommand(ID_FILE_IMPORT, [this] { OnFileImport(); });
  MapCommand(ID_PRINT_SETUP, [this] { kv_page_setup_dialog(m_frame, Printer()); });
  MapCommand(ID_HELP_ABOUT, [this] {
    CAboutDlg dlg(m_frame);
    dlg.DoModal();
  });
  MapCommand(ID_HELP_CONTENTS, [this] { WinHelp(0); });
  kv_set_help_handler([](unsigned id) {
    if (theApp) theApp->WinHelp(id);
  });
}

// ============================================================================
// Opening windows
// ============================================================================

KvDocument* CKvChartApp::OpenDescriptorWindow(WindowDescriptor* d, int free_studies,
                                              const char* symbol) {
  KvDocTemplate* t = DocTemplate(d->kind);
  if (!t) return nullptr;
  g_pref_flags = (g_pref_flags & ~PREF_KIND_MASK) | ((uint32_t)(d->kind & 0x1F) << PREF_KIND_SHIFT);
  KvDocument* doc = nullptr;
  QString path = QString::fromUtf8(d->path);
  if (!path.isEmpty() && !QDir::isAbsolutePath(path))
    path = QString::fromUtf8(g_data_root) + QLatin1Char('/') + path;
  switch (d->kind) {
    case KIND_HORSE_RACE:
      if (d->settings.chart_type == 12) {
        m_sub_kind = 12;
        doc = t->OpenDocumentFile(QString::fromUtf8(d->settings.symbol));
        m_sub_kind = 0;
        break;
      }
      [[fallthrough]];
    case KIND_QUOTES:
    case KIND_SLFMAP:
      if (d->path[0]) doc = t->OpenDocumentFile(path);
      break;
    case KIND_TIME_SALES:
    case KIND_ORDER_BOOK:
    case KIND_LEVEL2:
    case KIND_MARKET_PULSE:
      if (d->settings.item_count < 1) {
        g_pref_flags &= ~PREF_NEW_EMPTY;
        break;
      }
      doc = t->OpenDocumentFile(QString());
      break;
    case KIND_CHART:
      doc = t->OpenDocumentFile(QString());
      break;
    case KIND_PRICE_VOL_DIST:
    case KIND_REAL_ORDERS:
    case KIND_PAPER_ORDERS:
    case KIND_ACCOUNTS:
      m_next_view_kind = d->kind;
      doc = t->OpenDocumentFile(QString());
      m_next_view_kind = 0;
      break;
    default:
      break;
  }
  g_pref_flags &= ~PREF_KIND_MASK;
  auto* wdoc = dynamic_cast<CKvWindowDoc*>(doc);
  if (!wdoc) return doc;
  if (d->settings.time_unit == 0) d->settings.time_unit = 390;
  wdoc->RestoreWindowDescriptor(d);
  if (d->kind == KIND_CHART) {
    int loaded = wdoc->ChangeSymbol(symbol ? symbol : d->settings.symbol, 5);
    if (d->studies) {
      chart_rec* chart = wdoc->ChartRecord();
      if (chart) {
        for (StudyDef* s = d->studies; s; s = s->next) create_study(chart, s);
        if (free_studies) release_descriptor_studies(d);
      } else if (free_studies) {
        // The document creates them when its chart arrives.
        wdoc->TakePendingStudies(d->studies);
        d->studies = nullptr;
        d->study_count = 0;
      } else {
        // A favourite keeps its studies: the window gets copies.
        StudyDef *head = nullptr, **tail = &head;
        for (StudyDef* s = d->studies; s; s = s->next) {
          auto* c = (StudyDef*)malloc(sizeof(StudyDef));
          *c = *s;
          c->next = nullptr;
          *tail = c;
          tail = &c->next;
        }
        wdoc->TakePendingStudies(head);
      }
    }
    if (!loaded)
      wdoc->SetTitle(QString::fromUtf8(
          GetChartTitle(KIND_CHART, d->settings.time_unit, d->settings.chart_type, 0)));
  } else if (wdoc->GetTitle().isEmpty()) {
    wdoc->SetTitle(QString::fromUtf8(GetNewWindowTitle(d->kind)));
  }
  wdoc->UpdateAllViews(nullptr, 0);
  return wdoc;
}

void CKvChartApp::SaveAllModified() {
  if (g_data_root[0] && chdir(g_data_root) != 0) {
    // The data root is gone: paths below stay relative to it anyway.
  }
  auto append = [](CKvWindowDoc* doc) {
    WindowDescriptor* d = new_descriptor();
    if (!d) return;
    doc->FillWindowDescriptor(d);
    g_page_manager.AppendDescriptor(d);
  };
  for (int kind : {KIND_CHART, KIND_QUOTES})
    for (CKvWindowDoc* doc : kv_window_docs(kind)) append(doc);
  for (CKvWindowDoc* doc : kv_window_docs(KIND_SLFMAP)) {
    if (doc->m_deleted) continue;
    if (doc->IsModified()) SaveSlfMapAs(doc, true);
    append(doc);
  }
  for (int kind :
       {KIND_HORSE_RACE, KIND_TIME_SALES, KIND_LEVEL2, KIND_ORDER_BOOK, KIND_MARKET_PULSE,
        KIND_REAL_ORDERS, KIND_PAPER_ORDERS, KIND_ACCOUNTS, KIND_PRICE_VOL_DIST})
    for (CKvWindowDoc* doc : kv_window_docs(kind)) append(doc);
}

void CKvChartApp::RefreshPaperOrders() {
  if (g_paper_orders_view) g_paper_orders_view->ReloadOrders();
}

void CKvChartApp::CloseAllDocuments() {
  for (auto& t : m_templates)
    if (t) t->CloseAllDocuments();
}

void CKvChartApp::OnFileNew() {
  m_next_view_kind = 0;
  CNewWindowDlg dlg(m_frame);
  if (dlg.DoModal() != IDOK) return;
  int kind = m_next_view_kind;
  m_next_view_kind = 0;
  if (kind == KIND_CHART) {
    NewChart();
  } else if (kind >= 2 && kind <= 9) {
    if (KvDocTemplate* t = DocTemplate(kind)) {
      KvDocument* doc = t->OpenDocumentFile(QString());
      if (doc && doc->GetTitle().isEmpty())
        doc->SetTitle(QString::fromUtf8(GetNewWindowTitle(kind)));
    }
  }
}

KvDocument* CKvChartApp::NewChart() {
  if (g_settings.DefaultFavorite[0] || g_page_manager.Descriptors().head) {
    for (FavoriteRecord* f = g_chart_store.Favorites().head; f; f = f->next)
      if (f->flags & DESC_DEFAULT) return OpenDescriptorWindow(f, 0, nullptr);
    return nullptr;
  }
  return open_empty_chart(this);
}

int CKvChartApp::GetDocKind(const char* path, int* time_unit) {
  int pending = (int)((g_pref_flags & PREF_KIND_MASK) >> PREF_KIND_SHIFT);
  if (pending) return pending;
  // The file name's own extension decides; "a~" starts an SLFMap's name.
  const char* base = kv_path_base_name(path);
  const char* dot = strrchr(base, '.');
  const char* ext = dot ? dot : "";
  if (!strcasecmp(ext, ".slf") || !strncasecmp(base, "a~", 2)) {
    if (time_unit) *time_unit = 0;
    return KIND_SLFMAP;
  }
  int unit = 390;
  if (!strcasecmp(ext, ".itd")) unit = 5;
  if (!strcasecmp(ext, ".wyd")) unit = 2730;
  if (!strcasecmp(ext, ".myd")) unit = 11700;
  if (time_unit) *time_unit = unit;
  return KIND_CHART;
}

KvDocument* CKvChartApp::OpenDocumentFile(const char* path) {
  int unit = 0;
  int kind = GetDocKind(path, &unit);
  if (kind == KIND_SLFMAP) {
    KvDocTemplate* t = DocTemplate(KIND_SLFMAP);
    return t ? t->OpenDocumentFile(QString::fromUtf8(path)) : nullptr;
  }
  if (kind == KIND_CHART) {
    KvDocTemplate* t = DocTemplate(KIND_CHART);
    KvDocument* doc = t ? t->OpenDocumentFile(QString::fromUtf8(path)) : nullptr;
    // A chart that loaded keeps its own unit and title.
    if (auto* w = dynamic_cast<CKvWindowDoc*>(doc); w && !w->ChartRecord()) {
      w->Settings().time_unit = unit;
      w->SetTitle(QString::fromUtf8(GetChartTitle(KIND_CHART, unit, w->Settings().chart_type, 0)));
    }
    return doc;
  }
  if (kind == KIND_QUOTES) {
    // A symbol list to chart: it becomes the current list and its first
    // symbol goes into a new chart.
    if (OpenSymbolListFile(path, nullptr) > 0)
      if (auto* doc = dynamic_cast<CKvWindowDoc*>(NewChart()))
        if (const char* first = symbol_list_step(1)) doc->ChangeSymbol(first, 1);
  }
  return nullptr;
}

int CKvChartApp::OpenSymbolListFile(const char* path, const char* name) {
  if (path && path[0]) {
    int n = load_symbol_list(path);
    m_symbol_count = n;
    if (n > 0) {
      if (path != m_symbol_list_path)
        snprintf(m_symbol_list_path, sizeof m_symbol_list_path, "%s", path);
      const char* base = kv_path_base_name(path);
      const char* dot = strrchr(base, '.');
      size_t len = dot ? (size_t)(dot - base) : strlen(base);
      if (len < 100) {
        snprintf(g_slf_title, sizeof g_slf_title, "%.*s", (int)len, base);
        return n;
      }
    }
    snprintf(g_slf_title, sizeof g_slf_title, "%s", g_settings_defaults.SLFTitle);
    return n;
  }
  if (!name) return 0;
  char file[KV_PATH_MAX];
  std::string leaf = std::string(name) + ".slf";
  data_folder_path(file, sizeof file, KV_DIR_SLF, leaf.c_str());
  if (!strcmp(file, m_symbol_list_path)) return m_symbol_count;
  snprintf(m_symbol_list_path, sizeof m_symbol_list_path, "%s", file);
  m_symbol_count = load_symbol_list(file);
  snprintf(g_slf_title, sizeof g_slf_title, "%s",
           m_symbol_count > 0 ? name : g_settings_defaults.SLFTitle);
  return m_symbol_count;
}

void CKvChartApp::OnFileImport() {
  m_app_flags |= APP_IMPORT_FOLDER;
  std::string path = choose_file(0, KV_DIR_IMPORT, "All Files (*.*)|*.*||", nullptr, nullptr);
  m_app_flags &= ~APP_IMPORT_FOLDER;
  if (path.empty()) return;
  CImportFileDlg dlg(QString::fromUtf8(path.c_str()), m_frame);
  if (dlg.DoModal() != IDOK) return;
  auto keep = [](char* out, size_t size, const QString& text) {
    snprintf(out, size, "%s", text.toLatin1().constData());
  };
  keep(m_import_description, sizeof m_import_description, dlg.m_description);
  keep(m_import_format, sizeof m_import_format, dlg.m_format_name);
  keep(m_import_symbol, sizeof m_import_symbol, dlg.m_symbol);
  m_import_time_span = dlg.m_time_span;
  m_app_flags |= APP_IMPORT_FOLDER;
  OpenDocumentFile(path.c_str());
  m_app_flags &= ~APP_IMPORT_FOLDER;
}

void CKvChartApp::new_symbol_list_window(int kind) {
  KvDocTemplate* t = DocTemplate(kind);
  if (!t || !have_symbol_list()) return;
  g_pref_flags = (g_pref_flags & ~PREF_KIND_MASK) | ((uint32_t)kind << PREF_KIND_SHIFT);
  KvDocument* doc = t->OpenDocumentFile(QString::fromUtf8(m_symbol_list_path));
  g_pref_flags &= ~PREF_KIND_MASK;
  if (doc && kind == KIND_QUOTES) kv_size_market_frame(doc->GetFirstView());
}

void CKvChartApp::UpdateChartViews(unsigned exclude_window) {
  for (CKvWindowDoc* doc : kv_window_docs(KIND_CHART)) {
    if (!doc->ChartRecord()) continue;
    if (!exclude_window) {
      doc->UpdateAllViews(nullptr, 0);
      continue;
    }
    KvView* v = doc->GetFirstView();
    if (v && v->GetSafeHwnd() == exclude_window) continue;
    doc->UpdateAllViews(nullptr, 1);
  }
}

void CKvChartApp::SaveSlfMapAs(CKvWindowDoc* doc, bool ask) {
  std::string name = GetSlfNameFromTitle(KIND_SLFMAP, doc->GetTitle().toUtf8().constData());
  if (name == "Unknown") name.clear();
  if (name.empty() || ask) {
    std::string chosen = choose_file(1, KV_DIR_SLF, kSlfFilter, name.c_str(), ".slf");
    if (g_data_root[0] && chdir(g_data_root) != 0) {
    }
    if (chosen.empty()) return;
    std::string base = kv_path_base_name(chosen.c_str());
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos) base.resize(dot);
    name = base;
  }
  if (!kv_symbol_file_name_ok(name.c_str())) return;
  char path[KV_PATH_MAX];
  data_folder_path(path, sizeof path, KV_DIR_SLF, (name + ".slf").c_str());
  if (!doc->SaveSymbolList(QString::fromUtf8(path))) return;
  doc->SetTitle(QString::fromUtf8(GetViewTitle(KIND_SLFMAP, name.c_str(), 0)));
  doc->SetPathName(QString::fromUtf8(path));
  doc->SetModifiedFlag(false);
}

void CKvChartApp::InitAllChartAnnotations(const chart_rec* chart) {
  for (CKvWindowDoc* doc : kv_window_docs(KIND_CHART))
    if (doc->ChartRecord() && doc->ChartRecord() != chart) doc->UpdateAllViews(nullptr, 2);
}

const chart_rec* CKvChartApp::ChartOfWindow(unsigned window) const {
  if (!window) return nullptr;
  for (CKvWindowDoc* doc : kv_window_docs(KIND_CHART)) {
    KvView* v = doc->GetFirstView();
    if (v && v->GetSafeHwnd() == window) return doc->ChartRecord();
  }
  return nullptr;
}

void CKvChartApp::RefreshQuoteWindows() {
  for (int kind : {KIND_QUOTES, KIND_SLFMAP, KIND_HORSE_RACE, KIND_PRICE_VOL_DIST})
    for (CKvWindowDoc* doc : kv_window_docs(kind)) doc->RefreshFromQuotes();
}

// ============================================================================
// Page layouts
// ============================================================================

void CKvChartApp::open_page_layout() {
  std::string name = choose_file(0, KV_DIR_CONFIG, kPageFilter, nullptr, nullptr);
  if (g_data_root[0] && chdir(g_data_root) != 0) {
  }
  if (name.empty()) return;
  // The new page is read and checked before the windows of this one close:
  // a page that cannot be read leaves everything open.
  std::string previous = g_page_manager.PagesPath();
  if (!g_page_manager.SetPagesFileName(name.c_str(), 0)) {
    g_page_manager.FreeDescriptors();
    post_page_status("Can't Open Page %s", name.c_str());
    return;
  }
  g_page_manager.FreeDescriptors();
  g_page_manager.ClosePage(1);
  if (!g_page_manager.OpenPage(nullptr)) {
    post_page_status("Can't Open Page %s", name.c_str());
  }
  (void)previous;
}

void CKvChartApp::save_page_layout() {
  std::string current = g_page_manager.PagesPath();
  std::string name =
      choose_file(1, KV_DIR_CONFIG, kPageFilter, kv_path_base_name(current.c_str()), ".kvc");
  if (g_data_root[0] && chdir(g_data_root) != 0) {
  }
  if (name.empty()) return;
  SaveAllModified();
  if (kv_path_normalized(name.c_str()) != current &&
      std::string(kv_path_base_name(name.c_str())) != kv_path_base_name(current.c_str())) {
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.resize(dot);
    name += ".kvc";
    if (g_page_manager.SetPagesFileName(name.c_str(), 1)) {
      post_page_status("Save Page to %s", name.c_str());
    }
  } else {
    g_page_manager.WritePagesFile(0);
  }
}

// ============================================================================
// Favourites and view units
// ============================================================================

void CKvChartApp::open_favorite(int index) {
  WindowDescriptor* f = const_cast<WindowDescriptor*>(m_favorite_menu[index]);
  if (!f) return;
  OpenDescriptorWindow(f, 0, nullptr);
  f->use_count++;
  f->use_changed = 1;
}

void CKvChartApp::ApplyFavoritesDialog(const WindowDescriptor* chosen) {
  // The menus must not point at a record about to go.
  for (auto& e : m_favorite_menu) e = nullptr;
  bool chosen_deleted = false;
  FavoriteRecord* f = g_chart_store.Favorites().head;
  while (f) {
    FavoriteRecord* next = f->next;
    if (f->flags & DESC_MARK_DELETE) {
      g_chart_store.RemoveFavorite(f);
      kv_delete_file(f->path, nullptr);
      QString name = QString::fromUtf8(f->settings.favorite_name);
      for (CKvWindowDoc* doc : kv_window_docs(KIND_CHART))
        if (!doc->m_favorite_name.isEmpty() && doc->m_favorite_name == name) {
          doc->m_favorite_name.clear();
          doc->Settings().favorite_named = 0;
          doc->Settings().favorite_name[0] = 0;
          doc->SetTitle(QString::fromUtf8(
              GetChartTitle(KIND_CHART, doc->Settings().time_unit, doc->Settings().chart_type, 0)));
        }
      if (f == chosen) chosen_deleted = true;
      free_descriptor(f);
    }
    f = next;
  }
  // The chosen favourite may have been one of the deleted.
  if (chosen && !chosen_deleted)
    OpenDescriptorWindow(const_cast<WindowDescriptor*>(chosen), 0, nullptr);
  g_settings.DefaultFavorite[0] = 0;
  for (FavoriteRecord* r = g_chart_store.Favorites().head; r; r = r->next)
    if (r->flags & DESC_DEFAULT) {
      snprintf(g_settings.DefaultFavorite, sizeof g_settings.DefaultFavorite, "%s", r->path);
      break;
    }
  RebuildFavoritesMenus();
}

void CKvChartApp::RebuildFavoritesMenus() {
  for (auto& e : m_favorite_menu) e = nullptr;
  std::vector<const FavoriteRecord*> all;
  for (FavoriteRecord* f = g_chart_store.Favorites().head; f; f = f->next) all.push_back(f);
  std::stable_sort(all.begin(), all.end(), [](const FavoriteRecord* a, const FavoriteRecord* b) {
    return a->use_count > b->use_count;
  });
  for (size_t i = 0; i < all.size() && i < 6; i++) m_favorite_menu[i] = all[i];
  if (!m_frame) return;
  for (unsigned menu_id : {(unsigned)IDR_CHART, 0u}) {
    QMenu* menu = m_frame->GetSubMenu(menu_id, 3);
    if (!menu) continue;
    for (QAction* a : menu->actions()) {
      unsigned id = kv_action_id(a);
      if (id == ID_FAVORITES_MORE || std::count(kFavoriteIds, kFavoriteIds + 6, id)) {
        menu->removeAction(a);
        delete a;
      }
    }
    auto add = [this, menu](unsigned id, const QString& text) {
      QAction* a = kv_make_action(id, text, 0, menu);
      menu->addAction(a);
      QObject::connect(a, &QAction::triggered, m_frame, [this, id] { m_frame->RouteCommand(id); });
    };
    for (int i = 0; i < 6 && m_favorite_menu[i]; i++)
      add(kFavoriteIds[i], QString::fromUtf8(m_favorite_menu[i]->settings.favorite_name));
    if (all.size() > 6) add(ID_FAVORITES_MORE, QStringLiteral("More..."));
  }
}

void CKvChartApp::UpdateViewUnitsMenu(int unit) {
  if (!m_frame) return;
  for (unsigned menu_id : {(unsigned)IDR_CHART, 0u}) {
    QMenu* view = m_frame->GetSubMenu(menu_id, 2);
    if (!view) continue;
    for (int i = 0; i < 10; i++)
      if (QAction* a = kv_find_action(view, ID_VIEW_UNIT_FIRST + i))
        a->setText(QStringLiteral("%1\t%2").arg(g_view_units[i] * unit).arg((i + 1) % 10));
  }
}

// ============================================================================
// Titles
// ============================================================================

const char* CKvChartApp::GetNewWindowTitle(int kind) {
  static const char* const names[KIND_COUNT] = {
      nullptr,        nullptr, "- Quotes",     "SLFMap",     "- HorseRace",
      "- Time&Sales", nullptr, "- Order Book", "- Level II", "Market Pulse",
      "Portfolio",    nullptr, nullptr,        nullptr};
  if (kind > 0 && kind < KIND_COUNT && names[kind])
    snprintf(m_title, sizeof m_title, "%s%d", names[kind], ++m_window_counts[kind]);
  else
    snprintf(m_title, sizeof m_title, "New");
  return m_title;
}

const char* CKvChartApp::GetChartTitle(int kind, int unit, int chart_type, int count_new) {
  if (kind != KIND_CHART) return m_title;
  if (count_new) m_window_counts[kind]++;
  int n = m_window_counts[kind];
  const char* type = chart_type == 9 ? "VWAP" : chart_type == 10 ? "Heikin-Ashi" : "";
  if (unit <= -101 && unit >= -999999999) {
    snprintf(m_title, sizeof m_title, "%s%d(%dtick)", "- Chart", n, -unit - 100);
  } else if (unit < -1000000000) {
    snprintf(m_title, sizeof m_title, "%s%d(%dvol) %s", "- Chart", n, -(unit + 1000000000), type);
  } else if ((unit >= 1 && unit <= 389) || (unit >= -59 && unit <= -1)) {
    snprintf(m_title, sizeof m_title, "%s%d(%dm) %s", "- Chart", n, unit < 0 ? -unit : unit, type);
  } else {
    const char* name = "";
    switch (unit) {
      case 390:
        name = "day";
        break;
      case 392:
        name = "2day";
        break;
      case 393:
        name = "3day";
        break;
      case 394:
        name = "4day";
        break;
      case 395:
        name = "5day";
        break;
      case 400:
        name = "10day";
        break;
      case 410:
        name = "20day";
        break;
      case 2730:
        name = "week";
        break;
      case 11700:
        name = "mon";
        break;
    }
    snprintf(m_title, sizeof m_title, "%s%d(%s)", "- Chart", n, name);
  }
  return m_title;
}

const char* CKvChartApp::GetSymbolWindowTitle(int kind, const char* name, const char* extra) {
  name = name ? name : "";
  extra = extra ? extra : "";
  switch (kind) {
    case KIND_QUOTES:
      snprintf(m_title, sizeof m_title, "%s - Quotes", name);
      break;
    case KIND_SLFMAP:
      if (extra[0])
        snprintf(m_title, sizeof m_title, "%s[%s] - SLFMap", name, extra);
      else
        snprintf(m_title, sizeof m_title, "%s - SLFMap", name);
      break;
    case KIND_HORSE_RACE:
      if (name[0])
        snprintf(m_title, sizeof m_title, "%s%s - HorseRace", name, extra);
      else
        snprintf(m_title, sizeof m_title, "P&L %s", extra);
      break;
    case KIND_PRICE_VOL_DIST:
      snprintf(m_title, sizeof m_title, "%s - PVD", name);
      break;
  }
  return m_title;
}

const char* CKvChartApp::GetViewTitle(int kind, const char* name, int number) {
  name = name ? name : "";
  switch (kind) {
    case KIND_SLFMAP:
      snprintf(m_title, sizeof m_title, "%s - SLFMap", name);
      break;
    case KIND_HORSE_RACE:  // the profit race, named by its portfolio
      snprintf(m_title, sizeof m_title, "P&L - %s", name);
      break;
    case KIND_TIME_SALES:
      snprintf(m_title, sizeof m_title, "%s - Time&Sales", name);
      break;
    case KIND_PRICE_VOL_DIST:
      snprintf(m_title, sizeof m_title, name[0] ? "%s - PVD" : " - PVD", name);
      break;
    case KIND_ORDER_BOOK:
      snprintf(m_title, sizeof m_title, "%s - Order Book", name);
      break;
    case KIND_LEVEL2:
      snprintf(m_title, sizeof m_title, "%s - Level II", name);
      break;
  }
  return m_title;
}

const char* CKvChartApp::GetSlfNameFromTitle(int kind, const char* title) {
  static char name[400];
  snprintf(name, sizeof name, "Unknown");
  if (kind != KIND_SLFMAP || !title) return name;
  if (title[0] == '-')
    snprintf(name, sizeof name, "%s", strlen(title) >= 2 ? title + 2 : "");
  else
    snprintf(name, sizeof name, "%.*s", (int)strcspn(title, "["), title);
  return name;
}

// ============================================================================
// Update Daily Charts
// ============================================================================

void CKvChartApp::UpdateDailyChartStep(int index) {
  const char* symbol = symbol_list_token(index);
  int count = symbol_list_count() * 2;
  if (symbol && (m_app_flags & APP_UPDATING_DAILY)) {
    std::string sym = symbol;
    int start = g_start_date_daily;
    if (chart_rec* c = get_chart_data(sym.c_str(), 390, 0, 0, 16, nullptr, nullptr, 0)) {
      if (c->header.first_date) start = c->header.first_date;
      free_chart_data(c);
    }
    if (!queue_chart_request(0, sym.c_str(), 390, start, 0, 521, nullptr, nullptr, 0)) {
      // The request ring is full: the same symbol again a little later,
      // once the loading threads took some.
      if (CKvMainFrame* f = m_frame)
        QTimer::singleShot(200, f, [f, index] { f->PostMessage(WM_UPDATE_DAILY_CHART, index, 0); });
      return;
    }
  }
  if (!(m_app_flags & APP_UPDATING_DAILY)) {
    kv_end_wait_cursor();
    kv_message_box("Updating Daily Charts Aborted by User", "Korvane", MB_OK);
  } else if (index + 2 < count) {
    if (m_frame) m_frame->PostMessage(WM_UPDATE_DAILY_CHART, index + 2, 0);
  } else {
    m_app_flags &= ~APP_UPDATING_DAILY;
    kv_end_wait_cursor();
  }
}

// ============================================================================
// Help
// ============================================================================

void CKvChartApp::WinHelp(unsigned help_id) {
  static const struct {
    unsigned id;
    const char* page;
  } pages[] = {
      {100, "About.htm"},    {102, "StdExternal.htm"}, {137, "ChColor.htm"},  {138, "StdBol.htm"},
      {139, "StatMsg.htm"},  {144, "StdMACD.htm"},     {145, "StdMA.htm"},    {146, "StdStoch.htm"},
      {147, "StdOther.htm"}, {148, "DataSrcs.htm"},    {149, "ChProp.htm"},   {151, "StdRSI.htm"},
      {155, "Favorite.htm"}, {159, "Import.htm"},      {160, "UserPref.htm"}, {185, "UserPref.htm"},
      {164, "ImpFile.htm"},  {170, "StdInd.htm"},      {181, "StdVHF.htm"},   {182, "StdVol.htm"},
      {219, "SelStudy.htm"}, {231, "StdCCI.htm"},      {272, "OrderDef.htm"}};
  const char* page = "index.htm";
  for (const auto& p : pages)
    if (p.id == help_id) page = p.page;
  char path[KV_PATH_MAX];
  if (!data_folder_path(path, sizeof path, KV_DIR_HELP, page)) return;
  // Pages shipped with another case are found too; a missing page does
  // nothing.
  std::string found = kv_resolve_case(path);
  if (found.empty()) return;
  if (g_option_flags & OPT_TRACE_MAINFRAME)
    debug_trace("CKvChartApp::WinHelp(): %s\n", found.c_str());
  kv_open_help_file(QString::fromUtf8(found.c_str()));
}
