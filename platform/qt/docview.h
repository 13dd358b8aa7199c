// Documents, views and document templates.
//
// A template names one kind of window: how to make its document, its child
// frame and its view, and its menu. Opening a document through a template
// makes all three, runs the document's new or open step, then the view's
// initial update, and shows the frame in the main frame's MDI area. A
// document knows its views and tells them of changes with UpdateAllViews
// and a hint; it is deleted with its last view.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/qt/cmdtarget.h"
#include "platform/qt/wnd.h"

class KvDocTemplate;
class KvView;
class KvChildFrame;

class KvDocument : public KvCmdTarget {
 public:
  KvDocument() = default;
  virtual ~KvDocument();

  // New, untitled document; false refuses it (nothing is shown).
  virtual bool OnNewDocument() { return true; }
  // Opens a path; false refuses it.
  virtual bool OnOpenDocument(const QString& path) { return true; }
  // Asked before the last view closes; false keeps the document open.
  virtual bool SaveModified() { return true; }
  // The last view is gone; the default deletes the document.
  virtual void OnCloseDocument();

  // Every view but sender gets OnUpdate(sender, hint).
  void UpdateAllViews(KvView* sender, intptr_t hint = 0);

  const std::vector<KvView*>& views() const { return m_views; }
  KvView* GetFirstView() const { return m_views.empty() ? nullptr : m_views.front(); }
  KvDocTemplate* GetDocTemplate() const { return m_template; }

  bool IsModified() const { return m_modified; }
  void SetModifiedFlag(bool modified = true) { m_modified = modified; }
  const QString& GetTitle() const { return m_title; }
  // Sets the title and the captions of the frames that show the document.
  void SetTitle(const QString& title);
  const QString& GetPathName() const { return m_path; }
  void SetPathName(const QString& path) { m_path = path; }

 private:
  friend class KvView;
  friend class KvDocTemplate;
  void add_view(KvView* v);
  void remove_view(KvView* v);
  std::vector<KvView*> m_views;
  KvDocTemplate* m_template = nullptr;
  bool m_modified = false;
  bool m_closing = false;
  QString m_title;
  QString m_path;
};

class KvView : public QWidget, public KvWnd, public KvCmdTarget {
 public:
  explicit KvView(QWidget* parent = nullptr);
  ~KvView() override;

  KvDocument* GetDocument() const { return m_document; }
  KvChildFrame* GetParentFrame() const;

  // Called once, after the document's new or open step.
  virtual void OnInitialUpdate() { OnUpdate(nullptr, 0); }
  // A change of the document; the default repaints.
  virtual void OnUpdate(KvView* sender, intptr_t hint) { update(); }
  // The frame became active (true) or inactive (false).
  virtual void OnActivateView(bool activate) {}
  // Asked before the frame closes; false refuses the close.
  virtual bool CanClose() { return true; }

 private:
  friend class KvDocTemplate;
  friend class KvDocument;
  friend class KvChildFrame;  // unregisters the view's id when it closes
  KvDocument* m_document = nullptr;
};

class KvDocTemplate {
 public:
  using DocFactory = std::function<KvDocument*()>;
  using FrameFactory = std::function<KvChildFrame*()>;
  using ViewFactory = std::function<KvView*()>;

  // resource_id names the template's menu and titles. A null frame factory
  // uses the plain KvChildFrame.
  KvDocTemplate(unsigned resource_id, DocFactory doc, FrameFactory frame, ViewFactory view);
  ~KvDocTemplate();

  unsigned GetResourceId() const { return m_resource_id; }
  // The menu shown while a window of this template is active (0: the
  // main frame's document menu).
  unsigned menu_id = 0;

  // A new document (path empty) or the document of a path, in a new frame.
  // Returns null when the document refused or no main frame exists.
  KvDocument* OpenDocumentFile(const QString& path, bool visible = true);
  // Another view of an open document (a new pane of its frame); the
  // caller places it and runs its initial update.
  KvView* CreateView(KvDocument* doc);
  const std::vector<KvDocument*>& documents() const { return m_docs; }
  // Closes every frame of every document without asking.
  void CloseAllDocuments();

 private:
  friend class KvDocument;
  unsigned m_resource_id;
  DocFactory m_doc;
  FrameFactory m_frame;
  ViewFactory m_view;
  std::vector<KvDocument*> m_docs;
};
