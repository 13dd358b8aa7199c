// The chart store: the three on/off settings read all over the program,
// the default chart template every new chart's settings are copied from,
// the chart favourites (one ".fav" file each in FAVORITE) and the import
// list ("Import.imp", where price files for import are looked for).
//
// Favourite file, little-endian: 0 version (7; any other makes the file
// ignored), 2 number of favourites when written (ignored), 4 twenty zero
// bytes, 24 the 1572-byte descriptor record (shell/core/pagefile.h) whose
// word at 8 is the window kind (1), then its studies (224 bytes each).  The
// path, flags and use-changed words are zero in the file: the default mark
// comes only from the setting DefaultFavorite.
//
// Import list file: 0 revision (1), 2 number of entries, 4 zero, 8 web
// import enabled, 12 file import enabled, 16 flags (0 in the file), 20
// sixteen zero bytes, 36 the entries, 412 bytes each (layout below).
//
// Every file is written to a temporary file and renamed; a save that fails
// leaves the old file and the lists in memory as they were.
#pragma once

#include <cstdint>
#include <string>

#include "data/chartsettings.h"
#include "shell/core/pagefile.h"

struct chart_rec;

constexpr int FAVORITE_VERSION = 7;
constexpr int FAVORITE_HEADER_SIZE = 24;
constexpr int IMPORT_REVISION = 1;
constexpr int IMPORT_HEADER_SIZE = 36;
constexpr int IMPORT_SOURCE_SIZE = 412;
constexpr int IMPORT_DIR_SIZE = 260;
constexpr int IMPORT_PATTERN_SIZE = 132;

// ImportSource flags.
enum : uint16_t { IMPORT_NEW = 0x1, IMPORT_REMOVED = 0x2, IMPORT_WEB = 0x4 };
enum : uint32_t { IMPORT_LIST_MODIFIED = 0x1 };

// One place price files are imported from; file offsets in the comments.
struct ImportSource {
  ImportSource* next;                 // 0 (written 0)
  uint16_t flags;                     // 4: IMPORT_*
  int16_t format;                     // 6: format pair of import.cfg
  int16_t slot;                       // 8: position when it joined the list
  int16_t order;                      // 10: position in the user's order
  int32_t time_span;                  // 16: 0 daily, 1 weekly, 2 monthly, 3 disabled
  char dir[IMPORT_DIR_SIZE];          // 20: folder, or the web entry's name
  char pattern[IMPORT_PATTERN_SIZE];  // 280: "*.txt"
};

struct ImportListHeader {
  int16_t revision = IMPORT_REVISION;
  int16_t count = 0;
  ImportSource* head = nullptr;
  int32_t web_enabled = 1;
  int32_t file_enabled = 1;
  uint32_t flags = 0;  // IMPORT_LIST_MODIFIED
};

struct FavoriteFileHeader {
  int16_t version = FAVORITE_VERSION;
  int16_t count = 0;
  FavoriteRecord* head = nullptr;
};

// The name of the web entry of the import list.
extern const char kImportWebName[];

class CChartStore {
 public:
  CChartStore() = default;
  virtual ~CChartStore();

  // ---- toggles (settings AutoUpdate, ContUpdate, ShowGridlines) ----
  void ToggleAutoUpdate();
  int GetAutoUpdate() const;
  void ToggleContUpdate();
  int GetContUpdate() const;
  int GetShowGridlines() const;

  // ---- default chart template ----
  // Once at start-up after the settings are loaded; today is yyyymmdd (0:
  // today in UTC).
  void ResetDefaultTemplate(int today = 0);
  // A copy of the template for a new chart: candle field from the settings'
  // Flags bits 15-17, the next chart id, the price-studies flag turned into
  // hidden label columns.  The caller owns it (delete).
  ChartSettings* NewChartSettings();
  const ChartSettings& DefaultTemplate() const { return m_template; }
  // The default study colour of new charts (0x00BBGGRR).
  uint32_t DefaultStudyColor() const { return m_template.study_color; }
  int NextChartId() const { return m_next_chart_id; }

  // ---- favourites ----
  int LoadFavorites();
  // Saves a chart's settings and studies as a favourite file; 1, or 0 on a
  // file error (reported as a status message; the list unchanged).  Changed
  // use counts are written back before the list is reloaded.
  int SaveFavorite(const ChartSettings* settings, const char* path, chart_rec* chart);
  // Writes back the record of every favourite whose use count changed.
  void FlushFavorites();
  void InsertFavorite(FavoriteRecord* f);
  FavoriteRecord* RemoveFavorite(FavoriteRecord* f);
  void FreeFavorites();
  FavoriteRecord* FindFavorite(int chart_id) const;
  const FavoriteFileHeader& Favorites() const { return m_favorites; }
  // Called after the favourites were reloaded (the menus that list them
  // are rebuilt); null: nothing to tell.
  void (*favorites_reloaded)(void) = nullptr;

  // ---- import list ----
  // The list's file: the setting Import, else CONFIG/Import.imp.
  std::string ImportPath() const;
  int LoadImportList();
  int SaveImportList();
  void FreeImportList();
  static ImportSource* NewImportSource();
  ImportSource* AddImportSource(ImportSource* s);
  ImportSource* UnlinkImportSource(ImportSource* s);
  ImportSource* FindImportSource(int order) const;
  ImportSource* FindWebImportSource() const;
  void RenumberImportList();
  ImportListHeader& ImportList() { return m_import; }

 private:
  int m_next_chart_id = 1;
  ChartSettings m_template{};
  FavoriteFileHeader m_favorites;
  ImportListHeader m_import;
};

extern CChartStore g_chart_store;

// File readers, also for the fuzz targets.  A favourite image: the record
// with its studies (path, flags and use-changed cleared, the symbol
// emptied); null when the version is not 7 or the image is short or
// refused.  An import list image into an emptied header: 1, 0 when it is
// short or its revision is not 1 (the list is then empty).
FavoriteRecord* parse_favorite_file(const uint8_t* data, size_t len);
int parse_import_list(const uint8_t* data, size_t len, CChartStore* store);
void encode_import_source(const ImportSource* s, uint8_t out[IMPORT_SOURCE_SIZE]);
void decode_import_source(const uint8_t* in, ImportSource* s);
