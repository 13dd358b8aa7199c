// The application object of the window layer.
//
// Creating it sets up Qt, then puts LC_NUMERIC back to "C" (Qt takes the
// user's locale at start, and no decimal comma may reach a file, a wire or
// a parser), connects posted window messages to the event loop and installs
// the Qt message box and file dialog as the platform services. It keeps the
// document templates and the main frame, and is the last command target of
// every route.
#pragma once

#include <QApplication>
#include <memory>
#include <vector>

#include "platform/qt/cmdtarget.h"
#include "platform/qt/docview.h"

class KvMainFrame;

class KvApp : public QApplication, public KvCmdTarget {
 public:
  // install_services false keeps the services installed now (tests).
  KvApp(int& argc, char** argv, bool install_services = true);
  ~KvApp() override;

  static KvApp* instance();

  void AddDocTemplate(std::unique_ptr<KvDocTemplate> t);
  const std::vector<std::unique_ptr<KvDocTemplate>>& templates() const { return m_templates; }

  KvMainFrame* GetMainWnd() const { return m_main; }
  void SetMainWnd(KvMainFrame* frame) { m_main = frame; }

  // Closes every document of every template without asking.
  void CloseAllDocuments();
  // Asks every document whether it may close (the main frame's close);
  // false when one refused.
  virtual bool SaveAllModified();

 private:
  std::vector<std::unique_ptr<KvDocTemplate>> m_templates;
  KvMainFrame* m_main = nullptr;
};

// Resets LC_NUMERIC to "C" (done by KvApp; exposed for programs that make
// their own application object).
void kv_reset_numeric_locale();
