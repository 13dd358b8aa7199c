// The chart store: toggles, default chart template, favourites and the
// import list.
#include "shell/core/chartstore.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "data/chart.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/lefield.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "studies/study.h"

CChartStore g_chart_store;
const char kImportWebName[] = "Download from Internet";

namespace {

void status_msg(int flag, const char* text) {
  statmsg(nullptr, 0, text, nullptr, flag ? STATMSG_ADD | STATMSG_SHOW_WINDOW : STATMSG_ADD);
}

void report_file_error(const kv_file_error& err) {
  char text[KV_PATH_MAX + 80];
  kv_format_file_error(text, sizeof text, &err);
  status_msg(0, text);
}

}  // namespace

CChartStore::~CChartStore() {
  FreeFavorites();
  FreeImportList();
}

// ============================================================================
// Toggles
// ============================================================================

void CChartStore::ToggleAutoUpdate() {
  g_auto_update = !g_auto_update;
}
int CChartStore::GetAutoUpdate() const {
  return g_auto_update != 0;
}
void CChartStore::ToggleContUpdate() {
  g_cont_update = !g_cont_update;
}
int CChartStore::GetContUpdate() const {
  return g_cont_update != 0;
}
int CChartStore::GetShowGridlines() const {
  return g_show_gridlines != 0;
}

// ============================================================================
// Default chart template
// ============================================================================

void CChartStore::ResetDefaultTemplate(int today) {
  FreeFavorites();
  m_favorites = FavoriteFileHeader{};
  default_chart_settings(&m_template, today ? today : today_date(0));
  g_settings_defaults.MktDays |= 0x3E;  // Monday to Friday
  g_pref_flags = (g_pref_flags & ~(7u << 15)) | (1u << 15);
}

ChartSettings* CChartStore::NewChartSettings() {
  ChartSettings* s = new ChartSettings(m_template);
  s->items = nullptr;
  s->candle_size = (int32_t)((g_pref_flags >> 15) & 7);
  s->chart_id = m_next_chart_id++;
  if (s->flags & 0x20) {
    s->flags &= ~CS_FLAG_NO_PRICE_STUDIES;
    s->flags |= CS_FLAG_HIDE_LABELS;
  }
  return s;
}

// ============================================================================
// Favourites
// ============================================================================

FavoriteRecord* parse_favorite_file(const uint8_t* data, size_t len) {
  if (len < FAVORITE_HEADER_SIZE + WINDOW_DESCRIPTOR_SIZE) return nullptr;
  if (get_le16(data) != FAVORITE_VERSION) return nullptr;
  FavoriteRecord* f = new_descriptor();
  if (!f) return nullptr;
  decode_descriptor(data + FAVORITE_HEADER_SIZE, f);
  page_reader r{data, len, FAVORITE_HEADER_SIZE + WINDOW_DESCRIPTOR_SIZE};
  if (!read_descriptor_studies(&r, f)) {
    free_descriptor(f);
    return nullptr;
  }
  // The default mark, the path and the changed mark are the running
  // program's, never the file's.
  f->flags = 0;
  f->path[0] = 0;
  f->use_changed = 0;
  f->settings.symbol[0] = 0;
  f->settings.item_count = 0;  // favourites carry no items
  return f;
}

