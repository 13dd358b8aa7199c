#include "platform/qt/docview.h"

#include <algorithm>

#include "platform/qt/app.h"
#include "platform/qt/frames.h"

// ---- KvDocument --------------------------------------------------------------

KvDocument::~KvDocument() {
  if (m_template) {
    auto& v = m_template->m_docs;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  for (KvView* view : m_views) view->m_document = nullptr;
}

void KvDocument::OnCloseDocument() {
  delete this;
}

void KvDocument::UpdateAllViews(KvView* sender, intptr_t hint) {
  std::vector<KvView*> views = m_views;  // a view may go away while updating
  for (KvView* v : views)
    if (v != sender) v->OnUpdate(sender, hint);
}

void KvDocument::SetTitle(const QString& title) {
  m_title = title;
  for (KvView* v : m_views)
    if (KvChildFrame* f = v->GetParentFrame()) f->setWindowTitle(title);
}

void KvDocument::add_view(KvView* v) {
  m_views.push_back(v);
  v->m_document = this;
}

void KvDocument::remove_view(KvView* v) {
  m_views.erase(std::remove(m_views.begin(), m_views.end(), v), m_views.end());
  v->m_document = nullptr;
  if (m_views.empty() && !m_closing) {
    m_closing = true;
    OnCloseDocument();
  }
}

// ---- KvView ------------------------------------------------------------------

KvView::KvView(QWidget* parent) : QWidget(parent) {}

KvView::~KvView() {
  if (m_document) m_document->remove_view(this);
}

KvChildFrame* KvView::GetParentFrame() const {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (auto* f = dynamic_cast<KvChildFrame*>(w)) return f;
  return nullptr;
}

// ---- KvDocTemplate -------------------------------------------------------------

KvDocTemplate::KvDocTemplate(unsigned resource_id, DocFactory doc, FrameFactory frame,
                             ViewFactory view)
    : m_resource_id(resource_id),
      m_doc(std::move(doc)),
      m_frame(std::move(frame)),
      m_view(std::move(view)) {}

KvDocTemplate::~KvDocTemplate() {
  CloseAllDocuments();
  for (KvDocument* d : std::vector<KvDocument*>(m_docs)) d->m_template = nullptr;
}

KvDocument* KvDocTemplate::OpenDocumentFile(const QString& path, bool visible) {
  KvApp* app = KvApp::instance();
  KvMainFrame* main = app ? app->GetMainWnd() : nullptr;
  if (!main) return nullptr;
  KvDocument* doc = m_doc();
  doc->m_template = this;
  m_docs.push_back(doc);
  KvChildFrame* frame = m_frame ? m_frame() : new KvChildFrame;
  unsigned style = WS_MAXIMIZEBOX | WS_MINIMIZEBOX;
  frame->PreCreateWindow(style);
  if (!(style & WS_MAXIMIZEBOX)) frame->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  if (!(style & WS_MINIMIZEBOX)) frame->setWindowFlag(Qt::WindowMinimizeButtonHint, false);
  KvView* view = m_view();
  doc->add_view(view);
  frame->attach_view(view);
  bool ok = path.isEmpty() ? doc->OnNewDocument() : doc->OnOpenDocument(path);
  if (!ok) {
    doc->m_closing = true;  // the frame's teardown must not close it twice
    delete frame;           // deletes the view, which leaves the document
    delete doc;
    return nullptr;
  }
  if (!path.isEmpty()) doc->SetPathName(path);
  main->AddChild(frame, visible);
  view->OnInitialUpdate();
  if (!doc->GetTitle().isEmpty()) frame->setWindowTitle(doc->GetTitle());
  return doc;
}

KvView* KvDocTemplate::CreateView(KvDocument* doc) {
  KvView* view = m_view();
  if (view) doc->add_view(view);
  return view;
}

void KvDocTemplate::CloseAllDocuments() {
  // A frame may hold several views of a document: each frame goes once,
  // and the documents go with their last views.
  std::vector<KvChildFrame*> frames;
  std::vector<KvView*> loose;
  for (KvDocument* d : m_docs)
    for (KvView* v : d->views()) {
      KvChildFrame* f = v->GetParentFrame();
      if (!f)
        loose.push_back(v);
      else if (std::find(frames.begin(), frames.end(), f) == frames.end())
        frames.push_back(f);
    }
  for (KvChildFrame* f : frames) delete f;
  for (KvView* v : loose) delete v;
}
