// The document part page layouts and favourites see.
#include "shell/windowdoc.h"

#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "platform/qt/frames.h"
#include "shell/app.h"
#include "shell/core/chartstore.h"
#include "shell/core/pagefile.h"
#include "studies/study.h"

CKvWindowDoc::CKvWindowDoc(int kind) {
  // The chart-like windows (the pane container draws the race and the
  // distribution, the map erases with the background) start from the
  // default template's colours and panes too.
  if (kind == KIND_CHART || kind == KIND_SLFMAP || kind == KIND_HORSE_RACE ||
      kind == KIND_PRICE_VOL_DIST) {
    ChartSettings* s = g_chart_store.NewChartSettings();
    m_settings = *s;
    delete s;
  }
  m_settings.window_kind = kind;
  m_settings.items = nullptr;
}

CKvWindowDoc::~CKvWindowDoc() {
  free_study_list(m_pending);
  free(m_settings.items);
}

void CKvWindowDoc::TakePendingStudies(StudyDef* list) {
  free_study_list(m_pending);
  m_pending = list;
}

int CKvWindowDoc::ChangeSymbol(const char* symbol, int mode) {
  (void)mode;
  snprintf(m_settings.symbol, sizeof m_settings.symbol, "%s", symbol ? symbol : "");
  return 0;  // no chart is loaded by this base
}

void CKvWindowDoc::FillWindowDescriptor(WindowDescriptor* d) {
  d->kind = Kind();
  QByteArray path = GetPathName().toUtf8();
  snprintf(d->path, sizeof d->path, "%s", path.constData());
  d->settings = m_settings;
  d->settings.items = nullptr;
  if (KvView* v = GetFirstView())
    if (KvChildFrame* f = v->GetParentFrame())
      f->SavePlacement(d->settings.normal_rect, &d->settings.show_cmd);
  int n = m_settings.item_count;
  if (n >= 1 && n <= PAGE_ITEMS_MAX && m_settings.items) {
    d->settings.items = malloc((size_t)n * PAGE_ITEM_SIZE);
    memcpy(d->settings.items, m_settings.items, (size_t)n * PAGE_ITEM_SIZE);
  }
  d->extra_count = m_extra_count;
  QByteArray extra = m_extra.toUtf8();
  snprintf(d->extra, sizeof d->extra, "%s", extra.constData());
  chart_rec* chart = ChartRecord();
  lend_descriptor_studies(d, chart ? &chart->studies : &m_pending);
}

void CKvWindowDoc::RestoreWindowDescriptor(const WindowDescriptor* d) {
  free(m_settings.items);
  m_settings = d->settings;
  m_settings.window_kind = d->kind;
  m_settings.items = nullptr;
  int n = d->settings.item_count;
  if (n >= 1 && n <= PAGE_ITEMS_MAX && d->settings.items) {
    m_settings.items = malloc((size_t)n * PAGE_ITEM_SIZE);
    memcpy(m_settings.items, d->settings.items, (size_t)n * PAGE_ITEM_SIZE);
  }
  m_extra_count = d->extra_count;
  m_extra = QString::fromUtf8(d->extra);
  if (KvView* v = GetFirstView())
    if (KvChildFrame* f = v->GetParentFrame())
      f->RestorePlacement(d->settings.normal_rect, d->settings.show_cmd);
}

std::vector<CKvWindowDoc*> kv_window_docs(int kind) {
  std::vector<CKvWindowDoc*> out;
  if (!theApp) return out;
  for (int k = 1; k < KIND_COUNT; k++) {
    if (kind && k != kind) continue;
    if (KvDocTemplate* t = theApp->DocTemplate(k))
      for (KvDocument* d : t->documents())
        if (auto* w = dynamic_cast<CKvWindowDoc*>(d)) out.push_back(w);
  }
  return out;
}