int CChartStore::LoadFavorites() {
  // A second load replaces the list; its records are not leaked.
  FreeFavorites();
  m_favorites = FavoriteFileHeader{};
  char dir[KV_PATH_MAX];
  data_folder_path(dir, sizeof dir, KV_DIR_FAVORITE, nullptr);
  std::vector<kv_dir_entry> entries;
  kv_list_dir((std::string(dir) + "/*.fav").c_str(), &entries, nullptr);
  std::vector<std::string> names;
  for (const kv_dir_entry& e : entries) {
    if (e.is_dir) continue;
    names.push_back(e.name.substr(0, e.name.size() - 4));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  bool found_default = false;
  for (const std::string& name : names) {
    if (g_option_flags & OPT_TRACE_CHARTSTORE) debug_trace("%s\n", name.c_str());
    std::string path = std::string(dir) + "/" + name + ".fav";
    std::string image;
    kv_file_error err{};
    if (!kv_read_file(path.c_str(), &image, &err)) {
      report_file_error(err);
      continue;
    }
    FavoriteRecord* f = parse_favorite_file((const uint8_t*)image.data(), image.size());
    if (!f) continue;
    snprintf(f->path, sizeof f->path, "%s", path.c_str());
    if (g_settings.DefaultFavorite[0] && path == g_settings.DefaultFavorite) {
      f->flags |= DESC_DEFAULT;
      found_default = true;
    }
    InsertFavorite(f);
  }
  if (!found_default) g_settings.DefaultFavorite[0] = 0;
  return 1;
}

int CChartStore::SaveFavorite(const ChartSettings* settings, const char* path, chart_rec* chart) {
  std::string image(FAVORITE_HEADER_SIZE, '\0');
  uint8_t* h = (uint8_t*)image.data();
  put_le16(h, FAVORITE_VERSION);
  put_le16(h + 2, (uint16_t)m_favorites.count);
  WindowDescriptor rec{};
  rec.kind = 1;
  rec.settings = *settings;
  rec.settings.items = nullptr;
  rec.settings.item_count = 0;
  {
    kv_lock guard(g_chart_lock);
    rec.studies = chart ? chart->studies : nullptr;
    for (StudyDef* s = rec.studies; s; s = s->next) rec.study_count++;
    uint8_t block[WINDOW_DESCRIPTOR_SIZE];
    encode_descriptor(&rec, block);
    image.append((const char*)block, sizeof block);
    write_descriptor_studies(&rec, &image);
  }
  // Use counts not yet written back go into their files first: the list
  // is read again from the files, and a favourite saved over gets a fresh
  // record.
  FlushFavorites();
  kv_file_error err{};
  std::string bak = std::string(path) + "bak";
  bool ok = !kv_file_exists(path) || kv_copy_file(path, bak.c_str(), 0, &err);
  if (ok) ok = kv_write_file_atomic(path, image.data(), image.size(), &err);
  if (!ok) {
    report_file_error(err);
    return 0;
  }
  FreeFavorites();
  LoadFavorites();
  if (favorites_reloaded) favorites_reloaded();
  return 1;
}

void CChartStore::FlushFavorites() {
  for (FavoriteRecord* f = m_favorites.head; f; f = f->next) {
    if (!f->use_changed) continue;
    f->use_changed = 0;
    std::string image;
    if (!kv_read_file(f->path, &image, nullptr) ||
        image.size() < FAVORITE_HEADER_SIZE + WINDOW_DESCRIPTOR_SIZE)
      continue;
    // Only the use count changes; the record keeps its file form (no path,
    // no default mark, no changed mark) and the studies behind it stay.
    uint8_t* rec = (uint8_t*)image.data() + FAVORITE_HEADER_SIZE;
    put_le16(rec + 1552, (uint16_t)f->use_count);
    put_le16(rec + 1554, 0);
    kv_write_file_atomic(f->path, image.data(), image.size(), nullptr);
  }
}

void CChartStore::InsertFavorite(FavoriteRecord* f) {
  FavoriteRecord** p = &m_favorites.head;
  while (*p && (*p)->use_count >= f->use_count) p = &(*p)->next;
  f->next = *p;
  *p = f;
  m_favorites.count++;
}

FavoriteRecord* CChartStore::RemoveFavorite(FavoriteRecord* f) {
  for (FavoriteRecord** p = &m_favorites.head; *p; p = &(*p)->next) {
    if (!f || *p == f) {
      FavoriteRecord* found = *p;
      *p = found->next;
      found->next = nullptr;
      m_favorites.count--;
      return found;
    }
  }
  return nullptr;
}

void CChartStore::FreeFavorites() {
  while (FavoriteRecord* f = RemoveFavorite(nullptr)) free_descriptor(f);
  m_favorites.count = 0;
}

FavoriteRecord* CChartStore::FindFavorite(int chart_id) const {
  for (FavoriteRecord* f = m_favorites.head; f; f = f->next)
    if (f->settings.chart_id == chart_id) return f;
  return nullptr;
}

// ============================================================================
// Import list
// ============================================================================

void encode_import_source(const ImportSource* s, uint8_t* p) {
  memset(p, 0, IMPORT_SOURCE_SIZE);
  put_le16(p + 4, s->flags);
  put_le16(p + 6, (uint16_t)s->format);
  put_le16(p + 8, (uint16_t)s->slot);
  put_le16(p + 10, (uint16_t)s->order);
  put_le32(p + 16, (uint32_t)s->time_span);
  put_text_field(p + 20, s->dir, IMPORT_DIR_SIZE);
  put_text_field(p + 280, s->pattern, IMPORT_PATTERN_SIZE);
}

void decode_import_source(const uint8_t* p, ImportSource* s) {
  memset(s, 0, sizeof *s);
  s->flags = get_le16(p + 4);
  s->format = (int16_t)get_le16(p + 6);
  s->slot = (int16_t)get_le16(p + 8);
  s->order = (int16_t)get_le16(p + 10);
  s->time_span = (int32_t)get_le32(p + 16);
  memcpy(s->dir, p + 20, IMPORT_DIR_SIZE);
  s->dir[IMPORT_DIR_SIZE - 1] = 0;
  memcpy(s->pattern, p + 280, IMPORT_PATTERN_SIZE);
  s->pattern[IMPORT_PATTERN_SIZE - 1] = 0;
}

std::string CChartStore::ImportPath() const {
  if (g_settings.Import[0]) return g_settings.Import;
  char path[KV_PATH_MAX];
  data_folder_path(path, sizeof path, KV_DIR_CONFIG, "Import.imp");
  return path;
}

int parse_import_list(const uint8_t* data, size_t len, CChartStore* store) {
  store->FreeImportList();
  ImportListHeader& h = store->ImportList();
  if (len < IMPORT_HEADER_SIZE || get_le16(data) != IMPORT_REVISION) return 0;
  int count = (int16_t)get_le16(data + 2);
  h.web_enabled = (int32_t)get_le32(data + 8);
  h.file_enabled = (int32_t)get_le32(data + 12);
  if (count < 0 || (size_t)count > (len - IMPORT_HEADER_SIZE) / IMPORT_SOURCE_SIZE) {
    // Entries cut off: what was read is dropped.
    return 1;
  }
  for (int i = 0; i < count; i++) {
    ImportSource* s = CChartStore::NewImportSource();
    if (!s) break;
    decode_import_source(data + IMPORT_HEADER_SIZE + (size_t)i * IMPORT_SOURCE_SIZE, s);
    s->flags |= IMPORT_NEW;
    store->AddImportSource(s);
  }
  return 1;
}

int CChartStore::LoadImportList() {
  FreeImportList();
  std::string path = ImportPath(), image;
  if (kv_read_file(path.c_str(), &image, nullptr)) {
    if (!parse_import_list((const uint8_t*)image.data(), image.size(), this)) {
      kv_message_box("import.imp file has older revision #,\nFile will be deleted", "Korvane",
                     MB_OK);
      if (!kv_delete_file(path.c_str(), nullptr)) {
        std::string text = "Unable to delete\n" + path;
        kv_message_box(text.c_str(), "Korvane", MB_OK | MB_ICONSTOP);
        return 0;
      }
      FreeImportList();
    }
  }
  if (!m_import.head) {
    ImportSource* web = NewImportSource();
    web->flags |= IMPORT_WEB;
    snprintf(web->dir, sizeof web->dir, "%s", kImportWebName);
    AddImportSource(web);
  }
  return 1;
}

int CChartStore::SaveImportList() {
  int ok = 1;
  if (m_import.flags & IMPORT_LIST_MODIFIED) {
    std::string image(IMPORT_HEADER_SIZE, '\0');
    uint8_t* h = (uint8_t*)image.data();
    put_le16(h, IMPORT_REVISION);
    put_le16(h + 2, (uint16_t)m_import.count);
    put_le32(h + 8, (uint32_t)m_import.web_enabled);
    put_le32(h + 12, (uint32_t)m_import.file_enabled);
    uint8_t rec[IMPORT_SOURCE_SIZE];
    for (ImportSource* s = m_import.head; s; s = s->next) {
      encode_import_source(s, rec);
      image.append((const char*)rec, sizeof rec);
    }
    std::string path = ImportPath();
    if (kv_write_file_atomic(path.c_str(), image.data(), image.size(), nullptr)) {
      m_import.flags &= ~IMPORT_LIST_MODIFIED;
    } else {
      std::string text = "Can't create file " + path + "\n";
      kv_message_box(text.c_str(), "Korvane", MB_OK);
      ok = 0;
    }
  }
  FreeImportList();
  return ok;
}

void CChartStore::FreeImportList() {
  while (ImportSource* s = UnlinkImportSource(nullptr)) free(s);
  m_import = ImportListHeader{};
}

ImportSource* CChartStore::NewImportSource() {
  ImportSource* s = (ImportSource*)calloc(1, sizeof(ImportSource));
  if (s) s->flags = IMPORT_NEW;
  return s;
}

ImportSource* CChartStore::AddImportSource(ImportSource* s) {
  if ((s->flags & IMPORT_REMOVED) && !(s->flags & IMPORT_WEB)) {
    free(s);
    return nullptr;
  }
  s->next = nullptr;
  ImportSource** p = &m_import.head;
  while (*p) p = &(*p)->next;
  *p = s;
  s->slot = s->order = m_import.count++;
  s->flags &= ~IMPORT_NEW;
  return s;
}

ImportSource* CChartStore::UnlinkImportSource(ImportSource* s) {
  for (ImportSource** p = &m_import.head; *p; p = &(*p)->next) {
    if (!s || *p == s) {
      ImportSource* found = *p;
      *p = found->next;
      found->next = nullptr;
      m_import.count--;
      return found;
    }
  }
  return nullptr;
}

ImportSource* CChartStore::FindImportSource(int order) const {
  for (ImportSource* s = m_import.head; s; s = s->next)
    if (s->order == order) return s;
  return nullptr;
}

ImportSource* CChartStore::FindWebImportSource() const {
  for (ImportSource* s = m_import.head; s; s = s->next)
    if (s->flags & IMPORT_WEB) return s;
  return nullptr;
}

void CChartStore::RenumberImportList() {
  ImportSource *head = nullptr, **tail = &head;
  int n = m_import.count;
  for (int order = 0; order < n; order++) {
    ImportSource* s = FindImportSource(order);
    if (!s) continue;
    // Unlinked by hand: the count stays that of the whole list.
    for (ImportSource** p = &m_import.head; *p; p = &(*p)->next)
      if (*p == s) {
        *p = s->next;
        break;
      }
    s->next = nullptr;
    s->slot = s->order;
    *tail = s;
    tail = &s->next;
    if (g_option_flags & OPT_TRACE_CHARTSTORE)
      debug_trace("Import=[%d, %d] %s\n", s->slot, s->order, s->dir);
  }
  // Entries whose order matched no position keep their place behind.
  *tail = m_import.head;
  m_import.head = head;
}
