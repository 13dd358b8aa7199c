// Page layouts: reading, reopening and writing the windows of a page.
#include "shell/pagemgr.h"

#include <cstdio>
#include <cstring>

#include "broker/openorders.h"
#include "broker/orddef.h"
#include "data/debugtrace.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/services.h"
#include "quotes/mqtdump.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "shell/core/chartstore.h"
#include "shell/mainfrm.h"
#include "studies/pages/ppcommon.h"

CPageManager g_page_manager;

// Status bar pane 0 with the bar shown, and a line of the status messages.
void post_page_status(const char* format, const char* arg) {
  char text[KV_PATH_MAX + 64];
  snprintf(text, sizeof text, format, arg);
  if (theApp && theApp->MainFrame()) {
    char* copy = strdup(text);
    if (!theApp->MainFrame()->PostMessage(WM_STATUS_MSG, STATMSG_ALERT, (kv_lparam)copy,
                                          kv_release_free_lparam))
      free(copy);
  }
}

const char* CPageManager::PagesPath() const {
  if (!g_settings.Pages[0]) {
    data_folder_path(g_settings.Pages, sizeof g_settings.Pages, KV_DIR_CONFIG, "Pages.kvc");
  }
  return g_settings.Pages;
}

int CPageManager::ReadPagesFile() {
  page_list_free(&m_list);
  const char* path = PagesPath();
  std::string image;
  kv_file_error err{};
  if (!kv_read_file(path, &image, &err)) {
    // No file yet (the first start) is a page without windows.
    if (err.cause == 2) return 1;
    char text[KV_PATH_MAX + 80];
    kv_format_file_error(text, sizeof text, &err);
    AddAppStatusMsg(1, text);
    return 0;
  }
  char text[KV_PATH_MAX + 80];
  switch (parse_pages_file((const uint8_t*)image.data(), image.size(), &m_list)) {
    case PAGE_READ_OK:
      return 1;
    case PAGE_READ_REVISION:
      snprintf(text, sizeof text, "%s file has older revision #,\nFile will be deleted", path);
      AddAppStatusMsg(0, text);
      if (!kv_delete_file(path, nullptr)) {
        snprintf(text, sizeof text, "Unable to delete %s\n", path);
        AddAppStatusMsg(0, text);
      }
      return 0;
    default:
      snprintf(text, sizeof text, "Page Layout File %s is corrupted, ignored\n", path);
      AddAppStatusMsg(0, text);
      return 0;
  }
}

int CPageManager::WritePagesFile(int free_studies) {
  const char* path = PagesPath();
  if (g_option_flags & OPT_TRACE_MAINFRAME) debug_trace("Writing Pages File %s\n", path);
  kv_file_error err{};
  if (write_pages_file(path, &m_list, free_studies, &err)) return 1;
  char text[KV_PATH_MAX + 80];
  kv_format_file_error(text, sizeof text, &err);
  kv_message_box(text, "Korvane", MB_OK | MB_ICONSTOP);
  return 0;
}

int CPageManager::SetPagesFileName(const char* path, int write) {
  std::string previous = PagesPath();
  std::string wanted = kv_path_normalized(path);
  size_t slash = wanted.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    char config[KV_PATH_MAX];
    data_folder_path(config, sizeof config, KV_DIR_CONFIG, wanted.c_str() + slash + 1);
    wanted = config;
  }
  snprintf(g_settings.Pages, sizeof g_settings.Pages, "%s", wanted.c_str());
  int ok = write ? WritePagesFile(0) : ReadPagesFile();
  if (!ok) {
    snprintf(g_settings.Pages, sizeof g_settings.Pages, "%s", previous.c_str());
    // The current page's descriptors are what a later write puts back.
    if (!write) ReadPagesFile();
  }
  return ok;
}

int CPageManager::OpenPage(const char* name) {
  g_orddef_store.LoadAll();
  int ok = name ? SetPagesFileName(name, 0) : ReadPagesFile();
  if (!ok) {
    // Nothing of a page that could not be read is reopened or written back.
    page_list_free(&m_list);
    return 0;
  }
  g_chart_store.FreeImportList();
  if (!g_chart_store.LoadImportList()) {
    page_list_free(&m_list);
    return 0;
  }
  int n = m_list.count;
  for (int i = 0; i < n; i++) {
    WindowDescriptor* d = page_list_unlink(&m_list, nullptr);
    if (!d) break;
    if (theApp) theApp->OpenDescriptorWindow(d, 1, nullptr);
    free_descriptor(d);
  }
  post_page_status("Open Page %s", name ? name : PagesPath());
  read_open_orders();
  if (theApp) theApp->RefreshPaperOrders();
  read_mqt_dump();
  return 1;
}

void CPageManager::ClosePage(int close_windows) {
  g_orddef_store.SaveModified();
  g_orddef_store.FreeAll();
  write_mqt_dump();
  if (!close_windows) return;
  if (theApp) theApp->CloseAllDocuments();
  page_list_free(&m_list);
  g_chart_store.FreeImportList();
}

void install_page_hooks() {
  shell_hooks& h = g_shell_hooks;
  if (!h.load_chart_store)
    h.load_chart_store = [] {
      g_chart_store.ResetDefaultTemplate();
      return g_chart_store.LoadFavorites();
    };
  if (!h.save_chart_store)
    h.save_chart_store = [] {
      g_chart_store.FlushFavorites();
      g_chart_store.FreeFavorites();
      g_chart_store.SaveImportList();
    };
  // New studies take the default chart template's study colour.
  if (!g_default_study_color_fn)
    g_default_study_color_fn = [] { return g_chart_store.DefaultStudyColor(); };
  g_chart_store.favorites_reloaded = [] {
    if (theApp) theApp->RebuildFavoritesMenus();
  };
  if (!h.rebuild_favorites_menus)
    h.rebuild_favorites_menus = [] {
      if (theApp) theApp->RebuildFavoritesMenus();
    };
  if (!h.open_default_page) h.open_default_page = [] { g_page_manager.OpenPage(nullptr); };
  if (!h.save_all_modified)
    h.save_all_modified = [] {
      if (theApp) theApp->SaveAllModified();
    };
  if (!h.close_page) h.close_page = [] { g_page_manager.ClosePage(0); };
  if (!h.write_pages_file) h.write_pages_file = [] { g_page_manager.WritePagesFile(1); };
}
