// The document behind every window kind as far as page layouts and
// favourites see it: its window kind, its ChartSettings, its document path,
// the extra symbols of a multi-symbol chart, the studies waiting for its
// chart and the items of a list window.
//
// Each kind's own document derives from it and fills and restores more of
// its window (the chart document loads its symbol and keeps its chart
// record's studies); this base keeps what a descriptor carries, so that a
// window comes back from a page layout as it was written.
#pragma once

#include <QString>

#include "data/chartsettings.h"
#include "platform/qt/docview.h"

struct WindowDescriptor;
struct StudyDef;
struct chart_rec;

class CKvWindowDoc : public KvDocument {
 public:
  explicit CKvWindowDoc(int kind);
  ~CKvWindowDoc() override;

  int Kind() const { return m_settings.window_kind; }
  ChartSettings& Settings() { return m_settings; }
  const ChartSettings& Settings() const { return m_settings; }

  // The window as a descriptor: kind, path, settings (with the frame's
  // placement), extra symbols and items; the studies are lent (given back
  // when the page was written without freeing them).
  virtual void FillWindowDescriptor(WindowDescriptor* d);
  // Takes the descriptor's settings, extra symbols and items and puts the
  // frame where it was.
  virtual void RestoreWindowDescriptor(const WindowDescriptor* d);
  // Loads a symbol into the window (mode as the chart view's symbol
  // change); 1 when it loaded.  This base only names it.
  virtual int ChangeSymbol(const char* symbol, int mode);
  // The chart record, null until a chart is loaded (and for other kinds).
  virtual chart_rec* ChartRecord() const { return nullptr; }
  // The quotes changed: the window shows them again (the quotes, symbol
  // map, horse-race and distribution windows refresh their lists).
  virtual void RefreshFromQuotes() { UpdateAllViews(nullptr, 0); }
  // Writes the window's symbols as a symbol list file (the symbol list
  // map's own save); false when it could not be written or the kind keeps
  // none.
  virtual bool SaveSymbolList(const QString& path) { return false; }
  // Studies to create on the chart when it arrives; the document owns them.
  void TakePendingStudies(StudyDef* list);
  StudyDef* PendingStudies() const { return m_pending; }

  // File/Delete SLFMap File marked it: neither saved nor written to a page.
  bool m_deleted = false;

  // A favourite applied to the chart (its name shows in the title).
  QString m_favorite_name;

 protected:
  ChartSettings m_settings{};
  int m_extra_count = 0;
  QString m_extra;
  StudyDef* m_pending = nullptr;
};

// Every open document of the application, of all kinds, in template order.
std::vector<CKvWindowDoc*> kv_window_docs(int kind = 0);
